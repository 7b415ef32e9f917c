// The stop flag and the one handle it may close.
#include "download/cancel_token.h"

#include <utility>

namespace tessaren {

bool CancelToken::cancel() {
  std::function<void()> close;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    close = std::exchange(close_, nullptr);
  }
  if (!close) return false;
  close();
  return true;
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
