// A mutex of the signed-in user's, for what must happen once per user: one running copy,
// one rotation of the log at a time. Its name is "Global\<name>.<SID>", so that it holds
// across the user's sessions (remote desktop beside the console). Where Windows will not
// make or open that name (another user made it first, with an access list that shuts us
// out), the session's own "Local\<name>.<SID>" is used instead, and the caller is told
// why, so that it can say so. Windows only.
#pragma once

#include <string>

#include "platform/kernel_handles.h"

namespace tessaren {

struct UserMutex {
  OwnedHandle handle;    // nullptr when neither name could be made
  bool existed = false;  // it existed already: another copy holds it
  // Why the session's own name is used: "Global\Tessaren.Log.S-1-5-21-...: Access is
  // denied (5); using Local\Tessaren.Log.S-1-5-21-... in this session only". Empty when the
  // global name was used.
  std::string fallback;
};

UserMutex openUserMutex(const std::string& name);

}  // namespace tessaren
