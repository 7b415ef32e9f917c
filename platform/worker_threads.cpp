// Jobs on threads of their own, their GUI halves queued for the GUI thread.
#include "platform/worker_threads.h"

#include <utility>

namespace tessaren {

WorkerThreads::WorkerThreads(std::function<void()> wake) : wake_(std::move(wake)) {}

WorkerThreads::~WorkerThreads() {
  for (auto& [job, thread] : threads_) thread.join();
}

void WorkerThreads::post(Job job) {
  std::uint64_t id = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    id = ++lastJob_;
    ++running_;
  }
  threads_.emplace(id, std::thread([this, id, job = std::move(job)] {
                     GuiHalf guiHalf = job();
                     {
                       std::lock_guard<std::mutex> lock(mutex_);
                       ended_.push_back({id, std::move(guiHalf)});
                       --running_;
                     }
                     wake_();
                   }));
}

void WorkerThreads::deliver() {
  for (;;) {
    Ended next;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (ended_.empty()) return;
      next = std::move(ended_.front());
      ended_.pop_front();
    }
    // The thread has said its last word: joining waits for no more than its return.
    if (auto thread = threads_.find(next.job); thread != threads_.end()) {
      thread->second.join();
      threads_.erase(thread);
    }
    if (next.guiHalf) next.guiHalf();
  }
}

int WorkerThreads::pending() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return running_ + static_cast<int>(ended_.size());
}

int WorkerThreads::running() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return running_;
}

}  // namespace tessaren
