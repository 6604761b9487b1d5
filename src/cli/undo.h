// quarn-scan --undo DIR: puts back what the runs recorded in DIR's manifest
// did, newest record first. Each record is decided by what its file holds
// now, never by what the manifest says became of it, so a run killed at any
// moment is undone as far as its remedies got:
//   restore, cut: the file's bytes are the recorded "after" bytes: the copy
//                 goes back in one rename over it; the "before" bytes: there
//                 is nothing to undo; anything else: left alone.
//   delete:       the name is free: the copy goes back under a name that
//                 the put-back can never take from another file; the file
//                 there holds the "before" bytes: nothing to undo; anything
//                 else: left alone.
// The copy must hash to the recorded "before" bytes, and every file is
// reached from its run's PATH one name at a time, never through a link.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "cli/backup_store.h"
#include "cli/manifest.h"
#include "platform/system_error.h"

namespace quarn::cli {

enum class UndoOutcome { put_back, needed_nothing, refused };

struct UndoResult {
  UndoOutcome outcome = UndoOutcome::refused;
  // When refused: the stable word and the reason ("changed since the scan").
  platform::ErrorRecord error;
};

// Undoes one record, or with preview only decides what undoing it would do
// (the copy is checked all the same). run is the record's run.
UndoResult undo_record(const BackupStore& store, const RunRecord& run, const IntentRecord& intent, bool preview);

// "put back", "needed nothing", "refused"; a preview's "would put back"
// and "would refuse".
const char* undo_word(UndoOutcome outcome, bool preview);

struct UndoCounts {
  std::int64_t records = 0;
  std::int64_t put_back = 0;
  std::int64_t needed_nothing = 0;
  std::int64_t refused = 0;
  void add(UndoOutcome outcome) {
    ++records;
    ++(outcome == UndoOutcome::put_back ? put_back : outcome == UndoOutcome::needed_nothing ? needed_nothing : refused);
  }
};

}  // namespace quarn::cli
