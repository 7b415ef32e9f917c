// Small text helpers shared by every part that shows text to the user: cutting UTF-8
// without splitting a character, and sizes in the units people read.
#pragma once

#include <cstdint>
#include <string>

namespace tessaren {

// Blanks (space, tab, CR, LF) cut from both ends.
std::string trimmed(const std::string& text);

// At most maxBytes bytes of text, cut at a character boundary: never inside a UTF-8
// sequence (a broken sequence shows as a box or a question mark).
std::string utf8Prefix(const std::string& text, std::size_t maxBytes);

// "412 KB", "1.2 MB", "350 MB": whole kilobytes below a megabyte, one decimal below ten
// megabytes, whole megabytes above (1 KB = 1024 bytes).
std::string formatSize(std::uint64_t bytes);

// "1.2 of 3.4 MB": two sizes in the unit of the larger, as in a cut-short download.
std::string formatSizeOf(std::uint64_t part, std::uint64_t whole);

}  // namespace tessaren
