// Runs each update on a thread of its own, one at a time, and hands its outcome back.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "update/scheduler.h"

namespace tessaren {

using UpdateJob = std::function<UpdateOutcome(const UpdateRequest&, CancelToken&)>;

class ThreadRunner final : public UpdateRunner {
 public:
  // ended is called on the worker thread once an update has ended, with its id; it must
  // do no more than post a message (the outcome is fetched with collect()).
  explicit ThreadRunner(std::function<void(std::uint64_t)> ended, UpdateJob job = runUpdate);
  ~ThreadRunner() override;
  ThreadRunner(const ThreadRunner&) = delete;
  ThreadRunner& operator=(const ThreadRunner&) = delete;

  void start(const UpdateRequest& request) override;
  std::optional<UpdateOutcome> collect(std::uint64_t id) override;
  void abandon() override;

  // A worker was left behind at exit; the process must end without waiting for it.
  bool leftWorkerBehind() const { return leftBehind_; }

 private:
  // Shared with the worker thread, which may outlive the runner when left behind.
  struct Run {
    UpdateRequest request;
    CancelToken cancel;
    std::mutex mutex;
    std::condition_variable endedSignal;
    bool ended = false;
    std::optional<UpdateOutcome> outcome;
  };
  bool waitEnded(std::chrono::milliseconds limit);

  std::function<void(std::uint64_t)> ended_;
  UpdateJob job_;
  std::shared_ptr<Run> run_;
  std::thread thread_;
  bool leftBehind_ = false;
};

}  // namespace tessaren
