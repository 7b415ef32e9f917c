// The settings store on the real Win32 registry (run under Wine): where the values land,
// their exact bytes, and the read limits as the registry itself enforces them.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "settings/default_directory.h"
#include "settings/settings_store.h"

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

TEST_F(RegistryOnWine, WritesLandPerUserWithExactBytes) {
  access.writeText(kSettingsSubkey, "temp", "D:\\Temp\\");
  access.writeNumber(kSettingsSubkey, "interval", -5);

  EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, kPerUserKey));
  EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, "Tessaren\\Config"));
  DWORD type = 0;
  EXPECT_EQ(rawValue(HKEY_CURRENT_USER, kPerUserKey, "temp", &type),
            (std::vector<BYTE>{'D', ':', '\\', 'T', 'e', 'm', 'p', '\\', 0}));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(rawValue(HKEY_CURRENT_USER, kPerUserKey, "interval", &type),
            (std::vector<BYTE>{0xFB, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));

  std::int32_t number = 0;
  EXPECT_EQ(access.readNumber(kSettingsSubkey, "interval", number), kReadOk);
  EXPECT_EQ(number, -5);
}

TEST_F(RegistryOnWine, TextLimitIs1023CharactersPlusNul) {
  std::string text;
  access.writeText(kSettingsSubkey, "url", std::string(1023, 'a'));
  EXPECT_EQ(access.readText(kSettingsSubkey, "url", text), kReadOk);
  EXPECT_EQ(text, std::string(1023, 'a'));

  access.writeText(kSettingsSubkey, "url", std::string(1024, 'b'));
  EXPECT_EQ(access.readText(kSettingsSubkey, "url", text), kReadNoValue);
  EXPECT_EQ(text, std::string(1023, 'a'));

  access.writeText(kSettingsSubkey, "url", "");
  EXPECT_EQ(access.readText(kSettingsSubkey, "url", text), kReadOk);
  EXPECT_EQ(text, "");
}

TEST_F(RegistryOnWine, NumberReadsOfOtherTypes) {
  std::int32_t number = 0x11223344;
  putRaw(HKEY_CURRENT_USER, kPerUserKey, "interval", REG_SZ, {'1', '2', '3', '4', '5', 0});
  EXPECT_EQ(access.readNumber(kSettingsSubkey, "interval", number), kReadNoValue);
  EXPECT_EQ(number, 0x11223344);

  putRaw(HKEY_CURRENT_USER, kPerUserKey, "interval", REG_BINARY, {0x01, 0x02});
  EXPECT_EQ(access.readNumber(kSettingsSubkey, "interval", number), kReadOk);
  EXPECT_EQ(number, 0x11220201);
}

TEST_F(RegistryOnWine, MachineWideSettingsAreStillFound) {
  putRaw(HKEY_CLASSES_ROOT, "Tessaren\\Config", "install", REG_DWORD, {2, 0, 0, 0});
  putRaw(HKEY_CLASSES_ROOT, "Tessaren\\Config", "url", REG_SZ,
         {'h', 't', 't', 'p', ':', '/', '/', 'o', '/', 0});
  ensureDefaults();  // the old marker counts: nothing is rewritten
  EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, kPerUserKey));
  Settings settings;
  loadSettings(settings);
  EXPECT_EQ(settings.url, "http://o/");
  EXPECT_EQ(settings.install, 2);
}

TEST_F(RegistryOnWine, FirstRunDefaultsAndTheirDirectory) {
  ensureDefaults();
  Settings settings;
  loadSettings(settings);
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

}  // namespace
}  // namespace tessaren
