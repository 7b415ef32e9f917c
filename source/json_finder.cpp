// The picture address in a JSON document: the string a JSON Pointer names, or, with no
// pointer, a JSON Feed's newest item's picture, or the first member that looks like one.
// nlohmann-json reads the text through its SAX interface, so that parse errors arrive as values
// rather than exceptions, the nesting stays bounded, and the automatic search sees members in
// document order without a tree at all.
#include <algorithm>
#include <charconv>
#include <nlohmann/json.hpp>

#include "download/url.h"
#include "platform/text.h"
#include "source/finders.h"
#include "source/html_tree.h"

namespace tessaren {
namespace {

using Json = nlohmann::json;

// Deeper documents are refused rather than built: no picture hides that far down.
constexpr std::size_t kMaxDepth = 512;
constexpr std::string_view kAutomaticNames[] = {"url", "image", "src", "hdurl"};

// "an object", "a number", "null": nlohmann's type names as a sentence needs them.
std::string withArticle(const Json& value) {
  const std::string name = value.type_name();
  if (value.is_null()) return name;
  return (value.is_object() || value.is_array() ? "an " : "a ") + name;
}

// Reads a document as nlohmann's SAX parser calls it: keeps the path to the current value
// and the parser's message, builds the tree when given a root to build into, and
// otherwise looks for the automatic picture member. Each value, key and container looks at
// the stop flag first.
class JsonReader {
 public:
  JsonReader(Json* root, const std::string& base, const std::atomic<bool>* stop)
      : root_(root), base_(base), stop_(stop) {}

  bool null() { return value(nullptr); }
  bool boolean(bool flag) { return value(flag); }
  bool number_integer(Json::number_integer_t number) { return value(number); }
  bool number_unsigned(Json::number_unsigned_t number) { return value(number); }
  bool number_float(Json::number_float_t number, const std::string&) { return value(number); }
  bool binary(Json::binary_t&) { return value(nullptr); }  // never in JSON text
  bool string(std::string& text) {
    if (root_ == nullptr && !frames_.empty() && !frames_.back().array && !found_) consider(text);
    if (frames_.size() == 1 && !frames_.back().array && frames_.back().key == "version")
      version_ = text;
    return value(std::move(text));
  }
  bool start_object(std::size_t) { return open(Json::object()); }
  bool start_array(std::size_t) { return open(Json::array()); }
  bool key(std::string& name) {
    frames_.back().key = std::move(name);
    return !stopRaised();
  }
  bool end_object() { return close(); }
  bool end_array() { return close(); }
  template <class Exception>
  bool parse_error(std::size_t, const std::string&, const Exception& error) {
    std::string_view text = error.what();
    // "[json.exception.parse_error.101] parse error at line 1, column 9: ..."
    if (text.starts_with("[json.exception.") && text.find("] ") != std::string_view::npos)
      text.remove_prefix(text.find("] ") + 2);
    message_ = "not JSON: " + displaySafe(text, 160);
    return false;
  }

  const std::string& message() const { return message_; }
  bool tooDeep() const { return tooDeep_; }
  bool stopped() const { return stopped_; }
  // The first member whose address looks like a picture's; else the first named like a
  // picture (image, src, hdurl) whose address is usable; else the first that is not.
  const std::optional<Reference>& found() const { return found_ ? found_ : namedOnly_; }
  const std::optional<Reference>& firstUnusable() const { return firstUnusable_; }
  // The top-level "version" member, which names a JSON Feed.
  const std::string& version() const { return version_; }

 private:
  struct Frame {
    Json* container;  // nullptr when no tree is built
    bool array;
    std::size_t index = 0;
    std::string key;
  };

  // Stores a value where the current frame says, and moves past it.
  Json* store(Json&& item) {
    Json* stored = nullptr;
    if (root_ != nullptr) {
      if (frames_.empty()) {
        *root_ = std::move(item);
        stored = root_;
      } else if (frames_.back().array) {
        frames_.back().container->push_back(std::move(item));
        stored = &frames_.back().container->back();
      } else {
        stored = &(*frames_.back().container)[frames_.back().key];
        *stored = std::move(item);
      }
    }
    return stored;
  }
  void advance() {
    if (!frames_.empty() && frames_.back().array) ++frames_.back().index;
  }
  bool stopRaised() {
    stopped_ = stop_ != nullptr && stop_->load(std::memory_order_relaxed);
    return stopped_;
  }
  bool value(Json&& item) {
    store(std::move(item));
    advance();
    return !stopRaised();
  }
  bool open(Json&& container) {
    if (stopRaised()) return false;
    if (frames_.size() == kMaxDepth) {
      tooDeep_ = true;
      message_ = "JSON nested deeper than " + std::to_string(kMaxDepth) + " levels";
      return false;
    }
    const bool array = container.is_array();
    frames_.push_back({store(std::move(container)), array, 0, {}});
    return true;
  }
  bool close() {
    frames_.pop_back();
    advance();
    return true;
  }

