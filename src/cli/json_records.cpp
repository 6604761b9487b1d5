#include "cli/json_records.h"

namespace quarn::cli::records {

std::optional<std::string> read_lines(const std::string& text, const char* version_key, std::uint64_t version,
                                      const std::function<bool(std::size_t, const json&, Fields&)>& read) {
  std::size_t line_number = 0;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    ++line_number;
    const auto refused = [&](const std::string& why) { return "line " + std::to_string(line_number) + ": " + why; };
    const json object = json::parse(text.begin() + static_cast<std::ptrdiff_t>(start),
                                    text.begin() + static_cast<std::ptrdiff_t>(end), nullptr, false);
    if (object.is_discarded() || !object.is_object()) return refused("not a JSON object");
    std::string why;
    Fields fields(object, why);
    std::uint64_t found = 0;
    if (!fields.number(version_key, found)) return refused(std::string("no ") + version_key + " version");
    if (found != version) {
      return refused(std::string("a record of ") + version_key + " version " + std::to_string(found) + "; this quarn-scan reads version " +
                     std::to_string(version));
    }
    if (!read(line_number, object, fields)) return refused(why);
  }
  return std::nullopt;
}

}  // namespace quarn::cli::records
