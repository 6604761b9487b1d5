// The dialog layer on Qt: windows built from the templates, placed by the
// dialog font's units, with every label fitting its box; the modal run and
// how each way of ending it is routed; the list control, timers, texts that
// are not valid in the file system's encoding, icons and strings.
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "resource.h"
#include "ui/dialog.h"
#include "ui/dialog_template.h"
#include "ui/qt/dialog_window.h"
#include "ui/qt/display_text.h"

namespace quarn::ui {
namespace {

// A dialog that records what reaches its handlers.
class ProbeDialog : public CDialog {
 public:
  explicit ProbeDialog(int template_id) : CDialog(template_id) {}
  void DoDataExchange(CDataExchange* pDX) override {
    DDX_Control(pDX, IDOK, ok);
    DDX_Control(pDX, IDC_RESULT_LIST, list);
    DDX_Control(pDX, IDC_START_PATH, edit);
    DDX_Control(pDX, 4242, missing);
  }
  void OnOK() override {
    ++oks;
    CDialog::OnOK();
  }
  void OnCancel() override {
    ++cancels;
    if (!refuse_cancel) CDialog::OnCancel();
  }
  void OnTimer(unsigned id) override { ticks.push_back(id); }
  void OnSysCommand(unsigned id, std::intptr_t) override { commands.push_back(id); }

  CButton ok;
  CListCtrl list;
  CEdit edit;
  CStatic missing;
  int oks = 0;
  int cancels = 0;
  bool refuse_cancel = false;
  std::vector<unsigned> ticks;
  std::vector<unsigned> commands;
};

// Runs action once the dialog's modal loop is running.
void when_modal(const std::function<void(QWidget*)>& action) {
  QTimer::singleShot(0, [action] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) {
      when_modal(action);
      return;
    }
    action(modal);
  });
}

QString text_of(QWidget* widget) {
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
  if (auto* button = qobject_cast<QPushButton*>(widget)) return button->text();
  if (auto* group = qobject_cast<QGroupBox*>(widget)) return group->title();
  return {};
}

}  // namespace

class DialogLayerTest : public QObject {
  Q_OBJECT

 private slots:
  void controls_sit_where_the_template_puts_them_in_the_fonts_dialog_units() {
    ProbeDialog dialog(IDD_CLEANER_DIALOG);
    QVERIFY(dialog.Create());
    DialogWindow* window = dialog.window();
    // The platform's rule: base width is the average width of A-Z and a-z,
    // rounded as (w / 26 + 1) / 2; base height is the font's height.
    const QFontMetrics metrics(window->font());
    const int average = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    const int bx = (average / 26 + 1) / 2;
    const int by = metrics.height();
    const auto px = [](int units, int base, int divisor) {
      return static_cast<int>((static_cast<long long>(units) * base + divisor / 2) / divisor);
    };
    QCOMPARE(window->size(), QSize(px(272, bx, 4), px(309, by, 8)));

    const DialogTemplate* tmpl = find_dialog_template(IDD_CLEANER_DIALOG);
    QVERIFY(tmpl != nullptr);
    QCOMPARE(tmpl->controls.size(), std::size_t{32});
    int checked = 0;
    for (const ControlTemplate& c : tmpl->controls) {
      if (c.id == -1) continue;
      QWidget* widget = window->control(c.id);
      QVERIFY(widget != nullptr);
      QCOMPARE(widget->geometry(), QRect(px(c.x, bx, 4), px(c.y, by, 8), px(c.cx, bx, 4), px(c.cy, by, 8)));
      ++checked;
    }
    QCOMPARE(checked, 14);
    // Every child, unnamed ones included, lies inside the client area.
    int children = 0;
    for (QWidget* child : window->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
      QVERIFY2(window->rect().contains(child->geometry()), qPrintable(text_of(child)));
      ++children;
    }
    QCOMPARE(children, 32);
    QCOMPARE(window->windowTitle(), QStringLiteral("Veda-Quarn Virus Killer"));
  }

