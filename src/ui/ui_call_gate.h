// The hand-over behind CDialog::call_on_ui_thread, written once for every
// toolkit: a worker thread hands a task to the user-interface thread and
// waits until it has run, or until the gate closes.
//
// Why it cannot deadlock: the user-interface thread never waits here. It
// runs the queued tasks (drain) between its messages, and whenever it must
// itself wait for a worker it either closes the gate first (which wakes every
// waiting caller) or keeps draining while it waits. A caller waits past
// close() only while its own task is running on the user-interface thread,
// which always ends.
#pragma once

#include <functional>
#include <memory>
#include <thread>

namespace quarn::ui {

class UiCallGate {
 public:
  // Hands a job to the user-interface thread's message queue, to wake it up
  // for drain. Callable from any thread. The job runs later on the
  // user-interface thread, or never (the queue is gone); false when it could
  // not be queued at all. The job keeps what it needs alive by itself.
  using Post = std::function<bool(std::function<void()> job)>;

  // Constructed on the user-interface thread, which it remembers.
  explicit UiCallGate(Post post);
  // Closes the gate; callers that are waiting return false.
  ~UiCallGate();
  UiCallGate(const UiCallGate&) = delete;
  UiCallGate& operator=(const UiCallGate&) = delete;

  // Runs task on the user-interface thread: there at once, elsewhere through
  // a posted job while the caller waits. True once it has run; false, with
  // the task not run, when the gate is closed or closes while waiting.
  bool call(const std::function<void()>& task);
  // Runs every task that callers are waiting on, in the order they came.
  // User-interface thread only; a task may call back into the gate.
  void drain();
  // For good: queued tasks are dropped and their callers return false.
  // User-interface thread only.
  void close();
  bool is_closed() const;
  bool on_ui_thread() const { return std::this_thread::get_id() == ui_thread_; }

 private:
  struct State;
  std::shared_ptr<State> state_;
  std::thread::id ui_thread_;
};

}  // namespace quarn::ui
