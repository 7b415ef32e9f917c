// Address rules on uriparser. uriparser reads only what RFC 3986 allows, while people and
// pages write spaces, letters beyond ASCII, stray '%' and brackets in queries; such
// characters are escaped first, the way browsers send them, and everything else about an
// address (its parts, "." and "..", relative references) is left to uriparser.
#include "download/url.h"

#include <uriparser/Uri.h>

#include <algorithm>
#include <charconv>

#include "platform/text.h"

namespace tessaren {
namespace {

// Longer texts are refused before any work: no usable address comes near this even
// before escaping, and a page may hold a data: address of megabytes.
constexpr std::size_t kMaxInputLength = 16 * 1024;

bool isHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

void appendEscaped(std::string& out, unsigned char c) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += '%';
  out += kHex[c >> 4];
  out += kHex[c & 0x0f];
}

// The characters RFC 3986 allows somewhere in an address, '%' aside.
bool allowedInAddress(unsigned char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return std::string_view("-._~:/?[]@!$&'()*+,;=").find(static_cast<char>(c)) !=
         std::string_view::npos;
}

// Blanks around the text, and tabs and line breaks inside it, are editing leftovers
// (browsers drop them too). The first '#' starts the fragment in any address, and the
// first '?' the query, so neither needs a parser to find.
std::string escapedForParser(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  text = text.substr(0, text.find('#'));
  const std::size_t queryStart = text.find('?');
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\t' || c == '\r' || c == '\n') continue;
    if (c == '\\' && i < queryStart) {
      out += '/';
    } else if (c == '%' ? i + 2 < text.size() && isHexDigit(text[i + 1]) && isHexDigit(text[i + 2])
                        : allowedInAddress(static_cast<unsigned char>(c))) {
      out += c;
    } else {
      appendEscaped(out, static_cast<unsigned char>(c));
    }
  }
  return out;
}

std::string_view rangeText(const UriTextRangeA& range) {
  if (range.first == nullptr) return {};
  return {range.first, static_cast<std::size_t>(range.afterLast - range.first)};
}

// One parsed address. uriparser's ranges point into text_, which it keeps for them.
class ParsedUri {
 public:
  explicit ParsedUri(std::string_view input) {
    if (input.size() > kMaxInputLength) return;
    text_ = escapedForParser(input);
    parsed_ = parse() || (escapeBracketsFromError() && parse());
  }
  ~ParsedUri() {
    if (parsed_) uriFreeUriMembersA(&uri_);
  }
  ParsedUri(const ParsedUri&) = delete;
  ParsedUri& operator=(const ParsedUri&) = delete;

  bool parsed() const { return parsed_; }
  bool absolute() const { return parsed_ && uri_.scheme.first != nullptr; }
  const UriUriA* uri() const { return &uri_; }

 private:
  bool parse() {
    errorAt_ = nullptr;
    return uriParseSingleUriExA(&uri_, text_.data(), text_.data() + text_.size(), &errorAt_) ==
           URI_SUCCESS;
  }

  // Brackets belong around an IPv6 host only, yet queries like "?size[w]=9" are common:
  // the brackets from the first one the parser refuses onwards are escaped. Any before it
  // were read as a host.
  bool escapeBracketsFromError() {
    if (errorAt_ == nullptr || (*errorAt_ != '[' && *errorAt_ != ']')) return false;
    const auto from = static_cast<std::size_t>(errorAt_ - text_.data());
    std::string escaped = text_.substr(0, from);
    for (std::size_t i = from; i < text_.size(); ++i) {
      if (text_[i] == '[' || text_[i] == ']') {
        appendEscaped(escaped, static_cast<unsigned char>(text_[i]));
      } else {
        escaped += text_[i];
      }
    }
    text_ = std::move(escaped);
    return true;
  }

  std::string text_;
  UriUriA uri_{};
  const char* errorAt_ = nullptr;
  bool parsed_ = false;
};

// A reference resolved against a base; its ranges point into both ParsedUri texts.
class ResolvedUri {
 public:
  ResolvedUri(const ParsedUri& reference, const ParsedUri& base) {
    resolved_ =
        reference.parsed() && base.absolute() &&
        uriAddBaseUriExA(&uri_, reference.uri(), base.uri(), URI_RESOLVE_STRICTLY) == URI_SUCCESS;
  }
  ~ResolvedUri() {
    if (resolved_) uriFreeUriMembersA(&uri_);
  }
  ResolvedUri(const ResolvedUri&) = delete;
  ResolvedUri& operator=(const ResolvedUri&) = delete;

  bool resolved() const { return resolved_; }
  const UriUriA* uri() const { return &uri_; }

