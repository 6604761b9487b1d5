// The dialog layer's shared behaviour on a toolkit of the test's own: what
// the shared code decides for every toolkit (one window per object, how a
// modal run ends, what an ended window still takes, and which list indices
// are refused) holds whatever the toolkit does. The fake list reads its
// cells with at(), so an index that the shared code lets through unchecked
// throws and fails the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "ui/dialog.h"
#include "ui/toolkit_window.h"

namespace quarn::ui {

struct Icon::Data {};
Icon::Icon() = default;
Icon::~Icon() = default;
bool Icon::empty() const { return data_ == nullptr; }

namespace {

constexpr int kTemplate = 7;
constexpr int kList = 10;
constexpr int kLabel = 11;

class FakeList final : public ReportView {
 public:
  int column_count() const override { return static_cast<int>(headings_.size()); }
  int item_count() const override { return static_cast<int>(rows_.size()); }
  int insert_column(int index, std::string_view heading, ColumnAlign, int width) override {
    headings_.insert(headings_.begin() + check(index, column_count()), std::string(heading));
    widths_.insert(widths_.begin() + index, width);
    for (auto& row : rows_) {
      if (row.size() < headings_.size()) row.insert(row.begin() + std::min(index, static_cast<int>(row.size())), "");
    }
    return index;
  }
  int insert_item(int index, std::string_view text) override {
    rows_.insert(rows_.begin() + check(index, item_count()), {std::string(text)});
    rows_[static_cast<std::size_t>(index)].resize(static_cast<std::size_t>(std::max(column_count(), 1)));
    return index;
  }
  bool set_item_text(int item, int sub_item, std::string_view text) override {
    cell(item, sub_item) = text;
    return true;
  }
  std::string item_text(int item, int sub_item) const override {
    return const_cast<FakeList*>(this)->cell(item, sub_item);
  }
  std::string column_heading(int column) const override { return headings_.at(static_cast<std::size_t>(column)); }
  int column_width(int column) const override { return widths_.at(static_cast<std::size_t>(column)); }

 private:
  static int check(int index, int count) {
    if (index < 0 || index > count) throw std::out_of_range("insertion index");
    return index;
  }
  std::string& cell(int item, int sub_item) {
    return rows_.at(static_cast<std::size_t>(item)).at(static_cast<std::size_t>(sub_item));
  }
  std::vector<std::string> headings_;
  std::vector<int> widths_;
  std::vector<std::vector<std::string>> rows_;
};

// What "the user" does while a modal loop runs; nothing means the
// application was told to quit.
std::function<void(CDialog&)> g_in_loop;

}  // namespace

class DialogWindow final : public ToolkitWindow {
 public:
  explicit DialogWindow(CDialog& dialog) : dialog_(dialog) {}
  DialogWindow* dialog_window() override { return this; }
  bool create_from_template(int template_id, bool) override {
    if (template_id != kTemplate) return false;
    if (dialog_.OnInitDialog()) focused = true;
    return true;
  }
  void show_window() override { shown = true; }
  void run_modal() override {
    shown = true;
    if (g_in_loop) g_in_loop(dialog_);
  }
  void end(int result) override { ends.push_back(result); }
  bool start_timer(unsigned id, unsigned) override { return timers[id] = true; }
  bool stop_timer(unsigned id) override { return std::exchange(timers[id], false); }
  bool add_about_entry(unsigned, std::string_view) override { return true; }
  void set_icon(const Icon&, IconSize) override {}
  void system_command(unsigned, std::intptr_t) override {}
  bool has_control(int id) const override { return id == kList || id == kLabel; }
  std::string control_text(int id) const override { return id == kLabel ? label : ""; }
  void set_control_text(int id, std::string_view text) override {
    if (id == kLabel) label = text;
  }
  ReportView* report_view(int id) override { return id == kList ? &list : nullptr; }

  bool focused = false;
  bool shown = false;
  std::vector<int> ends;
  std::map<unsigned, bool> timers;
  std::string label = "label";
  FakeList list;

