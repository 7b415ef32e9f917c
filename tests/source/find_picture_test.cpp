// The finders on saved pages, feeds and JSON documents (tests/source/documents), what a
// body is taken for, feed dates, the limits and budgets (on hostile documents made here),
// the stop flag, and tessaren-find.
#include "source/find_picture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/text.h"
#include "source/finders.h"
#include "source/html_tree.h"
#include "tests/support/file_contents.h"

#if defined(__SANITIZE_ADDRESS__)
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#elif defined(__GLIBC__)
#include <malloc.h>
#endif

namespace tessaren {
namespace {

const std::string kPage = "https://news.example/section/page.html";
const std::string kDocuments = TESSAREN_SOURCE_DOCUMENTS;

std::string document(const std::string& name) {
  std::string bytes = test::fileContents(kDocuments + "/" + name);
  EXPECT_FALSE(bytes.empty()) << name;
  return bytes;
}

struct Expected {
  std::string address;  // or the failure's detail, from its start
  std::string source;
  std::optional<FailureKind> failure;
};
Expected found(std::string address, std::string source) {
  return {std::move(address), std::move(source), std::nullopt};
}
Expected fails(FailureKind kind, std::string detailStart) {
  return {std::move(detailStart), "", kind};
}

void expectFinds(const FindResult& found, const Expected& expected, const std::string& what) {
  if (expected.failure) {
    ASSERT_TRUE(found.failure) << what << " found " << found.address;
    EXPECT_EQ(found.failure->kind, *expected.failure) << what;
    EXPECT_EQ(found.failure->detail.substr(0, expected.address.size()), expected.address) << what;
  } else {
    ASSERT_FALSE(found.failure) << what << ": " << found.failure->detail;
    EXPECT_EQ(found.address, expected.address) << what;
    EXPECT_EQ(found.source, expected.source) << what;
  }
}

TEST(FindPictureTest, SavedDocuments) {
  struct Case {
    std::string file;
    std::string pointer;
    DocumentKind kind;
    Expected expected;
    std::string base = kPage;
  };
  constexpr auto kNone = FailureKind::NoPictureFound;
  constexpr auto kUnusable = FailureKind::UnusableAddress;
  const std::string bing = "https://www.bing.example/HPImageArchive.aspx?format=js&n=2";
  const Case cases[] = {
      // Pages.
      {"og-absolute.html", "", DocumentKind::Html,
       found("https://cdn.example/pics/storm.jpg", "og:image")},
      {"og-relative.html", "", DocumentKind::Html,
       found("https://news.example/img/sea%20view.jpg", "og:image")},
      {"og-base.html", "", DocumentKind::Html,
       found("https://static.example/assets/sky.png?v=2", "og:image")},
      {"og-amp.html", "", DocumentKind::Html,
       found("https://cdn.example/get?id=7&size=large&q=%22x%22", "og:image")},
      {"secure-url.html", "", DocumentKind::Html,
       found("https://cdn.example/secure.jpg", "og:image:secure_url")},
      {"twitter-only.html", "", DocumentKind::Html,
       found("https://news.example/cards/today.webp", "twitter:image")},
      {"image-src.html", "", DocumentKind::Html, found("https://img.example/x.gif", "image_src")},
      // A blank og:image names nothing: the page's own picture follows.
      {"none.html", "", DocumentKind::Html,
       found("https://news.example/only-inline.jpg", "main picture of the page")},
      {"malformed.html", "", DocumentKind::Html, found("http://cdn.example/m.jpg", "og:image")},
      {"unusable.html", "", DocumentKind::Html,
       fails(kUnusable, "og:image is not a usable http(s) address: ftp://files.example/a.jpg")},
      {"fallback.html", "", DocumentKind::Html,
       found("https://cdn.example/t.png", "twitter:image")},
      {"bom.html", "", DocumentKind::Html,
       found("https://cdn.example/bilder/gr%C3%BC%C3%9Fe%201.jpg", "og:image")},
      // Feeds.
      {"rss-dated.xml", "", DocumentKind::Feed,
       found("https://news.example/1400-large.jpg", "Radar 14:00 & <rain>")},
      {"rss-enclosure.xml", "", DocumentKind::Feed,
       found("https://cam.example/c.png", "Quarter past eleven in New York")},
      {"rss-filesize.xml", "", DocumentKind::Feed, found("https://pics.example/l.jpg", "Sizes")},
      {"rss-thumbnail.xml", "", DocumentKind::Feed,
       found("https://news.example/section/thumbs/first.jpg", "First, undated")},
      {"rss-cdata.xml", "", DocumentKind::Feed,
       found("https://news.example/photos/1.jpg", "Photo <of> the day")},
      {"rss-escaped.xml", "", DocumentKind::Feed,
       found("https://cdn.example/e.jpg?a=1&b=2", "Escaped")},
      {"atom.xml", "", DocumentKind::Feed,
       found("https://blog.example/base/pics/newer.png", "Newer")},
      {"atom-xhtml.xml", "", DocumentKind::Feed, found("https://x.example/deep.png", "XHTML")},
      {"rdf.xml", "", DocumentKind::Feed, found("https://rdf.example/two.jpg", "Two")},
      {"utf16.xml", "", DocumentKind::Feed,
       found("https://wetter.example/m%C3%BCnchen.jpg",
             "Wetter \xc3\xbc"
             "ber M\xc3\xbcnchen")},
      {"no-items.xml", "", DocumentKind::Feed, fails(kNone, "feed has no items")},
      {"broken.xml", "", DocumentKind::Feed, fails(kNone, "not a well-formed feed: ")},
      {"rss-nopicture.xml", "", DocumentKind::Feed,
       fails(kNone, "the newest feed item (Words only) names no picture")},
      // JSON documents.
      {"archive.json", "/images/0/url", DocumentKind::Json,
       found("https://www.bing.example/th?id=OHR.Sea_1920x1080.jpg&rf=LaDigue",
             "pointer /images/0/url"),
       bing},
      {"archive.json", "/a~1b/m~0n/1", DocumentKind::Json,
       found("https://cdn.example/escaped.jpg", "pointer /a~1b/m~0n/1")},
      {"archive.json", "", DocumentKind::Json,
       found("https://www.bing.example/th?id=OHR.Sea_1920x1080.jpg&rf=LaDigue",
             "pointer /images/0/url (automatic)"),
       bing},
      {"archive.json", "/images/0/href", DocumentKind::Json,
       fails(kNone, "JSON Pointer /images/0/href: no such member (/images/0 has no \"href\")")},
      {"archive.json", "/images/2/url", DocumentKind::Json,
       fails(kNone, "JSON Pointer /images/2/url: no such item (/images is an array of 2)")},
      {"archive.json", "/images/01/url", DocumentKind::Json,
       fails(kNone, "JSON Pointer /images/01/url: no such item")},
      {"archive.json", "/images/0", DocumentKind::Json,
       fails(kNone, "JSON Pointer /images/0: an object, not an address")},
      {"archive.json", "/count/x", DocumentKind::Json,
       fails(kNone, "JSON Pointer /count/x: /count is a number, not an object or array")},
      {"archive.json", "images/0", DocumentKind::Json,
       fails(kUnusable, "JSON Pointer images/0: must start with /")},
      {"apod.json", "", DocumentKind::Json,
       found("https://apod.example/image/2406/nebula_big.jpg", "pointer /hdurl (automatic)")},
      {"nested.json", "", DocumentKind::Json,
       found("https://news.example/section/pictures/n.jpg",
             "pointer /1/items/0/media/IMAGE (automatic)")},
      {"no-url.json", "", DocumentKind::Json,
       fails(kNone, "no picture address in the JSON document")},
      {"broken.json", "", DocumentKind::Json,
       fails(kNone, "not JSON: parse error at line 1, column 17: syntax error")},
  };
  for (const Case& c : cases) {
    const std::string what = c.file + " " + c.pointer;
    const FindResult result = findPicture(document(c.file), "", c.base, c.pointer);
    EXPECT_EQ(result.kind, c.kind) << what;
    expectFinds(result, c.expected, what);
  }
}

// Pages without Open Graph: the picture the page shows as its content.
TEST(FindPictureTest, PageMainPicture) {
  const struct {
    std::string file;
    Expected expected;
  } cases[] = {
      // Wrapped in a link to the full-size file, by its extension (in any case).
      {"main-linked.html", found("https://news.example/section/image/2406/Nebula_full.JPG",
                                 "linked full-size picture")},
      // In <main>, past a small icon, lazily loaded; a link to a page is no picture.
      {"main-img.html",
       found("https://news.example/pictures/2024/lake.jpg", "main picture of the page")},
      // In the first <article>; a link is a picture by its type too.
      {"main-article.html", found("https://news.example/cam/full", "linked full-size picture")},
      // Header, icons by size or name, a spacer, an avatar, a data: address.
      {"icons-only.html",
       fails(
           FailureKind::NoPictureFound,
           "no picture on the page (no og:image, twitter:image or image_src) and no main picture")},
  };
  for (const auto& c : cases)
    expectFinds(findPicture(document(c.file), "", kPage, ""), c.expected, c.file);

  // The tags named for previews still come first, and a link only counts around the
  // picture it holds.
  const std::string picture = "<a href=/big.png><img src=/small.jpg></a>";
  expectFinds(findPicture("<meta name=twitter:image content=/card.jpg>" + picture, "", kPage, ""),
              found("https://news.example/card.jpg", "twitter:image"), "twitter:image first");
  expectFinds(findPicture("<a href=/big.png>x</a><img src=/small.jpg>", "", kPage, ""),
              found("https://news.example/small.jpg", "main picture of the page"),
              "link elsewhere");
}

TEST(FindPictureTest, FeedShapes) {
  const struct {
    std::string file;
    Expected expected;
  } cases[] = {
      {"rss-itunes.xml", found("https://pod.example/ep12-art.jpg", "Episode 12: Saturn")},
      {"rss-video.xml", found("https://video.example/storm-poster.jpg", "Storm timelapse")},
      {"atom-video-group.xml", found("https://i.video.example/new/hq.jpg", "Newest upload")},
      // The author's avatar, a credit's picture, a badge and a tracking pixel all lose.
      {"rss-avatar.xml",
       found("https://blog.example/wp-content/uploads/2024/06/sunset.jpg", "Sunset over the bay")},
      // Broken feeds: the complete items before the fault count, the newest of them wins.
      {"rss-cut.xml", found("https://radar.example/1210.png", "Radar 12:10")},
      {"rss-unclosed.xml", found("https://cam.example/2.jpg", "Cam 2")},
      {"rss-broken-cdata.xml", found("https://photos.example/dawn.jpg", "Harbour at dawn")},
      // The last item's CDATA runs to the end: the fault lies inside what it last holds.
      {"rss-cut-in-cdata.xml", found("https://photos.example/dawn.jpg", "Harbour at dawn")},
      {"utf32.xml", found("https://wetter.example/k%C3%B6ln.jpg",
                          "Wetter \xc3\xbc"
                          "ber K\xc3\xb6ln")},
      {"utf32be.xml", found("https://wetter.example/k%C3%B6ln.jpg",
                            "Wetter \xc3\xbc"
                            "ber K\xc3\xb6ln")},
  };
  for (const auto& c : cases) {
    const FindResult result = findPicture(document(c.file), "", kPage, "");
    EXPECT_EQ(result.kind, DocumentKind::Feed) << c.file;
    expectFinds(result, c.expected, c.file);
  }

  // The picture-choice order: each row takes away the one chosen before.
  const std::string media =
      R"(<media:content url="/mc-small.jpg" width="400" height="300"/>)"
      R"(<media:content url="/mc-large.jpg" medium="image" width="1600" height="900"/>)";
  const std::string enclosure = R"(<enclosure url="/enclosure.png" type="image/png"/>)";
  const std::string itunes = R"(<itunes:image href="/itunes.jpg"/>)";
  const std::string thumbnails =
      R"(<media:thumbnail url="/th-small.jpg" width="120" height="90"/>)"
      R"(<media:thumbnail url="/th-large.jpg" width="480" height="360"/>)";
  const std::string avatar = R"(<media:content url="/users/avatar.jpg"/>)";
  const std::string images = R"(<description>&lt;img src="/dot.gif" width="1" height="1"&gt;)"
                             R"(&lt;img src="/photo.jpg"&gt;</description>)";
  const auto feed = [](const std::string& item) {
    return "<rss xmlns:media=\"http://search.yahoo.com/mrss/\" "
           "xmlns:itunes=\"http://www.itunes.com/dtds/podcast-1.0.dtd\"><channel><item>"
           "<title>Order</title>" +
           item + "</item></channel></rss>";
  };
  const struct {
    std::string item;
    std::string address;
  } order[] = {
      {avatar + images + thumbnails + itunes + enclosure + media, "/mc-large.jpg"},
      {avatar + images + thumbnails + itunes + enclosure, "/enclosure.png"},
      {avatar + images + thumbnails + itunes, "/itunes.jpg"},
      {avatar + images + thumbnails, "/th-large.jpg"},
      {avatar + images, "/photo.jpg"},
  };
  for (const auto& c : order)
    expectFinds(findPicture(feed(c.item), "", kPage, ""),
                found("https://news.example" + c.address, "Order"), c.address);
  expectFinds(findPicture(feed(avatar), "", kPage, ""),
              fails(FailureKind::NoPictureFound,
                    "the newest feed item (Order) names no picture (no enclosure, itunes:image, "
                    "media:thumbnail or img; only an author's or credit's picture)"),
              "avatar only");

  // Spellings feeds use (the iTunes namespace in capitals, media: never declared), a
  // forum's icon before an attachment, and a refusal naming only what the item lacks.
  const auto rss = [](const std::string& item) {
    return "<rss xmlns:itunes=\"http://www.itunes.com/DTDs/Podcast-1.0.dtd\"><channel><item>"
           "<title>T</title>" +
           item + "</item></channel></rss>";
  };
  for (const auto& [item, address] : std::vector<std::pair<std::string, std::string>>{
           {R"(<itunes:image url="/ep.jpg"/>)", "/ep.jpg"},
           {R"(<itunes:link rel="image" href="/art.jpg"/>)", "/art.jpg"},
           {R"(<media:content url="/undeclared.jpg"/>)", "/undeclared.jpg"},
           {R"(<description><![CDATA[<p>New <img src="/img/reduced.gif"></p><a href="/f.php?id=1">)"
            R"(<img src="/f.php?id=1&amp;t=1"></a>]]></description>)",
            "/f.php?id=1&t=1"}})
    expectFinds(findPicture(rss(item), "", kPage, ""), found("https://news.example" + address, "T"),
                item);
  expectFinds(findPicture(rss(R"(<enclosure url="/a.mp3" type="audio/mpeg"/><itunes:image/>)"), "",
                          kPage, ""),
              fails(FailureKind::NoPictureFound,
                    "the newest feed item (T) names no picture (no media:content, media:thumbnail "
                    "or img; its enclosure and itunes:image are no picture)"),
              "audio only");

  // A fault before any item is complete is named; so is one inside the only item.
  for (const std::string& broken :
       {std::string("<rss><channel><item><title>A</title>"),
        feed("<title>A</title><enclosure url=\"/a.jpg\" type=\"image/jpeg\">")})
    expectFinds(findPicture(broken, "", kPage, ""),
                fails(FailureKind::NoPictureFound, "not a well-formed feed: "), broken);
}

TEST(FindPictureTest, JsonShapes) {
  const struct {
    std::string json;  // a saved document's name, or the document
    std::string pointer;
    DocumentKind kind;
    Expected expected;
  } cases[] = {
      // JSON Feed: the newest item's image, never the authors' home pages or the icon.
      {"jsonfeed.json", "", DocumentKind::Feed,
       found("https://news.example/media/2024/aurora.jpg", "Aurora")},
      {"jsonfeed-attachment.json", "", DocumentKind::Feed,
       found("https://weather.example/ep9-map.png", "Episode 9")},
      {"jsonfeed-html.json", "", DocumentKind::Feed,
       found("https://news.example/uploads/meadow.webp", "untitled feed item")},
      // A pointer is the user's own choice.
      {"jsonfeed.json", "/icon", DocumentKind::Json,
       found("https://sky.example/icon-512.png", "pointer /icon")},
      {R"({"version": "https://jsonfeed.org/version/1", "items": [{"id": "1",
          "url": "https://x.example/1", "banner_image": "https://x.example/b"}]})",
       "", DocumentKind::Feed, found("https://x.example/b", "untitled feed item")},
      {R"({"version": "https://jsonfeed.org/version/1.1", "home_page_url": "https://x.example/",
          "items": [{"id": "1", "title": "Text", "url": "https://x.example/1"}]})",
       "", DocumentKind::Feed,
       fails(FailureKind::NoPictureFound, "the newest feed item (Text) names no picture")},
      {R"({"version": "https://jsonfeed.org/version/1.1", "items": []})", "", DocumentKind::Feed,
       fails(FailureKind::NoPictureFound, "feed has no items")},
      // Other JSON: a picture's address over any page's, wherever it is.
      {"json-page-first.json", "", DocumentKind::Json,
       found("https://cdn.studio.example/images/full/8c1f0e", "pointer /links/url (automatic)")},
      {R"({"a": {"url": "https://s.example/about"}, "b": {"src": "https://cdn.example/p/8c1f"}})",
       "", DocumentKind::Json, found("https://cdn.example/p/8c1f", "pointer /b/src (automatic)")},
      {R"({"author": {"url": "https://s.example/about"}, "version": "2"})", "", DocumentKind::Json,
       fails(FailureKind::NoPictureFound, "no picture address in the JSON document")},
  };
  for (const auto& c : cases) {
    const bool saved = c.json.ends_with(".json");
    const FindResult result = findPicture(saved ? document(c.json) : c.json, "", kPage, c.pointer);
    EXPECT_EQ(result.kind, c.kind) << c.json;
    expectFinds(result, c.expected, c.json.substr(0, 60) + " " + c.pointer);
  }
}

