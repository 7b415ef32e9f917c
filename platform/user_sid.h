// The signed-in user's security identifier as text ("S-1-5-21-..."), for names of
// objects that must be one per user across all of that user's sessions. Windows only.
#pragma once

#include <string>

namespace tessaren {

// Empty when it cannot be told.
std::string currentUserSid();

}  // namespace tessaren
