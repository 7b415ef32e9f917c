// Times stepping back in the history under Wine with nothing faked: each run draws a 4K
// picture kept in a history entry into the wallpaper and applies it, exactly as Previous
// picture does on the worker, with no download.
// Usage: tessaren-history-bench DIRECTORY RUNS  (DIRECTORY ends in a backslash and holds
// history\<entry>\tessaren.jpg)
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "settings/value_store.h"
#include "update/history.h"
#include "update/update_job.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s DIRECTORY RUNS\n", argv[0]);
    return 2;
  }
  tessaren::UpdateRequest request;
  request.settings =
      tessaren::Settings{"http://127.0.0.1/", argv[1], 60, tessaren::DisplayMode::Center};
  tessaren::History history(tessaren::platformFiles());
  const std::vector<tessaren::HistoryEntry> entries = history.entries(request.settings.folder);
  if (entries.empty()) {
    std::fprintf(stderr, "no history entry in %s\n", argv[1]);
    return 1;
  }
  request.redrawOnly = true;
  request.drawFrom = tessaren::entryFolder(request.settings.folder, entries.front().name);
  tessaren::CommitGate commits;
  tessaren::UpdateServices services{tessaren::platformFetcher(), tessaren::platformFiles(),
                                    tessaren::platformDesktop(), tessaren::registryStore(),
                                    commits};

  const int runs = std::max(1, std::atoi(argv[2]));
  std::vector<double> times;
  for (int run = 0; run < runs; ++run) {
    request.id = static_cast<std::uint64_t>(run) + 1;
    tessaren::CancelToken cancel;
    const auto start = std::chrono::steady_clock::now();
    const tessaren::UpdateOutcome outcome = tessaren::runUpdate(request, services, cancel);
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (outcome.kind != tessaren::OutcomeKind::Updated) {
      std::fprintf(stderr, "step %d: %s\n", run + 1, tessaren::reasonText(outcome).c_str());
      return 1;
    }
    std::printf("step_ms %.1f\n", ms);
    times.push_back(ms);
  }
  std::sort(times.begin(), times.end());
  std::printf("median_ms %.1f\n", times[times.size() / 2]);
  return 0;
}
