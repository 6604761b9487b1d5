#include "ui/cleaner_dlg.h"

#include <cstdio>

#include "platform/fs.h"
#include "remedies/handlers.h"
#include "scan/figures.h"
#include "ui/about_dlg.h"

namespace quarn::ui {
namespace {

constexpr char kStart[] = "Start";
constexpr char kStop[] = "Stop";
constexpr char kClose[] = "Close";

// printf into a string of whatever length the number needs: a huge rate is
// shown whole, never cut short.
template <typename... Args>
std::string print(const char* format, Args... args) {
  char buffer[64];
  const int n = std::snprintf(buffer, sizeof buffer, format, args...);
  if (n < 0) return {};
  const auto length = static_cast<std::size_t>(n);
  if (length < sizeof buffer) return std::string(buffer, length);
  std::string text(length + 1, '\0');
  std::snprintf(text.data(), text.size(), format, args...);
  text.resize(length);
  return text;
}

}  // namespace

std::string format_count(std::int32_t value) { return print("%d ", static_cast<int>(value)); }

std::string format_mbytes_per_second(double value) { return print("%6.2f ", value); }

std::string format_files_per_minute(double value) { return print("%8.1f ", value); }

std::string format_span(std::int64_t seconds) {
  // The window shows the hour within the day, as a time span's hour field
  // does, so a run of 25 hours reads 01.
  const ElapsedParts parts = split_elapsed(seconds);
  return print("%02d : %02d : %02d ", static_cast<int>(parts.hours % 24), parts.minutes, parts.seconds);
}

std::pair<std::string, std::string> split_path(const std::string& path, char separator) {
  const std::size_t last = path.rfind(separator);
  if (last == std::string::npos) return {std::string(), path};
  return {path.substr(0, last), path.substr(last + 1)};
}

CCleanerDlg::CCleanerDlg(CDialog* pParent, const std::optional<std::string>& log_path)
    : CDialog(IDD_CLEANER_DIALOG, pParent),
      CVirusScanner(remedies::make_handlers, nullptr, log_path),
      m_hIcon(IDR_MAINFRAME) {}

CCleanerDlg::~CCleanerDlg() {
  // A worker may be waiting for its row to be added; closing the calls first
  // releases it, so the wait below cannot turn into a deadlock. The worker
  // must be gone before this class's part of the object is torn down.
  close_ui_calls();
  StopAndWaitForever();
}

void CCleanerDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_START_PATH, m_editStartPath);
  DDX_Control(pDX, IDOK, m_buttonAction);
  DDX_Control(pDX, IDC_RESULT_LIST, m_listResults);
  DDX_Control(pDX, IDC_FILES_SKIPPED, m_staticFilesSkipped);
  DDX_Control(pDX, IDC_MBYTES_PER_SECOND, m_staticMBytesPerSecond);
  DDX_Control(pDX, IDC_SCAN_ERRORS, m_staticScanErrors);
  DDX_Control(pDX, IDC_FILES_DELETED, m_staticFilesDeleted);
  DDX_Control(pDX, IDC_FILES_PER_MINUTE, m_staticFilesPerMinute);
  DDX_Control(pDX, IDC_ELAPSED_TIME, m_staticElapsedTime);
  DDX_Control(pDX, IDC_FILES_SCANNED, m_staticFilesScanned);
  DDX_Control(pDX, IDC_FILES_INFECTED, m_staticFilesInfected);
  DDX_Control(pDX, IDC_CURRENT_FILE, m_staticCurrentFile);
  DDX_Control(pDX, IDC_DIRECTORIES, m_staticDirectories);
  DDX_Control(pDX, IDC_FILES_CLEANED, m_staticFilesCleaned);
}

bool CCleanerDlg::OnInitDialog() {
  CDialog::OnInitDialog();

  // An empty string resource leaves the entry out altogether.
  const std::string about = load_string(IDS_ABOUTBOX);
  if (!about.empty()) append_about_entry(IDM_ABOUTBOX, about);

  set_icon(m_hIcon, IconSize::big);
  set_icon(m_hIcon, IconSize::little);

  m_listResults.insert_column(0, "File", ColumnAlign::left, 150);
  m_listResults.insert_column(1, "Status", ColumnAlign::left, 80);
  m_listResults.insert_column(2, "Path", ColumnAlign::left, 240);

  m_editStartPath.set_text(platform::default_start_folder());

  // Never stopped: it ends with the window.
  SetTimer(DISPLAY_TIMER_ID, DISPLAY_TIMER_PERIOD_MS);
  return true;
}

