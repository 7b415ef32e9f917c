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
  void remove() override {
    present = false;
    ++removals;
  }
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
  int removals = 0;
};

// Hands the calls on to a FakeShell that outlives it (the program destroys its own).
class ForwardingShell final : public TrayShell {
 public:
  explicit ForwardingShell(FakeShell& target) : target_(target) {}
  bool add(IconState state, const std::string& tip) override { return target_.add(state, tip); }
  bool change(IconState state, const std::string& tip) override {
    return target_.change(state, tip);
  }
  void remove() override { target_.remove(); }
  void reloadPictures() override { target_.reloadPictures(); }

 private:
  FakeShell& target_;
};

}  // namespace tessaren::test
