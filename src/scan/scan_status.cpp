#include "scan/scan_status.h"

namespace quarn {

const char* log_status_name(ScanStatus status) {
  switch (status) {
    case STATUS_SKIPPED: return "skipped";
    case STATUS_SCANNED: return "scanned";
    case STATUS_INFECTED: return "infected";
    case STATUS_CLEANED: return "cleaned";
    case STATUS_DELETED: return "deleted";
    default: return "error";
  }
}

const char* list_status_name(ScanStatus status) {
  if (status < STATUS_INFECTED) return nullptr;
  switch (status) {
    case STATUS_INFECTED: return "infected";
    case STATUS_CLEANED: return "cleaned";
    case STATUS_DELETED: return "deleted";
    default: return "error";
  }
}

}  // namespace quarn
