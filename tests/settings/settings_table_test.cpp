// The settings table, row by row: each value read and written with its type, what the
// program keeps of a stored, missing or mistyped value across a restart, what the first run
// repairs; the applied-picture record an earlier version left; and the lists the build
// makes of the table for the installer and README.txt.
#include "settings/settings_table.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "settings/settings_store.h"
#include "tests/support/memory_store.h"

namespace tessaren {
namespace {

using test::MemoryStore;
using namespace std::string_literals;
const std::string kPictureFolder = "C:\\Users\\u\\AppData\\Local\\Tessaren\\";

// What a restart makes of the value: everything the program loads, saved again.
std::optional<StoredValue> carried(MemoryStore& from, ValueId id) {
  const SettingsStore loaded(from, kPictureFolder);
  MemoryStore to;
  SettingsStore saved(to, kPictureFolder);
  saved.save(loaded.load());
  saved.saveApplied(loaded.loadApplied());
  saved.setPausedUntil(loaded.pausedUntil());
  return readValue(to, id);
}

void put(MemoryStore& store, ValueId id, MemoryStore::Value value) {
  store.values[{keyOf(rowOf(id).key), std::string(rowOf(id).name)}] = std::move(value);
}

// Values of each kind the registry holds that are not what the row's type reads (a
// Validator reads text too: an earlier version stored it so).
std::vector<MemoryStore::Value> otherTypesThan(ValueType type) {
  const MemoryStore::Value text = "30"s, number = std::uint32_t{30},
                           bytes = std::vector<char>{30, 0, 0, 0};
  switch (type) {
    case ValueType::Text:
      return {number, bytes};
    case ValueType::Number:
      return {text, bytes};
    case ValueType::Bytes:
      return {text, number};
    case ValueType::Validator:
      return {number};
  }
  return {};
}

TEST(SettingsTable, EveryRowAsTheProgramReadsKeepsAndRepairsIt) {
  struct Case {
    ValueId id;
    StoredValue usable;                      // kept exactly as stored
    std::optional<StoredValue> whenMissing;  // what a restart keeps of a missing one
    std::optional<StoredValue> unusable;     // one the first run replaces with whenMissing
  };
  const std::string run = "\"C:\\Programs\\Tessaren\\tessaren.exe\"";
  const Case cases[] = {
      {ValueId::SaveFolder, "D:\\Saved pictures\\"s, {}, {}},
      {ValueId::Url, "https://example.com/a.png"s, std::string(kDefaultUrl), " \t"s},
      {ValueId::Folder, "D:\\Pics\\"s, kPictureFolder, "Pictures"s},
      {ValueId::Interval, 30u, 60u, 44'641u},
      {ValueId::Display, 4u, 1u, 7u},
      {ValueId::Metered, 1u, 0u, {}},
      {ValueId::Pointer, "/images/0/url"s, ""s, {}},
      {ValueId::HistoryPictures, 5u, 20u, {}},
      {ValueId::HistoryMegabytes, 0u, 200u, {}},
      {ValueId::PausedUntil, 1'700'000'000u, 0u, {}},
      {ValueId::Install, 2u, 2u, 1u},
      {ValueId::PictureUrl, "http://a/"s, ""s, {}},
      {ValueId::PictureAddress, "http://cdn.example/a.jpg"s, ""s, {}},
      {ValueId::Etag, "\"v\xe9\""s, {}, {}},
      {ValueId::LastModified, "Mon, 07 Dec 2026 10:00:00 GMT"s, {}, {}},
      {ValueId::PageUrl, "http://a/page"s, ""s, {}},
      {ValueId::PageEtag, "W/\"p1\""s, {}, {}},
      {ValueId::PageLastModified, "Sun, 06 Dec 2026 10:00:00 GMT"s, {}, {}},
      {ValueId::PageDigest, "9f86d081"s, ""s, {}},
      {ValueId::TileRecord, "9f86d081\t\"t\xe9\"\t\n0a1b2c3d\t\t\n"s, {}, {}},
      // A record without a mode knows of no picture (another is shown, from the history),
      // and is saved so.
      {ValueId::PictureDisplay, 4u, {}, {}},
      {ValueId::PictureLayout, "0,0,1920,1080@96"s, ""s, {}},
      {ValueId::PictureTime, 1'700'000'000u, 0u, {}},
      {ValueId::Run, run, {}, {}},
      {ValueId::RunApproved, "\x03\0\0\0\0\0\0\0\0\0\0\0"s, {}, {}},
      {ValueId::WallpaperStyle, "22"s, {}, {}},
      {ValueId::TileWallpaper, "1"s, {}, {}},
      {ValueId::Wallpaper, "C:\\Users\\u\\AppData\\Local\\Tessaren\\tessaren.bmp"s, {}, {}},
      {ValueId::MonitorUrl, "https://radar.example/r.png"s, {}, {}},
      {ValueId::MonitorPointer, "/url"s, {}, {}},
      {ValueId::MonitorDisplay, 4u, {}, {}},
      {ValueId::MonitorPictureUrl, "https://radar.example/r.png"s, {}, {}},
      {ValueId::MonitorPictureAddress, "https://radar.example/r.png"s, {}, {}},
      {ValueId::MonitorEtag, "\"r1\""s, {}, {}},
      {ValueId::MonitorLastModified, "Mon, 07 Dec 2026 10:00:00 GMT"s, {}, {}},
      {ValueId::MonitorPageUrl, "http://a/page"s, {}, {}},
      {ValueId::MonitorPageEtag, "W/\"p1\""s, {}, {}},
      {ValueId::MonitorPageLastModified, "Sun, 06 Dec 2026 10:00:00 GMT"s, {}, {}},
      {ValueId::MonitorPageDigest, "9f86d081"s, {}, {}},
      {ValueId::MonitorTileRecord, "9f86d081\t\t\n"s, {}, {}},
      {ValueId::MonitorPictureDisplay, 5u, {}, {}},
      {ValueId::MonitorPictureLayout, "0,0,1920,1080@96"s, {}, {}},
      {ValueId::MonitorPictureTime, 1'700'000'000u, {}, {}},
  };
  ASSERT_EQ(std::size(cases), std::size(kValueRows)) << "a case for every row";
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    const ValueRow& row = kValueRows[i];
    SCOPED_TRACE(row.name);
    ASSERT_EQ(c.id, row.id);

    // Written with its type, read back; missing or of another type, read as nothing.
    MemoryStore store;
    EXPECT_FALSE(readValue(store, c.id));
    ASSERT_TRUE(writeValue(store, c.id, c.usable));
    EXPECT_EQ(readValue(store, c.id), c.usable);
    const MemoryStore::Value& raw = store.values.at({keyOf(row.key), std::string(row.name)});
    EXPECT_EQ(raw.index(), row.type == ValueType::Text     ? 0u
                           : row.type == ValueType::Number ? 1u
                                                           : 2u);
    for (const MemoryStore::Value& other : otherTypesThan(row.type)) {
      MemoryStore mistyped;
      put(mistyped, c.id, other);
      EXPECT_FALSE(readValue(mistyped, c.id)) << "type " << other.index();
      if (row.key == KeyId::Config) {
        EXPECT_EQ(carried(mistyped, c.id), c.whenMissing) << "type " << other.index();
      }
    }

    // Only the Config values live on from one start to the next; the program writes the
    // others itself when it has reason to.
    MemoryStore empty;
    if (row.key == KeyId::Config) {
      EXPECT_EQ(carried(store, c.id), c.usable);
      EXPECT_EQ(carried(empty, c.id), c.whenMissing);
    } else {
      EXPECT_FALSE(c.whenMissing);
    }

    // The first run fills in only the values with a rule, and replaces unusable ones.
    ASSERT_EQ(c.unusable.has_value(), row.unusable != nullptr);
    SettingsStore(empty, kPictureFolder).repair();
    EXPECT_EQ(readValue(empty, c.id), c.unusable ? c.whenMissing : std::nullopt);
    SettingsStore(store, kPictureFolder).repair();
    EXPECT_EQ(readValue(store, c.id), c.usable) << "a usable value stays";
    if (c.unusable) {
      MemoryStore unusable;
      ASSERT_TRUE(writeValue(unusable, c.id, *c.unusable));
      SettingsStore(unusable, kPictureFolder).repair();
      EXPECT_EQ(readValue(unusable, c.id), c.whenMissing);
    }
  }
}

// What an earlier version stored: validators as text, no picture address (the settings'
// address was the picture's); and what no version should have: a validator with a control
// character, a mode that does not exist.
TEST(SettingsTable, AppliedRecordOfAnEarlierVersion) {
  MemoryStore store;
  put(store, ValueId::PictureUrl, "http://a/now.jpg"s);
  put(store, ValueId::Etag, "\"e1\""s);
  put(store, ValueId::LastModified, "Mon\r\nSet-Cookie: x"s);
  put(store, ValueId::PictureDisplay, std::uint32_t{9});
  SettingsStore settings(store, kPictureFolder);
  const AppliedPicture loaded = settings.loadApplied();
  EXPECT_EQ(loaded.pictureUrl, "http://a/now.jpg");
  EXPECT_EQ(loaded.validators, (Validators{"\"e1\"", ""}));
  EXPECT_FALSE(loaded.known);

  // Saved again: the validators as bytes, the one not worth keeping gone.
  settings.saveApplied(loaded);
  EXPECT_EQ(store.readBytes(keyOf(KeyId::Config), rowOf(ValueId::Etag).name), "\"e1\"");
  EXPECT_FALSE(readValue(store, ValueId::LastModified));
  EXPECT_EQ(readValue(store, ValueId::PictureAddress), StoredValue("http://a/now.jpg"s));
}

std::string contentsOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << path;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// scripts/settings-table reads settings_table.def itself: what it lists must be what the
// compiler made of the same rows.
TEST(SettingsTable, TheBuildsListsNameWhatTheProgramUses) {
  const char* const installerNames[] = {
#define TESSAREN_KEY(id, root, path, installer) #installer,
#define TESSAREN_VALUE(id, key, name, type, fallback, unusable)
#include "settings/settings_table.def"
#undef TESSAREN_KEY
#undef TESSAREN_VALUE
  };
  const char* const valueIds[] = {
#define TESSAREN_KEY(id, root, path, installer)
#define TESSAREN_VALUE(id, key, name, type, fallback, unusable) #id,
#include "settings/settings_table.def"
#undef TESSAREN_KEY
#undef TESSAREN_VALUE
  };

  std::string list;
  for (std::size_t k = 0; k < std::size(installerNames); ++k) {
    const StoreKey& key = keyOf(static_cast<KeyId>(k));
    std::string names;
    for (const ValueRow& row : kValueRows)
      if (row.key == static_cast<KeyId>(k))
        names += (names.empty() ? "" : ", ") + std::string(row.name);
    if (names.empty()) continue;
    list += (key.root == StoreRoot::User ? "HKEY_CURRENT_USER\\" : "HKEY_CLASSES_ROOT\\") +
            key.path + "\t" + names + "\n";
  }
  EXPECT_EQ(contentsOf(TESSAREN_SETTINGS_LISTS "/settings.txt"), list);

  const std::string nsis = contentsOf(TESSAREN_SETTINGS_LISTS "/settings.nsh");
  for (std::size_t k = 0; k < std::size(installerNames); ++k) {
    const std::string line = "!define " + std::string(installerNames[k]) + " \"" +
                             keyOf(static_cast<KeyId>(k)).path + "\"\n";
    EXPECT_NE(nsis.find(line), std::string::npos) << line;
  }
  for (const ValueRow& row : kValueRows) {
    std::string define;
    for (const char* c = valueIds[static_cast<std::size_t>(row.id)]; *c; ++c) {
      if (std::isupper(static_cast<unsigned char>(*c)) && !define.empty()) define += '_';
      define += static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
    }
    const std::string line = "!define " + define + "_VALUE \"" + std::string(row.name) + "\"\n";
    EXPECT_NE(nsis.find(line), std::string::npos) << line;
  }
}

}  // namespace
}  // namespace tessaren
