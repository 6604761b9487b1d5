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

std::atomic<bool> g_progress_requested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void record_progress_request(int) { g_progress_requested.store(true); }

// True when the program was started with the signal ignored.
bool inherited_ignored(int signal_number) {
  struct sigaction current {};
  return ::sigaction(signal_number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
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
  // Closing the terminal sends SIGHUP, whose default ends the program
  // wherever it is, even halfway through a restore. Under nohup the user
  // asked for the scan to go on, so an ignored SIGHUP is left alone.
  if (!inherited_ignored(SIGHUP)) ok = ::sigaction(SIGHUP, &action, nullptr) == 0 && ok;

  // SIGUSR1 asks for the progress, as dd answers it; its default would end
  // the program.
  struct sigaction progress = action;
  progress.sa_handler = record_progress_request;
  ok = ::sigaction(SIGUSR1, &progress, nullptr) == 0 && ok;

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
    case SIGHUP:
      return StopSignal::hangup;
    default:
      return StopSignal::none;
  }
}

bool take_progress_request() { return g_progress_requested.exchange(false); }

}  // namespace quarn::platform
