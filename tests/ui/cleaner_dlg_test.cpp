// The main window: the button's states, the display timer, the result rows
// of a scan of the sample tree, and closing while a worker runs or waits
// for its row to be added.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <fstream>
#include <map>
#include <mutex>
#include <regex>
#include <set>
#include <thread>

#include "platform/fs.h"
#include "resource.h"
#include "tools/sample_tree.h"
#include "ui/cleaner_dlg.h"
#include "ui/qt/dialog_window.h"

namespace quarn::ui {
namespace {

const std::string kHint = std::string(41, ' ') + "hit Start to begin scanning...";

// The window with two seams: each remedy can be slowed down, and every
// result notification is recorded before the window handles it.
class TestDlg : public CCleanerDlg {
 public:
  TestDlg() : CCleanerDlg(nullptr, std::nullopt) {}
  ~TestDlg() override {
    // The worker may be inside this class's overrides: it must be gone
    // before this part of the object is.
    close_ui_calls();
    StopAndWaitForever();
  }

  void OnFileResult(const char* pszPath, ScanStatus status) override {
    {
      std::lock_guard lock(mutex);
      results.emplace_back(pszPath, status);
    }
    inside_result.store(true);
    CCleanerDlg::OnFileResult(pszPath, status);
    inside_result.store(false);
  }

  std::vector<std::pair<std::string, ScanStatus>> recorded() {
    std::lock_guard lock(mutex);
    return results;
  }

  QPushButton* button() const { return qobject_cast<QPushButton*>(window()->control(IDOK)); }
  QLineEdit* edit() const { return qobject_cast<QLineEdit*>(window()->control(IDC_START_PATH)); }

  std::atomic<unsigned> remedy_delay_ms{0};
  std::atomic<bool> inside_result{false};

 protected:
  ScanStatus ApplyRemedy(CVirusHandler& handler, const platform::FileAt& file) override {
    if (unsigned ms = remedy_delay_ms.load()) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return CCleanerDlg::ApplyRemedy(handler, file);
  }

 private:
  std::mutex mutex;
  std::vector<std::pair<std::string, ScanStatus>> results;
};

std::string folder_of(const std::string& path) { return split_path(path, platform::separator()).first; }
std::string name_of(const std::string& path) { return split_path(path, platform::separator()).second; }

// Waits for the run to end and for the tick that follows it.
bool wait_for_close(TestDlg& dlg) {
  return QTest::qWaitFor([&] { return !dlg.IsRunning() && dlg.m_buttonAction.get_text() == "Close"; }, 30000);
}

}  // namespace

class CleanerDlgTest : public QObject {
  Q_OBJECT

  QTemporaryDir temp_;
  std::string root_;
  sample::SampleTree tree_;

 private slots:
  void initTestCase() {
    QVERIFY(temp_.isValid());
  }

  // Every case scans a fresh copy of the sample tree: a scan repairs it.
  void init() {
    static int n = 0;
    root_ = temp_.filePath(QStringLiteral("tree-%1").arg(++n)).toStdString();
    tree_ = sample::write_sample_tree(root_);
  }

  void ticks_before_the_first_press_change_nothing() {
    TestDlg dlg;
    QVERIFY(dlg.Create());
    QCOMPARE(dlg.m_editStartPath.get_text(), platform::default_start_folder());
    QTest::qWait(3 * CCleanerDlg::DISPLAY_TIMER_PERIOD_MS + 50);
    QCOMPARE(dlg.m_buttonAction.get_text(), std::string("Start"));
    for (CStatic* field : {&dlg.m_staticFilesSkipped, &dlg.m_staticMBytesPerSecond, &dlg.m_staticScanErrors,
                           &dlg.m_staticFilesDeleted, &dlg.m_staticFilesPerMinute, &dlg.m_staticFilesScanned,
                           &dlg.m_staticFilesInfected, &dlg.m_staticDirectories, &dlg.m_staticFilesCleaned}) {
      QCOMPARE(field->get_text(), std::string("0 "));
    }
    QCOMPARE(dlg.m_staticElapsedTime.get_text(), std::string());
    QCOMPARE(dlg.m_staticCurrentFile.get_text(), kHint);
    QVERIFY(!dlg.IsRunning());
    QCOMPARE(dlg.m_listResults.column_count(), 3);
  }

