// The hand-over of a worker's task to the user-interface thread, with a
// plain thread and queue standing in for the toolkit's message loop.
#include "ui/ui_call_gate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace quarn::ui {
namespace {

// The user-interface thread's message queue: post adds a job, pump runs the
// jobs that are there.
class MessageQueue {
 public:
  bool post(std::function<void()> job) {
    std::lock_guard lock(mutex_);
    if (refuse_) return false;
    jobs_.push_back(std::move(job));
    posted_.notify_all();
    return true;
  }
  void pump() {
    std::deque<std::function<void()>> jobs;
    {
      std::lock_guard lock(mutex_);
      jobs.swap(jobs_);
    }
    for (auto& job : jobs) job();
  }
  // Waits until at least n jobs have been posted and not yet pumped.
  void wait_for_posts(std::size_t n) {
    std::unique_lock lock(mutex_);
    posted_.wait(lock, [&] { return jobs_.size() >= n; });
  }
  void refuse() {
    std::lock_guard lock(mutex_);
    refuse_ = true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> jobs_;
  bool refuse_ = false;
};

struct GateFixture : ::testing::Test {
  MessageQueue queue;
  UiCallGate gate{[this](std::function<void()> job) { return queue.post(std::move(job)); }};
};

TEST_F(GateFixture, tasks_from_a_worker_run_on_the_ui_thread_in_order_while_it_waits) {
  const auto ui = std::this_thread::get_id();
  std::vector<int> ran;
  std::atomic<int> returned{0};
  std::thread worker([&] {
    for (int i = 0; i < 50; ++i) {
      bool on_ui = false;
      EXPECT_TRUE(gate.call([&] {
        on_ui = std::this_thread::get_id() == ui;
        ran.push_back(i);
      }));
      // The task has run when call returns: its effect is visible here.
      EXPECT_TRUE(on_ui);
      returned.fetch_add(1);
    }
  });
  while (returned.load() < 50) queue.pump();
  worker.join();
  ASSERT_EQ(ran.size(), 50u);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(ran[static_cast<std::size_t>(i)], i);
}

TEST_F(GateFixture, a_call_on_the_ui_thread_runs_at_once_and_none_runs_once_closed) {
  int ran = 0;
  EXPECT_TRUE(gate.call([&] { ++ran; }));
  EXPECT_EQ(ran, 1);
  gate.close();
  EXPECT_TRUE(gate.is_closed());
  EXPECT_FALSE(gate.call([&] { ++ran; }));
  EXPECT_EQ(ran, 1);
}

TEST_F(GateFixture, closing_releases_a_waiting_worker_without_running_its_task) {
  std::atomic<bool> ran{false};
  std::atomic<int> result{-1};
  std::thread worker([&] { result = gate.call([&] { ran = true; }) ? 1 : 0; });
  queue.wait_for_posts(1);
  // The user-interface thread never pumps; it closes, as a window that is
  // being destroyed does, and may then wait for the worker.
  gate.close();
  worker.join();
  EXPECT_EQ(result.load(), 0);
  // The job that is still queued finds the gate closed and does nothing.
  queue.pump();
  EXPECT_FALSE(ran.load());
}

TEST_F(GateFixture, a_worker_calling_after_close_returns_at_once) {
  gate.close();
  std::atomic<int> result{-1};
  std::thread worker([&] { result = gate.call([] {}) ? 1 : 0; });
  worker.join();
  EXPECT_EQ(result.load(), 0);
}

TEST_F(GateFixture, a_task_that_closes_the_gate_still_finishes_before_its_caller_returns) {
  std::atomic<bool> finished{false};
  std::atomic<int> result{-1};
  std::thread worker([&] {
    result = gate.call([&] {
      gate.close();
      // The caller must still be waiting: this frame refers to its task.
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      finished = true;
    }) ? 1 : 0;
    EXPECT_TRUE(finished.load());
  });
  queue.wait_for_posts(1);
  queue.pump();
  worker.join();
  EXPECT_EQ(result.load(), 1);
}

TEST_F(GateFixture, the_ui_thread_can_wait_for_a_calling_worker_by_draining) {
  // The user-interface thread waits for the worker to end without pumping
  // its message queue, running the waiting tasks through drain instead.
  std::atomic<bool> done{false};
  int rows = 0;
  std::thread worker([&] {
    for (int i = 0; i < 20; ++i) EXPECT_TRUE(gate.call([&] { ++rows; }));
    done = true;
  });
  while (!done.load()) {
    gate.drain();
    std::this_thread::yield();
  }
  worker.join();
  EXPECT_EQ(rows, 20);
}

TEST_F(GateFixture, a_job_that_cannot_be_posted_fails_the_call_without_running_it) {
  queue.refuse();
  std::atomic<int> result{-1};
  bool ran = false;
  std::thread worker([&] { result = gate.call([&] { ran = true; }) ? 1 : 0; });
  worker.join();
  EXPECT_EQ(result.load(), 0);
  gate.drain();
  EXPECT_FALSE(ran);
}

TEST(UiCallGate, a_job_that_runs_after_the_gate_is_gone_does_nothing) {
  MessageQueue queue;
  std::atomic<int> result{-1};
  std::thread worker;
  {
    UiCallGate gate([&](std::function<void()> job) { return queue.post(std::move(job)); });
    worker = std::thread([&] { result = gate.call([] {}) ? 1 : 0; });
    queue.wait_for_posts(1);
  }  // the destructor closes, releasing the worker
  worker.join();
  queue.pump();
  EXPECT_EQ(result.load(), 0);
}

}  // namespace
}  // namespace quarn::ui
