#include "cli/manifest.h"

#include <chrono>
#include <cstdio>
#include <random>

#include "cli/json_records.h"
#include "platform/fs.h"

namespace quarn::cli {
namespace {

using records::Fields;
using records::json;
using records::line_of;
using records::put_path;
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

bool read_digest(Fields& fields, const char* key, RecordedBytes& out) {
  return fields.sized_digest(key, out.size, out.sha256);
}

constexpr const char* kActionNames[] = {"restore", "cut", "delete"};

// A backup place: relative, in plain names.
bool plain_place(const std::string& place) {
  return !place.empty() && !records::is_separator(place[0]) && records::plain_names(place);
}

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
  return records::read_path_list(fields, "paths", run.paths);
}

}  // namespace

const char* action_name(RecordedAction action) { return kActionNames[static_cast<int>(action)]; }

std::optional<RecordedAction> action_named(std::string_view name) {
  for (int i = 0; i < 3; ++i) {
    if (name == kActionNames[i]) return static_cast<RecordedAction>(i);
  }
  return std::nullopt;
}

std::optional<ManifestWriter> ManifestWriter::open(const BackupStore& store, const RunRecord& run) {
  auto file = platform::File::open_append(store.open_folder(), kManifestName);
  if (!file) return std::nullopt;
  ManifestWriter writer(std::move(*file), run.id);
  json object = head("run", run.id);
  object["started"] = run.started;
  object["quarn"] = run.version;
  records::put_path_list(object, "paths", run.paths);
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
    for (const auto& [name, value] : attributes.extended) {
      xattrs.push_back({{"name", base64(name)}, {"value", base64(value)}});
    }
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
    const bool root_ends_named = !records::is_separator(root.back());
    if (root_ends_named && !records::is_separator(path[root.size()])) continue;
    const std::string_view below = std::string_view(path).substr(root.size() + (root_ends_named ? 1 : 0));
    if (!below.empty() && records::plain_names(below)) return true;
  }
  return false;
}

std::optional<platform::Folder> open_folder_of(const std::vector<std::string>& roots, const std::string& path,
                                               std::string& name) {
  for (const std::string& root : roots) {
    if (!path_lies_within(path, {root})) continue;
    if (path == root) return platform::Folder::open_parent_of(root, name);
    const std::vector<std::string> names = names_of(std::string_view(path).substr(root.size()));
    auto folder = platform::Folder::open(root, platform::LinkAtEnd::follow).folder;
    for (std::size_t i = 0; folder && i + 1 < names.size(); ++i) folder = folder->open_child(names[i]);
    if (folder) name = names.back();
    return folder;
  }
  platform::record_error("other", "the path lies outside the PATHs of its run");
  return std::nullopt;
}

ManifestReading read_manifest(const std::string& text) {
  ManifestReading reading;
  Manifest manifest;
  std::map<std::string, std::size_t> run_index;
  const auto read_record = [&](std::size_t, const json&, Fields& fields) {
    std::string type;
    if (!fields.text("type", type)) return false;
    if (type == "run") {
      RunRecord run;
      if (!read_run(fields, run)) return false;
      if (run_index.contains(run.id)) return fields.fail("a second start of run " + run.id);
      run_index.emplace(run.id, manifest.runs.size());
      manifest.runs.push_back(std::move(run));
      return true;
    }
    std::string run_id;
    std::uint64_t record = 0;
    if (!fields.text("run", run_id) || !fields.number("record", record)) return false;
    const auto run = run_index.find(run_id);
    if (run == run_index.end()) return fields.fail("a record of run " + run_id + ", which no earlier line starts");
    if (type == "outcome") {
      OutcomeRecord outcome{run_id, record, false, {}};
      std::string word;
      if (!fields.text("outcome", word)) return false;
      if (word != "done" && word != "failed") return fields.fail("an outcome that is neither done nor failed");
      outcome.done = word == "done";
      if (!outcome.done && !fields.text("error", outcome.error)) return false;
      manifest.outcomes[{run_id, record}] = std::move(outcome);
      return true;
    }
    if (type != "intent") return fields.fail("a record of an unknown type \"" + type + "\"");
    IntentRecord intent;
    intent.run = run_id;
    intent.record = record;
    std::string action;
    if (!fields.path("path", intent.path) || !fields.text("action", action) ||
        !read_digest(fields, "before", intent.before) || !read_attributes(fields, intent.attributes) ||
        !fields.path("backup", intent.backup)) {
      return false;
    }
    const auto known = action_named(action);
    if (!known) return fields.fail("an unknown action \"" + action + "\"");
    intent.action = *known;
    if (intent.action != RecordedAction::remove) {
      RecordedBytes after;
      if (!read_digest(fields, "after", after)) return false;
      intent.after = after;
    }
    if (!plain_place(intent.backup)) return fields.fail("a backup place that is not plain names below the folder");
    if (!path_lies_within(intent.path, manifest.runs[run->second].paths)) {
      return fields.fail("the path " + platform::log_text(intent.path) + " lies outside the PATHs of its run");
    }
    manifest.intents.push_back(std::move(intent));
    return true;
  };
  const auto error = records::read_lines(text, "manifest", kManifestVersion, read_record);
  if (error) {
    reading.error = *error;
  } else {
    reading.manifest = std::move(manifest);
  }
  return reading;
}

}  // namespace quarn::cli
