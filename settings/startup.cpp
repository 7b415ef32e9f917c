// The Run value and Task Manager's record of it.
#include "settings/startup.h"

#include "settings/settings_table.h"

namespace tessaren {
namespace {

// Task Manager's record: the first byte odd means turned off.
bool turnedOff(const std::optional<StoredValue>& record) {
  const std::string bytes = record ? textOf(*record) : std::string();
  return !bytes.empty() && (static_cast<unsigned char>(bytes[0]) & 1) != 0;
}

}  // namespace

std::string runCommandFor(const std::string& programPath) { return "\"" + programPath + "\""; }

bool startsWithWindows(ValueStore& store) {
  return readValue(store, ValueId::Run) && !turnedOff(readValue(store, ValueId::RunApproved));
}

bool setStartWithWindows(ValueStore& store, bool on, const std::string& programPath) {
  if (!on) {
    const bool runGone = removeValue(store, ValueId::Run);
    return removeValue(store, ValueId::RunApproved) && runGone;
  }
  if (!writeValue(store, ValueId::Run, runCommandFor(programPath))) return false;
  if (!turnedOff(readValue(store, ValueId::RunApproved))) return true;
  // What Task Manager writes when it turns a start (back) on: 2, then zeros.
  std::string enabled(12, '\0');
  enabled[0] = 2;
  return writeValue(store, ValueId::RunApproved, enabled);
}

}  // namespace tessaren
