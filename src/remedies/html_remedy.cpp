#include "scan/virus_handler.h"

namespace quarn {

// Cutting infected pages comes with the page remedy.
ScanStatus CHtmlHandler::Clean(const char* pszPath) { return CVirusHandler::Clean(pszPath); }
ScanStatus CHtmlHandler::Preview(const char* pszPath) { return CVirusHandler::Preview(pszPath); }

}  // namespace quarn
