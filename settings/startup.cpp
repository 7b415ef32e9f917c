// The Run value and Task Manager's record of it.
#include "settings/startup.h"

#include <cstdint>
#include <vector>

#include "settings/storage.h"

namespace tessaren {
namespace {

// What Task Manager writes when it turns a start (back) on: 2, then zeros.
std::vector<std::uint8_t> enabledRecord() {
  std::vector<std::uint8_t> record(12, 0);
  record[0] = 2;
  return record;
}

}  // namespace

std::string runCommandFor(const std::string& programPath) { return "\"" + programPath + "\""; }

bool startsWithWindows() {
  if (!readUserText(kRunSubkey, kRunValueName)) return false;
  const auto record = readUserBinary(kStartupApprovedSubkey, kRunValueName);
  return !record || record->empty() || ((*record)[0] & 1) == 0;
}

bool setStartWithWindows(bool on, const std::string& programPath) {
  if (!on) {
    const bool runGone = deleteUserValue(kRunSubkey, kRunValueName);
    return deleteUserValue(kStartupApprovedSubkey, kRunValueName) && runGone;
  }
  if (!writeUserText(kRunSubkey, kRunValueName, runCommandFor(programPath))) return false;
  const auto record = readUserBinary(kStartupApprovedSubkey, kRunValueName);
  if (!record || record->empty() || ((*record)[0] & 1) == 0) return true;
  return writeUserBinary(kStartupApprovedSubkey, kRunValueName, enabledRecord());
}

}  // namespace tessaren
