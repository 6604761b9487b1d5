#include "scan/virus_scanner.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <system_error>
#include <vector>

#include "platform/clock.h"
#include "platform/directory.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/read_ahead.h"
#include "platform/system_error.h"
#include "scan/folder_stack.h"
#include "scan/folder_warmer.h"

namespace quarn {

// A listed file that waits for a thread of the walk. It holds its folder, so
// the folder stays open until the file is done.
struct QueuedFile {
  std::shared_ptr<const platform::Folder> folder;
  // The full path; the entry's name is its tail from name_at on, so that a
  // queued file costs one allocation (made on the walk's thread and freed
  // on another).
  std::string path;
  std::size_t name_at = 0;
  std::optional<platform::FileIdentity> identity;
  // What the walk found it to be: the handlers that claim it, or the
  // handler whose leftover it may be.
  CVirusScanner::Claim claim;

  std::string_view name() const { return std::string_view(path).substr(name_at); }
  platform::FileAt at() const { return platform::FileAt{*folder, name(), path}; }
};

namespace {

// Files queued per thread of a walk: enough that no thread waits for the
// walk while it lists a folder, and that a walk held back by a full queue is
// woken once per half a queue, not every few files. A queued file may hold
// a folder that the walk has already closed, and a thread holds its batch's
// files open together, so both are capped: the walk's 33 open levels, 256
// queued files with their folders and 256 files in the threads' hands with
// theirs come to 801 descriptors at most, below the 1,024 that a process
// gets by default, whatever the jobs. The sorting window adds none: it only
// ever holds files of the folder that the walk is listing.
constexpr std::size_t kFilesQueuedPerJob = 128;
constexpr std::size_t kMostFilesQueued = 256;
constexpr std::size_t kMostFilesInHand = 256;
constexpr std::size_t kSortWindow = 512;

// Where a queued file lies in its file system's own numbering; files that
// have no number keep the walk's order among themselves.
std::uint64_t file_number(const QueuedFile& file) { return file.identity ? file.identity->index : 0; }

// Feeds the ring from an open file, first with the bytes that a read ahead
// has taken from it, and counts every byte as it arrives, so the window's
// rate moves during a long file.
class FileSource : public ByteSource {
 public:
  FileSource(platform::File& file, std::atomic<std::uint64_t>& bytes_read, platform::ReadAhead::Fetched fetched)
      : file_(file), bytes_read_(bytes_read), fetched_(fetched) {}
  std::size_t read(std::uint8_t* destination, std::size_t length) override {
    std::size_t n = std::min(length, fetched_.bytes.size());
    if (n > 0) {
      std::memcpy(destination, fetched_.bytes.data(), n);
      fetched_.bytes = fetched_.bytes.subspan(n);
    }
    // Once the fetched bytes are all of the file, the file is not asked
    // again only to say that it has ended.
    if (n < length && !(fetched_.whole && fetched_.bytes.empty())) n += file_.read(destination + n, length - n);
    bytes_read_.fetch_add(n, std::memory_order_relaxed);
    return n;
  }

