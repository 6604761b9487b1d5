// The result code of a remedy and of a file. Counters test it bit by bit;
// the words for it come from one table, looked up by exact value.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quarn {

using ScanStatus = std::int32_t;

inline constexpr ScanStatus STATUS_SKIPPED = 0;
inline constexpr ScanStatus STATUS_SCANNED = 1;
inline constexpr ScanStatus STATUS_INFECTED = 2;
inline constexpr ScanStatus STATUS_CLEANED = 4;
inline constexpr ScanStatus STATUS_DELETED = 8;
inline constexpr ScanStatus STATUS_ERROR = 128;

// The word of the scan log: "skipped", "scanned", "infected", "cleaned",
// "deleted", and "error" for every other value.
const char* log_status_name(ScanStatus status);

// The word of the window's result list, or nullptr for a value below 2,
// which adds no row: "infected", "cleaned", "deleted", else "error".
const char* list_status_name(ScanStatus status);

// The word of a preview, which changes nothing and so says what the remedy
// would do: "would clean", "would delete", "would keep" (matched, but the
// remedy would leave the file as it is), and "would fail" for every other
// value.
const char* preview_status_name(ScanStatus status);

// "word:  path", the scan log's line without its line end. Control bytes in
// the path are escaped (platform::log_text), so one file is one line.
std::string format_log_line(std::string_view word, const std::string& path);

}  // namespace quarn
