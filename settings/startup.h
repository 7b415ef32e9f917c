// Starting Tessaren when the user signs in: the Run value, and the record that Task Manager
// keeps of it when the user turns a start off there (both rows of the settings table).
#pragma once

#include <string>

#include "settings/value_store.h"

namespace tessaren {

// The command the Run value holds: the program's full path in double quotes.
std::string runCommandFor(const std::string& programPath);

// The Run value is there and Task Manager has not turned it off.
bool startsWithWindows(ValueStore& store);

// On: writes the Run value for programPath and turns it back on in Task Manager's record.
// Off: removes both. True when the registry now says what was asked.
bool setStartWithWindows(ValueStore& store, bool on, const std::string& programPath);

}  // namespace tessaren
