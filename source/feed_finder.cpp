// The picture of a feed's newest item. pugixml knows no namespaces, so the Media RSS
// elements are told from Atom's own <content> by the namespace their prefix is bound to.
#include <algorithm>
#include <charconv>
#include <cstring>
#include <map>
#include <pugixml.hpp>
#include <set>

#include "download/url.h"
#include "platform/text.h"
#include "source/finders.h"
#include "source/html_tree.h"

namespace tessaren {
namespace {

// The <img> addresses looked at in one piece of HTML.
constexpr std::size_t kMostImagesPerText = 16;

std::string_view localName(std::string_view qualifiedName) {
  const std::size_t colon = qualifiedName.rfind(':');
  return colon == std::string_view::npos ? qualifiedName : qualifiedName.substr(colon + 1);
}

std::string_view localName(pugi::xml_node node) { return localName(node.name()); }

bool isMediaNamespace(std::string_view uri) {
  return uri == "http://search.yahoo.com/mrss/" || uri == "http://search.yahoo.com/mrss";
}

bool isImageType(std::string_view type) {
  constexpr std::string_view kImage = "image/";
  return type.size() > kImage.size() && startsWithIgnoringCase(type, kImage);
}

// The namespace each element's prefix is bound to. Lookups run up through the ancestors,
// whose answers are kept: an item's thousand children cost one walk up, not a thousand.
class Namespaces {
 public:
  std::string_view of(pugi::xml_node element) {
    const std::string_view name = element.name();
    const std::size_t colon = name.find(':');
    const std::string attribute =
        colon == std::string_view::npos ? "xmlns" : "xmlns:" + std::string(name.substr(0, colon));
    if (const pugi::xml_attribute own = element.attribute(attribute.c_str())) return own.value();
    std::vector<const void*> unanswered;
    std::string_view uri;
    for (pugi::xml_node node = element.parent(); node; node = node.parent()) {
      const auto known = answers_.find({node.internal_object(), attribute});
      if (known != answers_.end()) {
        uri = known->second;
        break;
      }
      unanswered.push_back(node.internal_object());
      if (const pugi::xml_attribute binding = node.attribute(attribute.c_str())) {
        uri = binding.value();
        break;
      }
    }
    for (const void* node : unanswered) answers_[{node, attribute}] = uri;
    return uri;
  }

