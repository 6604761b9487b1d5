// Our own reader of the PE/COFF resource directory. It finds one resource's
// bytes in a program file without loading the file as a library: loading an
// infected library would run its code. The files it reads are hostile, so
// every read is bounds-checked in 64-bit arithmetic before it is made, every
// entry count is checked against the bytes that remain before it is looped
// over, and the directory is walked to a fixed depth of three levels, so a
// directory that points back at itself cannot loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quarn::pe {

// Random-access bytes of one file: the whole file in memory (tests, fuzzing)
// or an open file read on demand (the remedy). size() must not change during
// one lookup, so that every bounds check uses the same value.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t size() const = 0;
  // Reads exactly len bytes at offset; false when they cannot all be read.
  // Callers check the range against size() first.
  virtual bool read(std::uint64_t offset, void* out, std::size_t len) = 0;
};

class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
  std::uint64_t size() const override { return bytes_.size(); }
  bool read(std::uint64_t offset, void* out, std::size_t len) override;

 private:
  std::string_view bytes_;
};

inline constexpr std::uint32_t kRtRcdata = 10;
inline constexpr std::uint32_t kHostProgramId = 102;

enum class LookupStatus {
  found,
  not_an_image,  // no MZ / PE signature, unknown optional-header Magic, headers cut short
  no_resource,   // the image has no such resource
  malformed,     // a directory or data entry that breaks the format's rules
  outside_file,  // the resource's bytes do not all lie in the file
};

struct ResourceLookup {
  LookupStatus status = LookupStatus::not_an_image;
  // With found: where the resource's bytes lie in the file. A size of 0 is
  // a valid, empty resource (its offset is then 0).
  std::uint64_t offset = 0;
  std::uint32_t size = 0;
  std::uint16_t language = 0;
};

// Finds the resource with numeric type and numeric name. Named entries are
// never matched, and an ID matches only on its exact 32-bit value. When the
// resource exists in several languages, the language-neutral one (0x0000)
// is taken first, then US English (0x0409), and otherwise the first in
// table order. The loader's own search also starts with the neutral language
// but then tries the user's and the system's languages; a fixed order keeps
// the restored bytes the same whichever machine runs the scan.
ResourceLookup find_resource(ByteSource& source, std::uint32_t type, std::uint32_t name);

// RCDATA 102: the complete host program that the threat carries.
inline ResourceLookup find_host_program(ByteSource& source) {
  return find_resource(source, kRtRcdata, kHostProgramId);
}

}  // namespace quarn::pe
