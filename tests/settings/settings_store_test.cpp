// The settings store against an in-memory registry: result codes, byte-level reads,
// per-user placement and the first-run rule.
#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include "settings/default_directory.h"
#include "tests/support/fake_registry.h"

namespace tessaren {
namespace {

using test::FakeRegistry;
using test::perUserSettingsKey;
constexpr auto kUser = RegistryRoot::CurrentUser;
constexpr auto kMachine = RegistryRoot::ClassesRoot;

class SettingsStore : public ::testing::Test {
 protected:
  void SetUp() override { setDefaultDownloadDirectory("C:\\Users\\u\\AppData\\Local\\Tessaren\\"); }
  void TearDown() override { setDefaultDownloadDirectory(std::nullopt); }
  FakeRegistry registry;
  RegistryAccess access;
};

TEST_F(SettingsStore, ReadNumberResultCodesLeaveDestinationOnFailure) {
  std::int32_t number = 77;
  EXPECT_EQ(access.readNumber(kSettingsSubkey, "interval", number), kReadNoKey);
  EXPECT_EQ(number, 77);

  registry.putNumber(kUser, perUserSettingsKey(), "display", 3);
  EXPECT_EQ(access.readNumber(kSettingsSubkey, "interval", number), kReadNoValue);
  EXPECT_EQ(number, 77);

  EXPECT_EQ(access.readNumber(kSettingsSubkey, "display", number), kReadOk);
  EXPECT_EQ(number, 3);
  EXPECT_EQ(registry.openKeys(), 0);
}

TEST_F(SettingsStore, ShortNumberDataReplacesOnlyLowOrderBytes) {
  const std::string key = perUserSettingsKey();
  struct Case {
    std::vector<std::uint8_t> data;
    std::int32_t before, after;
    std::int32_t result;
  } cases[] = {
      {{0x01}, 0x11223344, 0x11223301, kReadOk},
      {{0x01, 0x02}, 0x11223344, 0x11220201, kReadOk},
      {{}, 0x11223344, 0x11223344, kReadOk},
      {{0xFF, 0xFF, 0xFF, 0xFF}, 5, -1, kReadOk},
      // More than four bytes (a REG_SZ "12345") cannot be read as a number.
      {{'1', '2', '3', '4', '5', 0}, 9, 9, kReadNoValue},
  };
  for (const Case& c : cases) {
    registry.putRaw(kUser, key, "interval", kRegSz, c.data);
    std::int32_t number = c.before;
    EXPECT_EQ(access.readNumber(kSettingsSubkey, "interval", number), c.result);
    EXPECT_EQ(number, c.after) << "data of " << c.data.size() << " bytes";
  }
}

TEST_F(SettingsStore, TextReadsEndAtFirstNulAndHonourTheBufferLimit) {
  const std::string key = perUserSettingsKey();
  std::string text = "before";

  registry.putText(kUser, key, "url", std::string(1023, 'u'));
  EXPECT_EQ(access.readText(kSettingsSubkey, "url", text), kReadOk);
  EXPECT_EQ(text, std::string(1023, 'u'));

  registry.putText(kUser, key, "url", std::string(1024, 'v'));  // 1025 bytes with the NUL
  EXPECT_EQ(access.readText(kSettingsSubkey, "url", text), kReadNoValue);
  EXPECT_EQ(text, std::string(1023, 'u'));

  registry.putRaw(kUser, key, "url", kRegSz, std::vector<std::uint8_t>(1024, 'w'));  // no NUL
  EXPECT_EQ(access.readText(kSettingsSubkey, "url", text), kReadOk);
  EXPECT_EQ(text, std::string(1024, 'w'));

  registry.putRaw(kUser, key, "url", kRegSz, {'a', 'b', 0, 'c', 0});
  EXPECT_EQ(access.readText(kSettingsSubkey, "url", text), kReadOk);
  EXPECT_EQ(text, "ab");

  registry.putRaw(kUser, key, "url", kRegSz, {});
  EXPECT_EQ(access.readText(kSettingsSubkey, "url", text), kReadOk);
  EXPECT_EQ(text, "");
}

TEST_F(SettingsStore, ReadsPreferPerUserKeyAndFallBackToMachineWide) {
  registry.putText(kMachine, kSettingsSubkey, "url", "http://old/");
  std::string url;
  EXPECT_EQ(access.readText(kSettingsSubkey, "url", url), kReadOk);
  EXPECT_EQ(url, "http://old/");

  registry.putText(kUser, perUserSettingsKey(), "url", "http://new/");
  EXPECT_EQ(access.readText(kSettingsSubkey, "url", url), kReadOk);
  EXPECT_EQ(url, "http://new/");
  EXPECT_EQ(registry.log.front(), "open HKCU\\Software\\Classes\\Tessaren\\Config 0x20019");
}

TEST_F(SettingsStore, WritesGoToPerUserKeyWithExactBytes) {
  access.writeText(kSettingsSubkey, "temp", "D:\\Temp\\");
  access.writeNumber(kSettingsSubkey, "interval", -5);

  EXPECT_EQ(registry.log,
            (std::vector<std::string>{"create HKCU\\Software\\Classes\\Tessaren\\Config 0xF003F",
                                      "set temp 1 9", "close",
                                      "create HKCU\\Software\\Classes\\Tessaren\\Config 0xF003F",
                                      "set interval 4 4", "close"}));
  test::StoredValue temp = registry.value(kUser, perUserSettingsKey(), "temp");
  EXPECT_EQ(temp.data, (std::vector<std::uint8_t>{'D', ':', '\\', 'T', 'e', 'm', 'p', '\\', 0}));
  EXPECT_EQ(registry.value(kUser, perUserSettingsKey(), "interval").data,
            (std::vector<std::uint8_t>{0xFB, 0xFF, 0xFF, 0xFF}));
  EXPECT_FALSE(registry.hasKey(kMachine, kSettingsSubkey));
}

TEST_F(SettingsStore, WriteToUncreatableKeyWritesNothing) {
  registry.denyRoot(kUser);
  access.writeText(kSettingsSubkey, "url", "x");
  EXPECT_EQ(registry.log.size(), 1u);  // the create, and no set or close
  EXPECT_FALSE(registry.has(kUser, perUserSettingsKey(), "url"));
}

TEST_F(SettingsStore, FirstRunWritesAllDefaultsWithMarkerLast) {
  ensureDefaults();
  std::vector<std::string> sets;
  for (const std::string& line : registry.log)
    if (line.rfind("set ", 0) == 0) sets.push_back(line);
  EXPECT_EQ(sets, (std::vector<std::string>{"set url 1 " + std::to_string(kDefaultUrl.size() + 1),
                                            "set temp 1 35", "set interval 4 4", "set display 4 4",
                                            "set install 4 4"}));

  Settings loaded;
  EXPECT_EQ(loadSettings(loaded), 0);
  EXPECT_EQ(loaded.url, kDefaultUrl);
  EXPECT_EQ(loaded.url.rfind("http://", 0), 0u);
  EXPECT_EQ(loaded.temp, "C:\\Users\\u\\AppData\\Local\\Tessaren\\");
  EXPECT_EQ(loaded.interval, 60);
  EXPECT_EQ(loaded.display, 1);
  EXPECT_EQ(loaded.install, 2);

  registry.log.clear();
  ensureDefaults();  // marker present: one read, no writes
  EXPECT_EQ(registry.log,
            (std::vector<std::string>{"open HKCU\\Software\\Classes\\Tessaren\\Config 0x20019",
                                      "query install 4", "close"}));
}

TEST_F(SettingsStore, AnyMarkerOtherThanTwoResetsEverySetting) {
  for (std::int32_t marker : {0, 1, 3, -1}) {
    registry.putText(kUser, perUserSettingsKey(), "url", "http://mine/");
    registry.putNumber(kUser, perUserSettingsKey(), "interval", 5);
    registry.putNumber(kUser, perUserSettingsKey(), "install", marker);
    ensureDefaults();
    Settings loaded;
    loadSettings(loaded);
    EXPECT_EQ(loaded.url, kDefaultUrl) << marker;
    EXPECT_EQ(loaded.interval, 60) << marker;
    EXPECT_EQ(loaded.install, 2) << marker;
  }
  registry.erase(kUser, perUserSettingsKey(), "install");
  registry.putNumber(kUser, perUserSettingsKey(), "interval", 5);
  ensureDefaults();
  EXPECT_EQ(registry.value(kUser, perUserSettingsKey(), "interval").data[0], 60);
}

TEST_F(SettingsStore, LoadClampsIntervalOnlyInTheRecord) {
  for (std::int32_t stored : {0, -5}) {
    registry.putNumber(kUser, perUserSettingsKey(), "interval", stored);
    Settings loaded;
    loadSettings(loaded);
    EXPECT_EQ(loaded.interval, 1);
    EXPECT_EQ(registry.value(kUser, perUserSettingsKey(), "interval").data[0],
              static_cast<std::uint8_t>(stored));
  }
}

TEST_F(SettingsStore, LoadWithMissingKeyKeepsTheRecord) {
  Settings record{"http://keep/", "K:\\", -3, 2, 7};
  EXPECT_EQ(loadSettings(record), 0);
  EXPECT_EQ(record.url, "http://keep/");
  EXPECT_EQ(record.temp, "K:\\");
  EXPECT_EQ(record.interval, 1);
  EXPECT_EQ(record.display, 2);
  EXPECT_EQ(record.install, 7);
}

TEST_F(SettingsStore, SaveWritesValuesUnchangedInOrder) {
  saveSettings(Settings{"", "", -7, -1, 1});
  std::vector<std::string> sets;
  for (const std::string& line : registry.log)
    if (line.rfind("set ", 0) == 0) sets.push_back(line);
  EXPECT_EQ(sets, (std::vector<std::string>{"set url 1 1", "set temp 1 1", "set interval 4 4",
                                            "set display 4 4", "set install 4 4"}));
  Settings loaded;
  loadSettings(loaded);
  EXPECT_EQ(loaded.display, -1);
  EXPECT_EQ(loaded.install, 1);
}

}  // namespace
}  // namespace tessaren
