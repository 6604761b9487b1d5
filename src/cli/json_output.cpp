#include "cli/json_output.h"

#include <cstdint>
#include <cstring>

#include <nlohmann/json.hpp>

#include "remedies/handlers.h"

namespace quarn::cli {
namespace {

// Ordered, so that "type" leads every line and the fields keep the order
// that docs/cli.md lists.
using json = nlohmann::ordered_json;

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

void add_stop(json& object, platform::StopSignal stop) {
  if (const char* signal = stop_signal_name(stop)) {
    object["stopped_by"] = signal;
  } else {
    object["stopped_by"] = nullptr;
  }
}

void add_error(json& object, const platform::ErrorRecord& record) {
  const platform::ErrorRecord shown = shown_error(record);
  object["error"] = shown.word;
  object["reason"] = shown.reason;
}

}  // namespace

// The library's own UTF-8 check decides, so that "path_bytes" appears
// exactly when the writer has to replace something.
bool is_utf8(const std::string& text) {
  try {
    (void)json(text).dump();
    return true;
  } catch (const json::type_error&) {
    return false;
  }
}

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
  add_stop(object, facts.stop);
  object["jobs"] = facts.jobs;
  object["jobs_reason"] = facts.jobs_reason.empty() ? "--jobs" : facts.jobs_reason;
  return line_of(object);
}

std::string json_undo_line(const UndoResult& result, bool preview, const IntentRecord& intent) {
  json object;
  object["type"] = "undo";
  object["status"] = undo_word(result.outcome, preview);
  object["report_only"] = preview;
  object["run"] = intent.run;
  object["record"] = intent.record;
  object["action"] = action_name(intent.action);
  add_path(object, intent.path);
  if (result.outcome == UndoOutcome::refused) add_error(object, result.error);
  return line_of(object);
}

std::string json_undo_summary_line(const UndoCounts& counts, bool preview, platform::StopSignal stop) {
  json object;
  object["type"] = "summary";
  object["undo"] = true;
  object["report_only"] = preview;
  object["records"] = counts.records;
  object["put_back"] = counts.put_back;
  object["needed_nothing"] = counts.needed_nothing;
  object["refused"] = counts.refused;
  add_stop(object, stop);
  return line_of(object);
}

namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}  // namespace

std::string base64(const std::string& bytes) {
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

std::optional<std::string> from_base64(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::string out;
  out.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    std::uint32_t group = 0;
    int padding = 0;
    for (std::size_t j = 0; j < 4; ++j) {
      const char c = text[i + j];
      // Padding ends the text: at most two, only in the last group.
      if (c == '=' && i + 4 == text.size() && j >= 2) {
        ++padding;
        group <<= 6;
        continue;
      }
      const char* at = c == '\0' || padding > 0 ? nullptr : std::strchr(kAlphabet, c);
      if (at == nullptr) return std::nullopt;
      group = (group << 6) | static_cast<std::uint32_t>(at - kAlphabet);
    }
    out += static_cast<char>((group >> 16) & 0xFF);
    if (padding < 2) out += static_cast<char>((group >> 8) & 0xFF);
    if (padding < 1) out += static_cast<char>(group & 0xFF);
  }
  return out;
}

}  // namespace quarn::cli
