#include "scan/virus_handler.h"

#include "platform/fs.h"

namespace quarn {

CVirusHandler::CVirusHandler(const char* pszThreatName, const char* pszExtensions, bool bMatchAlways)
    : m_strThreatName(pszThreatName != nullptr ? pszThreatName : "<unknown>"),
      m_strExtensions(pszExtensions != nullptr ? pszExtensions : ""),
      m_bMatchAlways(bMatchAlways) {}

CVirusHandler::~CVirusHandler() = default;

ScanStatus CVirusHandler::Clean(const char*) { return STATUS_ERROR; }

ScanStatus CVirusHandler::Preview(const char*) { return STATUS_ERROR; }

CExeHandler::CExeHandler() : CVirusHandler(kThreatName, "exe;dll", false) { m_pszSignature = kExeSignature; }

CHtmlHandler::CHtmlHandler() : CVirusHandler(kThreatName, "html;htm;asp", false) {
  m_pszSignature = kHtmlSignature;
}

CMailHandler::CMailHandler() : CVirusHandler(kThreatName, "eml;nws", true) {}

ScanStatus CMailHandler::Clean(const char* pszPath) {
  return platform::delete_file(pszPath) ? STATUS_DELETED : STATUS_ERROR;
}

ScanStatus CMailHandler::Preview(const char* pszPath) {
  return platform::node_kind(pszPath) == platform::NodeKind::regular ? STATUS_DELETED : STATUS_ERROR;
}

}  // namespace quarn
