// The download directory of the first-run defaults: the user's local application-data
// folder followed by "\Tessaren\", a place a standard user may always write to.
#pragma once

#include <optional>
#include <string>

namespace tessaren {

// The directory text, ending in a backslash; the folder is created when missing.
std::string defaultDownloadDirectory();

// Tests name the directory themselves; std::nullopt returns to the platform's.
void setDefaultDownloadDirectory(std::optional<std::string> directory);

// The platform's answer: Win32 asks the shell; the native build has no such folder.
std::string platformDefaultDownloadDirectory();

}  // namespace tessaren
