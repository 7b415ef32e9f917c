// The typed store on the real Win32 registry (run under Wine, with the program's UTF-8
// code page): what each type another writer may store reads as, the exact bytes written,
// long texts, bytes beyond ASCII, deleting, and the defaults' folder.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "settings/default_folder.h"
#include "settings/settings_store.h"

namespace tessaren {
namespace {

const StoreKey kTestKey{StoreRoot::User, "Software\\Classes\\TessarenTest\\Values"};

std::vector<BYTE> rawValue(const char* name, DWORD* type) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kTestKey.path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return {};
  std::vector<BYTE> data(4096);
  DWORD size = static_cast<DWORD>(data.size());
  const LONG result = RegQueryValueExA(key, name, nullptr, type, data.data(), &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) return {};
  data.resize(size);
  return data;
}

void putRawW(const wchar_t* name, DWORD type, const void* data, DWORD size) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kTestKey.path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

// Removes a key of the current user with everything under it, as the uninstaller does.
void removeKey(const std::string& path) {
  RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
  RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
}

class RegistryStoreOnWine : public ::testing::Test {
 protected:
  void SetUp() override { removeKey("Software\\Classes\\TessarenTest"); }
  void TearDown() override { SetUp(); }
  ValueStore& store = registryStore();
};

// Values as another program (reg add, a .reg file) may store them: a number as text is no
// number, a REG_EXPAND_SZ is expanded (and only it), UTF-16 text arrives as UTF-8, and a
// REG_DWORD of the wrong size is no number.
TEST_F(RegistryStoreOnWine, EveryTypeReadsThroughItsOwnReadOnly) {
  SetEnvironmentVariableA("TESSAREN_TEST_BASE", "C:\\users\\test");
  const std::wstring expandable = L"%TESSAREN_TEST_BASE%\\\u00dcn\u00ef \u58c1\u7eb8 \U0001F326";
  const auto bytesOf = [](const std::wstring& text) {
    return static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
  };
  putRawW(L"expand", REG_EXPAND_SZ, expandable.c_str(), bytesOf(expandable));
  putRawW(L"plain", REG_SZ, expandable.c_str(), bytesOf(expandable));
  putRawW(L"text30", REG_SZ, L"30", 6);
  const BYTE shortNumber[2] = {5, 0};
  putRawW(L"short", REG_DWORD, shortNumber, sizeof shortNumber);
  const DWORD number = 0xFFFFFFFB;
  putRawW(L"number", REG_DWORD, &number, sizeof number);
  const BYTE binary[4] = {30, 0, 0, 0};
  putRawW(L"binary", REG_BINARY, binary, sizeof binary);

  EXPECT_EQ(store.readText(kTestKey, "expand"),
            "C:\\users\\test\\\xc3\x9cn\xc3\xaf \xe5\xa3\x81\xe7\xba\xb8 \xf0\x9f\x8c\xa6");
  EXPECT_EQ(store.readText(kTestKey, "plain"),
            "%TESSAREN_TEST_BASE%\\\xc3\x9cn\xc3\xaf \xe5\xa3\x81\xe7\xba\xb8 \xf0\x9f\x8c\xa6");
  EXPECT_EQ(store.readNumber(kTestKey, "text30"), std::nullopt);
  EXPECT_EQ(store.readNumber(kTestKey, "short"), std::nullopt);
  EXPECT_EQ(store.readNumber(kTestKey, "number"), 0xFFFFFFFBu);
  EXPECT_EQ(store.readText(kTestKey, "number"), std::nullopt);
  EXPECT_EQ(store.readNumber(kTestKey, "binary"), std::nullopt);
  EXPECT_EQ(store.readBytes(kTestKey, "binary"), std::string("\x1e\0\0\0", 4));
  EXPECT_EQ(store.readBytes(kTestKey, "plain"), std::nullopt);
  EXPECT_EQ(store.readText(kTestKey, "missing"), std::nullopt);
  EXPECT_EQ(store.readText({StoreRoot::User, "Software\\Classes\\TessarenTest\\None"}, "x"),
            std::nullopt);
}

TEST_F(RegistryStoreOnWine, WritesKeepTheirTypesAndExactBytes) {
  ASSERT_TRUE(store.writeText(kTestKey, "folder", "D:\\Temp\\"));
  ASSERT_TRUE(store.writeNumber(kTestKey, "minutes", 0xFFFFFFFB));
  // Bytes that are no UTF-8 (an ETag a server sent) survive as bytes.
  ASSERT_TRUE(store.writeBytes(kTestKey, "validator", "\"v\xe9\x01\""));
  DWORD type = 0;
  EXPECT_EQ(rawValue("folder", &type),
            (std::vector<BYTE>{'D', ':', '\\', 'T', 'e', 'm', 'p', '\\', 0}));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(rawValue("minutes", &type), (std::vector<BYTE>{0xFB, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(store.readBytes(kTestKey, "validator"), "\"v\xe9\x01\"");
  EXPECT_FALSE(store.writeText({StoreRoot::Classes, "TessarenTest"}, "x", "y"))
      << "machine-wide keys are read only";

  for (std::size_t length : {1023u, 1024u, 5000u}) {
    ASSERT_TRUE(store.writeText(kTestKey, "long", std::string(length, 'a')));
    EXPECT_EQ(store.readText(kTestKey, "long")->size(), length);
  }
  ASSERT_TRUE(store.writeText(kTestKey, "long", ""));
  EXPECT_EQ(store.readText(kTestKey, "long"), "");

  EXPECT_TRUE(store.deleteValue(kTestKey, "long"));
  EXPECT_TRUE(store.deleteValue(kTestKey, "long")) << "gone already counts";
  EXPECT_EQ(store.readText(kTestKey, "long"), std::nullopt);
  EXPECT_TRUE(store.keyExists(kTestKey));
  removeKey(kTestKey.path);
  EXPECT_FALSE(store.keyExists(kTestKey));
}

TEST(SettingsOnWine, FirstRunDefaultsAndTheirFolder) {
  removeKey(keyOf(KeyId::Tessaren).path);
  ValueStore& store = registryStore();
  SettingsStore settings(store, defaultPictureFolder());
  settings.repair();
  const Settings loaded = settings.load();
  EXPECT_EQ(loaded.url, kDefaultUrl);
  EXPECT_EQ(loaded.interval, 60);
  ASSERT_GT(loaded.folder.size(), 10u);
  EXPECT_EQ(loaded.folder.substr(loaded.folder.size() - 10), "\\Tessaren\\");
  const DWORD attributes = GetFileAttributesA(loaded.folder.c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << loaded.folder;
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
  removeKey(keyOf(KeyId::Tessaren).path);
}

}  // namespace
}  // namespace tessaren
