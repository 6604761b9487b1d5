#include "cli/json_records.h"

#include "platform/fs.h"

namespace quarn::cli::records {

bool is_separator(char c) { return c == '/' || c == platform::separator(); }

bool plain_names(std::string_view text) {
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && !is_separator(text[i])) continue;
    const std::string_view name = text.substr(start, i - start);
    if (name.empty() || name == "." || name == "..") return false;
    start = i + 1;
  }
  return true;
}

void put_path_list(json& object, const char* key, const std::vector<std::string>& paths) {
  json list = json::array();
  for (const std::string& path : paths) {
    json item;
    put_path(item, "path", path);
    list.push_back(std::move(item));
  }
  object[key] = std::move(list);
}

bool read_path_list(Fields& fields, const char* key, std::vector<std::string>& paths) {
  const auto list = fields.object().find(key);
  if (list == fields.object().end() || !list->is_array() || list->empty()) {
    return fields.fail(std::string("no list of \"") + key + "\"");
  }
  for (const json& item : *list) {
    if (!item.is_object()) return fields.fail("a PATH is not an object");
    Fields inner(item, fields.error());
    std::string path;
    if (!inner.path("path", path)) return false;
    const std::string below_root = platform::path_without_root(path);
    if (!below_root.empty() && !plain_names(below_root)) return fields.fail("a PATH with an empty, . or .. name");
    paths.push_back(std::move(path));
  }
  return true;
}

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
      return refused(std::string("a record of ") + version_key + " version " + std::to_string(found) +
                     "; this quarn-scan reads version " + std::to_string(version));
    }
    if (!read(line_number, object, fields)) return refused(why);
  }
  return std::nullopt;
}

}  // namespace quarn::cli::records
