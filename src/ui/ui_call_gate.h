// The hand-over behind CDialog::call_on_ui_thread, written once for every
// toolkit: a worker thread hands a task to the user-interface thread and
// waits until it has run, or until the gate closes.
//
// Why it cannot deadlock: the user-interface thread never waits here. It
// runs posted jobs between its messages, and close() (user-interface thread
// only) wakes every waiting caller. A caller waits past close() only while
// its own task is running on the user-interface thread, which always ends.
#pragma once

#include <functional>
#include <memory>
#include <thread>

namespace quarn::ui {

class UiCallGate {
 public:
  // Hands a job to the user-interface thread's message queue. Callable from
  // any thread. The job runs later on the user-interface thread, or never
  // (the queue is gone); false when it could not be queued at all.
  using Post = std::function<bool(std::function<void()> job)>;

  // Constructed on the user-interface thread, which it remembers.
  explicit UiCallGate(Post post);
  // Closes the gate.
  ~UiCallGate();
  UiCallGate(const UiCallGate&) = delete;
  UiCallGate& operator=(const UiCallGate&) = delete;

  // Runs task on the user-interface thread: there at once, elsewhere through
  // a posted job while the caller waits. True once it has run; false, with
  // the task not run, when the gate is closed or closes while waiting.
  bool call(const std::function<void()>& task);
  // For good. User-interface thread only.
  void close();
  bool is_closed() const;
  bool on_ui_thread() const { return std::this_thread::get_id() == ui_thread_; }

 private:
  struct State;
  std::shared_ptr<State> state_;
  Post post_;
  std::thread::id ui_thread_;
};

}  // namespace quarn::ui
