// How fast a whole scan runs, next to the I/O floor (the same walk and the
// same reads with no comparison) and the literal search. Not a test: run
// build/native/bench/scan_bench. QUARN_BENCH_DIR keeps the trees between runs.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench_tree.h"
#include "platform/directory.h"
#include "platform/file.h"
#include "platform/folder.h"
#include "platform/fs.h"
#include "remedies/handlers.h"
#include "scan/virus_scanner.h"
#include "support/reference_search.h"

namespace quarn::bench {
namespace {

std::string bench_root() {
  const char* dir = std::getenv("QUARN_BENCH_DIR");
  return dir != nullptr ? dir : (std::filesystem::temp_directory_path() / "quarn-bench").string();
}

// The tree of a benchmark's first argument: 0 large files, 1 small files,
// 2 both kinds mixed.
std::string tree_for(std::int64_t which) {
  static const char* const kNames[] = {"large", "small", "mixed"};
  std::string root = bench_root() + "/" + kNames[which];
  if (which == 0) ensure_tree(root, kLargeFiles);
  if (which == 1) ensure_tree(root, kSmallFiles);
  if (which == 2) {
    ensure_tree(root + "/programs", kMixedPrograms);
    ensure_tree(root + "/pages", kMixedPages);
  }
  return root;
}

void report(benchmark::State& state, std::uint64_t bytes, std::uint64_t files) {
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
  state.counters["files/s"] = benchmark::Counter(static_cast<double>(files), benchmark::Counter::kIsRate);
}

// A cold run reads from the disk: the page cache is dropped before each
// iteration (root only). A warm run reads the same data from memory, where
// the comparison's own cost shows most.
bool drop_page_cache() {
  ::sync();
  std::ofstream control("/proc/sys/vm/drop_caches");
  control << "3\n";
  control.flush();
  return static_cast<bool>(control);
}

bool start_iteration(benchmark::State& state, bool cold) {
  if (!cold) return true;
  state.PauseTiming();
  const bool dropped = drop_page_cache();
  state.ResumeTiming();
  if (!dropped) state.SkipWithError("cold runs need root (cannot write /proc/sys/vm/drop_caches)");
  return dropped;
}

// The scanner's whole run, remedies and all (the trees hold no signature),
// with as many jobs as the third argument says.
void BM_WholeRun(benchmark::State& state) {
  const std::string root = tree_for(state.range(0));
  const bool cold = state.range(1) != 0;
  CVirusScanner scanner(remedies::make_handlers, root.c_str(), std::nullopt);
  scanner.set_jobs(static_cast<std::size_t>(state.range(2)));
  std::uint64_t bytes = 0, files = 0;
  for (auto _ : state) {
    if (!start_iteration(state, cold)) break;
    const std::uint64_t before_bytes = scanner.m_nBytesRead;
    const std::int32_t before_files = scanner.m_nFilesScanned;
    scanner.Run();
    bytes += scanner.m_nBytesRead - before_bytes;
    files += static_cast<std::uint64_t>(scanner.m_nFilesScanned - before_files);
  }
  report(state, bytes, files);
}

// The scanner's three handlers and the extension map they make.
struct Claims {
  CExeHandler exe;
  CHtmlHandler html;
  CMailHandler mail;
  ExtensionMap map = CVirusScanner::BuildExtensionMap({&exe, &html, &mail});
};

const HandlerSet* claims_of(const ExtensionMap& map, const std::string& path) {
  std::size_t dot = path.rfind('.');
  std::string extension = dot == std::string::npos ? "" : path.substr(dot + 1);
  platform::lower_ansi(extension);
  auto claimed = map.find(extension);
  return claimed == map.end() ? nullptr : &claimed->second;
}

// Walks like the scanner, relative to each folder's descriptor, and feeds
// each claimed file through `consume`.
template <typename Consume>
void walk(const platform::Folder& folder, const std::string& path, const ExtensionMap& map, Consume& consume) {
  auto listing = folder.list();
  if (!listing) return;
  platform::DirEntry entry;
  while (listing->next(entry) == platform::ListingStep::entry) {
    const std::string entry_path = path + platform::separator() + entry.name;
    if (entry.kind == platform::EntryKind::directory) {
      if (entry.name == "." || entry.name == "..") continue;
      if (auto child = folder.open_child(entry.name)) walk(*child, entry_path, map, consume);
    } else if (entry.kind == platform::EntryKind::regular) {
      const HandlerSet* claimed = claims_of(map, entry_path);
      if (claimed == nullptr) continue;
      auto file = platform::File::open_read(folder, entry.name);
      if (file) consume(*file, *claimed);
    }
  }
}

template <typename Consume>
void walk(const std::string& root, const ExtensionMap& map, Consume& consume) {
  auto folder = platform::Folder::open(root, platform::LinkAtEnd::follow).folder;
  if (folder) walk(*folder, root, map, consume);
}

// The walk as it was before descriptors: every folder and file opened by its
// whole path, which the system resolves again each time.
template <typename Consume>
void walk_by_path(const std::string& path, const ExtensionMap& map, Consume& consume) {
  auto folder = platform::Folder::open(path, platform::LinkAtEnd::refuse).folder;
  auto listing = folder ? folder->list() : std::nullopt;
  if (!listing) return;
  platform::DirEntry entry;
  while (listing->next(entry) == platform::ListingStep::entry) {
    const std::string entry_path = path + platform::separator() + entry.name;
    if (entry.kind == platform::EntryKind::directory) {
      if (entry.name != "." && entry.name != "..") walk_by_path(entry_path, map, consume);
    } else if (entry.kind == platform::EntryKind::regular) {
      const HandlerSet* claimed = claims_of(map, entry_path);
      if (claimed == nullptr) continue;
      auto file = platform::File::open_read(entry_path);
      if (file) consume(*file, *claimed);
    }
  }
}

class CountingSource : public ByteSource {
 public:
  explicit CountingSource(platform::File& file) : file_(file) {}
  std::size_t read(std::uint8_t* destination, std::size_t length) override {
    std::size_t n = file_.read(destination, length);
    bytes += n;
    return n;
  }
  std::uint64_t bytes = 0;

