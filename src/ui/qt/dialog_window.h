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
#include "ui/toolkit_window.h"

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
class ReportList : public QTreeWidget, public ReportView {
 public:
  using QTreeWidget::QTreeWidget;

  int column_count() const override { return columns_; }
  int item_count() const override { return topLevelItemCount(); }
  int insert_column(int index, std::string_view heading, ColumnAlign align, int width) override;
  int insert_item(int index, std::string_view text) override;
  bool set_item_text(int item, int sub_item, std::string_view text) override;
  std::string item_text(int item, int sub_item) const override;
  std::string column_heading(int column) const override;
  int column_width(int column) const override { return columnWidth(column); }

 private:
  int columns_ = 0;
  std::vector<ColumnAlign> aligns_;
};

class DialogWindow : public QDialog, public ToolkitWindow {
 public:
  explicit DialogWindow(CDialog& owner);
  ~DialogWindow() override;

  DialogWindow* dialog_window() override { return this; }
  bool create_from_template(int template_id, bool modal) override;
  void show_window() override { show(); }
  void run_modal() override { exec(); }
  void end(int result) override;
  bool start_timer(unsigned id, unsigned period_ms) override;
  bool stop_timer(unsigned id) override;
  bool add_about_entry(unsigned command_id, std::string_view text) override;
  void set_icon(const Icon& icon, IconSize size) override;
  // Qt handles moving and closing in the window manager; no other system
  // command reaches a Qt window.
  void system_command(unsigned, std::intptr_t) override {}
  bool has_control(int id) const override { return control(id) != nullptr; }
  std::string control_text(int id) const override;
  void set_control_text(int id, std::string_view text) override;
  ReportView* report_view(int id) override { return dynamic_cast<ReportList*>(control(id)); }

  // The first control with this id (ids of -1 are never addressed).
  QWidget* control(int id) const;
  // Once the window has been made.
  const DialogTemplate& dialog_template() const { return *template_; }
  const DialogUnits& units() const { return units_; }
  // Whether a static keeps line breaks: it wraps, and its box has room for
  // more than one line.
  bool is_multi_line(int id) const;
  bool is_multi_line(const ControlTemplate& control) const;

  QAction* about_action() const { return about_action_; }

 protected:
  // Escape and the close box come here: they go to the owner's OnCancel,
  // which decides whether the window ends.
  void reject() override;
  void showEvent(QShowEvent* event) override;

 private:
  void build_controls();
  QWidget* make_control(const ControlTemplate& control);
  void focus_first_tab_stop();
  void command(int id);

  // Null from end() on: no handler of the dialog runs after that.
  CDialog* owner_;
  const DialogTemplate* template_ = nullptr;
  QPointer<QWidget> owner_window_;
  DialogUnits units_;
  std::map<int, QWidget*> controls_;
  int line_height_ = 0;
  std::map<unsigned, QTimer*> timers_;
  QAction* about_action_ = nullptr;
  bool placed_ = false;
};

}  // namespace quarn::ui
