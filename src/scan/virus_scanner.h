// The scanner: start folder, counters, current file, scan log, and the two
// registries through which files reach infection handlers. Run (on the worker
// thread) registers the handlers that its factory builds, builds the
// extension map, walks the start folder and records the end time.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/folder.h"
#include "platform/fs.h"
#include "platform/log_file.h"
#include "platform/read_ahead.h"
#include "platform/storage.h"
#include "scan/depth_control.h"
#include "scan/figures.h"
#include "scan/ring_search.h"
#include "scan/scan_status.h"
#include "scan/scan_thread.h"
#include "scan/shared_text.h"
#include "scan/virus_handler.h"
#include "scan/work_queue.h"

namespace quarn {

// References to handlers, ordered by object identity, never owning them.
using HandlerSet = std::set<CVirusHandler*>;
// Lower-case extension without its dot (possibly empty) to its handlers.
using ExtensionMap = std::map<std::string, HandlerSet>;

class FolderStack;
struct QueuedFile;

// Whether two paths name the same file by their text: letters compared
// without case, a run of separators after the first character read as one.
bool same_path_text(const std::string& a, const std::string& b);

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

  // How many threads search files in a walk; set before Start, never during
  // a run. With 1 (the default) the walk scans each file itself, in the
  // order listed. With more, the walk queues the files it lists and that
  // many threads open, read and search them, so reads overlap; each remedy,
  // with its log line and its OnFileResult, still runs alone, and files
  // finish in no fixed order. An OnFileResult that waits for another thread
  // (the window's) must keep 1.
  void set_jobs(std::size_t jobs) {
    jobs_ = jobs > 0 ? jobs : 1;
    adaptive_ = false;
  }
  // Instead of a fixed count: the walk finds how many files to read at once
  // by trying (DepthControl), from one up to most. seeks_hint: the device
  // says it seeks, so only a clear gain takes the scan deeper. device: the
  // counts of the devices scanned, where they can be had.
  void set_adaptive_jobs(std::size_t most, bool seeks_hint,
                         std::optional<platform::DeviceWorkCounter> device = std::nullopt) {
    jobs_ = most > 0 ? most : 1;
    adaptive_ = true;
    seeks_hint_ = seeks_hint;
    device_counter_ = std::move(device);
  }
  struct JobsChoice {
    std::size_t jobs = 1;
    std::string reason;  // empty for a count that was set
  };
  // How many files the last run read at once, and why; once it is over.
  JobsChoice GetJobsChoice() const;
  // Called on the worker thread once for every file handed to CleanFile,
  // after its log line is written and its counters have moved.
  virtual void OnFileResult(const char* pszPath, ScanStatus status);

  static ExtensionMap BuildExtensionMap(const HandlerSet& handlers);

  // A remedied file whose other names (hard links) the walk did not meet:
  // the remedy gave the name a new file or took it away, so those names
  // still lead to the infected bytes. A page is cut in place, and its other
  // names share the cut, so it is never one of these.
  struct NamesLeftBehind {
    std::string path;         // the name that was remedied
    std::uint64_t count = 0;  // its other names outside the scan
  };
  // In the order of the remedies; call once the run is over.
  std::vector<NamesLeftBehind> GetNamesLeftBehind() const;

