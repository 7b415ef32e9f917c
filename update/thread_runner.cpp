// The worker thread of one update.
#include "update/thread_runner.h"

#include "download/fetch.h"
#include "download/local_file_api.h"

namespace tessaren {
namespace {

// How long Exit or Save waits for an update to stop. A conversion stops within a band of rows and
// the wallpaper call is short; a network call that closing its handle ended (as WinINet
// on Windows does) returns at once. Wine's WinINet goes on waiting for the server: such a
// worker is left behind rather than waited for.
constexpr std::chrono::milliseconds kWaitAfterNetworkCancel{100};
constexpr std::chrono::milliseconds kWaitForConversion{2000};

}  // namespace

ThreadRunner::ThreadRunner(std::function<void(std::uint64_t)> ended, UpdateJob job)
    : ended_(std::move(ended)), job_(std::move(job)) {}

ThreadRunner::~ThreadRunner() { abandon(); }

void ThreadRunner::start(const UpdateRequest& request) {
  // The scheduler collects or abandons every update before it starts the next one.
  if (thread_.joinable()) abandon();
  auto run = std::make_shared<Run>();
  run->request = request;
  run_ = run;
  thread_ = std::thread([run, job = job_, ended = ended_] {
    UpdateOutcome outcome = job(run->request, run->cancel);
    {
      std::lock_guard<std::mutex> lock(run->mutex);
      run->outcome = std::move(outcome);
      run->ended = true;
    }
    run->endedSignal.notify_all();
    ended(run->request.id);
  });
}

std::optional<UpdateOutcome> ThreadRunner::collect(std::uint64_t id) {
  if (!run_ || run_->request.id != id) return std::nullopt;
  {
    std::lock_guard<std::mutex> lock(run_->mutex);
    if (!run_->ended) return std::nullopt;
  }
  thread_.join();
  std::optional<UpdateOutcome> outcome = std::move(run_->outcome);
  run_.reset();
  return outcome;
}

bool ThreadRunner::waitEnded(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(run_->mutex);
  return run_->endedSignal.wait_for(lock, limit, [this] { return run_->ended; });
}

void ThreadRunner::abandon() {
  if (!run_) return;
  const bool wasWaitingOnNetwork = run_->cancel.cancel();
  if (waitEnded(wasWaitingOnNetwork ? kWaitAfterNetworkCancel : kWaitForConversion)) {
    thread_.join();
  } else {
    // Its body file, if it has one, must not outlive the process: the file was opened
    // with delete sharing, so it goes when the process ends.
    if (auto target = deriveTarget(run_->request.settings))
      localFileApi().remove(partialDownloadPath(target->jpegPath));
    thread_.detach();
    leftBehind_ = true;
  }
  run_.reset();
}

}  // namespace tessaren
