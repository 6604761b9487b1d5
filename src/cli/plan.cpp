#include "cli/plan.h"

#include <algorithm>

#include "cli/json_records.h"

namespace quarn::cli {
namespace {

using records::Fields;
using records::json;

json head(const char* type) {
  json object;
  object["plan"] = kPlanVersion;
  object["type"] = type;
  return object;
}

}  // namespace

std::optional<PlanWriter> PlanWriter::create(const std::string& path, const std::vector<std::string>& paths) {
  auto file = platform::LogFile::open_exclusive(path);
  if (!file) return std::nullopt;
  PlanWriter writer(std::move(*file));
  json object = head("plan");
  object["quarn"] = QUARN_VERSION;
  records::put_path_list(object, "paths", paths);
  if (!writer.write(records::line_of(object))) return std::nullopt;
  return writer;
}

bool PlanWriter::write(const std::string& line) {
  lines_.update(line.data(), line.size());
  return file_.write(line);
}

bool PlanWriter::add(const PlannedFile& file) {
  json object = head("file");
  records::put_path(object, "path", file.path);
  object["device"] = file.identity.device;
  object["index"] = file.identity.index;
  object["size"] = file.bytes.size;
  object["sha256"] = platform::to_hex(file.bytes.sha256);
  object["action"] = action_name(file.action);
  ++count_;
  return write(records::line_of(object));
}

bool PlanWriter::finish() {
  json object = head("end");
  object["count"] = count_;
  object["sha256"] = platform::to_hex(lines_.finish());
  return file_.write(records::line_of(object));
}

PlanReading read_plan(const std::string& text) {
  PlanReading reading;
  Plan plan;
  platform::Sha256 lines;
  std::size_t start = 0;
  bool begun = false;
  bool ended = false;
  const auto read_record = [&](std::size_t line, const json&, Fields& fields) {
    // The line's own bytes, for the digest of the lines that the end holds.
    const std::size_t end = text.find('\n', start) + 1;
    const std::string_view bytes(text.data() + start, end - start);
    start = end;
    std::string type;
    if (!fields.text("type", type)) return false;
    if (ended) return fields.fail("a line after the plan's end");
    if (type == "plan") {
      if (line != 1) return fields.fail("a second start of the plan");
      begun = true;
      lines.update(bytes.data(), bytes.size());
      return records::read_path_list(fields, "paths", plan.paths);
    }
    if (!begun) return fields.fail("the plan does not start with its PATHs");
    if (type == "end") {
      std::uint64_t count = 0;
      std::string hex;
      if (!fields.number("count", count) || !fields.text("sha256", hex)) return false;
      if (count != plan.files.size()) {
        return fields.fail("the end counts " + std::to_string(count) + " files, the plan holds " +
                           std::to_string(plan.files.size()));
      }
      if (platform::digest_from_hex(hex) != lines.finish()) {
        return fields.fail("the lines do not hash to the end's SHA-256");
      }
      ended = true;
      return true;
    }
    if (type != "file") return fields.fail("a line of an unknown type \"" + type + "\"");
    lines.update(bytes.data(), bytes.size());
    PlannedFile file;
    std::string action;
    if (!fields.path("path", file.path) || !fields.number("device", file.identity.device) ||
        !fields.number("index", file.identity.index) ||
        !fields.sized_digest(nullptr, file.bytes.size, file.bytes.sha256) || !fields.text("action", action)) {
      return false;
    }
    const auto known = action_named(action);
    if (!known) return fields.fail("an unknown action \"" + action + "\"");
    file.action = *known;
    if (!path_lies_within(file.path, plan.paths)) {
      return fields.fail("the path " + platform::log_text(file.path) + " lies outside the plan's PATHs");
    }
    plan.files.push_back(std::move(file));
    return true;
  };
  const auto error = records::read_lines(text, "plan", kPlanVersion, read_record);
  if (error) {
    reading.error = *error;
    return reading;
  }
  // A plan is whole or it is nothing: a last line cut short, or no end
  // line at all (its scan was stopped, or the file was cut), refuses it.
  const std::string where = "line " + std::to_string(std::count(text.begin(), text.end(), '\n') + 1) + ": ";
  if (start != text.size()) {
    reading.error = where + "a line cut short";
  } else if (!ended) {
    reading.error = where + "no end line: the plan's scan did not finish";
  } else {
    reading.plan = std::move(plan);
  }
  return reading;
}

}  // namespace quarn::cli
