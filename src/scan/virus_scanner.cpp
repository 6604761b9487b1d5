#include "scan/virus_scanner.h"

#include <cstdio>
#include <exception>
#include <stdexcept>
#include <limits>
#include <vector>

#include "platform/clock.h"
#include "platform/directory.h"
#include "platform/file.h"
#include "platform/fs.h"

namespace quarn {
namespace {

// Feeds the ring from an open file and counts every byte as it arrives, so
// the window's rate moves during a long file.
class FileSource : public ByteSource {
 public:
  FileSource(platform::File& file, std::atomic<std::uint64_t>& bytes_read) : file_(file), bytes_read_(bytes_read) {}
  std::size_t read(std::uint8_t* destination, std::size_t length) override {
    std::size_t n = file_.read(destination, length);
    bytes_read_.fetch_add(n, std::memory_order_relaxed);
    return n;
  }

 private:
  platform::File& file_;
  std::atomic<std::uint64_t>& bytes_read_;
};

void bump(std::atomic<std::int32_t>& counter) { counter.fetch_add(1, std::memory_order_relaxed); }

// The extension of a path: the text after its last ".", lower-cased; empty
// when there is no "." or the only one is the path's first character. It may
// reach into folder names (my.dir/readme gives "dir/readme").
std::string extension_of(const std::string& path) {
  std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot == 0) return {};
  std::string extension = path.substr(dot + 1);
  platform::lower_ansi(extension);
  return extension;
}

}  // namespace

CVirusScanner::CVirusScanner(const char* pszStartPath, const std::optional<std::string>& log_path)
    : m_strStartPath(pszStartPath != nullptr ? pszStartPath : "") {
  m_timeStart.store(platform::now_seconds(), std::memory_order_relaxed);
  if (log_path) m_fileLog = platform::LogFile::open_exclusive(*log_path);
}

CVirusScanner::~CVirusScanner() {
  // The worker uses the log, the containers and the texts: it must be gone
  // before any of them is torn down.
  StopAndWaitForever();
}

bool CVirusScanner::Start() {
  m_timeStart.store(platform::now_seconds(), std::memory_order_relaxed);
  return CScanThread::Start();
}

void CVirusScanner::Run() {
  const std::string start = m_strStartPath.get();
  RunWith([&] { ScanDirectory(start); });
}

void CVirusScanner::RunWith(const std::function<void()>& walk) {
  CExeHandler exe;
  m_setHandlers.insert(&exe);
  CHtmlHandler html;
  m_setHandlers.insert(&html);
  CMailHandler mail;
  m_setHandlers.insert(&mail);
  m_mapExtensions = BuildExtensionMap(m_setHandlers);
  m_bOwnProgramKnown = false;

  walk();

  m_timeEnd.store(platform::now_seconds(), std::memory_order_relaxed);
  m_setHandlers.clear();
  // The map refers to handlers that end with this scope.
  m_mapExtensions.clear();
}

void CVirusScanner::OnFileResult(const char*, ScanStatus) {}

ExtensionMap CVirusScanner::BuildExtensionMap(const HandlerSet& handlers) {
  ExtensionMap map;
  for (CVirusHandler* handler : handlers) {
    const std::string& list = handler->m_strExtensions;
    std::size_t s = 0;
    while (s < list.size()) {
      std::size_t end = list.find(';', s);
      if (end == std::string::npos) end = list.size();
      std::string piece = list.substr(s, end - s);
      platform::lower_ansi(piece);
      map[piece].insert(handler);
      s = end + 1;
    }
  }
  // A handler with no extensions of its own joins every extension that
  // another handler claims, and makes no entry.
  for (CVirusHandler* handler : handlers) {
    if (!handler->m_strExtensions.empty()) continue;
    for (auto& [key, set] : map) set.insert(handler);
  }
  return map;
}

bool CVirusScanner::ScanDirectory(const std::string& folder) {
  auto listing = platform::DirectoryListing::open(folder);
  if (listing) {
    const char sep = platform::separator();
    platform::DirEntry entry;
    bool more = listing->next(entry);
    while (more) {
      if (entry.kind == platform::EntryKind::directory) {
        if (entry.name != "." && entry.name != "..") {
          std::string sub = folder + sep + entry.name;
          if (ShouldWalk(sub)) ScanDirectory(sub);
        }
      } else if (entry.kind == platform::EntryKind::regular) {
        ScanFile(folder + sep + entry.name);
      } else {
        // Links (to files or folders) and special files are never opened or
        // walked: a link loop would walk forever and a FIFO would hang the
        // read. They count as skipped.
        bump(m_nFilesSkipped);
      }
      more = listing->next(entry);
      // The first entry is handled without a look; a stop takes effect only
      // once a further entry has been fetched.
      if (more && m_nThreadState.load(std::memory_order_relaxed) == kStopRequested) break;
    }
  }
  bump(m_nDirectories);
  return listing.has_value();
}

