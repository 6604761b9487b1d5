#include "scan/scan_thread.h"

#include "platform/thread.h"

namespace quarn {

CScanThread::~CScanThread() { StopAndWaitForever(); }

void CScanThread::StopAndWaitForever() {
  if (m_nThreadState.load(std::memory_order_acquire) > kStopRequested) {
    CScanThread::Stop(true);
  }
  WaitUntilIdle();
}

void CScanThread::WaitUntilIdle() {
  while (m_nThreadState.load(std::memory_order_acquire) != kIdle) {
    platform::sleep_ms(STOP_POLL_INTERVAL_MS);
  }
}

bool CScanThread::Start() {
  if (m_nThreadState.load(std::memory_order_acquire) > kStopRequested) {
    Stop(true);
  }
  // A stop requested earlier may still be finishing: give it the same bounded
  // wait that a destructor gives, looking before each sleep.
  for (unsigned i = 0; i < poll_count_ && m_nThreadState.load(std::memory_order_acquire) != kIdle; ++i) {
    platform::sleep_ms(STOP_POLL_INTERVAL_MS);
  }
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

bool CScanThread::Stop(bool wait) {
  std::uint32_t state = m_nThreadState.load(std::memory_order_acquire);
  if (state < kRunning) return true;
  // Only a running value becomes 1; a thread that has just stored 0 stays idle.
  while (state >= kRunning &&
         !m_nThreadState.compare_exchange_weak(state, kStopRequested, std::memory_order_acq_rel,
                                               std::memory_order_acquire)) {
  }
  if (state < kRunning) return true;
  if (!wait) return true;
  for (unsigned i = 0; i < poll_count_; ++i) {
    platform::sleep_ms(STOP_POLL_INTERVAL_MS);
    if (m_nThreadState.load(std::memory_order_acquire) == kIdle) return true;
  }
  return false;
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
