// The one set of blanks and the ASCII-only case rules: which bytes count, and that nothing
// beyond ASCII (UTF-8, Latin-1) is folded or taken for a letter.
#include "platform/text.h"

#include <gtest/gtest.h>

namespace tessaren {
namespace {

using namespace std::literals;

TEST(TextTest, BlanksAndAsciiCase) {
  struct Case {
    std::string_view text;
    std::string_view other;  // compared with text, and as its prefix
    std::string trimmed;
    std::string lower;
    bool equal;       // equalsIgnoringCase(text, other)
    bool startsWith;  // startsWithIgnoringCase(text, other)
  } const cases[] = {
      {" \t\n\f\rMiXeD\r\n ", "", "MiXeD", " \t\n\f\rmixed\r\n ", false, true},
      {"\vx\v", "\vX", "\vx\v", "\vx\v", false, true},  // a vertical tab is no blank
      {"\0x"sv, "", "\0x"s, "\0x"s, false, true},
      {"OG:Image:Secure_URL", "og:image:secure_url", "OG:Image:Secure_URL", "og:image:secure_url",
       true, true},
      {"IMAGE/JPEG", "image/", "IMAGE/JPEG", "image/jpeg", false, true},
      // Bytes that differ only in the bit that separates an ASCII letter's cases, but are
      // no letters: '@' and '`', '[' and '{', 0x0F and '/', and 0xDA and 0xFA.
      {"@", "`", "@", "@", false, false},
      {"[x]", "{x}", "[x]", "[x]", false, false},
      {"image\x0F", "image/", "image\x0F", "image\x0F", false, false},
      {"\xDA", "\xFA", "\xDA", "\xDA", false, false},
      {"CAF\xC3\x89", "caf\xC3\xA9", "CAF\xC3\x89", "caf\xC3\x89", false, false},
      {"Ab", "abc", "Ab", "ab", false, false},
      {"", "", "", "", true, true},
      {" \t ", " ", "", " \t ", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::string(c.text)) + " / " +
                 ::testing::PrintToString(std::string(c.other)));
    EXPECT_EQ(trimmed(c.text), c.trimmed);
    EXPECT_EQ(lowerAscii(c.text), c.lower);
    EXPECT_EQ(equalsIgnoringCase(c.text, c.other), c.equal);
    EXPECT_EQ(equalsIgnoringCase(c.other, c.text), c.equal);
    EXPECT_EQ(startsWithIgnoringCase(c.text, c.other), c.startsWith);
  }
}

}  // namespace
}  // namespace tessaren
