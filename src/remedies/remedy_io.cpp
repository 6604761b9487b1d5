#include "remedies/remedy_io.h"

#include "platform/sha256.h"

namespace quarn::remedies {

RemedyIo& RemedyIo::system() {
  static RemedyIo io;
  return io;
}

std::optional<platform::File> ExpectingIo::checked(std::optional<platform::File> file) {
  if (!file) return file;
  const auto identity = file->identity();
  const auto length = inner_.size(*file);
  if (!identity || !length) return std::nullopt;
  if (*identity == expected_.identity && *length == expected_.size) {
    const auto digest = platform::hash_range(*file, 0, *length);
    if (!digest) return std::nullopt;
    if (*digest == expected_.sha256) return file;
  }
  platform::record_error("changed", "the file is no longer the one that was looked at");
  return std::nullopt;
}

std::optional<platform::File> ExpectingIo::open_read(const platform::FileAt& file) {
  return checked(inner_.open_read(file));
}

std::optional<platform::File> ExpectingIo::open_read_write(const platform::FileAt& file) {
  return checked(inner_.open_read_write(file));
}

bool ExpectingIo::delete_file(const platform::Folder& folder, std::string_view name) {
  {
    // Closed before the deletion, which Win32 refuses on an open file.
    const auto file = checked(platform::File::open_read(folder, name));
    if (!file) return false;
  }
  return inner_.delete_file(folder, name);
}

}  // namespace quarn::remedies
