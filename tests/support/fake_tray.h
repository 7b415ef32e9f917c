// A notification area in a test: what it shows after each call, in order (what a user
// would have seen), whether clicks reach the program, and refusals on demand (also an add
// refused yet carried out, as at sign-in).
#pragma once

#include <string>
#include <vector>

#include "tray/tray_icon.h"

namespace tessaren::test {

class FakeShell final : public TrayShell {
 public:
  bool add(IconState state, const std::string& tip) override {
    // The shell has one icon of each id: a second add fails.
    if (present || (refusals > 0 && refusals-- > 0)) return false;
    present = true;
    version4 = false;
    shown.push_back(describe(state, tip));
    return lateAdds > 0 ? (--lateAdds, false) : true;
  }
  bool change(IconState state, const std::string& tip) override {
    if (!present || (refusals > 0 && refusals-- > 0)) return false;
    shown.push_back(describe(state, tip));
    return true;
  }
  bool useVersion4() override {
    if (!present || (refusals > 0 && refusals-- > 0)) return false;
    version4 = true;
    return true;
  }
  void returnFocus() override {}
  void remove() override {
    present = false;
    ++removals;
  }
  void reloadPictures() override { ++reloads; }
  // The shell restarted and forgot its icons.
  void forget() { present = false; }
  // A click, a right-click or the keyboard reaches the program only with version 4
  // callbacks; a version 0 icon hears double-clicks alone.
  bool clicksReachTheProgram() const { return present && version4; }

  static std::string describe(IconState state, const std::string& tip) {
    const char* name = state == IconState::Loading ? "loading"
                       : state == IconState::Error ? "error"
                                                   : "ready";
    return std::string(name) + " \"" + tip + "\"";
  }

  std::vector<std::string> shown;
  bool present = false;
  bool version4 = false;
  int refusals = 0;  // the shell refuses this many calls first (busy, or still starting)
  int lateAdds = 0;  // this many adds are answered FALSE yet carried out (sign-in)
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
  bool useVersion4() override { return target_.useVersion4(); }
  void returnFocus() override { target_.returnFocus(); }
  void remove() override { target_.remove(); }
  void reloadPictures() override { target_.reloadPictures(); }

 private:
  FakeShell& target_;
};

}  // namespace tessaren::test
