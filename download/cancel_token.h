// How the GUI thread stops one update from outside: it raises the stop flag, which every
// long step of the update checks, and closes the handle a network call may be waiting on
// (WinINet ends a pending call when its handle is closed from another thread). The handle
// is closed exactly once, whichever side gets there first, so that a handle number is
// never closed after the system has reused it.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

namespace tessaren {

class CancelToken {
 public:
  CancelToken() = default;
  CancelToken(const CancelToken&) = delete;
  CancelToken& operator=(const CancelToken&) = delete;

  // Any thread, any number of times. True when it closed a handle the update was using:
  // the update was then in (or about to make) a network call.
  bool cancel();
  bool stopped() const { return stop_.load(); }
  const std::atomic<bool>& flag() const { return stop_; }

  // close shuts the handle the update waits on, held until release(). False when the
  // update is already cancelled: close has then been called here.
  bool attach(std::function<void()> close);
  // Closes the attached handle unless cancel() already did.
  void release();

  // For an update that downloads several pictures at once, each on a token of its own:
  // cancelling this one cancels child too (at once, when this one is cancelled already),
  // until untie.
  void tie(CancelToken& child);
  void untie(CancelToken& child);

 private:
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::function<void()> close_;
  std::vector<CancelToken*> children_;
};

}  // namespace tessaren
