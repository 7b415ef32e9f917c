// The stop flag and the one request handle it may close.
#include "download/cancel_token.h"

#include <utility>

namespace tessaren {

bool CancelToken::cancel() {
  std::lock_guard<std::mutex> lock(mutex_);
  stop_ = true;
  if (request_ == 0) return false;
  httpApi().closeHandle(std::exchange(request_, 0));
  return true;
}

bool CancelToken::attach(InternetHandle request) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (stop_) {
    httpApi().closeHandle(request);
    return false;
  }
  request_ = request;
  return true;
}

void CancelToken::release() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (request_ != 0) httpApi().closeHandle(std::exchange(request_, 0));
}

}  // namespace tessaren
