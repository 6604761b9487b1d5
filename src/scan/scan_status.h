// The result code of a remedy and of a file. Counters test it bit by bit;
// the two name tables look it up by exact value.
#pragma once

#include <cstdint>

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

}  // namespace quarn
