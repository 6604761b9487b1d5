// The scanner: start folder, counters, current file, scan log, and the two
// registries through which files reach infection handlers. Run (on the worker
// thread) registers the handlers that its factory builds, builds the
// extension map, walks the start folder and records the end time.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/fs.h"
#include "platform/log_file.h"
#include "scan/figures.h"
#include "scan/ring_search.h"
#include "scan/scan_status.h"
#include "scan/scan_thread.h"
#include "scan/shared_text.h"
#include "scan/virus_handler.h"

namespace quarn {

// References to handlers, ordered by object identity, never owning them.
using HandlerSet = std::set<CVirusHandler*>;
// Lower-case extension without its dot (possibly empty) to its handlers.
using ExtensionMap = std::map<std::string, HandlerSet>;

class CVirusScanner : public CScanThread {
 public:
  static constexpr std::uint32_t kHalfBufferLength = 0xFFFF;

  // make_handlers: builds the handlers at the start of every run.
  // pszStartPath: the walk's start folder (empty when none is given).
  // log_path: where the scan log is created; nothing means no log.
  explicit CVirusScanner(HandlerFactory make_handlers, const char* pszStartPath = nullptr,
                         const std::optional<std::string>& log_path = platform::default_log_path());
  ~CVirusScanner() override;

  bool Start() override;
  void Run() override;
  // Called on the worker thread once for every file handed to CleanFile,
  // after its log line is written and its counters have moved.
  virtual void OnFileResult(const char* pszPath, ScanStatus status);

  static ExtensionMap BuildExtensionMap(const HandlerSet& handlers);

  bool ScanDirectory(const std::string& folder);
  bool ScanFile(const std::string& path);
  ScanStatus CleanFile(const std::string& path, const HandlerSet& handlers);

  // Derived figures, read on the user-interface thread.
  std::int64_t GetElapsedSeconds() const;
  double GetFilesPerMinute() const;
  // Nothing while the elapsed seconds are 0 or less.
  std::optional<double> GetMBytesPerSecond() const;
  Figures GetFigures() const;

  bool HasLog() const { return m_fileLog.has_value(); }

  // The start folder; the window replaces it just before each Start, while a
  // run may be copying it.
  SharedText m_strStartPath;

  // Counters, written by the worker only and read by the window (relaxed).
  std::atomic<std::int32_t> m_nFilesScanned{0};
  std::atomic<std::int32_t> m_nFilesSkipped{0};
  std::atomic<std::int32_t> m_nScanErrors{0};
  std::atomic<std::int32_t> m_nFilesInfected{0};
  std::atomic<std::int32_t> m_nFilesDeleted{0};
  std::atomic<std::int32_t> m_nFilesCleaned{0};
  std::atomic<std::int32_t> m_nDirectories{0};
  // 64 bits, so the rate stays right past 4 GiB.
  std::atomic<std::uint64_t> m_nBytesRead{0};
  std::atomic<std::int64_t> m_timeStart{0};
  std::atomic<std::int64_t> m_timeEnd{0};

  // Full path of the file whose search finished last.
  SharedText m_strCurrentFile;

  std::optional<platform::LogFile> m_fileLog;
  std::uint32_t m_nHalfBufferLength = kHalfBufferLength;

  HandlerSet m_setHandlers;
  ExtensionMap m_mapExtensions;

 protected:
  // The run sequence around a walk: register the three handlers, build the
  // extension map, walk, record the end time, empty the handler set. Run
  // walks the start folder; a derived scanner may walk several roots.
  void RunWith(const std::function<void()>& walk);
  // Applies one matched handler's remedy. Derived scanners wrap it (a backup
  // first, or a preview instead of the remedy).
  virtual ScanStatus ApplyRemedy(CVirusHandler& handler, const std::string& path);
  // The word that the log line of a file with this result begins with.
  virtual const char* LogWord(ScanStatus status) const;
  // Asked before a folder below the start folder is walked; a folder for
  // which it answers false is passed over without being counted.
  virtual bool ShouldWalk(const std::string& folder);

 private:
  bool IsOwnProgram(const std::string& path);
  // Writes one file's log line; false when the write failed.
  bool WriteLogLine(const std::string& path, ScanStatus result);

  HandlerFactory m_makeHandlers;

  // The search's ring and per-file scratch, used by the worker only.
  std::unique_ptr<RingSearch> m_ring;
  std::vector<const char*> m_slots;
  std::vector<CVirusHandler*> m_slotHandlers;
  std::vector<bool> m_slotFound;
  std::optional<std::string> m_strOwnProgram;
  bool m_bOwnProgramKnown = false;
};

}  // namespace quarn