  void enter_in_the_edit_box_acts_like_the_button() {
    TestDlg dlg;
    QVERIFY(dlg.Create());
    dlg.edit()->setFocus();
    dlg.m_editStartPath.set_text(root_);
    QTest::keyClick(dlg.edit(), Qt::Key_Return);
    QCOMPARE(dlg.m_buttonAction.get_text(), std::string("Stop"));
    QCOMPARE(dlg.m_strStartPath.get(), root_);
    QVERIFY(wait_for_close(dlg));
    QVERIFY(dlg.m_nFilesScanned.load() > 0);
    // With files scanned, Enter ends the window as the button does.
    QTest::keyClick(dlg.edit(), Qt::Key_Return);
    QVERIFY(!dlg.is_open());
    QCOMPARE(dlg.result(), kIdOk);
  }

  void the_button_reads_start_then_stop_then_close_and_close_ends_the_window() {
    TestDlg dlg;
    QVERIFY(dlg.Create());
    QCOMPARE(dlg.button()->text(), QStringLiteral("Start"));
    dlg.m_editStartPath.set_text(root_);
    dlg.button()->click();
    QCOMPARE(dlg.button()->text(), QStringLiteral("Stop"));
    QVERIFY(wait_for_close(dlg));
    // A finished run shows its own duration, which no longer advances.
    const std::string elapsed = format_span(dlg.m_timeEnd.load() - dlg.m_timeStart.load());
    QCOMPARE(dlg.m_staticElapsedTime.get_text(), elapsed);
    QTest::qWait(2 * CCleanerDlg::DISPLAY_TIMER_PERIOD_MS);
    QCOMPARE(dlg.m_staticElapsedTime.get_text(), elapsed);
    QCOMPARE(dlg.button()->text(), QStringLiteral("Close"));
    dlg.button()->click();
    QVERIFY(!dlg.is_open());
    QCOMPARE(dlg.result(), kIdOk);
  }

  void a_press_with_no_file_scanned_starts_a_new_scan_with_the_edit_boxs_text() {
    TestDlg dlg;
    QVERIFY(dlg.Create());
    const std::string nowhere = root_ + "/no such folder";
    dlg.m_editStartPath.set_text(nowhere);
    dlg.button()->click();
    QCOMPARE(dlg.m_strStartPath.get(), nowhere);
    QVERIFY(wait_for_close(dlg));
    QCOMPARE(dlg.m_nFilesScanned.load(), 0);
    const std::int32_t directories_before = dlg.m_nDirectories.load();

    // "Close" with nothing scanned starts again, from the current text.
    dlg.m_editStartPath.set_text(root_);
    dlg.button()->click();
    QVERIFY(dlg.is_open());
    QCOMPARE(dlg.button()->text(), QStringLiteral("Stop"));
    QCOMPARE(dlg.m_strStartPath.get(), root_);
    QVERIFY(wait_for_close(dlg));
    const sample::ExpectedCounts expected = tree_.expected_counts();
    QCOMPARE(dlg.m_nFilesScanned.load(), expected.scanned);
    // Counters are never reset between runs.
    QCOMPARE(dlg.m_nDirectories.load(), directories_before + expected.directories);
  }

