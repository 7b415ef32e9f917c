// Whole updates with nothing faked, under Wine against the test server: WinINet, the
// files, the registry and the desktop of the platform. One update for each picture format,
// and pictures behind a page, a feed, a JSON document and a dated address.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "settings/settings_store.h"
#include "source/dated_address.h"
#include "tests/support/picture_server.h"
#include "tests/support/test_pictures.h"
#include "update/update_job.h"

namespace tessaren {
namespace {

using test::Bytes;
namespace fs = std::filesystem;

std::string text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

class WholeUpdate : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.ready()) << "run through tests/support/with_picture_server.sh";
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    folder = std::string(temp) + "tessaren-update-" + std::to_string(GetCurrentProcessId()) + "\\";
    fs::remove_all(folder);
    request.settings = Settings{"", folder, 60, DisplayMode::Center};
    request.startedAt = std::time(nullptr);
    server.clearLog();
  }
  void TearDown() override { fs::remove_all(folder); }

  UpdateOutcome run(const std::string& url) {
    request.settings.url = url;
    request.id++;
    CancelToken cancel;
    UpdateOutcome outcome = runUpdate(request, services, cancel);
    if (outcome.applied) request.applied = *outcome.applied;
    return outcome;
  }
  // The wallpaper BMP the desktop shows, of the two names it takes turns between.
  std::string ourWallpaper() const {
    return folder + shownBitmapName(folder, platformDesktop().wallpaper());
  }
  std::vector<std::string> requested() const {
    std::vector<std::string> paths;
    for (const auto& r : server.requests()) paths.push_back(r.path);
    return paths;
  }

  test::PictureServer server;
  std::string folder;
  UpdateRequest request;
  CommitGate commits;
  UpdateServices services{platformFetcher(), platformFiles(), platformDesktop(), registryStore(),
                          commits};
};

