// The settings against a store in memory: what each stored value loads as, where reads
// come from, what the first run repairs and what it keeps, the folder's rules, the
// interval field and the start at sign-in.
#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include "settings/startup.h"
#include "tests/support/memory_store.h"

namespace tessaren {
namespace {

using test::MemoryStore;
using Value = MemoryStore::Value;
const std::string kDefaultFolder = "C:\\Users\\u\\AppData\\Local\\Tessaren\\";

class SettingsTest : public ::testing::Test {
 protected:
  void put(const char* name, Value value, const StoreKey& key = kSettingsKey) {
    store.values[{key, name}] = std::move(value);
  }
  MemoryStore store;
  SettingsStore settings{store, kDefaultFolder};
};

// A value of another type counts as missing: the setting takes its default and is never
// made of the value's bytes.
TEST_F(SettingsTest, WhatEachStoredValueLoadsAs) {
  struct Case {
    const char* name;
    Value stored;
    Settings expected;
  };
  const Settings d = settings.defaults();
  auto with = [&](auto change) {
    Settings s = d;
    change(s);
    return s;
  };
  const Case cases[] = {
      {"url", std::string("https://example.com/a.png"),
       with([](Settings& s) { s.url = "https://example.com/a.png"; })},
      {"url", std::uint32_t{5}, d},
      {"temp", std::string("D:\\Pics"), with([](Settings& s) { s.folder = "D:\\Pics\\"; })},
      {"temp", std::string("  C:\\x/  "), with([](Settings& s) { s.folder = "C:\\x/"; })},
      {"temp", std::string(""), d},
      {"temp", std::uint32_t{1}, d},
      {"interval", std::uint32_t{30}, with([](Settings& s) { s.interval = 30; })},
      {"interval", std::uint32_t{0}, with([](Settings& s) { s.interval = 1; })},
      {"interval", std::uint32_t{0xFFFFFFFF}, with([](Settings& s) { s.interval = 1; })},
      {"interval", std::uint32_t{99'999}, with([](Settings& s) { s.interval = 44'640; })},
      {"interval", std::string("30"), d},
      {"display", std::uint32_t{4}, with([](Settings& s) { s.display = DisplayMode::Fit; })},
      {"display", std::uint32_t{7},
       with([](Settings& s) { s.display = DisplayMode::DesktopSettings; })},
      {"display", std::string("2"), d},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    store.values.clear();
    put(c.name, c.stored);
    EXPECT_EQ(settings.load(), c.expected);
  }
}

TEST_F(SettingsTest, ReadsComeFromThePerUserKeyOrElseTheMachineWideOne) {
  put("url", std::string("http://machine/"), kMachineSettingsKey);
  EXPECT_EQ(settings.load().url, "http://machine/");
  // The first run makes them the user's own.
  settings.repair();
  EXPECT_EQ(store.readText(kSettingsKey, "url"), "http://machine/");
  put("url", std::string("http://user/"));
  EXPECT_EQ(settings.load().url, "http://user/");
}

// Without the first-run marker (or with another value in it) only what is missing or
// unusable takes its default: an address and folder the user chose stay.
TEST_F(SettingsTest, FirstRunRepairsOnlyWhatIsMissingOrUnusable) {
  struct Case {
    const char* what;
    std::optional<Value> marker;
    std::map<std::string, Value> before;
    std::map<std::string, Value> after;
  };
  const Value defaultUrl = kDefaultUrl, defaultFolder = kDefaultFolder;
  const Case cases[] = {
      {"nothing stored",
       {},
       {},
       {{"url", defaultUrl},
        {"temp", defaultFolder},
        {"interval", std::uint32_t{60}},
        {"display", std::uint32_t{1}}}},
      {"chosen values, no marker",
       {},
       {{"url", std::string("https://my/cam.jpg")},
        {"temp", std::string("D:\\Cam\\")},
        {"interval", std::uint32_t{15}},
        {"display", std::uint32_t{5}}},
       {{"url", std::string("https://my/cam.jpg")},
        {"temp", std::string("D:\\Cam\\")},
        {"interval", std::uint32_t{15}},
        {"display", std::uint32_t{5}}}},
      {"mistyped marker, unusable values",
       std::string("2"),
       {{"url", std::uint32_t{1}},
        {"temp", std::string("Pictures")},
        {"interval", std::uint32_t{0}},
        {"display", std::uint32_t{9}}},
       {{"url", defaultUrl},
        {"temp", defaultFolder},
        {"interval", std::uint32_t{60}},
        {"display", std::uint32_t{1}}}},
      {"marker of another number",
       std::uint32_t{1},
       {{"url", std::string("https://my/cam.jpg")}, {"interval", std::string("30")}},
       {{"url", std::string("https://my/cam.jpg")},
        {"temp", defaultFolder},
        {"interval", std::uint32_t{60}},
        {"display", std::uint32_t{1}}}},
      {"marker set: nothing is touched",
       std::uint32_t{2},
       {{"temp", std::string("Pictures")}},
       {{"temp", std::string("Pictures")}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    store.values.clear();
    if (c.marker) put("install", *c.marker);
    for (const auto& [name, value] : c.before) put(name.c_str(), value);
    settings.repair();
    for (const auto& [name, value] : c.after) {
      SCOPED_TRACE(name);
      EXPECT_EQ(store.values[std::pair(kSettingsKey, name)], value);
    }
    EXPECT_EQ(store.readNumber(kSettingsKey, "install"), 2u);
  }
}

TEST_F(SettingsTest, SaveStoresEveryValueWithItsType) {
  const Settings chosen{"https://example.com/x.webp", "E:\\W\\", 15, DisplayMode::Span};
  ASSERT_TRUE(settings.save(chosen));
  EXPECT_EQ(settings.load(), chosen);
  EXPECT_EQ(store.readNumber(kSettingsKey, "display"), 6u);
  EXPECT_EQ(store.readNumber(kSettingsKey, "install"), 2u);
  store.readOnly = true;
  EXPECT_FALSE(settings.save(chosen));
}

// Folders as typed or stored, normalised, and whether files can be kept there. A working
// folder changes from start to start, so only full paths are usable.
TEST(FolderRules, NormalisedAndChecked) {
  struct Case {
    std::string typed;
    const char* normalised;
    const char* problem;  // the start of the reason; empty when usable
  } const cases[] = {
      {"Pictures", "Pictures\\", "the folder Pictures\\ is not a full path"},
      {"C:foo", "C:foo\\", "the folder C:foo\\ is not a full path"},
      {"\\Pictures", "\\Pictures\\", "the folder \\Pictures\\ is not a full path"},
      {"\\\\server", "\\\\server\\", "the folder \\\\server\\ is not a full path"},
      {"D:\\Pics", "D:\\Pics\\", ""},
      {" C:\\ ", "C:\\", ""},
      {"\\\\server\\share", "\\\\server\\share\\", ""},
      {"", "", "no folder is set"},
      // 225 characters with the backslash added: the longest file name Tessaren makes
      // there, an update's "tessaren-ffffffffffffffff.jpg.part", still fits MAX_PATH.
      {"C:\\" + std::string(221, 'x'), "", ""},
      {"C:\\" + std::string(222, 'x'), "",
       "the folder's path is too long (226 characters; at most 225)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    const std::string folder = normaliseFolder(c.typed);
    if (*c.normalised) {
      EXPECT_EQ(folder, c.normalised);
    }
    const std::optional<std::string> problem = folderProblem(folder);
    if (*c.problem) {
      ASSERT_TRUE(problem);
      EXPECT_EQ(problem->rfind(c.problem, 0), 0u) << *problem;
    } else {
      EXPECT_FALSE(problem) << *problem;
    }
  }
}

TEST(IntervalField, WholeMinutesWithinTheRange) {
  const std::pair<const char*, std::optional<std::int32_t>> cases[] = {
      {"15", 15}, {" 60 ", 60},       {"1", 1}, {"44640", 44'640}, {"44641", {}},  {"0", {}},
      {"-3", {}}, {"15 minutes", {}}, {"", {}}, {"1e3", {}},       {"9999999", {}}};
  for (const auto& [text, minutes] : cases) EXPECT_EQ(intervalFromField(text), minutes) << text;
}

// Task Manager's record: the first byte odd means the user turned the start off there.
TEST(StartWithWindows, HonoursTaskManager) {
  MemoryStore store;
  const std::string exe = "C:\\Programs\\Tessaren\\tessaren.exe";
  EXPECT_FALSE(startsWithWindows(store));
  ASSERT_TRUE(setStartWithWindows(store, true, exe));
  EXPECT_EQ(store.readText(kRunKey, kRunValueName), "\"" + exe + "\"");
  EXPECT_TRUE(startsWithWindows(store));

  store.writeBytes(kStartupApprovedKey, kRunValueName, std::string("\x03\0\0\0", 4));
  EXPECT_FALSE(startsWithWindows(store));
  ASSERT_TRUE(setStartWithWindows(store, true, exe));
  EXPECT_EQ(store.readBytes(kStartupApprovedKey, kRunValueName)->at(0), '\x02');
  EXPECT_TRUE(startsWithWindows(store));

  ASSERT_TRUE(setStartWithWindows(store, false, exe));
  EXPECT_FALSE(store.readText(kRunKey, kRunValueName));
  EXPECT_FALSE(store.readBytes(kStartupApprovedKey, kRunValueName));
}

}  // namespace
}  // namespace tessaren