 private:
  platform::File& file_;
};

// The I/O floor: one read of 131070 bytes, then reads of 65535, into a ring
// that is allocated once, with nothing compared. by_path: the walk opens
// every folder and file by its whole path instead of by descriptor.
void io_floor(benchmark::State& state, bool by_path) {
  const std::string root = tree_for(state.range(0));
  const Claims claims;
  const ExtensionMap& map = claims.map;
  const bool cold = state.range(1) != 0;
  std::vector<std::uint8_t> ring(131070);
  std::uint64_t bytes = 0, files = 0;
  auto consume = [&](platform::File& file, const HandlerSet&) {
    std::size_t asked = 131070;
    std::size_t n = file.read(ring.data(), asked);
    bytes += n;
    std::size_t half = 0;
    while (n == asked) {
      asked = 65535;
      n = file.read(ring.data() + half * 65535, asked);
      bytes += n;
      half ^= 1;
    }
    benchmark::DoNotOptimize(ring.data());
    ++files;
  };
  for (auto _ : state) {
    if (!start_iteration(state, cold)) break;
    if (by_path) {
      walk_by_path(root, map, consume);
    } else {
      walk(root, map, consume);
    }
  }
  report(state, bytes, files);
}

void BM_IoFloor(benchmark::State& state) { io_floor(state, false); }
void BM_IoFloorByPath(benchmark::State& state) { io_floor(state, true); }

// The same walk with the literal search at every position.
void BM_ReferenceSearch(benchmark::State& state) {
  const std::string root = tree_for(state.range(0));
  const Claims claims;
  const ExtensionMap& map = claims.map;
  std::uint64_t bytes = 0, files = 0;
  std::vector<bool> found;
  auto consume = [&](platform::File& file, const HandlerSet& handlers) {
    std::vector<const char*> slots;
    for (CVirusHandler* h : handlers) slots.push_back(h->m_bMatchAlways ? nullptr : h->m_pszSignature);
    CountingSource source(file);
    testing::reference_ring_search(source, 65535, slots, found);
    bytes += source.bytes;
    ++files;
  };
  for (auto _ : state) walk(root, map, consume);
  report(state, bytes, files);
}

// Arguments: tree (0 large files, 1 small files, 2 mixed), cache (0 warm,
// 1 cold).
void tree_and_cache(benchmark::internal::Benchmark* b) {
  b->ArgNames({"tree", "cold"});
  for (int tree : {0, 1, 2}) {
    for (int cold : {0, 1}) b->Args({tree, cold});
  }
  b->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime();
}

void tree_cache_and_jobs(benchmark::internal::Benchmark* b) {
  b->ArgNames({"tree", "cold", "jobs"});
  for (int tree : {0, 1, 2}) {
    for (int cold : {0, 1}) {
      for (int jobs : {1, 2}) b->Args({tree, cold, jobs});
    }
  }
  b->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime();
}

BENCHMARK(BM_WholeRun)->Apply(tree_cache_and_jobs);
BENCHMARK(BM_IoFloor)->Apply(tree_and_cache);
BENCHMARK(BM_IoFloorByPath)->Apply(tree_and_cache);
BENCHMARK(BM_ReferenceSearch)->ArgNames({"tree"})->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime();

}  // namespace
}  // namespace quarn::bench

BENCHMARK_MAIN();
