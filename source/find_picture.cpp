// What a document is, and the finder for it.
#include "source/find_picture.h"

#include <algorithm>
#include <charconv>
#include <initializer_list>
#include <pugixml.hpp>
#include <vector>

#include "download/url.h"
#include "platform/text.h"
#include "source/finders.h"
#include "source/html_tree.h"

namespace tessaren {
namespace {

// Enough for the root element's start tag behind a declaration, a comment or two and a
// DOCTYPE.
constexpr std::size_t kRootSearchBytes = 64 * 1024;

bool startsWith(std::string_view bytes, std::string_view prefix) {
  return bytes.substr(0, prefix.size()) == prefix;
}

bool isPictureSignature(std::string_view bytes) {
  return startsWith(bytes, "\xFF\xD8\xFF") || startsWith(bytes, "\x89PNG\r\n\x1A\n") ||
         startsWith(bytes, "GIF87a") || startsWith(bytes, "GIF89a") ||
         (bytes.size() >= 12 && startsWith(bytes, "RIFF") && bytes.substr(8, 4) == "WEBP");
}

std::string_view localName(std::string_view qualifiedName) {
  const std::size_t colon = qualifiedName.rfind(':');
  return colon == std::string_view::npos ? qualifiedName : qualifiedName.substr(colon + 1);
}

// pugixml keeps what it parsed before an error, so the root element of a prefix, or of a
// feed broken further down, is still there. It also reads UTF-16 and UTF-32, with or
// without a byte order mark.
bool rootIsFeed(std::string_view bytes) {
  bytes = bytes.substr(0, kRootSearchBytes);
  pugi::xml_document document;
  document.load_buffer(bytes.data(), bytes.size(), pugi::parse_minimal, pugi::encoding_auto);
  const std::string_view root = localName(document.document_element().name());
  return root == "rss" || root == "feed" || root == "RDF";
}

}  // namespace

DocumentKind classifyDocument(std::string_view bytes, std::string_view contentType) {
  if (isPictureSignature(bytes)) return DocumentKind::Picture;
  using namespace std::string_view_literals;
  // UTF-16 and UTF-32 markup, by its byte order mark or by the NULs around its first '<'.
  for (std::string_view lead :
       {"\xFE\xFF"sv, "\xFF\xFE"sv, "\0\0\xFE\xFF"sv, "<\0"sv, "\0<"sv, "\0\0\0<"sv}) {
    if (startsWith(bytes, lead)) return rootIsFeed(bytes) ? DocumentKind::Feed : DocumentKind::Html;
  }
  std::string_view text = bytes;
  if (startsWith(text, "\xEF\xBB\xBF")) text.remove_prefix(3);
  const std::size_t first = text.find_first_not_of(kBlanks);
  const char lead = first == std::string_view::npos ? '\0' : text[first];
  if (lead == '<') return rootIsFeed(bytes) ? DocumentKind::Feed : DocumentKind::Html;
  if (lead == '{' || lead == '[') return DocumentKind::Json;

  const std::string type = lowerAscii(trimmed(contentType.substr(0, contentType.find(';'))));
  if (type.starts_with("image/") && type != "image/svg+xml") return DocumentKind::Picture;
  if (type == "application/json" || type == "text/json" || type.ends_with("+json"))
    return DocumentKind::Json;
  return DocumentKind::Html;
}

namespace {

std::string documentTooLarge() {
  return "the page is larger than " + formatSize(kMaxDocumentBytes);
}

}  // namespace

std::optional<Failure> documentSizeFailure(std::uint64_t bytes) {
  if (bytes <= kMaxDocumentBytes) return std::nullopt;
  return Failure{FailureKind::TooLarge, documentTooLarge()};
}

std::optional<BodyLimit> documentLimitFor(std::string_view head, std::string_view contentType) {
  if (classifyDocument(head, contentType) == DocumentKind::Picture) return std::nullopt;
  return BodyLimit{kMaxDocumentBytes, documentTooLarge()};
}

namespace {

// The path of an absolute or relative address, and its query, without the fragment.
std::pair<std::string_view, std::string_view> pathAndQuery(std::string_view address) {
  address = address.substr(0, address.find('#'));
  const std::size_t queryAt = address.find('?');
  std::string_view path = address.substr(0, queryAt);
  const std::string_view query =
      queryAt == std::string_view::npos ? std::string_view() : address.substr(queryAt + 1);
  std::size_t hostAt = path.find("://");
  hostAt = hostAt != std::string_view::npos ? hostAt + 3 : path.starts_with("//") ? 2 : 0;
  if (hostAt > 0) {
    const std::size_t slash = path.find('/', hostAt);
    path = slash == std::string_view::npos ? std::string_view() : path.substr(slash);
  }
  return {path, query};
}

bool isAsciiAlphanumeric(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// The words of a path in lower case: runs of letters and digits, split also where a
// lower-case letter meets an upper-case one ("userAvatar").
std::vector<std::string> wordsOf(std::string_view path) {
  std::vector<std::string> words;
  std::string word;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    const char c = i < path.size() ? path[i] : '/';
    const bool camelBreak =
        !word.empty() && c >= 'A' && c <= 'Z' && path[i - 1] >= 'a' && path[i - 1] <= 'z';
    if ((!isAsciiAlphanumeric(c) || camelBreak) && !word.empty()) words.push_back(std::move(word));
    if (!isAsciiAlphanumeric(c)) {
      word.clear();
    } else {
      if (camelBreak) word.clear();
      word += lowerAscii(c);
    }
  }
  return words;
}

bool isWordOrPlural(std::string_view word, std::initializer_list<std::string_view> wanted) {
  for (std::string_view one : wanted) {
    if (word == one ||
        (word.size() == one.size() + 1 && word.starts_with(one) && word.back() == 's'))
      return true;
  }
  return false;
}

bool hasPictureExtension(std::string_view name) {
  for (std::string_view extension : {".jpg", ".jpeg", ".jpe", ".jfif", ".png", ".gif", ".webp"}) {
    if (name.size() > extension.size() &&
        equalsIgnoringCase(name.substr(name.size() - extension.size()), extension))
      return true;
  }
  return false;
}

}  // namespace

bool isTinyBySize(std::string_view width, std::string_view height) {
  for (std::string_view value : {width, height}) {
    const std::string text = trimmed(value);
    std::uint64_t side = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), side);
    if (error == std::errc() && (end == text.data() + text.size() || *end != '%') &&
        side < kSmallestPictureSide)
      return true;
  }
  return false;
}

