// The parts of sha256.h that every platform shares: the hex form of a digest
// and the hash of a range of an open file. Only Sha256 itself is native.
#include <algorithm>
#include <vector>

#include "platform/sha256.h"
#include "platform/system_error.h"

namespace quarn::platform {
namespace {

constexpr std::string_view kHexDigits = "0123456789abcdef";

// The value of one hex digit, or -1 for any other character.
int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string to_hex(const Sha256Digest& digest) {
  std::string text;
  text.reserve(digest.size() * 2);
  for (std::uint8_t byte : digest) {
    text += kHexDigits[byte >> 4];
    text += kHexDigits[byte & 0x0F];
  }
  return text;
}

std::optional<Sha256Digest> digest_from_hex(std::string_view text) {
  Sha256Digest digest{};
  if (text.size() != digest.size() * 2) return std::nullopt;
  for (std::size_t i = 0; i < digest.size(); ++i) {
    const int high = hex_value(text[2 * i]);
    const int low = hex_value(text[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    digest[i] = static_cast<std::uint8_t>(high << 4 | low);
  }
  return digest;
}

std::optional<Sha256Digest> hash_range(File& file, std::uint64_t offset, std::uint64_t len) {
  // One step's buffer, no larger than the range, so that hashing a small
  // range does not take a whole chunk of memory.
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(len, kCopyChunk)));
  Sha256 hash;
  std::uint64_t done = 0;
  while (done < len) {
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(len - done, buffer.size()));
    // A failed read has already put the system's reason in the record.
    const std::optional<std::size_t> got = file.read_at(offset + done, buffer.data(), want);
    if (!got) return std::nullopt;
    // read_at stops short only at the end of the file: the range asked for
    // bytes that are no longer there, so the digest would be of another file.
    if (*got < want) {
      record_error("changed", "the file changed while it was being read");
      return std::nullopt;
    }
    hash.update(buffer.data(), want);
    done += want;
  }
  return hash.finish();
}

}  // namespace quarn::platform
