// Keeping the icon in the notification area: refused adds and changes, a shell that forgot
// the icon, tips cut at a character boundary, and nothing after remove().
#include "tray/tray_icon.h"

#include <gtest/gtest.h>

#include <functional>

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

// An add refused at sign-in yet carried out: once the program hears from the shell again
// (a change of state, the retry timer, TaskbarCreated), clicks reach it (version 4).
TEST(TrayIconTest, ClicksReachTheProgramAfterAnAddRefusedYetCarriedOut) {
  const std::function<void(FakeShell&, TrayIcon&)> nexts[] = {
      [](FakeShell&, TrayIcon& icon) { icon.setState(IconState::Loading); },
      [](FakeShell&, TrayIcon& icon) { icon.restore(); },
      [](FakeShell& shell, TrayIcon& icon) { shell.forget(), icon.restore(); }};
  for (const auto& next : nexts) {
    FakeShell shell;
    TrayIcon icon(shell);
    shell.lateAdds = 1;
    icon.add(IconState::Ready, kTipIdle);
    EXPECT_FALSE(shell.clicksReachTheProgram() || icon.complete());
    next(shell, icon);
    EXPECT_TRUE(shell.clicksReachTheProgram() && icon.complete());
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
