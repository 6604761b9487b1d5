// Infection handlers: how the threat shows itself in one family of files,
// and how such a file is remedied.
#pragma once

#include <optional>
#include <string>

#include "scan/scan_status.h"

namespace quarn {

class CVirusHandler {
 public:
  // A missing name or list keeps its default ("<unknown>", the empty list).
  CVirusHandler(const char* pszThreatName, const char* pszExtensions, bool bMatchAlways);
  virtual ~CVirusHandler();

  CVirusHandler(const CVirusHandler&) = delete;
  CVirusHandler& operator=(const CVirusHandler&) = delete;

  // Remedies the file at the full path and reports what was done. Never
  // throws: every failure is STATUS_ERROR. The base class touches nothing.
  virtual ScanStatus Clean(const char* pszPath);

  // What Clean would return for this file, found by reading only: no byte on
  // disk changes. STATUS_CLEANED or STATUS_DELETED when the remedy would
  // repair or delete the file, STATUS_SCANNED when it would leave it as it
  // is, STATUS_ERROR when it would fail on what it reads.
  virtual ScanStatus Preview(const char* pszPath);

  std::string m_strThreatName;
  std::string m_strExtensions;
  const char* m_pszSignature = nullptr;  // not owned; constants live as long as the program
  bool m_bMatchAlways;
};

inline constexpr const char kThreatName[] = "Win32.Quarn";
inline constexpr const char kExeSignature[] = "Concept Virus";
inline constexpr const char kHtmlSignature[] = "<html><script language=\"JavaScript\">window.open";

// Infected programs and the threat's dropped copies: "exe;dll".
class CExeHandler : public CVirusHandler {
 public:
  CExeHandler();
  ScanStatus Clean(const char* pszPath) override;
  ScanStatus Preview(const char* pszPath) override;
};

// Web pages with the appended script block: "html;htm;asp".
class CHtmlHandler : public CVirusHandler {
 public:
  CHtmlHandler();
  ScanStatus Clean(const char* pszPath) override;
  ScanStatus Preview(const char* pszPath) override;
};

// Mail and news files, deleted whatever they hold: "eml;nws".
class CMailHandler : public CVirusHandler {
 public:
  CMailHandler();
  ScanStatus Clean(const char* pszPath) override;
  ScanStatus Preview(const char* pszPath) override;
};

}  // namespace quarn
