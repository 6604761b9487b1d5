#include "scan/scan_thread.h"

#include "platform/thread.h"

namespace quarn {

CScanThread::~CScanThread() { StopAndWaitForever(); }

void CScanThread::StopAndWaitForever() {
  if (IsRunning()) CScanThread::Stop(StopWait::dont_wait);
  WaitForIdle(PollOrder::look_first, kWithoutLimit);
}

bool CScanThread::WaitForIdle(PollOrder order, std::optional<unsigned> max_sleeps,
                              const std::function<void()>& between_looks) const {
  if (order == PollOrder::look_first && IsIdle()) return true;
  for (unsigned sleeps = 0; !max_sleeps || sleeps < *max_sleeps; ++sleeps) {
    if (between_looks) between_looks();
    platform::sleep_ms(STOP_POLL_INTERVAL_MS);
    if (IsIdle()) return true;
  }
  return false;
}

bool CScanThread::Start() {
  if (IsRunning()) Stop(StopWait::wait);
  // A stop requested earlier may still be finishing: give it the same bounded
  // wait that a destructor gives, looking before each sleep.
  WaitForIdle(PollOrder::look_first, poll_count_);
  // Only the idle word may become running, so a thread that has not ended
  // keeps its run to itself.
  std::uint32_t expected = kIdle;
  if (!m_nThreadState.compare_exchange_strong(expected, kRunning, std::memory_order_acq_rel,
                                              std::memory_order_acquire)) {
    return false;
  }
  if (!LaunchThread()) {
    m_nThreadState.store(kIdle, std::memory_order_release);
    return false;
  }
  return true;
}

bool CScanThread::LaunchThread() { return platform::start_thread(&CScanThread::ThreadProc, this); }

bool CScanThread::Stop(StopWait wait) {
  std::uint32_t state = m_nThreadState.load(std::memory_order_acquire);
  if (state < kRunning) return true;
  // Only a running value becomes 1; a thread that has just stored 0 stays idle.
  while (state >= kRunning &&
         !m_nThreadState.compare_exchange_weak(state, kStopRequested, std::memory_order_acq_rel,
                                               std::memory_order_acquire)) {
  }
  if (state < kRunning || wait == StopWait::dont_wait) return true;
  return WaitForIdle(PollOrder::sleep_first, poll_count_);
}

void CScanThread::Run() {}

void CScanThread::ThreadProc(void* pObject) {
  auto* self = static_cast<CScanThread*>(pObject);
  self->Run();
  // The last access to the object: everything Run wrote becomes visible to a
  // thread that acquires the idle word.
  self->m_nThreadState.store(kIdle, std::memory_order_release);
}

}  // namespace quarn
