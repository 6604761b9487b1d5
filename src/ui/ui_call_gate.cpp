#include "ui/ui_call_gate.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace quarn::ui {

// One caller's request. It lives on the caller's stack: the caller does not
// leave call() while the request is queued or its task is running.
struct PendingCall {
  const std::function<void()>* task;
  bool taken = false;  // the user-interface thread has removed it from the queue
  bool done = false;   // and its task has returned
};

struct UiCallGate::State {
  explicit State(Post p) : post(std::move(p)) {}
  const Post post;
  std::mutex mutex;
  std::condition_variable changed;
  bool closed = false;
  std::deque<PendingCall*> queue;

  void drain() {
    std::unique_lock lock(mutex);
    while (!closed && !queue.empty()) {
      PendingCall* call = queue.front();
      queue.pop_front();
      call->taken = true;
      lock.unlock();
      (*call->task)();
      lock.lock();
      call->done = true;
      changed.notify_all();
    }
  }
};

UiCallGate::UiCallGate(Post post)
    : state_(std::make_shared<State>(std::move(post))), ui_thread_(std::this_thread::get_id()) {}

UiCallGate::~UiCallGate() { close(); }

bool UiCallGate::call(const std::function<void()>& task) {
  if (on_ui_thread()) {
    if (is_closed()) return false;
    task();
    return true;
  }
  // From here on only this copy is used: a gate destroyed while this caller
  // waits (which closes it) leaves the state alive until the caller is gone.
  const std::shared_ptr<State> state = state_;
  PendingCall call{&task};
  {
    std::lock_guard lock(state->mutex);
    if (state->closed) return false;
    state->queue.push_back(&call);
  }
  // The job holds the state, not the gate: it may run after the gate is gone
  // and then finds the state closed.
  const bool posted = state->post([state] { state->drain(); });
  std::unique_lock lock(state->mutex);
  if (!posted && !call.taken) {
    auto& queue = state->queue;
    queue.erase(std::remove(queue.begin(), queue.end(), &call), queue.end());
    return false;
  }
  // Once taken, the task refers to this frame until it returns, so a close
  // during the task does not release the caller before it is done.
  state->changed.wait(lock, [&] { return call.done || (state->closed && !call.taken); });
  return call.done;
}

void UiCallGate::drain() {
  if (on_ui_thread()) state_->drain();
}

void UiCallGate::close() {
  std::lock_guard lock(state_->mutex);
  state_->closed = true;
  state_->queue.clear();
  state_->changed.notify_all();
}

bool UiCallGate::is_closed() const {
  std::lock_guard lock(state_->mutex);
  return state_->closed;
}

}  // namespace quarn::ui
