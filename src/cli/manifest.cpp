#include "cli/manifest.h"

#include <chrono>
#include <cstdio>
#include <random>

#include <nlohmann/json.hpp>

#include "cli/json_output.h"
#include "platform/fs.h"

namespace quarn::cli {
namespace {

using json = nlohmann::ordered_json;

constexpr const char* kActionNames[] = {"restore", "cut", "delete"};

void put_path(json& object, const char* key, const std::string& path) {
  object[key] = path;
  if (!is_utf8(path)) object[std::string(key) + "_bytes"] = base64(path);
}

json bytes_of(const RecordedBytes& bytes) {
  json object;
  object["size"] = bytes.size;
  object["sha256"] = platform::to_hex(bytes.sha256);
  return object;
}

json head(const char* type, const std::string& run) {
  json object;
  object["manifest"] = kManifestVersion;
  object["type"] = type;
  object["run"] = run;
  return object;
}

std::string line_of(const json& object) {
  // A path that is not UTF-8 is also written exactly in its "_bytes" field.
  return object.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

// The reader's checks: each returns false and says why in error.
class Fields {
 public:
  Fields(const json& object, std::string& error) : object_(object), error_(error) {}

  bool text(const char* key, std::string& out) {
    const auto it = object_.find(key);
    if (it == object_.end() || !it->is_string()) return fail(std::string("no text \"") + key + "\"");
    out = it->get<std::string>();
    return true;
  }
  bool number(const char* key, std::uint64_t& out) {
    const auto it = object_.find(key);
    if (it == object_.end() || !it->is_number_unsigned()) return fail(std::string("no count \"") + key + "\"");
    out = it->get<std::uint64_t>();
    return true;
  }
  bool signed_number(const char* key, std::int64_t& out) {
    const auto it = object_.find(key);
    if (it == object_.end() || !it->is_number_integer()) return fail(std::string("no number \"") + key + "\"");
    if (it->is_number_unsigned() && it->get<std::uint64_t>() > static_cast<std::uint64_t>(INT64_MAX)) {
      return fail(std::string("\"") + key + "\" is out of range");
    }
    out = it->get<std::int64_t>();
    return true;
  }
  bool small_number(const char* key, std::optional<std::uint32_t>& out, bool required) {
    if (!required && !object_.contains(key)) return true;
    std::uint64_t value = 0;
    if (!number(key, value)) return false;
    if (value > UINT32_MAX) return fail(std::string("\"") + key + "\" is out of range");
    out = static_cast<std::uint32_t>(value);
    return true;
  }
  // A path as text, or exactly as its bytes when "<key>_bytes" is there.
  bool path(const char* key, std::string& out) {
    if (!text(key, out)) return false;
    const std::string bytes_key = std::string(key) + "_bytes";
    if (!object_.contains(bytes_key)) return !out.empty() || fail(std::string("an empty \"") + key + "\"");
    std::string encoded;
    if (!text(bytes_key.c_str(), encoded)) return false;
    auto decoded = from_base64(encoded);
    if (!decoded || decoded->empty()) return fail("\"" + bytes_key + "\" is not base64 of a name");
    out = std::move(*decoded);
    return true;
  }
  bool digest(const char* key, RecordedBytes& out) {
    const auto it = object_.find(key);
    if (it == object_.end() || !it->is_object()) return fail(std::string("no \"") + key + "\" object");
    Fields inner(*it, error_);
    std::string hex;
    if (!inner.number("size", out.size) || !inner.text("sha256", hex)) return false;
    auto parsed = platform::digest_from_hex(hex);
    if (!parsed) return fail(std::string("\"") + key + "\" has no SHA-256 of 64 hex digits");
    out.sha256 = *parsed;
    return true;
  }
  bool fail(const std::string& why) {
    error_ = why;
    return false;
  }
  const json& object() const { return object_; }
  std::string& error() { return error_; }

 private:
  const json& object_;
  std::string& error_;
};

bool is_separator(char c) { return c == '/' || c == platform::separator(); }

// The names of a relative path, none of which may be empty, "." or "..".
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

// A backup place: relative, in plain names.
bool plain_place(const std::string& place) { return !place.empty() && !is_separator(place[0]) && plain_names(place); }

bool read_attributes(Fields& fields, platform::FileAttributes& out) {
  std::optional<std::uint32_t> mode;
  std::int64_t modified = 0;
  if (!fields.small_number("mode", mode, true) || !fields.small_number("owner", out.owner, false) ||
      !fields.small_number("group", out.group, false) || !fields.signed_number("modified_ns", modified)) {
    return false;
  }
  out.mode = *mode;
  out.modified_ns = modified;
  const auto xattrs = fields.object().find("xattrs");
  if (xattrs == fields.object().end()) return true;
  if (!xattrs->is_array()) return fields.fail("\"xattrs\" is not a list");
  for (const json& item : *xattrs) {
    if (!item.is_object()) return fields.fail("an extended attribute is not an object");
    Fields inner(item, fields.error());
    std::string name;
    std::string value;
    if (!inner.text("name", name) || !inner.text("value", value)) return false;
    auto name_bytes = from_base64(name);
    auto value_bytes = from_base64(value);
    if (!name_bytes || name_bytes->empty() || !value_bytes) return fields.fail("an extended attribute is not base64");
    out.extended.emplace_back(std::move(*name_bytes), std::move(*value_bytes));
  }
  return true;
}

bool read_run(Fields& fields, RunRecord& run) {
  if (!fields.text("run", run.id) || !fields.text("started", run.started) || !fields.text("quarn", run.version)) {
    return false;
  }
  if (run.id.empty()) return fields.fail("an empty run id");
  const auto paths = fields.object().find("paths");
  if (paths == fields.object().end() || !paths->is_array() || paths->empty()) {
    return fields.fail("no list of \"paths\"");
  }
  for (const json& item : *paths) {
    if (!item.is_object()) return fields.fail("a PATH is not an object");
    Fields inner(item, fields.error());
    std::string path;
    if (!inner.path("path", path)) return false;
    const std::string below_root = platform::path_without_root(path);
    if (!below_root.empty() && !plain_names(below_root)) return fields.fail("a PATH with an empty, . or .. name");
    run.paths.push_back(std::move(path));
  }
  return true;
}

}  // namespace

const char* action_name(RecordedAction action) { return kActionNames[static_cast<int>(action)]; }

std::optional<ManifestWriter> ManifestWriter::open(const BackupStore& store, const RunRecord& run) {
  auto file = platform::File::open_append(store.open_folder(), kManifestName);
  if (!file) return std::nullopt;
  ManifestWriter writer(std::move(*file), run.id);
  json object = head("run", run.id);
  object["started"] = run.started;
  object["quarn"] = run.version;
  json paths = json::array();
  for (const std::string& path : run.paths) {
    json item;
    put_path(item, "path", path);
    paths.push_back(std::move(item));
  }
  object["paths"] = std::move(paths);
  if (!writer.append(line_of(object))) return std::nullopt;
  return writer;
}

bool ManifestWriter::append(const std::string& line) {
  return file_.write_all(line.data(), line.size()) && file_.flush_to_disk();
}

bool ManifestWriter::intend(IntentRecord& intent) {
  intent.run = run_;
  intent.record = ++last_record_;
  json object = head("intent", run_);
  object["record"] = intent.record;
  put_path(object, "path", intent.path);
  object["action"] = action_name(intent.action);
  object["before"] = bytes_of(intent.before);
  if (intent.after) object["after"] = bytes_of(*intent.after);
  const platform::FileAttributes& attributes = intent.attributes;
  object["mode"] = attributes.mode;
  if (attributes.owner) object["owner"] = *attributes.owner;
  if (attributes.group) object["group"] = *attributes.group;
  object["modified_ns"] = attributes.modified_ns;
  if (!attributes.extended.empty()) {
    json xattrs = json::array();
    for (const auto& [name, value] : attributes.extended) xattrs.push_back({{"name", base64(name)}, {"value", base64(value)}});
    object["xattrs"] = std::move(xattrs);
  }
  put_path(object, "backup", intent.backup);
  return append(line_of(object));
}

bool ManifestWriter::outcome(const IntentRecord& intent, ScanStatus status, const platform::ErrorRecord& error) {
  json object = head("outcome", run_);
  object["record"] = intent.record;
  const bool done = (status & STATUS_ERROR) == 0;
  object["outcome"] = done ? "done" : "failed";
  object["status"] = log_status_name(status);
  if (!done) object["error"] = error.word.empty() ? "other" : error.word;
  return append(line_of(object));
}

RunRecord new_run_record(std::vector<std::string> paths) {
  const auto now = std::chrono::system_clock::now();
  const auto days = std::chrono::floor<std::chrono::days>(now);
  const std::chrono::year_month_day date{days};
  const std::chrono::hh_mm_ss time{std::chrono::floor<std::chrono::seconds>(now - days)};
  char started[32];
  std::snprintf(started, sizeof started, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()));
  // The time alone would name two runs of one second alike.
  std::random_device random;
  char id[48];
  std::snprintf(id, sizeof id, "%.4s%.2s%.2s-%.2s%.2s%.2s-%08x", started, started + 5, started + 8, started + 11,
                started + 14, started + 17, static_cast<unsigned>(random()));
  return RunRecord{id, started, QUARN_VERSION, std::move(paths)};
}

bool path_lies_within(const std::string& path, const std::vector<std::string>& roots) {
  for (const std::string& root : roots) {
    if (path == root) return true;
    if (root.empty() || path.size() <= root.size() || path.compare(0, root.size(), root) != 0) continue;
    const bool root_ends_named = !is_separator(root.back());
    if (root_ends_named && !is_separator(path[root.size()])) continue;
    const std::string_view below = std::string_view(path).substr(root.size() + (root_ends_named ? 1 : 0));
    if (!below.empty() && plain_names(below)) return true;
  }
  return false;
}

ManifestReading read_manifest(const std::string& text) {
  ManifestReading reading;
  Manifest manifest;
  std::map<std::string, std::size_t> run_index;
  std::size_t line_number = 0;
  std::size_t start = 0;
  const auto refuse = [&](const std::string& why) {
    reading.error = "line " + std::to_string(line_number) + ": " + why;
    return reading;
  };
  // The text after the last line end is a record cut short: never read.
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    ++line_number;
    const json object = json::parse(text.begin() + static_cast<std::ptrdiff_t>(start),
                                    text.begin() + static_cast<std::ptrdiff_t>(end), nullptr, false);
    if (object.is_discarded() || !object.is_object()) return refuse("not a JSON object");
    std::string why;
    Fields fields(object, why);
    std::uint64_t version = 0;
    if (!fields.number("manifest", version)) return refuse("no manifest version");
    if (version != kManifestVersion) {
      return refuse("a record of manifest version " + std::to_string(version) + "; this quarn-scan reads version " +
                    std::to_string(kManifestVersion));
    }
    std::string type;
    if (!fields.text("type", type)) return refuse(why);
    if (type == "run") {
      RunRecord run;
      if (!read_run(fields, run)) return refuse(why);
      if (run_index.contains(run.id)) return refuse("a second start of run " + run.id);
      run_index.emplace(run.id, manifest.runs.size());
      manifest.runs.push_back(std::move(run));
      continue;
    }
    std::string run_id;
    std::uint64_t record = 0;
    if (!fields.text("run", run_id) || !fields.number("record", record)) return refuse(why);
    const auto run = run_index.find(run_id);
    if (run == run_index.end()) return refuse("a record of run " + run_id + ", which no earlier line starts");
    if (type == "outcome") {
      OutcomeRecord outcome{run_id, record, false, {}};
      std::string word;
      if (!fields.text("outcome", word)) return refuse(why);
      if (word != "done" && word != "failed") return refuse("an outcome that is neither done nor failed");
      outcome.done = word == "done";
      if (!outcome.done && !fields.text("error", outcome.error)) return refuse(why);
      manifest.outcomes[{run_id, record}] = std::move(outcome);
      continue;
    }
    if (type != "intent") return refuse("a record of an unknown type \"" + type + "\"");
    IntentRecord intent;
    intent.run = run_id;
    intent.record = record;
    std::string action;
    if (!fields.path("path", intent.path) || !fields.text("action", action) || !fields.digest("before", intent.before) ||
        !read_attributes(fields, intent.attributes) || !fields.path("backup", intent.backup)) {
      return refuse(why);
    }
    bool known = false;
    for (int i = 0; i < 3; ++i) {
      if (action == kActionNames[i]) {
        intent.action = static_cast<RecordedAction>(i);
        known = true;
      }
    }
    if (!known) return refuse("an unknown action \"" + action + "\"");
    if (intent.action != RecordedAction::remove) {
      RecordedBytes after;
      if (!fields.digest("after", after)) return refuse(why);
      intent.after = after;
    }
    if (!plain_place(intent.backup)) return refuse("a backup place that is not plain names below the folder");
    if (!path_lies_within(intent.path, manifest.runs[run->second].paths)) {
      return refuse("the path " + platform::log_text(intent.path) + " lies outside the PATHs of its run");
    }
    manifest.intents.push_back(std::move(intent));
  }
  reading.manifest = std::move(manifest);
  return reading;
}

}  // namespace quarn::cli