  void a_scan_of_the_sample_tree_lists_its_rows_newest_first_and_shows_its_counters() {
    TestDlg dlg;
    QVERIFY(dlg.Create());
    dlg.m_editStartPath.set_text(root_);
    dlg.button()->click();
    QVERIFY(wait_for_close(dlg));

    // One row per remedied file, in reverse order of the notifications.
    const auto recorded = dlg.recorded();
    std::vector<std::pair<std::string, ScanStatus>> listed;
    for (const auto& r : recorded) {
      if (r.second >= STATUS_INFECTED) listed.push_back(r);
    }
    CListCtrl& list = dlg.m_listResults;
    QCOMPARE(list.item_count(), static_cast<int>(listed.size()));
    for (int row = 0; row < list.item_count(); ++row) {
      const auto& [path, status] = listed[listed.size() - 1 - static_cast<std::size_t>(row)];
      QCOMPARE(list.item_text(row, 0), name_of(path));
      QCOMPARE(list.item_text(row, 1), std::string(list_status_name(status)));
      QCOMPARE(list.item_text(row, 2), folder_of(path));
    }

    // The rows are the ones the sample tree's manifest promises.
    std::multiset<std::tuple<std::string, std::string, std::string>> shown, promised;
    for (int row = 0; row < list.item_count(); ++row) {
      shown.emplace(list.item_text(row, 0), list.item_text(row, 1), list.item_text(row, 2));
    }
    for (const sample::SampleFile& file : tree_.files) {
      const char* word = nullptr;
      if (file.outcome == sample::Outcome::cleaned) word = "cleaned";
      if (file.outcome == sample::Outcome::deleted) word = "deleted";
      if (file.outcome == sample::Outcome::error) word = "error";
      if (word == nullptr) continue;
      const std::string path = tree_.path_of(file);
      promised.emplace(name_of(path), word, folder_of(path));
    }
    QVERIFY(!promised.empty());
    QVERIFY(shown == promised);

    // Every field shows the scanner's own counters after the last tick.
    QTest::qWait(CCleanerDlg::DISPLAY_TIMER_PERIOD_MS + 50);
    const sample::ExpectedCounts expected = tree_.expected_counts();
    const std::pair<CStatic*, std::int32_t> counts[] = {
        {&dlg.m_staticFilesScanned, expected.scanned},  {&dlg.m_staticFilesSkipped, expected.skipped},
        {&dlg.m_staticFilesInfected, expected.infected}, {&dlg.m_staticFilesCleaned, expected.cleaned},
        {&dlg.m_staticFilesDeleted, expected.deleted},  {&dlg.m_staticScanErrors, expected.errors},
        {&dlg.m_staticDirectories, expected.directories},
    };
    for (const auto& [field, value] : counts) QCOMPARE(field->get_text(), format_count(value));
    QCOMPARE(dlg.m_nFilesScanned.load(), expected.scanned);
    QCOMPARE(dlg.m_nFilesInfected.load(), expected.infected);
    // A readable figure even when the run ended within its first second.
    QVERIFY(std::regex_match(dlg.m_staticFilesPerMinute.get_text(), std::regex(" *\\d+\\.\\d ")));
    const auto rate = dlg.GetMBytesPerSecond();
    QCOMPARE(dlg.m_staticMBytesPerSecond.get_text(), rate ? format_mbytes_per_second(*rate) : std::string("0 "));
    QCOMPARE(dlg.m_staticElapsedTime.get_text(), format_span(dlg.GetElapsedSeconds()));
    QCOMPARE(dlg.m_staticCurrentFile.get_text(), dlg.m_strCurrentFile.get());
    QVERIFY(dlg.m_staticCurrentFile.get_text().rfind(root_, 0) == 0);
  }

  void each_status_gives_its_word_and_the_path_splits_at_its_last_separator() {
    TestDlg dlg;
    QVERIFY(dlg.Create());
    const char sep = platform::separator();
    const std::string site = std::string(1, sep) + "site";
    // On the user-interface thread the row goes in at once.
    dlg.OnFileResult((site + sep + "index.htm").c_str(), STATUS_CLEANED);
    dlg.OnFileResult((site + sep + "a.exe").c_str(), STATUS_SKIPPED);
    dlg.OnFileResult((site + sep + "b.exe").c_str(), STATUS_SCANNED);
    dlg.OnFileResult((site + sep + "c.exe").c_str(), STATUS_ERROR);
    dlg.OnFileResult((site + sep + "d.exe").c_str(), STATUS_CLEANED | STATUS_INFECTED);
    dlg.OnFileResult((site + sep + "e.eml").c_str(), STATUS_DELETED);
    dlg.OnFileResult((site + sep + "f.exe").c_str(), STATUS_INFECTED);
    dlg.OnFileResult((std::string(1, sep) + "top.eml").c_str(), STATUS_DELETED);
    dlg.OnFileResult("bare.eml", STATUS_DELETED);
    const std::vector<std::array<std::string, 3>> expected = {
        {"bare.eml", "deleted", ""},     {"top.eml", "deleted", ""},      {"f.exe", "infected", site},
        {"e.eml", "deleted", site},      {"d.exe", "error", site},        {"c.exe", "error", site},
        {"index.htm", "cleaned", site},
    };
    CListCtrl& list = dlg.m_listResults;
    QCOMPARE(list.item_count(), static_cast<int>(expected.size()));
    for (int row = 0; row < list.item_count(); ++row) {
      for (int column = 0; column < 3; ++column) {
        QCOMPARE(list.item_text(row, column), expected[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)]);
      }
    }
  }

