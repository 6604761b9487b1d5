#include "scan/scan_status.h"

#include "platform/fs.h"

namespace quarn {
namespace {

// Every word a status has, one row a value. The window's list shows the log's
// word, so it has no column of its own; it only adds no row below
// STATUS_INFECTED. A preview shows a skipped file or a bare find as a
// failure, as it does any value that is not a remedy's plain result.
struct StatusWords {
  ScanStatus status;
  const char* log;
  const char* preview;
};

constexpr StatusWords kStatusWords[] = {
    {STATUS_SKIPPED, "skipped", "would fail"},  {STATUS_SCANNED, "scanned", "would keep"},
    {STATUS_INFECTED, "infected", "would fail"}, {STATUS_CLEANED, "cleaned", "would clean"},
    {STATUS_DELETED, "deleted", "would delete"},
};

// Any other value, STATUS_ERROR and mixed bits alike.
constexpr StatusWords kOtherWords = {STATUS_ERROR, "error", "would fail"};

const StatusWords& words_of(ScanStatus status) {
  for (const StatusWords& row : kStatusWords) {
    if (row.status == status) return row;
  }
  return kOtherWords;
}

}  // namespace

const char* log_status_name(ScanStatus status) { return words_of(status).log; }

const char* list_status_name(ScanStatus status) {
  if (status < STATUS_INFECTED) return nullptr;
  return words_of(status).log;
}

const char* preview_status_name(ScanStatus status) { return words_of(status).preview; }

std::string format_log_line(std::string_view word, const std::string& path) {
  std::string line(word);
  line += ":  ";
  line += platform::log_text(path);
  return line;
}

}  // namespace quarn
