// The tray icon's record as the shell receives it, call by call, the pictures it holds,
// and what it does when the shell refuses it.
#include "tray/tray_icon.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace tessaren {
namespace {

struct SentNotification {
  std::uint32_t message;
  NotifyIconRecord record;
};

// Records every notification and hands out icon handles that name their resource.
class FakeTray final : public TrayApi {
 public:
  FakeTray() { setTrayApi(this); }
  ~FakeTray() override { setTrayApi(nullptr); }
  bool notifyIcon(std::uint32_t message, const NotifyIconRecord& record) override {
    sent.push_back({message, record});
    if (refusals > 0) {
      --refusals;
      return false;
    }
    return true;
  }
  IconHandle loadIcon(ModuleHandle module, int id) override {
    loads.push_back(id);
    return module + static_cast<IconHandle>(id);
  }
  void destroyIcon(IconHandle icon) override { destroyed.push_back(icon); }
  std::vector<SentNotification> sent;
  std::vector<int> loads;
  std::vector<IconHandle> destroyed;
  int refusals = 0;  // the shell refuses this many calls first (busy, or not started yet)
};

constexpr WindowHandle kWindow = 0x5A5A;
constexpr ModuleHandle kModule = 0x10000;

std::string tipOf(const NotifyIconRecord& record) {
  return std::string(record.szTip, strnlen(record.szTip, sizeof record.szTip));
}

class TrayIconTest : public ::testing::Test {
 protected:
  FakeTray tray;
  TrayIcon icon;
};

TEST_F(TrayIconTest, AddSendsTheWholeRecordWithAnEmptyTip) {
  icon.add(IconState::Ready, kWindow, kTrayNotifyMessage, kModule);
  ASSERT_EQ(tray.sent.size(), 1u);
  const SentNotification& add = tray.sent[0];
  EXPECT_EQ(add.message, kNotifyAdd);
  EXPECT_EQ(add.record.cbSize, sizeof(void*) == 8 ? 504u : 488u);
  EXPECT_EQ(add.record.hWnd, kWindow);
  EXPECT_EQ(add.record.uID, 25077u);
  EXPECT_EQ(add.record.uFlags, 7u);
  EXPECT_EQ(add.record.uCallbackMessage, 1034u);
  EXPECT_EQ(add.record.hIcon, kModule + 131);
  EXPECT_EQ(tipOf(add.record), "");
  // The three pictures are loaded once, at the size the shell wants, and kept.
  EXPECT_EQ(tray.loads, (std::vector<int>{129, 130, 131}));
  EXPECT_EQ(icon.picturesHeld(), 3);
  EXPECT_TRUE(icon.shown());
}

TEST_F(TrayIconTest, EveryStateSendsItsPictureWithTheCurrentTip) {
  icon.add(IconState::Ready, kWindow, kTrayNotifyMessage, kModule);
  icon.setTip("Tessaren");
  struct Case {
    std::int32_t state;
    IconHandle picture;
  } cases[] = {
      {1, kModule + 129},
      {2, kModule + 130},
      {3, kModule + 131},
      // Not a state: no picture is loaded and a null one is sent.
      {0, 0},
      {4, 0},
      {-1, 0},
  };
  tray.loads.clear();
  for (const Case& c : cases) {
    tray.sent.clear();
    icon.setState(static_cast<IconState>(c.state));
    ASSERT_EQ(tray.sent.size(), 1u) << "state " << c.state;
    EXPECT_EQ(tray.sent[0].message, kNotifyModify);
    EXPECT_EQ(tray.sent[0].record.hIcon, c.picture) << "state " << c.state;
    EXPECT_EQ(tray.sent[0].record.uFlags, 7u);
    EXPECT_EQ(tipOf(tray.sent[0].record), "Tessaren");
  }
  EXPECT_TRUE(tray.loads.empty()) << "no picture loaded again for a change of state";
}

TEST_F(TrayIconTest, TipsAreCutToTheRecordAndReplaceEarlierOnes) {
  icon.add(IconState::Loading, kWindow, kTrayNotifyMessage, kModule);
  const std::string longest(127, 'x');
  const std::string cjk = "\xe5\xa3\x81";  // three bytes
  struct Case {
    std::string text, sent;
  } cases[] = {
      {longest, longest},
      {longest + "yz", longest},
      {std::string(500, 'q'), std::string(127, 'q')},
      // Never half a character: 126 + 3 bytes do not fit, so the character goes whole.
      {std::string(126, 'a') + cjk, std::string(126, 'a')},
      {std::string(124, 'a') + cjk + "b", std::string(124, 'a') + cjk},
      // A shorter tip after a long one leaves nothing of the old one behind.
      {"Tessaren", "Tessaren"},
      {"", ""},
  };
  for (const Case& c : cases) {
    tray.sent.clear();
    icon.setTip(c.text);
    ASSERT_EQ(tray.sent.size(), 1u);
    const NotifyIconRecord& record = tray.sent[0].record;
    EXPECT_EQ(tray.sent[0].message, kNotifyModify);
    EXPECT_EQ(record.szTip[sizeof record.szTip - 1], '\0');
    EXPECT_EQ(tipOf(record), c.sent);
    for (std::size_t i = c.sent.size(); i < sizeof record.szTip; ++i) {
      ASSERT_EQ(record.szTip[i], '\0') << "stale byte at " << i << " after " << c.text.size();
    }
    EXPECT_EQ(record.hIcon, kModule + 129) << "the picture goes along";
  }
}

TEST_F(TrayIconTest, RemoveNamesTheAddedIconOnceAndRestoreOnlyWhileShown) {
  icon.restore();
  icon.remove();
  EXPECT_TRUE(tray.sent.empty()) << "nothing to restore or remove before add";

  icon.add(IconState::Ready, kWindow, kTrayNotifyMessage, kModule);
  icon.setState(IconState::Error);
  icon.setTip("Tessaren, communication error!");
  tray.sent.clear();

  // The shell restarted: the icon comes back as it was last shown.
  icon.restore();
  ASSERT_EQ(tray.sent.size(), 1u);
  EXPECT_EQ(tray.sent[0].message, kNotifyAdd);
  EXPECT_EQ(tray.sent[0].record.hIcon, kModule + 130);
  EXPECT_EQ(tipOf(tray.sent[0].record), "Tessaren, communication error!");
  EXPECT_EQ(tray.sent[0].record.uCallbackMessage, 1034u);

  icon.remove();
  icon.remove();
  icon.restore();
  ASSERT_EQ(tray.sent.size(), 2u) << "one delete, then nothing";
  EXPECT_EQ(tray.sent[1].message, kNotifyDelete);
  EXPECT_EQ(tray.sent[1].record.hWnd, kWindow);
  EXPECT_EQ(tray.sent[1].record.uID, 25077u);
  EXPECT_FALSE(icon.shown());
}

// At sign-in the shell may not take the icon yet; a change it refuses means it lost the
// icon, which is then added again whole.
TEST_F(TrayIconTest, RefusedCallsAreToldAndAChangeAddsTheIconAgain) {
  tray.refusals = 1;
  icon.add(IconState::Ready, kWindow, kTrayNotifyMessage, kModule);
  EXPECT_FALSE(icon.shown());
  EXPECT_TRUE(icon.wanted());
  icon.restore();
  EXPECT_TRUE(icon.shown());

  tray.sent.clear();
  tray.refusals = 1;
  icon.setTip("Tessaren\nupdated 14:05");
  ASSERT_EQ(tray.sent.size(), 2u);
  EXPECT_EQ(tray.sent[0].message, kNotifyModify);
  EXPECT_EQ(tray.sent[1].message, kNotifyAdd);
  EXPECT_EQ(tipOf(tray.sent[1].record), "Tessaren\nupdated 14:05");
  EXPECT_TRUE(icon.shown());

  // The scaling changed: the pictures are loaded again and the old ones destroyed.
  tray.loads.clear();
  icon.reloadPictures();
  EXPECT_EQ(tray.loads, (std::vector<int>{129, 130, 131}));
  EXPECT_EQ(tray.destroyed, (std::vector<IconHandle>{kModule + 129, kModule + 130, kModule + 131}));
  EXPECT_EQ(icon.picturesHeld(), 3);
}

}  // namespace
}  // namespace tessaren
