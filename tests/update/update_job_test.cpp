// One whole update on real files, with a scripted fetcher and a fake desktop: what is
// written and what is not for a new, an unchanged and a failed picture, the validators
// kept and sent, and updates that overlap (one given up, one replacing it) on one folder.
#include "update/update_job.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <future>

#include "imaging/wallpaper.h"
#include "tests/download/sample_jpeg.h"
#include "tests/support/file_contents.h"
#include "tests/support/memory_store.h"
#include "tests/support/update_doubles.h"

namespace tessaren {
namespace {

using test::fileContents;
using test::sampleJpeg;
namespace fs = std::filesystem;

const std::string kUrl = "http://pictures.example/now.jpg";

class UpdateJobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tessaren-update-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    request.settings = Settings{kUrl, dir.string() + "/", 60, DisplayMode::Center};
    request.startedAt = 1'800'000'000;
  }
  void TearDown() override { fs::remove_all(dir); }

  UpdateOutcome run() {
    CancelToken cancel;
    return runWith(cancel);
  }
  UpdateOutcome runWith(CancelToken& cancel, UpdateRequest given) {
    given.id = ++lastId;
    UpdateOutcome outcome = runUpdate(given, services, cancel);
    return outcome;
  }
  UpdateOutcome runWith(CancelToken& cancel) { return runWith(cancel, request); }
  // Applies picture as the next update's starting point.
  void applyFirst(const std::string& picture) {
    fetcher.answers[kUrl] = {picture, {"\"v1\"", "Mon, 07 Dec 2026"}, "image/jpeg", {}, true};
    const UpdateOutcome first = run();
    ASSERT_EQ(first.kind, OutcomeKind::Updated) << first.failure->detail;
    ASSERT_TRUE(first.applied);
    request.applied = *first.applied;
    desktop.wallpapers.clear();
    fetcher.asked.clear();
  }
  std::vector<std::string> files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir;
  UpdateRequest request;
  std::uint64_t lastId = 0;
  test::MemoryStore store;
  test::ScriptedFetcher fetcher;
  test::FakeDesktop desktop;
  CommitGate commits;
  UpdateServices services{fetcher, platformFiles(), desktop, store, commits};
};

TEST_F(UpdateJobTest, NewPictureBecomesTheWallpaperAndIsRemembered) {
  const std::string picture = sampleJpeg(16, 8, 1500);
  fetcher.answers[kUrl] = {picture, {"\"v1\"", "Mon, 07 Dec 2026"}};
  const UpdateOutcome outcome = run();
  ASSERT_EQ(outcome.kind, OutcomeKind::Updated) << outcome.failure->detail;
  EXPECT_EQ(outcome.host, "pictures.example");
  EXPECT_EQ(outcome.bytes, 1500u);
  EXPECT_EQ(outcome.width, 16);
  EXPECT_EQ(outcome.format, "JPEG");
  EXPECT_GT(outcome.commit, 0u);
  ASSERT_EQ(desktop.wallpapers.size(), 1u);
  EXPECT_EQ(desktop.wallpapers[0].first, (dir / "tessaren.bmp").string());
  EXPECT_EQ(desktop.wallpapers[0].second.substr(0, 2), "BM");
  EXPECT_EQ(fileContents(dir / "tessaren.jpg"), picture);
  EXPECT_EQ(files(), (std::vector<std::string>{"tessaren.bmp", "tessaren.jpg"}));
  EXPECT_EQ(store.readText(kDesktopKey, "WallpaperStyle"), "0");
  EXPECT_EQ(store.readText(kDesktopKey, "TileWallpaper"), "0");
  ASSERT_TRUE(outcome.applied);
  EXPECT_EQ(outcome.applied->validators, (Validators{"\"v1\"", "Mon, 07 Dec 2026"}));
  EXPECT_EQ(outcome.applied->appliedAt, request.startedAt);
}

