// The history of applied pictures: which entries the rotation removes, where a step goes,
// the entries' names, and the entries on real files (kept whole, never changed by a newer
// picture, removed by the uninstaller without touching anything of the user's).
#include "update/history.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "tests/source/zones.h"
#include "tests/support/file_contents.h"

namespace tessaren {
namespace {

namespace fs = std::filesystem;
constexpr std::uint64_t kMegabyte = 1 << 20;
long noOffset(std::time_t) { return 0; }

TEST(HistoryRotation, OldestGoFirstButNeverTheNewestOrTheOneShown) {
  // Entries a (oldest) to d (newest) of these sizes in MB.
  const std::vector<HistoryEntry> entries = {
      {"a", 5 * kMegabyte}, {"b", 5 * kMegabyte}, {"c", 5 * kMegabyte}, {"d", 5 * kMegabyte}};
  struct Case {
    const char* what;
    HistoryLimits limits;
    std::string shown;
    std::vector<std::string> removed;
  } cases[] = {
      {"within both limits", {4, 20 * kMegabyte}, "", {}},
      {"one too many", {3, 100 * kMegabyte}, "", {"a"}},
      {"over the size", {20, 12 * kMegabyte}, "", {"a", "b"}},
      {"the size just reached", {20, 10 * kMegabyte}, "", {"a", "b"}},
      {"both limits, the stricter counts", {3, 6 * kMegabyte}, "", {"a", "b", "c"}},
      {"the entry shown is passed over", {2, 100 * kMegabyte}, "a", {"b", "c"}},
      {"the newest stays even alone over the size", {20, 1 * kMegabyte}, "", {"a", "b", "c"}},
      {"count 0: off, all go", {0, 100 * kMegabyte}, "", {"a", "b", "c", "d"}},
      {"size 0: off, all but the one shown", {20, 0}, "b", {"a", "c", "d"}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(entriesToRemove(entries, c.limits, c.shown), c.removed) << c.what;
  EXPECT_TRUE(entriesToRemove({}, {1, 1}, "").empty());
}

TEST(HistorySteps, BackAndForthAmongTheEntries) {
  const std::vector<std::string> entries = {"2026-12-08 100000", "2026-12-08 110000",
                                            "2026-12-08 120000"};
  using enum HistoryStep;
  struct Case {
    const char* what;
    std::vector<std::string> entries;
    std::string shown;
    HistoryStep step;
    std::optional<std::string> target;  // nothing: nowhere to go
    bool newest;
  } cases[] = {
      {"back from the newest", entries, "", Previous, entries[1], false},
      {"nothing after the newest", entries, "", Next, std::nullopt, false},
      {"back again", entries, entries[1], Previous, entries[0], false},
      {"nothing before the oldest", entries, entries[0], Previous, std::nullopt, false},
      {"forward, not yet the newest", entries, entries[0], Next, entries[1], false},
      {"forward onto the newest", entries, entries[1], Next, entries[2], true},
      {"one entry: nowhere", {entries[2]}, "", Previous, std::nullopt, false},
      {"none: nowhere", {}, "", Previous, std::nullopt, false},
      // The entry shown was removed by hand: a step goes to its neighbours.
      {"gone, back", entries, "2026-12-08 103000", Previous, entries[0], false},
      {"gone, forward", entries, "2026-12-08 103000", Next, entries[1], false},
      {"gone before the oldest, back", entries, "2026-12-08 090000", Previous, std::nullopt, false},
      {"gone after the newest, forward", entries, "2026-12-08 130000", Next, entries[2], true},
  };
  for (const Case& c : cases) {
    const std::optional<StepTarget> target = stepFrom(c.entries, c.shown, c.step);
    ASSERT_EQ(target.has_value(), c.target.has_value()) << c.what;
    if (!target) continue;
    EXPECT_EQ(target->name, *c.target) << c.what;
    EXPECT_EQ(target->newest, c.newest) << c.what;
  }
}

TEST(HistoryNames, LocalTimeSortableAndOnlyOursCount) {
  const std::time_t winter = test::utc(2026, 12, 8, 13, 5, 9);
  EXPECT_EQ(entryName(winter, {}, test::berlin), "2026-12-08 140509");
  EXPECT_EQ(entryName(winter, {"2026-12-08 140509"}, test::berlin), "2026-12-08 140509 (2)");
  EXPECT_EQ(entryName(winter, {"2026-12-08 140509", "2026-12-08 140509 (2)"}, test::berlin),
            "2026-12-08 140509 (3)");
  EXPECT_EQ(entryName(test::utc(2027, 6, 1, 12, 0), {}, test::berlin), "2027-06-01 140000");

  for (const char* ours : {"2026-12-08 140509", "2026-12-08 140509 (2)", "2026-12-08 140509 (12)"})
    EXPECT_TRUE(isEntryName(ours)) << ours;
  for (const char* theirs : {"holiday", "2026-12-08", "2026-12-08 14050x", "2026-12-08_140509",
                             "2026-12-08 140509 copy", "2026-12-08 140509 ()", ""})
    EXPECT_FALSE(isEntryName(theirs)) << theirs;

  EXPECT_EQ(entryTimeText("2026-12-08 140509", winter + 3600, test::berlin), "14:05");
  EXPECT_EQ(entryTimeText("2026-12-07 235959 (2)", winter, test::berlin), "2026-12-07 23:59");
  EXPECT_EQ(entryNameOf("C:\\P\\history\\2026-12-08 140509\\"), "2026-12-08 140509");
  EXPECT_EQ(entryNameOf("/p/history/2026-12-08 140509/"), "2026-12-08 140509");
}

class HistoryFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tessaren-history-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    folder = dir.string() + "/";
  }
  void TearDown() override { fs::remove_all(dir); }
  // A new picture in the picture folder, replaced as an update replaces it.
  void apply(const std::string& name, const std::string& bytes) {
    std::ofstream(folder + name + ".new", std::ios::binary) << bytes;
    fs::rename(folder + name + ".new", folder + name);
  }
  std::vector<std::string> names() {
    std::vector<std::string> found;
    for (const HistoryEntry& entry : history.entries(folder)) found.push_back(entry.name);
    return found;
  }
  std::string kept(const std::string& entry, const std::string& name = "tessaren.jpg") {
    return test::fileContents(entryFolder(folder, entry) + name);
  }

  fs::path dir;
  std::string folder;
  History history{platformFiles()};
  const std::vector<std::string> set = {"tessaren-monitor-2.jpg", "tessaren.jpg"};
};

TEST_F(HistoryFilesTest, EachUpdateKeepsItsWholeSetUnchangedByNewerPictures) {
  const HistoryLimits limits{3, 100 * kMegabyte};
  apply("tessaren.jpg", "first");
  apply("tessaren-monitor-2.jpg", "first, monitor 2");
  ASSERT_FALSE(history.add(folder, set, 1000, limits, "", noOffset));
  apply("tessaren.jpg", "second");
  ASSERT_FALSE(history.add(folder, {"tessaren.jpg"}, 2000, limits, "", noOffset));
  apply("tessaren.jpg", "third!");
  apply("tessaren-monitor-2.jpg", "third, monitor 2");
  ASSERT_FALSE(history.add(folder, set, 3000, limits, "", noOffset));

  std::ofstream(folder + "tessaren.bmp") << "wallpaper";
  std::ofstream(folder + "tessaren-1f.jpg.part") << "an update's own";
  EXPECT_EQ(history.pictureSet(folder), set);
  const std::vector<HistoryEntry> entries = history.entries(folder);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].name, "1970-01-01 001640");
  EXPECT_EQ(kept(entries[0].name), "first") << "replacing the picture left the kept one as it was";
  EXPECT_EQ(kept(entries[0].name, "tessaren-monitor-2.jpg"), "first, monitor 2");
  EXPECT_EQ(kept(entries[1].name), "second");
  EXPECT_FALSE(fs::exists(entryFolder(folder, entries[1].name) + "tessaren-monitor-2.jpg"))
      << "only the pictures of that update";
  EXPECT_EQ(entries[2].bytes, std::string("third!third, monitor 2").size());

