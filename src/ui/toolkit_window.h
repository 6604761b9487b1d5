// What the shared dialog code (dialog_common.cpp) asks of a toolkit. The
// shared code keeps a dialog's state (used, open, ended, its result) and
// checks every argument; a toolkit only makes, shows, runs and ends its
// window and reads and writes its controls. Nothing reaches a toolkit that
// the shared code has refused: every row and column index it is handed
// addresses an existing row or column, or for an insertion lies between 0
// and the count.
//
// Each toolkit's DialogWindow implements ToolkitWindow, and each toolkit
// defines the free functions below. The build links exactly one toolkit.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "ui/dialog.h"
#include "ui/ui_call_gate.h"

namespace quarn::ui {

// A list control in report view, seen from the shared code.
class ReportView {
 public:
  virtual int column_count() const = 0;
  virtual int item_count() const = 0;
  // The new column's or row's index, or -1 when the toolkit refused it.
  virtual int insert_column(int index, std::string_view heading, ColumnAlign align, int width) = 0;
  virtual int insert_item(int index, std::string_view text) = 0;
  virtual bool set_item_text(int item, int sub_item, std::string_view text) = 0;
  virtual std::string item_text(int item, int sub_item) const = 0;
  virtual std::string column_heading(int column) const = 0;
  virtual int column_width(int column) const = 0;

 protected:
  ~ReportView() = default;
};

class ToolkitWindow {
 public:
  virtual ~ToolkitWindow() = default;

  // The toolkit's own window type behind this interface (CDialog::window).
  virtual DialogWindow* dialog_window() = 0;

  // Makes the window from the dialog template with this id, over the owner
  // that the dialog's parent or the application gives, and runs the
  // dialog's OnInitDialog before the window is shown; when that returns
  // true the first control with a tab stop takes the focus. modal: the
  // window is about to run in run_modal, and its owner takes no input until
  // this object is destroyed. False, with nothing shown, when the template
  // is missing or the window cannot be made.
  virtual bool create_from_template(int template_id, bool modal) = 0;
  // Shows the window; the caller dispatches the messages.
  virtual void show_window() = 0;
  // Shows the window and dispatches the application's messages until end()
  // or until the application is told to quit.
  virtual void run_modal() = 0;
  // From here on no handler of the dialog runs: timers stop, and the window
  // closes (a modal loop returns after the message at hand).
  virtual void end(int result) = 0;

  virtual bool start_timer(unsigned id, unsigned period_ms) = 0;
  virtual bool stop_timer(unsigned id) = 0;
  // text is not empty.
  virtual bool add_about_entry(unsigned command_id, std::string_view text) = 0;
  // icon is not empty.
  virtual void set_icon(const Icon& icon, IconSize size) = 0;
  // What the platform does with a command of the window menu.
  virtual void system_command(unsigned id, std::intptr_t param) = 0;

  virtual bool has_control(int id) const = 0;
  virtual std::string control_text(int id) const = 0;
  virtual void set_control_text(int id, std::string_view text) = 0;
  // The control with this id if it is a list in report view, else nullptr.
  virtual ReportView* report_view(int id) = 0;
};

// A window for this dialog, not made yet (create_from_template makes it).
std::unique_ptr<ToolkitWindow> make_toolkit_window(CDialog& dialog);

// How the toolkit wakes the user-interface thread for the dialog's call
// gate. Called on the user-interface thread.
UiCallGate::Post ui_thread_post();

// run_application once the application object is known to exist: set up
// the toolkit, call InitInstance and, if it returned true, run the loop.
int run_toolkit_application(CWinApp& app, int argc, char** argv);

}  // namespace quarn::ui
