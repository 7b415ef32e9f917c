// The settings against a store in memory: what each stored value loads as, where reads
// come from, what the first run repairs and what it keeps, the folder's rules, the
// interval field and the start at sign-in.
#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include "settings/startup.h"
#include "tests/support/memory_store.h"

namespace tessaren {
namespace {

using namespace std::string_literals;
using test::MemoryStore;
using Value = MemoryStore::Value;
const std::string kDefaultFolder = "C:\\Users\\u\\AppData\\Local\\Tessaren\\";

class SettingsTest : public ::testing::Test {
 protected:
  // The value as stored under the Config key (or another), whatever its type.
  Value& at(ValueId id, const StoreKey& key = keyOf(KeyId::Config)) {
    return store.values[{key, std::string(rowOf(id).name)}];
  }
  void put(ValueId id, Value value, const StoreKey& key = keyOf(KeyId::Config)) {
    at(id, key) = std::move(value);
  }
  MemoryStore store;
  SettingsStore settings{store, kDefaultFolder};
};

// A value of another type counts as missing: the setting takes its default and is never
// made of the value's bytes.
TEST_F(SettingsTest, WhatEachStoredValueLoadsAs) {
  struct Case {
    ValueId id;
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
      {ValueId::Url, std::string("https://example.com/a.png"),
       with([](Settings& s) { s.url = "https://example.com/a.png"; })},
      {ValueId::Url, std::uint32_t{5}, d},
      {ValueId::Folder, std::string("D:\\Pics"),
       with([](Settings& s) { s.folder = "D:\\Pics\\"; })},
      {ValueId::Folder, std::string("  C:\\x/  "), with([](Settings& s) { s.folder = "C:\\x/"; })},
      {ValueId::Folder, std::string(""), d},
      {ValueId::Folder, std::uint32_t{1}, d},
      {ValueId::Interval, std::uint32_t{30}, with([](Settings& s) { s.interval = 30; })},
      {ValueId::Interval, std::uint32_t{0}, with([](Settings& s) { s.interval = 1; })},
      {ValueId::Interval, std::uint32_t{0xFFFFFFFF}, with([](Settings& s) { s.interval = 1; })},
      {ValueId::Interval, std::uint32_t{99'999}, with([](Settings& s) { s.interval = 44'640; })},
      {ValueId::Interval, std::string("30"), d},
      {ValueId::Display, std::uint32_t{4}, with([](Settings& s) { s.display = DisplayMode::Fit; })},
      {ValueId::Display, std::uint32_t{7},
       with([](Settings& s) { s.display = DisplayMode::DesktopSettings; })},
      {ValueId::Display, std::string("2"), d},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(rowOf(c.id).name);
    store.values.clear();
    put(c.id, c.stored);
    EXPECT_EQ(settings.load(), c.expected);
  }
}

TEST_F(SettingsTest, ReadsComeFromThePerUserKeyOrElseTheMachineWideOne) {
  put(ValueId::Url, std::string("http://machine/"), keyOf(KeyId::MachineConfig));
  EXPECT_EQ(settings.load().url, "http://machine/");
  // The first run makes them the user's own.
  settings.repair();
  EXPECT_EQ(at(ValueId::Url), Value(std::string("http://machine/")));
  put(ValueId::Url, std::string("http://user/"));
  EXPECT_EQ(settings.load().url, "http://user/");
}

// Without the first-run marker (or with another value in it) only what is missing or
// unusable takes its default: an address and folder the user chose stay.
TEST_F(SettingsTest, FirstRunRepairsOnlyWhatIsMissingOrUnusable) {
  struct Case {
    const char* what;
    std::optional<Value> marker;
    std::map<ValueId, Value> before;
    std::map<ValueId, Value> after;
  };
  const Value defaultUrl = std::string(kDefaultUrl), defaultFolder = kDefaultFolder;
  const Case cases[] = {
      {"nothing stored",
       {},
       {},
       {{ValueId::Url, defaultUrl},
        {ValueId::Folder, defaultFolder},
        {ValueId::Interval, std::uint32_t{60}},
        {ValueId::Display, std::uint32_t{1}}}},
      {"chosen values, no marker",
       {},
       {{ValueId::Url, std::string("https://my/cam.jpg")},
        {ValueId::Folder, std::string("D:\\Cam\\")},
        {ValueId::Interval, std::uint32_t{15}},
        {ValueId::Display, std::uint32_t{5}}},
       {{ValueId::Url, std::string("https://my/cam.jpg")},
        {ValueId::Folder, std::string("D:\\Cam\\")},
        {ValueId::Interval, std::uint32_t{15}},
        {ValueId::Display, std::uint32_t{5}}}},
      {"mistyped marker, unusable values",
       std::string("2"),
       {{ValueId::Url, std::uint32_t{1}},
        {ValueId::Folder, std::string("Pictures")},
        {ValueId::Interval, std::uint32_t{0}},
        {ValueId::Display, std::uint32_t{9}}},
       {{ValueId::Url, defaultUrl},
        {ValueId::Folder, defaultFolder},
        {ValueId::Interval, std::uint32_t{60}},
        {ValueId::Display, std::uint32_t{1}}}},
      {"marker of another number",
       std::uint32_t{1},
       {{ValueId::Url, std::string("https://my/cam.jpg")}, {ValueId::Interval, std::string("30")}},
       {{ValueId::Url, std::string("https://my/cam.jpg")},
        {ValueId::Folder, defaultFolder},
        {ValueId::Interval, std::uint32_t{60}},
        {ValueId::Display, std::uint32_t{1}}}},
      {"marker set: nothing is touched",
       std::uint32_t{2},
       {{ValueId::Folder, std::string("Pictures")}},
       {{ValueId::Folder, std::string("Pictures")}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    store.values.clear();
    if (c.marker) put(ValueId::Install, *c.marker);
    for (const auto& [id, value] : c.before) put(id, value);
    settings.repair();
    for (const auto& [id, value] : c.after) {
      SCOPED_TRACE(rowOf(id).name);
      EXPECT_EQ(at(id), value);
    }
    EXPECT_EQ(at(ValueId::Install), Value(std::uint32_t{2}));
  }
}

TEST_F(SettingsTest, SaveStoresEveryValueWithItsType) {
  const Settings chosen{"https://example.com/x.webp", "E:\\W\\", 15, DisplayMode::Span};
  ASSERT_TRUE(settings.save(chosen));
  EXPECT_EQ(settings.load(), chosen);
  EXPECT_EQ(at(ValueId::Display), Value(std::uint32_t{6}));
  EXPECT_EQ(at(ValueId::Install), Value(std::uint32_t{2}));
  store.readOnly = true;
  EXPECT_FALSE(settings.save(chosen));
}

// Each monitor's own source lives under a key of its own: loaded and saved with the rest,
// dropped ("Same as all monitors") without losing the record of its picture, and never
// mixed up with the common record or another monitor's.
TEST_F(SettingsTest, MonitorsWithSourcesOfTheirOwn) {
  const std::string portrait = "//?/DISPLAY#DEL40F5#5&1a2b#{e6f07b5f}";
  const std::string wine = "at 1920,0 1080x1920";
  Settings chosen = settings.load();
  chosen.monitorSources[portrait] = {"https://radar.example/r.png", "", DisplayMode::Fit};
  chosen.monitorSources[wine] = {"https://sat.example/feed", "/items/0", DisplayMode::Stretch};
  ASSERT_TRUE(settings.save(chosen));
  EXPECT_EQ(settings.load(), chosen);
  EXPECT_EQ(at(ValueId::MonitorDisplay, monitorKey(portrait)), Value(std::uint32_t{4}));

  AppliedPicture own;
  own.url = own.pictureUrl = "https://radar.example/r.png";
  own.validators.etag = "\"r1\"";
  own.display = DisplayMode::Fit;
  own.known = true;
  settings.saveApplied(portrait, own);
  EXPECT_EQ(settings.loadApplied(portrait), own);
  EXPECT_FALSE(settings.loadApplied().known) << "the common record is another";
  EXPECT_FALSE(settings.loadApplied(wine).known);

  // Same as all monitors: no longer a source, its record kept for when it comes back.
  chosen.monitorSources.erase(portrait);
  ASSERT_TRUE(settings.save(chosen));
  EXPECT_EQ(settings.load().monitorSources, chosen.monitorSources);
  EXPECT_EQ(settings.loadApplied(portrait), own);

  // What a monitor's key may hold that is no source, or no mode a monitor can have.
  put(ValueId::MonitorUrl, " "s, monitorKey("blank"));
  put(ValueId::MonitorUrl, "http://a/t.png"s, monitorKey("tiled"));
  put(ValueId::MonitorDisplay, std::uint32_t{2}, monitorKey("tiled"));
  put(ValueId::MonitorUrl, "http://a/x.png"s, monitorKey("typed"));
  put(ValueId::MonitorDisplay, "4"s, monitorKey("typed"));
  const auto loaded = settings.load().monitorSources;
  EXPECT_FALSE(loaded.contains("blank"));
  EXPECT_EQ(loaded.at("tiled").display, DisplayMode::Fill);
  EXPECT_EQ(loaded.at("typed").display, DisplayMode::Fill);

  // A picture address missing from a monitor's record is its own address, not the common one.
  put(ValueId::PictureUrl, "http://common/"s);
  put(ValueId::MonitorPictureUrl, "http://own/"s, monitorKey("old"));
  EXPECT_EQ(settings.loadApplied("old").pictureUrl, "http://own/");
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
  EXPECT_EQ(readValue(store, ValueId::Run), StoredValue("\"" + exe + "\""));
  EXPECT_TRUE(startsWithWindows(store));

  writeValue(store, ValueId::RunApproved, std::string("\x03\0\0\0", 4));
  EXPECT_FALSE(startsWithWindows(store));
  ASSERT_TRUE(setStartWithWindows(store, true, exe));
  EXPECT_EQ(textOf(readValue(store, ValueId::RunApproved).value()).at(0), '\x02');
  EXPECT_TRUE(startsWithWindows(store));

  ASSERT_TRUE(setStartWithWindows(store, false, exe));
  EXPECT_FALSE(readValue(store, ValueId::Run));
  EXPECT_FALSE(readValue(store, ValueId::RunApproved));
}

}  // namespace
}  // namespace tessaren
