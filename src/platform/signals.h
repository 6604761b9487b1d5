// Requests to stop that arrive from outside the program: Ctrl-C and SIGTERM
// on POSIX, the console's control events on Win32. The handlers only record
// the request; the program polls for it and stops in its own time, so a file
// that is being remedied is never cut short.
#pragma once

namespace quarn::platform {

enum class StopSignal {
  none,
  interrupt,  // Ctrl-C (SIGINT, CTRL_C_EVENT)
  terminate,  // SIGTERM; Ctrl-Break, closing the console or logging off
};

// Installs the handlers. On POSIX it also ignores SIGPIPE, so that a reader
// that goes away shows up as a failed write instead of ending the program in
// the middle of a remedy. False when a handler could not be installed.
bool install_stop_handlers();

// The first stop request received since install_stop_handlers, if any.
StopSignal received_stop_signal();

}  // namespace quarn::platform
