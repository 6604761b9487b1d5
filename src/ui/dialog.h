// A small dialog layer of our own: exactly the services that the main window
// and the application shell take from a dialog framework, and nothing else.
//
//   - the application object and the modal run (CWinApp, run_application,
//     CDialog::DoModal);
//   - a dialog built from a template in the resource script res/quarn.rc,
//     with its controls bound by id (CDialog, DDX_Control);
//   - control text get and set (CControl::get_text / set_text);
//   - the list control in report view (CListCtrl);
//   - window timers (CDialog::SetTimer, OnTimer);
//   - the menu entry that opens the About box (append_about_entry,
//     OnSysCommand) and the string and icon resources it uses;
//   - the blocking call onto the user-interface thread that a worker uses to
//     add a list row (call_on_ui_thread), with a closed state after which no
//     call runs and none waits.
//
// No toolkit type appears here. The behaviour is written once, in
// dialog_common.cpp; each toolkit supplies only the window underneath
// (toolkit_window.h): src/ui/qt/ (Qt 6 Widgets) and src/ui/win32/ (plain
// Win32). The build links exactly one. Unless a function says otherwise it
// must be called on the user-interface thread, the thread that ran
// run_application.
//
// Texts are byte strings in the program's own encoding: WTF-8 on Win32 (the
// platform layer's form of UTF-16, which the controls are given), the file
// system's encoding (normally UTF-8) on POSIX. On POSIX a text that is not
// valid in that encoding is still shown readably: every byte that does not
// decode is shown as \xHH, control bytes likewise, and nothing is dropped.
// Text that is valid round-trips through set_text and get_text.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace quarn::ui {

// The platform's ids of the OK and Cancel commands (IDOK, IDCANCEL): the
// buttons that carry them and the results of a modal run that they end.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

class CDialog;
class CDataExchange;
class DialogWindow;  // the toolkit's window behind a CDialog
class ToolkitWindow;  // what the shared code asks of it (toolkit_window.h)
class ReportView;
class UiCallGate;

// A child control of a dialog, addressed by its id in the dialog's template.
// It is bound by DDX_Control during DoDataExchange. While it is unbound, or
// once its window has been destroyed, every operation does nothing and
// get_text gives "".
class CControl {
 public:
  CControl() = default;
  CControl(const CControl&) = delete;
  CControl& operator=(const CControl&) = delete;

  int id() const { return id_; }
  bool is_bound() const { return dialog_ != nullptr; }

  // The control's whole text (GetWindowText): a button's caption, an edit
  // box's contents, a static's text.
  std::string get_text() const;
  // Replaces the control's whole text (SetWindowText).
  void set_text(std::string_view text);

 protected:
  CDialog* dialog_ = nullptr;
  int id_ = 0;

 private:
  friend void DDX_Control(CDataExchange* pDX, int nIDC, CControl& rControl);
};

class CEdit : public CControl {};
class CButton : public CControl {};
class CStatic : public CControl {};

enum class ColumnAlign { left, right, center };

// A list control in report view: rows of texts under headed columns. Rows
// are addressed by index from the top; sub-item 0 is a row's own text,
// sub-item n its text in column n.
class CListCtrl : public CControl {
 public:
  // Adds a column at index with a heading and a width in pixels. Returns the
  // new column's index, or -1.
  int insert_column(int index, std::string_view heading, ColumnAlign align, int width);
  // Inserts a row at index (0 puts it on top; an index past the end appends)
  // whose own text is text and whose other columns are empty. Returns the new
  // row's index, or -1.
  int insert_item(int index, std::string_view text);
  // Sets the text of one column of an existing row. False when the row or
  // column does not exist.
  bool set_item_text(int item, int sub_item, std::string_view text);
  int item_count() const;
  int column_count() const;
  // "" when the row or column does not exist.
  std::string item_text(int item, int sub_item) const;
  std::string column_heading(int column) const;
  int column_width(int column) const;

 private:
  // The bound list, or nullptr when unbound, gone or not a list.
  ReportView* view() const;
};

// Control binding for DoDataExchange. The dialog layer never exchanges
// values, only binds.
class CDataExchange {
 public:
  explicit CDataExchange(CDialog& dialog) : dialog_(dialog) {}
  CDialog& dialog() const { return dialog_; }

 private:
  CDialog& dialog_;
};

// Binds rControl to the control with id nIDC of the dialog being exchanged.
// An id that the template lacks leaves the control unbound.
void DDX_Control(CDataExchange* pDX, int nIDC, CControl& rControl);

// Which of a window's two icons: the big one (task switcher, and the title
// bar where the platform has room) or the little one of the title bar. (Not
// "small": the platform's headers define that word as a macro.)
enum class IconSize { big, little };

// An icon resource (a group of images of several sizes, e.g. 32x32 and
// 16x16) loaded by its resource id. Empty when the resource is missing.
class Icon {
 public:
  Icon();
  explicit Icon(int resource_id);
  ~Icon();
  Icon(Icon&&) noexcept;
  Icon& operator=(Icon&&) noexcept;

  bool empty() const;
  struct Data;
  const Data* data() const { return data_.get(); }

 private:
  std::unique_ptr<Data> data_;
};

// The text of a string resource (LoadString), "" when it is missing.
std::string load_string(int resource_id);

