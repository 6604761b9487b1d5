// The Qt window behind a CDialog: a QDialog whose children are built from a
// dialog template, placed by dialog units converted with the dialog font's
// own metrics. Visible to the Qt backend and its tests only.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QSize>
#include <QTreeWidget>
#include <map>

#include "ui/dialog.h"
#include "ui/dialog_template.h"

class QAction;
class QTimer;

namespace quarn::ui {

// Pixels per dialog unit come from the font: the base width is the average
// width of A-Z and a-z (rounded as the platform rounds), the base height is
// the font's height. x and width scale by base width / 4, y and height by
// base height / 8.
struct DialogUnits {
  int base_x;
  int base_y;
  int x(int units) const;
  int y(int units) const;
};
DialogUnits dialog_units_of(const QFont& font);

// The report-view list: a QTreeWidget with flat rows and fixed column
// widths, holding the column count itself (an empty QTreeWidget claims one).
class ReportList : public QTreeWidget {
 public:
  using QTreeWidget::QTreeWidget;
  int columns = 0;
  std::vector<ColumnAlign> aligns;
};

class DialogWindow : public QDialog {
 public:
  DialogWindow(CDialog& owner, const DialogTemplate& dialog_template, QWidget* owner_window);
  ~DialogWindow() override;

  // The first control with this id (ids of -1 are never addressed).
  QWidget* control(int id) const;
  const DialogTemplate& dialog_template() const { return template_; }
  const DialogUnits& units() const { return units_; }
  // Whether a static keeps line breaks: it wraps, and its box has room for
  // more than one line.
  bool is_multi_line(int id) const;
  bool is_multi_line(const ControlTemplate& control) const;

  void start_timer(unsigned id, unsigned period_ms);
  bool stop_timer(unsigned id);
  bool add_about_entry(unsigned command_id, const QString& text);
  QAction* about_action() const { return about_action_; }

  // Ends the window: no handler of the owner runs from here on.
  void end(int result);
  void focus_first_tab_stop();

 protected:
  // Escape and the close box come here: they go to the owner's OnCancel,
  // which decides whether the window ends.
  void reject() override;
  void showEvent(QShowEvent* event) override;

 private:
  void build_controls();
  QWidget* make_control(const ControlTemplate& control);
  void command(int id);

  CDialog* owner_;
  const DialogTemplate& template_;
  QPointer<QWidget> owner_window_;
  DialogUnits units_;
  std::map<int, QWidget*> controls_;
  int line_height_ = 0;
  std::map<unsigned, QTimer*> timers_;
  QAction* about_action_ = nullptr;
  bool placed_ = false;
};

}  // namespace quarn::ui
