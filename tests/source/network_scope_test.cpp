// Where a document or a redirect may send Tessaren: every spelling of an address Windows
// would read as a local one, and the rule for each kind of request.
#include "source/network_scope.h"

#include <gtest/gtest.h>

namespace tessaren {
namespace {

TEST(NetworkScope, SpellingsOfAnAddress) {
  struct Case {
    const char* host;
    const char* address;  // as addressText writes it; empty: a name, not an address
    bool local;
  } const cases[] = {
      {"127.0.0.1", "127.0.0.1", true},
      {"2130706433", "127.0.0.1", true},  // one decimal number
      {"0177.0.0.1", "127.0.0.1", true},  // octal
      {"0x7f.0.0.1", "127.0.0.1", true},  // hex
      {"0x7F000001", "127.0.0.1", true},
      {"127.1", "127.0.0.1", true},  // the last part fills the rest
      {"127.0.0.1.", "127.0.0.1", true},
      {"0", "0.0.0.0", true},
      {"0.0.0.0", "0.0.0.0", true},
      {"10.1.2.3", "10.1.2.3", true},
      {"172.31.255.255", "172.31.255.255", true},
      {"172.32.0.1", "172.32.0.1", false},
      {"192.168.1.1", "192.168.1.1", true},
      {"169.254.169.254", "169.254.169.254", true},
      {"100.64.0.1", "100.64.0.1", true},
      {"100.128.0.1", "100.128.0.1", false},
      {"8.8.8.8", "8.8.8.8", false},
      {"[::1]", "::1", true},
      {"::", "::", true},
      {"0:0:0:0:0:0:0:1", "::1", true},
      {"[::ffff:127.0.0.1]", "127.0.0.1", true},  // IPv4-mapped
      {"::ffff:c0a8:101", "192.168.1.1", true},
      {"64:ff9b::a00:1", "64:ff9b::a00:1", true},  // NAT64 to 10.0.0.1
      {"fd12:3456::1", "fd12:3456::1", true},
      {"fe80::1", "fe80::1", true},
      {"2001:db8::1", "2001:db8::1", false},
      {"2001:db8:0:0:1:0:0:1", "2001:db8::1:0:0:1", false},
      {"256.0.0.1", "", false},
      {"1.2.3.4.5", "", false},
      {"08.0.0.1", "", false},  // 8 is no octal digit
      {"localhost", "", false},
      {"pictures.example", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.host);
    const std::optional<IpAddress> address = literalAddress(c.host);
    if (*c.address == '\0') {
      EXPECT_FALSE(address) << addressText(*address);
      continue;
    }
    ASSERT_TRUE(address);
    EXPECT_EQ(addressText(*address), c.address);
    EXPECT_EQ(isLocalNetwork(*address), c.local);
  }
}

TEST(NetworkScope, WhereDocumentsAndRedirectsMayLead) {
  using Origin = Hop::Origin;
  struct Case {
    const char* what;
    Hop typed;
    Hop next;
    const char* refusal;  // empty: allowed
  } const cases[] = {
      {"a public page naming a router",
       {Origin::Typed, "https://news.example/", "", {"93.184.216.34"}},
       {Origin::Document, "https://192.168.1.1/cgi-bin/x", "page", {}},
       "the page names a picture on a private network address: 192.168.1.1"},
      {"a local service by name",
       {Origin::Typed, "https://news.example/", "", {"93.184.216.34"}},
       {Origin::Document, "http://localhost:8080/admin/reboot?confirm=1", "feed", {}},
       "the feed names a picture on a private network address: localhost"},
      {"a name that resolves into the user's network",
       {Origin::Typed, "https://news.example/", "", {"93.184.216.34"}},
       {Origin::Document, "http://router.example/", "document", {"203.0.113.9", "192.168.0.1"}},
       "the document names a picture on a private network address: 192.168.0.1"},
      {"decimal loopback",
       {Origin::Typed, "https://news.example/", "", {}},
       {Origin::Document, "http://2130706433:631/", "page", {}},
       "the page names a picture on a private network address: 127.0.0.1"},
      {"a redirect to loopback IPv6",
       {Origin::Typed, "http://news.example/", "", {}},
       {Origin::Redirect, "http://[::1]/x", "http://news.example/", {}},
       "a redirect leads to a private network address: ::1"},
      {"a redirect into the network",
       {Origin::Typed, "http://news.example/", "", {}},
       {Origin::Redirect, "http://localhost./x", "http://news.example/", {"127.0.0.1"}},
       "a redirect leads to a private network address: 127.0.0.1"},
      {"a redirect from https to http",
       {Origin::Typed, "https://news.example/", "", {}},
       {Origin::Redirect, "http://cdn.example/x.jpg", "https://news.example/a", {}},
       "a redirect from https to http: http://cdn.example/x.jpg"},
      {"a public picture",
       {Origin::Typed, "https://news.example/", "", {"93.184.216.34"}},
       {Origin::Document, "https://cdn.example/x.jpg", "page", {"151.101.1.1"}},
       ""},
      {"typed on the user's network, by address",
       {Origin::Typed, "http://192.168.1.5/page.html", "", {}},
       {Origin::Document, "http://192.168.1.1/x.jpg", "page", {}},
       ""},
      {"typed on the user's network, by what its name resolves to",
       {Origin::Typed, "http://nas.example/feed.xml", "", {"10.0.0.5"}},
       {Origin::Redirect, "http://127.0.0.1:631/x", "http://nas.example/feed.xml", {}},
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    NetworkScope scope;
    EXPECT_FALSE(scope.check(c.typed)) << "the typed address is always allowed";
    const std::optional<Failure> refused = scope.check(c.next);
    if (*c.refusal == '\0') {
      EXPECT_FALSE(refused) << refused->detail;
    } else {
      ASSERT_TRUE(refused);
      EXPECT_EQ(refused->kind, FailureKind::NotAllowed);
      EXPECT_EQ(refused->detail, c.refusal);
    }
  }
}

}  // namespace
}  // namespace tessaren