// What tells pictures from icons and pages, where the finders' tables leave it open.
TEST(FindPictureTest, AddressAndSizeHints) {
  EXPECT_TRUE(looksLikePictureAddress("https://x.example/a/b.JPEG#top"));
  EXPECT_TRUE(looksLikePictureAddress("/th?id=OHR.Sea_1920x1080.jpg&rf=x"));
  EXPECT_TRUE(looksLikePictureAddress("https://x.example/photos/123"));
  EXPECT_FALSE(looksLikePictureAddress("https://images.example/about"));  // a host, no folder
  EXPECT_FALSE(looksLikePictureAddress("https://x.example/page.html?next=/images/a"));
  EXPECT_FALSE(looksLikePictureAddress("https://x.example/images"));  // the file part
  EXPECT_TRUE(isNamedLikeDecoration("https://x.example/static/siteLogo.svg"));
  EXPECT_TRUE(isNamedLikeDecoration("/theme/icons/rss.png"));
  EXPECT_FALSE(isNamedLikeDecoration("/silicon-valley.jpg"));
  EXPECT_FALSE(isNamedLikeDecoration("https://avatar.example/big.jpg"));  // a host
  EXPECT_TRUE(isTinyBySize("1", ""));
  EXPECT_TRUE(isTinyBySize(" 1920", "96px"));
  EXPECT_FALSE(isTinyBySize("50%", "auto"));
  EXPECT_FALSE(isTinyBySize("100", "100"));
}

