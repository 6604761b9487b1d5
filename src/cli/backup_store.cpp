#include "cli/backup_store.h"

#include <cstring>
#include <memory>

#include "platform/file.h"
#include "platform/system_error.h"

namespace quarn::cli {
namespace {

// The copy's permission bits are the file's, and it is on the disk before
// it takes its name.
bool copy_whole(platform::File& source, platform::File& target, std::uint64_t size, platform::Sha256Digest& digest) {
  return copy_hashed(source, target, size, digest) && target.copy_permissions_from(source) && target.flush_to_disk();
}

// True when the copy holds exactly the source's bytes, whose digest it then
// gives. The sizes are compared first, so that a copy of another length is
// never read.
bool same_bytes(platform::File& source, std::uint64_t size, platform::File& copy, platform::Sha256Digest& digest) {
  if (copy.size_at_open() != size) return false;
  auto ours = std::make_unique<unsigned char[]>(platform::kCopyChunk);
  auto theirs = std::make_unique<unsigned char[]>(platform::kCopyChunk);
  platform::Sha256 hash;
  for (std::uint64_t at = 0; at < size;) {
    auto a = source.read_at(at, ours.get(), platform::kCopyChunk);
    auto b = copy.read_at(at, theirs.get(), platform::kCopyChunk);
    if (!a || !b || *a != *b || *a == 0 || std::memcmp(ours.get(), theirs.get(), *a) != 0) return false;
    hash.update(ours.get(), *a);
    at += *a;
  }
  digest = hash.finish();
  return true;
}

bool is_separator(char c) { return c == '/' || c == platform::separator(); }

std::string joined(const std::vector<std::string>& names, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) text += platform::separator();
    text += names[i];
  }
  return text;
}

std::string suffixed(const std::string& name, int suffix) {
  return suffix == 0 ? name : name + "." + std::to_string(suffix);
}

}  // namespace

std::vector<std::string> names_of(std::string_view relative) {
  std::vector<std::string> names;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= relative.size(); ++i) {
    if (i < relative.size() && !is_separator(relative[i])) continue;
    if (i > start) names.emplace_back(relative.substr(start, i - start));
    start = i + 1;
  }
  return names;
}

bool copy_hashed(platform::File& source, platform::File& target, std::uint64_t size, platform::Sha256Digest& digest) {
  auto buffer = std::make_unique<unsigned char[]>(platform::kCopyChunk);
  platform::Sha256 hash;
  std::uint64_t copied = 0;
  for (;;) {
    auto n = source.read_at(copied, buffer.get(), platform::kCopyChunk);
    if (!n) return false;
    if (*n > 0 && !target.write_all(buffer.get(), *n)) return false;
    hash.update(buffer.get(), *n);
    copied += *n;
    if (*n < platform::kCopyChunk) break;
  }
  if (copied != size) return platform::record_error("changed", "the file changed while it was being copied");
  digest = hash.finish();
  return true;
}

std::optional<BackupStore> BackupStore::open(const std::string& folder) {
  if (!platform::make_directories(folder)) return std::nullopt;
  return open_existing(folder);
}

std::optional<BackupStore> BackupStore::open_existing(const std::string& folder) {
  auto full = platform::full_path(folder);
  auto open = platform::Folder::open(folder, platform::LinkAtEnd::follow).folder;
  if (!full || !open) return std::nullopt;
  auto identity = open->identity();
  if (!identity) return std::nullopt;
  return BackupStore(folder, *full, std::move(*open), *identity);
}

bool BackupStore::is_store(const std::string& folder) const {
  auto identity = platform::identity_of(folder);
  return identity && *identity == identity_;
}

bool BackupStore::is_store(const platform::Folder& folder) const {
  auto identity = folder.identity();
  return identity && *identity == identity_;
}

bool BackupStore::holds(const std::string& full_path) const { return platform::lies_within(full_path, identity_); }

