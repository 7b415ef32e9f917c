// The system's words for a Windows error number, with the number: "Access is denied. (5)"
// reads as "Access is denied (5)". Windows only.
#pragma once

#include <string>

namespace tessaren {

std::string systemErrorText(unsigned long code);

}  // namespace tessaren
