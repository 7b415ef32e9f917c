// The worker threads of the updates.
#include "update/thread_runner.h"

namespace tessaren {

ThreadRunner::ThreadRunner(std::function<void(std::uint64_t)> ended, UpdateWork work)
    : ended_(std::move(ended)), work_(std::move(work)) {}

ThreadRunner::~ThreadRunner() {
  for (auto& [id, run] : runs_) {
    bool ended = false;
    {
      std::lock_guard<std::mutex> lock(*mutex_);
      ended = run.first->ended;
    }
    if (ended) {
      run.second.join();
    } else {
      run.first->cancel.cancel();
      run.second.detach();
    }
  }
}

void ThreadRunner::start(const UpdateRequest& request) {
  auto run = std::make_shared<Run>();
  run->request = request;
  std::thread thread([run, mutex = mutex_, work = work_, ended = ended_] {
    UpdateOutcome outcome = work(run->request, run->cancel);
    {
      std::lock_guard<std::mutex> lock(*mutex);
      run->outcome = std::move(outcome);
      run->ended = true;
    }
    ended(run->request.id);
  });
  runs_.emplace(request.id, std::pair{std::move(run), std::move(thread)});
}

void ThreadRunner::cancel(std::uint64_t id) {
  if (auto found = runs_.find(id); found != runs_.end()) found->second.first->cancel.cancel();
}

std::optional<UpdateOutcome> ThreadRunner::collect(std::uint64_t id) {
  auto found = runs_.find(id);
  if (found == runs_.end()) return std::nullopt;
  {
    std::lock_guard<std::mutex> lock(*mutex_);
    if (!found->second.first->ended) return std::nullopt;
  }
  // The thread has said its last word: joining waits for no more than its return.
  found->second.second.join();
  std::optional<UpdateOutcome> outcome = std::move(found->second.first->outcome);
  runs_.erase(found);
  return outcome;
}

int ThreadRunner::stillRunning() const {
  std::lock_guard<std::mutex> lock(*mutex_);
  int running = 0;
  for (const auto& [id, run] : runs_)
    if (!run.first->ended) ++running;
  return running;
}

}  // namespace tessaren