void CCleanerDlg::OnOK() {
  // Only the count of files scanned decides; neither the button's text nor
  // the worker's state is consulted.
  if (m_nFilesScanned.load(std::memory_order_relaxed) >= 1) {
    CDialog::OnOK();
    return;
  }
  // A worker that is still running is stopped here rather than inside
  // Start: while this thread waits, the rows that the worker hands over are
  // still added, so neither thread waits for the other.
  if (IsRunning()) {
    Stop(StopWait::dont_wait);
    WaitForIdle(PollOrder::look_first, STOP_POLL_COUNT, [this] { run_pending_ui_calls(); });
    run_pending_ui_calls();
  }
  m_strStartPath.set(m_editStartPath.get_text());
  Start();
  m_buttonAction.set_text(kStop);
}

void CCleanerDlg::OnTimer(unsigned nIDEvent) {
  if (nIDEvent != DISPLAY_TIMER_ID) {
    CDialog::OnTimer(nIDEvent);
    return;
  }
  // Until the first press the fields keep the template's texts.
  if (m_buttonAction.get_text() == kStart) return;

  constexpr auto relaxed = std::memory_order_relaxed;
  m_staticFilesScanned.set_text(format_count(m_nFilesScanned.load(relaxed)));
  m_staticDirectories.set_text(format_count(m_nDirectories.load(relaxed)));
  m_staticScanErrors.set_text(format_count(m_nScanErrors.load(relaxed)));
  m_staticFilesSkipped.set_text(format_count(m_nFilesSkipped.load(relaxed)));
  m_staticFilesDeleted.set_text(format_count(m_nFilesDeleted.load(relaxed)));
  // Nothing while the elapsed time is 0 s: the field keeps its last text.
  if (auto rate = GetMBytesPerSecond()) m_staticMBytesPerSecond.set_text(format_mbytes_per_second(*rate));
  // Within a run's first second the figure divides by zero (infinity, or
  // not a number): the field reads 0.0 until a second has passed.
  const double per_minute = GetElapsedSeconds() > 0 ? GetFilesPerMinute() : 0.0;
  m_staticFilesPerMinute.set_text(format_files_per_minute(per_minute));
  m_staticFilesInfected.set_text(format_count(m_nFilesInfected.load(relaxed)));
  m_staticFilesCleaned.set_text(format_count(m_nFilesCleaned.load(relaxed)));
  m_staticElapsedTime.set_text(format_span(GetElapsedSeconds()));
  m_staticCurrentFile.set_text(m_strCurrentFile.get());

  if (!IsRunning() && m_buttonAction.get_text() != kClose) m_buttonAction.set_text(kClose);
}

void CCleanerDlg::OnSysCommand(unsigned nID, std::intptr_t lParam) {
  // The platform keeps the low four bits of a system command for itself.
  if ((nID & 0xFFF0u) == IDM_ABOUTBOX) {
    CAboutDlg about;
    about.DoModal();
    return;
  }
  CDialog::OnSysCommand(nID, lParam);
}

void CCleanerDlg::OnFileResult(const char* pszPath, ScanStatus status) {
  const char* word = list_status_name(status);
  if (word == nullptr) return;
  // Named, not structured bindings: Clang 14 cannot capture those.
  const std::pair<std::string, std::string> parts = split_path(pszPath, platform::separator());
  // The list belongs to the user-interface thread: the row is added there
  // while this worker waits. Once the window has closed nothing is added.
  call_on_ui_thread([&] {
    const int row = m_listResults.insert_item(0, parts.second);
    if (row < 0) return;
    m_listResults.set_item_text(row, 1, word);
    m_listResults.set_item_text(row, 2, parts.first);
  });
}

}  // namespace quarn::ui
