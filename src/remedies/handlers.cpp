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

}  // namespace

CExeHandler::CExeHandler() : CVirusHandler(kThreatName, "exe;dll", false) {
  m_pszSignature = kExeSignature;
  m_pszTemporaryPrefix = remedies::kRestoreStem;
}

ScanStatus CExeHandler::Clean(const platform::FileAt& file) {
  return remedies::without_throwing([&] { return remedies::clean_program(file, remedies::RemedyIo::system()); });
}

ScanStatus CExeHandler::Preview(const platform::FileAt& file) { return Forecast(file).status; }

RemedyForecast CExeHandler::Forecast(const platform::FileAt& file) {
  return without_throwing_forecast([&] { return remedies::forecast_program(file, remedies::RemedyIo::system()); });
}

ScanStatus CExeHandler::CleanExpected(const platform::FileAt& file, const ExpectedFile& expected) {
  return remedies::without_throwing([&] {
    remedies::ExpectingIo io(remedies::RemedyIo::system(), expected);
    return remedies::clean_program(file, io);
  });
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

ScanStatus CHtmlHandler::Clean(const platform::FileAt& file) {
  return remedies::without_throwing([&] { return remedies::clean_page(file, remedies::RemedyIo::system()); });
}

ScanStatus CHtmlHandler::Preview(const platform::FileAt& file) { return Forecast(file).status; }

RemedyForecast CHtmlHandler::Forecast(const platform::FileAt& file) {
  return without_throwing_forecast([&] { return remedies::forecast_page(file, remedies::RemedyIo::system()); });
}

ScanStatus CHtmlHandler::CleanExpected(const platform::FileAt& file, const ExpectedFile& expected) {
  return remedies::without_throwing([&] {
    remedies::ExpectingIo io(remedies::RemedyIo::system(), expected);
    return remedies::clean_page(file, io);
  });
}

CMailHandler::CMailHandler() : CVirusHandler(kThreatName, "eml;nws", true) {}

ScanStatus CMailHandler::Clean(const platform::FileAt& file) {
  return remedies::without_throwing([&] { return delete_mail(file, remedies::RemedyIo::system()); });
}

ScanStatus CMailHandler::CleanExpected(const platform::FileAt& file, const ExpectedFile& expected) {
  return remedies::without_throwing([&] {
    remedies::ExpectingIo io(remedies::RemedyIo::system(), expected);
    return delete_mail(file, io);
  });
}

RemedyForecast CMailHandler::Forecast(const platform::FileAt& file) { return RemedyForecast{Preview(file)}; }

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
