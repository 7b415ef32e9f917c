// The user's mutexes under Wine: where another user made the user-wide name first, with an
// access list that shuts us out, the session's own name serves instead, still one holder
// at a time, and the log says so once while it goes on rotating.
#include <gtest/gtest.h>
#include <windows.h>
// after windows.h, which it needs
#include <sddl.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/kernel_handles.h"
#include "platform/user_mutex.h"
#include "platform/user_sid.h"
#include "update/update_log.h"

namespace tessaren {
namespace {

// The global name made first, so that nobody, this process included, may open it again.
OwnedHandle heldShut(const std::string& name) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
      "D:(D;;GA;;;WD)", SDDL_REVISION_1, &descriptor, nullptr));
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  OwnedHandle mutex(
      CreateMutexA(&attributes, FALSE, ("Global\\" + name + "." + currentUserSid()).c_str()));
  LocalFree(descriptor);
  EXPECT_TRUE(mutex);
  return mutex;
}

TEST(UserMutexWineTest, ANameShutToUsFallsBackToTheSessionsOwn) {
  const std::string name = "Tessaren.Test." + std::to_string(GetCurrentProcessId());
  const OwnedHandle shut = heldShut(name);
  const UserMutex first = openUserMutex(name);
  ASSERT_TRUE(first.handle) << "the session's own name serves";
  EXPECT_FALSE(first.existed);
  EXPECT_NE(first.fallback.find("Global\\" + name), std::string::npos) << first.fallback;
  EXPECT_NE(first.fallback.find("(5); using Local\\" + name), std::string::npos) << first.fallback;
  const UserMutex second = openUserMutex(name);
  EXPECT_TRUE(second.existed) << "a second copy in the session still sees the first";

  const UserMutex free = openUserMutex(name + ".free");
  EXPECT_TRUE(free.handle);
  EXPECT_TRUE(free.fallback.empty()) << free.fallback;
}

TEST(UserMutexWineTest, TheLogRotatesUnderTheSessionsNameAndSaysSoOnce) {
  const OwnedHandle shut = heldShut("Tessaren.Log");
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string path =
      std::string(temp) + "tessaren-log-" + std::to_string(GetCurrentProcessId()) + ".log";
  for (const char* line : {"first", "second", "third"}) ASSERT_TRUE(appendLogLine(path, line, 40));
  const auto text = [](const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  const std::string old = text(path + ".1");
  const std::string current = text(path);
  EXPECT_NE(old.find("\tnote\t-\t"), std::string::npos) << old;
  EXPECT_NE(old.find("using Local\\Tessaren.Log."), std::string::npos) << old;
  EXPECT_EQ((old + current).find("note", old.find("note") + 1), std::string::npos) << "once";
  EXPECT_NE(old.find("\r\nfirst\r\n"), std::string::npos) << old;
  EXPECT_EQ(current, "second\r\nthird\r\n") << "rotated before the second line";
  std::filesystem::remove(path);
  std::filesystem::remove(path + ".1");
}

}  // namespace
}  // namespace tessaren
