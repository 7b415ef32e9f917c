// A notification area in a test: what it shows after each call, in order (what a user
// would have seen), and refusals on demand.
#pragma once

#include <string>
#include <vector>

#include "tray/tray_icon.h"

namespace tessaren::test {

class FakeShell final : public TrayShell {
 public:
  bool add(IconState state, const std::string& tip) override {
    if (refusals > 0 && refusals-- > 0) return false;
    present = true;
    shown.push_back(describe(state, tip));
    return true;
  }
  bool change(IconState state, const std::string& tip) override {
    if (!present || (refusals > 0 && refusals-- > 0)) return false;
    shown.push_back(describe(state, tip));
    return true;
  }
  void remove() override { present = false; }
  void reloadPictures() override { ++reloads; }
  // The shell restarted and forgot its icons.
  void forget() { present = false; }

  static std::string describe(IconState state, const std::string& tip) {
    const char* name = state == IconState::Loading ? "loading"
                       : state == IconState::Error ? "error"
                                                   : "ready";
    return std::string(name) + " \"" + tip + "\"";
  }

  std::vector<std::string> shown;
  bool present = false;
  int refusals = 0;  // the shell refuses this many calls first (busy, or still starting)
  int reloads = 0;
};

}  // namespace tessaren::test
