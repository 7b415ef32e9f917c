// UTF-8, the program's own text, to and from the UTF-16 of the Windows W functions.
// Windows build only.
#pragma once

#include <string>
#include <string_view>

namespace tessaren {

std::wstring wideText(std::string_view utf8);
std::string utf8Text(std::wstring_view wide);

// UTF-8 text in the given code page (a console's output code page), for output that a
// console's reader decodes with it; unchanged for 0 (no console) and for UTF-8 itself.
std::string codePageText(std::string_view utf8, unsigned codePage);

}  // namespace tessaren
