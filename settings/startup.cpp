// The Run value and Task Manager's record of it.
#include "settings/startup.h"

namespace tessaren {
namespace {

// Task Manager's record: the first byte odd means turned off.
bool turnedOff(const std::optional<std::string>& record) {
  return record && !record->empty() && (static_cast<unsigned char>((*record)[0]) & 1) != 0;
}

}  // namespace

std::string runCommandFor(const std::string& programPath) { return "\"" + programPath + "\""; }

bool startsWithWindows(ValueStore& store) {
  return store.readText(kRunKey, kRunValueName) &&
         !turnedOff(store.readBytes(kStartupApprovedKey, kRunValueName));
}

bool setStartWithWindows(ValueStore& store, bool on, const std::string& programPath) {
  if (!on) {
    const bool runGone = store.deleteValue(kRunKey, kRunValueName);
    return store.deleteValue(kStartupApprovedKey, kRunValueName) && runGone;
  }
  if (!store.writeText(kRunKey, kRunValueName, runCommandFor(programPath))) return false;
  if (!turnedOff(store.readBytes(kStartupApprovedKey, kRunValueName))) return true;
  // What Task Manager writes when it turns a start (back) on: 2, then zeros.
  std::string enabled(12, '\0');
  enabled[0] = 2;
  return store.writeBytes(kStartupApprovedKey, kRunValueName, enabled);
}

}  // namespace tessaren
