// The user's SID from the process token, and the user's mutexes named after it.
#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

#include <vector>

#include "platform/kernel_handles.h"
#include "platform/system_error.h"
#include "platform/user_mutex.h"
#include "platform/user_sid.h"

namespace tessaren {

std::string currentUserSid() {
  OwnedHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.receive())) return "";
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  if (size == 0) return "";
  std::vector<std::uint8_t> buffer(size);
  if (!GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return "";
  LocalMemory<char*> text;
  if (!ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid,
                              text.receive()))
    return "";
  return text.get();
}

UserMutex openUserMutex(const std::string& name) {
  const std::string sid = currentUserSid();
  UserMutex mutex;
  const std::string global = "Global\\" + name + "." + sid;
  mutex.handle.reset(CreateMutexA(nullptr, FALSE, global.c_str()));
  DWORD error = GetLastError();
  if (!mutex.handle) {
    const std::string local = "Local\\" + name + "." + sid;
    mutex.fallback =
        global + ": " + systemErrorText(error) + "; using " + local + " in this session only";
    mutex.handle.reset(CreateMutexA(nullptr, FALSE, local.c_str()));
    error = GetLastError();
  }
  mutex.existed = mutex.handle && error == ERROR_ALREADY_EXISTS;
  return mutex;
}

}  // namespace tessaren