  // Walks the folder and every folder below it. False when some folder in
  // it could not be listed (a start folder that does not exist is not one).
  bool ScanDirectory(const std::string& folder);
  // Scans one file named by its path, as a user names a single file.
  bool ScanFile(const std::string& path);
  // Scans one file of a walk; identity is the file's, when the listing
  // told it.
  bool ScanFile(const platform::FileAt& file, const std::optional<platform::FileIdentity>& identity);
  ScanStatus CleanFile(const platform::FileAt& file, const HandlerSet& handlers);

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
  virtual ScanStatus ApplyRemedy(CVirusHandler& handler, const platform::FileAt& file);
  // Offers a file named like a handler's temporary file to that handler,
  // which removes it if it is a leftover of its own, and says what became
  // of it. A preview leaves it. Runs apart from every remedy.
  virtual platform::Abandoned RemoveLeftover(CVirusHandler& handler, const platform::FileAt& file);
  // The word that the log line of a file with this result begins with.
  virtual const char* LogWord(ScanStatus status) const;
  enum class WalkDecision {
    walk,        // list it and walk on below it
    count_only,  // count it in Directories, enter nothing below it
    pass_over,   // neither count nor enter it
  };
  // Asked, with the folder already open, before a folder below the start
  // folder is walked. The scanner's own answer keeps out of pseudo file
  // systems (proc, sysfs, ...); derived scanners add rules of their own.
  virtual WalkDecision ShouldWalk(const std::string& path, const platform::Folder& folder);
  // Asked for every entry below the start folder, before anything is made
  // of it: true passes it over, uncounted, and a folder is not even opened,
  // so one that could not be listed is no error either. The scanner's own
  // answer passes nothing over; a front end may leave out what its user
  // asked it to (and count that itself).
  virtual bool ShouldPassOver(const std::string& path, bool folder);
  // Called on the worker thread for a folder that exists but could not be
  // listed, or whose listing failed midway. Its files are missed, so it
  // has already counted as a scan error; a front end may also name it.
  virtual void OnFolderNotListed(const std::string& path);
  // A file or folder that a walk passes over without a count wherever it
  // meets it, since it is scanned on its own: another start folder, or a
  // file named by itself. Set before Start.
  void PassOverInWalks(const platform::FileIdentity& identity) { m_passedOverInWalks.insert(identity); }
  // Called on the worker thread for a file that a handler claims but whose
  // data is not on the disk (an offline file, a cloud file not fetched). It
  // is never opened, since that would fetch it, and counts as skipped; a
  // front end may name it, so that it is not missed in silence.
  virtual void OnDataNotOnDisk(const std::string& path);
  // Called on the thread that tried, right after a file that was to be
  // searched could not be opened or read to its end; platform::last_error()
  // says why. It has already counted as a scan error.
  virtual void OnFileNotRead(const std::string& path);
  // Called on the worker thread, with the log to itself, after a file's log
  // line could not be written (m_fileLog->last_error() says why). The line
  // has already counted as a scan error; a front end may say so.
  virtual void OnLogLineLost();

 private:
  struct SearchScratch;
  class FileExecutor;
  class InlineExecutor;
  class PoolExecutor;
  friend struct QueuedFile;

  // What the walk makes of a listed file by its name and identity alone,
  // the same with one job or many: it passes it over (the program itself),
  // counts it as skipped (no handler claims it), or hands it on to the
  // per-file path, with the handlers that claim it or the handler whose
  // temporary file it may be.
  struct Claim {
    enum class Kind { pass_over, skip, hand_on };
    Kind kind = Kind::skip;
    const HandlerSet* claimed = nullptr;
    CVirusHandler* leftover_of = nullptr;
  };
  // What becomes of a file handed on, before its bytes are read: it is to
  // be searched (and is open), it is done with (a remedy's temporary file),
  // or it failed to open.
  enum class Admission { search, done, failed };
  // A file open for its search, with the handlers that claim it and the
  // bytes that a read ahead has already taken from it.
  struct OpenedFile {
    platform::File file;
    const HandlerSet* claimed;
    platform::ReadAhead::Fetched fetched;
  };

  // Looks up the program's own path and identity once per run, before any
  // thread of the walk may ask.
  void KnowOwnProgram();
  // The handlers that claim the file's extension; null when none does.
  const HandlerSet* ClaimsOf(const std::string& path) const;
  // The program's own file or the scan log: never scanned, never counted.
  bool IsOwnFile(const std::string& path, const std::optional<platform::FileIdentity>& identity);
  bool IsPassedOverInWalks(const std::optional<platform::FileIdentity>& identity) const;
  Claim ClaimOf(std::string_view name, const std::string& path,
                const std::optional<platform::FileIdentity>& identity);
  // The walk: lists each level of the stack, decides for each entry, and
  // hands the files on to the executor. False when a folder was missed.
  bool Walk(FolderStack& stack, FileExecutor& executor);
  std::unique_ptr<FileExecutor> MakeExecutor(std::shared_ptr<const platform::Folder> start);
  // The per-file path of a file handed on, the same on every thread.
  bool ScanHandedOn(SearchScratch& scratch, const QueuedFile& file);
  bool ScanClaimed(SearchScratch& scratch, const platform::FileAt& file, const Claim& claim);
  // The two halves of a file's scan: everything up to its opening, which
  // counts a file that is done with or failed, then its search and remedy.
  Admission OpenForSearch(const platform::FileAt& file, const Claim& claim, std::optional<OpenedFile>& opened);
  bool SearchOpened(SearchScratch& scratch, const platform::FileAt& file, OpenedFile opened);
  void OfferLeftover(CVirusHandler& handler, const platform::FileAt& file);
  // One thread's turn on the pool: a batch of queued files.
  void ScanQueued(WorkerPool<QueuedFile>::Batch& batch, SearchScratch& scratch);
  void FolderNotListed(const std::string& path);
  void FileNotRead(const std::string& path);
  // Opens the folder name below parent and, if it is to be walked, adds it
  // to the stack; a folder that cannot be opened or listed is said.
  void WalkInto(FolderStack& stack, const platform::Folder& parent, const std::string& name, std::string path);
  // Writes one file's log line; false when the write failed.
  bool WriteLogLine(const std::string& path, ScanStatus result);

