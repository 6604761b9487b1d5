#include "remedies/handlers.h"

#include "platform/fs.h"
#include "remedies/exe_remedy.h"
#include "remedies/html_remedy.h"
#include "remedies/remedy_io.h"

namespace quarn {

CExeHandler::CExeHandler() : CVirusHandler(kThreatName, "exe;dll", false) { m_pszSignature = kExeSignature; }

ScanStatus CExeHandler::Clean(const char* pszPath) {
  return remedies::without_throwing([&] { return remedies::clean_program(pszPath, remedies::RemedyIo::system()); });
}

ScanStatus CExeHandler::Preview(const char* pszPath) {
  return remedies::without_throwing([&] { return remedies::preview_program(pszPath, remedies::RemedyIo::system()); });
}

CHtmlHandler::CHtmlHandler() : CVirusHandler(kThreatName, "html;htm;asp", false) {
  m_pszSignature = kHtmlSignature;
}

ScanStatus CHtmlHandler::Clean(const char* pszPath) {
  return remedies::without_throwing([&] { return remedies::clean_page(pszPath, remedies::RemedyIo::system()); });
}

ScanStatus CHtmlHandler::Preview(const char* pszPath) {
  return remedies::without_throwing([&] { return remedies::preview_page(pszPath, remedies::RemedyIo::system()); });
}

CMailHandler::CMailHandler() : CVirusHandler(kThreatName, "eml;nws", true) {}

ScanStatus CMailHandler::Clean(const char* pszPath) {
  return platform::delete_file(pszPath) ? STATUS_DELETED : STATUS_ERROR;
}

ScanStatus CMailHandler::Preview(const char* pszPath) {
  return platform::node_kind(pszPath) == platform::NodeKind::regular ? STATUS_DELETED : STATUS_ERROR;
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
