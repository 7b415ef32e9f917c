// One whole update on real files, with a scripted fetcher and a fake desktop: what is
// written and what is not for a new, an unchanged and a failed picture, the validators
// kept and sent, and updates that overlap (one given up, one replacing it) on one folder.
#include "update/update_job.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <future>

#include "imaging/conversion.h"
#include "imaging/wallpaper.h"
#include "source/find_picture.h"
#include "tests/support/file_contents.h"
#include "tests/support/memory_store.h"
#include "tests/support/test_pictures.h"
#include "tests/support/update_doubles.h"
#include "update/clock.h"
#include "update/monitor_sources.h"

namespace tessaren {
namespace {

using test::fileContents;
// A colour JPEG of width x height, padded with comments to exactly bytes when given.
std::string sampleJpeg(int width, int height, std::size_t bytes = 0) {
  test::Bytes jpeg =
      test::encodeJpeg({.width = width, .height = height}, test::patternPixels(width, height, 3));
  if (bytes > 0) jpeg = test::paddedTo(std::move(jpeg), bytes);
  return std::string(jpeg.begin(), jpeg.end());
}
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
  // Draws the history entry in folder, as stepping back does.
  UpdateOutcome drawKept(const std::string& folder) {
    UpdateRequest kept = request;
    kept.redrawOnly = true;
    kept.drawFrom = folder;
    CancelToken cancel;
    return runWith(cancel, kept);
  }
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
  // The wallpaper BMP on the desktop (its name takes turns).
  fs::path shownBmp() const {
    return desktop.shown.empty() ? dir / "tessaren.bmp" : fs::path(desktop.shown);
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
  SettingsStore settings{store, "C:\\Pictures\\"};
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
  EXPECT_EQ(readValue(store, ValueId::WallpaperStyle), StoredValue("0"));
  EXPECT_EQ(readValue(store, ValueId::TileWallpaper), StoredValue("0"));
  ASSERT_TRUE(outcome.applied);
  EXPECT_EQ(outcome.applied->validators, (Validators{"\"v1\"", "Mon, 07 Dec 2026"}));
  EXPECT_EQ(outcome.applied->appliedAt, request.startedAt);

  // Windows shows its own copy of the wallpaper: the next one is set under the other name,
  // which the desktop then shows, and the BMP shown before goes.
  fetcher.answers[kUrl] = {sampleJpeg(16, 8, 1600), {"\"v2\"", ""}};
  ASSERT_EQ(run().kind, OutcomeKind::Updated);
  EXPECT_EQ(desktop.shown, (dir / "tessaren-2.bmp").string());
  EXPECT_EQ(files(), (std::vector<std::string>{"tessaren-2.bmp", "tessaren.jpg"}));
}

// A history entry is drawn exactly as the update draws the picture it came as, with no
// download and tessaren.jpg left alone; the record then says that no picture of the
// updates is shown, so that the next update draws the newest again even when unchanged.
// Only an update that brought new bytes says it has new pictures for the history.
TEST_F(UpdateJobTest, AnEntryFromTheHistoryIsDrawnLikeTheUpdateDrewIt) {
  request.settings.display = DisplayMode::Fit;
  const std::string earlier = sampleJpeg(40, 30);
  fetcher.answers[kUrl] = {earlier, {"\"v0\"", ""}};
  ASSERT_TRUE(run().newPicture);
  const std::string earlierDrawing = fileContents(shownBmp());
  const std::string entry = dir.string() + "/history/2026-12-08 140509/";
  fs::create_directories(entry);
  fs::copy_file(dir / "tessaren.jpg", entry + "tessaren.jpg");

  const std::string newest = sampleJpeg(16, 8);
  applyFirst(newest);
  ASSERT_NE(fileContents(shownBmp()), earlierDrawing);
  const UpdateOutcome shown = drawKept(entry);
  ASSERT_EQ(shown.kind, OutcomeKind::Updated) << shown.failure->detail;
  EXPECT_FALSE(shown.newPicture);
  EXPECT_TRUE(fetcher.asked.empty());
  EXPECT_EQ(fileContents(shownBmp()), earlierDrawing);
  EXPECT_EQ(fileContents(dir / "tessaren.jpg"), newest);
  ASSERT_TRUE(shown.applied);
  EXPECT_FALSE(shown.applied->known);
  settings.saveApplied(*shown.applied);
  request.applied = settings.loadApplied();
  EXPECT_FALSE(request.applied.known) << "stored so, across a restart";

  const UpdateOutcome back = run();  // answered 304
  EXPECT_EQ(back.kind, OutcomeKind::Updated);
  EXPECT_EQ(back.detail, "redrawn");
  EXPECT_FALSE(back.newPicture);
  EXPECT_NE(fileContents(shownBmp()), earlierDrawing);
  ASSERT_TRUE(back.applied);
  EXPECT_TRUE(back.applied->known);

  EXPECT_EQ(drawKept(dir.string() + "/history/gone/").kind, OutcomeKind::Failed);
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
      {"304, BMP gone", false, [&] { fs::remove(shownBmp()); }, OutcomeKind::Updated, "redrawn"},
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
    desktop.shown.clear();
    request.applied = {};
    request.settings.display = std::string(c.name).find("Fit") != std::string::npos
                                   ? DisplayMode::Fit
                                   : DisplayMode::Center;
    applyFirst(picture);
    c.change();
    const auto bmpTime =
        fs::exists(shownBmp()) ? fs::last_write_time(shownBmp()) : fs::file_time_type{};
    fetcher.answers[kUrl].notModifiedWhenAsked = !c.ignoresValidators;
    const UpdateOutcome outcome = run();
    EXPECT_EQ(outcome.kind, c.kind) << (outcome.failure ? outcome.failure->detail : "");
    EXPECT_EQ(outcome.detail, c.detail);
    ASSERT_EQ(fetcher.asked.size(), 1u);
    EXPECT_EQ(fetcher.asked[0].ask.etag, "\"v1\"");
    EXPECT_EQ(fileContents(dir / "tessaren.jpg"), picture);
    EXPECT_EQ(files(), (std::vector<std::string>{shownBmp().filename(), "tessaren.jpg"}));
    if (c.kind == OutcomeKind::Unchanged) {
      EXPECT_TRUE(desktop.wallpapers.empty());
      EXPECT_EQ(fs::last_write_time(shownBmp()), bmpTime);
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
       [&] {
         fetcher.answers[kUrl] = {"<!DOCTYPE html><html>gone</html>", {}, "text/html"};
       },
       FailureKind::NoPictureFound, "no picture on the page"},
      {"bytes of no picture format, sent as one",
       [&] {
         fetcher.answers[kUrl] = {std::string("\x01\x02junk", 6), {}, "image/jpeg"};
       },
       FailureKind::NotAPicture, "not a picture Tessaren can read (image/jpeg"},
      {"a broken picture",
       [&] {
         fetcher.answers[kUrl] = {"GIF87a and no more", {}, "image/gif"};
       },
       FailureKind::BrokenPicture, "broken GIF picture"},
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

// A new picture that could not take the name tessaren.jpg (another program holds the old
// one) is a failure with the reason, though the wallpaper changed: nothing is remembered
// of it, and the next update fetches and draws it again, asking nothing.
TEST_F(UpdateJobTest, APictureThatCannotTakeItsNameIsAFailure) {
  fs::create_directories(dir / "tessaren.jpg" / "held open");
  fetcher.answers[kUrl] = {sampleJpeg(8, 8, 900), {"\"v2\"", ""}};
  const UpdateOutcome outcome = run();
  ASSERT_EQ(outcome.kind, OutcomeKind::Failed);
  EXPECT_EQ(outcome.failure->kind, FailureKind::CannotWrite);
  EXPECT_NE(outcome.failure->detail.find("tessaren.jpg"), std::string::npos)
      << outcome.failure->detail;
  EXPECT_EQ(desktop.wallpapers.size(), 1u) << "the wallpaper changed all the same";
  EXPECT_FALSE(outcome.applied);
  fs::remove_all(dir / "tessaren.jpg");
  EXPECT_EQ(run().kind, OutcomeKind::Updated);
  ASSERT_EQ(fetcher.asked.size(), 2u);
  EXPECT_EQ(fetcher.asked[1].ask, Validators{});
  EXPECT_EQ(desktop.wallpapers.size(), 2u);
}

// An update given up (Save, the time limit) while it is held in its download, at the start
// of drawing or inside the wallpaper call, and a new one on the same folder: the new
// picture ends as the wallpaper and as tessaren.jpg, no temporary file stays, and the old
// update commits nothing after the new one.
TEST_F(UpdateJobTest, OverlappingUpdatesNeverShareFiles) {
  const std::string oldPicture = sampleJpeg(64, 32, 9000);
  const std::string newPicture = sampleJpeg(32, 64, 7000);
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
    EXPECT_EQ(desktop.wallpapers.back().second, fileContents(shownBmp()));
    EXPECT_EQ(files(), (std::vector<std::string>{shownBmp().filename(), "tessaren.jpg"}));
    fetcher.inBody = nullptr;
    services.reached = nullptr;
    desktop.inCall = nullptr;
  }
}

// Addresses that are no picture: a page, a feed and a document that name one, and a dated
// address whose newest picture is not there yet. What is asked for, in which order, and
// where the log says the picture came from.
TEST_F(UpdateJobTest, PicturesBehindPagesFeedsDocumentsAndDates) {
  const std::string picture = sampleJpeg(16, 8, 1500);
  const std::string cdn = "http://cdn.example/today.jpg";
  struct Case {
    const char* name;
    std::string url;
    std::string pointer;
    std::map<std::string, test::ScriptedAnswer> answers;
    std::vector<std::string> asked;
    const char* origin;
  };
  const Case cases[] = {
      {"page",
       "http://pictures.example/page",
       "",
       {{"http://pictures.example/page",
         {"<html><head><meta property=\"og:image\" content=\"//cdn.example/today.jpg\">",
          {},
          "text/html"}},
        {cdn, {picture}}},
       {"http://pictures.example/page", cdn},
       "og:image"},
      {"feed",
       "http://pictures.example/feed",
       "",
       {{"http://pictures.example/feed",
         {"<rss version=\"2.0\"><channel><item><title>Today</title><enclosure url=\"" + cdn +
              "\" type=\"image/jpeg\"/></item></channel></rss>",
          {},
          "application/rss+xml"}},
        {cdn, {picture}}},
       {"http://pictures.example/feed", cdn},
       "feed item \"Today\""},
      {"document",
       "http://pictures.example/api",
       "/images/0/url",
       {{"http://pictures.example/api",
         {"{\"images\":[{\"url\":\"/today.jpg\"}]}", {}, "application/json"}},
        {"http://pictures.example/today.jpg", {picture}}},
       {"http://pictures.example/api", "http://pictures.example/today.jpg"},
       "JSON pointer /images/0/url"},
      {"dated, the newest not there yet",
       "http://pictures.example/{utc:%H%M|step=10m}.jpg",
       "",
       {{"http://pictures.example/0310.jpg", {picture}}},
       {"http://pictures.example/0320.jpg", "http://pictures.example/0310.jpg"},
       "dated address, 1 step back"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    request.settings.url = c.url;
    request.settings.pointer = c.pointer;
    request.startedAt = 1'796'700'000;  // 2026-12-08 03:20 UTC
    request.applied = {};
    fetcher.answers = c.answers;
    fetcher.asked.clear();
    const UpdateOutcome outcome = run();
    ASSERT_EQ(outcome.kind, OutcomeKind::Updated) << outcome.failure->detail;
    std::vector<std::string> asked;
    for (const FetchRequest& r : fetcher.asked) asked.push_back(r.url);
    EXPECT_EQ(asked, c.asked);
    EXPECT_EQ(outcome.origin, c.origin);
    EXPECT_EQ(outcome.pictureUrl, c.asked.back());
    EXPECT_EQ(fileContents(dir / "tessaren.jpg"), picture);
    ASSERT_TRUE(outcome.applied);
    EXPECT_EQ(outcome.applied->pictureUrl, c.asked.back());
  }
}

// The page is asked about with its own validators, the picture with its own: an unchanged
// page (304 or the same bytes) costs no picture request, and a changed page that names the
// same picture asks whether the picture changed.
TEST_F(UpdateJobTest, AnUnchangedPageCostsNoPictureRequest) {
  const std::string page = "http://pictures.example/page";
  const std::string cdn = "http://cdn.example/today.jpg";
  const std::string html = "<meta property=\"og:image\" content=\"" + cdn + "\"><p>version 1</p>";
  request.settings.url = page;
  fetcher.answers = {{page, {html, {"\"p1\"", ""}, "text/html", {}, true}},
                     {cdn, {sampleJpeg(16, 8, 1500), {"\"c1\"", ""}, "image/jpeg", {}, true}}};
  UpdateOutcome first = run();
  ASSERT_EQ(first.kind, OutcomeKind::Updated);
  request.applied = *first.applied;
  struct Case {
    const char* name;
    std::function<void()> change;
    std::vector<std::string> asked;
    std::vector<std::string> etags;  // what each request asked with
    const char* detail;
  } const cases[] = {
      {"page 304", [] {}, {page}, {"\"p1\""}, "page not modified"},
      {"the same page again",
       [&] { fetcher.answers[page].notModifiedWhenAsked = false; },
       {page},
       {"\"p1\""},
       "same page"},
      {"another page, the same picture",
       [&] { fetcher.answers[page].body += "<p>version 2</p>"; },
       {page, cdn},
       {"\"p1\"", "\"c1\""},
       "not modified"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.change();
    fetcher.asked.clear();
    const UpdateOutcome outcome = run();
    EXPECT_EQ(outcome.kind, OutcomeKind::Unchanged)
        << (outcome.failure ? outcome.failure->detail : "");
    EXPECT_EQ(outcome.detail, c.detail);
    std::vector<std::string> asked, etags;
    for (const FetchRequest& r : fetcher.asked) {
      asked.push_back(r.url);
      etags.push_back(r.ask.etag);
    }
    EXPECT_EQ(asked, c.asked);
    EXPECT_EQ(etags, c.etags);
    if (outcome.applied) request.applied = *outcome.applied;
  }
}

// What went wrong names the step it went wrong in.
TEST_F(UpdateJobTest, ReasonsNameTheStep) {
  const std::string kRouterPage = "<meta property=\"og:image\" content=\"//192.168.1.1/cam.jpg\">";
  const std::string page = "http://pictures.example/page";
  struct Case {
    const char* name;
    std::string pointer;
    test::ScriptedAnswer answer;
    FailureKind kind;
    const char* detail;
  } const cases[] = {
      {"a page without a picture",
       "",
       {"<html><p>hello</p></html>", {}, "text/html"},
       FailureKind::NoPictureFound,
       "no picture on the page (no og:image, twitter:image or image_src)"},
      {"a feed without items",
       "",
       {"<rss><channel></channel></rss>", {}, "application/rss+xml"},
       FailureKind::NoPictureFound,
       "feed has no items"},
      {"a pointer to nothing",
       "/images/0/url",
       {"{\"images\":[]}", {}, "application/json"},
       FailureKind::NoPictureFound,
       "JSON Pointer /images/0/url: no such"},
      {"the picture the page names is missing",
       "",
       {"<meta property=\"og:image\" content=\"/gone.jpg\">", {}, "text/html"},
       FailureKind::NotFound,
       "HTTP 404 for the picture named by the page"},
      {"a picture on the user's own network",
       "",
       {kRouterPage, {}, "text/html"},
       FailureKind::NotAllowed,
       "the page names a picture on a private network address: 192.168.1.1"},
      {"a picture whose name connects into it, looked up as public (rebinding)",
       "",
       {"<meta property=\"og:image\" content=\"//cam.example/cam.jpg\">", {}, "text/html"},
       FailureKind::NotAllowed,
       "the page names a picture on a private network address: 192.168.1.1"},
      {"a page without end",
       "",
       {"<html>" + std::string(kMaxDocumentBytes, ' '), {}, "image/jpeg"},
       FailureKind::TooLarge,
       "the page is larger than 4 MB"},
  };
  fetcher.resolves["cam.example"] = {"203.0.113.7"};
  fetcher.connectsTo["cam.example"] = "192.168.1.1";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    request.settings.url = page;
    request.settings.pointer = c.pointer;
    fetcher.answers = {{page, c.answer}};
    const UpdateOutcome outcome = run();
    ASSERT_EQ(outcome.kind, OutcomeKind::Failed);
    EXPECT_EQ(outcome.failure->kind, c.kind);
    EXPECT_EQ(outcome.failure->detail.rfind(c.detail, 0), 0u) << outcome.failure->detail;
    EXPECT_TRUE(files().empty());
  }
  // Typed on the user's own network, its pages may name pictures there.
  fetcher.resolves["pictures.example"] = {"192.168.1.5"};
  fetcher.answers = {{page, {kRouterPage, {}, "text/html"}},
                     {"http://192.168.1.1/cam.jpg", {sampleJpeg(8, 8)}}};
  const UpdateOutcome local = run();
  EXPECT_EQ(local.kind, OutcomeKind::Updated) << local.failure->detail;
}

// Properties' Check: the picture found, downloaded and its header read; nothing written,
// applied or asked about.
TEST_F(UpdateJobTest, CheckFindsThePictureAndKeepsNothing) {
  const std::string page = "http://pictures.example/page";
  request.settings.url = page;
  request.applied.pictureUrl = "http://cdn.example/x.jpg";
  request.applied.validators = {"\"c1\"", ""};
  fetcher.answers = {{page, {"<meta name=\"twitter:image\" content=\"/x.jpg\">", {}, "text/html"}},
                     {"http://pictures.example/x.jpg", {sampleJpeg(40, 30, 2000)}}};
  request.checkOnly = true;
  const UpdateOutcome outcome = run();
  ASSERT_EQ(outcome.kind, OutcomeKind::Updated) << outcome.failure->detail;
  EXPECT_EQ(outcome.pictureUrl, "http://pictures.example/x.jpg");
  EXPECT_EQ(outcome.origin, "twitter:image");
  EXPECT_EQ(outcome.format, "JPEG");
  EXPECT_EQ(outcome.width, 40);
  EXPECT_EQ(outcome.bytes, 2000u);
  EXPECT_FALSE(outcome.applied);
  EXPECT_TRUE(desktop.wallpapers.empty());
  EXPECT_TRUE(files().empty());
  for (const FetchRequest& r : fetcher.asked) EXPECT_EQ(r.ask, Validators{});
}

// Two monitors, the second with a picture of its own: a flat red common picture and a flat
// blue one of its own.
class MonitorSetTest : public UpdateJobTest {
 protected:
  void SetUp() override {
    UpdateJobTest::SetUp();
    desktop.monitorList = {left, right};
    desktop.layout = "0,0,64,48@96;64,0,96,48@96";
    request.settings.display = DisplayMode::Fill;
    request.settings.monitorSources[monitorKeyName(right)] = {kOwnUrl, "", DisplayMode::Fit};
    ownFile = monitorPictureFileName(monitorKeyName(right));
  }
  static std::string flat(int width, int height, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    const test::Bytes jpeg = test::encodeJpeg({.width = width, .height = height, .quality = 100},
                                              test::flatPixels(width, height, {r, g, b}));
    return std::string(jpeg.begin(), jpeg.end());
  }
  // A channel of a pixel of tessaren.bmp (24 bits, rows bottom first, padded to 4 bytes):
  // 0 blue, 1 green, 2 red.
  int channelAt(int x, int y, int channel) const {
    const std::string bmp = fileContents(shownBmp());
    const int width = 96, height = 48, stride = (width * 3 + 3) / 4 * 4;
    return static_cast<std::uint8_t>(
        bmp[54 + std::size_t(height - 1 - y) * stride + std::size_t(x) * 3 + channel]);
  }
  int redAt(int x, int y) const { return channelAt(x, y, 2); }
  int blueAt(int x, int y) const { return channelAt(x, y, 0); }
  // Applies both pictures as the next update's starting point.
  void applyBoth() {
    fetcher.answers[kUrl] = {red, {"\"c1\"", ""}, "image/jpeg", {}, true};
    fetcher.answers[kOwnUrl] = {blue, {"\"o1\"", ""}, "image/jpeg", {}, true};
    const UpdateOutcome first = run();
    ASSERT_EQ(first.kind, OutcomeKind::Updated) << first.failure->detail;
    request.applied = *first.applied;
    request.monitorsApplied = first.monitorsApplied;
    desktop.wallpapers.clear();
    fetcher.asked.clear();
  }

  const std::string kOwnUrl = "http://radar.example/own.jpg";
  const Monitor left{{0, 0, 64, 48}, true, "\\\\?\\DISPLAY#A#1"};
  const Monitor right{{64, 0, 96, 48}, false, ""};
  const std::string red = flat(40, 30, 250, 0, 0), blue = flat(20, 40, 0, 0, 250);
  std::string ownFile;
};

TEST_F(MonitorSetTest, EachMonitorShowsItsOwnPictureFromOneWallpaper) {
  applyBoth();
  EXPECT_EQ(files(), (std::vector<std::string>{ownFile, "tessaren.bmp", "tessaren.jpg"}));
  EXPECT_EQ(fileContents(dir / "tessaren.jpg"), red);
  EXPECT_EQ(fileContents(dir / ownFile), blue);
  EXPECT_GT(redAt(32, 24), 200) << "the common picture fills the first monitor";
  EXPECT_LT(redAt(80, 24), 50) << "the second shows its own";
  EXPECT_GT(blueAt(80, 24), 200);
  EXPECT_EQ(blueAt(65, 24), 0) << "fitted: black beside the tall picture";
  EXPECT_EQ(request.monitorsApplied.at(monitorKeyName(right)).validators.etag, "\"o1\"");
  EXPECT_EQ(request.applied.validators.etag, "\"c1\"");
  EXPECT_EQ(readValue(store, ValueId::WallpaperStyle), StoredValue("22"));
}

// What becomes of each picture, and what the user is told, when the next update finds each
// source changed, unchanged or failing.
TEST_F(MonitorSetTest, EachSourceChangesOrFailsOnItsOwn) {
  const std::string green = flat(40, 30, 0, 250, 0);
  const Failure notFound{FailureKind::HttpStatus, "HTTP 404 Not Found"};
  struct Case {
    const char* name;
    std::optional<std::string> common, own;  // a new picture; nothing: 304
    bool ownFails;
    OutcomeKind kind;
    std::size_t wallpapers;
    int leftRed, rightRed;  // the red at each monitor's middle afterwards
    const char* tip;
    // Each line: its kind and server, and what it says before naming its monitor.
    std::vector<std::pair<std::string, std::string>> log;
  } cases[] = {
      {"both unchanged: nothing changes",
       {},
       {},
       false,
       OutcomeKind::Unchanged,
       0,
       250,
       0,
       "unchanged, checked 05:20",
       {{"unchanged\tpictures.example", "(not modified)"},
        {"unchanged\tradar.example", "(not modified)"}}},
      {"only the common picture is new",
       green,
       {},
       false,
       OutcomeKind::Updated,
       1,
       0,
       0,
       "1 of 2 pictures updated 05:20",
       {{"updated\tpictures.example", "\t40 x 30 JPEG, "},
        {"unchanged\tradar.example", "(not modified)"}}},
      {"the own source fails: its monitor keeps its picture, the other changes",
       green,
       {},
       true,
       OutcomeKind::Failed,
       1,
       0,
       0,
       "1 of 2 pictures updated 05:20; monitor 2: HTTP 404 Not Found",
       {{"updated\tpictures.example", "\t40 x 30 JPEG, "},
        {"failed\tradar.example", "\tHTTP 404 Not Found, for"}}},
      {"the own source sends no picture: the same",
       {},
       "not a picture",
       false,
       OutcomeKind::Failed,
       0,
       250,
       0,
       "0 of 2 pictures updated 05:20; monitor 2: not a picture",
       {{"unchanged\tpictures.example", "(not modified)"},
        {"failed\tradar.example", "\tnot a picture"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    request.applied = {};
    request.monitorsApplied = {};
    applyBoth();
    if (c.common) fetcher.answers[kUrl] = {*c.common, {"\"c2\"", ""}};
    if (c.own) fetcher.answers[kOwnUrl] = {*c.own, {"\"o2\"", ""}, "image/jpeg"};
    if (c.ownFails) fetcher.answers[kOwnUrl] = {"", {}, "", notFound, false, 404};
    const UpdateOutcome outcome = run();
    EXPECT_EQ(outcome.kind, c.kind) << (outcome.failure ? outcome.failure->detail : "");
    EXPECT_EQ(desktop.wallpapers.size(), c.wallpapers);
    EXPECT_EQ(redAt(32, 24) > 128, c.leftRed > 128);
    EXPECT_EQ(redAt(80, 24) > 128, c.rightRed > 128);
    EXPECT_EQ(fileContents(dir / ownFile), blue) << "the own picture is kept as it came";
    EXPECT_EQ(fileContents(dir / "tessaren.jpg"), c.common ? *c.common : red);
    std::vector<std::string> kept = {ownFile, shownBmp().filename(), "tessaren.jpg"};
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(files(), kept);
    // The tips are written with 05:20 for the time the update was made.
    std::string expectedTip = c.tip;
    expectedTip.replace(expectedTip.find("05:20"), 5,
                        clockText(request.startedAt, request.startedAt));
    const std::string tip = tipDetail(outcome, request.startedAt, 0, std::nullopt);
    EXPECT_EQ(tip.rfind(expectedTip, 0), 0u) << tip;
    const std::vector<std::string> lines = logLines(outcome, request.startedAt, 0);
    ASSERT_EQ(lines.size(), c.log.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
      EXPECT_NE(lines[i].find(c.log[i].first), std::string::npos) << lines[i];
      EXPECT_NE(lines[i].find(c.log[i].second), std::string::npos) << lines[i];
      EXPECT_TRUE(lines[i].ends_with(", for monitor " + std::to_string(i + 1))) << lines[i];
    }
    // A failed source's record stays as it was, so that it is asked about again.
    if (c.ownFails || c.own) {
      EXPECT_FALSE(outcome.monitorsApplied.contains(monitorKeyName(right)));
    }
  }
}

// The set is drawn again without a download when the monitors or a monitor's mode change,
// and an own source the user dropped turns the wallpaper back into the one picture.
TEST_F(MonitorSetTest, RedrawnWhenTheSetChanges) {
  applyBoth();
  fetcher.answers[kUrl].notModifiedWhenAsked = true;
  fetcher.answers[kOwnUrl].notModifiedWhenAsked = true;
  request.settings.monitorSources.begin()->second.display = DisplayMode::Stretch;
  UpdateOutcome outcome = run();
  EXPECT_EQ(outcome.kind, OutcomeKind::Updated);
  EXPECT_EQ(desktop.wallpapers.size(), 1u);
  EXPECT_EQ(outcome.detail, "redrawn");
  EXPECT_GT(blueAt(65, 24), 200) << "stretched: blue to the edge";
  ASSERT_TRUE(outcome.applied);
  request.applied = *outcome.applied;

  request.settings.monitorSources.clear();
  desktop.wallpapers.clear();
  outcome = run();
  EXPECT_EQ(outcome.kind, OutcomeKind::Updated);
  EXPECT_EQ(outcome.detail, "redrawn");
  EXPECT_TRUE(outcome.sources.empty());
  EXPECT_GT(redAt(80, 24), 200) << "the common picture on both";
}

// A history entry holds the whole set: stepping back draws each monitor's kept picture, and
// a new set is kept as new pictures.
TEST_F(MonitorSetTest, AnEntryFromTheHistoryDrawsTheWholeSet) {
  applyBoth();
  const std::string entry = dir.string() + "/history/2026-12-08 140509/";
  fs::create_directories(entry);
  for (const std::string& name : {std::string("tessaren.jpg"), ownFile})
    fs::copy_file(dir / name, entry + name);
  const std::string green = flat(40, 30, 0, 250, 0), white = flat(20, 40, 250, 250, 250);
  fetcher.answers[kUrl] = {green, {"\"c2\"", ""}, "image/jpeg", {}, true};
  fetcher.answers[kOwnUrl] = {white, {"\"o2\"", ""}, "image/jpeg", {}, true};
  const UpdateOutcome newer = run();
  ASSERT_EQ(newer.kind, OutcomeKind::Updated);
  EXPECT_TRUE(newer.newPicture);
  EXPECT_GT(redAt(80, 24), 200) << "the white picture on the right";
  fetcher.asked.clear();

  const UpdateOutcome shown = drawKept(entry);
  ASSERT_EQ(shown.kind, OutcomeKind::Updated) << shown.failure->detail;
  EXPECT_EQ(shown.detail, "from the history");
  EXPECT_FALSE(shown.newPicture);
  EXPECT_TRUE(fetcher.asked.empty());
  EXPECT_GT(redAt(32, 24), 200) << "the kept red on the left";
  EXPECT_GT(blueAt(80, 24), 200) << "the kept blue on the right";
  EXPECT_LT(redAt(80, 24), 50);
  EXPECT_EQ(fileContents(dir / "tessaren.jpg"), green) << "the newest stays as it is";
  ASSERT_TRUE(shown.applied);
  EXPECT_FALSE(shown.applied->known) << "so that the next update draws the newest again";
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

// A picture folder others can write into (Public, a share): no file is made through a link
// planted under the next name, which nobody can tell in advance, and removing the history
// never follows a link or junction out of it.
TEST_F(UpdateJobTest, LinksPlantedInThePictureFolderLeadNowhere) {
  const fs::path outside = dir.string() + "-outside", entry = outside / "2026-12-08 140509";
  fs::create_directories(entry);
  std::ofstream(entry / "tessaren.jpg") << "mine";
  const std::string next = temporaryFileName(kPictureFileName);
  EXPECT_NE(next, temporaryFileName(kPictureFileName));
  fs::create_symlink(entry / "tessaren.jpg", dir / next);
  Failure why;
  EXPECT_FALSE(platformFiles().create((dir / next).string(), why)) << "only a new file";
  // An entry that is a link, then the whole history folder a link.
  fs::create_directories(dir / "history");
  fs::create_directory_symlink(entry, dir / "history" / "2026-12-08 140510");
  removeOwnFiles(platformFiles(), dir.string() + "/");
  fs::remove_all(dir / "history");
  fs::create_directory_symlink(outside, dir / "history");
  removeOwnFiles(platformFiles(), dir.string() + "/");
  EXPECT_EQ(fileContents(entry / "tessaren.jpg"), "mine");
  fs::remove_all(outside);
}

// A picture in tiles on the scripted fetcher: each tile in its place, a tile of another
// size, a missing tile, and a grid that did not change (304 for every tile, the same bytes
// again, one tile new), with the validators each tile is asked with.
class TiledUpdateTest : public UpdateJobTest {
 protected:
  static constexpr int kColumns = 3, kRows = 2, kSide = 6;
  const std::string kGrid = "http://tiles.example/disk_{x:0..2}_{y:0..1}.png";
  static std::string tileUrl(int x, int y) {
    return "http://tiles.example/disk_" + std::to_string(x) + "_" + std::to_string(y) + ".png";
  }
  // A flat tile whose colour tells its place (and the version of the picture).
  static test::Bytes colourOf(int x, int y, int version) {
    return {static_cast<std::uint8_t>(40 * x + 10), static_cast<std::uint8_t>(100 * y + 20),
            static_cast<std::uint8_t>(60 * version)};
  }
  static std::string tile(int x, int y, int version, int width = kSide, int height = kSide) {
    const test::Bytes png =
        test::encodePng({.width = width, .height = height},
                        test::flatPixels(width, height, colourOf(x, y, version)));
    return std::string(png.begin(), png.end());
  }
  void serveGrid(int version) {
    fetcher.answers.clear();
    for (int y = 0; y < kRows; ++y)
      for (int x = 0; x < kColumns; ++x)
        fetcher.answers[tileUrl(x, y)] = {
            tile(x, y, version),
            {"\"" + std::to_string(version) + std::to_string(x) + std::to_string(y) + "\"", ""},
            "image/png",
            {},
            true};
  }
  // The colour at the centre of tile (x, y) in the full-size BMP, red first.
  test::Bytes shownColour(int x, int y) const {
    const std::string bmp = fileContents(shownBmp());
    const int width = kColumns * kSide, height = kRows * kSide;
    const std::size_t stride = (3 * width + 3) & ~3u;
    const int row = height - 1 - (y * kSide + kSide / 2);
    const std::size_t at = 54 + row * stride + std::size_t(x * kSide + kSide / 2) * 3;
    if (bmp.size() < at + 3) return {};
    return {std::uint8_t(bmp[at + 2]), std::uint8_t(bmp[at + 1]), std::uint8_t(bmp[at])};
  }
  std::vector<std::string> askedEtags() const {
    std::vector<std::string> etags;
    for (const FetchRequest& r : fetcher.asked) etags.push_back(r.ask.etag);
    std::sort(etags.begin(), etags.end());
    return etags;
  }
};

TEST_F(TiledUpdateTest, EveryTileInItsPlace) {
  request.settings.url = kGrid;
  serveGrid(1);
  const UpdateOutcome outcome = run();
  ASSERT_EQ(outcome.kind, OutcomeKind::Updated) << outcome.failure->detail;
  EXPECT_EQ(fetcher.asked.size(), std::size_t(kColumns * kRows));
  EXPECT_EQ(pictureSizeText(outcome), "3 x 2 tiles of 6 x 6 PNG, 18 x 12");
  EXPECT_EQ(outcome.host, "tiles.example");
  for (int y = 0; y < kRows; ++y)
    for (int x = 0; x < kColumns; ++x) EXPECT_EQ(shownColour(x, y), colourOf(x, y, 1)) << x << y;
  // tessaren.jpg holds the tiles put together, a picture of its own.
  EXPECT_EQ(fileContents(dir / "tessaren.jpg").substr(1, 3), "PNG");
  const ConversionResult kept = inspectPicture((dir / "tessaren.jpg").string(), "");
  EXPECT_EQ(kept.width, kColumns * kSide);
  EXPECT_EQ(kept.height, kRows * kSide);
  EXPECT_EQ(files(), (std::vector<std::string>{"tessaren.bmp", "tessaren.jpg"}));
  ASSERT_TRUE(outcome.applied);
  EXPECT_EQ(outcome.applied->pictureUrl, kGrid);

  // Properties' Check says the same of it and keeps nothing.
  fs::remove_all(dir);
  fs::create_directories(dir);
  request.checkOnly = true;
  const UpdateOutcome checked = run();
  ASSERT_EQ(checked.kind, OutcomeKind::Updated) << checked.failure->detail;
  EXPECT_EQ(pictureSizeText(checked), "3 x 2 tiles of 6 x 6 PNG, 18 x 12");
  EXPECT_TRUE(files().empty());
}

TEST_F(TiledUpdateTest, ABrokenGridChangesNothing) {
  request.settings.url = kGrid;
  serveGrid(1);
  ASSERT_EQ(run().kind, OutcomeKind::Updated);
  const std::string kept = fileContents(dir / "tessaren.jpg");
  struct Case {
    const char* name;
    std::function<void()> change;
    FailureKind kind;
    const char* detail;
  } const cases[] = {
      {"a tile of another size", [&] { fetcher.answers[tileUrl(2, 1)].body = tile(2, 1, 2, 6, 5); },
       FailureKind::BrokenPicture, "tile x=2, y=1 is 6 x 5, the others 6 x 6"},
      {"a missing tile", [&] { fetcher.answers.erase(tileUrl(1, 0)); }, FailureKind::NotFound,
       "tile x=1, y=0: HTTP 404 Not Found"},
      {"a tile that is no picture",
       [&] { fetcher.answers[tileUrl(0, 1)].body = "<html>maintenance</html>"; },
       FailureKind::NotAPicture, "tile x=0, y=1: not a picture"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    serveGrid(2);
    c.change();
    desktop.wallpapers.clear();
    const UpdateOutcome outcome = run();
    ASSERT_EQ(outcome.kind, OutcomeKind::Failed);
    EXPECT_EQ(outcome.failure->kind, c.kind);
    EXPECT_EQ(outcome.failure->detail.rfind(c.detail, 0), 0u) << outcome.failure->detail;
    EXPECT_TRUE(desktop.wallpapers.empty());
    EXPECT_EQ(fileContents(dir / "tessaren.jpg"), kept);
    EXPECT_EQ(files(), (std::vector<std::string>{"tessaren.bmp", "tessaren.jpg"}));
  }
}

// A dated grid whose newest tiles are not all there yet steps back, as one picture does.
TEST_F(TiledUpdateTest, ADatedGridStepsBackForAMissingTile) {
  request.settings.url = "http://tiles.example/{utc:%H%M|step=10m}_{x:0..1}.png";
  request.startedAt = 1'796'700'000;  // 03:20 UTC
  fetcher.answers = {{"http://tiles.example/0320_0.png", {tile(0, 0, 2)}},
                     {"http://tiles.example/0310_0.png", {tile(0, 0, 1)}},
                     {"http://tiles.example/0310_1.png", {tile(1, 0, 1)}}};
  const UpdateOutcome outcome = run();
  ASSERT_EQ(outcome.kind, OutcomeKind::Updated) << outcome.failure->detail;
  EXPECT_EQ(outcome.origin, "dated address, 1 step back");
  EXPECT_EQ(outcome.pictureUrl, "http://tiles.example/0310_{x:0..1}.png");
  EXPECT_EQ(pictureSizeText(outcome), "2 x 1 tiles of 6 x 6 PNG, 12 x 6");
}

TEST_F(TiledUpdateTest, AnUnchangedGridIsNotDrawnAgain) {
  request.settings.url = kGrid;
  serveGrid(1);
  UpdateOutcome first = run();
  ASSERT_EQ(first.kind, OutcomeKind::Updated);
  request.applied = *first.applied;
  std::vector<std::string> firstEtags;
  for (int i = 0; i < kColumns * kRows; ++i)
    firstEtags.push_back("\"1" + std::to_string(i % kColumns) + std::to_string(i / kColumns) +
                         "\"");
  std::sort(firstEtags.begin(), firstEtags.end());
  struct Case {
    const char* name;
    std::function<void()> change;
    OutcomeKind kind;
    const char* detail;
    std::size_t requests;  // every tile asked once, and again whole for a partial 304
  } const cases[] = {
      {"every tile 304", [] {}, OutcomeKind::Unchanged, "not modified", 6},
      {"the same bytes again",
       [&] {
         for (auto& [url, answer] : fetcher.answers) answer.notModifiedWhenAsked = false;
       },
       OutcomeKind::Unchanged, "same picture", 6},
      {"one tile new",
       [&] {
         fetcher.answers[tileUrl(1, 1)] = {tile(1, 1, 3), {"\"new\"", ""}, "image/png"};
       },
       OutcomeKind::Updated, "", 11},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    serveGrid(1);
    c.change();
    fetcher.asked.clear();
    desktop.wallpapers.clear();
    const UpdateOutcome outcome = run();
    ASSERT_EQ(outcome.kind, c.kind) << (outcome.failure ? outcome.failure->detail : "");
    EXPECT_EQ(outcome.detail, c.detail);
    EXPECT_EQ(fetcher.asked.size(), c.requests);
    std::vector<std::string> firstRound = askedEtags();
    firstRound.erase(std::remove(firstRound.begin(), firstRound.end(), ""), firstRound.end());
    EXPECT_EQ(firstRound, firstEtags) << "each tile asked with its own validators";
    EXPECT_EQ(desktop.wallpapers.size(), c.kind == OutcomeKind::Updated ? 1u : 0u);
    EXPECT_EQ(shownColour(1, 1), colourOf(1, 1, c.kind == OutcomeKind::Updated ? 3 : 1));
    EXPECT_EQ(shownColour(0, 0), colourOf(0, 0, 1));
  }
}

}  // namespace
}  // namespace tessaren
