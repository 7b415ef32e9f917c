// Our own canonicaliser and splitter for the picture URL. It follows what WinINet's
// InternetCanonicalizeUrlA (browser mode) and InternetCrackUrlA give for well-formed
// http and https URLs, and refuses what would send a request to no host, to port 0 or
// with raw control characters in the request line. The fragment is the browser's own
// business and never goes to the server.
#include "download/url_parser.h"

#include <cstddef>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace tessaren {
namespace {

// WinINet's component buffers hold 2084 characters including the terminating zero.
constexpr std::size_t kMaxComponentLength = 2083;

struct Scheme {
  std::string_view name;
  std::uint32_t defaultPort;
  bool secure;
};
constexpr Scheme kSchemes[] = {{"http", 80, false}, {"https", 443, true}};

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHexDigit(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool isControl(unsigned char c) { return c < 0x20 || c == 0x7f; }

void appendEscaped(std::string& out, unsigned char c) {
  static const char kHex[] = "0123456789ABCDEF";
  out += '%';
  out += kHex[c >> 4];
  out += kHex[c & 0x0f];
}

// Characters that the canonicaliser escapes before the query; '%' is left alone, so
// existing escapes (valid or not) pass through unchanged.
bool needsEscapeBeforeQuery(unsigned char c) {
  if (isControl(c) || c >= 0x80) return true;
  switch (c) {
    case ' ':
    case '"':
    case '&':
    case '<':
    case '>':
    case '[':
    case ']':
    case '^':
    case '`':
    case '{':
    case '|':
    case '}':
      return true;
    default:
      return false;
  }
}

// Every character for which needsEscape holds becomes a %XX escape.
template <typename Predicate>
std::string escapeWhere(std::string_view text, Predicate needsEscape) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (needsEscape(byte)) {
      appendEscaped(out, byte);
    } else {
      out += c;
    }
  }
  return out;
}

std::string escapeBeforeQuery(std::string_view text) {
  return escapeWhere(text, needsEscapeBeforeQuery);
}

// The query is passed on as typed, except control characters (a raw CR or LF there would
// end the request line early) and bytes beyond ASCII, which go as UTF-8 escapes the way
// browsers send them.
std::string escapeQuery(std::string_view text) {
  return escapeWhere(text, [](unsigned char c) { return isControl(c) || c >= 0x80; });
}

// "." and ".." segments resolved as RFC 3986 (5.2.4) describes; ".." never climbs
// above the root.
std::string removeDotSegments(std::string_view path) {
  std::vector<std::string_view> segments;
  std::size_t start = 1;  // path begins with '/'
  bool endsInDirectory = false;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view segment = path.substr(start, end - start);
    const bool last = end == path.size();
    if (segment == ".") {
      endsInDirectory = last;
    } else if (segment == "..") {
      if (!segments.empty()) segments.pop_back();
      endsInDirectory = last;
    } else {
      segments.push_back(segment);
      endsInDirectory = false;
    }
    start = end + 1;
  }
  std::string out;
  for (std::string_view segment : segments) {
    out += '/';
    out += segment;
  }
  if (endsInDirectory || out.empty()) out += '/';
  return out;
}

const Scheme* findScheme(std::string_view name) {
  for (const Scheme& scheme : kSchemes) {
    if (scheme.name.size() != name.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < name.size() && same; ++i)
      same = lowerAscii(name[i]) == scheme.name[i];
    if (same) return &scheme;
  }
  return nullptr;
}

// Decimal 1..65535; an empty port means the scheme's default (RFC 3986, 3.2.3).
std::optional<std::uint32_t> parsePort(std::string_view text, std::uint32_t defaultPort) {
  if (text.empty()) return defaultPort;
  std::uint32_t value = 0;
  for (char c : text) {
    if (!isDigit(c)) return std::nullopt;
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
    if (value > 65535) return std::nullopt;
  }
  if (value == 0) return std::nullopt;
  return value;
}

struct HostAndPort {
  std::string host;
  std::uint32_t port;
};

std::optional<HostAndPort> splitHostAndPort(std::string_view authority, std::uint32_t defaultPort) {
  // Whatever stands before the last '@' is the user name and password: dropped.
  const std::size_t at = authority.rfind('@');
  if (at != std::string_view::npos) authority.remove_prefix(at + 1);

  std::string_view host;
  std::string_view portText;
  if (!authority.empty() && authority.front() == '[') {
    // An IPv6 literal; the brackets are URL syntax, not part of the address.
    const std::size_t close = authority.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    host = authority.substr(1, close - 1);
    if (host.empty()) return std::nullopt;
    for (char c : host)
      if (!isHexDigit(c) && c != ':' && c != '.') return std::nullopt;
    const std::string_view rest = authority.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return std::nullopt;
      portText = rest.substr(1);
    }
  } else {
    const std::size_t colon = authority.find(':');
    host = authority.substr(0, colon);
    if (colon != std::string_view::npos) portText = authority.substr(colon + 1);
    if (host.empty()) return std::nullopt;
  }
  const std::optional<std::uint32_t> port = parsePort(portText, defaultPort);
  if (!port) return std::nullopt;
  return HostAndPort{escapeBeforeQuery(host), *port};
}

// Tabs vanish wherever they stand; a trailing line break is an editing leftover.
// Trailing blanks go too, unless they follow a '?', where browser mode keeps them.
std::string tidyWhitespace(std::string_view url) {
  std::string out;
  out.reserve(url.size());
  for (char c : url)
    if (c != '\t') out += c;
  while (!out.empty() && (out.back() == '\r' || out.back() == '\n')) out.pop_back();
  if (out.find('?') == std::string::npos) {
    while (!out.empty() && (out.back() == ' ' || out.back() == '\r' || out.back() == '\n'))
      out.pop_back();
  }
  return out;
}

}  // namespace

bool parseUrl(const std::string& url, UrlParts& parts) {
  std::string text = tidyWhitespace(url);
  for (char& c : text)
    if (c == '\\') c = '/';

  const std::size_t colon = text.find(':');
  if (colon == std::string::npos || colon == 0 || !isAlpha(text[0])) return false;
  const Scheme* scheme = findScheme(std::string_view(text).substr(0, colon));
  if (scheme == nullptr) return false;
  if (text.compare(colon + 1, 2, "//") != 0) return false;

  const std::size_t authorityStart = colon + 3;
  std::size_t authorityEnd = text.find_first_of("/?#", authorityStart);
  if (authorityEnd == std::string::npos) authorityEnd = text.size();
  const std::optional<HostAndPort> hostAndPort =
      splitHostAndPort(std::string_view(text).substr(authorityStart, authorityEnd - authorityStart),
                       scheme->defaultPort);
  if (!hostAndPort) return false;

  std::string_view rest = std::string_view(text).substr(authorityEnd);
  rest = rest.substr(0, rest.find('#'));
  const std::size_t queryStart = rest.find('?');
  const std::string_view path = rest.substr(0, queryStart);
  std::string objectPath = removeDotSegments(path.empty() ? "/" : escapeBeforeQuery(path));
  if (queryStart != std::string_view::npos) objectPath += escapeQuery(rest.substr(queryStart));

  if (hostAndPort->host.size() > kMaxComponentLength) return false;
  if (objectPath.size() > kMaxComponentLength) return false;

  parts.serverName = hostAndPort->host;
  parts.objectPath = std::move(objectPath);
  parts.port = hostAndPort->port;
  parts.secure = scheme->secure;
  return true;
}

}  // namespace tessaren
