// The Win32 window behind a CDialog: a dialog created from the template in
// the program's resources (res/quarn.rc, compiled into the program by
// windres), run by CDialog::DoModal's own message loop. Visible to the Win32
// backend and its tests only.
#pragma once

#include <windows.h>

#include <set>

#include "ui/dialog.h"

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

class DialogWindow {
 public:
  explicit DialogWindow(CDialog& owner);
  // Destroys the window if it still exists.
  ~DialogWindow();
  DialogWindow(const DialogWindow&) = delete;
  DialogWindow& operator=(const DialogWindow&) = delete;

  // Creates the window from the template with the given id; OnInitDialog runs
  // inside. False when the template is missing or the window cannot be made.
  bool create(int template_id, HWND owner_window);

  HWND hwnd() const { return hwnd_; }
  HWND owner_window() const { return owner_window_; }
  // The child with this id, or nullptr (ids of -1 are never addressed).
  HWND control(int id) const;

  // From here on no handler of the owner runs: timers stop and commands,
  // ticks and system commands are left to the platform.
  void end();
  bool ended() const { return ended_; }
  // Destroys the window now.
  void destroy();

  bool start_timer(unsigned id, unsigned period_ms);
  bool stop_timer(unsigned id);

  // The icon that a minimized window paints and that the platform shows
  // while it is dragged.
  void set_icon(HICON icon) { icon_ = icon; }
  HICON icon() const { return icon_; }

 private:
  static INT_PTR CALLBACK dialog_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  INT_PTR handle(UINT message, WPARAM wparam, LPARAM lparam);
  void centre();
  bool paint_minimized();

  CDialog& owner_;
  HWND hwnd_ = nullptr;
  HWND owner_window_ = nullptr;
  HICON icon_ = nullptr;
  std::set<unsigned> timers_;
  bool ended_ = false;
};

}  // namespace quarn::ui
