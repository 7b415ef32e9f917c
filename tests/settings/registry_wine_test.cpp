// The settings on the real Win32 registry (run under Wine, with the program's UTF-8 code
// page): where the values land, their exact bytes, how each type another writer may
// store reads back through RegGetValueA, and the Run key.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "settings/default_directory.h"
#include "settings/settings_store.h"
#include "settings/startup.h"
#include "settings/storage.h"

namespace tessaren {
namespace {

const char* const kPerUserKey = "Software\\Classes\\Tessaren\\Config";

void deleteTree(HKEY root, const char* subkey) { RegDeleteTreeA(root, subkey); }

std::vector<BYTE> rawValue(HKEY root, const char* subkey, const char* name, DWORD* type) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
  std::vector<BYTE> data(4096);
  DWORD size = static_cast<DWORD>(data.size());
  LONG result = RegQueryValueExA(key, name, nullptr, type, data.data(), &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) return {};
  data.resize(size);
  return data;
}

void putRaw(HKEY root, const char* subkey, const char* name, DWORD type,
            const std::vector<BYTE>& data) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(root, subkey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, name, 0, type, data.data(), static_cast<DWORD>(data.size())),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

bool keyExists(HKEY root, const char* subkey) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

class RegistryOnWine : public ::testing::Test {
 protected:
  void SetUp() override { clean(); }
  void TearDown() override { clean(); }
  static void clean() {
    deleteTree(HKEY_CURRENT_USER, "Software\\Classes\\Tessaren");
    deleteTree(HKEY_CLASSES_ROOT, "Tessaren");
    setStartWithWindows(false, "");
  }
  RegistryAccess access;
};

TEST_F(RegistryOnWine, MissingKeyAndMissingValue) {
  std::int32_t number = 42;
  std::string text = "kept";
  EXPECT_EQ(access.readNumber(kSettingsSubkey, "interval", number), kReadNoKey);
  EXPECT_EQ(access.readText(kSettingsSubkey, "url", text), kReadNoKey);
  access.writeNumber(kSettingsSubkey, "display", 2);
  EXPECT_EQ(access.readNumber(kSettingsSubkey, "interval", number), kReadNoValue);
  EXPECT_EQ(access.readText(kSettingsSubkey, "url", text), kReadNoValue);
  EXPECT_EQ(number, 42);
  EXPECT_EQ(text, "kept");
}

TEST_F(RegistryOnWine, WritesLandPerUserWithTheirTypesAndExactBytes) {
  saveSettings(Settings{"http://h/x.jpg", "D:\\Temp\\", -5, 6, 2});
  EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, kPerUserKey));
  EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, "Tessaren\\Config"));
  DWORD type = 0;
  EXPECT_EQ(rawValue(HKEY_CURRENT_USER, kPerUserKey, "temp", &type),
            (std::vector<BYTE>{'D', ':', '\\', 'T', 'e', 'm', 'p', '\\', 0}));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(rawValue(HKEY_CURRENT_USER, kPerUserKey, "interval", &type),
            (std::vector<BYTE>{0xFB, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  const Settings loaded = loadSettings();
  EXPECT_EQ(loaded.url, "http://h/x.jpg");
  EXPECT_EQ(loaded.display, 6);
  EXPECT_EQ(loaded.interval, 1) << "kept within one minute and 31 days";
}

// Values as another program (reg add, a .reg file) may store them: a number as text counts
// as missing, a REG_EXPAND_SZ folder is expanded, UTF-16 text arrives as UTF-8.
TEST_F(RegistryOnWine, ValuesOfEveryTypeReadThroughTheirType) {
  SetEnvironmentVariableA("TESSAREN_TEST_BASE", "C:\\users\\test");
  const std::wstring folderW = L"%TESSAREN_TEST_BASE%\\\u00dcn\u00ef \u58c1\u7eb8 \U0001F326";
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kPerUserKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(key, L"temp", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(folderW.c_str()),
                 static_cast<DWORD>((folderW.size() + 1) * sizeof(wchar_t)));
  RegSetValueExW(key, L"interval", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"30"), 6);
  RegSetValueExW(key, L"display", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"2"), 4);
  const BYTE shortNumber[2] = {5, 0};
  RegSetValueExA(key, "install", 0, REG_DWORD, shortNumber, sizeof shortNumber);
  RegCloseKey(key);

  const Settings loaded = loadSettings();
  EXPECT_EQ(loaded.temp,
            "C:\\users\\test\\\xc3\x9cn\xc3\xaf \xe5\xa3\x81\xe7\xba\xb8 \xf0\x9f\x8c\xa6\\");
  EXPECT_EQ(loaded.interval, 60) << "REG_SZ \"30\" is no number";
  EXPECT_EQ(loaded.display, 1) << "REG_SZ \"2\" is no number";
  EXPECT_EQ(loaded.install, 0) << "a REG_DWORD of two bytes is no number";
}

