// Runs each update as a job of the program's worker threads and hands its outcome back.
// Normally one runs at a time; an update given up (Save, the time limit) may still be
// finishing beside the one that replaced it, each with its own stop flag and its own files.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "platform/worker_threads.h"
#include "update/scheduler.h"

namespace tessaren {

using UpdateWork = std::function<UpdateOutcome(const UpdateRequest&, CancelToken&)>;

class ThreadRunner final : public UpdateRunner {
 public:
  // ended is called on the GUI thread once an update has ended, with its id (the program
  // calls Scheduler::workerDone, which collects the outcome).
  ThreadRunner(WorkerThreads& workers, std::function<void(std::uint64_t)> ended, UpdateWork work);
  ThreadRunner(const ThreadRunner&) = delete;
  ThreadRunner& operator=(const ThreadRunner&) = delete;

  void start(const UpdateRequest& request) override;
  void cancel(std::uint64_t id) override;
  std::optional<UpdateOutcome> collect(std::uint64_t id) override;

  // Updates whose work has not ended.
  int stillRunning() const;

 private:
  // Shared with the job.
  struct Run {
    UpdateRequest request;
    CancelToken cancel;
    bool ended = false;  // under the runner's mutex
    std::optional<UpdateOutcome> outcome;
  };

  WorkerThreads& workers_;
  std::function<void(std::uint64_t)> ended_;
  UpdateWork work_;
  // Shared with the jobs, which never touch the runner itself: the program may be taken
  // down around a job it could not wait for.
  std::shared_ptr<std::mutex> mutex_ = std::make_shared<std::mutex>();
  std::map<std::uint64_t, std::shared_ptr<Run>> runs_;
};

}  // namespace tessaren
