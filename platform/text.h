// Small text helpers shared by every part: blanks, ASCII case, cutting UTF-8 without
// splitting a character, making outside text safe to show, and sizes in the units people
// read.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tessaren {

// Space, tab, LF, FF and CR: the blanks of HTML, of the URL rules and of the feeds'
// formats. A typed field, a registry value, a header or a command line holds no FF or
// line break that means anything, so one set serves them all.
inline constexpr std::string_view kBlanks = " \t\n\f\r";
bool isBlank(char c);

// Blanks cut from both ends.
std::string trimmed(std::string_view text);

// ASCII letters in lower case, every other byte (UTF-8 included) as it is: names from
// outside (schemes, hosts, media types, options) are compared this way, never through
// the C locale, which could change what a byte means.
char lowerAscii(char c);
std::string lowerAscii(std::string_view text);

// The same but for the case of ASCII letters.
bool equalsIgnoringCase(std::string_view a, std::string_view b);
bool startsWithIgnoringCase(std::string_view text, std::string_view prefix);

// At most maxBytes bytes of text, cut at a character boundary: never inside a UTF-8
// sequence (a broken sequence shows as a box or a question mark).
std::string utf8Prefix(const std::string& text, std::size_t maxBytes);

// Text from outside (a server's header, a page, a file name, the registry) made safe for
// one field of a log line, the tip or a dialog: TAB, CR, LF, every other control
// character and the characters that reorder text (bidirectional overrides, isolates and
// marks; line and paragraph separators) become a space, a byte that is not part of valid UTF-8
// becomes U+FFFD, and the result is at most maxBytes bytes, cut at a character boundary with "..."
// at the end. Every such text passes here before it is shown or logged.
std::string displaySafe(std::string_view text, std::size_t maxBytes = 200);

// Windows counts path lengths in UTF-16 units: one per character, two for those beyond
// the basic plane.
std::size_t utf16Length(std::string_view utf8);

// "412 KB", "1.2 MB", "350 MB": whole kilobytes below a megabyte, one decimal below ten
// megabytes but for whole ones ("4 MB", a limit), whole megabytes above (1 KB = 1024
// bytes).
std::string formatSize(std::uint64_t bytes);

// "1.2 of 3.4 MB": two sizes in the unit of the larger, as in a cut-short download.
std::string formatSizeOf(std::uint64_t part, std::uint64_t whole);

}  // namespace tessaren
