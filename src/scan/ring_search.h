// The signature search of one file. The file is read once, front to back, in
// a fixed schedule through a ring of two halves of H bytes: one read of up to
// 2H bytes, then refills of up to H bytes, the first half when the search
// position reaches H and the second half when it wraps to 0. A half is
// refilled only after the position has left it, so the H bytes from any
// position on are the file's consecutive bytes at that offset.
//
// The comparison itself is fast: candidates are positions where a signature's
// first and last bytes both fit, tested sixteen or 32 positions at a time; only
// those are compared whole. A signature matches only when all of its bytes
// are the file's own (a comparison stops at the end-of-data mark). The result
// equals comparing every signature at every position.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace quarn {

// Supplies a file's bytes. A short count means the data has ended.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::size_t read(std::uint8_t* destination, std::size_t length) = 0;
};

class RingSearch {
 public:
  // half_length is H; the ring holds 2H bytes plus a mirror of the first
  // bytes of the ring, so a comparison that crosses the wrap reads one
  // contiguous run of memory.
  explicit RingSearch(std::uint32_t half_length);

  // How many positions the candidate test takes at once: 16 everywhere, 32
  // where the processor has AVX2. Every width finds the same candidates; the
  // widest available is the default.
  enum class Vectors { bytes16, bytes32 };
  static std::vector<Vectors> available_vectors();
  RingSearch(std::uint32_t half_length, Vectors vectors);

  std::uint32_t half_length() const { return half_; }

  // Reads source to its end in the ring's schedule and sets found[i] for each
  // slot whose signature (NUL-terminated, at most H bytes) occurs in the
  // data. A null slot is never compared. found is resized to slots.size().
  void search(ByteSource& source, std::span<const char* const> slots, std::vector<bool>& found);

 private:
  struct Slot {
    const unsigned char* bytes;
    std::size_t length;
    std::size_t index;
  };
  void search_segment(std::size_t from, std::size_t to, std::size_t limit, std::vector<Slot>& pending,
                      std::vector<bool>& found);

  // The first position from p on, up to end, where a signature's first and
  // last bytes both fit; end when there is none.
  using Finder = std::size_t (*)(const std::uint8_t* data, std::size_t p, std::size_t end, std::uint8_t first,
                                 std::uint8_t last, std::size_t last_offset);

  std::uint32_t half_;
  Finder finder_;
  std::size_t ring_size_;
  std::unique_ptr<std::uint8_t[]> ring_;
  std::vector<Slot> pending_;
};

}  // namespace quarn
