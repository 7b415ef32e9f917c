// UTF-8, the program's own text, to and from the UTF-16 of the Windows W functions.
// Windows build only.
#pragma once

#include <string>
#include <string_view>

namespace tessaren {

std::wstring wideText(std::string_view utf8);
std::string utf8Text(std::wstring_view wide);

}  // namespace tessaren
