#include "cli/json_output.h"

#include <cstdint>

#include <nlohmann/json.hpp>

#include "remedies/handlers.h"

namespace quarn::cli {
namespace {

// Ordered, so that "type" leads every line and the fields keep the order
// that docs/cli.md lists.
using json = nlohmann::ordered_json;

// The library's own UTF-8 check decides, so that "path_bytes" appears
// exactly when the writer below has to replace something.
bool is_utf8(const std::string& text) {
  try {
    (void)json(text).dump();
    return true;
  } catch (const json::type_error&) {
    return false;
  }
}

std::string line_of(const json& object) {
  // Invalid UTF-8 can only come from a path, whose bytes also go out in
  // "path_bytes"; replacing it keeps every line valid JSON.
  std::string line = object.dump(-1, ' ', false, json::error_handler_t::replace);
  line += '\n';
  return line;
}

void add_path(json& object, const std::string& path) {
  object["path"] = path;
  if (!is_utf8(path)) object["path_bytes"] = base64(path);
}

void add_error(json& object, const platform::ErrorRecord& record) {
  const platform::ErrorRecord shown = shown_error(record);
  object["error"] = shown.word;
  object["reason"] = shown.reason;
}

}  // namespace

const char* handler_name(const CVirusHandler& handler) {
  if (dynamic_cast<const CExeHandler*>(&handler) != nullptr) return "exe";
  if (dynamic_cast<const CHtmlHandler*>(&handler) != nullptr) return "html";
  if (dynamic_cast<const CMailHandler*>(&handler) != nullptr) return "mail";
  return "other";
}

std::string json_file_line(ScanStatus status, bool report_only, const CVirusHandler* handler,
                           const std::string& path, const platform::ErrorRecord& record) {
  json object;
  object["type"] = "file";
  object["status"] = log_status_name(status);
  object["report_only"] = report_only;
  object["threat"] = handler != nullptr ? handler->m_strThreatName : std::string(kThreatName);
  object["handler"] = handler != nullptr ? handler_name(*handler) : "other";
  add_path(object, path);
  if (status & STATUS_ERROR) add_error(object, record);
  return line_of(object);
}

std::string json_error_line(std::string_view what, const std::string& path, const platform::ErrorRecord& record) {
  json object;
  object["type"] = "error";
  object["what"] = what;
  add_path(object, path);
  add_error(object, record);
  return line_of(object);
}

std::string json_names_left_behind_line(const std::string& path, std::uint64_t count) {
  json object;
  object["type"] = "links";
  add_path(object, path);
  object["names_outside"] = count;
  return line_of(object);
}

std::string json_summary_line(const Figures& figures, bool report_only, const SummaryFacts& facts) {
  json object;
  object["type"] = "summary";
  object["report_only"] = report_only;
  object["files_scanned"] = figures.files_scanned;
  object["files_skipped"] = figures.files_skipped;
  object["files_infected"] = figures.files_infected;
  object["files_cleaned"] = figures.files_cleaned;
  object["files_deleted"] = figures.files_deleted;
  object["scan_errors"] = figures.scan_errors;
  object["directories"] = figures.directories;
  object["excluded"] = facts.excluded;
  object["log_lines_lost"] = facts.log_lines_lost;
  object["bytes_read"] = figures.bytes_read;
  object["elapsed_seconds"] = figures.elapsed_seconds < 0 ? 0 : figures.elapsed_seconds;
  if (const char* signal = stop_signal_name(facts.stop)) {
    object["stopped_by"] = signal;
  } else {
    object["stopped_by"] = nullptr;
  }
  object["jobs"] = facts.jobs;
  object["jobs_reason"] = facts.jobs_reason.empty() ? "--jobs" : facts.jobs_reason;
  return line_of(object);
}

std::string base64(const std::string& bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t left = bytes.size() - i;
    std::uint32_t group = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
    if (left > 1) group |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    if (left > 2) group |= static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[(group >> 18) & 63];
    out += kAlphabet[(group >> 12) & 63];
    out += left > 1 ? kAlphabet[(group >> 6) & 63] : '=';
    out += left > 2 ? kAlphabet[group & 63] : '=';
  }
  return out;
}

}  // namespace quarn::cli
