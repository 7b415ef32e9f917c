// The updates as jobs of the worker threads.
#include "update/thread_runner.h"

namespace tessaren {

ThreadRunner::ThreadRunner(WorkerThreads& workers, std::function<void(std::uint64_t)> ended,
                           UpdateWork work)
    : workers_(workers), ended_(std::move(ended)), work_(std::move(work)) {}

void ThreadRunner::start(const UpdateRequest& request) {
  auto run = std::make_shared<Run>();
  run->request = request;
  runs_.emplace(request.id, run);
  workers_.post([this, run, work = work_, mutex = mutex_]() -> WorkerThreads::GuiHalf {
    UpdateOutcome outcome = work(run->request, run->cancel);
    {
      std::lock_guard<std::mutex> lock(*mutex);
      run->outcome = std::move(outcome);
      run->ended = true;
    }
    return [this, id = run->request.id] { ended_(id); };
  });
}

void ThreadRunner::cancel(std::uint64_t id) {
  if (auto found = runs_.find(id); found != runs_.end()) found->second->cancel.cancel();
}

std::optional<UpdateOutcome> ThreadRunner::collect(std::uint64_t id) {
  auto found = runs_.find(id);
  if (found == runs_.end()) return std::nullopt;
  std::lock_guard<std::mutex> lock(*mutex_);
  if (!found->second->ended) return std::nullopt;
  std::optional<UpdateOutcome> outcome = std::move(found->second->outcome);
  runs_.erase(found);
  return outcome;
}

int ThreadRunner::stillRunning() const {
  std::lock_guard<std::mutex> lock(*mutex_);
  int running = 0;
  for (const auto& [id, run] : runs_)
    if (!run->ended) ++running;
  return running;
}

}  // namespace tessaren
