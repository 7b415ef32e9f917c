// The address rule for requests a document or a redirect asks for.
#include "source/network_scope.h"

#include <charconv>
#include <cstdio>

#include "download/url.h"
#include "platform/text.h"

namespace tessaren {
namespace {

IpAddress mappedIpv4(std::uint32_t value) {
  IpAddress address{};
  address[10] = address[11] = 0xFF;
  for (int i = 0; i < 4; ++i) address[12 + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
  return address;
}

// One part of an IPv4 address as Windows (and the WHATWG URL standard) reads it.
std::optional<std::uint64_t> ipv4Part(std::string_view part) {
  if (part.empty()) return std::nullopt;
  int base = 10;
  if (part.size() >= 2 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X')) {
    base = 16;
    part.remove_prefix(2);
    if (part.empty()) return 0;  // "0x" alone is zero
  } else if (part.size() >= 2 && part[0] == '0') {
    base = 8;
    part.remove_prefix(1);
  }
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value, base);
  if (error != std::errc() || end != part.data() + part.size() || value > 0xFFFFFFFFu)
    return std::nullopt;
  return value;
}

std::optional<IpAddress> ipv4Literal(std::string_view host) {
  if (host.ends_with('.')) host.remove_suffix(1);
  std::vector<std::uint64_t> parts;
  for (;;) {
    const std::size_t dot = host.find('.');
    const std::optional<std::uint64_t> part = ipv4Part(host.substr(0, dot));
    if (!part || parts.size() == 4) return std::nullopt;
    parts.push_back(*part);
    if (dot == std::string_view::npos) break;
    host.remove_prefix(dot + 1);
  }
  // The last part fills the bytes the others leave: "127.1" is 127.0.0.1.
  std::uint64_t value = 0;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    if (parts[i] > 0xFF) return std::nullopt;
    value |= parts[i] << (24 - 8 * i);
  }
  if (parts.back() >= std::uint64_t{1} << (8 * (5 - parts.size()))) return std::nullopt;
  return mappedIpv4(static_cast<std::uint32_t>(value | parts.back()));
}

std::uint32_t ipv4Of(const IpAddress& address) {
  return std::uint32_t{address[12]} << 24 | std::uint32_t{address[13]} << 16 |
         std::uint32_t{address[14]} << 8 | address[15];
}

bool isLocalIpv4(std::uint32_t value) {
  const auto within = [&](std::uint32_t network, int bits) {
    return (value >> (32 - bits)) == (network >> (32 - bits));
  };
  return within(0x00000000, 8) ||   // 0.0.0.0/8: this network, unspecified
         within(0x7F000000, 8) ||   // loopback
         within(0x0A000000, 8) ||   // 10/8
         within(0xAC100000, 12) ||  // 172.16/12
         within(0xC0A80000, 16) ||  // 192.168/16
         within(0xA9FE0000, 16) ||  // link-local
         within(0x64400000, 10);    // 100.64/10, shared address space (carrier NAT)
}

bool startsWith(const IpAddress& address, std::initializer_list<std::uint8_t> prefix) {
  std::size_t i = 0;
  for (std::uint8_t byte : prefix)
    if (address[i++] != byte) return false;
  return true;
}

// "localhost" and every name under it: never a host on the internet (RFC 6761).
bool isLocalName(std::string_view host) {
  if (host.ends_with('.')) host.remove_suffix(1);
  return host == "localhost" || host.ends_with(".localhost");
}

std::string withoutBrackets(std::string_view host) {
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
    host = host.substr(1, host.size() - 2);
  return std::string(host);
}

}  // namespace

std::optional<IpAddress> literalAddress(std::string_view host) {
  const std::string bare = withoutBrackets(host);
  if (bare.find(':') != std::string::npos) return ipv6Literal(bare);
  return ipv4Literal(bare);
}

bool isLocalNetwork(const IpAddress& address) {
  const IpAddress zero{};
  IpAddress loopback{};
  loopback[15] = 1;
  if (address == zero || address == loopback) return true;
  // ::ffff:a.b.c.d, the deprecated ::a.b.c.d and NAT64's 64:ff9b::a.b.c.d carry IPv4.
  if (startsWith(address, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF}) ||
      startsWith(address, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}) ||
      startsWith(address, {0x00, 0x64, 0xFF, 0x9B, 0, 0, 0, 0, 0, 0, 0, 0}))
    return isLocalIpv4(ipv4Of(address));
  return (address[0] & 0xFE) == 0xFC ||                          // fc00::/7, unique local
         (address[0] == 0xFE && (address[1] & 0xC0) == 0x80) ||  // fe80::/10, link-local
         (address[0] == 0xFE && (address[1] & 0xC0) == 0xC0);    // fec0::/10, site-local
}

std::string addressText(const IpAddress& address) {
  char text[48];
  if (startsWith(address, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF})) {
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", address[12], address[13], address[14],
                  address[15]);
    return text;
  }
  // The longest run of zero groups becomes "::" (RFC 5952).
  std::uint16_t groups[8];
  for (int i = 0; i < 8; ++i)
    groups[i] = static_cast<std::uint16_t>(address[2 * i] << 8 | address[2 * i + 1]);
  int bestStart = -1, bestLength = 1;
  for (int i = 0; i < 8;) {
    int j = i;
    while (j < 8 && groups[j] == 0) ++j;
    if (j - i > bestLength) bestStart = i, bestLength = j - i;
    i = j == i ? i + 1 : j;
  }
  std::string out;
  for (int i = 0; i < 8; ++i) {
    if (i == bestStart) {
      out += "::";
      i += bestLength - 1;
      continue;
    }
    if (!out.empty() && out.back() != ':') out += ':';
    std::snprintf(text, sizeof text, "%x", groups[i]);
    out += text;
  }
  return out;
}

std::optional<Failure> NetworkScope::check(const Hop& hop) {
  const std::optional<HttpUrl> url = parseHttpUrl(hop.url);
  if (!url) return std::nullopt;  // refused as unusable elsewhere, with its own words
  // The first local address the host is on: by its spelling, else by what it resolves to,
  // else, unresolved, by its name.
  std::optional<std::string> local;
  const std::optional<IpAddress> literal = literalAddress(url->host);
  if (literal && isLocalNetwork(*literal)) local = addressText(*literal);
  for (const std::string& resolved : hop.resolved) {
    if (local || literal) break;
    const std::optional<IpAddress> address = literalAddress(resolved);
    if (address && isLocalNetwork(*address)) local = addressText(*address);
  }
  if (!local && !literal && isLocalName(url->host)) local = url->host;

  if (hop.origin == Hop::Origin::Typed) {
    localAllowed_ = localAllowed_ || local.has_value();
    return std::nullopt;
  }
  if (hop.origin == Hop::Origin::Redirect && !url->secure &&
      parseHttpUrl(hop.from).value_or(HttpUrl{}).secure)
    return Failure{FailureKind::NotAllowed,
                   "a redirect from https to http: " + displaySafe(hop.url, 120)};
  if (!local || localAllowed_) return std::nullopt;
  const std::string where = "a private network address: " + displaySafe(*local, 60);
  if (hop.origin == Hop::Origin::Redirect)
    return Failure{FailureKind::NotAllowed, "a redirect leads to " + where};
  return Failure{FailureKind::NotAllowed, "the " + hop.from + " names a picture on " + where};
}

}  // namespace tessaren
