// The Win32 window behind a CDialog: a dialog created from the template in
// the program's resources (res/quarn.rc, compiled into the program by
// windres), run modally by a message loop of its own. Visible to the Win32
// backend and its tests only.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <set>

#include "ui/dialog.h"
#include "ui/toolkit_window.h"

namespace quarn::ui {

// Where a minimized window's icon is drawn: centred in the client area, with
// the odd pixel on the right and at the bottom. Both divisions round toward
// zero, so a client area one pixel wider than the icon puts it at x = 1.
struct IconOrigin {
  int x;
  int y;
};
IconOrigin icon_origin(int client_width, int client_height, int icon_width, int icon_height);

// The window that a dialog without a parent of its own is centred over and
// owned by: the innermost dialog that is running modally, if any.
HWND default_owner_window(const CDialog& dialog);

class ListView;

class DialogWindow : public ToolkitWindow {
 public:
  explicit DialogWindow(CDialog& owner);
  // Destroys the window if it still exists.
  ~DialogWindow() override;
  DialogWindow(const DialogWindow&) = delete;
  DialogWindow& operator=(const DialogWindow&) = delete;

  DialogWindow* dialog_window() override { return this; }
  // OnInitDialog runs inside, while the platform makes the window. A modal
  // window disables its owner first, so that no moment is left in which
  // both take input.
  bool create_from_template(int template_id, bool modal) override;
  void show_window() override;
  // Gives Enter, Escape and Tab their dialog meaning (IsDialogMessage).
  void run_modal() override;
  // A modal loop notices the end after the message at hand; a window that
  // has no loop of its own goes now.
  void end(int result) override;
  bool start_timer(unsigned id, unsigned period_ms) override;
  bool stop_timer(unsigned id) override;
  // Appends a separator and the entry to the window's system menu.
  bool add_about_entry(unsigned command_id, std::string_view text) override;
  // The big icon is also the one that a minimized window paints and that the
  // platform shows while it is dragged.
  void set_icon(const Icon& icon, IconSize size) override;
  // Move, size, close and the rest, as the platform does them.
  void system_command(unsigned id, std::intptr_t param) override;
  bool has_control(int id) const override { return control(id) != nullptr; }
  std::string control_text(int id) const override;
  void set_control_text(int id, std::string_view text) override;
  ReportView* report_view(int id) override;

  HWND hwnd() const { return hwnd_; }
  HWND owner_window() const { return owner_window_; }
  // The child with this id, or nullptr (ids of -1 are never addressed).
  HWND control(int id) const;
  HICON icon() const { return icon_; }

 private:
  static INT_PTR CALLBACK dialog_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  INT_PTR handle(UINT message, WPARAM wparam, LPARAM lparam);
  void centre();
  bool paint_minimized();
  void stop();
  // Destroys the window now, giving the owner its input back first, so
  // that it, and not some other program, becomes the active window.
  void destroy();
  void enable_owner();

  CDialog& owner_;
  HWND hwnd_ = nullptr;
  HWND owner_window_ = nullptr;
  bool owner_disabled_ = false;
  bool modal_ = false;  // while run_modal's loop runs
  bool ended_ = false;
  HICON icon_ = nullptr;
  std::set<unsigned> timers_;
  std::map<int, std::unique_ptr<ListView>> lists_;
};

}  // namespace quarn::ui
