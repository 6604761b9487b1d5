#include "scan/virus_handler.h"

namespace quarn {

CVirusHandler::CVirusHandler(const char* pszThreatName, const char* pszExtensions, bool bMatchAlways)
    : m_strThreatName(pszThreatName != nullptr ? pszThreatName : "<unknown>"),
      m_strExtensions(pszExtensions != nullptr ? pszExtensions : ""),
      m_bMatchAlways(bMatchAlways) {}

CVirusHandler::~CVirusHandler() = default;

ScanStatus CVirusHandler::Clean(const platform::FileAt&) { return STATUS_ERROR; }

ScanStatus CVirusHandler::Preview(const platform::FileAt&) { return STATUS_ERROR; }

RemedyForecast CVirusHandler::Forecast(const platform::FileAt& file) { return RemedyForecast{Preview(file)}; }

ScanStatus CVirusHandler::CleanExpected(const platform::FileAt&, const ExpectedFile&) { return STATUS_ERROR; }

platform::Abandoned CVirusHandler::RemoveLeftover(const platform::FileAt&) { return platform::Abandoned::not_ours; }

}  // namespace quarn
