// The application shell: InitInstance runs the main window to its end,
// whichever way it is closed and whether or not a scan runs, and returns
// false so the program ends. $HOME points into a temporary folder, so the
// scan log goes there.
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <cstdlib>
#include <fstream>
#include <functional>

#include "app/cleaner_app.h"
#include "resource.h"
#include "tools/sample_tree.h"
#include "ui/qt/dialog_window.h"

namespace quarn::ui {
namespace {

// Runs action on the main window once its modal loop runs.
void when_main_window_runs(const std::function<void(DialogWindow*)>& action) {
  QTimer::singleShot(10, [action] {
    auto* window = dynamic_cast<DialogWindow*>(QApplication::activeModalWidget());
    if (window == nullptr || window->dialog_template().id != IDD_CLEANER_DIALOG) {
      when_main_window_runs(action);
      return;
    }
    action(window);
  });
}

QPushButton* button_of(DialogWindow* window) { return qobject_cast<QPushButton*>(window->control(IDOK)); }

// Starts a scan of root and waits for its first row.
bool start_scan(DialogWindow* window, const std::string& root) {
  qobject_cast<QLineEdit*>(window->control(IDC_START_PATH))->setText(QString::fromStdString(root));
  button_of(window)->click();
  auto* list = qobject_cast<QTreeWidget*>(window->control(IDC_RESULT_LIST));
  return QTest::qWaitFor([&] { return list->topLevelItemCount() >= 1; }, 30000);
}

std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

class CleanerAppTest : public QObject {
  Q_OBJECT

  QTemporaryDir home_;

 private slots:
  void initTestCase() {
    QVERIFY(home_.isValid());
    QVERIFY(::setenv("HOME", qPrintable(home_.path()), 1) == 0);
  }

  void every_way_of_closing_the_window_ends_init_instance_with_false() {
    struct Way {
      const char* name;
      bool scan;
      std::function<void(DialogWindow*)> close;
    };
    const Way ways[] = {
        {"Escape before a scan", false, [](DialogWindow* w) { QTest::keyClick(w, Qt::Key_Escape); }},
        {"close box before a scan", false, [](DialogWindow* w) { w->close(); }},
        {"Escape during a scan", true, [](DialogWindow* w) { QTest::keyClick(w, Qt::Key_Escape); }},
        {"close box during a scan", true, [](DialogWindow* w) { w->close(); }},
        {"the button during a scan", true, [](DialogWindow* w) { button_of(w)->click(); }},
    };
    int n = 0;
    for (const Way& way : ways) {
      const std::string root = QDir(home_.path()).filePath(QStringLiteral("tree-%1").arg(++n)).toStdString();
      sample::write_sample_tree(root, sample::SampleOptions{4});
      CCleanerApp app;
      bool as_expected = false;
      when_main_window_runs([&](DialogWindow* window) {
        as_expected = window->windowTitle() == QStringLiteral("Veda-Quarn Virus Killer") &&
                      CWinApp::instance()->m_pMainWnd->window() == window && (!way.scan || start_scan(window, root));
        way.close(window);
      });
      QVERIFY2(!app.InitInstance(), way.name);
      QVERIFY2(as_expected, way.name);
      QVERIFY(app.m_pMainWnd == nullptr);
      QVERIFY(QApplication::activeModalWidget() == nullptr);
    }
    // The window's scanner wrote its log where $HOME says, nowhere else.
    const std::string log = read_all(QDir(home_.path()).filePath("vosko_clean.log").toStdString());
    QVERIFY(log.find("deleted:  ") != std::string::npos);
  }

  void the_about_entry_opens_the_about_box_over_the_main_window() {
    CCleanerApp app;
    bool about_seen = false;
    when_main_window_runs([&](DialogWindow* window) {
      QTimer::singleShot(50, [&, window] {
        auto* about = dynamic_cast<DialogWindow*>(QApplication::activeModalWidget());
        QVERIFY(about != nullptr && about != window);
        QCOMPARE(about->windowTitle(), QStringLiteral("About Cleaner"));
        about_seen = true;
        QTest::keyClick(about, Qt::Key_Escape);
        QTimer::singleShot(0, [window] { QTest::keyClick(window, Qt::Key_Escape); });
      });
      QVERIFY(window->about_action() != nullptr);
      QCOMPARE(window->about_action()->text(), QStringLiteral("&About quarn..."));
      window->about_action()->trigger();
    });
    QVERIFY(!app.InitInstance());
    QVERIFY(about_seen);
  }
};

}  // namespace quarn::ui

QTEST_MAIN(quarn::ui::CleanerAppTest)
#include "cleaner_app_test.moc"
