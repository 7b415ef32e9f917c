// The settings against an in-memory registry: every stored type against every setting,
// per-user placement, the first-run rule, the folder's normalisation, the remembered
// picture and the start at sign-in.
#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include "settings/default_directory.h"
#include "settings/startup.h"
#include "settings/storage.h"
#include "platform/text.h"
#include "tests/support/fake_registry.h"

namespace tessaren {
namespace {

using test::FakeRegistry;
using test::perUserSettingsKey;
using Bytes = std::vector<std::uint8_t>;
constexpr auto kUser = RegistryRoot::CurrentUser;
constexpr auto kMachine = RegistryRoot::ClassesRoot;
const std::string kDefaultFolder = "C:\\Users\\u\\AppData\\Local\\Tessaren\\";

class SettingsStore : public ::testing::Test {
 protected:
  void SetUp() override { setDefaultDownloadDirectory(kDefaultFolder); }
  void TearDown() override { setDefaultDownloadDirectory(std::nullopt); }
  std::vector<std::string> sets() const {
    std::vector<std::string> found;
    for (const std::string& line : registry.log)
      if (line.rfind("set ", 0) == 0) found.push_back(line);
    return found;
  }
  FakeRegistry registry;
};

Bytes text(const std::string& value) {
  Bytes data(value.begin(), value.end());
  data.push_back(0);
  return data;
}

// A value of another type or size counts as missing: the setting takes its default and
// is never made of the value's bytes ("30" is not 0x3033 minutes).
TEST_F(SettingsStore, EveryStoredTypeAgainstEverySetting) {
  registry.environment["LOCALAPPDATA"] = "C:\\Users\\u\\AppData\\Local";
  struct Stored {
    const char* what;
    std::uint32_t type;
    Bytes data;
  };
  const Stored kinds[] = {
      {"DWORD 30", kRegDword, {30, 0, 0, 0}},
      {"DWORD of two bytes", kRegDword, {30, 0}},
      {"SZ \"30\"", kRegSz, text("30")},
      {"EXPAND_SZ", kRegExpandSz, text("%LOCALAPPDATA%\\Pictures")},
      {"BINARY of four bytes", kRegBinary, {30, 0, 0, 0}},
      {"QWORD 30", kRegQword, {30, 0, 0, 0, 0, 0, 0, 0}},
      {"empty SZ", kRegSz, {}},
      {"oversize SZ", kRegSz, text(std::string(70'000, 'x'))},
  };
  // What each setting reads for each kind, in the order above.
  struct Expected {
    const char* name;
    std::vector<std::string> values;
  } const settings[] = {
      {"url",
       {kDefaultUrl, kDefaultUrl, "30", "C:\\Users\\u\\AppData\\Local\\Pictures", kDefaultUrl,
        kDefaultUrl, "", kDefaultUrl}},
      {"temp",
       {kDefaultFolder, kDefaultFolder, "30\\", "C:\\Users\\u\\AppData\\Local\\Pictures\\",
        kDefaultFolder, kDefaultFolder, kDefaultFolder, kDefaultFolder}},
      {"interval", {"30", "60", "60", "60", "60", "60", "60", "60"}},
      {"display", {"30", "1", "1", "1", "1", "1", "1", "1"}},
  };
  for (const Expected& setting : settings) {
    for (std::size_t k = 0; k < std::size(kinds); ++k) {
      registry.putRaw(kUser, perUserSettingsKey(), setting.name, kinds[k].type, kinds[k].data);
      const Settings loaded = loadSettings();
      const std::string value = setting.name == std::string("url")    ? loaded.url
                                : setting.name == std::string("temp") ? loaded.temp
                                : setting.name == std::string("interval")
                                    ? std::to_string(loaded.interval)
                                    : std::to_string(loaded.display);
      EXPECT_EQ(value, setting.values[k]) << setting.name << " stored as " << kinds[k].what;
      registry.erase(kUser, perUserSettingsKey(), setting.name);
    }
  }
  EXPECT_EQ(registry.openKeys(), 0);
}

TEST_F(SettingsStore, ReadResultCodesAndTheFirstNul) {
  RegistryAccess access;
  std::int32_t number = 77;
  std::string value = "before";
  EXPECT_EQ(access.readNumber(kSettingsSubkey, "interval", number), kReadNoKey);
  registry.putRaw(kUser, perUserSettingsKey(), "url", kRegSz, {'a', 'b', 0, 'c', 0});
  EXPECT_EQ(access.readNumber(kSettingsSubkey, "interval", number), kReadNoValue);
  EXPECT_EQ(access.readNumber(kSettingsSubkey, "url", number), kReadNoValue);
  EXPECT_EQ(number, 77);
  EXPECT_EQ(access.readText(kSettingsSubkey, "url", value), kReadOk);
  EXPECT_EQ(value, "ab");
  // Texts longer than the first guess are read whole.
  registry.putText(kUser, perUserSettingsKey(), "url", std::string(5000, 'u'));
  EXPECT_EQ(access.readText(kSettingsSubkey, "url", value), kReadOk);
  EXPECT_EQ(value.size(), 5000u);
}

TEST_F(SettingsStore, ReadsPreferPerUserKeyAndFallBackToMachineWide) {
  registry.putText(kMachine, kSettingsSubkey, "url", "http://old/");
  EXPECT_EQ(loadSettings().url, "http://old/");
  registry.putText(kUser, perUserSettingsKey(), "url", "http://new/");
  EXPECT_EQ(loadSettings().url, "http://new/");
  EXPECT_EQ(registry.log.front(), "open HKCU\\Software\\Classes\\Tessaren\\Config 0x20019");
}

TEST_F(SettingsStore, WritesGoToPerUserKeyWithTheirTypesAndExactBytes) {
  saveSettings(Settings{"", "D:\\Temp\\", -7, -1, 1});
  EXPECT_EQ(sets(), (std::vector<std::string>{"set url 1 1", "set temp 1 9", "set interval 4 4",
                                              "set display 4 4", "set install 4 4"}));
  EXPECT_EQ(registry.value(kUser, perUserSettingsKey(), "temp").data, text("D:\\Temp\\"));
  EXPECT_EQ(registry.value(kUser, perUserSettingsKey(), "interval").data,
            (Bytes{0xF9, 0xFF, 0xFF, 0xFF}));
  EXPECT_FALSE(registry.hasKey(kMachine, kSettingsSubkey));
  // What this program stored reads back as it was (the interval within its range).
  const Settings loaded = loadSettings();
  EXPECT_EQ(loaded, (Settings{"", "D:\\Temp\\", 1, -1, 1}));

  registry.denyRoot(kUser);
  registry.log.clear();
  saveSettings(Settings{"x", "y", 1, 1, 2});
  EXPECT_TRUE(sets().empty());
}

TEST_F(SettingsStore, FirstRunWritesAllDefaultsWithMarkerLast) {
  ensureDefaults();
  EXPECT_EQ(sets(), (std::vector<std::string>{"set url 1 " + std::to_string(kDefaultUrl.size() + 1),
                                              "set temp 1 35", "set interval 4 4",
                                              "set display 4 4", "set install 4 4"}));
  EXPECT_EQ(loadSettings(), (Settings{kDefaultUrl, kDefaultFolder, 60, 1, 2}));

  registry.log.clear();
  ensureDefaults();  // marker present: one read, no writes
  EXPECT_TRUE(sets().empty());

  for (std::int32_t marker : {0, 1, 3, -1}) {
    registry.putText(kUser, perUserSettingsKey(), "url", "http://mine/");
    registry.putNumber(kUser, perUserSettingsKey(), "install", marker);
    ensureDefaults();
    EXPECT_EQ(loadSettings().url, kDefaultUrl) << marker;
  }
  // A marker stored as text is no marker.
  registry.putText(kUser, perUserSettingsKey(), "url", "http://mine/");
  registry.putText(kUser, perUserSettingsKey(), "install", "2");
  ensureDefaults();
  EXPECT_EQ(loadSettings().url, kDefaultUrl);
}

TEST_F(SettingsStore, IntervalIsKeptWithinOneMinuteAndThirtyOneDays) {
  for (auto [stored, loaded] :
       {std::pair{0, 1}, {-5, 1}, {1, 1}, {44'640, 44'640}, {50'000, 44'640}}) {
    registry.putNumber(kUser, perUserSettingsKey(), "interval", stored);
    EXPECT_EQ(loadSettings().interval, loaded) << stored;
  }
  struct Field {
    const char* text;
    std::optional<std::int32_t> minutes;
  } const fields[] = {
      {"15", 15},          {"  15 ", 15}, {"1", 1},   {"44640", 44'640},
      {"44641", {}},       {"0", {}},     {"-3", {}}, {"+5", {}},
      {"15 minutes", {}},  {"1.5", {}},   {"", {}},   {"   ", {}},
      {"99999999999", {}},
  };
  for (const Field& field : fields)
    EXPECT_EQ(intervalFromField(field.text), field.minutes) << "\"" << field.text << "\"";
}

TEST_F(SettingsStore, FolderNormalisation) {
  struct Case {
    std::string typed;
    std::string normalised;
  } const cases[] = {
      {"D:\\Pics", "D:\\Pics\\"},
      {"D:\\Pics\\", "D:\\Pics\\"},
      {"  D:\\Pics  ", "D:\\Pics\\"},
      {"D:/Pics/", "D:/Pics/"},
      {"\\\\server\\share", "\\\\server\\share\\"},
      {"Z:\\tmp\\\xc3\x9cn\xc3\xaf \xe5\xa3\x81\xe7\xba\xb8",
       "Z:\\tmp\\\xc3\x9cn\xc3\xaf \xe5\xa3\x81\xe7\xba\xb8\\"},
      {"", ""},
      {" \t", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(normaliseDirectory(c.typed), c.normalised) << c.typed;

  // A folder stored without its backslash by an older version gets the files inside it.
  registry.putText(kUser, perUserSettingsKey(), "temp", "D:\\Pics");
  EXPECT_EQ(loadSettings().temp, "D:\\Pics\\");

  // "tessaren.jpg.part" (17 characters) must fit in 259: the folder may take 242,
  // counted as Windows counts (a character beyond the basic plane takes two).
  const std::string fits = "C:\\" + std::string(238, 'a') + "\\";
  EXPECT_EQ(directoryProblem(fits), std::nullopt);
  EXPECT_NE(directoryProblem(fits + "b"), std::nullopt);
  const std::string emoji = "\xf0\x9f\x8c\xa6";  // U+1F326, two UTF-16 units
  EXPECT_EQ(directoryProblem("C:\\" + std::string(236, 'a') + emoji + "\\"), std::nullopt);
  EXPECT_NE(directoryProblem("C:\\" + std::string(237, 'a') + emoji + "\\"), std::nullopt);
}

TEST_F(SettingsStore, AppliedPictureRoundTripAndDroppedValidators) {
  EXPECT_EQ(loadAppliedPicture(), AppliedPicture{});
  const AppliedPicture picture{"http://h/p.jpg", "\"v1\"", "Mon, 07 Dec 2026 13:05:00 GMT", 5,
                               4'102'444'800};  // 2100, past 2038
  saveAppliedPicture(picture);
  EXPECT_EQ(loadAppliedPicture(), picture);
  saveAppliedPicture(AppliedPicture{"http://h/p.jpg", "", "", 5, 1});
  EXPECT_FALSE(registry.has(kUser, perUserSettingsKey(), "etag"));
  EXPECT_FALSE(registry.has(kUser, perUserSettingsKey(), "lastmodified"));
}

TEST_F(SettingsStore, StartWithWindowsHonoursTaskManager) {
  const std::string program = "C:\\Users\\u\\AppData\\Local\\Programs\\Tessaren\\tessaren.exe";
  EXPECT_FALSE(startsWithWindows());
  EXPECT_TRUE(setStartWithWindows(true, program));
  EXPECT_EQ(registry.value(kUser, kRunSubkey, "Tessaren").data, text("\"" + program + "\""));
  EXPECT_TRUE(startsWithWindows());

  // Turned off in Task Manager: an odd first byte.
  Bytes disabled(12, 0);
  disabled[0] = 3;
  registry.putRaw(kUser, kStartupApprovedSubkey, "Tessaren", kRegBinary, disabled);
  EXPECT_FALSE(startsWithWindows());
  EXPECT_TRUE(setStartWithWindows(true, program));
  EXPECT_TRUE(startsWithWindows());
  EXPECT_EQ(registry.value(kUser, kStartupApprovedSubkey, "Tessaren").data[0], 2);

  registry.putRaw(kUser, kStartupApprovedSubkey, "Tessaren", kRegBinary, disabled);
  EXPECT_TRUE(setStartWithWindows(false, program));
  EXPECT_FALSE(registry.has(kUser, kRunSubkey, "Tessaren"));
  EXPECT_FALSE(registry.has(kUser, kStartupApprovedSubkey, "Tessaren"));
  EXPECT_TRUE(setStartWithWindows(false, program));  // nothing left to remove
}

TEST(TextFormat, Utf8CutsAndSizes) {
  const std::string mixed = "ab\xc3\x9c\xe5\xa3\x81\xf0\x9f\x8c\xa6";  // a b Ü 壁 🌦
  for (auto [limit, kept] : {std::pair<std::size_t, std::size_t>{2, 2},
                             {3, 2},
                             {4, 4},
                             {5, 4},
                             {6, 4},
                             {7, 7},
                             {10, 7},
                             {11, 11},
                             {100, 11}})
    EXPECT_EQ(utf8Prefix(mixed, limit), mixed.substr(0, kept)) << limit;

  for (auto [bytes, shown] : {std::pair<std::uint64_t, const char*>{0, "0 KB"},
                              {421'888, "412 KB"},
                              {1'258'291, "1.2 MB"},
                              {367'001'600, "350 MB"}})
    EXPECT_EQ(formatSize(bytes), shown);
  EXPECT_EQ(formatSizeOf(1'258'291, 3'565'158), "1.2 of 3.4 MB");
  EXPECT_EQ(trimmed(" \t x y \r\n"), "x y");
}

}  // namespace
}  // namespace tessaren
