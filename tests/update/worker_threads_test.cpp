// The one way work leaves the GUI thread: jobs end in any order, and their GUI halves run
// on the thread that delivers, in the order the jobs ended, once each; the updates' runner
// on top of it; and Exit's way of waiting, which delivers until nothing is pending.
#include "platform/worker_threads.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <thread>

#include "update/thread_runner.h"

namespace tessaren {
namespace {

// Counts the announcements a wake makes, and waits for them.
class Wakes {
 public:
  void operator()() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++count_;
    changed_.notify_all();
  }
  void waitFor(int count) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return count_ >= count; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int count_ = 0;
};

TEST(WorkerThreads, GuiHalvesRunWhereDeliveredInTheOrderTheJobsEnded) {
  Wakes wakes;
  WorkerThreads workers([&] { wakes(); });
  std::promise<void> releaseFirst;
  const std::shared_future<void> released = releaseFirst.get_future().share();
  const std::thread::id gui = std::this_thread::get_id();
  std::vector<int> order;
  workers.post([&, released] {
    released.wait();
    return [&] {
      EXPECT_EQ(std::this_thread::get_id(), gui);
      order.push_back(1);
    };
  });
  workers.post([&] { return [&] { order.push_back(2); }; });
  wakes.waitFor(1);
  EXPECT_EQ(workers.pending(), 2);
  EXPECT_EQ(workers.running(), 1);
  EXPECT_TRUE(order.empty()) << "nothing runs before deliver()";
  workers.deliver();
  EXPECT_EQ(order, std::vector<int>{2});
  releaseFirst.set_value();
  wakes.waitFor(2);
  workers.deliver();
  workers.deliver();
  EXPECT_EQ(order, (std::vector<int>{2, 1}));
  EXPECT_EQ(workers.pending(), 0);
}

// The runner of the updates: an outcome is collected once, after its job has said so on
// the GUI thread, and a cancel reaches the job's own stop flag; Exit delivers until nothing
// is pending.
TEST(WorkerThreads, UpdatesEndThroughThemAndExitWaitsForAll) {
  Wakes wakes;
  WorkerThreads workers([&] { wakes(); });
  std::vector<std::uint64_t> ended;
  std::promise<void> releaseFirst;
  const std::shared_future<void> released = releaseFirst.get_future().share();
  ThreadRunner runner(
      workers, [&](std::uint64_t id) { ended.push_back(id); },
      [released](const UpdateRequest& request, CancelToken& cancel) {
        if (request.id == 1) released.wait();
        while (request.id == 2 && !cancel.stopped()) std::this_thread::yield();
        return failedOutcome(std::to_string(request.id), cancelledFailure());
      });
  UpdateRequest request;
  for (std::uint64_t id : {1, 2}) {
    request.id = id;
    runner.start(request);
  }
  EXPECT_EQ(runner.stillRunning(), 2);
  EXPECT_FALSE(runner.collect(1)) << "still running";
  runner.cancel(2);
  wakes.waitFor(1);
  workers.deliver();
  EXPECT_EQ(ended, std::vector<std::uint64_t>{2});
  const std::optional<UpdateOutcome> second = runner.collect(2);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->host, "2");
  EXPECT_FALSE(runner.collect(2)) << "once";
  EXPECT_EQ(runner.stillRunning(), 1);

  // Exit: the last one is let go, and delivered like the others.
  releaseFirst.set_value();
  while (workers.pending() > 0) {
    wakes.waitFor(2);
    workers.deliver();
  }
  EXPECT_EQ(ended, (std::vector<std::uint64_t>{2, 1}));
  EXPECT_EQ(runner.stillRunning(), 0);
}

}  // namespace
}  // namespace tessaren
