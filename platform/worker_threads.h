// The one way work leaves the GUI thread and its result comes back, in the manner of
// SumatraPDF's uitask::Post: post() starts a job on a thread of its own; the job returns
// what is to happen on the GUI thread with its result, and that is queued and announced
// (the program posts a message to its window); the GUI thread runs what is queued, in the
// order the jobs ended, when it calls deliver(). Updates, Properties' Check and Save
// picture as... all go this way, so that Exit can wait for all of them alike. The GUI
// half of a job never runs on a worker, and a worker never touches a window.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace tessaren {

class WorkerThreads {
 public:
  // What a job hands back: run on the GUI thread once the job has ended.
  using GuiHalf = std::function<void()>;
  using Job = std::function<GuiHalf()>;

  // wake: called on a worker each time a job has ended; it must only announce it (post a
  // message whose handler calls deliver()).
  explicit WorkerThreads(std::function<void()> wake);
  // Waits for the jobs still running: call it once they have been told to stop. A program
  // that cannot wait for a job (a network call Wine lets run to its time-out) ends its
  // process before it gets here.
  ~WorkerThreads();
  WorkerThreads(const WorkerThreads&) = delete;
  WorkerThreads& operator=(const WorkerThreads&) = delete;

  // Starts job on a thread of its own.
  void post(Job job);
  // GUI thread: the GUI halves of the jobs that have ended, in the order they ended.
  void deliver();
  // Jobs whose GUI half has not run yet (running, or ended and still queued).
  int pending() const;
  // Jobs still running on their thread.
  int running() const;

 private:
  struct Ended {
    std::uint64_t job;
    GuiHalf guiHalf;
  };

  std::function<void()> wake_;
  mutable std::mutex mutex_;
  std::uint64_t lastJob_ = 0;
  std::map<std::uint64_t, std::thread> threads_;  // GUI thread only
  std::deque<Ended> ended_;                       // under mutex_
  int running_ = 0;                               // under mutex_
};

}  // namespace tessaren