  // A fourth: the oldest goes, unless it is the one shown.
  apply("tessaren.jpg", "fourth");
  ASSERT_FALSE(history.add(folder, {"tessaren.jpg"}, 4000, limits, entries[0].name, noOffset));
  EXPECT_EQ(names(),
            (std::vector<std::string>{entries[0].name, entries[2].name, "1970-01-01 010640"}));
  ASSERT_FALSE(history.add(folder, {"tessaren.jpg"}, 4000, limits, "", noOffset));
  EXPECT_EQ(names(), (std::vector<std::string>{entries[2].name, "1970-01-01 010640",
                                               "1970-01-01 010640 (2)"}));
  EXPECT_FALSE(fs::exists(entryFolder(folder, entries[0].name))) << "its folder went too";

  // Turned off: nothing is added, and what was kept goes.
  ASSERT_FALSE(history.add(folder, {"tessaren.jpg"}, 5000, {0, 100 * kMegabyte}, "", noOffset));
  EXPECT_TRUE(names().empty());
}

TEST_F(HistoryFilesTest, AnEntryThatCannotBeMadeWholeLeavesNothing) {
  apply("tessaren.jpg", "picture");
  ASSERT_FALSE(history.add(folder, {"tessaren.jpg"}, 1000, {}, "", noOffset));
  // The next entry's folder is taken by a file: no entry, and the failure says why.
  fs::create_directories(historyFolder(folder));
  std::ofstream(historyFolder(folder) + "1970-01-01 003320") << "in the way";
  const std::optional<Failure> failure =
      history.add(folder, {"tessaren.jpg"}, 2000, {}, "", noOffset);
  ASSERT_TRUE(failure);
  EXPECT_NE(failure->detail.find("1970-01-01 003320"), std::string::npos) << failure->detail;
  EXPECT_EQ(names(), std::vector<std::string>{"1970-01-01 001640"});
  // No picture of the set in the folder: no empty entry.
  ASSERT_FALSE(history.add(folder, {"tessaren-monitor-3.jpg"}, 3000, {}, "", noOffset));
  EXPECT_EQ(names(), std::vector<std::string>{"1970-01-01 001640"});
}

