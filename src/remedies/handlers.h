// The three handlers of the threat, each with its remedy: infected programs
// and dropped copies, pages with the appended block, and mail and news files.
#pragma once

#include <memory>
#include <vector>

#include "scan/virus_handler.h"

namespace quarn {

inline constexpr const char kThreatName[] = "Win32.Quarn";
inline constexpr const char kExeSignature[] = "Concept Virus";
inline constexpr const char kHtmlSignature[] = "<html><script language=\"JavaScript\">window.open";

// Infected programs and the threat's dropped copies: "exe;dll".
class CExeHandler : public CVirusHandler {
 public:
  CExeHandler();
  ScanStatus Clean(const platform::FileAt& file) override;
  ScanStatus Preview(const platform::FileAt& file) override;
  RemedyForecast Forecast(const platform::FileAt& file) override;
  ScanStatus CleanExpected(const platform::FileAt& file, const ExpectedFile& expected) override;
  platform::Abandoned RemoveLeftover(const platform::FileAt& file) override;
};

// Web pages with the appended script block: "html;htm;asp".
class CHtmlHandler : public CVirusHandler {
 public:
  CHtmlHandler();
  ScanStatus Clean(const platform::FileAt& file) override;
  ScanStatus Preview(const platform::FileAt& file) override;
  RemedyForecast Forecast(const platform::FileAt& file) override;
  ScanStatus CleanExpected(const platform::FileAt& file, const ExpectedFile& expected) override;
};

// Mail and news files, deleted whatever they hold: "eml;nws".
class CMailHandler : public CVirusHandler {
 public:
  CMailHandler();
  ScanStatus Clean(const platform::FileAt& file) override;
  ScanStatus Preview(const platform::FileAt& file) override;
  ScanStatus CleanExpected(const platform::FileAt& file, const ExpectedFile& expected) override;
};

namespace remedies {

// The scanner's handler factory: the three handlers above, new each call.
std::vector<std::unique_ptr<CVirusHandler>> make_handlers();

}  // namespace remedies
}  // namespace quarn
