// The user's SID from the process token.
#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

#include <vector>

#include "platform/handles.h"
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
  char* text = nullptr;
  if (!ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text))
    return "";
  std::string sid = text;
  LocalFree(text);
  return sid;
}

}  // namespace tessaren