TEST(FindPictureTest, ClassifyDocument) {
  using namespace std::string_literals;
  struct Case {
    std::string bytes;
    std::string_view contentType;
    DocumentKind kind;
  };
  const std::string utf16Rss = "\xFF\xFE<\0r\0s\0s\0>\0"s;
  const Case cases[] = {
      {"\xFF\xD8\xFF\xE0", "text/html", DocumentKind::Picture},
      {"\x89PNG\r\n\x1A\n", "", DocumentKind::Picture},
      {"GIF87a", "", DocumentKind::Picture},
      {"GIF89a", "", DocumentKind::Picture},
      {"RIFF\x10\0\0\0WEBPVP8 "s, "", DocumentKind::Picture},
      {"RIFF\x10\0\0\0WAVEfmt "s, "", DocumentKind::Html},
      {"RIFF\x10\0", "", DocumentKind::Html},
      {"BM\x36\0\0\0"s, "image/bmp", DocumentKind::Picture},
      {"\0\0\0\x1C"
       "ftypavif"s,
       "image/avif", DocumentKind::Picture},
      {"<\0f\0e\0e\0d\0>\0"s, "", DocumentKind::Feed},
      {"<?xml version=\"1.0\"?>\n<!-- c --><rss version=\"2.0\"><channel>", "text/html",
       DocumentKind::Feed},
      {"<feed xmlns=\"http://www.w3.org/2005/Atom\"><entry><ti", "", DocumentKind::Feed},
      {"\xEF\xBB\xBF<rdf:RDF xmlns:rdf=\"x\">", "", DocumentKind::Feed},
      {utf16Rss, "", DocumentKind::Feed},
      {"\xFF\xFE\0\0<\0\0\0r\0\0\0s\0\0\0s\0\0\0>\0\0\0"s, "", DocumentKind::Feed},
      {"\0\0\xFE\xFF\0\0\0<\0\0\0f\0\0\0e\0\0\0e\0\0\0d\0\0\0>"s, "", DocumentKind::Feed},
      {"\0\0\0<\0\0\0r\0\0\0s\0\0\0s\0\0\0>"s, "", DocumentKind::Feed},
      {"\0\0\0<\0\0\0h\0\0\0t\0\0\0m\0\0\0l\0\0\0>"s, "", DocumentKind::Html},
      {"<rss><channel><item><title>a</b></item>", "", DocumentKind::Feed},
      {"<!DOCTYPE html><html><head>", "application/rss+xml", DocumentKind::Html},
      {"<?xml version=\"1.0\"?><html xmlns=\"http://www.w3.org/1999/xhtml\">", "",
       DocumentKind::Html},
      {"<svg xmlns=\"http://www.w3.org/2000/svg\"/>", "image/svg+xml", DocumentKind::Html},
      {"\xEF\xBB\xBF \r\n{\"a\": 1}", "text/plain", DocumentKind::Json},
      {"[1, 2]", "", DocumentKind::Json},
      {"\"https://x.example/a.jpg\"", "application/json; charset=utf-8", DocumentKind::Json},
      {"\"https://x.example/a.jpg\"", "application/ld+json", DocumentKind::Json},
      {"\"https://x.example/a.jpg\"", "text/html", DocumentKind::Html},
      {"plain words", "IMAGE/JPEG", DocumentKind::Picture},
      {"", "", DocumentKind::Html},
  };
  for (const Case& c : cases)
    EXPECT_EQ(classifyDocument(c.bytes, c.contentType), c.kind)
        << c.bytes << " / " << c.contentType;
}

