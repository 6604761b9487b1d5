// Requests that arrive from outside the program: to stop (Ctrl-C, SIGTERM
// and SIGHUP on POSIX, the console's control events on Win32) and to show
// the progress once (SIGUSR1 on POSIX). The handlers only record the
// request; the program polls for it and acts in its own time, so a file
// that is being remedied is never cut short.
#pragma once

namespace quarn::platform {

enum class StopSignal {
  none,
  interrupt,  // Ctrl-C (SIGINT, CTRL_C_EVENT)
  terminate,  // SIGTERM; Ctrl-Break, closing the console or logging off
  hangup,     // SIGHUP: the terminal was closed (POSIX only)
};

// Installs the handlers. On POSIX it also ignores SIGPIPE, so that a reader
// that goes away shows up as a failed write instead of ending the program in
// the middle of a remedy. A SIGHUP that was already ignored when the program
// started (nohup) stays ignored, so the scan outlives the terminal as asked.
// False when a handler could not be installed.
bool install_stop_handlers();

// The first stop request received since install_stop_handlers, if any.
StopSignal received_stop_signal();

// True once after one or more requests to show the progress, since the last
// call. Never true on Win32, which has no such request.
bool take_progress_request();

}  // namespace quarn::platform
