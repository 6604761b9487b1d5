#include "platform/signals.h"

#include <windows.h>

#include <atomic>

namespace quarn::platform {
namespace {

std::atomic<int> g_stop_signal{0};

// The console runs this on a thread of its own; it only records the request.
BOOL WINAPI record_stop_event(DWORD event) {
  int kind;
  switch (event) {
    case CTRL_C_EVENT:
      kind = static_cast<int>(StopSignal::interrupt);
      break;
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      kind = static_cast<int>(StopSignal::terminate);
      break;
    default:
      return FALSE;
  }
  int expected = 0;
  g_stop_signal.compare_exchange_strong(expected, kind);
  return TRUE;
}

}  // namespace

bool install_stop_handlers() { return SetConsoleCtrlHandler(record_stop_event, TRUE) != 0; }

StopSignal received_stop_signal() { return static_cast<StopSignal>(g_stop_signal.load()); }

// The console has no event that asks for the progress.
bool take_progress_request() { return false; }

}  // namespace quarn::platform
