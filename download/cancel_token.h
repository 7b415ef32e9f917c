// How the GUI thread stops one update from outside: it raises the stop flag, which the
// download checks between pieces and the conversion between bands of rows, and it closes
// the request the download may be waiting on (WinINet ends a pending call when its handle
// is closed from another thread). The request is closed exactly once, whichever side
// gets there first, so a handle number never gets closed after WinINet has reused it.
#pragma once

#include <atomic>
#include <mutex>

#include "download/http_api.h"

namespace tessaren {

class CancelToken {
 public:
  CancelToken() = default;
  CancelToken(const CancelToken&) = delete;
  CancelToken& operator=(const CancelToken&) = delete;

  // Any thread, any number of times. True when it closed a request the download was
  // using: the download was then in (or about to make) a network call.
  bool cancel();
  bool stopped() const { return stop_.load(); }
  const std::atomic<bool>& flag() const { return stop_; }

  // The download's request handle, held until release(). False when the update is
  // already cancelled: the handle has then been closed here.
  bool attach(InternetHandle request);
  // Closes the attached request unless cancel() already did.
  void release();

 private:
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  InternetHandle request_ = 0;
};

}  // namespace tessaren
