// Which entries of a Win32 listing are links, which are files whose data is
// not on the disk, and which are scanned: decided from the attributes and the
// reparse tag alone, so that tests can feed every kind of reparse point,
// which Wine cannot make.
#pragma once

#include <cstdint>

#include "platform/directory.h"

namespace quarn::platform::win32 {

inline constexpr std::uint32_t kAttributeDirectory = 0x10;
inline constexpr std::uint32_t kAttributeDevice = 0x40;
inline constexpr std::uint32_t kAttributeReparsePoint = 0x400;
inline constexpr std::uint32_t kAttributeOffline = 0x1000;
// The two recall attributes of cloud files; Debian's MinGW headers lack them.
inline constexpr std::uint32_t kAttributeRecallOnOpen = 0x40000;
inline constexpr std::uint32_t kAttributeRecallOnDataAccess = 0x400000;
// Bit 29 of a reparse tag: the point stands for another named entity (a
// symbolic link, a junction or mount point, a WSL link).
inline constexpr std::uint32_t kTagNameSurrogate = 0x20000000;
// A tag that stands for "unknown": a reparse point whose tag could not be
// read is taken for a link, never followed.
inline constexpr std::uint32_t kTagUnknown = kTagNameSurrogate;

inline constexpr std::uint32_t kAttributesDataNotOnDisk =
    kAttributeOffline | kAttributeRecallOnOpen | kAttributeRecallOnDataAccess;

constexpr bool is_name_surrogate(std::uint32_t tag) { return (tag & kTagNameSurrogate) != 0; }

// What an entry with these attributes and this tag (meaningful only with
// kAttributeReparsePoint) is to the walk. A name surrogate is a link, never
// followed; a folder behind any other tag is walked; a device is never
// opened; a file whose data lies elsewhere is never opened, since opening
// it would fetch it; every other file is scanned, whatever its tag.
constexpr EntryKind entry_kind(std::uint32_t attributes, std::uint32_t tag) {
  if ((attributes & kAttributeReparsePoint) != 0 && is_name_surrogate(tag)) return EntryKind::link;
  if ((attributes & kAttributeDirectory) != 0) return EntryKind::directory;
  if ((attributes & kAttributeDevice) != 0) return EntryKind::other;
  if ((attributes & kAttributesDataNotOnDisk) != 0) return EntryKind::not_on_disk;
  return EntryKind::regular;
}

}  // namespace quarn::platform::win32
