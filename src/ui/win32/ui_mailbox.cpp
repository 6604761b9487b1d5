#include "ui/win32/ui_mailbox.h"

#include <utility>

namespace quarn::ui {
namespace {

constexpr wchar_t kClassName[] = L"QuarnUiMailbox";
constexpr UINT kRunJobs = WM_APP + 1;

bool register_class(WNDPROC window_proc) {
  static const bool registered = [window_proc] {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = window_proc;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = kClassName;
    return RegisterClassExW(&window_class) != 0;
  }();
  return registered;
}

}  // namespace

std::shared_ptr<UiMailbox> UiMailbox::for_this_thread() {
  thread_local std::shared_ptr<UiMailbox> mailbox = std::make_shared<UiMailbox>();
  return mailbox;
}

UiMailbox::UiMailbox() {
  if (!register_class(&UiMailbox::window_proc)) return;
  // A message-only window: never shown, never enumerated, owned by this
  // thread, so whatever is sent to it runs on this thread.
  hwnd_ = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (hwnd_ != nullptr) SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

UiMailbox::~UiMailbox() {
  std::deque<std::function<void()>> dropped;
  {
    std::lock_guard lock(mutex_);
    dropped.swap(jobs_);
  }
  if (hwnd_ != nullptr) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
}

bool UiMailbox::post(std::function<void()> job) {
  if (hwnd_ == nullptr) return false;
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  // When the notification cannot be sent the job stays queued: it only
  // wakes the call gate, which finds nothing to do by the time it runs, and
  // the mailbox drops it at the latest when it goes away.
  return SendNotifyMessageW(hwnd_, kRunJobs, 0, 0) != 0;
}

void UiMailbox::run_jobs() {
  std::deque<std::function<void()>> ready;
  {
    std::lock_guard lock(mutex_);
    ready.swap(jobs_);
  }
  for (auto& job : ready) job();
}

LRESULT CALLBACK UiMailbox::window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kRunJobs) {
    auto* mailbox = reinterpret_cast<UiMailbox*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (mailbox != nullptr) mailbox->run_jobs();
    return 0;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

}  // namespace quarn::ui
