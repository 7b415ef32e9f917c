// One whole update on real files, with the scripted HTTP client and the recording
// desktop: what is written (and what is not) for a new, an unchanged and a failed picture,
// the validators kept and sent, and the reasons given.
#include "update/update_job.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "download/fetch.h"
#include "tests/download/sample_jpeg.h"
#include "tests/support/fake_desktop.h"
#include "tests/support/fake_http.h"
#include "tests/support/fake_registry.h"
#include "tests/support/file_contents.h"

namespace tessaren {
namespace {

using test::FakeHttp;
using test::FakeLocalFiles;
using test::sampleJpeg;
using test::ScriptedResponse;
namespace fs = std::filesystem;

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

const std::string kUrl = "http://pictures.example/now.jpg";

class UpdateJobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tessaren-update-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    request.settings = Settings{kUrl, dir.string() + "/", 60, 1, 2};
    request.startedAt = 1'800'000'000;
  }
  void TearDown() override { fs::remove_all(dir); }

  UpdateOutcome run() {
    log.clear();
    desktop.wallpapers.clear();
    http.headersAdded.clear();
    CancelToken cancel;
    return runUpdate(request, cancel);
  }
  // The state after one good update, as the next update is given it.
  void applyFirst(const std::string& picture) {
    http.responses = {{.body = picture, .etag = "\"v1\""}};
    const UpdateOutcome first = run();
    ASSERT_EQ(first.kind, OutcomeKind::Updated) << first.reason;
    ASSERT_TRUE(first.applied);
    request.applied = *first.applied;
  }
  int count(const std::string& prefix) const {
    return static_cast<int>(std::count_if(log.begin(), log.end(), [&](const std::string& line) {
      return line.rfind(prefix, 0) == 0;
    }));
  }

  fs::path dir;
  UpdateRequest request;
  std::vector<std::string> log;
  test::FakeRegistry registry;
  FakeHttp http{log};
  FakeLocalFiles files{log};
  test::FakeDesktop desktop;
};

TEST_F(UpdateJobTest, NewPictureBecomesTheWallpaperAndIsRemembered) {
  const std::string picture = sampleJpeg(16, 8, 1500);
  http.responses = {{.body = picture, .etag = "\"v1\"", .lastModified = "Mon, 07 Dec 2026"}};
  const UpdateOutcome outcome = run();
  ASSERT_EQ(outcome.kind, OutcomeKind::Updated) << outcome.reason;
  EXPECT_EQ(outcome.host, "pictures.example");
  EXPECT_EQ(outcome.bytes, 1500u);
  EXPECT_EQ(outcome.width, 16);
  EXPECT_EQ(outcome.height, 8);
  EXPECT_EQ(desktop.wallpapers, std::vector<std::string>{(dir / "tessaren.bmp").string()});
  EXPECT_EQ(test::fileContents(dir / "tessaren.jpg"), picture);
  EXPECT_FALSE(fs::exists(dir / "tessaren.jpg.part"));
  ASSERT_TRUE(outcome.applied);
  EXPECT_EQ(*outcome.applied,
            (AppliedPicture{kUrl, "\"v1\"", "Mon, 07 Dec 2026", 1, request.startedAt}));
  EXPECT_EQ(resultCodeOf(outcome), 0);
}

