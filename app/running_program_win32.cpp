// The program's record: "Local\Tessaren.Program.<SID>", a section of one small record.
// Local, since a section in the Global namespace needs a privilege users lack; windows
// are found per desktop anyway.
#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "app/running_program.h"
#include "platform/object_names.h"
#include "platform/user_sid.h"
#include "platform/wide_text.h"

namespace tessaren {
namespace {

struct Record {
  std::uint32_t size;  // sizeof(Record): anything else was not written by this program
  std::uint32_t processId;
  std::uint64_t window;
};

std::wstring recordName(const std::string& sid) {
  return wideText("Local\\" + std::string(kProgramRecord) + "." + sid);
}

}  // namespace

OwnedHandle publishRunningProgram(HWND window) {
  const std::string sid = currentUserSid();
  // Open to the user's own processes at every level: an elevated copy's default access
  // list would let only administrators read it.
  LocalMemory<PSECURITY_DESCRIPTOR> descriptor;
  const std::wstring access = wideText("D:(A;;GA;;;" + sid + ")(A;;GA;;;SY)");
  if (sid.empty() || !ConvertStringSecurityDescriptorToSecurityDescriptorW(
                         access.c_str(), SDDL_REVISION_1, descriptor.receive(), nullptr))
    return {};
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
  OwnedHandle section(CreateFileMappingW(INVALID_HANDLE_VALUE, &attributes, PAGE_READWRITE, 0,
                                         sizeof(Record), recordName(sid).c_str()));
  if (!section) return {};
  void* view = MapViewOfFile(section.get(), FILE_MAP_WRITE, 0, 0, sizeof(Record));
  if (view == nullptr) return {};
  const Record record{sizeof(Record), GetCurrentProcessId(),
                      static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(window))};
  std::memcpy(view, &record, sizeof record);
  UnmapViewOfFile(view);
  return section;
}

HWND findRunningProgram() {
  const OwnedHandle section(
      OpenFileMappingW(FILE_MAP_READ, FALSE, recordName(currentUserSid()).c_str()));
  if (!section) return nullptr;
  const void* view = MapViewOfFile(section.get(), FILE_MAP_READ, 0, 0, sizeof(Record));
  if (view == nullptr) return nullptr;
  Record record{};
  std::memcpy(&record, view, sizeof record);
  UnmapViewOfFile(view);
  const auto window = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(record.window));
  DWORD owner = 0;
  char className[64] = {};
  if (record.size != sizeof(Record) || record.processId == 0 || !IsWindow(window) ||
      GetWindowThreadProcessId(window, &owner) == 0 || owner != record.processId ||
      GetClassNameA(window, className, sizeof className) == 0 ||
      std::strcmp(className, kMainWindowClass) != 0)
    return nullptr;
  return window;
}

}  // namespace tessaren
