// Keeping the icon in the notification area: refused adds and changes, an add refused at
// sign-in that the shell carries out all the same, a shell that forgot the icon, tips cut
// at a character boundary, and nothing after remove().
#include "tray/tray_icon.h"

#include <gtest/gtest.h>

#include "tests/support/fake_tray.h"

namespace tessaren {
namespace {

using test::FakeShell;

TEST(TrayIconTest, TheIconComesBackWhateverTheShellDid) {
  FakeShell shell;
  TrayIcon icon(shell);
  shell.refusals = 1;  // still starting at sign-in
  icon.add(IconState::Ready, kTipIdle);
  EXPECT_TRUE(icon.wanted());
  EXPECT_FALSE(icon.shown());
  icon.restore();  // the retry timer
  EXPECT_TRUE(icon.shown());

  shell.forget();  // Explorer restarted
  icon.setState(IconState::Loading);
  EXPECT_TRUE(icon.shown()) << "a refused change adds the icon again, whole";
  EXPECT_EQ(shell.shown.back(), "loading \"Tessaren\"");

  icon.reloadPictures();
  EXPECT_EQ(shell.reloads, 1);
  EXPECT_EQ(shell.shown.back(), "loading \"Tessaren\"");

  icon.remove();
  const std::size_t calls = shell.shown.size();
  icon.setTip("after the end");
  icon.restore();
  EXPECT_FALSE(shell.present);
  EXPECT_EQ(shell.shown.size(), calls) << "nothing is shown after remove()";
}

// Whatever the shell did with the first add (refused it and carried it out later, as at
// sign-in), once the program hears from it again (a change of state, the retry timer,
// TaskbarCreated) the icon speaks version 4: clicks and the keyboard reach the program.
TEST(TrayIconTest, ClicksReachTheProgramAfterAnAddRefusedAndCarriedOutLate) {
  enum Next { StateChange, RetryTimer, ShellRestart };
  const struct {
    int lateAdds;
    bool busyLater;  // a later change refused while the icon stays
    Next next;
  } cases[] = {{1, false, StateChange},
               {1, false, RetryTimer},
               {1, false, ShellRestart},
               {0, true, RetryTimer},
               {0, false, ShellRestart}};
  for (const auto& c : cases) {
    FakeShell shell;
    TrayIcon icon(shell);
    shell.lateAdds = c.lateAdds;
    icon.add(IconState::Ready, kTipIdle);
    EXPECT_EQ(icon.complete(), c.lateAdds == 0);
    shell.refusals = c.busyLater ? 1 : 0;
    if (c.busyLater) icon.setTip("busy");
    if (c.next == ShellRestart) shell.forget();
    c.next == StateChange ? icon.setState(IconState::Loading) : icon.restore();
    EXPECT_TRUE(shell.clicksReachTheProgram() && icon.complete()) << c.lateAdds << c.next;
  }
}

TEST(TrayIconTest, LongTipsAreCutAtACharacterBoundary) {
  FakeShell shell;
  TrayIcon icon(shell);
  icon.add(IconState::Ready, "");
  // 127 bytes fit; "壁" takes three and must not be cut in two.
  const std::string tip = std::string(125, 'x') + "\xe5\xa3\x81";
  icon.setTip(tip);
  EXPECT_EQ(icon.tip(), std::string(125, 'x'));
  icon.setTip(std::string(124, 'x') + "\xe5\xa3\x81");
  EXPECT_EQ(icon.tip().size(), 127u);
}

}  // namespace
}  // namespace tessaren
