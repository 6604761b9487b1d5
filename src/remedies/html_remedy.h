// Cutting the script block that the threat appends behind a web page's own
// closing tag. Only the last 200 bytes of a page are read.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "remedies/remedy_io.h"
#include "scan/scan_status.h"

namespace quarn {

// The position of the first occurrence of pszPattern in pszText, both
// NUL-terminated, with the ASCII letters A-Z equal to a-z and every other
// byte compared as it is. Nothing in an empty text, even for an empty
// pattern; an empty pattern is found at 0 of any other text. A match never
// runs past the text's end.
std::optional<std::size_t> FindNoCase(const char* pszText, const char* pszPattern);

namespace remedies {

inline constexpr std::size_t kTailLength = 200;

struct TailVerdict {
  // STATUS_CLEANED (cut at cut_at), STATUS_SCANNED or STATUS_ERROR.
  ScanStatus status = STATUS_ERROR;
  // With STATUS_CLEANED: the position in the tail of the block's "<html>".
  std::size_t cut_at = 0;
};

// Decides what to do with a page from its tail, the bytes read from the end
// of the file (at most kTailLength of them in the remedy). The text ends at
// the first NUL byte.
TailVerdict analyse_tail(std::string_view tail);

// The remedy: STATUS_CLEANED once the cut has reached the disk,
// STATUS_SCANNED when the page ends without the block, STATUS_ERROR when it
// cannot be read or cut (the page is then unchanged, except when the cut was
// made but could not be flushed or closed).
ScanStatus clean_page(const platform::FileAt& file, RemedyIo& io);
// What clean_page would return, found by reading only, and for a cut the
// page's length after it.
RemedyForecast forecast_page(const platform::FileAt& file, RemedyIo& io);
ScanStatus preview_page(const platform::FileAt& file, RemedyIo& io);

}  // namespace remedies
}  // namespace quarn
