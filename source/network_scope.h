// Where the addresses a document or a redirect names may lead. A page, a feed, a JSON
// document or a redirect can name any host and port; one that named the user's router or
// a program on the user's own computer would have Tessaren send it a GET, and a router or
// a local service may act on one. As browsers do for requests that public pages make into
// private networks, such an address may reach a loopback, link-local, private (RFC 1918,
// unique local IPv6) or unspecified address only when the address the user typed is
// itself on one (a picture server on the user's own network keeps working), judged by the
// addresses the name resolves to, not only by its spelling; and no redirect leads from
// https to http.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/failure.h"

namespace tessaren {

// An IPv6 address; IPv4 as its IPv4-mapped form, ::ffff:a.b.c.d.
using IpAddress = std::array<std::uint8_t, 16>;

// The address a host names by its spelling alone: IPv4 in every form Windows reads
// (dotted, one to four parts, each decimal, octal with a leading 0 or hex with 0x:
// "2130706433", "0177.1", "0x7f.0.0.1"), IPv6 (with or without brackets), a trailing dot
// allowed; nullopt for a name.
std::optional<IpAddress> literalAddress(std::string_view host);

// Loopback, link-local, private, shared (100.64/10), unique local, site-local or
// unspecified, also inside the IPv4-mapped, IPv4-compatible and NAT64 forms.
bool isLocalNetwork(const IpAddress& address);

// "192.168.1.1", "::1": as people write it.
std::string addressText(const IpAddress& address);

// A request about to be made.
struct Hop {
  enum class Origin {
    Typed,     // the address the user typed (or a step of its dated template)
    Document,  // the picture a page, feed or document names
    Redirect,  // where a redirect leads
  };
  Origin origin = Origin::Typed;
  std::string url;
  // Document: what named it ("page", "feed", "document"); Redirect: the address that
  // redirected here.
  std::string from;
  // What the host resolves to, as numbers ("192.168.1.1", "::1"); empty when not looked up.
  std::vector<std::string> resolved;
};

// The rule for one update, one Check or one look at a saved document.
class NetworkScope {
 public:
  // Why the request may not be made (NotAllowed, naming the address: "the page names a
  // picture on a private network address: 192.168.1.1"); nothing when it may. The typed
  // address is always allowed, and decides whether the others may reach the user's own
  // network.
  std::optional<Failure> check(const Hop& hop);
  bool localAllowed() const { return localAllowed_; }

 private:
  bool localAllowed_ = false;
};

}  // namespace tessaren
