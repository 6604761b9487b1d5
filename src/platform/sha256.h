// SHA-256 digests, computed by the system's own code (nettle on Linux,
// BCrypt on Windows) rather than by one of the program's own, so that the
// hash that names a file is the one that the rest of the system trusts. The
// native state lives behind a pointer, so this header needs neither
// library's headers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file.h"

namespace quarn::platform {

using Sha256Digest = std::array<std::uint8_t, 32>;

// An incremental SHA-256: any number of update calls, then finish. It owns
// its native state (a BCrypt handle on Windows) and lets it go when it ends.
// A moved-from Sha256 may only be assigned to or destroyed.
class Sha256 {
 public:
  // Ready to take the bytes of a message.
  Sha256();
  Sha256(Sha256&& other) noexcept;
  Sha256& operator=(Sha256&& other) noexcept;
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;
  ~Sha256();

  void update(const void* data, std::size_t len);
  // The digest of every byte given since construction or the last finish;
  // the object is then ready for a new message.
  Sha256Digest finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The digest as 64 lower-case hex digits.
std::string to_hex(const Sha256Digest& digest);
// Exactly 64 hex digits, in either case; anything else gives nothing.
std::optional<Sha256Digest> digest_from_hex(std::string_view text);

// The digest of len bytes of file from offset, read with File::read_at in
// steps of kCopyChunk. Nothing when a read fails (the record then holds the
// system's reason) or when the file holds fewer bytes than the range asks
// for (recorded as "changed": the caller asked for bytes it saw before).
std::optional<Sha256Digest> hash_range(File& file, std::uint64_t offset, std::uint64_t len);

}  // namespace quarn::platform
