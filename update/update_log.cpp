// The log's writer thread.
#include "update/update_log.h"

namespace tessaren {

UpdateLog::UpdateLog(std::string path, std::uint64_t rotateBytes)
    : path_(std::move(path)), rotateBytes_(rotateBytes), thread_([this] { run(); }) {}

UpdateLog::~UpdateLog() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void UpdateLog::append(std::string line) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(line));
  }
  changed_.notify_all();
}

bool UpdateLog::flush(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, limit, [this] { return queue_.empty() && !writing_; });
}

std::uint64_t UpdateLog::linesWritten() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return written_;
}

void UpdateLog::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return closing_ || !queue_.empty(); });
    if (closing_) return;
    const std::string line = std::move(queue_.front());
    queue_.pop_front();
    writing_ = true;
    lock.unlock();
    const bool written = appendLogLine(path_, line, rotateBytes_);
    lock.lock();
    writing_ = false;
    if (written) ++written_;
    changed_.notify_all();
  }
}

}  // namespace tessaren