TEST_F(RegistryOnWine, LongTextsAreReadWhole) {
  std::string text;
  for (std::size_t length : {1023u, 1024u, 5000u}) {
    access.writeText(kSettingsSubkey, "url", std::string(length, 'a'));
    EXPECT_EQ(access.readText(kSettingsSubkey, "url", text), kReadOk);
    EXPECT_EQ(text.size(), length);
  }
  access.writeText(kSettingsSubkey, "url", "");
  EXPECT_EQ(access.readText(kSettingsSubkey, "url", text), kReadOk);
  EXPECT_EQ(text, "");
}

TEST_F(RegistryOnWine, MachineWideSettingsAreStillFound) {
  putRaw(HKEY_CLASSES_ROOT, "Tessaren\\Config", "install", REG_DWORD, {2, 0, 0, 0});
  putRaw(HKEY_CLASSES_ROOT, "Tessaren\\Config", "url", REG_SZ,
         {'h', 't', 't', 'p', ':', '/', '/', 'o', '/', 0});
  ensureDefaults();  // the old marker counts: nothing is rewritten
  EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, kPerUserKey));
  const Settings settings = loadSettings();
  EXPECT_EQ(settings.url, "http://o/");
  EXPECT_EQ(settings.install, 2);
}

TEST_F(RegistryOnWine, FirstRunDefaultsAndTheirDirectory) {
  ensureDefaults();
  const Settings settings = loadSettings();
  EXPECT_EQ(settings.url, kDefaultUrl);
  EXPECT_EQ(settings.interval, 60);
  EXPECT_EQ(settings.display, 1);
  EXPECT_EQ(settings.install, 2);
  ASSERT_GT(settings.temp.size(), 10u);
  EXPECT_EQ(settings.temp.substr(settings.temp.size() - 10), "\\Tessaren\\");
  DWORD attributes = GetFileAttributesA(settings.temp.c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << settings.temp;
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(RegistryOnWine, StartWithWindowsInTheRunKey) {
  const char* run = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  const char* approved =
      "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
  const std::string program = "C:\\Program Files\\T\xc3\xa9ssaren\\tessaren.exe";
  ASSERT_TRUE(setStartWithWindows(true, program));
  DWORD type = 0;
  const std::string quoted = "\"" + program + "\"";
  EXPECT_EQ(rawValue(HKEY_CURRENT_USER, run, "Tessaren", &type),
            std::vector<BYTE>(quoted.c_str(), quoted.c_str() + quoted.size() + 1));
  EXPECT_TRUE(startsWithWindows());
  putRaw(HKEY_CURRENT_USER, approved, "Tessaren", REG_BINARY, {3, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8});
  EXPECT_FALSE(startsWithWindows()) << "turned off in Task Manager";
  ASSERT_TRUE(setStartWithWindows(true, program));
  EXPECT_TRUE(startsWithWindows());
  ASSERT_TRUE(setStartWithWindows(false, program));
  EXPECT_TRUE(rawValue(HKEY_CURRENT_USER, run, "Tessaren", &type).empty());
  EXPECT_TRUE(rawValue(HKEY_CURRENT_USER, approved, "Tessaren", &type).empty());
}

}  // namespace
}  // namespace tessaren