  void the_time_span_shows_hours_within_the_day() {
    QCOMPARE(format_span(125), std::string("00 : 02 : 05 "));
    QCOMPARE(format_span(25 * 3600 + 60 + 1), std::string("01 : 01 : 01 "));
    QCOMPARE(format_span(0), std::string("00 : 00 : 00 "));
    QCOMPARE(format_span(86399), std::string("23 : 59 : 59 "));
    QCOMPARE(format_span(86400), std::string("00 : 00 : 00 "));
    // A clock set back shows zero, never negative digits.
    QCOMPARE(format_span(-5), std::string("00 : 00 : 00 "));
    QCOMPARE(format_count(0), std::string("0 "));
    QCOMPARE(format_count(-7), std::string("-7 "));
    QCOMPARE(format_mbytes_per_second(1.5), std::string("  1.50 "));
    QCOMPARE(format_files_per_minute(285.0), std::string("   285.0 "));
    QCOMPARE(format_files_per_minute(1e300).size(), std::size_t{301 + 2 + 1});  // digits, ".0", the space
  }

  void names_that_are_not_valid_text_are_shown_byte_for_byte() {
    // A file whose name is not UTF-8, and one with a line feed in it.
    const char sep = platform::separator();
    const std::string odd_folder = root_ + sep + "odd\xFF";
    QVERIFY(platform::make_directories(odd_folder));
    std::ofstream(odd_folder + sep + "caf\xE9.eml") << "mail";
    std::ofstream(odd_folder + sep + "two\nlines.eml") << "mail";

    TestDlg dlg;
    QVERIFY(dlg.Create());
    dlg.m_editStartPath.set_text(root_);
    dlg.button()->click();
    QVERIFY(wait_for_close(dlg));
    std::set<std::pair<std::string, std::string>> rows;
    for (int row = 0; row < dlg.m_listResults.item_count(); ++row) {
      rows.emplace(dlg.m_listResults.item_text(row, 0), dlg.m_listResults.item_text(row, 2));
    }
    const std::string shown_folder = root_ + sep + "odd\\xFF";
    QVERIFY(rows.count({"caf\\xE9.eml", shown_folder}) == 1);
    QVERIFY(rows.count({"two\\x0Alines.eml", shown_folder}) == 1);
  }

  void a_notification_after_the_window_has_closed_adds_nothing() {
    TestDlg dlg;
    QVERIFY(dlg.Create());
    dlg.EndDialog(kIdCancel);
    std::thread worker([&] { dlg.OnFileResult("/x/late.eml", STATUS_DELETED); });
    worker.join();
    dlg.OnFileResult("/x/later.eml", STATUS_DELETED);
    QCoreApplication::processEvents();
    QCOMPARE(dlg.m_listResults.item_count(), 0);
  }

  // The two cases below use the window class itself, with no seam of a test
  // class in the way, so that its own destructor is what they exercise.
  void closing_during_a_scan_stops_the_worker() {
    const std::string big = root_ + "-copies";
    const sample::SampleTree copies = sample::write_sample_tree(big, sample::SampleOptions{20});
    const std::int32_t infected = copies.expected_counts().infected;
    std::int32_t infected_at_destruction = 0;
    {
      CCleanerDlg dlg(nullptr, std::nullopt);
      QVERIFY(dlg.Create());
      dlg.m_editStartPath.set_text(big);
      qobject_cast<QPushButton*>(dlg.window()->control(IDOK))->click();
      QVERIFY(QTest::qWaitFor([&] { return dlg.m_listResults.item_count() >= 1; }, 30000));
      // "Stop" with files scanned ends the window; the object goes next,
      // and with it the worker.
      qobject_cast<QPushButton*>(dlg.window()->control(IDOK))->click();
      QVERIFY(!dlg.is_open());
      QCOMPARE(dlg.result(), kIdOk);
      infected_at_destruction = dlg.m_nFilesInfected.load();
    }
    QVERIFY(infected_at_destruction < infected);
  }

