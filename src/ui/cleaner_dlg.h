// The main window. It is at the same time the scanner: the counters, the
// current file and the worker's state word are its own fields, read
// directly by the display timer. Written once against the dialog layer, with
// no toolkit in it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "resource.h"
#include "scan/virus_scanner.h"
#include "ui/dialog.h"

namespace quarn::ui {

class CCleanerDlg : public CDialog, public CVirusScanner {
 public:
  static constexpr unsigned DISPLAY_TIMER_ID = 1;
  static constexpr unsigned DISPLAY_TIMER_PERIOD_MS = 200;

  // log_path: where the scan log goes; the program passes the default, tests
  // a temporary path or nothing.
  explicit CCleanerDlg(CDialog* pParent = nullptr,
                       const std::optional<std::string>& log_path = platform::default_log_path());
  // Closes the window's user-interface calls, then stops a running worker
  // and waits for it, before any part of the window is torn down.
  ~CCleanerDlg() override;

  void DoDataExchange(CDataExchange* pDX) override;
  bool OnInitDialog() override;
  void OnOK() override;
  void OnTimer(unsigned nIDEvent) override;
  void OnSysCommand(unsigned nID, std::intptr_t lParam) override;

  // Worker thread: adds the file's row at the top of the list.
  void OnFileResult(const char* pszPath, ScanStatus status) override;

  const Icon& OnQueryDragIcon() const { return m_hIcon; }

  // Fields, in the order the template's binding wants them.
  CEdit m_editStartPath;
  CButton m_buttonAction;
  CListCtrl m_listResults;
  CStatic m_staticFilesSkipped;
  CStatic m_staticMBytesPerSecond;
  CStatic m_staticScanErrors;
  CStatic m_staticFilesDeleted;
  CStatic m_staticFilesPerMinute;
  CStatic m_staticElapsedTime;
  CStatic m_staticFilesScanned;
  CStatic m_staticFilesInfected;
  CStatic m_staticCurrentFile;
  CStatic m_staticDirectories;
  CStatic m_staticFilesCleaned;
  Icon m_hIcon;
};

// The display's formats: "%d ", "%6.2f ", "%8.1f ", and the time span
// "%H : %M : %S " (hours within the day, so 25 h 1 min 1 s gives
// "01 : 01 : 01 "). The trailing space keeps the text off the sunken edge.
std::string format_count(std::int32_t value);
std::string format_mbytes_per_second(double value);
std::string format_files_per_minute(double value);
std::string format_span(std::int64_t seconds);

// A path split at its last separator into (folder, name); with no separator
// the folder is empty and the name is the whole path.
std::pair<std::string, std::string> split_path(const std::string& path, char separator);

}  // namespace quarn::ui
