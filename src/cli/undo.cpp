#include "cli/undo.h"

#include <vector>

#include "platform/file.h"
#include "platform/folder.h"
#include "platform/sha256.h"
#include "remedies/exe_remedy.h"

namespace quarn::cli {
namespace {

UndoResult refused(const char* word, const char* reason) {
  platform::record_error(word, reason);
  return UndoResult{UndoOutcome::refused, platform::last_error()};
}

// Refused for the reason that the failing call recorded.
UndoResult failed() { return UndoResult{UndoOutcome::refused, platform::last_error()}; }

bool same(const RecordedBytes& recorded, std::uint64_t size, const platform::Sha256Digest& digest) {
  return recorded.size == size && recorded.sha256 == digest;
}

// The new file that takes the copy's bytes, removed unless it took its
// name. Named like a restore's, so that a scan removes it as a leftover
// once nothing holds it, should an undo be killed before its rename.
class PutBack {
 public:
  explicit PutBack(const platform::Folder& folder) : folder_(folder) {
    file_ = platform::File::create_unique(folder, remedies::kRestoreStem, name_);
  }
  ~PutBack() {
    if (!file_ || done_) return;
    const platform::KeepError first_cause;
    file_->close();  // Win32 cannot delete a file that is still open.
    folder_.delete_file(name_);
  }
  PutBack(const PutBack&) = delete;
  PutBack& operator=(const PutBack&) = delete;

  // Writes the copy's bytes, checked against the record, with the file's
  // attributes; the modification time goes last, after every write.
  bool fill(platform::File& copy, const IntentRecord& intent) {
    if (!file_) return false;
    platform::Sha256Digest digest;
    if (!copy_hashed(copy, *file_, intent.before.size, digest)) return false;
    if (digest != intent.before.sha256) {
      return platform::record_error("damaged", "the backup copy does not hold the bytes its record names");
    }
    return file_->flush_to_disk() && file_->set_attributes(intent.attributes) && file_->flush_to_disk() &&
           file_->close();
  }
  const std::string& name() const { return name_; }
  void keep() { done_ = true; }

 private:
  const platform::Folder& folder_;
  std::optional<platform::File> file_;
  std::string name_;
  bool done_ = false;
};

}  // namespace

const char* undo_word(UndoOutcome outcome, bool preview) {
  switch (outcome) {
    case UndoOutcome::put_back: return preview ? "would put back" : "put back";
    case UndoOutcome::needed_nothing: return "needed nothing";
    case UndoOutcome::refused: break;
  }
  return preview ? "would refuse" : "refused";
}

UndoResult undo_record(const BackupStore& store, const RunRecord& run, const IntentRecord& intent, bool preview) {
  std::string name;
  const auto folder = open_folder_of(run.paths, intent.path, name);
  if (!folder) return failed();

  // What the name holds now, read through the handle whose identity a
  // replacement checks again just before its rename.
  std::optional<platform::FileIdentity> identity;
  const platform::NodeKind kind = folder->kind_of(name);
  if (kind == platform::NodeKind::regular) {
    auto file = platform::File::open_read(*folder, name);
    if (!file) return failed();
    const auto size = file->size();
    if (!size || !(identity = file->identity())) return failed();
    const auto digest = platform::hash_range(*file, 0, *size);
    if (!digest) return failed();
    if (same(intent.before, *size, *digest)) return UndoResult{UndoOutcome::needed_nothing, {}};
    const bool cleaned = intent.after && same(*intent.after, *size, *digest);
    if (!cleaned) {
      return intent.action == RecordedAction::remove ? refused("exists", "a file is there again")
                                                     : refused("changed", "changed since the scan");
    }
  } else if (kind != platform::NodeKind::missing) {
    return refused("exists", "something else is there now");
  } else if (intent.action != RecordedAction::remove) {
    return refused("not-found", "the file is gone since the scan");
  }

  auto copy = store.open_copy(intent.backup);
  if (!copy) return failed();
  if (preview) {
    const auto digest = platform::hash_range(*copy, 0, intent.before.size);
    if (!digest) return failed();
    if (copy->size_at_open() != intent.before.size || *digest != intent.before.sha256) {
      return refused("damaged", "the backup copy does not hold the bytes its record names");
    }
    return UndoResult{UndoOutcome::put_back, {}};
  }

  PutBack put_back(*folder);
  if (!put_back.fill(*copy, intent)) return failed();
  if (!identity) {
    // Never over a file that appeared meanwhile.
    if (!folder->rename_to_new_name(put_back.name(), name)) {
      return platform::last_error().word == "exists" ? refused("exists", "a file is there again") : failed();
    }
  } else {
    // The name must still lead to the file whose bytes were checked.
    if (folder->identity_of(name) != identity) return refused("changed", "changed since the scan");
    if (!folder->replace_file(put_back.name(), name)) return failed();
  }
  put_back.keep();
  if (!folder->flush_to_disk()) return failed();
  return UndoResult{UndoOutcome::put_back, {}};
}

}  // namespace quarn::cli