  std::string pointerHere() const {
    Json::json_pointer path;
    for (const Frame& frame : frames_) {
      if (frame.array) {
        path /= frame.index;
      } else {
        path /= frame.key;
      }
    }
    return path.to_string();
  }

  // The pointer's text grows with the depth: it is made for the two members kept only, or
  // a deep document of candidates would take time in proportion to its size times depth.
  Reference here(const std::string& text) const {
    const std::string pointer = pointerHere();
    return {text, "JSON member " + displaySafe(pointer, 120),
            "pointer " + displaySafe(pointer, 120) + " (automatic)"};
  }

  void consider(const std::string& text) {
    const std::string_view name = frames_.back().key;
    if (std::none_of(std::begin(kAutomaticNames), std::end(kAutomaticNames),
                     [&](std::string_view wanted) { return equalsIgnoringCase(name, wanted); }))
      return;
    const std::optional<std::string> resolved = resolveUrl(base_, text);
    if (!resolved || !usablePictureAddress(*resolved)) {
      if (!firstUnusable_) firstUnusable_ = here(text);
    } else if (looksLikePictureAddress(*resolved)) {
      found_ = here(text);
    } else if (!namedOnly_ && !equalsIgnoringCase(name, "url")) {
      // A member called url names a page as often as a picture (a JSON Feed's author's
      // home page); the others name a picture even without a picture's extension.
      namedOnly_ = here(text);
    }
  }

  Json* root_;
  const std::string& base_;
  const std::atomic<bool>* stop_;
  std::vector<Frame> frames_;
  std::string message_;
  bool tooDeep_ = false;
  bool stopped_ = false;
  std::optional<Reference> found_;
  std::optional<Reference> namedOnly_;
  std::optional<Reference> firstUnusable_;
  std::string version_;
};

// "0" or a number without leading zeros, below count; RFC 6901 allows no other index.
std::optional<std::size_t> arrayIndex(std::string_view token, std::size_t count) {
  if (token.empty() || (token.size() > 1 && token.front() == '0')) return std::nullopt;
  std::size_t index = 0;
  const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), index);
  if (error != std::errc() || end != token.data() + token.size() || index >= count)
    return std::nullopt;
  return index;
}

FindResult followPointer(const Json& root, const std::string& pointer, const std::string& base) {
  const std::string shown = "JSON Pointer " + displaySafe(pointer, 120);
  const auto missing = [&](const std::string& why) {
    return notFound(DocumentKind::Json, FailureKind::NoPictureFound, shown + ": " + why);
  };
  // checkJsonPointerSyntax has passed, so nlohmann's json_pointer cannot refuse it.
  Json::json_pointer remaining(pointer);
  std::vector<std::string> tokens;
  for (; !remaining.empty(); remaining.pop_back()) tokens.push_back(remaining.back());
  std::reverse(tokens.begin(), tokens.end());

  const Json* value = &root;
  Json::json_pointer walked;
  for (const std::string& token : tokens) {
    const std::string where = walked.empty() ? "the document" : walked.to_string();
    if (value->is_object()) {
      const auto member = value->find(token);
      if (member == value->end())
        return missing("no such member (" + displaySafe(where, 120) + " has no \"" +
                       displaySafe(token, 60) + "\")");
      value = &*member;
    } else if (value->is_array()) {
      const std::optional<std::size_t> index = arrayIndex(token, value->size());
      if (!index)
        return missing("no such item (" + displaySafe(where, 120) + " is an array of " +
                       std::to_string(value->size()) + ")");
      value = &(*value)[*index];
    } else {
      return missing(displaySafe(where, 120) + " is " + withArticle(*value) +
                     ", not an object or array");
    }
    walked /= token;
  }
  if (!value->is_string()) return missing(withArticle(*value) + ", not an address");
  return firstUsable(
      DocumentKind::Json,
      {{value->get_ref<const std::string&>(), shown, "pointer " + displaySafe(pointer, 120)}}, base,
      "");
}

bool isJsonFeed(std::string_view version) {
  return version.starts_with("https://jsonfeed.org/version/");
}

const Json* member(const Json& object, const char* name) {
  if (!object.is_object()) return nullptr;
  const auto found = object.find(name);
  return found == object.end() ? nullptr : &*found;
}

std::string stringMember(const Json& object, const char* name) {
  const Json* value = member(object, name);
  return value != nullptr && value->is_string() ? value->get<std::string>() : std::string();
}