// 304 or the same bytes again leave everything alone, unless the picture on the desktop
// must be drawn again: the display mode or the monitors changed, or the BMP file is gone.
TEST_F(UpdateJobTest, UnchangedPicturesAreNotWrittenAgain) {
  const std::string picture = sampleJpeg(16, 8, 1500);
  struct Case {
    const char* name;
    bool ignoresValidators;  // the server sends the same bytes rather than a 304
    std::function<void()> change;
    OutcomeKind kind;
    const char* detail;
  };
  const Case cases[] = {
      {"304", false, [] {}, OutcomeKind::Unchanged, "not modified"},
      {"same bytes", true, [] {}, OutcomeKind::Unchanged, "same picture"},
      {"304, mode changed", false, [&] { request.settings.display = DisplayMode::Stretch; },
       OutcomeKind::Updated, "redrawn"},
      {"304, BMP gone", false, [&] { fs::remove(dir / "tessaren.bmp"); }, OutcomeKind::Updated,
       "redrawn"},
      {"same bytes, mode changed", true, [&] { request.settings.display = DisplayMode::Tile; },
       OutcomeKind::Updated, ""},
      {"304, monitors changed, Fit", false,
       [&] {
         desktop.layout = "0,0,2560,1440@144";
         desktop.monitorList = {{{0, 0, 2560, 1440}, true}};
       },
       OutcomeKind::Updated, "redrawn"},
      {"304, monitors changed, Center", false, [&] { desktop.layout = "0,0,2560,1440@144"; },
       OutcomeKind::Unchanged, "not modified"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    desktop.layout = "0,0,1920,1080@96";
    desktop.monitorList = {{{0, 0, 1920, 1080}, true}};
    request.applied = {};
    request.settings.display = std::string(c.name).find("Fit") != std::string::npos
                                   ? DisplayMode::Fit
                                   : DisplayMode::Center;
    applyFirst(picture);
    c.change();
    const auto bmpTime = fs::exists(dir / "tessaren.bmp")
                             ? fs::last_write_time(dir / "tessaren.bmp")
                             : fs::file_time_type{};
    fetcher.answers[kUrl].notModifiedWhenAsked = !c.ignoresValidators;
    const UpdateOutcome outcome = run();
    EXPECT_EQ(outcome.kind, c.kind) << (outcome.failure ? outcome.failure->detail : "");
    EXPECT_EQ(outcome.detail, c.detail);
    ASSERT_EQ(fetcher.asked.size(), 1u);
    EXPECT_EQ(fetcher.asked[0].ask.etag, "\"v1\"");
    EXPECT_EQ(fileContents(dir / "tessaren.jpg"), picture);
    EXPECT_EQ(files(), (std::vector<std::string>{"tessaren.bmp", "tessaren.jpg"}));
    if (c.kind == OutcomeKind::Unchanged) {
      EXPECT_TRUE(desktop.wallpapers.empty());
      EXPECT_EQ(fs::last_write_time(dir / "tessaren.bmp"), bmpTime);
    } else {
      EXPECT_EQ(desktop.wallpapers.size(), 1u);
      ASSERT_TRUE(outcome.applied);
      EXPECT_EQ(outcome.applied->display, request.settings.display);
      EXPECT_EQ(outcome.applied->layout,
                drawnForTheMonitors(request.settings.display) ? desktop.layout : "");
    }
  }
}

TEST_F(UpdateJobTest, FailuresSayWhyAndChangeNothing) {
  const std::string picture = sampleJpeg(16, 8, 1500);
  applyFirst(picture);
  fs::create_directories(dir / "blocked");
  std::ofstream(dir / "blocked" / "file") << "in the way";
  struct Case {
    const char* name;
    std::function<void()> arrange;
    FailureKind kind;
    std::string detail;
  } const cases[] = {
      {"no scheme", [&] { request.settings.url = "www.example.com/cam.jpg"; },
       FailureKind::UnusableAddress, "not a usable URL: www.example.com/cam.jpg"},
      {"ftp", [&] { request.settings.url = "ftp://files.example/now.jpg"; },
       FailureKind::UnusableAddress, "not a usable URL: ftp://files.example/now.jpg"},
      {"relative folder", [&] { request.settings.folder = "Pictures\\"; },
       FailureKind::UnusableFolder,
       "the folder Pictures\\ is not a full path (such as C:\\Pictures\\ or "
       "\\\\server\\share\\)"},
      {"folder can't be made",
       [&] { request.settings.folder = (dir / "blocked/file/x/").string(); },
       FailureKind::CannotWrite, "can't create the folder " + (dir / "blocked/file/x/").string()},
      {"404",
       [&] {
         fetcher.answers[kUrl] = {
             "", {}, "", Failure{FailureKind::HttpStatus, "HTTP 404 Not Found"}};
       },
       FailureKind::HttpStatus, "HTTP 404 Not Found"},
      {"a page without a picture",
       [&] { fetcher.answers[kUrl] = {"<!DOCTYPE html><html>gone</html>", {}, "text/html"}; },
       FailureKind::NoPictureFound, "no picture on the page"},
      {"bytes that claim to be a picture",
       [&] { fetcher.answers[kUrl] = {"GIF87a and no more", {}, "image/gif"}; },
       FailureKind::NotAPicture, "not a"},
      {"the desktop refuses", [&] { desktop.takesWallpapers = false; }, FailureKind::DesktopRefused,
       "the desktop did not take"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const UpdateRequest kept = request;
    fetcher.answers[kUrl] = {sampleJpeg(8, 8, 900)};
    desktop.takesWallpapers = true;
    c.arrange();
    const UpdateOutcome outcome = run();
    request = kept;
    ASSERT_EQ(outcome.kind, OutcomeKind::Failed);
    EXPECT_EQ(outcome.failure->kind, c.kind);
    EXPECT_EQ(outcome.failure->detail.rfind(c.detail, 0), 0u) << outcome.failure->detail;
    EXPECT_FALSE(outcome.applied);
    EXPECT_EQ(fileContents(dir / "tessaren.jpg"), picture);
    if (c.kind != FailureKind::DesktopRefused) {
      EXPECT_TRUE(desktop.wallpapers.empty());
    }
    desktop.wallpapers.clear();
    EXPECT_EQ(files(), (std::vector<std::string>{"blocked", "tessaren.bmp", "tessaren.jpg"}));
  }
}

// The validators describe the picture in tessaren.jpg: when the new picture could not take
// its name, none are kept, and the next request asks nothing.
TEST_F(UpdateJobTest, ValidatorsOnlyWhileTheKeptPictureHoldsTheirBytes) {
  fs::create_directories(dir / "tessaren.jpg" / "held open");
  fetcher.answers[kUrl] = {sampleJpeg(8, 8, 900), {"\"v2\"", ""}};
  const UpdateOutcome outcome = run();
  ASSERT_EQ(outcome.kind, OutcomeKind::Updated);
  EXPECT_EQ(desktop.wallpapers.size(), 1u) << "the wallpaper changed all the same";
  ASSERT_TRUE(outcome.applied);
  EXPECT_EQ(outcome.applied->validators, Validators{});
  request.applied = *outcome.applied;
  fs::remove_all(dir / "tessaren.jpg");
  run();
  ASSERT_EQ(fetcher.asked.size(), 2u);
  EXPECT_EQ(fetcher.asked[1].ask, Validators{});
}

// An update given up (Save, the time limit) while it is held in its download, at the start
// of drawing or inside the wallpaper call, and a new one on the same folder: the new
// picture ends as the wallpaper and as tessaren.jpg, no temporary file stays, and the old
// update commits nothing after the new one.
TEST_F(UpdateJobTest, OverlappingUpdatesNeverShareFiles) {
  const std::string oldPicture = sampleJpeg(64, 32, 3000);
  const std::string newPicture = sampleJpeg(32, 64, 2000);
  const std::string newUrl = "http://pictures.example/new.jpg";
  struct Case {
    const char* where;
    std::function<void(test::Gate&)> hold;
    bool oldCommits;  // held past the point of no return: it commits before the new one
  };
  const Case cases[] = {
      {"in the body", [&](test::Gate& gate) { fetcher.inBody = &gate; }, false},
      {"at the start of drawing",
       [&](test::Gate& gate) {
         services.reached = [&gate](UpdateStep step) {
           if (step == UpdateStep::Drawing) gate.pass();
         };
       },
       false},
      {"in the wallpaper call", [&](test::Gate& gate) { desktop.inCall = &gate; }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.where);
    fs::remove_all(dir);
    fs::create_directories(dir);
    fetcher.answers = {{kUrl, {oldPicture}}, {newUrl, {newPicture}}};
    desktop.wallpapers.clear();
    test::Gate gate;
    gate.close();
    c.hold(gate);
    CancelToken oldCancel;
    UpdateRequest oldRequest = request;
    auto old = std::async(std::launch::async, [&] { return runWith(oldCancel, oldRequest); });
    gate.waitHeld();
    oldCancel.cancel();  // given up; it does not know yet

    UpdateRequest newRequest = request;
    newRequest.settings.url = newUrl;
    CancelToken newCancel;
    auto replacing = std::async(std::launch::async, [&] { return runWith(newCancel, newRequest); });
    if (!c.oldCommits) {
      const UpdateOutcome outcome = replacing.get();
      ASSERT_EQ(outcome.kind, OutcomeKind::Updated) << outcome.failure->detail;
    }
    gate.open();
    const UpdateOutcome oldOutcome = old.get();
    const UpdateOutcome newOutcome = c.oldCommits ? replacing.get() : UpdateOutcome{};
    if (c.oldCommits) {
      ASSERT_EQ(newOutcome.kind, OutcomeKind::Updated);
      EXPECT_LT(oldOutcome.commit, newOutcome.commit);
    } else {
      EXPECT_EQ(oldOutcome.failure->kind, FailureKind::Cancelled);
      EXPECT_EQ(oldOutcome.commit, 0u);
    }
    EXPECT_EQ(fileContents(dir / "tessaren.jpg"), newPicture);
    ASSERT_FALSE(desktop.wallpapers.empty());
    EXPECT_EQ(desktop.wallpapers.back().second, fileContents(dir / "tessaren.bmp"));
    EXPECT_EQ(files(), (std::vector<std::string>{"tessaren.bmp", "tessaren.jpg"}));
    fetcher.inBody = nullptr;
    services.reached = nullptr;
    desktop.inCall = nullptr;
  }
}

TEST_F(UpdateJobTest, OwnFilesAndLeftovers) {
  for (const char* name :
       {"tessaren.jpg", "tessaren.bmp", "tessaren-1f.jpg.part", "tessaren-7.bmp.part",
        "holiday.jpg", "tessaren.txt", "tessaren.jpg.bak"})
    std::ofstream(dir / name) << name;
  // The first update since start clears what a crash left.
  request.clearLeftovers = true;
  fetcher.answers[kUrl] = {sampleJpeg(8, 8, 900)};
  ASSERT_EQ(run().kind, OutcomeKind::Updated);
  EXPECT_EQ(files(), (std::vector<std::string>{"holiday.jpg", "tessaren.bmp", "tessaren.jpg",
                                               "tessaren.jpg.bak", "tessaren.txt"}));
  // What the uninstaller removes: Tessaren's own files, nothing else.
  std::ofstream(dir / "tessaren-2.jpg.part") << "left";
  removeOwnFiles(platformFiles(), dir.string() + "/");
  EXPECT_EQ(files(), (std::vector<std::string>{"holiday.jpg", "tessaren.jpg.bak", "tessaren.txt"}));
  removeOwnFiles(platformFiles(), dir.string() + "/*/");  // no wildcards in a folder
  EXPECT_EQ(files().size(), 3u);
}

}  // namespace
}  // namespace tessaren
