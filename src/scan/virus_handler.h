// Infection handlers: how the threat shows itself in one family of files,
// and how such a file is remedied. The scanner knows handlers only through
// this base class; the concrete ones live with their remedies, a layer above.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/folder.h"
#include "scan/scan_status.h"

namespace quarn {

// What a remedy would make of a file, found by reading only: its result and,
// when it would clean the file, which bytes of the file as it is now the
// cleaned file would hold (the carried host program, or the page before the
// cut), so that a record of the remedy can name them before any is changed.
struct RemedyForecast {
  ScanStatus status = STATUS_ERROR;
  std::uint64_t kept_offset = 0;
  std::uint64_t kept_size = 0;
};

// The file that a remedy may act on, as a plan or a backup saw it: a file
// with another identity, length or content is left as it is.
struct ExpectedFile {
  platform::FileIdentity identity;
  std::uint64_t size = 0;
  std::array<std::uint8_t, 32> sha256{};
};

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

  // Preview's answer with the bytes that a cleaned file would keep. The base
  // class keeps none.
  virtual RemedyForecast Forecast(const platform::FileAt& file);

  // Clean, but only while the file is the expected one: every handle that
  // the remedy opens on it must reach a file of that identity whose bytes
  // hash to the expected digest, checked through that very handle, and a
  // deletion looks at the file just before. Otherwise nothing changes and
  // the result is STATUS_ERROR with the reason "changed". The base class
  // touches nothing.
  virtual ScanStatus CleanExpected(const platform::FileAt& file, const ExpectedFile& expected);

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
