// A snapshot of a scan's counters and derived figures.
#pragma once

#include <cstdint>
#include <optional>

namespace quarn {

inline constexpr double kBytesPerMegabyte = 1048576.0;

// A copy of the counters and the derived figures in one call, for readers
// other than the window (which reads the fields themselves). Each
// counter is read on its own (relaxed): during a run the copy may mix
// moments, after the worker has ended (IsIdle) it is exact.
struct Figures {
  std::int32_t files_scanned = 0;
  std::int32_t files_skipped = 0;
  std::int32_t files_infected = 0;
  std::int32_t files_cleaned = 0;
  std::int32_t files_deleted = 0;
  std::int32_t scan_errors = 0;
  std::int32_t directories = 0;
  std::uint64_t bytes_read = 0;
  std::int64_t elapsed_seconds = 0;
  std::optional<double> mbytes_per_second;
};

}  // namespace quarn
