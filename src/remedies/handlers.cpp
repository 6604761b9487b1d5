#include "remedies/handlers.h"

#include "remedies/exe_remedy.h"
#include "remedies/html_remedy.h"
#include "remedies/remedy_io.h"

namespace quarn {
namespace {

// A forecast reads the file as a remedy would, and fails as it would.
template <class Reader>
RemedyForecast without_throwing_forecast(Reader&& reader) noexcept {
  RemedyForecast forecast;
  forecast.status = remedies::without_throwing([&] {
    forecast = reader();
    return forecast.status;
  });
  return forecast;
}

// Deleted once its folder no longer lists it on the disk.
ScanStatus delete_mail(const platform::FileAt& file, remedies::RemedyIo& io) {
  return io.delete_file(file.folder, file.name) && io.flush_folder(file.folder) ? STATUS_DELETED : STATUS_ERROR;
}

using Remedy = ScanStatus (*)(const platform::FileAt&, remedies::RemedyIo&);

// The remedy on the system's operations, or, given the expected file, on
// those that act on that file alone.
ScanStatus run_remedy(Remedy remedy, const platform::FileAt& file, const ExpectedFile* expected = nullptr) noexcept {
  return remedies::without_throwing([&] {
    if (expected == nullptr) return remedy(file, remedies::RemedyIo::system());
    remedies::ExpectingIo io(remedies::RemedyIo::system(), *expected);
    return remedy(file, io);
  });
}

}  // namespace

CExeHandler::CExeHandler() : CVirusHandler(kThreatName, "exe;dll", false) {
  m_pszSignature = kExeSignature;
  m_pszTemporaryPrefix = remedies::kRestoreStem;
}

ScanStatus CExeHandler::Clean(const platform::FileAt& file) { return run_remedy(remedies::clean_program, file); }

ScanStatus CExeHandler::Preview(const platform::FileAt& file) { return Forecast(file).status; }

RemedyForecast CExeHandler::Forecast(const platform::FileAt& file) {
  return without_throwing_forecast([&] { return remedies::forecast_program(file, remedies::RemedyIo::system()); });
}

ScanStatus CExeHandler::CleanExpected(const platform::FileAt& file, const ExpectedFile& expected) {
  return run_remedy(remedies::clean_program, file, &expected);
}

platform::Abandoned CExeHandler::RemoveLeftover(const platform::FileAt& file) {
  try {
    return remedies::remove_leftover(file, remedies::RemedyIo::system());
  } catch (...) {
    return platform::Abandoned::failed;
  }
}

CHtmlHandler::CHtmlHandler() : CVirusHandler(kThreatName, "html;htm;asp", false) {
  m_pszSignature = kHtmlSignature;
}

ScanStatus CHtmlHandler::Clean(const platform::FileAt& file) { return run_remedy(remedies::clean_page, file); }

ScanStatus CHtmlHandler::Preview(const platform::FileAt& file) { return Forecast(file).status; }

RemedyForecast CHtmlHandler::Forecast(const platform::FileAt& file) {
  return without_throwing_forecast([&] { return remedies::forecast_page(file, remedies::RemedyIo::system()); });
}

ScanStatus CHtmlHandler::CleanExpected(const platform::FileAt& file, const ExpectedFile& expected) {
  return run_remedy(remedies::clean_page, file, &expected);
}

CMailHandler::CMailHandler() : CVirusHandler(kThreatName, "eml;nws", true) {}

ScanStatus CMailHandler::Clean(const platform::FileAt& file) { return run_remedy(delete_mail, file); }

ScanStatus CMailHandler::CleanExpected(const platform::FileAt& file, const ExpectedFile& expected) {
  return run_remedy(delete_mail, file, &expected);
}

ScanStatus CMailHandler::Preview(const platform::FileAt& file) {
  return file.folder.kind_of(file.name) == platform::NodeKind::regular ? STATUS_DELETED : STATUS_ERROR;
}

namespace remedies {

std::vector<std::unique_ptr<CVirusHandler>> make_handlers() {
  std::vector<std::unique_ptr<CVirusHandler>> handlers;
  handlers.push_back(std::make_unique<CExeHandler>());
  handlers.push_back(std::make_unique<CHtmlHandler>());
  handlers.push_back(std::make_unique<CMailHandler>());
  return handlers;
}

}  // namespace remedies
}  // namespace quarn
