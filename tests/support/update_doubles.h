// Small stand-ins for the services one update uses: a fetcher that answers from a script,
// and a desktop that keeps the wallpaper it was given. Either can hold the update at its
// call until the test lets it go, to overlap updates on purpose.
#pragma once

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "download/fetch.h"
#include "imaging/desktop_api.h"

namespace tessaren::test {

// Holds the first caller of pass() until open() is called; later callers go through.
class Gate {
 public:
  void close();
  void open();
  // Blocks while closed, the first caller only; says whether it was held.
  bool pass();
  // Blocks until someone is held at pass().
  void waitHeld();

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool closed_ = false;
  bool taken_ = false;
  int held_ = 0;
};

struct ScriptedAnswer {
  std::string body{};
  Validators validators{};
  std::string contentType = "image/jpeg";
  std::optional<Failure> failure{};  // instead of a body
  // A 304 when asked with these validators (the etag), as a server that knows them.
  bool notModifiedWhenAsked = false;
  std::uint32_t status = 0;  // with a failure: the HTTP status it came with
};

class ScriptedFetcher final : public Fetcher {
 public:
  FetchResult fetchToFile(const FetchRequest& request, OutputFile& body,
                          CancelToken& cancel) override;

  std::map<std::string, ScriptedAnswer> answers;  // by address; others are 404
  // What a host resolves to, for the request's mayReach; others resolve to nothing.
  std::map<std::string, std::vector<std::string>> resolves;
  // Where a host's connection goes when that is not where it resolved to (rebinding).
  std::map<std::string, std::string> connectsTo;
  std::vector<FetchRequest> asked;  // every request made, in order (none that was refused)
  // Passed before the body is written: a test closes it to hold a download in its body.
  Gate* inBody = nullptr;

 private:
  std::mutex mutex_;
};

class FakeDesktop final : public DesktopApi {
 public:
  bool setWallpaper(const std::string& bmpPath) override;
  std::string wallpaper() override;
  std::vector<Monitor> monitors() override { return monitorList; }
  std::string monitorLayout() override { return layout; }
  bool spanSupported() override { return span; }

  std::vector<Monitor> monitorList = {{{0, 0, 1920, 1080}, true}};
  std::string layout = "0,0,1920,1080@96";
  bool span = true;
  bool takesWallpapers = true;
  // The wallpaper's path and the BMP's bytes at the moment it was set, in order.
  std::vector<std::pair<std::string, std::string>> wallpapers;
  std::string shown;       // the last wallpaper taken
  Gate* inCall = nullptr;  // passed inside setWallpaper

 private:
  std::mutex mutex_;
};

}  // namespace tessaren::test