TEST_F(HistoryFilesTest, RemovingAllLeavesWhatIsNotTessarens) {
  apply("tessaren.jpg", "picture");
  ASSERT_FALSE(history.add(folder, set, 1000, {}, "", noOffset));
  ASSERT_FALSE(history.add(folder, set, 2000, {}, "", noOffset));
  const std::string own = historyFolder(folder) + "holiday/";
  fs::create_directories(own);
  std::ofstream(own + "beach.jpg") << "mine";
  std::ofstream(entryFolder(folder, "1970-01-01 001640") + "notes.txt") << "mine too";

  history.removeAll(folder);
  EXPECT_EQ(test::fileContents(own + "beach.jpg"), "mine");
  EXPECT_EQ(test::fileContents(entryFolder(folder, "1970-01-01 001640") + "notes.txt"), "mine too");
  EXPECT_FALSE(fs::exists(entryFolder(folder, "1970-01-01 001640") + "tessaren.jpg"));
  EXPECT_FALSE(fs::exists(entryFolder(folder, "1970-01-01 003320")));
  EXPECT_EQ(test::fileContents(folder + "tessaren.jpg"), "picture");

  fs::remove_all(own);
  fs::remove_all(entryFolder(folder, "1970-01-01 001640"));
  history.removeAll(folder);
  EXPECT_FALSE(fs::exists(historyFolder(folder))) << "an empty history folder goes";
}

}  // namespace
}  // namespace tessaren
