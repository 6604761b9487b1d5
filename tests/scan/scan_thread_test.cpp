// The worker thread's state word, its start, stop and bounded waits. No test
// asserts on durations; waits that must run out use a short poll count.
#include "scan/scan_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/thread.h"

namespace quarn {
namespace {

using namespace std::chrono_literals;

// Whether a GatedThread's Run ends early when a stop is requested.
enum class OnStop { end_run, keep_running };

// Run blocks until released, optionally ignoring stop requests, and counts
// how often it ran and whether two runs ever overlapped.
class GatedThread : public CScanThread {
 public:
  explicit GatedThread(OnStop on_stop = OnStop::end_run, unsigned poll_count = STOP_POLL_COUNT)
      : on_stop_(on_stop) {
    poll_count_ = poll_count;
  }
  ~GatedThread() override {
    release();
    StopAndWaitForever();
  }

  void Run() override {
    if (inside_.fetch_add(1) != 0) overlapped_ = true;
    runs_.fetch_add(1);
    entered_ = true;
    while (!released_.load()) {
      if (on_stop_ == OnStop::end_run && StopRequested()) break;
      platform::sleep_ms(1);
    }
    inside_.fetch_sub(1);
  }

  void release() { released_ = true; }
  void wait_entered() {
    while (!entered_.load()) std::this_thread::sleep_for(1ms);
  }
  void reset_entered() { entered_ = false; }
  void wait_idle() { WaitForIdle(PollOrder::look_first, kWithoutLimit); }

  std::atomic<int> runs_{0};
  std::atomic<bool> overlapped_{false};

 private:
  OnStop on_stop_;
  std::atomic<int> inside_{0};
  std::atomic<bool> entered_{false};
  std::atomic<bool> released_{false};
};

class NoThreads : public CScanThread {
 protected:
  bool LaunchThread() override { return false; }
};

TEST(ScanThread, plain_thread_starts_and_returns_to_idle) {
  CScanThread thread;
  EXPECT_EQ(thread.m_nThreadState.load(), 0u);
  EXPECT_TRUE(thread.Start());
  while (thread.m_nThreadState.load() != 0) std::this_thread::sleep_for(1ms);
  EXPECT_FALSE(thread.IsRunning());
}

TEST(ScanThread, stop_on_idle_object_returns_true_and_keeps_word_zero) {
  CScanThread thread;
  EXPECT_TRUE(thread.Stop(StopWait::wait));
  EXPECT_TRUE(thread.Stop(StopWait::dont_wait));
  EXPECT_EQ(thread.m_nThreadState.load(), 0u);
}

TEST(ScanThread, stop_without_wait_marks_stop_requested_until_run_returns) {
  GatedThread thread(OnStop::keep_running);
  ASSERT_TRUE(thread.Start());
  thread.wait_entered();
  EXPECT_TRUE(thread.Stop(StopWait::dont_wait));
  EXPECT_EQ(thread.m_nThreadState.load(), 1u);
  EXPECT_FALSE(thread.IsRunning());
  thread.release();
  thread.wait_idle();
  EXPECT_EQ(thread.m_nThreadState.load(), 0u);
}

TEST(ScanThread, stop_with_wait_returns_true_once_run_honours_it) {
  GatedThread thread;
  ASSERT_TRUE(thread.Start());
  thread.wait_entered();
  EXPECT_TRUE(thread.Stop(StopWait::wait));
  EXPECT_EQ(thread.m_nThreadState.load(), 0u);
}

TEST(ScanThread, stop_with_wait_runs_out_while_run_ignores_the_request) {
  GatedThread thread(OnStop::keep_running, /*poll_count=*/5);
  ASSERT_TRUE(thread.Start());
  thread.wait_entered();
  EXPECT_FALSE(thread.Stop(StopWait::wait));
  EXPECT_EQ(thread.m_nThreadState.load(), 1u);
  // A second stop while the word is 1 returns at once.
  EXPECT_TRUE(thread.Stop(StopWait::wait));
  thread.release();
  thread.wait_idle();
}

TEST(ScanThread, start_while_running_restarts_run_from_the_beginning) {
  GatedThread thread;
  ASSERT_TRUE(thread.Start());
  thread.wait_entered();
  thread.reset_entered();
  ASSERT_TRUE(thread.Start());
  thread.wait_entered();
  EXPECT_EQ(thread.runs_.load(), 2);
  EXPECT_FALSE(thread.overlapped_.load());
  EXPECT_TRUE(thread.IsRunning());
}

TEST(ScanThread, start_refuses_to_overlap_a_thread_that_will_not_end) {
  GatedThread thread(OnStop::keep_running, /*poll_count=*/5);
  ASSERT_TRUE(thread.Start());
  thread.wait_entered();
  EXPECT_FALSE(thread.Start());
  EXPECT_EQ(thread.runs_.load(), 1);
  EXPECT_EQ(thread.m_nThreadState.load(), 1u);
  thread.release();
  thread.wait_idle();
  // Once the old thread has ended, a new run starts normally.
  thread.reset_entered();
  ASSERT_TRUE(thread.Start());
  thread.wait_entered();
  EXPECT_EQ(thread.runs_.load(), 2);
  EXPECT_FALSE(thread.overlapped_.load());
}

TEST(ScanThread, start_waits_for_a_stop_requested_earlier) {
  GatedThread thread(OnStop::keep_running);
  ASSERT_TRUE(thread.Start());
  thread.wait_entered();
  thread.Stop(StopWait::dont_wait);
  std::thread releaser([&] {
    std::this_thread::sleep_for(30ms);
    thread.release();
  });
  thread.reset_entered();
  EXPECT_TRUE(thread.Start());
  releaser.join();
  EXPECT_FALSE(thread.overlapped_.load());
}

TEST(ScanThread, destruction_while_stop_requested_waits_for_the_thread) {
  std::atomic<bool> finished{false};
  class Late : public CScanThread {
   public:
    explicit Late(std::atomic<bool>& finished) : finished_(finished) {}
    // A derived Run uses the derived object, so the derived destructor is
    // where the wait belongs.
    ~Late() override { StopAndWaitForever(); }
    void Run() override {
      while (m_nThreadState.load(std::memory_order_relaxed) != kStopRequested) platform::sleep_ms(1);
      platform::sleep_ms(50);
      finished_ = true;
    }
    std::atomic<bool>& finished_;
  };
  {
    Late late(finished);
    ASSERT_TRUE(late.Start());
    late.Stop(StopWait::dont_wait);
  }
  EXPECT_TRUE(finished.load());
}

TEST(ScanThread, destruction_waits_without_limit_for_a_run_that_ignores_stop) {
  std::atomic<bool> finished{false};
  class Stubborn : public CScanThread {
   public:
    explicit Stubborn(std::atomic<bool>& finished) : finished_(finished) { poll_count_ = 3; }
    ~Stubborn() override { StopAndWaitForever(); }
    void Run() override {
      entered_ = true;
      platform::sleep_ms(100);  // far past three polls
      finished_ = true;
    }
    std::atomic<bool>& finished_;
    std::atomic<bool> entered_{false};
  };
  {
    Stubborn stubborn(finished);
    ASSERT_TRUE(stubborn.Start());
    while (!stubborn.entered_.load()) std::this_thread::sleep_for(1ms);
  }
  EXPECT_TRUE(finished.load());
}

TEST(ScanThread, failed_thread_start_leaves_word_idle) {
  NoThreads thread;
  EXPECT_FALSE(thread.Start());
  EXPECT_EQ(thread.m_nThreadState.load(), 0u);
}

}  // namespace
}  // namespace quarn
