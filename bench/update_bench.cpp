// Times whole updates under Wine with nothing faked: each run downloads, converts and
// applies, exactly as the worker does, with the picture on the desktop taken as unknown so
// that no run is skipped as unchanged.
// Usage: tessaren-update-bench URL DIRECTORY RUNS  (DIRECTORY ends in a backslash)
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "settings/value_store.h"
#include "update/update_job.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s URL DIRECTORY RUNS\n", argv[0]);
    return 2;
  }
  tessaren::UpdateRequest request;
  request.settings = tessaren::Settings{argv[1], argv[2], 60, tessaren::DisplayMode::Center};
  tessaren::CommitGate commits;
  tessaren::UpdateServices services{tessaren::platformFetcher(), tessaren::platformFiles(),
                                    tessaren::platformDesktop(), tessaren::registryStore(),
                                    commits};

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
  return 0;
}