// 304 or the same bytes again leave everything alone, unless the picture on the desktop
// must be drawn again: the display mode changed, or the BMP file is gone.
TEST_F(UpdateJobTest, UnchangedPicturesAreNotWrittenAgain) {
  const std::string picture = sampleJpeg(16, 8, 1500);
  struct Case {
    const char* name;
    ScriptedResponse answer;
    bool changeMode;
    bool removeBmp;
    OutcomeKind kind;
    const char* detail;
  };
  const Case cases[] = {
      {"304", {.status = "304"}, false, false, OutcomeKind::Unchanged, "not modified"},
      {"same bytes",
       {.body = picture, .etag = "\"v1\""},
       false,
       false,
       OutcomeKind::Unchanged,
       "same picture"},
      {"304, mode changed", {.status = "304"}, true, false, OutcomeKind::Updated, "redrawn"},
      {"304, BMP gone", {.status = "304"}, false, true, OutcomeKind::Updated, "redrawn"},
      {"same bytes, mode changed", {.body = picture}, true, false, OutcomeKind::Updated, ""},
      {"same bytes, BMP gone", {.body = picture}, false, true, OutcomeKind::Updated, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    request = UpdateRequest{
        0, Settings{kUrl, dir.string() + "/", 60, 1, 2}, {}, false, request.startedAt};
    applyFirst(picture);
    if (c.changeMode) request.settings.display = 0;
    if (c.removeBmp) fs::remove(dir / "tessaren.bmp");
    const auto bmpTime =
        c.removeBmp ? fs::file_time_type{} : fs::last_write_time(dir / "tessaren.bmp");

    http.responses = {c.answer};
    const UpdateOutcome outcome = run();
    EXPECT_EQ(outcome.kind, c.kind) << outcome.reason;
    EXPECT_EQ(outcome.detail, c.detail);
    EXPECT_EQ(http.headersAdded, kRequestHeaders + "If-None-Match: \"v1\"\r\n");
    EXPECT_FALSE(fs::exists(dir / "tessaren.jpg.part"));
    EXPECT_EQ(test::fileContents(dir / "tessaren.jpg"), picture);
    if (c.kind == OutcomeKind::Unchanged) {
      EXPECT_TRUE(desktop.wallpapers.empty());
      EXPECT_EQ(fs::last_write_time(dir / "tessaren.bmp"), bmpTime);
      EXPECT_FALSE(outcome.applied) << "nothing new to remember";
    } else {
      EXPECT_EQ(desktop.wallpapers.size(), 1u);
      ASSERT_TRUE(outcome.applied);
      EXPECT_EQ(outcome.applied->display, request.settings.display);
    }
    EXPECT_EQ(resultCodeOf(outcome), 0);
  }
}

TEST_F(UpdateJobTest, ValidatorsBelongToTheirUrlAndThePictureKept) {
  const std::string picture = sampleJpeg(16, 8, 1500);
  applyFirst(picture);
  struct Case {
    const char* name;
    std::function<void()> arrange;
  } const cases[] = {
      {"another URL", [&] { request.settings.url = kUrl + "?v=2"; }},
      {"the kept picture is gone", [&] { fs::remove(dir / "tessaren.jpg"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.arrange();
    http.responses = {{.body = sampleJpeg(8, 8, 900)}};
    const UpdateOutcome outcome = run();
    EXPECT_EQ(http.headersAdded, kRequestHeaders) << "nothing to ask about";
    EXPECT_EQ(outcome.kind, OutcomeKind::Updated) << outcome.reason;
    ASSERT_TRUE(outcome.applied);
    EXPECT_EQ(outcome.applied->etag, "") << "a server that sent none leaves none";
    request.applied = *outcome.applied;
  }
}

TEST_F(UpdateJobTest, FailuresSayWhyAndChangeNothing) {
  const std::string picture = sampleJpeg(16, 8, 1500);
  applyFirst(picture);
  struct Case {
    const char* name;
    std::function<void()> arrange;
    std::string reason;
  } const cases[] = {
      {"no scheme", [&] { request.settings.url = "www.example.com/cam.jpg"; },
       "not a usable URL: www.example.com/cam.jpg"},
      {"ftp", [&] { request.settings.url = "ftp://files.example/now.jpg"; },
       "not a usable URL: ftp://files.example/now.jpg"},
      {"404", [&] { http.responses = {{.status = "404", .statusText = "Not Found"}}; },
       "HTTP 404 Not Found"},
      {"a page, not a picture",
       [&] { http.responses = {{.body = "<html>gone</html>", .contentType = "text/html"}}; },
       "not a picture Tessaren can read"},
      {"folder can't be created", [&] { files.failCreateDirectories = true; },
       "can't create the folder " + dir.string() + "/: Access is denied. (5)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    request.settings.url = kUrl;
    files.failCreateDirectories = false;
    http.responses = {{.body = sampleJpeg(8, 8, 900)}};
    c.arrange();
    const UpdateOutcome outcome = run();
    EXPECT_EQ(outcome.kind, OutcomeKind::Failed);
    EXPECT_NE(outcome.reason.find(c.reason), std::string::npos) << outcome.reason;
    EXPECT_TRUE(desktop.wallpapers.empty());
    EXPECT_EQ(test::fileContents(dir / "tessaren.jpg"), picture);
    EXPECT_FALSE(fs::exists(dir / "tessaren.jpg.part"));
    EXPECT_FALSE(outcome.applied);
    EXPECT_EQ(resultCodeOf(outcome), 1);
  }
  EXPECT_EQ(http.openHandles(), 0);
}

TEST_F(UpdateJobTest, MissingFolderIsCreatedWithItsParents) {
  request.settings.temp = (dir / "a" / "b").string() + "/";
  http.responses = {{.body = sampleJpeg(8, 8, 900)}};
  EXPECT_EQ(run().kind, OutcomeKind::Updated);
  EXPECT_TRUE(fs::exists(dir / "a" / "b" / "tessaren.bmp"));
}

// Once the wallpaper has changed, a JPEG file that cannot be replaced does not undo it.
TEST_F(UpdateJobTest, WallpaperStandsWhenTheJpegFileCannotBeReplaced) {
  writeFile(dir / "tessaren.jpg", "an older picture");
  files.failReplace = true;
  http.responses = {{.body = sampleJpeg(8, 8)}};
  EXPECT_EQ(run().kind, OutcomeKind::Updated);
  EXPECT_EQ(desktop.wallpapers.size(), 1u);
  EXPECT_EQ(test::fileContents(dir / "tessaren.jpg"), "an older picture");
  EXPECT_FALSE(fs::exists(dir / "tessaren.jpg.part"));
}

}  // namespace
}  // namespace tessaren