bool isNamedLikeDecoration(std::string_view address) {
  for (const std::string& word : wordsOf(pathAndQuery(address).first)) {
    if (isWordOrPlural(word, {"avatar", "gravatar", "logo", "icon", "favicon", "spacer"}))
      return true;
  }
  return false;
}

bool looksLikePictureFile(std::string_view address) {
  const auto [path, query] = pathAndQuery(address);
  if (hasPictureExtension(path)) return true;
  for (std::string_view rest = query; !rest.empty();) {
    const std::string_view parameter = rest.substr(0, rest.find('&'));
    rest.remove_prefix(std::min(rest.size(), parameter.size() + 1));
    if (hasPictureExtension(parameter.substr(parameter.find('=') + 1))) return true;
  }
  return false;
}

bool looksLikePictureAddress(std::string_view address) {
  if (looksLikePictureFile(address)) return true;
  std::string_view path = pathAndQuery(address).first;
  while (!path.empty()) {
    const std::size_t slash = path.find('/');
    const std::string folder = lowerAscii(path.substr(0, slash));
    if (slash == std::string_view::npos) break;  // the last part names the file
    if (isWordOrPlural(folder,
                       {"image", "img", "picture", "photo", "wallpaper", "thumb", "thumbnail"}))
      return true;
    path.remove_prefix(slash + 1);
  }
  return false;
}

FindResult notFound(DocumentKind kind, Failure failure) {
  FindResult result;
  result.kind = kind;
  result.failure = std::move(failure);
  return result;
}

FindResult notFound(DocumentKind kind, FailureKind failureKind, std::string detail) {
  return notFound(kind, Failure{failureKind, std::move(detail)});
}

FindResult firstUsable(DocumentKind kind, const std::vector<Reference>& references,
                       const std::string& base, const std::string& noneFound) {
  for (const Reference& reference : references) {
    const std::optional<std::string> resolved = resolveUrl(base, reference.text);
    std::optional<std::string> address;
    if (resolved) address = usablePictureAddress(*resolved);
    if (!address) continue;
    FindResult result;
    result.kind = kind;
    result.address = std::move(*address);
    result.source = reference.source;
    return result;
  }
  if (references.empty()) return notFound(kind, FailureKind::NoPictureFound, noneFound);
  return notFound(kind, FailureKind::UnusableAddress,
                  references.front().what + " is not a usable http(s) address: " +
                      displaySafe(references.front().text, 120));
}

FindResult findPicture(std::string_view document, std::string_view contentType,
                       const std::string& documentUrl, const std::string& pointer,
                       const std::atomic<bool>* stop) {
  const DocumentKind kind = classifyDocument(document, contentType);
  if (stop != nullptr && stop->load()) return notFound(kind, cancelledFailure());
  if (kind == DocumentKind::Picture) {
    const std::optional<std::string> address = usablePictureAddress(documentUrl);
    if (!address)
      return notFound(kind, FailureKind::UnusableAddress,
                      "not a usable URL: " + displaySafe(documentUrl, 120));
    FindResult result;
    result.kind = kind;
    result.address = *address;
    result.source = "picture";
    return result;
  }
  if (std::optional<Failure> tooLarge = documentSizeFailure(document.size()))
    return notFound(kind, std::move(*tooLarge));
  if (kind == DocumentKind::Json) return findInJson(document, documentUrl, pointer, stop);
  HtmlBudget budget(HtmlLimits{}, stop);
  return kind == DocumentKind::Feed ? findInFeed(document, documentUrl, budget)
                                    : findInPage(document, documentUrl, budget);
}

std::optional<Failure> checkJsonPointerSyntax(const std::string& pointer) {
  const auto refused = [&](const std::string& why) {
    return Failure{FailureKind::UnusableAddress,
                   "JSON Pointer " + displaySafe(pointer, 120) + ": " + why};
  };
  if (pointer.empty()) return std::nullopt;
  if (pointer.front() != '/') return refused("must start with /");
  for (std::size_t at = pointer.find('~'); at != std::string::npos;
       at = pointer.find('~', at + 1)) {
    if (at + 1 == pointer.size() || (pointer[at + 1] != '0' && pointer[at + 1] != '1'))
      return refused("~ must be followed by 0 or 1 (~0 is ~, ~1 is /)");
  }
  return std::nullopt;
}

}  // namespace tessaren
