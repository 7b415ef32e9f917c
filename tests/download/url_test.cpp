// The address rules on uriparser: what each form of address becomes, which are refused,
// and references resolved against a base.
#include "download/url.h"

#include <gtest/gtest.h>

namespace tessaren {
namespace {

TEST(UrlTest, UsablePictureAddress) {
  struct Case {
    std::string text;
    std::optional<std::string> expected;
  };
  const std::string h2083 = "http://h.example/" + std::string(2082, 'a');
  const Case cases[] = {
      {"http://www.weather.gov/images/getimagedata.cfm?image=triton/satin0002.jpg&type=jpeg",
       "http://www.weather.gov/images/getimagedata.cfm?image=triton/satin0002.jpg&type=jpeg"},
      {"  HTTPS://Cam.Example:443/Live.JPG#now \r\n", "https://cam.example/Live.JPG"},
      {"http://cam.example", "http://cam.example/"},
      {"http://cam.example:8080?x", "http://cam.example:8080/?x"},
      {"http://cam.example:/x", "http://cam.example/x"},
      {"http://cam.example:00081/x", "http://cam.example:81/x"},
      {"http://[2001:DB8::7]:8443/p", "http://[2001:db8::7]:8443/p"},
      {"http://h.example/a/./b/../../c/%7e%2F", "http://h.example/c/%7e%2F"},
      {"http://h.example/../../x", "http://h.example/x"},
      {"http://h.example/caf\xc3\xa9 au lait.jpg?q=\xe5\xa3\x81 x",
       "http://h.example/caf%C3%A9%20au%20lait.jpg?q=%E5%A3%81%20x"},
      {"http://h.example/a\tb\nc", "http://h.example/abc"},
      {"http://h.example/100%/%zz%4", "http://h.example/100%25/%25zz%254"},
      {"http://h.example/<x>\"{|}^`", "http://h.example/%3Cx%3E%22%7B%7C%7D%5E%60"},
      {"http://h.example/p[1]?size[w]=9", "http://h.example/p%5B1%5D?size%5Bw%5D=9"},
      {"http:\\\\h.example\\dir\\a.jpg?x=\\", "http://h.example/dir/a.jpg?x=%5C"},
      {h2083, h2083},
      // Refused: no host, other schemes, credentials, ports, relative, too long.
      {"http://user:pw@h.example/x.jpg", std::nullopt},
      {"http://@h.example/", std::nullopt},
      {"ftp://h.example/x.jpg", std::nullopt},
      {"file:///C:/x.jpg", std::nullopt},
      {"www.example.com/cam.jpg", std::nullopt},
      {"/relative.jpg", std::nullopt},
      {"http:///x", std::nullopt},
      {"http:x.jpg", std::nullopt},
      {"http://h.example:0/", std::nullopt},
      {"http://h.example:65536/", std::nullopt},
      {"http://h.example:8o/", std::nullopt},
      {"http://[::1/x", std::nullopt},
      {"http://[v1.x]/", std::nullopt},
      {"", std::nullopt},
      {h2083 + "a", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(usablePictureAddress(c.text), c.expected) << c.text;
    // The form it gives is a fixed point: the update may apply it again.
    if (c.expected) {
      EXPECT_EQ(usablePictureAddress(*c.expected), c.expected) << c.text;
    }
  }
}

TEST(UrlTest, ParseHttpUrlGivesTheRequestParts) {
  struct Case {
    std::string_view text;
    std::string host;
    std::uint16_t port;
    std::string pathAndQuery;
    bool secure;
  };
  const Case cases[] = {
      {"http://Pictures.Example:8080/pics/now.jpg?a=b#c", "pictures.example", 8080,
       "/pics/now.jpg?a=b", false},
      {"https://secure.example", "secure.example", 443, "/", true},
      {"http://[::1]/x", "::1", 80, "/x", false},
      {"https://192.168.0.1:1/", "192.168.0.1", 1, "/", true},
  };
  for (const Case& c : cases) {
    const std::optional<HttpUrl> url = parseHttpUrl(c.text);
    ASSERT_TRUE(url) << c.text;
    EXPECT_EQ(url->scheme, c.secure ? "https" : "http") << c.text;
    EXPECT_EQ(url->host, c.host) << c.text;
    EXPECT_EQ(url->port, c.port) << c.text;
    EXPECT_EQ(url->pathAndQuery, c.pathAndQuery) << c.text;
    EXPECT_EQ(url->secure, c.secure) << c.text;
  }
}

TEST(UrlTest, ResolveUrl) {
  struct Case {
    std::string_view base;
    std::string_view reference;
    std::optional<std::string> expected;
  };
  // The first rows are RFC 3986's own examples (5.4).
  const std::string_view rfc = "http://a/b/c/d;p?q";
  const Case cases[] = {
      {rfc, "g", "http://a/b/c/g"},
      {rfc, "./g/", "http://a/b/c/g/"},
      {rfc, "../../../g", "http://a/g"},
      {rfc, "//g", "http://g"},
      {rfc, "?y", "http://a/b/c/d;p?y"},
      {rfc, "#s", "http://a/b/c/d;p?q"},
      {rfc, "", "http://a/b/c/d;p?q"},
      {rfc, "g;x=1/../y", "http://a/b/c/y"},
      {rfc, "g:h", "g:h"},
      {"https://news.example/a/page.html", " img/sea view.jpg ",
       "https://news.example/a/img/sea%20view.jpg"},
      {"https://news.example/a/", "/\xc3\xbc.jpg?size[w]=1",
       "https://news.example/%C3%BC.jpg?size%5Bw%5D=1"},
      {"https://news.example/", "data:image/png;base64,iVBO", "data:image/png;base64,iVBO"},
      {"http://[::1]:8080/a/", "b.jpg",
       "http://[0000:0000:0000:0000:0000:0000:0000:0001]:8080/a/b.jpg"},
      {"relative/base", "g", std::nullopt},
      {"http://a/", "http://[::1/x", std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(resolveUrl(c.base, c.reference), c.expected) << c.base << " + " << c.reference;
}

}  // namespace
}  // namespace tessaren
