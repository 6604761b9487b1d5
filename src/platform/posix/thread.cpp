#include "platform/thread.h"

#include <pthread.h>
#include <time.h>

#include <cerrno>
#include <memory>

namespace quarn::platform {
namespace {

struct Launch {
  ThreadProc proc;
  void* argument;
};

void* trampoline(void* raw) {
  std::unique_ptr<Launch> launch(static_cast<Launch*>(raw));
  launch->proc(launch->argument);
  return nullptr;
}

}  // namespace

bool start_thread(ThreadProc proc, void* argument) {
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) return false;
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  auto launch = std::make_unique<Launch>(Launch{proc, argument});
  pthread_t thread;
  int rc = pthread_create(&thread, &attr, trampoline, launch.get());
  pthread_attr_destroy(&attr);
  if (rc != 0) return false;
  launch.release();  // the new thread owns it now
  return true;
}

void sleep_ms(unsigned milliseconds) {
  timespec ts{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

}  // namespace quarn::platform