 private:
  CDialog& dialog_;
};

std::unique_ptr<ToolkitWindow> make_toolkit_window(CDialog& dialog) { return std::make_unique<DialogWindow>(dialog); }
UiCallGate::Post ui_thread_post() {
  return [](std::function<void()>) { return false; };
}
int run_toolkit_application(CWinApp& app, int, char**) { return app.InitInstance() ? 3 : 0; }

namespace {

class ListDialog : public CDialog {
 public:
  explicit ListDialog(int template_id = kTemplate) : CDialog(template_id) {}
  void DoDataExchange(CDataExchange* pDX) override {
    DDX_Control(pDX, kList, list);
    DDX_Control(pDX, kLabel, label);
  }
  CListCtrl list;
  CStatic label;
};

TEST(SharedDialog, a_dialog_runs_one_window_and_an_ended_window_takes_nothing_more) {
  ListDialog missing_template(kTemplate + 1);
  EXPECT_FALSE(missing_template.is_open());
  EXPECT_FALSE(missing_template.SetTimer(1, 10));  // no window yet
  EXPECT_FALSE(missing_template.Create());
  EXPECT_EQ(missing_template.window(), nullptr);

  ListDialog dialog;
  ASSERT_TRUE(dialog.Create());
  DialogWindow* window = dialog.window();
  EXPECT_TRUE(window->focused && window->shown);
  EXPECT_TRUE(dialog.label.is_bound());
  EXPECT_TRUE(dialog.SetTimer(4, 10));
  EXPECT_TRUE(dialog.KillTimer(4));
  dialog.EndDialog(kIdOk);
  dialog.EndDialog(kIdCancel);  // the first end stands
  EXPECT_EQ(window->ends, std::vector<int>{kIdOk});
  EXPECT_EQ(dialog.result(), kIdOk);
  EXPECT_FALSE(dialog.is_open());
  EXPECT_FALSE(dialog.SetTimer(5, 10));
  EXPECT_FALSE(dialog.append_about_entry(9, "About"));
  EXPECT_FALSE(dialog.call_on_ui_thread([] {}));
  EXPECT_EQ(dialog.DoModal(), -1);
  EXPECT_FALSE(dialog.Create());

  struct Way {
    const char* name;
    std::function<void(CDialog&)> in_loop;
    int result;
  };
  const Way ways[] = {
      {"OK", [](CDialog& d) { d.OnOK(); }, kIdOk},
      {"EndDialog(42)", [](CDialog& d) { d.EndDialog(42); }, 42},
      {"the application quits", nullptr, kIdCancel},
  };
  for (const Way& way : ways) {
    g_in_loop = way.in_loop;
    ListDialog modal;
    EXPECT_EQ(modal.DoModal(), way.result) << way.name;
    // The window is gone with the run: its controls are unbound in effect.
    EXPECT_EQ(modal.window(), nullptr) << way.name;
    EXPECT_EQ(modal.label.get_text(), "") << way.name;
  }
  g_in_loop = nullptr;

  EXPECT_EQ(run_application(0, nullptr), 1);  // no application object
  CWinApp app;
  EXPECT_EQ(run_application(0, nullptr), 0);  // InitInstance said no
}

TEST(SharedDialog, list_indices_out_of_range_never_reach_the_toolkit) {
  ListDialog dialog;
  ASSERT_TRUE(dialog.Create());
  CListCtrl& list = dialog.list;
  // A row's own text is there before any column.
  EXPECT_EQ(list.insert_item(0, "row"), 0);
  EXPECT_EQ(list.item_text(0, 0), "row");
  EXPECT_TRUE(list.set_item_text(0, 0, "first"));
  EXPECT_FALSE(list.set_item_text(0, 1, "no column"));

  EXPECT_EQ(list.insert_column(-1, "x", ColumnAlign::left, 1), -1);
  EXPECT_EQ(list.insert_item(-1, "x"), -1);
  EXPECT_EQ(list.insert_column(0, "File", ColumnAlign::left, 150), 0);
  EXPECT_EQ(list.insert_column(9, "Path", ColumnAlign::left, 240), 1);  // past the end: appended
  EXPECT_EQ(list.insert_item(9, "last"), 1);
  EXPECT_EQ(list.column_count(), 2);
  EXPECT_EQ(list.item_count(), 2);

  for (int column : {-1, 2}) {
    EXPECT_EQ(list.column_heading(column), "") << column;
    EXPECT_EQ(list.column_width(column), 0) << column;
  }
  EXPECT_EQ(list.column_heading(1), "Path");
  EXPECT_EQ(list.column_width(1), 240);
  for (auto [item, sub_item] : {std::pair{-1, 0}, {2, 0}, {0, -1}, {0, 2}}) {
    EXPECT_FALSE(list.set_item_text(item, sub_item, "x")) << item << ", " << sub_item;
    EXPECT_EQ(list.item_text(item, sub_item), "") << item << ", " << sub_item;
  }
  EXPECT_TRUE(list.set_item_text(1, 1, "/a"));
  EXPECT_EQ(list.item_text(1, 1), "/a");

  // A control that is not a list.
  CListCtrl not_a_list;
  CDataExchange exchange(dialog);
  DDX_Control(&exchange, kLabel, not_a_list);
  EXPECT_EQ(not_a_list.insert_item(0, "x"), -1);
  EXPECT_EQ(not_a_list.column_count(), 0);
}

}  // namespace
}  // namespace quarn::ui
