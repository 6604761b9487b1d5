// The record that a run with --backup keeps beside its copies, so that
// --undo can put back what the run did: DIR/manifest.jsonl, JSON Lines,
// appended to by every run into DIR. docs/manifest.md describes the format.
//
// A run first writes its "run" line. Each remedy then writes an "intent"
// line, on the disk before the file is touched, naming the bytes before and
// the bytes the remedy will leave, and an "outcome" line once it is over. A
// kill at any moment leaves at most one last line without its line end,
// which a reader ignores; every complete line is a whole record.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/backup_store.h"
#include "platform/file.h"
#include "platform/folder.h"
#include "platform/sha256.h"
#include "platform/system_error.h"
#include "scan/scan_status.h"

namespace quarn::cli {

inline constexpr int kManifestVersion = 1;
inline constexpr char kManifestName[] = "manifest.jsonl";

// What a remedy does to a file, as a record names it.
enum class RecordedAction { restore, cut, remove };
const char* action_name(RecordedAction action);
std::optional<RecordedAction> action_named(std::string_view name);

struct RecordedBytes {
  std::uint64_t size = 0;
  platform::Sha256Digest sha256{};
};

struct RunRecord {
  std::string id;
  std::string started;  // UTC, ISO 8601: 2026-12-08T12:06:15Z
  std::string version;
  std::vector<std::string> paths;  // full paths
};

struct IntentRecord {
  std::string run;
  std::uint64_t record = 0;  // its number within the run, from 1
  std::string path;          // the file's full path
  RecordedAction action = RecordedAction::remove;
  RecordedBytes before;
  std::optional<RecordedBytes> after;  // for restore and cut
  platform::FileAttributes attributes;
  std::string backup;  // the copy's place below DIR
};

struct OutcomeRecord {
  std::string run;
  std::uint64_t record = 0;
  bool done = false;
  std::string error;  // the error word when not done
};

// Appends a run's records to the manifest of a backup store.
class ManifestWriter {
 public:
  // Opens DIR/manifest.jsonl to append to (creating it), and writes the
  // run's line, on the disk before any remedy. Nothing on failure, with the
  // reason recorded.
  static std::optional<ManifestWriter> open(const BackupStore& store, const RunRecord& run);

  // The intent of a remedy, on the disk when it returns true. It gets the
  // run's next record number, which the outcome names.
  bool intend(IntentRecord& intent);
  bool outcome(const IntentRecord& intent, ScanStatus status, const platform::ErrorRecord& error);

 private:
  ManifestWriter(platform::File file, std::string run) : file_(std::move(file)), run_(std::move(run)) {}
  bool append(const std::string& line);

  platform::File file_;
  std::string run_;
  std::uint64_t last_record_ = 0;
};

// A run's id and its start, from the clock and a random number.
RunRecord new_run_record(std::vector<std::string> paths);

// Every record of a manifest, in the order written.
struct Manifest {
  std::vector<RunRecord> runs;
  std::vector<IntentRecord> intents;
  // By run, then record number.
  std::map<std::pair<std::string, std::uint64_t>, OutcomeRecord> outcomes;
};

struct ManifestReading {
  std::optional<Manifest> manifest;
  std::string error;  // "line 3: ..." when the manifest is refused
};

// Reads a manifest's text. A last line without its line end is an
// unfinished record and is left out; any other line that is not a record of
// this version, an intent of a run that no earlier line began, or a path
// outside the run's PATHs refuses the whole manifest, naming the line.
ManifestReading read_manifest(const std::string& text);

// Whether path lies at or below one of the full paths, by its names alone:
// none may be empty, "." or "..", so that no text can climb out.
bool path_lies_within(const std::string& path, const std::vector<std::string>& roots);

// The folder that holds the file at path, reached from the root among
// roots that holds it one name at a time without following a link, and
// the file's name there. Nothing, with the reason recorded, when a folder
// on the way is gone or is a link, or when no root holds path.
std::optional<platform::Folder> open_folder_of(const std::vector<std::string>& roots, const std::string& path,
                                               std::string& name);

}  // namespace quarn::cli
