#include "scan/virus_handler.h"

namespace quarn {

// Restoring infected programs comes with the PE resource reader.
ScanStatus CExeHandler::Clean(const char* pszPath) { return CVirusHandler::Clean(pszPath); }
ScanStatus CExeHandler::Preview(const char* pszPath) { return CVirusHandler::Preview(pszPath); }

}  // namespace quarn