std::string BackupStore::target_for(const std::string& full_path) const {
  const std::string below = platform::path_without_root(full_path);
  if (below.empty()) return folder_;
  return folder_ + platform::separator() + below;
}

bool BackupStore::descend(const std::vector<std::string>& names, bool create,
                          std::optional<platform::Folder>& reached) const {
  for (std::size_t i = 0; i + 1 < names.size(); ++i) {
    const platform::Folder& from = reached ? *reached : open_;
    auto next = create ? from.create_child_folder(names[i]) : from.open_child(names[i]);
    if (!next) return false;
    reached = std::move(next);
  }
  return true;
}

std::optional<SavedCopy> BackupStore::save(const platform::FileAt& file, const std::string& full_path) const {
  auto source = platform::File::open_read(file.folder, file.name);
  if (!source) return std::nullopt;
  return save(*source, full_path);
}

std::optional<SavedCopy> BackupStore::save(platform::File& source, const std::string& full_path) const {
  const auto size = source.size();
  auto names = names_of(platform::path_without_root(full_path));
  if (!size || names.empty()) return std::nullopt;
  std::optional<platform::Folder> reached;
  if (!descend(names, true, reached)) return std::nullopt;
  const platform::Folder* folder = reached ? &*reached : &open_;
  const std::string base = names.back();
  const std::string above = joined(names, names.size() - 1);
  const auto place_of = [&](const std::string& name) {
    return above.empty() ? name : above + platform::separator() + name;
  };

  // The names in use are looked at in order up to the first free one; a
  // copy among them that holds the same bytes is kept in use.
  int free_suffix = -1;
  for (int suffix = 0; suffix <= kMaxSuffix; ++suffix) {
    const std::string name = suffixed(base, suffix);
    const platform::NodeKind kind = folder->kind_of(name);
    if (kind == platform::NodeKind::missing) {
      free_suffix = suffix;
      break;
    }
    if (kind != platform::NodeKind::regular) continue;
    auto earlier = platform::File::open_read(*folder, name);
    platform::Sha256Digest digest;
    if (earlier && same_bytes(source, *size, *earlier, digest)) return SavedCopy{place_of(name), *size, false, digest};
  }
  if (free_suffix < 0) {
    platform::record_error("exists", "every name for its copy is taken (up to ." + std::to_string(kMaxSuffix) + ")");
    return std::nullopt;
  }

  std::string partial;
  auto target = platform::File::create_unique(*folder, kPartialStem, partial);
  if (!target) return std::nullopt;
  platform::Sha256Digest digest;
  const bool whole = copy_whole(source, *target, *size, digest);
  // Win32 cannot rename a file that is still open.
  const bool closed = target->close();
  if (whole && closed) {
    // Another process may have taken the free name meanwhile: the copy then
    // goes to the next one, never over it.
    for (int suffix = free_suffix; suffix <= kMaxSuffix; ++suffix) {
      const std::string name = suffixed(base, suffix);
      if (folder->rename_to_new_name(partial, name)) {
        if (!folder->flush_to_disk()) break;
        return SavedCopy{place_of(name), *size, true, digest};
      }
      if (folder->kind_of(name) == platform::NodeKind::missing) break;
    }
  }
  const platform::KeepError first_cause;
  folder->delete_file(partial);
  return std::nullopt;
}

bool BackupStore::discard(const SavedCopy& copy) const {
  if (!copy.made) return true;
  const auto names = names_of(copy.place);
  if (names.empty()) return false;
  std::optional<platform::Folder> reached;
  if (!descend(names, false, reached)) return false;
  return (reached ? *reached : open_).delete_file(names.back());
}

std::optional<platform::File> BackupStore::open_copy(const std::string& place) const {
  const auto names = names_of(place);
  if (names.empty()) return std::nullopt;
  std::optional<platform::Folder> reached;
  if (!descend(names, false, reached)) return std::nullopt;
  return platform::File::open_read(reached ? *reached : open_, names.back());
}

}  // namespace quarn::cli