 private:
  platform::File& file_;
  std::atomic<std::uint64_t>& bytes_read_;
  platform::ReadAhead::Fetched fetched_;
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

// The identity of a listed entry, where the listing gives its file number.
std::optional<platform::FileIdentity> entry_identity_of(const std::optional<platform::FileIdentity>& folder,
                                                        const platform::DirEntry& entry) {
  if (!folder || entry.inode == 0) return std::nullopt;
  return platform::FileIdentity{folder->device, entry.inode};
}

}  // namespace

bool same_path_text(const std::string& a, const std::string& b) {
  // Separators fold after the first character, so "c:\\x.exe" (a start
  // folder that ends in a separator, joined plainly) is "c:\x.exe", while
  // a share's leading "\\\\" stays what it is.
  auto fold = [](const std::string& path) {
    std::string out;
    out.reserve(path.size());
    for (std::size_t i = 0; i < path.size(); ++i) {
      const bool sep = path[i] == platform::separator();
      if (sep && i > 1 && path[i - 1] == platform::separator()) continue;
      out += path[i];
    }
    return out;
  };
  return platform::equal_no_case(fold(a), fold(b));
}

CVirusScanner::CVirusScanner(HandlerFactory make_handlers, const char* pszStartPath,
                             const std::optional<std::string>& log_path)
    : m_strStartPath(pszStartPath != nullptr ? pszStartPath : ""), m_makeHandlers(std::move(make_handlers)) {
  m_timeStart.store(platform::now_seconds(), std::memory_order_relaxed);
  if (log_path) m_fileLog = platform::LogFile::open_exclusive(*log_path);
  if (m_fileLog) {
    m_strLogPath = *log_path;
    m_logIdentity = platform::identity_of(*log_path);
  }
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
  // The handlers belong to this run: built here, released when it returns.
  std::vector<std::unique_ptr<CVirusHandler>> handlers;
  if (m_makeHandlers) handlers = m_makeHandlers();
  for (const auto& handler : handlers) m_setHandlers.insert(handler.get());
  m_mapExtensions = BuildExtensionMap(m_setHandlers);
  m_bOwnProgramKnown = false;
  {
    std::lock_guard lock(depth_mutex_);
    if (adaptive_) {
      depth_control_.emplace(jobs_, seeks_hint_);
    } else {
      depth_control_.reset();
    }
    files_done_ = 0;
    depth_found_.store(!depth_control_ || depth_control_->settled(), std::memory_order_relaxed);
    busy_seconds_ = 0;
    device_at_start_ = depth_control_ && device_counter_ ? device_counter_->read() : std::nullopt;
  }
  {
    std::lock_guard lock(result_mutex_);
    m_linkedFiles.clear();
    m_linkedOrder = 0;
  }

  walk();

  m_timeEnd.store(platform::now_seconds(), std::memory_order_relaxed);
  m_setHandlers.clear();
  // The map refers to handlers that end with this scope.
  m_mapExtensions.clear();
}

void CVirusScanner::OnFileResult(const char*, ScanStatus) {}

void CVirusScanner::NoteLinkedFile(const platform::FileAt& at, const platform::FileIdentity& identity,
                                   std::uint64_t links, ScanStatus result) {
  LinkedFile& linked = m_linkedFiles[identity];
  // Every name counts once, whichever came first: the first to be searched
  // saw the most names, since only remedies take names away.
  ++linked.names_met;
  linked.links = std::max(linked.links, links);
  if (linked.left_behind || (result & (STATUS_CLEANED | STATUS_DELETED)) == 0) return;
  // A remedy that kept the file (a cut in place) kept its other names with
  // it; one that replaced or deleted the name left them on the old file.
  if (at.folder.identity_of(at.name) == identity) return;
  linked.left_behind = true;
  linked.path = at.path;
  linked.order = m_linkedOrder++;
}

std::vector<CVirusScanner::NamesLeftBehind> CVirusScanner::GetNamesLeftBehind() const {
  std::lock_guard lock(result_mutex_);
  std::vector<std::pair<std::size_t, NamesLeftBehind>> found;
  for (const auto& [identity, linked] : m_linkedFiles) {
    if (linked.left_behind && linked.links > linked.names_met) {
      found.push_back({linked.order, NamesLeftBehind{linked.path, linked.links - linked.names_met}});
    }
  }
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<NamesLeftBehind> names;
  for (auto& [order, left] : found) names.push_back(std::move(left));
  return names;
}

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

// Runs the per-file path of every file that the walk hands on: at once, on
// the walk's own thread, or on a pool of threads. The walk tells it where
// folders begin and end, and waits for it at the end.
class CVirusScanner::FileExecutor {
 public:
  virtual ~FileExecutor() = default;
  virtual void hand_on(QueuedFile file) = 0;
  // The walk is about to enter a folder, or has ended one.
  virtual void at_folder_boundary() {}
  // The walk is about to open one more folder below its start.
  virtual void entered_folder() {}
  // Returns once every file handed on is done with.
  virtual void finish() {}
};

// One job, and the window: each file is done where the walk lists it, so
// files finish, log and notify in the order of the listing.
class CVirusScanner::InlineExecutor final : public FileExecutor {
 public:
  explicit InlineExecutor(CVirusScanner& scanner) : scanner_(scanner) {}
  void hand_on(QueuedFile file) override { scanner_.ScanHandedOn(scanner_.scratch_, file); }

