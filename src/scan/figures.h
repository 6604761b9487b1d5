// A snapshot of a scan's counters and derived figures.
#pragma once

#include <cstdint>
#include <optional>

namespace quarn {

inline constexpr double kBytesPerMegabyte = 1048576.0;

// The average rate of bytes read over seconds, in MB/s, or nothing when no
// time has passed or the clock was set back. Each caller brings its own
// clock; only the arithmetic is shared.
inline std::optional<double> average_mbytes_per_second(std::uint64_t bytes, double seconds) {
  if (!(seconds > 0)) return std::nullopt;
  return static_cast<double>(bytes) / seconds / kBytesPerMegabyte;
}

// An elapsed time split for display. hours is the whole count; a display
// that shows the hour of the day wraps it itself.
struct ElapsedParts {
  std::int64_t hours = 0;
  int minutes = 0;
  int seconds = 0;
};

// A clock set back during a run gives a negative span; it splits as zero
// rather than as negative digits.
inline ElapsedParts split_elapsed(std::int64_t seconds) {
  if (seconds < 0) seconds = 0;
  return {seconds / 3600, static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60)};
}

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
