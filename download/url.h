// Web addresses, on uriparser: the one form in which Tessaren requests a page or a picture,
// its parts for the request (the fetcher takes scheme, host, port and path from here) and
// for the log, and a reference (a link in a page, a redirect's Location) resolved against
// the address it was found at. It lives with the fetcher, which source/ may use and never
// the reverse.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessaren {

struct HttpUrl {
  std::string scheme;        // "http" or "https"
  std::string host;          // lower case; an IPv6 address without its brackets
  std::uint16_t port = 0;    // from the address, or the scheme's default (80, 443)
  std::string pathAndQuery;  // "/" when the address names no path; never the fragment
  bool secure = false;       // https
};

// Neither the host nor the path with its query may be longer: WinINet's buffers for the
// parts of an address hold 2084 characters with the terminating zero.
inline constexpr std::size_t kMaxAddressPartLength = 2083;

// The address in the form Tessaren requests it, or nullopt when the text is none:
// absolute http or https with a host, no user name or password, a port within 1 to 65535.
// Blanks around it and tabs and line breaks inside are dropped; so is the fragment, which
// is never sent. Spaces, control characters, bytes beyond ASCII (as their UTF-8 bytes),
// a '%' that starts no escape and the other characters no address may hold become %XX
// escapes; backslashes before the query are slashes, as browsers read them. Scheme and
// host come out in lower case, "." and ".." segments resolved, the default port left out
// and an empty path written "/". Applying it to its own result changes nothing.
std::optional<std::string> usablePictureAddress(std::string_view text);

// The parts of usablePictureAddress(text), for the request and for the host in the log.
std::optional<HttpUrl> parseHttpUrl(std::string_view text);

// reference resolved against the absolute address base (RFC 3986, section 5), both
// tidied and escaped as above, the fragment dropped. The result may have any scheme:
// whether it is usable is usablePictureAddress's call. An IPv6 host comes out written in
// full, as uriparser writes it. nullopt when base is not absolute or either text is no
// address even after escaping.
std::optional<std::string> resolveUrl(std::string_view base, std::string_view reference);

// The 16 bytes of an IPv6 address written without brackets ("::1", "::ffff:10.0.0.1"), as
// uriparser reads it in an address; nullopt when it is none.
std::optional<std::array<std::uint8_t, 16>> ipv6Literal(std::string_view text);

}  // namespace tessaren