 private:
  CVirusScanner& scanner_;
};

// Several jobs: the files go to threads that live as long as the walk.
class CVirusScanner::PoolExecutor final : public FileExecutor {
 public:
  // Throws std::system_error when no thread can be had.
  // active: how many of the threads take files from the start.
  PoolExecutor(CVirusScanner& scanner, std::size_t jobs, bool adaptive, std::size_t active,
               std::shared_ptr<const platform::Folder> start)
      : scanner_(scanner),
        adaptive_(adaptive),
        start_(std::move(start)),
        scratch_(jobs),
        pool_(jobs, std::min(jobs * kFilesQueuedPerJob, kMostFilesQueued), batch_for(active),
              [&scanner, adaptive, this](WorkerPool<QueuedFile>::Batch& files, std::size_t worker) {
                // Only the probe is timed: once the depth is found, a batch
                // costs no clock and no lock.
                const bool timed = adaptive && !scanner.depth_found_.load(std::memory_order_acquire);
                const auto started = timed ? std::chrono::steady_clock::now() : std::chrono::steady_clock::time_point{};
                scanner.ScanQueued(files, scratch_[worker]);
                if (timed) scanner.AdaptDepth(files.items().size(), std::chrono::steady_clock::now() - started, pool_);
              },
              active) {}
  // The files a thread takes at once: together the threads hold
  // kMostFilesInHand, and one thread no more than one read ahead can fetch.
  static std::size_t batch_for(std::size_t active) {
    return std::clamp<std::size_t>(kMostFilesInHand / active, 1, platform::ReadAhead::most_files());
  }
  ~PoolExecutor() override { finish(); }

  void entered_folder() override {
    // While the probe reads one file at a time, a walk with folders to list
    // looks at the device's own counts now and then: a fast device ends the
    // probe before a long first file has been read to its end.
    if (adaptive_ && !scanner_.depth_found_.load(std::memory_order_acquire) &&
        ++folders_in_probe_ % kFoldersPerDeviceLook == 0) {
      scanner_.AdaptDepth(0, {}, pool_);
    }
    if (start_ != nullptr) {
      try {
        warmer_.emplace(std::move(start_), kWarmerThreads);
      } catch (const std::system_error&) {
        // No threads to be had: the walk lists every folder itself.
      }
      start_.reset();
    }
    if (!warmer_) return;
    // Listing ahead pays where reads overlap; on a disk that seeks it would
    // only pull the head away from the walk, so it ends once the depth
    // finder has settled at one file at a time.
    if (adaptive_ && !depth_checked_ && scanner_.depth_found_.load(std::memory_order_acquire)) {
      depth_checked_ = true;
      if (scanner_.GetJobsChoice().jobs <= 1) {
        warmer_.reset();
        return;
      }
    }
    warmer_->walk_entered();
  }

  void hand_on(QueuedFile file) override {
    window_.push_back(std::move(file));
    if (window_.size() >= kSortWindow) at_folder_boundary();
  }
  // The files go to the threads a window at a time, each window in the
  // order of the files' numbers: on most file systems that is the order of
  // their data on the disk, so the files that a thread reads ahead together
  // lie side by side (and are joined into one read), and a spinning disk
  // reads on instead of seeking back and forth. A window is handed over
  // when it is full and at every folder boundary, so it only ever holds
  // files of the folder being listed.
  void at_folder_boundary() override {
    std::stable_sort(window_.begin(), window_.end(),
                     [](const QueuedFile& a, const QueuedFile& b) { return file_number(a) < file_number(b); });
    for (QueuedFile& file : window_) pool_.push(std::move(file));
    window_.clear();
  }
  void finish() override {
    warmer_.reset();
    at_folder_boundary();
    pool_.finish();
  }