  void closing_while_the_worker_waits_inside_a_row_insertion_does_not_deadlock() {
    {
      CCleanerDlg dlg(nullptr, std::nullopt);
      QVERIFY(dlg.Create());
      dlg.m_editStartPath.set_text(root_);
      qobject_cast<QPushButton*>(dlg.window()->control(IDOK))->click();
      // This thread handles no message from here on. The first infected
      // file is counted just before its notification, which then waits for
      // its row and cannot return without this thread.
      while (dlg.m_nFilesInfected.load() < 1) std::this_thread::yield();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      QVERIFY(dlg.IsRunning());
      QCOMPARE(dlg.m_listResults.item_count(), 0);
      // Destroyed with the window still open: the destructor must release
      // the worker before it waits for it.
    }
    QCoreApplication::processEvents();  // the stale job finds the calls closed
  }

  void a_second_press_while_the_worker_waits_for_its_row_adds_the_row_and_restarts() {
    TestDlg dlg;
    QVERIFY(dlg.Create());
    dlg.m_editStartPath.set_text(root_);
    dlg.button()->click();
    while (!dlg.inside_result.load()) std::this_thread::yield();
    // The press that read "no file scanned" just before the worker counted
    // its first file: the window must stop that worker while the worker
    // waits for the window.
    dlg.m_nFilesScanned.store(0);
    dlg.OnOK();
    QVERIFY(dlg.m_listResults.item_count() >= 1);
    QCOMPARE(dlg.button()->text(), QStringLiteral("Stop"));
    QVERIFY(wait_for_close(dlg));
    QVERIFY(dlg.is_open());
  }

  void the_about_command_matches_with_any_low_four_bits() {
    TestDlg dlg;
    QVERIFY(dlg.Create());
    int opened = 0;
    std::function<void()> close_about = [&] {
      auto* about = dynamic_cast<DialogWindow*>(QApplication::activeModalWidget());
      if (about == nullptr) {
        QTimer::singleShot(10, close_about);
        return;
      }
      ++opened;
      QTest::keyClick(about, Qt::Key_Escape);
    };
    for (unsigned low = 0; low < 16; ++low) {
      QTimer::singleShot(0, close_about);
      dlg.OnSysCommand(IDM_ABOUTBOX | low, 0);
    }
    QCOMPARE(opened, 16);
    // Other commands open nothing and return at once.
    dlg.OnSysCommand(IDM_ABOUTBOX * 2, 0);
    dlg.OnSysCommand(0xF060, 0);  // SC_CLOSE: the window manager's business on Linux
    QCOMPARE(opened, 16);
    QVERIFY(dlg.is_open());
  }

  void about_opens_and_closes_while_a_scan_runs() {
    TestDlg dlg;
    dlg.remedy_delay_ms = 40;
    QVERIFY(dlg.Create());
    dlg.m_editStartPath.set_text(root_);
    dlg.button()->click();

    dlg.window()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(dlg.window()));
    bool seen = false;
    std::function<void()> check_about = [&] {
      QWidget* about = QApplication::activeModalWidget();
      if (about == nullptr) {
        QTimer::singleShot(10, check_about);
        return;
      }
      // The button closes the box whatever the checks find.
      auto close_about = qScopeGuard([&] {
        qobject_cast<QPushButton*>(static_cast<DialogWindow*>(about)->control(IDOK))->click();
      });
      QCOMPARE(about->windowTitle(), QStringLiteral("About Cleaner"));
      // The main window's rows and counters go on while the box is open.
      const int rows = dlg.m_listResults.item_count();
      const std::string scanned = dlg.m_staticFilesScanned.get_text();
      QVERIFY(QTest::qWaitFor([&] { return dlg.m_listResults.item_count() > rows; }, 30000));
      QVERIFY(QTest::qWaitFor([&] { return dlg.m_staticFilesScanned.get_text() != scanned; }, 30000));
      seen = true;
    };
    QTimer::singleShot(0, check_about);
    QTest::keyClick(dlg.window(), Qt::Key_F1);  // returns once the box has closed
    QVERIFY(seen);
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    QVERIFY(dlg.is_open());
    QVERIFY(wait_for_close(dlg));
    QCOMPARE(dlg.m_nFilesInfected.load(), tree_.expected_counts().infected);
  }
};

}  // namespace quarn::ui

QTEST_MAIN(quarn::ui::CleanerDlgTest)
#include "cleaner_dlg_test.moc"