bool CVirusScanner::IsOwnProgram(const std::string& path) {
  if (!m_bOwnProgramKnown) {
    m_strOwnProgram = platform::own_program_path();
    m_bOwnProgramKnown = true;
  }
  return m_strOwnProgram && platform::equal_no_case(path, *m_strOwnProgram);
}

bool CVirusScanner::ScanFile(const std::string& path) {
  try {
    if (IsOwnProgram(path)) return true;

    auto claimed = m_mapExtensions.find(extension_of(path));
    if (claimed == m_mapExtensions.end() || claimed->second.empty()) {
      bump(m_nFilesSkipped);
      return true;
    }

    HandlerSet matched;
    {
      auto file = platform::File::open_read(path);
      if (!file) {
        bump(m_nScanErrors);
        return false;
      }
      // The slot vectors are the worker's own and are reused from file to file.
      std::vector<const char*>& slots = m_slots;
      std::vector<CVirusHandler*>& slot_handlers = m_slotHandlers;
      slots.clear();
      slot_handlers.clear();
      for (CVirusHandler* handler : claimed->second) {
        slot_handlers.push_back(handler);
        if (handler->m_bMatchAlways) {
          matched.insert(handler);
          slots.push_back(nullptr);
        } else {
          slots.push_back(handler->m_pszSignature);
        }
      }
      if (!m_ring || m_ring->half_length() != m_nHalfBufferLength) {
        m_ring = std::make_unique<RingSearch>(m_nHalfBufferLength);
      }
      FileSource source(*file, m_nBytesRead);
      std::vector<bool>& found = m_slotFound;
      m_ring->search(source, slots, found);
      for (std::size_t i = 0; i < found.size(); ++i) {
        if (found[i]) matched.insert(slot_handlers[i]);
      }
    }  // the file is closed before any remedy sees it

    m_strCurrentFile.set(path);
    bump(m_nFilesScanned);
    if (!matched.empty()) {
      ScanStatus result = CleanFile(path, matched);
      bump(m_nFilesInfected);
      if (result & STATUS_CLEANED) bump(m_nFilesCleaned);
      if (result & STATUS_DELETED) bump(m_nFilesDeleted);
      OnFileResult(path.c_str(), result);
    }
    return true;
  } catch (...) {
    // One file's failure is one scan error; the walk goes on.
    bump(m_nScanErrors);
    return false;
  }
}

ScanStatus CVirusScanner::ApplyRemedy(CVirusHandler& handler, const std::string& path) {
  return handler.Clean(path.c_str());
}

bool CVirusScanner::ShouldWalk(const std::string&) { return true; }

ScanStatus CVirusScanner::CleanFile(const std::string& path, const HandlerSet& handlers) {
  ScanStatus result = STATUS_ERROR;
  for (CVirusHandler* handler : handlers) result = ApplyRemedy(*handler, path);
  if (result & STATUS_ERROR) bump(m_nScanErrors);
  if (m_fileLog) {
    std::string line = log_status_name(result);
    line += ":  ";
    line += platform::log_text(path);
    line += "\r\n";
    // A failed write ends this file's processing through ScanFile's catch-all.
    if (!m_fileLog->write(line)) throw std::runtime_error("scan log write failed");
  }
  return result;
}

std::int64_t CVirusScanner::GetElapsedSeconds() const {
  const std::int64_t start = m_timeStart.load(std::memory_order_relaxed);
  if (IsRunning()) return platform::now_seconds() - start;
  return m_timeEnd.load(std::memory_order_relaxed) - start;
}

double CVirusScanner::GetFilesPerMinute() const {
  // No guard on the divisor: 0 seconds gives infinity or not-a-number.
  const double scanned = m_nFilesScanned.load(std::memory_order_relaxed);
  return scanned / static_cast<double>(GetElapsedSeconds()) * 60.0;
}

std::optional<double> CVirusScanner::GetMBytesPerSecond() const {
  const std::int64_t elapsed = GetElapsedSeconds();
  if (elapsed <= 0) return std::nullopt;
  const double bytes = static_cast<double>(m_nBytesRead.load(std::memory_order_relaxed));
  return bytes / static_cast<double>(elapsed) / 1048576.0;
}

}  // namespace quarn
