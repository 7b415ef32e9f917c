// The stop flag and the one handle it may close.
#include "download/cancel_token.h"

#include <utility>

namespace tessaren {

bool CancelToken::cancel() {
  std::function<void()> close;
  bool closed = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    close = std::exchange(close_, nullptr);
    // Under the lock, so that a child is never cancelled after it was untied.
    for (CancelToken* child : children_) closed = child->cancel() || closed;
  }
  if (!close) return closed;
  close();
  return true;
}

void CancelToken::tie(CancelToken& child) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (stop_) {
    child.cancel();
    return;
  }
  children_.push_back(&child);
}

void CancelToken::untie(CancelToken& child) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::erase(children_, &child);
}

bool CancelToken::attach(std::function<void()> close) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!stop_) {
      close_ = std::move(close);
      return true;
    }
  }
  close();
  return false;
}

void CancelToken::release() {
  std::function<void()> close;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    close = std::exchange(close_, nullptr);
  }
  if (close) close();
}

}  // namespace tessaren
