// Runs one piece of work, Run, on a thread of its own. The whole shared state
// is one atomic word: 0 idle, 1 stop requested, 2 or more running. Waiting is
// polling: sleep STOP_POLL_INTERVAL_MS, look, at most STOP_POLL_COUNT times.
#pragma once

#include <atomic>
#include <cstdint>

namespace quarn {

class CScanThread {
 public:
  static constexpr unsigned STOP_POLL_INTERVAL_MS = 10;
  static constexpr unsigned STOP_POLL_COUNT = 1000;

  static constexpr std::uint32_t kIdle = 0;
  static constexpr std::uint32_t kStopRequested = 1;
  static constexpr std::uint32_t kRunning = 2;

  CScanThread() = default;
  // Waits without limit for a thread that is still inside Run: nothing that
  // the worker uses may be freed while it runs.
  virtual ~CScanThread();

  CScanThread(const CScanThread&) = delete;
  CScanThread& operator=(const CScanThread&) = delete;

  // Runs Run once on a new thread. A running thread is stopped and awaited
  // first. Two runs never overlap: if the old thread has not ended within the
  // bounded wait, nothing is started and the result is false.
  virtual bool Start();
  // Asks a running thread to stop; with wait, polls until it has ended or
  // the wait runs out (then false).
  virtual bool Stop(bool wait);
  virtual void Run();

  static void ThreadProc(void* pObject);

  // True while a thread runs and no stop has been requested (acquire).
  bool IsRunning() const { return m_nThreadState.load(std::memory_order_acquire) > kStopRequested; }

  std::atomic<std::uint32_t> m_nThreadState{kIdle};

 protected:
  // Polls until the word reads 0, with no limit. Derived destructors call
  // this before tearing down what their Run uses.
  void WaitUntilIdle();
  // The destructor's own stop: non-virtual, then an unbounded wait.
  void StopAndWaitForever();
  // Seam for tests that must see a failed thread start.
  virtual bool LaunchThread();

  // The most sleeps of one bounded wait. Only tests lower it, so that a
  // wait that runs out does not take ten seconds.
  unsigned poll_count_ = STOP_POLL_COUNT;
};

}  // namespace quarn
