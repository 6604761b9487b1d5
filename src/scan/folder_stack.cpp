#include "scan/folder_stack.h"

namespace quarn {

using platform::ListingStep;

FolderStack::FolderStack(platform::Folder start, platform::DirectoryListing listing, std::string path) {
  Level level;
  level.path = std::move(path);
  level.identity = start.identity();
  level.folder = std::make_shared<const platform::Folder>(std::move(start));
  level.listing = std::move(listing);
  levels_.push_back(std::move(level));
}

bool FolderStack::push(std::string name, platform::Folder child, std::string path) {
  auto listing = child.list();
  if (!listing) return false;
  Level level;
  level.name = std::move(name);
  level.path = std::move(path);
  level.identity = child.identity();
  level.folder = std::make_shared<const platform::Folder>(std::move(child));
  level.listing = std::move(*listing);
  levels_.push_back(std::move(level));
  if (open_levels() > kMaxOpenLevels + 1) close_one_level();
  return true;
}

void FolderStack::pop() { levels_.pop_back(); }

std::size_t FolderStack::open_levels() const {
  std::size_t open = 0;
  for (const Level& level : levels_) open += level.folder ? 1 : 0;
  return open;
}

void FolderStack::close_one_level() {
  // The shallowest open level below the start folder; the deepest is the
  // one being listed and stays open.
  for (std::size_t i = 1; i + 1 < levels_.size(); ++i) {
    Level& level = levels_[i];
    if (!level.folder) continue;
    if (level.listing) {
      platform::DirEntry entry;
      ListingStep step;
      while ((step = level.listing->next(entry)) == ListingStep::entry) level.pending.push_back(entry);
      level.after_pending = step;
      level.listing.reset();
    }
    level.folder.reset();
    return;
  }
}

ListingStep FolderStack::next(platform::DirEntry& entry) {
  Level& level = levels_.back();
  if (level.listing) return level.listing->next(entry);
  if (level.pending.empty()) return level.after_pending;
  entry = std::move(level.pending.front());
  level.pending.pop_front();
  return ListingStep::entry;
}

std::shared_ptr<const platform::Folder> FolderStack::folder() {
  Level& deepest = levels_.back();
  if (deepest.folder) return deepest.folder;
  std::size_t anchor = levels_.size() - 1;
  while (!levels_[anchor].folder) --anchor;  // the start folder is always open
  std::optional<platform::Folder> reopened;
  for (std::size_t i = anchor + 1; i < levels_.size(); ++i) {
    const platform::Folder& parent = reopened ? *reopened : *levels_[anchor].folder;
    auto child = parent.open_child(levels_[i].name);
    if (!child || !levels_[i].identity || child->identity() != levels_[i].identity) return nullptr;
    reopened = std::move(child);
  }
  deepest.folder = std::make_shared<const platform::Folder>(std::move(*reopened));
  return deepest.folder;
}

}  // namespace quarn