// The newest item by date_published (else date_modified); the first when none has a date.
const Json& newestJsonFeedItem(const Json& items) {
  const Json* newest = &items.front();
  std::optional<std::int64_t> newestDate;
  for (const Json& item : items) {
    std::optional<std::int64_t> date = parseFeedDate(stringMember(item, "date_published"));
    if (!date) date = parseFeedDate(stringMember(item, "date_modified"));
    if (date && (!newestDate || *date > *newestDate)) {
      newest = &item;
      newestDate = date;
    }
  }
  return *newest;
}

// A JSON Feed's newest item: its image, banner_image, an image attachment, else the
// first <img> of its content_html that is not small. The feed's and the authors' home
// pages and avatars are no candidates.
FindResult findInJsonFeed(const Json& feed, const std::string& base,
                          const std::atomic<bool>* stop) {
  const Json* items = member(feed, "items");
  if (items == nullptr || !items->is_array() || items->empty())
    return notFound(DocumentKind::Feed, FailureKind::NoPictureFound, "feed has no items");
  const Json& item = newestJsonFeedItem(*items);
  std::string title = displaySafe(trimmed(stringMember(item, "title")), 80);
  if (title.empty()) title = "untitled feed item";

  std::vector<Reference> references;
  for (const char* name : {"image", "banner_image"}) {
    const std::string address = stringMember(item, name);
    if (!address.empty()) references.push_back({address, name, title});
  }
  if (const Json* attachments = member(item, "attachments");
      attachments && attachments->is_array()) {
    for (const Json& attachment : *attachments) {
      const std::string type = stringMember(attachment, "mime_type");
      const std::string address = stringMember(attachment, "url");
      if (startsWithIgnoringCase(type, "image/") && type.size() > 6 && !address.empty())
        references.push_back({address, "attachment", title});
    }
  }
  const std::string noneFound = "the newest feed item (" + title +
                                ") names no picture (no image, banner_image, image attachment "
                                "or img)";
  FindResult named = firstUsable(DocumentKind::Feed, references, base, noneFound);
  const std::string html = stringMember(item, "content_html");
  if (!named.failure || html.empty()) return named;

  HtmlBudget budget(HtmlLimits{}, stop);
  const HtmlTree tree(html, budget);
  if (tree.outcome() == HtmlParse::Stopped) return notFound(DocumentKind::Feed, cancelledFailure());
  if (tree.outcome() == HtmlParse::OverBudget)
    return notFound(DocumentKind::Feed, FailureKind::TooLarge,
                    "the HTML in the newest feed item (" + title +
                        ") is too complex to read (nested too deep or too large)");
  for (const HtmlPicture& picture : mainPictures(tree, 16))
    references.push_back({std::string(picture.source), "img", title});
  return firstUsable(DocumentKind::Feed, references, base, noneFound);
}

}  // namespace

FindResult findInJson(std::string_view json, const std::string& documentUrl,
                      const std::string& pointer, const std::atomic<bool>* stop) {
  if (std::optional<Failure> refused = checkJsonPointerSyntax(pointer)) {
    FindResult result;
    result.kind = DocumentKind::Json;
    result.failure = std::move(refused);
    return result;
  }
  if (json.starts_with("\xEF\xBB\xBF")) json.remove_prefix(3);
  Json root;
  JsonReader reader(pointer.empty() ? nullptr : &root, documentUrl, stop);
  if (!Json::sax_parse(json.data(), json.data() + json.size(), &reader)) {
    if (reader.stopped()) return notFound(DocumentKind::Json, cancelledFailure());
    return notFound(DocumentKind::Json,
                    reader.tooDeep() ? FailureKind::TooLarge : FailureKind::NoPictureFound,
                    reader.message());
  }
  if (!pointer.empty()) return followPointer(root, pointer, documentUrl);
  if (isJsonFeed(reader.version())) {
    // Read once more, as a tree this time: only a feed needs one in automatic mode.
    JsonReader builder(&root, documentUrl, stop);
    if (!Json::sax_parse(json.data(), json.data() + json.size(), &builder))
      return notFound(DocumentKind::Json, cancelledFailure());
    return findInJsonFeed(root, documentUrl, stop);
  }
  if (reader.found()) return firstUsable(DocumentKind::Json, {*reader.found()}, documentUrl, "");
  if (reader.firstUnusable())
    return firstUsable(DocumentKind::Json, {*reader.firstUnusable()}, documentUrl, "");
  return notFound(DocumentKind::Json, FailureKind::NoPictureFound,
                  "no picture address in the JSON document (no member url, image, src or hdurl "
                  "with a picture's http(s) address)");
}

}  // namespace tessaren
