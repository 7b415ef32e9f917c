// Parallel downloads on threads of their own, joined before fetchAll returns.
#include "download/fetch_all.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <mutex>
#include <thread>

namespace tessaren {

std::vector<std::optional<FetchResult>> fetchAll(
    Fetcher& fetcher, const std::vector<FetchJob>& jobs, CancelToken& cancel,
    const std::function<bool(std::size_t, const FetchResult&)>& goOn, int parallel) {
  std::vector<std::optional<FetchResult>> results(jobs.size());
  const std::size_t workers =
      std::min<std::size_t>(std::size_t(std::max(parallel, 1)), jobs.size());
  // One token per worker: the caller's token closes one handle, each worker's its own.
  std::deque<CancelToken> tokens(workers);
  std::atomic<std::size_t> next{0};
  std::atomic<bool> enough{false};
  std::mutex mutex;
  auto stopAll = [&tokens] {
    for (CancelToken& token : tokens) token.cancel();
  };
  cancel.attach(stopAll);
  {
    std::vector<std::jthread> threads;
    for (std::size_t w = 0; w < workers; ++w) {
      threads.emplace_back([&, w] {
        for (;;) {
          if (enough || tokens[w].stopped()) return;
          const std::size_t index = next++;
          if (index >= jobs.size()) return;
          FetchResult result =
              fetcher.fetchToFile(jobs[index].request, *jobs[index].body, tokens[w]);
          const std::lock_guard<std::mutex> lock(mutex);
          if (!goOn(index, result)) enough = true;
          results[index] = std::move(result);
        }
      });
    }
  }
  // Closes nothing now: every worker has ended.
  cancel.release();
  return results;
}

}  // namespace tessaren