// A dialog built from the dialog template with the given resource id.
//
// Life of a dialog object: construct, then run one window with DoModal (or,
// for tests and the screenshot tool, Create), then destroy. The window is
// created from the template; OnInitDialog runs before it is shown. EndDialog
// ends the window: the modal run returns, no further timer tick, command or
// UI-thread call reaches the object. A dialog object runs one window in its
// life.
//
// The window routes input to the virtual handlers: the button with id kIdOk
// (and Enter, which presses the default push button) to OnOK; a button with
// id kIdCancel, Escape and the window's close box to OnCancel.
class CDialog {
 public:
  // The dialog's owner is parent; with none, it is the active dialog of the
  // application, if any, over which the window is centred.
  explicit CDialog(int template_id, CDialog* parent = nullptr);
  virtual ~CDialog();
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  // Creates the window, runs OnInitDialog, shows it and dispatches the
  // application's messages until EndDialog; then destroys the window and
  // returns EndDialog's result. -1 when the window could not be created (a
  // missing template) or when this object has already run a window. The
  // owner is disabled meanwhile.
  int DoModal();
  // Creates the window, runs OnInitDialog and shows it, without a loop of its
  // own: the caller dispatches messages. False as DoModal's -1.
  bool Create();
  // Ends the window with a result: a modal run returns it. The user-interface
  // calls are closed at once (see close_ui_calls). A second call does nothing.
  void EndDialog(int result);
  // True from the window's creation until EndDialog.
  bool is_open() const;
  // EndDialog's result; -1 before it.
  int result() const { return result_; }
  int template_id() const { return template_id_; }

  // Handlers. The base versions do what the platform's dialog does.
  // Binds the controls (calls DoDataExchange) and returns true, which lets
  // the platform focus the first control with a tab stop.
  virtual bool OnInitDialog();
  // Binds nothing.
  virtual void DoDataExchange(CDataExchange* pDX);
  // EndDialog(kIdOk).
  virtual void OnOK();
  // EndDialog(kIdCancel).
  virtual void OnCancel();
  // A window timer's tick, with the id given to SetTimer. Does nothing.
  virtual void OnTimer(unsigned nIDEvent);
  // A command of the window menu, e.g. the About entry's command id. The
  // base passes it to the platform (move, close and the rest as usual).
  virtual void OnSysCommand(unsigned nID, std::intptr_t lParam);

  // Starts (or restarts) a timer that calls OnTimer(id) on the user-interface
  // thread every period_ms while the window is open. False without a window.
  bool SetTimer(unsigned id, unsigned period_ms);
  bool KillTimer(unsigned id);

  // Offers a command where the platform's users look for a program's About
  // entry: Win32 appends a separator and the item to the window's system
  // menu; the Qt build adds it to the window's context menu and to F1.
  // Choosing it calls OnSysCommand(command_id, 0). False, adding nothing,
  // when the window is not open or has no such menu, or text is empty.
  bool append_about_entry(unsigned command_id, std::string_view text);

  // Sets one of the open window's icons; the Qt build keeps one icon for
  // both.
  void set_icon(const Icon& icon, IconSize size);

  // Runs task on the user-interface thread and returns once it has run
  // (true). Callable from any thread; on the user-interface thread itself the
  // task runs at once. The caller waits while the user-interface thread runs
  // the task between messages, so a task may touch the controls.
  //
  // False, with the task not run, once the calls are closed; a caller that
  // is waiting when they close returns false at once. The user-interface
  // thread never waits for a caller, so this cannot deadlock as long as the
  // user-interface thread closes the calls before it waits for any thread
  // that may be calling.
  bool call_on_ui_thread(const std::function<void()>& task);
  // Closes the user-interface calls for good (see above). EndDialog and the
  // destructor close them too; a derived destructor that waits for a worker
  // must close them first. User-interface thread only.
  void close_ui_calls();
  // Runs the tasks that callers are waiting on now, rather than at the next
  // message. The user-interface thread calls it between looks when it waits
  // for a worker that may be calling, so that neither waits for the other.
  void run_pending_ui_calls();

  // The toolkit's window, for the toolkit's own code and its tests.
  DialogWindow* window() const;
  CDialog* parent() const { return parent_; }

  // The text of the control with an id ("" when there is none), and its
  // replacement; what CControl does, by id.
  std::string control_text(int id) const;
  void set_control_text(int id, std::string_view text);
  bool has_control(int id) const;

 private:
  friend class CListCtrl;
  bool create_window(bool modal);
  ReportView* report_view(int id) const;

  // The life of a dialog is kept here, once for every toolkit
  // (dialog_common.cpp): used_ from the first DoModal or Create, ended_ from
  // EndDialog; window_ from the window's creation until DoModal returns or
  // the object goes. gate_ posts to the user-interface thread in the
  // toolkit's own way (Qt: a queued call on the application object; Win32:
  // a message sent to a window of that thread).
  int template_id_;
  CDialog* parent_;
  int result_ = -1;
  bool used_ = false;
  bool ended_ = false;
  std::unique_ptr<UiCallGate> gate_;
  std::unique_ptr<ToolkitWindow> window_;
};

// The application object. Exactly one exists, usually as a global with
// static storage duration; run_application uses it.
class CWinApp {
 public:
  // app_name: the application's name, or nullptr for the platform's default
  // (the program file's name).
  explicit CWinApp(const char* app_name = nullptr);
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // Start-up. True lets the application's own message loop run until the
  // program is told to quit; false ends the program at once. The base
  // returns false.
  virtual bool InitInstance();

  // Switches on the platform's three-dimensional control look, where the
  // platform has a switch for it; the Qt build's controls always have it.
  void Enable3dControls();

  const std::string& app_name() const { return app_name_; }
  static CWinApp* instance();

  // The main window, for the platform's own use (e.g. as the default owner).
  CDialog* m_pMainWnd = nullptr;

 private:
  std::string app_name_;
};

// The program's entry: sets up the toolkit, calls the application object's
// InitInstance and, if it returned true, runs the message loop. Returns the
// program's exit code: 0, or non-zero with a plain message on standard
// error when no application object exists or no display can be opened.
int run_application(int argc, char** argv);

}  // namespace quarn::ui
