#include "platform/thread.h"

#include <process.h>
#include <windows.h>

#include <cstdint>

namespace quarn::platform {

bool start_thread(ThreadProc proc, void* argument) {
  // _beginthread with the default stack size; the run-time library closes
  // the thread's handle itself when the thread ends. It reports failure as
  // (uintptr_t)-1.
  return _beginthread(proc, 0, argument) != static_cast<std::uintptr_t>(-1);
}

void sleep_ms(unsigned milliseconds) { Sleep(milliseconds); }

}  // namespace quarn::platform
