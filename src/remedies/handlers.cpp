#include "remedies/handlers.h"

#include "remedies/exe_remedy.h"
#include "remedies/html_remedy.h"
#include "remedies/remedy_io.h"

namespace quarn {

CExeHandler::CExeHandler() : CVirusHandler(kThreatName, "exe;dll", false) {
  m_pszSignature = kExeSignature;
  m_pszTemporaryPrefix = remedies::kRestoreStem;
}

ScanStatus CExeHandler::Clean(const platform::FileAt& file) {
  return remedies::without_throwing([&] { return remedies::clean_program(file, remedies::RemedyIo::system()); });
}

ScanStatus CExeHandler::Preview(const platform::FileAt& file) {
  return remedies::without_throwing([&] { return remedies::preview_program(file, remedies::RemedyIo::system()); });
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

ScanStatus CHtmlHandler::Preview(const platform::FileAt& file) {
  return remedies::without_throwing([&] { return remedies::preview_page(file, remedies::RemedyIo::system()); });
}

CMailHandler::CMailHandler() : CVirusHandler(kThreatName, "eml;nws", true) {}

ScanStatus CMailHandler::Clean(const platform::FileAt& file) {
  // Deleted once its folder no longer lists it on the disk.
  return file.folder.delete_file(file.name) && file.folder.flush_to_disk() ? STATUS_DELETED : STATUS_ERROR;
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
