// Feeds any bytes to the manifest's reader, which --undo trusts to name
// only files below the PATHs of a run, and checks what an accepted manifest
// promises: every intent belongs to a run that an earlier line started and
// names a file at or below one of its PATHs in plain names, its copy lies
// in plain names below the backup folder, and a restore or cut names the
// bytes it leaves. A last line without its line end must change nothing.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "cli/manifest.h"
#include "path_rules.h"

using quarn::fuzz::check;
using quarn::fuzz::below_a_root;
using quarn::fuzz::plain;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const quarn::cli::ManifestReading reading = quarn::cli::read_manifest(text);

  // Whatever follows the last line end is a record cut short by a kill:
  // the reading of the text without it must be the same.
  const std::size_t last_end = text.rfind('\n');
  const std::string whole_lines = last_end == std::string::npos ? std::string() : text.substr(0, last_end + 1);
  if (whole_lines.size() != text.size()) {
    const quarn::cli::ManifestReading same = quarn::cli::read_manifest(whole_lines);
    check(same.manifest.has_value() == reading.manifest.has_value() && same.error == reading.error);
    if (same.manifest) {
      check(same.manifest->runs.size() == reading.manifest->runs.size() &&
            same.manifest->intents.size() == reading.manifest->intents.size() &&
            same.manifest->outcomes.size() == reading.manifest->outcomes.size());
    }
  }

  if (!reading.manifest) {
    check(!reading.error.empty());
    return 0;
  }
  const quarn::cli::Manifest& manifest = *reading.manifest;
  std::set<std::string> ids;
  for (const quarn::cli::RunRecord& run : manifest.runs) {
    check(!run.id.empty() && ids.insert(run.id).second && !run.paths.empty());
    for (const std::string& path : run.paths) check(!path.empty());
  }
  for (const quarn::cli::IntentRecord& intent : manifest.intents) {
    const quarn::cli::RunRecord* run = nullptr;
    for (const quarn::cli::RunRecord& candidate : manifest.runs) {
      if (candidate.id == intent.run) run = &candidate;
    }
    check(run != nullptr);
    check(quarn::cli::path_lies_within(intent.path, run->paths));
    check(below_a_root(intent.path, run->paths));
    check(plain(intent.backup));
    check(intent.action == quarn::cli::RecordedAction::remove || intent.after.has_value());
  }
  for (const auto& [key, outcome] : manifest.outcomes) {
    check(key.first == outcome.run && key.second == outcome.record && ids.contains(outcome.run));
  }
  return 0;
}