 private:
  static constexpr std::size_t kWarmerThreads = 4;
  static constexpr std::size_t kFoldersPerDeviceLook = 16;
  CVirusScanner& scanner_;
  const bool adaptive_;
  bool depth_checked_ = false;
  std::size_t folders_in_probe_ = 0;
  // The start folder, until the walk enters its first folder and the
  // warmer starts from it.
  std::shared_ptr<const platform::Folder> start_;
  std::optional<FolderWarmer> warmer_;
  // Each thread's own scratch; it outlives the threads (declared first).
  std::vector<SearchScratch> scratch_;
  std::vector<QueuedFile> window_;
  WorkerPool<QueuedFile> pool_;
};

void CVirusScanner::AdaptDepth(std::size_t files, std::chrono::steady_clock::duration busy,
                               WorkerPool<QueuedFile>& pool) {
  std::lock_guard lock(depth_mutex_);
  if (!depth_control_ || depth_control_->settled()) return;
  files_done_ += files;
  busy_seconds_ += std::chrono::duration<double>(busy).count();
  const std::size_t before = depth_control_->depth();
  // What the devices did since the run began; read only while the probe
  // lasts.
  std::optional<platform::DeviceWork> device;
  if (device_at_start_) {
    if (auto now = device_counter_->read(); now && now->requests >= device_at_start_->requests) {
      device = platform::DeviceWork{now->requests - device_at_start_->requests,
                                    now->busy_seconds - device_at_start_->busy_seconds};
    }
  }
  const std::size_t after =
      depth_control_->sample(files_done_, m_nBytesRead.load(std::memory_order_relaxed), busy_seconds_, device);
  if (after != before) pool.set_active(after, PoolExecutor::batch_for(after));
  depth_found_.store(depth_control_->settled(), std::memory_order_release);
}

CVirusScanner::JobsChoice CVirusScanner::GetJobsChoice() const {
  std::lock_guard lock(depth_mutex_);
  if (!adaptive_ || !depth_control_) return JobsChoice{jobs_, {}};
  return JobsChoice{depth_control_->depth(), depth_control_->reason()};
}

std::unique_ptr<CVirusScanner::FileExecutor> CVirusScanner::MakeExecutor(
    std::shared_ptr<const platform::Folder> start) {
  if (jobs_ > 1) {
    try {
      return std::make_unique<PoolExecutor>(*this, jobs_, adaptive_, GetJobsChoice().jobs, std::move(start));
    } catch (const std::system_error&) {
      // No threads to be had: this walk scans its files itself.
    }
  }
  return std::make_unique<InlineExecutor>(*this);
}

bool CVirusScanner::ScanDirectory(const std::string& folder) {
  // A device number freed by an unmount may come back as another file
  // system: what each device holds is known for one walk only.
  m_pseudoDevices.clear();
  // The start folder is what the user named: a link there is followed once.
  // Nothing met below it is ever followed.
  platform::FolderOpening start = platform::Folder::open(folder, platform::LinkAtEnd::follow);
  std::optional<platform::DirectoryListing> listing;
  if (start.folder) listing = start.folder->list();
  if (!listing) {
    // A start folder that does not exist is an empty scan; one that exists
    // but cannot be listed hides files, and is said.
    if (!start.missing) FolderNotListed(folder);
    bump(m_nDirectories);
    return false;
  }
  FolderStack stack(std::move(*start.folder), std::move(*listing), folder);
  // Every file below folder is done with when this returns.
  std::unique_ptr<FileExecutor> executor = MakeExecutor(stack.folder());
  const bool listed_all = Walk(stack, *executor);
  executor->finish();
  return listed_all;
}

bool CVirusScanner::Walk(FolderStack& stack, FileExecutor& executor) {
  bool listed_all = true;
  while (stack.depth() > 0) {
    platform::DirEntry entry;
    platform::ListingStep step = stack.next(entry);
    // The first entry of a folder is handled without a look; a stop takes
    // effect once a further entry has been fetched, and then ends every
    // open level in turn.
    if (step == platform::ListingStep::entry && stack.handled_an_entry() && StopRequested()) {
      step = platform::ListingStep::end;
    }
    std::shared_ptr<const platform::Folder> here;
    if (step == platform::ListingStep::entry) {
      stack.mark_entry_handled();
      if (entry.name == "." || entry.name == "..") continue;
      // A level whose folder was swapped since it was listed is not read on.
      here = stack.folder();
      if (here == nullptr) {
        platform::record_error("changed", "the folder was replaced while it was listed");
        step = platform::ListingStep::error;
      }
    }
    if (step != platform::ListingStep::entry) {
      // A level counts once its walk is over; one whose listing failed has
      // missed files and says so.
      executor.at_folder_boundary();
      if (step == platform::ListingStep::error) {
        FolderNotListed(stack.path());
        listed_all = false;
      }
      bump(m_nDirectories);
      stack.pop();
      continue;
    }
    std::string path = stack.path() + platform::separator() + entry.name;
    if (ShouldPassOver(path, entry.kind == platform::EntryKind::directory)) continue;
    if (entry.kind == platform::EntryKind::directory) {
      executor.at_folder_boundary();
      executor.entered_folder();
      WalkInto(stack, *here, entry.name, std::move(path));
    } else if (entry.kind == platform::EntryKind::regular) {
      auto identity = entry_identity_of(stack.identity(), entry);
      if (!m_passedOverInWalks.empty() &&
          IsPassedOverInWalks(identity ? identity : here->identity_of(entry.name))) {
        continue;
      }
      const Claim claim = ClaimOf(entry.name, path, identity);
      if (claim.kind == Claim::Kind::skip) bump(m_nFilesSkipped);
      if (claim.kind != Claim::Kind::hand_on) continue;
      const std::size_t name_at = path.size() - entry.name.size();
      executor.hand_on(QueuedFile{std::move(here), std::move(path), name_at, identity, claim});
    } else {
      // Links (to files or folders) and special files are never opened or
      // walked: a link loop would walk forever and a FIFO would hang the
      // read. Nor is a file whose data lies elsewhere: opening it would
      // fetch it. They count as skipped.
      bump(m_nFilesSkipped);
      if (entry.kind == platform::EntryKind::not_on_disk && ClaimsOf(path) != nullptr) OnDataNotOnDisk(path);
    }
  }
  return listed_all;
}

CVirusScanner::Claim CVirusScanner::ClaimOf(std::string_view name, const std::string& path,
                                            const std::optional<platform::FileIdentity>& identity) {
  if (IsOwnFile(path, identity)) return {Claim::Kind::pass_over};
  for (CVirusHandler* handler : m_setHandlers) {
    const char* prefix = handler->m_pszTemporaryPrefix;
    if (prefix != nullptr && name.substr(0, std::strlen(prefix)) == prefix) {
      return {Claim::Kind::hand_on, nullptr, handler};
    }
  }
  const HandlerSet* claimed = ClaimsOf(path);
  if (claimed == nullptr) return {Claim::Kind::skip};
  return {Claim::Kind::hand_on, claimed, nullptr};
}

const HandlerSet* CVirusScanner::ClaimsOf(const std::string& path) const {
  auto claimed = m_mapExtensions.find(extension_of(path));
  return claimed != m_mapExtensions.end() && !claimed->second.empty() ? &claimed->second : nullptr;
}

void CVirusScanner::ScanQueued(WorkerPool<QueuedFile>::Batch& batch, SearchScratch& mine) {
  // A stop leaves the files whose search no thread has begun (open or not,
  // they are closed untouched); a file begun is searched to its end and
  // handed on, as in a walk of one job.
  std::vector<std::optional<OpenedFile>>& opened = mine.opened;
  opened.clear();
  auto open_next = [&] {
    const QueuedFile& file = batch.items()[opened.size()];
    opened.emplace_back();
    OpenForSearch(file.at(), file.claim, opened.back());
  };
  if (StopRequested()) return;
  open_next();
  // A short file is not worth a thread's turn on its own: the oldest files
  // still queued are opened with it, so that the read ahead can ask the
  // disk for all of them at once. A long one is searched alone, so that long
  // files spread over the threads instead of waiting in one thread's batch.
  const bool short_first = !opened[0] || opened[0]->file.size_at_open() <= platform::ReadAhead::kBytesPerFile;
  if (short_first && batch.more() > 0) {
    while (opened.size() < batch.items().size() && !StopRequested()) open_next();
  }
  mine.to_fetch.clear();
  for (std::optional<OpenedFile>& file : opened) {
    if (file) mine.to_fetch.push_back(&file->file);
  }
  // One file alone has nothing to overlap with: it is read as it is searched.
  if (mine.to_fetch.size() > 1) {
    if (!mine.read_ahead) mine.read_ahead = std::make_unique<platform::ReadAhead>();
    mine.fetched.resize(mine.to_fetch.size());
    mine.read_ahead->fetch(mine.to_fetch, mine.fetched);
    std::size_t next = 0;
    for (std::optional<OpenedFile>& file : opened) {
      if (file) file->fetched = mine.fetched[next++];
    }
  }
  // Each file is searched, closed and handed to its remedy on its own, in
  // the batch's order.
  for (std::size_t i = 0; i < opened.size(); ++i) {
    if (!opened[i]) continue;
    if (StopRequested()) break;
    SearchOpened(mine, batch.items()[i].at(), std::move(*opened[i]));
  }
  opened.clear();
}

void CVirusScanner::WalkInto(FolderStack& stack, const platform::Folder& parent, const std::string& name,
                             std::string path) {
  auto child = parent.open_child(name);
  if (!child) {
    FolderNotListed(path);
    bump(m_nDirectories);
    return;
  }
  if (!m_passedOverInWalks.empty() && IsPassedOverInWalks(child->identity())) return;
  switch (ShouldWalk(path, *child)) {
    case WalkDecision::walk: break;
    case WalkDecision::count_only: bump(m_nDirectories); return;
    case WalkDecision::pass_over: return;
  }
  if (!stack.push(name, std::move(*child), path)) {
    FolderNotListed(path);
    bump(m_nDirectories);
  }
}

void CVirusScanner::KnowOwnProgram() {
  if (m_bOwnProgramKnown) return;
  m_strOwnProgram = platform::own_program_path();
  m_ownProgramIdentity = m_strOwnProgram ? platform::identity_of(*m_strOwnProgram) : std::nullopt;
  m_bOwnProgramKnown = true;
}

bool CVirusScanner::IsOwnFile(const std::string& path, const std::optional<platform::FileIdentity>& identity) {
  KnowOwnProgram();
  // By identity where the listing tells it: the same file, whatever path
  // text reaches it. By the path text otherwise, separators folded.
  auto is = [&](const std::optional<std::string>& own_path, const std::optional<platform::FileIdentity>& own) {
    if (identity && own) return *identity == *own;
    return own_path && same_path_text(path, *own_path);
  };
  return is(m_strOwnProgram, m_ownProgramIdentity) || is(m_strLogPath, m_logIdentity);
}

bool CVirusScanner::IsPassedOverInWalks(const std::optional<platform::FileIdentity>& identity) const {
  return identity && m_passedOverInWalks.contains(*identity);
}

bool CVirusScanner::ScanFile(const std::string& path) {
  auto placed = platform::PlacedFile::open(path);
  if (!placed) {
    FileNotRead(path);
    return false;
  }
  return ScanFile(placed->at(), platform::identity_of(path));
}

bool CVirusScanner::ScanFile(const platform::FileAt& at, const std::optional<platform::FileIdentity>& identity) {
  try {
    const Claim claim = ClaimOf(at.name, at.path, identity);
    if (claim.kind == Claim::Kind::skip) bump(m_nFilesSkipped);
    if (claim.kind != Claim::Kind::hand_on) return true;
    return ScanClaimed(scratch_, at, claim);
  } catch (...) {
    bump(m_nScanErrors);
    return false;
  }
}

bool CVirusScanner::ScanHandedOn(SearchScratch& scratch, const QueuedFile& file) {
  return ScanClaimed(scratch, file.at(), file.claim);
}

bool CVirusScanner::ScanClaimed(SearchScratch& scratch, const platform::FileAt& at, const Claim& claim) {
  std::optional<OpenedFile> opened;
  switch (OpenForSearch(at, claim, opened)) {
    case Admission::done: return true;
    case Admission::failed: return false;
    case Admission::search: break;
  }
  return SearchOpened(scratch, at, std::move(*opened));
}

CVirusScanner::Admission CVirusScanner::OpenForSearch(const platform::FileAt& at, const Claim& claim,
                                                      std::optional<OpenedFile>& opened) {
  opened.reset();
  try {
    if (claim.leftover_of != nullptr) {
      OfferLeftover(*claim.leftover_of, at);
      return Admission::done;
    }
    auto file = platform::File::open_read(at.folder, at.name);
    if (!file) {
      FileNotRead(at.path);
      return Admission::failed;
    }
    opened.emplace(OpenedFile{std::move(*file), claim.claimed, {}});
    return Admission::search;
  } catch (...) {
    // The last guard, as in the search below.
    opened.reset();
    bump(m_nScanErrors);
    return Admission::failed;
  }
}

void CVirusScanner::OfferLeftover(CVirusHandler& handler, const platform::FileAt& at) {
  platform::Abandoned what;
  {
    // Never beside a remedy of this scanner, so not between the moment a
    // restore lets go of its temporary file and the moment it renames it.
    std::lock_guard lock(result_mutex_);
    what = RemoveLeftover(handler, at);
  }
  // A temporary file that a restore, here or in another process, still
  // holds or has renamed away since the listing is nobody's file, and is
  // not counted. Anything else so named counts as skipped, as a file that
  // no handler claims does: a removed leftover, and a user's file that only
  // looks the part.
  if (what != platform::Abandoned::in_use && what != platform::Abandoned::gone) bump(m_nFilesSkipped);
}

bool CVirusScanner::SearchOpened(SearchScratch& scratch, const platform::FileAt& at, OpenedFile opened) {
  const std::string& path = at.path;
  platform::clear_error();
  try {
    HandlerSet matched;
    std::uint64_t links = 1;
    std::optional<platform::FileIdentity> identity;
    {
      platform::File file = std::move(opened.file);
      // The slot vectors are this thread's own and are reused from file to file.
      std::vector<const char*>& slots = scratch.slot_signatures;
      std::vector<CVirusHandler*>& slot_handlers = scratch.slot_handlers;
      slots.clear();
      slot_handlers.clear();
      for (CVirusHandler* handler : *opened.claimed) {
        slot_handlers.push_back(handler);
        if (handler->m_bMatchAlways) {
          matched.insert(handler);
          slots.push_back(nullptr);
        } else {
          slots.push_back(handler->m_pszSignature);
        }
      }
      if (!scratch.ring || scratch.ring->half_length() != m_nHalfBufferLength) {
        scratch.ring = std::make_unique<RingSearch>(m_nHalfBufferLength);
      }
      FileSource source(file, m_nBytesRead, opened.fetched);
      std::vector<bool>& found = scratch.found;
      scratch.ring->search(source, slots, found);
      // A read that failed ended the search early: the file was not read
      // to its end, so it is no clean file but one that could not be read.
      if (file.read_failed()) {
        FileNotRead(path);
        return false;
      }
      for (std::size_t i = 0; i < found.size(); ++i) {
        if (found[i]) matched.insert(slot_handlers[i]);
      }
      // Looked at before the remedy, which may give the name a new file.
      if (!matched.empty()) {
        links = file.link_count().value_or(1);
        if (links > 1) identity = file.identity();
      }
    }  // the file is closed before any remedy sees it

    m_strCurrentFile.set(path);
    bump(m_nFilesScanned);
    if (!matched.empty()) {
      std::lock_guard lock(result_mutex_);
      ScanStatus result = CleanFile(at, matched);
      bump(m_nFilesInfected);
      if (result & STATUS_CLEANED) bump(m_nFilesCleaned);
      if (result & STATUS_DELETED) bump(m_nFilesDeleted);
      if (identity) NoteLinkedFile(at, *identity, links, result);
      OnFileResult(path.c_str(), result);
    }
    return true;
  } catch (...) {
    // The last guard: every expected failure is a value by now, but running
    // out of memory in a path or a set is still one file's failure, counted
    // as one scan error, and the walk goes on.
    bump(m_nScanErrors);
    return false;
  }
}

ScanStatus CVirusScanner::ApplyRemedy(CVirusHandler& handler, const platform::FileAt& file) {
  return handler.Clean(file);
}

platform::Abandoned CVirusScanner::RemoveLeftover(CVirusHandler& handler, const platform::FileAt& file) {
  return handler.RemoveLeftover(file);
}

CVirusScanner::WalkDecision CVirusScanner::ShouldWalk(const std::string&, const platform::Folder& folder) {
  // The kernel's own file systems hold no user files and would only slow
  // the walk (or hang it on a blocking file): counted, never entered.
  const auto identity = folder.identity();
  if (!identity) return folder.is_pseudo_file_system() ? WalkDecision::count_only : WalkDecision::walk;
  auto [known, added] = m_pseudoDevices.try_emplace(identity->device, false);
  if (added) known->second = folder.is_pseudo_file_system();
  return known->second ? WalkDecision::count_only : WalkDecision::walk;
}

bool CVirusScanner::ShouldPassOver(const std::string&, bool) { return false; }

// Both are said under the result lock, so that a front end writes them
// between two results, never into one.
void CVirusScanner::FolderNotListed(const std::string& path) {
  bump(m_nScanErrors);
  std::lock_guard lock(result_mutex_);
  OnFolderNotListed(path);
}

void CVirusScanner::OnFolderNotListed(const std::string&) {}

void CVirusScanner::FileNotRead(const std::string& path) {
  bump(m_nScanErrors);
  std::lock_guard lock(result_mutex_);
  OnFileNotRead(path);
}

void CVirusScanner::OnFileNotRead(const std::string&) {}

void CVirusScanner::OnDataNotOnDisk(const std::string&) {}

const char* CVirusScanner::LogWord(ScanStatus status) const { return log_status_name(status); }

void CVirusScanner::OnLogLineLost() {}

bool CVirusScanner::WriteLogLine(const std::string& path, ScanStatus result) {
  return m_fileLog->write(format_log_line(LogWord(result), path) + "\r\n");
}

ScanStatus CVirusScanner::CleanFile(const platform::FileAt& file, const HandlerSet& handlers) {
  // The handlers run in the set's order, by object identity, and the last
  // one's result is the file's. The three real handlers claim disjoint
  // extensions, so no file ever reaches two of them and the order never
  // shows; only handlers that share an extension would see it.
  ScanStatus result = STATUS_ERROR;
  for (CVirusHandler* handler : handlers) {
    platform::clear_error();
    result = ApplyRemedy(*handler, file);
  }
  if (result & STATUS_ERROR) bump(m_nScanErrors);
  // The remedy has happened whatever the log says: it still counts and is
  // shown as it was, and the lost line is one more scan error. The remedy's
  // own reason stays this thread's record for OnFileResult.
  const platform::KeepError remedy_cause;
  if (m_fileLog && !WriteLogLine(file.path, result)) {
    bump(m_nScanErrors);
    OnLogLineLost();
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
  return average_mbytes_per_second(m_nBytesRead.load(std::memory_order_relaxed),
                                   static_cast<double>(GetElapsedSeconds()));
}

Figures CVirusScanner::GetFigures() const {
  constexpr auto relaxed = std::memory_order_relaxed;
  Figures figures;
  figures.files_scanned = m_nFilesScanned.load(relaxed);
  figures.files_skipped = m_nFilesSkipped.load(relaxed);
  figures.files_infected = m_nFilesInfected.load(relaxed);
  figures.files_cleaned = m_nFilesCleaned.load(relaxed);
  figures.files_deleted = m_nFilesDeleted.load(relaxed);
  figures.scan_errors = m_nScanErrors.load(relaxed);
  figures.directories = m_nDirectories.load(relaxed);
  figures.bytes_read = m_nBytesRead.load(relaxed);
  figures.elapsed_seconds = GetElapsedSeconds();
  figures.mbytes_per_second = GetMBytesPerSecond();
  return figures;
}

}  // namespace quarn