 private:
  UriUriA uri_{};
  bool resolved_ = false;
};

std::optional<std::uint16_t> portOf(std::string_view text, std::uint16_t defaultPort) {
  if (text.empty()) return defaultPort;  // "http://host:/" (RFC 3986, 3.2.3)
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value == 0 || value > 65535)
    return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

std::optional<HttpUrl> httpParts(const UriUriA& uri) {
  HttpUrl url;
  url.scheme = lowerAscii(rangeText(uri.scheme));
  std::uint16_t defaultPort = 80;
  if (url.scheme == "https") {
    url.secure = true;
    defaultPort = 443;
  } else if (url.scheme != "http") {
    return std::nullopt;
  }
  // A user name or password in a picture's address would be sent to whoever serves it.
  if (uri.userInfo.first != nullptr || uri.hostData.ipFuture.first != nullptr) return std::nullopt;
  url.host = lowerAscii(rangeText(uri.hostText));
  if (url.host.empty() || url.host.size() > kMaxAddressPartLength) return std::nullopt;
  const std::optional<std::uint16_t> port = portOf(rangeText(uri.portText), defaultPort);
  if (!port) return std::nullopt;
  url.port = *port;
  for (const UriPathSegmentA* segment = uri.pathHead; segment != nullptr; segment = segment->next) {
    url.pathAndQuery += '/';
    url.pathAndQuery += rangeText(segment->text);
  }
  if (url.pathAndQuery.empty()) url.pathAndQuery += '/';
  if (uri.query.first != nullptr) {
    url.pathAndQuery += '?';
    url.pathAndQuery += rangeText(uri.query);
  }
  if (url.pathAndQuery.size() > kMaxAddressPartLength) return std::nullopt;
  return url;
}

// Appended piece by piece: GCC 12 warns wrongly (-Wrestrict) about "[" + host + "]".
std::string composed(const HttpUrl& url) {
  const bool ipv6 = url.host.find(':') != std::string::npos;
  std::string text = url.scheme;
  text += ipv6 ? "://[" : "://";
  text += url.host;
  if (ipv6) text += ']';
  if (url.port != (url.secure ? 443 : 80)) {
    text += ':';
    text += std::to_string(url.port);
  }
  text += url.pathAndQuery;
  return text;
}

}  // namespace

std::optional<std::array<std::uint8_t, 16>> ipv6Literal(std::string_view text) {
  if (text.empty() || text.size() > 64 ||
      text.find_first_not_of("0123456789abcdefABCDEF:.") != std::string_view::npos)
    return std::nullopt;
  const std::string address = "http://[" + std::string(text) + "]/";
  UriUriA uri{};
  const char* errorAt = nullptr;
  if (uriParseSingleUriExA(&uri, address.data(), address.data() + address.size(), &errorAt) !=
      URI_SUCCESS)
    return std::nullopt;
  std::optional<std::array<std::uint8_t, 16>> bytes;
  if (uri.hostData.ip6 != nullptr) {
    bytes.emplace();
    std::copy(std::begin(uri.hostData.ip6->data), std::end(uri.hostData.ip6->data), bytes->begin());
  }
  uriFreeUriMembersA(&uri);
  return bytes;
}

std::optional<HttpUrl> parseHttpUrl(std::string_view text) {
  const ParsedUri parsed(text);
  if (!parsed.absolute()) return std::nullopt;
  // Resolving an absolute address against itself is how RFC 3986 removes its "." and ".."
  // segments, and it leaves every escape as it was (uriparser's own normalisation would
  // also decode some).
  const ResolvedUri resolved(parsed, parsed);
  if (!resolved.resolved()) return std::nullopt;
  return httpParts(*resolved.uri());
}

std::optional<std::string> usablePictureAddress(std::string_view text) {
  const std::optional<HttpUrl> url = parseHttpUrl(text);
  if (!url) return std::nullopt;
  return composed(*url);
}

std::optional<std::string> resolveUrl(std::string_view base, std::string_view reference) {
  const ParsedUri parsedBase(base);
  const ParsedUri parsedReference(reference);
  const ResolvedUri resolved(parsedReference, parsedBase);
  if (!resolved.resolved()) return std::nullopt;
  int length = 0;
  if (uriToStringCharsRequiredA(resolved.uri(), &length) != URI_SUCCESS) return std::nullopt;
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  if (uriToStringA(text.data(), resolved.uri(), length + 1, nullptr) != URI_SUCCESS)
    return std::nullopt;
  text.resize(static_cast<std::size_t>(length));
  return text;
}

}  // namespace tessaren