  void every_label_of_both_templates_fits_its_box() {
    for (int id : {IDD_CLEANER_DIALOG, IDD_ABOUTBOX}) {
      ProbeDialog dialog(id);
      QVERIFY(dialog.Create());
      for (QWidget* child : dialog.window()->findChildren<QWidget*>()) {
        const QString text = text_of(child);
        if (text.trimmed().isEmpty()) continue;
        const QFontMetrics metrics(child->font());
        if (auto* label = qobject_cast<QLabel*>(child)) {
          // The laid-out text, and on one line also the ink of its glyphs,
          // which may reach a pixel past the advance.
          const QRect room = label->contentsRect();
          QRect needed = metrics.boundingRect(room, int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0), text);
          if (!label->wordWrap()) {
            const QRect ink = metrics.boundingRect(text);
            needed.setWidth(std::max(metrics.horizontalAdvance(text), ink.x() + ink.width()));
          }
          QVERIFY2(needed.width() <= room.width() && needed.height() <= room.height(),
                   qPrintable(QStringLiteral("\"%1\" needs %2x%3, has %4x%5")
                                  .arg(text).arg(needed.width()).arg(needed.height()).arg(room.width()).arg(room.height())));
        } else {
          // Buttons and the group box's title: the text and a little air.
          QVERIFY2(metrics.horizontalAdvance(text) + 4 <= child->width(), qPrintable(text));
        }
      }
    }
  }

  void each_way_of_ending_a_modal_run_reaches_the_right_handler() {
    struct Way {
      const char* name;
      std::function<void(QWidget*)> end;
      int result;
    };
    const Way ways[] = {
        {"OK button", [](QWidget* w) { qobject_cast<QPushButton*>(static_cast<DialogWindow*>(w)->control(IDOK))->click(); }, kIdOk},
        {"Enter", [](QWidget* w) { QTest::keyClick(w, Qt::Key_Return); }, kIdOk},
        {"Escape", [](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); }, kIdCancel},
        {"close box", [](QWidget* w) { w->close(); }, kIdCancel},
    };
    for (const Way& way : ways) {
      ProbeDialog dialog(IDD_ABOUTBOX);
      when_modal(way.end);
      QCOMPARE(dialog.DoModal(), way.result);
      QCOMPARE(dialog.oks + dialog.cancels, 1);
      QVERIFY2(!dialog.is_open(), way.name);
      // The window is gone: its controls are unbound in effect.
      QCOMPARE(dialog.ok.get_text(), std::string());
      dialog.ok.set_text("nothing happens");
      // A dialog object runs one window in its life.
      QCOMPARE(dialog.DoModal(), -1);
    }
  }

  void a_cancel_that_the_dialog_refuses_keeps_the_window_open() {
    ProbeDialog dialog(IDD_ABOUTBOX);
    dialog.refuse_cancel = true;
    QVERIFY(dialog.Create());
    dialog.window()->close();
    QTest::keyClick(dialog.window(), Qt::Key_Escape);
    QCOMPARE(dialog.cancels, 2);
    QVERIFY(dialog.is_open());
    QVERIFY(dialog.window()->isVisible());
  }

  void a_missing_template_runs_no_window_and_missing_ids_stay_unbound() {
    ProbeDialog nothing(4242);
    QCOMPARE(nothing.DoModal(), -1);
    QVERIFY(!nothing.Create());

    ProbeDialog dialog(IDD_ABOUTBOX);
    QVERIFY(dialog.Create());
    QVERIFY(dialog.ok.is_bound());
    QVERIFY(!dialog.list.is_bound());
    QVERIFY(!dialog.missing.is_bound());
    QCOMPARE(dialog.list.insert_item(0, "x"), -1);
    QCOMPARE(dialog.ok.get_text(), std::string("OK"));
  }

  void the_list_inserts_rows_and_columns_where_asked() {
    ProbeDialog dialog(IDD_CLEANER_DIALOG);
    QVERIFY(dialog.Create());
    CListCtrl& list = dialog.list;
    QCOMPARE(list.insert_column(0, "File", ColumnAlign::left, 150), 0);
    QCOMPARE(list.insert_column(5, "Path", ColumnAlign::left, 240), 1);  // past the end: appended
    QCOMPARE(list.insert_item(0, "first"), 0);
    QVERIFY(list.set_item_text(0, 1, "/a"));
    // A column inserted in the middle moves the later ones with their texts.
    QCOMPARE(list.insert_column(1, "Status", ColumnAlign::left, 80), 1);
    QCOMPARE(list.column_count(), 3);
    QCOMPARE(list.column_heading(2), std::string("Path"));
    QCOMPARE(list.column_width(2), 240);
    QCOMPARE(list.item_text(0, 2), std::string("/a"));
    QCOMPARE(list.item_text(0, 1), std::string());

    QCOMPARE(list.insert_item(0, "second"), 0);
    QCOMPARE(list.insert_item(99, "last"), 2);
    QCOMPARE(list.item_count(), 3);
    QCOMPARE(list.item_text(0, 0), std::string("second"));
    QCOMPARE(list.item_text(1, 0), std::string("first"));
    QCOMPARE(list.item_text(2, 0), std::string("last"));

    QVERIFY(!list.set_item_text(3, 0, "no such row"));
    QVERIFY(!list.set_item_text(0, 3, "no such column"));
    QVERIFY(!list.set_item_text(-1, 0, "x"));
    QCOMPARE(list.item_text(5, 0), std::string());
    QCOMPARE(list.insert_item(-1, "x"), -1);
    QCOMPARE(list.insert_column(-1, "x", ColumnAlign::left, 1), -1);
  }

  void timers_tick_with_their_id_until_the_window_ends() {
    ProbeDialog dialog(IDD_ABOUTBOX);
    QVERIFY(!dialog.SetTimer(7, 10));  // no window yet
    QVERIFY(dialog.Create());
    QVERIFY(dialog.SetTimer(7, 10));
    QTRY_VERIFY(dialog.ticks.size() >= 2);
    for (unsigned id : dialog.ticks) QCOMPARE(id, 7u);
    QVERIFY(dialog.KillTimer(7));
    QVERIFY(!dialog.KillTimer(7));
    QVERIFY(dialog.SetTimer(8, 10));
    dialog.EndDialog(kIdOk);
    const std::size_t at_end = dialog.ticks.size();
    QTest::qWait(60);
    QCOMPARE(dialog.ticks.size(), at_end);
    QVERIFY(!dialog.SetTimer(9, 10));
  }

  void the_about_entry_is_on_the_context_menu_and_f1_and_sends_its_command() {
    ProbeDialog dialog(IDD_CLEANER_DIALOG);
    QVERIFY(dialog.Create());
    QVERIFY(!dialog.append_about_entry(IDM_ABOUTBOX, ""));
    QVERIFY(dialog.append_about_entry(IDM_ABOUTBOX, "&About quarn..."));
    DialogWindow* window = dialog.window();
    QCOMPARE(window->contextMenuPolicy(), Qt::ActionsContextMenu);
    QCOMPARE(window->actions().size(), 1);
    QCOMPARE(window->actions().front()->text(), QStringLiteral("&About quarn..."));
    QCOMPARE(window->actions().front()->shortcut(), QKeySequence(Qt::Key_F1));
    window->actions().front()->trigger();
    QCOMPARE(dialog.commands, std::vector<unsigned>{IDM_ABOUTBOX});
    // Without a window there is nowhere to put it.
    ProbeDialog unopened(IDD_CLEANER_DIALOG);
    QVERIFY(!unopened.append_about_entry(IDM_ABOUTBOX, "&About quarn..."));
  }

  void icon_and_string_resources_load_by_id() {
    Icon icon(IDR_MAINFRAME);
    QVERIFY(!icon.empty());
    QVERIFY(Icon(4242).empty());
    QVERIFY(Icon().empty());
    ProbeDialog dialog(IDD_CLEANER_DIALOG);
    QVERIFY(dialog.Create());
    dialog.set_icon(icon, IconSize::big);
    const QList<QSize> sizes = dialog.window()->windowIcon().availableSizes();
    QVERIFY(sizes.contains(QSize(32, 32)));
    QVERIFY(sizes.contains(QSize(16, 16)));

    QCOMPARE(load_string(IDS_ABOUTBOX), std::string("&About quarn..."));
    QCOMPARE(load_string(4242), std::string());
  }

  void texts_that_are_not_valid_show_every_byte_and_valid_ones_round_trip() {
    QCOMPARE(display_text("plain"), QStringLiteral("plain"));
    QCOMPARE(display_text("gr\xC3\xBC\xC3\x9F"), QString::fromUtf8("gr\xC3\xBC\xC3\x9F"));
    QCOMPARE(display_text("\xF0\x9F\x98\x80"), QString::fromUtf8("\xF0\x9F\x98\x80"));
    QCOMPARE(display_text("\xF4\x8F\xBF\xBF").size(), 2);  // U+10FFFF, the last code point
    // Invalid: stray continuation, a lead byte at the end, overlong forms,
    // a surrogate, a code point past U+10FFFF, bytes that never occur.
    QCOMPARE(display_text("a\x80z"), QStringLiteral("a\\x80z"));
    QCOMPARE(display_text("name\xC3"), QStringLiteral("name\\xC3"));
    QCOMPARE(display_text("\xC0\xAF"), QStringLiteral("\\xC0\\xAF"));
    QCOMPARE(display_text("\xE0\x80\xAF"), QStringLiteral("\\xE0\\x80\\xAF"));
    QCOMPARE(display_text("\xED\xA0\x80"), QStringLiteral("\\xED\\xA0\\x80"));
    QCOMPARE(display_text("\xF4\x90\x80\x80"), QStringLiteral("\\xF4\\x90\\x80\\x80"));
    QCOMPARE(display_text("\xFF\xFE"), QStringLiteral("\\xFF\\xFE"));
    QCOMPARE(display_text("\xE2\x82(x"), QStringLiteral("\\xE2\\x82(x"));
    // Control bytes never break a one-line field; a NUL inside is kept.
    QCOMPARE(display_text(std::string_view("a\nb\tc\x7F\0d", 8)), QStringLiteral("a\\x0Ab\\x09c\\x7F\\x00d"));
    QCOMPARE(display_text("a\nb", true), QStringLiteral("a\nb"));

    for (const std::string text : {"plain", "gr\xC3\xBC\xC3\x9F", "/tmp/a b/&c<b>.eml", ""}) {
      QCOMPARE(file_system_bytes(display_text(text)), text);
    }

    // Through a control: a label shows the bytes escaped and never as markup.
    ProbeDialog dialog(IDD_CLEANER_DIALOG);
    QVERIFY(dialog.Create());
    dialog.set_control_text(IDC_CURRENT_FILE, "<b>\xFF</b>");
    auto* label = qobject_cast<QLabel*>(dialog.window()->control(IDC_CURRENT_FILE));
    QCOMPARE(label->text(), QStringLiteral("<b>\\xFF</b>"));
    QCOMPARE(label->textFormat(), Qt::PlainText);
  }
};

}  // namespace quarn::ui

QTEST_MAIN(quarn::ui::DialogLayerTest)
#include "dialog_layer_test.moc"