  HandlerFactory m_makeHandlers;

  // A file search's scratch, reused from file to file: the worker's own, or
  // one per thread of a walk with several jobs. Never shared by two threads.
  // (No member may be called "slots": Qt code includes this header.)
  struct SearchScratch {
    std::unique_ptr<RingSearch> ring;
    std::vector<const char*> slot_signatures;
    std::vector<CVirusHandler*> slot_handlers;
    std::vector<bool> found;
    // A batch of queued files between their opening and their search, and
    // the read ahead that fetches them together (made on first use).
    std::vector<std::optional<OpenedFile>> opened;
    std::vector<platform::File*> to_fetch;
    std::vector<platform::ReadAhead::Fetched> fetched;
    std::unique_ptr<platform::ReadAhead> read_ahead;
  };

  // The search's scratch of files that the worker scans itself.
  SearchScratch scratch_;
  std::size_t jobs_ = 1;
  bool adaptive_ = false;
  bool seeks_hint_ = false;
  std::optional<platform::DeviceWorkCounter> device_counter_;
  // The depth finder of an adaptive run, shared by the pools of its walks;
  // under depth_mutex_.
  mutable std::mutex depth_mutex_;
  std::optional<DepthControl> depth_control_;
  std::uint64_t files_done_ = 0;
  // Set once depth_control_ has settled, so that later batches skip the
  // clock and the lock.
  std::atomic<bool> depth_found_{true};
  double busy_seconds_ = 0;
  // What the devices had done when the run began.
  std::optional<platform::DeviceWork> device_at_start_;
  // After a batch of files that took busy, or with none while the walk
  // lists folders: tells the depth finder and sets the pool's.
  void AdaptDepth(std::size_t files, std::chrono::steady_clock::duration busy, WorkerPool<QueuedFile>& pool);
  // Held from a file's first remedy to the end of its OnFileResult, so
  // remedies never run side by side, the log has one writer at a time and
  // its lines come in the order of the notifications.
  mutable std::mutex result_mutex_;
  std::optional<std::string> m_strOwnProgram;
  std::optional<platform::FileIdentity> m_ownProgramIdentity;
  // The scan log as it was opened, so that a walk never takes it for a
  // file of the disk (a log named scan.eml would be deleted).
  std::optional<std::string> m_strLogPath;
  std::optional<platform::FileIdentity> m_logIdentity;
  // A set: every entry of a walk is looked up, and a list may name many.
  std::set<platform::FileIdentity> m_passedOverInWalks;
  bool m_bOwnProgramKnown = false;
  // Whether each device met by the walk holds one of the kernel's own file
  // systems: a folder's file system is its device's, so each is asked once.
  // The walk's thread alone uses it.
  std::map<std::uint64_t, bool> m_pseudoDevices;

  // Infected files with more than one name, by the identity they had when
  // they were searched; under result_mutex_.
  struct LinkedFile {
    std::size_t order = 0;       // of its first remedy that left names behind
    std::string path;            // that remedy's name
    std::uint64_t links = 0;     // the most names it was seen with
    std::uint64_t names_met = 0;
    bool left_behind = false;    // a remedy took one name away from it
  };
  struct IdentityOrder {
    bool operator()(const platform::FileIdentity& a, const platform::FileIdentity& b) const {
      return a.device != b.device ? a.device < b.device : a.index < b.index;
    }
  };
  std::map<platform::FileIdentity, LinkedFile, IdentityOrder> m_linkedFiles;
  std::size_t m_linkedOrder = 0;
  // Notes an infected file with several names and what its remedy did to
  // the name; under result_mutex_.
  void NoteLinkedFile(const platform::FileAt& at, const platform::FileIdentity& identity, std::uint64_t links,
                      ScanStatus result);
};

}  // namespace quarn
