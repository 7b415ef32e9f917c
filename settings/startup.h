// Starting Tessaren when the user signs in: the value "Tessaren" under
// HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run, and the record that
// Task Manager keeps for it when the user turns a start off there
// (...\Explorer\StartupApproved\Run: twelve bytes, the first odd when turned off).
#pragma once

#include <string>

#include "settings/value_store.h"

namespace tessaren {

inline const StoreKey kRunKey{StoreRoot::User, "Software\\Microsoft\\Windows\\CurrentVersion\\Run"};
inline const StoreKey kStartupApprovedKey{
    StoreRoot::User,
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run"};
inline const std::string kRunValueName = "Tessaren";

// The command the Run value holds: the program's full path in double quotes.
std::string runCommandFor(const std::string& programPath);

// The Run value is there and Task Manager has not turned it off.
bool startsWithWindows(ValueStore& store);

// On: writes the Run value for programPath and turns it back on in Task Manager's record.
// Off: removes both. True when the registry now says what was asked.
bool setStartWithWindows(ValueStore& store, bool on, const std::string& programPath);

}  // namespace tessaren
