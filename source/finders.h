// The finders behind findPicture, one per kind of document, and what they share: turning
// the references a document holds into the first usable picture address.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "source/find_picture.h"

namespace tessaren {

class HtmlBudget;

// og:image:secure_url, og:image (og:image:url), twitter:image, twitter:image:src, then
// <link rel="image_src">, from <meta property=...> or <meta name=...> anywhere in the
// page; failing those, the page's main picture (mainPictures in source/html_tree.h): the
// address of the link around it when that is a picture file ("linked full-size
// picture"), else its own ("main picture of the page"). Resolved against <base href>
// (itself resolved against pageUrl) or pageUrl. The page is parsed within budget, which
// also holds the stop flag.
FindResult findInPage(std::string_view html, const std::string& pageUrl, HtmlBudget& budget);

// The newest item of an RSS 2.0, RSS 1.0 (RDF) or Atom feed, by pubDate, updated,
// published or dc:date (the first item when none has a date), and in it, in this order:
// an image media:content (the largest by width x height, else by fileSize), an image
// enclosure, itunes:image, a media:thumbnail (the largest), else the first <img> in its
// description or content that is not small (mainPictures in source/html_tree.h). Media
// RSS counts in the item, in media:group and in a video's media:content; a
// media:content that is an author's or a credit's picture (in media:credit, named like
// an avatar, or small by its size) is never chosen. A feed broken by a fault keeps its
// complete items before it. Relative addresses are resolved against xml:base and
// feedUrl. The item's HTML is parsed only as far as it takes to find a usable picture,
// each piece in turn, all within budget, which also holds the stop flag.
FindResult findInFeed(std::string_view xml, const std::string& feedUrl, HtmlBudget& budget);

// The string that pointer names, resolved against documentUrl. An empty pointer means
// automatic. A JSON Feed (by its "version") gives its newest item's image, banner_image,
// image attachment or first <img> of content_html that is not small, as a Feed. Other
// JSON gives the first member, in document order at any depth, named url, image, src or
// hdurl (in any case) whose string value resolves to an http(s) address that looks like
// a picture's (looksLikePictureAddress); failing that, the first such image, src or hdurl
// of any http(s) address; never a url that does not look like a picture's. stop, when
// not null, ends the reading early (Cancelled); a JSON Feed's HTML is read within a
// budget of its own (HtmlLimits), which the stop flag also ends.
FindResult findInJson(std::string_view json, const std::string& documentUrl,
                      const std::string& pointer, const std::atomic<bool>* stop = nullptr);

// A date as feeds write it, RFC 822 ("Tue, 10 Jun 2003 04:00:00 +0200", RSS) or RFC 3339
// ("2003-06-10T04:00:00+02:00", Atom and dc:date, where a date alone is midnight UTC),
// as seconds since 1970 UTC; nullopt when it is neither.
std::optional<std::int64_t> parseFeedDate(std::string_view text);

// One reference a document names.
struct Reference {
  std::string text;
  std::string what;    // for a reason: "og:image", "media:content"
  std::string source;  // for the log: FindResult::source
};

// The first reference that resolves against base to a usable address. Otherwise
// UnusableAddress naming the first one that does not, or NoPictureFound with noneFound
// when there are none.
FindResult firstUsable(DocumentKind kind, const std::vector<Reference>& references,
                       const std::string& base, const std::string& noneFound);

// What tells a picture from the small ones around it (icons, logos, spacers, avatars),
// and a picture's address from a page's, on the address and attributes alone.
//
// A side under this, by a width or height attribute, makes a picture too small to be
// anybody's wallpaper: avatars are 96 pixels, icons and spacers smaller.
inline constexpr std::uint64_t kSmallestPictureSide = 100;

// width and height are attribute values as written ("48", "48px", "100%", ""); a
// percentage or a value that is no number says nothing.
bool isTinyBySize(std::string_view width, std::string_view height);

// The address's path holds a word like avatar, gravatar, logo, icon, favicon or spacer
// (singular or plural, in any case, as a whole word of the path: "site-logo.png",
// "/avatar/abc", "userAvatar.jpg"; not "silicon.jpg").
bool isNamedLikeDecoration(std::string_view address);

// The address names a picture file: its path, or a value in its query, ends in .jpg,
// .jpeg, .jpe, .jfif, .png, .gif or .webp.
bool looksLikePictureFile(std::string_view address);

// looksLikePictureFile, or a folder of its path is one pictures are kept in (image,
// images, img, photos, wallpapers, thumbs, ...): for the automatic JSON rule.
bool looksLikePictureAddress(std::string_view address);

FindResult notFound(DocumentKind kind, FailureKind failureKind, std::string detail);
FindResult notFound(DocumentKind kind, Failure failure);

}  // namespace tessaren