TEST(FindPictureTest, FeedDates) {
  struct Case {
    std::string_view text;
    std::optional<std::int64_t> seconds;
  };
  const Case cases[] = {
      {"Sat, 07 Sep 2002 00:00:01 GMT", 1031356801},
      {"Tue, 10 Jun 2003 04:00:00 +0200", 1055210400},
      {"  10 Jun 2003 04:00 -0130 ", 1055223000},
      {"Tue, 10 Jun 03 04:00:00 PDT", 1055242800},
      {"1 jan 1999 00:00 Q", 915148800},
      {"Wed, 31 Dec 1969 23:59:59 UT", -1},
      {"2024-02-29T23:30:00+01:00", 1709245800},
      {"2024-02-29t23:30:00.123456z", 1709249400},
      {"2024-02-29T23:30Z", 1709249400},
      {"2024-03-01", 1709251200},
      {"2023-02-29", std::nullopt},
      {"Tue, 31 Jun 2003 04:00:00 GMT", std::nullopt},
      {"2024-01-01T25:00:00Z", std::nullopt},
      {"2024-01-01T10:00:00+0x:00", std::nullopt},
      {"yesterday", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(parseFeedDate(c.text), c.seconds) << c.text;
}

TEST(FindPictureTest, Limits) {
  // The size the download checks as bytes arrive, and findPicture's own check.
  EXPECT_EQ(documentSizeFailure(kMaxDocumentBytes), std::nullopt);
  const Failure tooLarge{FailureKind::TooLarge, "the page is larger than 4 MB"};
  EXPECT_EQ(documentSizeFailure(kMaxDocumentBytes + 1), tooLarge);
  std::string page = "<meta property=og:image content=http://x.example/a.jpg>";
  page.resize(kMaxDocumentBytes + 1, ' ');
  EXPECT_EQ(findPicture(page, "", kPage, "").failure, tooLarge);
  // A picture is no page: its size is the picture download's business.
  std::string picture = "\xFF\xD8\xFF";
  picture.resize(kMaxDocumentBytes + 1);
  const FindResult asPicture = findPicture(picture, "", kPage + "#x", "");
  EXPECT_EQ(asPicture.address, kPage);
  EXPECT_EQ(asPicture.source, "picture");

  // gumbo takes time in proportion to size times nesting; the budget stops it.
  std::string nested;
  for (int i = 0; i < 3000; ++i) nested += "<div>";
  EXPECT_NE(HtmlTree(nested).document(), nullptr);
  EXPECT_EQ(HtmlTree(nested, {std::chrono::milliseconds(0)}).document(), nullptr);
  EXPECT_EQ(HtmlTree(nested, {std::chrono::milliseconds(5000), 64 << 10}).document(), nullptr);
  const FindResult deepJson =
      findPicture(std::string(513, '[') + std::string(513, ']'), "", kPage, "");
  ASSERT_TRUE(deepJson.failure);
  EXPECT_EQ(*deepJson.failure,
            (Failure{FailureKind::TooLarge, "JSON nested deeper than 512 levels"}));
  EXPECT_EQ(
      findPicture(std::string(512, '[') + std::string(512, ']'), "", kPage, "").failure->detail,
      "no picture address in the JSON document (no member url, image, src or hdurl with a "
      "picture's http(s) address)");
}

std::string repeated(std::string_view text, std::size_t times) {
  std::string all;
  for (std::size_t i = 0; i < times; ++i) all += text;
  return all;
}

// An RSS feed of one item, titled Bomb, with extra and each piece as a description.
std::string feedOf(const std::vector<std::string>& pieces, const std::string& extra = "") {
  std::string item = "<item><title>Bomb</title>" + extra;
  for (const std::string& piece : pieces)
    item += "<description><![CDATA[" + piece + "]]></description>";
  return "<rss xmlns:media=\"http://search.yahoo.com/mrss/\"><channel>" + item +
         "</item></channel></rss>";
}

TEST(FindPictureTest, FeedHtmlSharesOneBudget) {
  const std::string bomb = repeated("<div>", 3000), good = "<img src=/good.jpg>", words = "words";
  const Expected tooComplex = fails(
      FailureKind::TooLarge, "the HTML in the newest feed item (Bomb) is too complex to read");
  const Expected foundGood = found("https://news.example/good.jpg", "Bomb");
  const struct {
    std::vector<std::string> pieces;
    std::string extra;
    Expected expected;
  } cases[] = {
      // Once the budget has run out nothing more is parsed, though the next piece alone fits.
      {{bomb, good}, "", tooComplex},
      // What is found first leaves the rest unparsed.
      {{good, bomb}, "", foundGood},
      {{bomb},
       "<media:content url=\"https://cdn.example/m.jpg\"/>",
       found("https://cdn.example/m.jpg", "Bomb")},
      // At most three pieces are parsed.
      {{words, words, good}, "", foundGood},
      {{words, words, words, good},
       "",
       fails(FailureKind::NoPictureFound, "the newest feed item (Bomb) names no picture")},
  };
  for (const auto& c : cases) {
    HtmlBudget budget({std::chrono::milliseconds(60000), 64 << 10, 3});
    expectFinds(findInFeed(feedOf(c.pieces, c.extra), kPage, budget), c.expected,
                std::to_string(c.pieces.size()) + " pieces " + c.extra);
    EXPECT_EQ(budget.heldBytes(), 0u);
  }
}

TEST(FindPictureTest, RaisedStopFlagCancels) {
  const std::string page = "<meta property=og:image content=/a.jpg>", json = R"({"url": "/a.jpg"})";
  const std::string feed = feedOf({"<img src=/a.jpg>"});
  for (const std::string& document : {page, feed, json}) {
    std::atomic<bool> stop{false};
    EXPECT_EQ(findPicture(document, "", kPage, "", &stop).address, "https://news.example/a.jpg");
    stop = true;
    EXPECT_EQ(findPicture(document, "", kPage, "", &stop).failure, cancelledFailure()) << document;
  }
  // Past findPicture's own look at the flag, each reader looks again.
  std::atomic<bool> raised{true};
  HtmlBudget budget({}, &raised);
  EXPECT_EQ(HtmlTree(page, budget).outcome(), HtmlParse::Stopped);
  EXPECT_EQ(findInPage(page, kPage, budget).failure, cancelledFailure());
  EXPECT_EQ(findInFeed(feed, kPage, budget).failure, cancelledFailure());
  for (const std::string pointer : {"", "/url"})
    EXPECT_EQ(findInJson(json, kPage, pointer, &raised).failure, cancelledFailure()) << pointer;
}

// What the heap holds by its own count: AddressSanitizer's, or glibc's.
std::optional<std::int64_t> heapInUse() {
#if defined(__SANITIZE_ADDRESS__)
  return static_cast<std::int64_t>(__sanitizer_get_current_allocated_bytes());
#elif defined(__GLIBC__)
  return static_cast<std::int64_t>(mallinfo2().uordblks);
#else
  return std::nullopt;
#endif
}

TEST(FindPictureTest, HtmlBudgetCountsWhatTheHeapHolds) {
  // Small elements make small blocks, where headers and rounding weigh most.
  const std::string page = repeated("<b><p>", 20000);
  std::size_t held = 0;
  std::optional<std::int64_t> heap;
  {
    HtmlBudget budget;
    const std::optional<std::int64_t> before = heapInUse();
    const HtmlTree tree(page, budget);
    if (before) heap = *heapInUse() - *before;
    ASSERT_EQ(tree.document() != nullptr, true);
    held = budget.heldBytes();
  }
  if (heap) {
    // Give or take the arena itself and the blocks glibc keeps aside for reuse.
    EXPECT_GE(std::int64_t(held) + (64 << 10), *heap);
    EXPECT_EQ(HtmlTree(page, {std::chrono::minutes(1), std::size_t(*heap) / 10 * 9}).document(),
              nullptr);
  }
  // Trees alive at once share the budget, which once run out stays out; each tree gives
  // its bytes back as it goes.
  HtmlBudget shared({std::chrono::minutes(1), held / 2 * 3});
  {
    const HtmlTree first(page, shared), second(page, shared);
    EXPECT_NE(first.document(), nullptr);
    EXPECT_EQ(second.outcome(), HtmlParse::OverBudget);
  }
  EXPECT_EQ(shared.heldBytes(), 0u);
  EXPECT_EQ(HtmlTree("<p>", shared).outcome(), HtmlParse::OverBudget);
}

TEST(FindPictureTest, DeepJsonCandidates) {
  // 5000 members named url that are no address, depth levels down, then `last` at the top.
  const auto document = [](std::size_t depth, const std::string& last) {
    return "{\"deep\":" + std::string(depth - 2, '[') + "{" + repeated("\"url\":\"a:\",", 4999) +
           "\"url\":\"a:\"}" + std::string(depth - 2, ']') + "," + last + "}";
  };
  const auto refused = [](std::size_t depth) {
    return fails(FailureKind::UnusableAddress,
                 "JSON member " + displaySafe("/deep" + repeated("/0", depth - 2) + "/url", 120) +
                     " is not a usable http(s) address: a:");
  };
  for (std::size_t depth : {2, 510}) {
    expectFinds(findPicture(document(depth, "\"Image\":\"/p.jpg\""), "", kPage, ""),
                found("https://news.example/p.jpg", "pointer /Image (automatic)"),
                std::to_string(depth));
    expectFinds(findPicture(document(depth, "\"image\":null"), "", kPage, ""), refused(depth),
                std::to_string(depth));
  }
}

TEST(FindPictureTest, JsonPointerSyntax) {
  struct Case {
    std::string pointer;
    std::string reason;  // empty: accepted
  };
  const Case cases[] = {
      {"", ""},
      {"/", ""},
      {"/images/0/url", ""},
      {"/a~0b~1c", ""},
      {"images", "JSON Pointer images: must start with /"},
      {"/a~2", "JSON Pointer /a~2: ~ must be followed by 0 or 1 (~0 is ~, ~1 is /)"},
      {"/a~", "JSON Pointer /a~: ~ must be followed by 0 or 1 (~0 is ~, ~1 is /)"},
  };
  for (const Case& c : cases) {
    const std::optional<Failure> failure = checkJsonPointerSyntax(c.pointer);
    EXPECT_EQ(failure ? failure->detail : "", c.reason) << c.pointer;
    if (failure) {
      EXPECT_EQ(failure->kind, FailureKind::UnusableAddress);
    }
  }
}

TEST(FindPictureTest, CommandLine) {
  struct Case {
    std::string arguments;
    int exitCode;
    std::string output;
  };
  const std::string documents = kDocuments + "/";
  const Case cases[] = {
      {documents + "og-relative.html --base " + kPage, 0,
       "https://news.example/img/sea%20view.jpg\nfrom: og:image (HTML page)\n"},
      {documents + "archive.json --pointer /a~1b/m~0n/1", 0,
       "https://cdn.example/escaped.jpg\nfrom: pointer /a~1b/m~0n/1 (JSON document)\n"},
      {documents + "og-relative.html", 1, ""},
      {documents + "icons-only.html", 1, ""},
      {documents + "missing.html", 1, ""},
      {"https://news.example/", 2, ""},
      {"", 2, ""},
      // The rule for the user's own network, on the spelling alone, --base as typed.
      {documents + "local-base.html --base " + kPage + " 2>&1", 1,
       "HTML page: the page names a picture on a private network address: 127.0.0.1\n"},
      {documents + "local-base.html --base http://192.168.1.5/", 0,
       "http://127.0.0.1:631/admin/reboot?confirm=1\nfrom: og:image (HTML page)\n"},
  };
  for (const Case& c : cases) {
    const bool errorsShown = c.arguments.ends_with("2>&1");
    const std::string command =
        std::string(TESSAREN_FIND) + " " + c.arguments + (errorsShown ? "" : " 2>/dev/null");
    std::FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char block[256];
    for (std::size_t n; (n = std::fread(block, 1, sizeof block, pipe)) > 0;)
      output.append(block, n);
    const int status = pclose(pipe);
    EXPECT_EQ(WEXITSTATUS(status), c.exitCode) << c.arguments;
    EXPECT_EQ(output, c.output) << c.arguments;
  }
}

}  // namespace
}  // namespace tessaren
