// Runs each update on a thread of its own and hands its outcome back. Normally one runs
// at a time; an update given up (Save, the time limit) may still be finishing beside the
// one that replaced it, each with its own stop flag and its own files.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "update/scheduler.h"

namespace tessaren {

using UpdateWork = std::function<UpdateOutcome(const UpdateRequest&, CancelToken&)>;

class ThreadRunner final : public UpdateRunner {
 public:
  // ended is called on the worker thread once an update has ended, with its id; it must
  // do no more than post a message (the outcome is fetched with collect()).
  ThreadRunner(std::function<void(std::uint64_t)> ended, UpdateWork work);
  // Updates still running are left to end by themselves (or with the process).
  ~ThreadRunner() override;
  ThreadRunner(const ThreadRunner&) = delete;
  ThreadRunner& operator=(const ThreadRunner&) = delete;

  void start(const UpdateRequest& request) override;
  void cancel(std::uint64_t id) override;
  std::optional<UpdateOutcome> collect(std::uint64_t id) override;

  // Updates whose threads have not ended.
  int stillRunning() const;

 private:
  // Shared with the worker thread, which may outlive the runner when left behind.
  struct Run {
    UpdateRequest request;
    CancelToken cancel;
    bool ended = false;  // under the runner's mutex
    std::optional<UpdateOutcome> outcome;
  };

  std::function<void(std::uint64_t)> ended_;
  UpdateWork work_;
  std::shared_ptr<std::mutex> mutex_ = std::make_shared<std::mutex>();
  std::map<std::uint64_t, std::pair<std::shared_ptr<Run>, std::thread>> runs_;
};

}  // namespace tessaren
