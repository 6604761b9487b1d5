#include "platform/signals.h"

#include <signal.h>

#include <atomic>

namespace quarn::platform {
namespace {

// Written by the handler, read by the main loop. A lock-free atomic is safe
// to store from a signal handler.
std::atomic<int> g_stop_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void record_stop_signal(int signal_number) {
  int expected = 0;
  // The first request decides the exit status; later ones change nothing.
  g_stop_signal.compare_exchange_strong(expected, signal_number);
}

}  // namespace

bool install_stop_handlers() {
  struct sigaction action {};
  action.sa_handler = record_stop_signal;
  sigemptyset(&action.sa_mask);
  // Reads and writes in progress carry on instead of failing with EINTR.
  action.sa_flags = SA_RESTART;
  bool ok = ::sigaction(SIGINT, &action, nullptr) == 0;
  ok = ::sigaction(SIGTERM, &action, nullptr) == 0 && ok;

  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ok = ::sigaction(SIGPIPE, &ignore, nullptr) == 0 && ok;
  return ok;
}

StopSignal received_stop_signal() {
  switch (g_stop_signal.load()) {
    case SIGINT:
      return StopSignal::interrupt;
    case SIGTERM:
      return StopSignal::terminate;
    default:
      return StopSignal::none;
  }
}

}  // namespace quarn::platform
