// Times whole updates under Wine with nothing faked: the settings are stored in the
// registry, then each run derives the target, downloads, converts and applies.
// Usage: tessaren-update-bench URL DIRECTORY RUNS  (DIRECTORY ends in a backslash)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "download/download_target.h"
#include "settings/settings_store.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s URL DIRECTORY RUNS\n", argv[0]);
    return 2;
  }
  tessaren::Settings settings;
  settings.url = argv[1];
  settings.temp = argv[2];
  settings.interval = 60;
  settings.display = 1;
  settings.install = tessaren::kInstalledMarker;
  tessaren::saveSettings(settings);

  const int runs = std::max(1, std::atoi(argv[3]));
  std::vector<double> times;
  for (int run = 0; run < runs; ++run) {
    auto start = std::chrono::steady_clock::now();
    tessaren::DownloadJob job;
    std::int32_t result = job.fetch();
    double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (result != 0) {
      std::fprintf(stderr, "update %d failed\n", run + 1);
      return 1;
    }
    std::printf("update_ms %.1f\n", ms);
    times.push_back(ms);
  }
  std::sort(times.begin(), times.end());
  std::printf("median_ms %.1f\n", times[times.size() / 2]);
  return 0;
}