 private:
  std::map<std::pair<const void*, std::string>, std::string_view> answers_;
};

// "a, b or c".
std::string listText(const std::vector<std::string>& words, const std::string& last) {
  std::string text;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (i > 0) text += i + 1 == words.size() ? " " + last + " " : ", ";
    text += words[i];
  }
  return text;
}

// A title laid out over several lines reads as one line in the log.
std::string collapsedBlanks(const std::string& text) {
  std::string line;
  for (char c : text) {
    if (!isBlank(c)) {
      line += c;
    } else if (!line.empty() && line.back() != ' ') {
      line += ' ';
    }
  }
  if (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

std::string textOf(pugi::xml_node element) {
  std::string text;
  for (pugi::xml_node child : element.children()) {
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata)
      text += child.value();
  }
  return text;
}

pugi::xml_node childNamed(pugi::xml_node parent, std::string_view local) {
  for (pugi::xml_node child : parent.children()) {
    if (child.type() == pugi::node_element && localName(child) == local) return child;
  }
  return {};
}

std::vector<pugi::xml_node> itemsOf(pugi::xml_node root) {
  std::vector<pugi::xml_node> items;
  for (pugi::xml_node child : root.children()) {
    if (child.type() != pugi::node_element) continue;
    const std::string_view name = localName(child);
    if (name == "item" || name == "entry") items.push_back(child);
    if (name != "channel") continue;
    for (pugi::xml_node item : child.children()) {
      if (item.type() == pugi::node_element && localName(item) == "item") items.push_back(item);
    }
  }
  return items;
}

std::optional<std::int64_t> itemDate(pugi::xml_node item) {
  for (std::string_view name : {"pubDate", "updated", "published", "date"}) {
    if (const pugi::xml_node date = childNamed(item, name)) {
      if (std::optional<std::int64_t> seconds = parseFeedDate(textOf(date))) return seconds;
    }
  }
  return std::nullopt;
}

// The newest dated item; the first when none has a date.
pugi::xml_node newestOf(const std::vector<pugi::xml_node>& items) {
  pugi::xml_node newest = items.front();
  std::optional<std::int64_t> newestDate;
  for (pugi::xml_node item : items) {
    const std::optional<std::int64_t> date = itemDate(item);
    if (date && (!newestDate || *date > *newestDate)) {
      newest = item;
      newestDate = date;
    }
  }
  return newest;
}

std::uint64_t numberAttribute(pugi::xml_node element, const char* name) {
  const std::string_view text = element.attribute(name).value();
  std::uint64_t value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return std::min<std::uint64_t>(value, 1'000'000'000);  // keeps width x height in range
}

// Feeds write it in more than one case: ".../DTDs/Podcast-1.0.dtd".
bool isItunesNamespace(std::string_view uri) {
  return equalsIgnoringCase(uri, "http://www.itunes.com/dtds/podcast-1.0.dtd");
}

std::string_view prefixOf(pugi::xml_node element) {
  const std::string_view name = element.name();
  const std::size_t colon = name.find(':');
  return colon == std::string_view::npos ? std::string_view() : name.substr(0, colon);
}

// A media:content or media:thumbnail, ranked by its size.
struct MediaPicture {
  std::string url;
  int rank = 0;  // 2: has a width and height, 1: has a file size only
  std::uint64_t size = 0;
};

MediaPicture mediaPicture(pugi::xml_node element) {
  MediaPicture picture{element.attribute("url").value()};
  const std::uint64_t area = numberAttribute(element, "width") * numberAttribute(element, "height");
  const std::uint64_t fileSize = numberAttribute(element, "fileSize");
  if (area > 0) {
    picture.rank = 2;
    picture.size = area;
  } else if (fileSize > 0) {
    picture.rank = 1;
    picture.size = fileSize;
  }
  return picture;
}

void sortLargestFirst(std::vector<MediaPicture>& pictures) {
  std::stable_sort(pictures.begin(), pictures.end(),
                   [](const MediaPicture& a, const MediaPicture& b) {
                     return a.rank != b.rank ? a.rank > b.rank : a.size > b.size;
                   });
}

// The <img> addresses of XHTML inside an Atom element, without recursion, but for the
// small ones.
void xhtmlImages(pugi::xml_node container, std::vector<std::string>& sources) {
  pugi::xml_node node = container.first_child();
  while (node && node != container && sources.size() < kMostImagesPerText) {
    if (node.type() == pugi::node_element && localName(node) == "img" &&
        *node.attribute("src").value() &&
        !isTinyBySize(node.attribute("width").value(), node.attribute("height").value()) &&
        !isNamedLikeDecoration(node.attribute("src").value()))
      sources.emplace_back(node.attribute("src").value());
    if (node.first_child()) {
      node = node.first_child();
      continue;
    }
    while (node && node != container && !node.next_sibling()) node = node.parent();
    if (node && node != container) node = node.next_sibling();
  }
}

// What an item names, in order of preference, but for the <img> in its HTML: that is
// the costly part, left for findInFeed to parse when nothing before it will do.
class ItemReader {
 public:
  ItemReader(Namespaces& namespaces, std::string source)
      : namespaces_(namespaces), source_(std::move(source)) {}

  void read(pugi::xml_node item) { read(item, 0, false); }

  // What the item names of each kind ("media:content", "enclosure", "itunes:image",
  // "media:thumbnail"), usable or not.
  bool named(std::string_view kind) const { return named_.contains(kind); }

  // Largest image media:content, image enclosure, itunes:image, largest media:thumbnail.
  std::vector<Reference> references() {
    sortLargestFirst(media_);
    sortLargestFirst(thumbnails_);
    std::vector<Reference> all;
    for (const MediaPicture& content : media_)
      all.push_back({content.url, "media:content", source_});
    for (const std::string& url : enclosures_) all.push_back({url, "enclosure", source_});
    for (const std::string& url : itunesImages_) all.push_back({url, "itunes:image", source_});
    for (const MediaPicture& thumbnail : thumbnails_)
      all.push_back({thumbnail.url, "media:thumbnail", source_});
    return all;
  }

  // The HTML as text (escaped, or in CDATA), or Atom's type="xhtml" as elements, in
  // document order.
  const std::vector<pugi::xml_node>& htmlPieces() const { return html_; }

  // An author's or a credit's picture was passed over.
  bool passedOverSmall() const { return passedOverSmall_; }

 private:
  // Media RSS puts its elements in the item, in a <media:group>, and (a poster picture)
  // in a video's <media:content>; <media:credit> holds the author's. depth stops a feed
  // of nested groups from taking the stack.
  // In the namespace known, or (feeds written by hand use a prefix without declaring it)
  // under its usual prefix, bound to nothing.
  bool in(pugi::xml_node element, bool (*known)(std::string_view), std::string_view prefix) {
    const std::string_view uri = namespaces_.of(element);
    return uri.empty() ? prefixOf(element) == prefix : known(uri);
  }

  void read(pugi::xml_node parent, int depth, bool credit) {
    constexpr int kDeepestMedia = 3;  // item, group, content, thumbnail
    for (pugi::xml_node element : parent.children()) {
      if (element.type() != pugi::node_element) continue;
      const std::string_view name = localName(element);
      const bool media = (name == "content" || name == "thumbnail" || name == "group" ||
                          name == "description" || name == "credit") &&
                         in(element, isMediaNamespace, "media");
      const std::string_view rel = element.attribute("rel").value();
      const char* url = element.attribute("url").value();
      if (media && (name == "content" || name == "thumbnail"))
        named_.insert("media:" + std::string(name));
      if (media && (name == "group" || name == "credit")) {
        if (depth + 1 < kDeepestMedia) read(element, depth + 1, credit || name == "credit");
      } else if (media && name == "content") {
        readMediaContent(element, credit);
        if (depth + 1 < kDeepestMedia) read(element, depth + 1, credit);
      } else if (media && name == "thumbnail") {
        if (*url && !credit) thumbnails_.push_back(mediaPicture(element));
      } else if (depth > 0) {
        continue;  // the rest counts in the item itself only
      } else if (name == "enclosure" || (name == "link" && rel == "enclosure")) {
        named_.insert("enclosure");
        const char* address = name == "link" ? element.attribute("href").value() : url;
        if (*address && isImageType(element.attribute("type").value()))
          enclosures_.emplace_back(address);
      } else if ((name == "image" || (name == "link" && rel == "image")) &&
                 in(element, isItunesNamespace, "itunes")) {
        named_.insert("itunes:image");
        // Podcasts write href; some url, a few the address as the element's text. The
        // first iTunes tags had <itunes:link rel="image" href=...>.
        std::string href = trimmed(element.attribute("href").value());
        if (href.empty()) href = trimmed(element.attribute("url").value());
        if (href.empty()) href = trimmed(textOf(element));
        if (!href.empty()) itunesImages_.push_back(std::move(href));
      } else if (!media && (name == "description" || name == "encoded" || name == "content" ||
                            name == "summary")) {
        html_.push_back(element);
      }
    }
  }

  void readMediaContent(pugi::xml_node element, bool credit) {
    const std::string_view medium = element.attribute("medium").value();
    const std::string_view type = element.attribute("type").value();
    const bool image = medium == "image" || isImageType(type) || (medium.empty() && type.empty());
    const std::string_view url = element.attribute("url").value();
    if (!image || url.empty()) return;
    // Blog platforms give the author's avatar as one more media:content, without a size.
    if (credit || isNamedLikeDecoration(url) ||
        isTinyBySize(element.attribute("width").value(), element.attribute("height").value())) {
      passedOverSmall_ = true;
      return;
    }
    media_.push_back(mediaPicture(element));
  }

  Namespaces& namespaces_;
  std::string source_;
  std::vector<MediaPicture> media_;
  std::vector<std::string> enclosures_;
  std::vector<std::string> itunesImages_;
  std::vector<MediaPicture> thumbnails_;
  std::vector<pugi::xml_node> html_;
  std::set<std::string, std::less<>> named_;
  bool passedOverSmall_ = false;
};

// The deepest last node under node: where the parse was when it left node.
pugi::xml_node lastDescendant(pugi::xml_node node) {
  while (node.last_child()) node = node.last_child();
  return node;
}

// Whether an item was complete when the parse met a fault. One followed by anything was
// closed before it; the last one was when its end tag lies between what it last holds
// and the fault. Offsets are the text's own only where pugixml converted nothing (UTF-8):
// elsewhere the last item counts as cut short.
bool isComplete(pugi::xml_node item, std::string_view xml, const pugi::xml_parse_result& parsed) {
  if (item.next_sibling()) return true;
  if (parsed.encoding != pugi::encoding_utf8) return false;
  const pugi::xml_node last = lastDescendant(item);
  const std::ptrdiff_t at = last.offset_debug();
  if (at < 0 || parsed.offset < at) return false;
  std::size_t from = static_cast<std::size_t>(at);
  if (last.type() == pugi::node_pcdata || last.type() == pugi::node_cdata)
    from += std::strlen(last.value());  // no shorter than the text's own
  // A CDATA section cut short runs past the fault: nothing of its item's end tag was read.
  const std::string_view read = xml.substr(0, static_cast<std::size_t>(parsed.offset));
  if (from >= read.size()) return false;
  const std::string_view between = read.substr(from);
  const std::string endTag = std::string("</") + item.name();
  for (std::size_t end = between.find(endTag); end != std::string_view::npos;
       end = between.find(endTag, end + 1)) {
    const std::string_view rest = between.substr(end + endTag.size());
    const std::size_t close = rest.find_first_not_of(kBlanks);
    if (close != std::string_view::npos && rest[close] == '>') return true;
  }
  return false;
}

}  // namespace

FindResult findInFeed(std::string_view xml, const std::string& feedUrl, HtmlBudget& budget) {
  pugi::xml_document document;
  const pugi::xml_parse_result parsed =
      document.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_auto);
  if (budget.stopRaised()) return notFound(DocumentKind::Feed, cancelledFailure());
  // Feed readers take the complete items before a fault, as pugixml keeps them.
  std::vector<pugi::xml_node> items = itemsOf(document.document_element());
  if (!parsed)
    std::erase_if(items, [&](pugi::xml_node item) { return !isComplete(item, xml, parsed); });
  if (!parsed && items.empty())
    return notFound(DocumentKind::Feed, FailureKind::NoPictureFound,
                    std::string("not a well-formed feed: ") + parsed.description() + " at byte " +
                        std::to_string(parsed.offset));
  if (items.empty())
    return notFound(DocumentKind::Feed, FailureKind::NoPictureFound, "feed has no items");
  const pugi::xml_node item = newestOf(items);

  std::string title = displaySafe(collapsedBlanks(textOf(childNamed(item, "title"))), 80);
  if (title.empty()) title = "untitled feed item";
  // Atom's xml:base, on the feed, the channel or the item.
  std::string base = feedUrl;
  std::vector<pugi::xml_node> scopes;
  for (pugi::xml_node node = item; node && node.type() == pugi::node_element; node = node.parent())
    scopes.insert(scopes.begin(), node);
  for (pugi::xml_node scope : scopes) {
    const char* xmlBase = scope.attribute("xml:base").value();
    if (*xmlBase == '\0') continue;
    if (std::optional<std::string> resolved = resolveUrl(base, xmlBase)) base = *resolved;
  }

  Namespaces namespaces;
  ItemReader reader(namespaces, title);
  reader.read(item);
  std::vector<Reference> references = reader.references();
  // The <img> come last, so that once a usable reference is known the rest of the HTML
  // can change nothing: it is not parsed. Each reference is looked at once.
  std::size_t unchecked = 0;
  const auto usableKnown = [&] {
    for (; unchecked < references.size(); ++unchecked) {
      const std::optional<std::string> resolved = resolveUrl(base, references[unchecked].text);
      if (resolved && usablePictureAddress(*resolved)) return true;
    }
    return false;
  };
  std::vector<std::string> images;
  std::size_t parsedPieces = 0;
  for (pugi::xml_node piece : reader.htmlPieces()) {
    if (usableKnown()) break;
    if (budget.stopRaised()) return notFound(DocumentKind::Feed, cancelledFailure());
    const std::size_t known = images.size();
    if (std::string_view(piece.attribute("type").value()) == "xhtml") {
      xhtmlImages(piece, images);
    } else if (parsedPieces++ < budget.limits().pieces) {
      const HtmlTree tree(textOf(piece), budget);
      if (tree.outcome() == HtmlParse::Stopped)
        return notFound(DocumentKind::Feed, cancelledFailure());
      if (tree.outcome() == HtmlParse::OverBudget)
        return notFound(DocumentKind::Feed, FailureKind::TooLarge,
                        "the HTML in the newest feed item (" + title +
                            ") is too complex to read (nested too deep or too large)");
      // A picture shown for itself (a size given, a link around it, as an attachment's
      // thumbnail has) before one that may be an icon in the text (a forum's marker).
      std::vector<HtmlPicture> pictures = mainPictures(tree, kMostImagesPerText);
      std::stable_partition(pictures.begin(), pictures.end(),
                            [](const HtmlPicture& picture) { return picture.sizedOrLinked; });
      for (const HtmlPicture& picture : pictures) images.emplace_back(picture.source);
    }
    for (std::size_t i = known; i < images.size(); ++i)
      references.push_back({images[i], "img", title});
  }
  // The reason names as missing only what the item does not name at all, in any spelling.
  std::vector<std::string> missing, unusable;
  for (const char* kind : {"media:content", "enclosure", "itunes:image", "media:thumbnail"}) {
    // An author's picture is named on its own below.
    if (reader.passedOverSmall() && std::string_view(kind) == "media:content") continue;
    (reader.named(kind) ? unusable : missing).emplace_back(kind);
  }
  missing.emplace_back("img");
  std::string reason = "no " + listText(missing, "or");
  if (!unusable.empty())
    reason += "; its " + listText(unusable, "and") + (unusable.size() == 1 ? " is" : " are") +
              " no picture";
  if (reader.passedOverSmall()) reason += "; only an author's or credit's picture";
  return firstUsable(DocumentKind::Feed, references, base,
                     "the newest feed item (" + title + ") names no picture (" + reason + ")");
}

}  // namespace tessaren
