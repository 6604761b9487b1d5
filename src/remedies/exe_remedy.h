// Restoring an infected program from the host program it carries as RCDATA
// 102, and deleting the threat's dropped copies by name.
#pragma once

#include <string>

#include "remedies/remedy_io.h"
#include "scan/scan_status.h"

namespace quarn::remedies {

// The restored program is written to a file named with this stem in the
// infected file's own folder, so the final rename never crosses volumes.
// No handler claims its extension. Where the file system keeps extended
// attributes, the file carries a marker with its own name (see
// File::create_unique), so that a later scan can tell a leftover of its
// own from anything else with such a name.
inline constexpr const char kRestoreStem[] = ".quarn-restore-";

// Whether the file name (the text after the last separator), lower-cased,
// is one of the threat's own: it contains "riched" or "tmp.exe", or is
// "load.exe" or "load32.exe". Folder names are never tested.
bool is_dropped_copy(const std::string& path);

// The remedy: STATUS_DELETED for a dropped copy that is deleted,
// STATUS_CLEANED when the host program has replaced the file atomically,
// STATUS_SCANNED when there is no RCDATA 102, STATUS_ERROR otherwise, with
// the file unchanged and no temporary file left behind. A restore or a
// deletion counts only once the folder's new entry is on the disk; when
// that flush fails the result is STATUS_ERROR with the change made.
ScanStatus clean_program(const platform::FileAt& file, RemedyIo& io);
// What clean_program would return, found by reading only, and for a restore
// the range of the file that holds the host program.
RemedyForecast forecast_program(const platform::FileAt& file, RemedyIo& io);
ScanStatus preview_program(const platform::FileAt& file, RemedyIo& io);

// Removes file if it is a restore's temporary file that a restore cut short
// left behind: its name begins with kRestoreStem, it carries the marker
// with its own name that File::create_unique gave it, and no restore holds
// it any more (see Folder::remove_if_abandoned). A file that only looks the
// part (a user's, a copy of a leftover) and one that a restore is still
// writing are never removed. A removal counts once the folder is on disk.
platform::Abandoned remove_leftover(const platform::FileAt& file, RemedyIo& io);

}  // namespace quarn::remedies
