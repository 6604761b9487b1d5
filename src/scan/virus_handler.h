// Infection handlers: how the threat shows itself in one family of files,
// and how such a file is remedied. The scanner knows handlers only through
// this base class; the concrete ones live with their remedies, a layer above.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/folder.h"
#include "scan/scan_status.h"

namespace quarn {

class CVirusHandler {
 public:
  // A missing name or list keeps its default ("<unknown>", the empty list).
  CVirusHandler(const char* pszThreatName, const char* pszExtensions, bool bMatchAlways);
  virtual ~CVirusHandler();

  CVirusHandler(const CVirusHandler&) = delete;
  CVirusHandler& operator=(const CVirusHandler&) = delete;

  // Remedies the file and reports what was done. It acts on the file by its
  // name in its open folder, never by resolving its path again. Never
  // throws: every failure is STATUS_ERROR. The base class touches nothing.
  virtual ScanStatus Clean(const platform::FileAt& file);

  // What Clean would return for this file, found by reading only: no byte on
  // disk changes. STATUS_CLEANED or STATUS_DELETED when the remedy would
  // repair or delete the file, STATUS_SCANNED when it would leave it as it
  // is, STATUS_ERROR when it would fail on what it reads.
  virtual ScanStatus Preview(const platform::FileAt& file);

  // Removes the file if it is provably a temporary file that this handler's
  // remedy left behind when it was cut short (the process killed, the
  // machine down), and says what became of it. The walk offers it every
  // file whose name begins with m_pszTemporaryPrefix, whether a remedy of
  // this or another process is still writing it or not. The base removes
  // none.
  virtual platform::Abandoned RemoveLeftover(const platform::FileAt& file);

  std::string m_strThreatName;
  std::string m_strExtensions;
  const char* m_pszSignature = nullptr;  // not owned; constants live as long as the program
  const char* m_pszTemporaryPrefix = nullptr;  // likewise; nullptr: the remedy makes no files
  bool m_bMatchAlways;
};

// Builds a fresh set of handlers. The scanner calls it once at the start of
// every run; the handlers it returns live only for that run.
using HandlerFactory = std::function<std::vector<std::unique_ptr<CVirusHandler>>()>;

}  // namespace quarn