TEST_F(WholeUpdate, EveryPictureFormat) {
  const int width = 67, height = 45;
  const Bytes rgb = test::patternPixels(width, height, 3);
  struct Case {
    const char* name;
    Bytes file;
  } const cases[] = {
      {"JPEG", test::encodeJpeg({.width = width, .height = height}, rgb)},
      {"PNG", test::encodePng({.width = width, .height = height, .interlaced = true}, rgb)},
      {"WebP", test::encodeWebP({.width = width, .height = height, .lossless = true}, rgb)},
      {"GIF", test::encodeGif(width, height, {30, 140, 250, 200, 10, 10},
                              {{0, 0, width, height, Bytes(width * height, 1)}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string name = std::string("picture.") + c.name;
    server.put(name, text(c.file));
    const UpdateOutcome outcome = run(server.url("/" + name));
    ASSERT_EQ(outcome.kind, OutcomeKind::Updated) << outcome.failure->detail;
    EXPECT_EQ(outcome.format, c.name);
    EXPECT_EQ(outcome.width, width);
    EXPECT_EQ(test::readFile(folder + "tessaren.jpg"), c.file) << "kept under its old name";
    const Bytes bitmap = test::readFile(ourWallpaper());
    EXPECT_EQ(bitmap.size(), 54u + ((3u * width + 3u) & ~3u) * height);
    EXPECT_EQ(readValue(registryStore(), ValueId::Wallpaper), StoredValue(ourWallpaper()));
  }
}

// A flat grey 37000 x 37000 JPEG of a few megabytes would be a 4.1 GB BMP at full size:
// refused before any file is made; Fit draws it at the monitors' size.
TEST_F(WholeUpdate, AHugePictureIsRefusedAtFullSizeAndFittedInFit) {
  server.put("huge.jpg", text(test::flatGreyJpeg(37000, 37000)));
  const UpdateOutcome center = run(server.url("/huge.jpg"));
  ASSERT_EQ(center.kind, OutcomeKind::Failed);
  EXPECT_EQ(center.failure->kind, FailureKind::TooLarge);
  EXPECT_EQ(center.failure->detail,
            "37000 x 37000 is too large to show at full size (4.1 GB); choose Fit or Fill");
  EXPECT_FALSE(fs::exists(folder + kBitmapFileName) || fs::exists(folder + kOtherBitmapFileName));
  std::printf("  Center: %s\n", center.failure->detail.c_str());

  request.settings.display = DisplayMode::Fit;
  const UpdateOutcome fit = run(server.url("/huge.jpg"));
  ASSERT_EQ(fit.kind, OutcomeKind::Updated) << fit.failure->detail;
  const Bytes bitmap = test::readFile(ourWallpaper());
  ASSERT_GE(bitmap.size(), 54u);
  const int width = bitmap[18] | bitmap[19] << 8 | bitmap[20] << 16;
  const int height = bitmap[22] | bitmap[23] << 8 | bitmap[24] << 16;
  EXPECT_EQ(width, GetSystemMetrics(SM_CXVIRTUALSCREEN));
  EXPECT_EQ(height, GetSystemMetrics(SM_CYVIRTUALSCREEN));
  std::printf("  Fit: %d x %d BMP in %.1f s\n", width, height, fit.seconds);
}

TEST_F(WholeUpdate, PicturesBehindPagesFeedsAndDocuments) {
  const std::string picture =
      text(test::encodeJpeg({.width = 32, .height = 16}, test::patternPixels(32, 16, 3)));
  server.put("today.jpg", picture);
  server.put("page.html",
             "<html><head><meta property=\"og:image\" content=\"/today.jpg\">"
             "</head><body>Today</body></html>");
  server.put("feed.xml",
             "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><item>"
             "<title>Today</title><enclosure url=\"/today.jpg\" type=\"image/jpeg\"/>"
             "</item></channel></rss>");
  server.put("api.json", "{\"images\":[{\"url\":\"today.jpg\"}]}");
  struct Case {
    const char* address;
    const char* origin;
  } const cases[] = {
      {"/page.html", "og:image"},
      {"/feed.xml", "feed item \"Today\""},
      {"/api.json", "JSON pointer /images/0/url (automatic)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    fs::remove_all(folder);
    request.applied = {};
    server.clearLog();
    const UpdateOutcome outcome = run(server.url(c.address));
    ASSERT_EQ(outcome.kind, OutcomeKind::Updated) << outcome.failure->detail;
    EXPECT_EQ(outcome.origin, c.origin);
    EXPECT_EQ(outcome.pictureUrl, server.url("/today.jpg"));
    EXPECT_EQ(requested(), (std::vector<std::string>{c.address, "/today.jpg"}));
    EXPECT_EQ(text(test::readFile(folder + "tessaren.jpg")), picture);
  }
  // The page again: the server says it has not changed, so the picture is not asked for.
  server.clearLog();
  const UpdateOutcome again = run(server.url("/api.json"));
  EXPECT_EQ(again.kind, OutcomeKind::Unchanged);
  EXPECT_EQ(again.detail, "page not modified");
  EXPECT_EQ(requested(), std::vector<std::string>{"/api.json"});
}

// A page on a name that resolves to the user's own computer, typed so: the picture it
// names there is fetched.
TEST_F(WholeUpdate, APageTypedOnTheUsersOwnNetworkMayNameAPictureThere) {
  const std::string port = server.hostAndPort().substr(server.hostAndPort().find(':') + 1);
  server.put("cam.jpg",
             text(test::encodeJpeg({.width = 8, .height = 8}, test::patternPixels(8, 8, 3))));
  server.put("cam.html",
             "<meta property=\"og:image\" content=\"http://127.0.0.1:" + port + "/cam.jpg\">");
  const UpdateOutcome outcome = run("http://localhost:" + port + "/cam.html");
  ASSERT_EQ(outcome.kind, OutcomeKind::Updated) << outcome.failure->detail;
  EXPECT_EQ(outcome.pictureUrl, server.url("/cam.jpg"));
}

// A Check made while an update downloads slowly has files of its own, even with an id
// whose low 32 bits are the update's, and neither disturbs the other.
TEST_F(WholeUpdate, ACheckBesideASlowUpdateKeepsToItsOwnFiles) {
  const std::string slow =
      text(test::encodeJpeg({.width = 64, .height = 64}, test::patternPixels(64, 64, 3)));
  server.put("slow.jpg", slow);
  server.put("quick.jpg",
             text(test::encodeJpeg({.width = 8, .height = 8}, test::patternPixels(8, 8, 3))));
  UpdateRequest check = request;
  check.id = (std::uint64_t{1} << 32) + 1;
  request.id = 0;  // run() makes it 1
  UpdateOutcome updated;
  std::thread update([&] { updated = run(server.url("/slow.jpg?pieces=200&pause=100")); });
  while (platformFiles().list(folder, "tessaren-", ".jpg.part").empty()) Sleep(10);

  check.checkOnly = true;
  check.settings.url = server.url("/quick.jpg");
  CancelToken cancel;
  const UpdateOutcome checked = runUpdate(check, services, cancel);
  update.join();
  ASSERT_EQ(checked.kind, OutcomeKind::Updated) << checked.failure->detail;
  EXPECT_EQ(checked.width, 8);
  ASSERT_EQ(updated.kind, OutcomeKind::Updated) << updated.failure->detail;
  EXPECT_EQ(text(test::readFile(folder + "tessaren.jpg")), slow);
}

// tessaren.jpg held by another process during the commit (tests/support/file_holder.cpp,
// beside this test), as a preview pane or a virus scan holds it: let go after 2 s, the
// update waits and succeeds; held until the update ends, it fails naming the file.
TEST_F(WholeUpdate, AFileHeldDuringTheCommit) {
  for (int width : {8, 9, 10})
    server.put(
        std::to_string(width) + ".jpg",
        text(test::encodeJpeg({.width = width, .height = 8}, test::patternPixels(width, 8, 3))));
  ASSERT_EQ(run(server.url("/8.jpg")).kind, OutcomeKind::Updated);
  std::atomic<bool> committing = false;
  services.reached = [&](UpdateStep step) { committing = step == UpdateStep::Committing; };
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  const std::string event = "TessarenTest.Held." + std::to_string(GetCurrentProcessId());
  const HANDLE held = CreateEventA(nullptr, FALSE, FALSE, event.c_str());
  for (const bool letGoAfter2s : {true, false}) {
    std::string command = "file_holder \"" + folder + "tessaren.jpg\" " + event;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION holder{};
    ASSERT_TRUE(CreateProcessA(fs::path(self).replace_filename("file_holder.exe").string().c_str(),
                               command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &holder));
    ASSERT_EQ(WaitForSingleObject(held, 60'000), WAIT_OBJECT_0);
    UpdateOutcome outcome;
    committing = false;
    std::thread update([&] { outcome = run(server.url(letGoAfter2s ? "/9.jpg" : "/10.jpg")); });
    for (int waited = 0; !committing && waited < 60'000; waited += 10) Sleep(10);
    const auto start = std::chrono::steady_clock::now();
    if (letGoAfter2s) Sleep(2000);  // how long it is held, not a wait for something
    if (letGoAfter2s) TerminateProcess(holder.hProcess, 0);
    update.join();  // held throughout: until the failure is back
    TerminateProcess(holder.hProcess, 0);
    for (HANDLE handle : {holder.hProcess, holder.hThread}) CloseHandle(handle);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(outcome.kind, letGoAfter2s ? OutcomeKind::Updated : OutcomeKind::Failed)
        << (outcome.failure ? outcome.failure->detail : "updated") << " after " << took.count();
    EXPECT_GE(took.count(), 2.0);
    if (!letGoAfter2s) {
      EXPECT_EQ(outcome.failure.value_or(Failure{}).detail.rfind(
                    "can't replace " + folder + "tessaren.jpg: another program held it for 5 s", 0),
                0u);
    }
  }
  CloseHandle(held);
}

TEST_F(WholeUpdate, ADatedAddressFallsBackAStepAfterA404) {
  const std::string templ = server.url("/sat-{utc:%H%M|step=10m}.jpg");
  const std::vector<std::string> addresses = expandDatedAddress(templ, request.startedAt).addresses;
  ASSERT_GE(addresses.size(), 2u);
  const std::string older = addresses[1].substr(addresses[1].rfind('/') + 1);
  server.put(older,
             text(test::encodeJpeg({.width = 8, .height = 8}, test::patternPixels(8, 8, 3))));
  const UpdateOutcome outcome = run(templ);
  ASSERT_EQ(outcome.kind, OutcomeKind::Updated) << outcome.failure->detail;
  EXPECT_EQ(outcome.pictureUrl, addresses[1]);
  EXPECT_EQ(outcome.origin, "dated address, 1 step back");
  const auto paths = requested();
  ASSERT_EQ(paths.size(), 2u);
  EXPECT_EQ(server.url(paths[0]), addresses[0]);
  EXPECT_EQ(server.url(paths[1]), addresses[1]);
}

// A picture in 4 x 4 tiles from the test server, fetched side by side through WinINet and
// fitted to the monitors; the second time every tile is asked about and none has changed.
TEST_F(WholeUpdate, APictureInTiles) {
  const int side = 50;
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      const Bytes colour = {std::uint8_t(60 * x), std::uint8_t(60 * y), 128};
      server.put("tile_" + std::to_string(x) + "_" + std::to_string(y) + ".png",
                 text(test::encodePng({.width = side, .height = side},
                                      test::flatPixels(side, side, colour))));
    }
  }
  request.settings.display = DisplayMode::Fit;
  const UpdateOutcome outcome = run(server.url("/tile_{x:0..3}_{y:0..3}.png"));
  ASSERT_EQ(outcome.kind, OutcomeKind::Updated) << outcome.failure->detail;
  EXPECT_EQ(pictureSizeText(outcome), "4 x 4 tiles of 50 x 50 PNG, 200 x 200");
  EXPECT_EQ(requested().size(), 16u);
  const Bytes kept = test::readFile(folder + "tessaren.jpg");
  ASSERT_GE(kept.size(), 24u);
  EXPECT_EQ(kept[1], 'P') << "the tiles put together, as a PNG";
  EXPECT_EQ(kept[19], 200) << "200 pixels wide";
  EXPECT_EQ(readValue(registryStore(), ValueId::Wallpaper), StoredValue(ourWallpaper()));

  server.clearLog();
  const UpdateOutcome again = run(server.url("/tile_{x:0..3}_{y:0..3}.png"));
  EXPECT_EQ(again.kind, OutcomeKind::Unchanged);
  EXPECT_EQ(again.detail, "not modified");
  const auto asked = server.requests();
  ASSERT_EQ(asked.size(), 16u);
  for (const auto& r : asked) EXPECT_NE(r.ifNoneMatch, "-") << r.path;
}

}  // namespace
}  // namespace tessaren
