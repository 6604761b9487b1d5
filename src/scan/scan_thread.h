// Runs one piece of work, Run, on a thread of its own. The whole shared state
// is one atomic word: 0 idle, 1 stop requested, 2 or more running. Waiting is
// polling: sleep STOP_POLL_INTERVAL_MS, look, at most STOP_POLL_COUNT times.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>

namespace quarn {

// Whether Stop waits for the thread to end.
enum class StopWait { dont_wait, wait };

// Whether a wait looks at the state word before its first sleep or after it.
enum class PollOrder { look_first, sleep_first };

class CScanThread {
 public:
  static constexpr unsigned STOP_POLL_INTERVAL_MS = 10;
  static constexpr unsigned STOP_POLL_COUNT = 1000;
  // The most sleeps of a wait that ends only when the thread does.
  static constexpr std::optional<unsigned> kWithoutLimit{};

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
  // Asks a running thread to stop; with StopWait::wait, polls (sleeping
  // first) until it has ended or the wait runs out (then false).
  virtual bool Stop(StopWait wait);
  virtual void Run();

  static void ThreadProc(void* pObject);

  // True while a thread runs and no stop has been requested (acquire).
  bool IsRunning() const { return m_nThreadState.load(std::memory_order_acquire) > kStopRequested; }
  // True once the thread has left Run (acquire): everything it wrote is
  // visible to the caller.
  bool IsIdle() const { return m_nThreadState.load(std::memory_order_acquire) == kIdle; }
  // True when a stop has been asked for and the thread has not ended yet.
  // The worker's own look between two entries: relaxed, as it needs nothing
  // but the word itself.
  bool StopRequested() const { return m_nThreadState.load(std::memory_order_relaxed) == kStopRequested; }

  // Polls the state word every STOP_POLL_INTERVAL_MS until the thread is
  // idle, sleeping at most max_sleeps times (kWithoutLimit: until it is).
  // between_looks runs before each sleep, on the caller's thread. True when
  // the thread was found idle.
  bool WaitForIdle(PollOrder order, std::optional<unsigned> max_sleeps,
                   const std::function<void()>& between_looks = {}) const;

  std::atomic<std::uint32_t> m_nThreadState{kIdle};

 protected:
  // The destructor's own stop: non-virtual, then an unbounded wait. Derived
  // destructors call it before tearing down what their Run uses.
  void StopAndWaitForever();
  // Seam for tests that must see a failed thread start.
  virtual bool LaunchThread();

  // The most sleeps of one bounded wait. Only tests lower it, so that a
  // wait that runs out does not take ten seconds.
  unsigned poll_count_ = STOP_POLL_COUNT;
};

}  // namespace quarn
