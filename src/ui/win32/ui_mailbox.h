// The user-interface thread's mailbox: how a worker wakes that thread to run
// the calls that it waits on (CDialog::call_on_ui_thread).
//
// A worker queues a job here and sends the mailbox's hidden window a
// notification across threads (SendNotifyMessage). A sent message is
// delivered whenever the user-interface thread looks at its queue, also
// inside the platform's own modal loops (moving the window, a menu), where
// posted messages wait. SendNotifyMessage does not wait for the delivery:
// the worker waits in the call gate instead, which the user-interface
// thread closes before it ever waits for a worker, so neither thread can
// end up waiting for the other.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace quarn::ui {

class UiMailbox {
 public:
  // The mailbox of the calling thread, made on first use; that thread is
  // the one that runs the jobs.
  static std::shared_ptr<UiMailbox> for_this_thread();

  UiMailbox();
  // Drops the jobs that have not run and destroys the hidden window.
  ~UiMailbox();
  UiMailbox(const UiMailbox&) = delete;
  UiMailbox& operator=(const UiMailbox&) = delete;

  // Any thread. False, with the job dropped, when the mailbox cannot take it.
  bool post(std::function<void()> job);
  // The thread's own jobs, run now.
  void run_jobs();

 private:
  static LRESULT CALLBACK window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

  std::mutex mutex_;
  std::deque<std::function<void()>> jobs_;
  HWND hwnd_ = nullptr;
};

}  // namespace quarn::ui
