// Times whole updates under Wine with nothing faked: each run downloads, converts and
// applies, exactly as the worker does, with the picture on the desktop taken as unknown so
// that no run is skipped as unchanged.
// Usage: tessaren-update-bench URL DIRECTORY RUNS [WxH]  (DIRECTORY ends in a backslash)
// With WxH the picture is drawn as Fit onto one monitor of that size, whatever Wine's
// screen is; without, at its own size (Center). Prints the process's peak working set
// before the first update and after the last.
#include <windows.h>
// after windows.h, which it needs
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "settings/value_store.h"
#include "update/update_job.h"

namespace {

// The platform's desktop, with one monitor of a chosen size.
class OneMonitor final : public tessaren::DesktopApi {
 public:
  OneMonitor(int width, int height) : monitor_{{0, 0, width, height}, true} {}
  bool setWallpaper(const std::string& bmpPath) override {
    return tessaren::platformDesktop().setWallpaper(bmpPath);
  }
  std::string wallpaper() override { return tessaren::platformDesktop().wallpaper(); }
  std::vector<tessaren::Monitor> monitors() override { return {monitor_}; }
  std::string monitorLayout() override { return "bench"; }
  bool spanSupported() override { return true; }

 private:
  tessaren::Monitor monitor_;
};

double peakWorkingSetMb() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return double(counters.PeakWorkingSetSize) / (1 << 20);
}

}  // namespace

int main(int argc, char** argv) {
  int width = 0, height = 0;
  if ((argc != 4 && argc != 5) ||
      (argc == 5 && std::sscanf(argv[4], "%dx%d", &width, &height) != 2)) {
    std::fprintf(stderr, "usage: %s URL DIRECTORY RUNS [WxH]\n", argv[0]);
    return 2;
  }
  tessaren::UpdateRequest request;
  request.settings = tessaren::Settings{
      argv[1], argv[2], 60, argc == 5 ? tessaren::DisplayMode::Fit : tessaren::DisplayMode::Center};
  OneMonitor oneMonitor(width, height);
  tessaren::CommitGate commits;
  tessaren::UpdateServices services{
      tessaren::platformFetcher(), tessaren::platformFiles(),
      argc == 5 ? static_cast<tessaren::DesktopApi&>(oneMonitor) : tessaren::platformDesktop(),
      tessaren::registryStore(), commits};
  std::printf("start_peak_mb %.1f\n", peakWorkingSetMb());

  const int runs = std::max(1, std::atoi(argv[3]));
  std::vector<double> times;
  for (int run = 0; run < runs; ++run) {
    DeleteFileA((request.settings.folder + "tessaren.jpg").c_str());
    request.id = static_cast<std::uint64_t>(run) + 1;
    tessaren::CancelToken cancel;
    auto start = std::chrono::steady_clock::now();
    const tessaren::UpdateOutcome outcome = tessaren::runUpdate(request, services, cancel);
    double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (outcome.kind != tessaren::OutcomeKind::Updated) {
      std::fprintf(stderr, "update %d: %s\n", run + 1, tessaren::reasonText(outcome).c_str());
      return 1;
    }
    std::printf("update_ms %.1f\n", ms);
    times.push_back(ms);
  }
  std::sort(times.begin(), times.end());
  std::printf("median_ms %.1f\n", times[times.size() / 2]);
  std::printf("peak_mb %.1f\n", peakWorkingSetMb());
  return 0;
}
