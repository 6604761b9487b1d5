// Thread start and sleeping, in the manner of the C run-time's _beginthread:
// the thread is detached, and nothing but the procedure itself can tell when
// it has ended.
#pragma once

namespace quarn::platform {

using ThreadProc = void (*)(void* argument);

// Starts proc(argument) on a new thread with the default stack size. False
// when no thread could be started.
bool start_thread(ThreadProc proc, void* argument);

void sleep_ms(unsigned milliseconds);

}  // namespace quarn::platform
