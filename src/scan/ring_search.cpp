#include "scan/ring_search.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace quarn {
namespace {

static_assert(std::endian::native == std::endian::little, "candidate masks are read lowest byte first");

// Sixteen bytes compared at once. Plain compiler vectors: SSE2 on x86, and
// a correct (slower) lowering wherever no vector unit is enabled.
using Block = std::uint8_t __attribute__((vector_size(16)));

Block broadcast(std::uint8_t byte) {
  Block block;
  for (int i = 0; i < 16; ++i) block[i] = byte;
  return block;
}

// The first position p in [p, end) whose byte is first and whose byte at
// p + last_offset is last; end when there is none. Every byte up to
// end - 1 + last_offset must be readable.
std::size_t next_candidate(const std::uint8_t* data, std::size_t p, std::size_t end, std::uint8_t first,
                           std::uint8_t last, std::size_t last_offset) {
  const Block want_first = broadcast(first);
  const Block want_last = broadcast(last);
  auto hits_at = [&](std::size_t at) {
    Block head, tail;
    std::memcpy(&head, data + at, 16);
    std::memcpy(&tail, data + at + last_offset, 16);
    return (head == want_first) & (tail == want_last);
  };
  // Four blocks per test: candidates are rare, so the loop mostly runs on.
  for (; p + 64 <= end; p += 64) {
    const auto any = hits_at(p) | hits_at(p + 16) | hits_at(p + 32) | hits_at(p + 48);
    std::uint64_t words[2];
    std::memcpy(words, &any, 16);
    if ((words[0] | words[1]) != 0) break;
  }
  for (; p + 16 <= end; p += 16) {
    const auto hits = hits_at(p);
    std::uint64_t words[2];
    std::memcpy(words, &hits, 16);
    if (words[0] != 0) return p + static_cast<std::size_t>(std::countr_zero(words[0])) / 8;
    if (words[1] != 0) return p + 8 + static_cast<std::size_t>(std::countr_zero(words[1])) / 8;
  }
  for (; p < end; ++p) {
    if (data[p] == first && data[p + last_offset] == last) return p;
  }
  return end;
}

}  // namespace

RingSearch::RingSearch(std::uint32_t half_length)
    : half_(half_length),
      ring_size_(2 * static_cast<std::size_t>(half_length)),
      // The mirror behind the ring is never longer than a signature, which is
      // never longer than a half.
      ring_(std::make_unique<std::uint8_t[]>(ring_size_ + half_length)) {}

void RingSearch::search(ByteSource& source, std::span<const char* const> slots, std::vector<bool>& found) {
  found.assign(slots.size(), false);
  const std::size_t H = half_;
  const std::size_t B = ring_size_;
  std::uint8_t* ring = ring_.get();

  // Reused from file to file: a scan of many small files allocates nothing here.
  std::vector<Slot>& pending = pending_;
  pending.clear();
  std::size_t mirror = 0;
  bool empty_signature = false;
  for (std::size_t i = 0; i < slots.size(); ++i) {
    if (slots[i] == nullptr) continue;
    std::size_t length = std::strlen(slots[i]);
    if (length == 0) {
      empty_signature = true;  // matches at the first position compared
      continue;
    }
    if (length > H) continue;  // could never be compared whole
    pending.push_back({reinterpret_cast<const unsigned char*>(slots[i]), length, i});
    mirror = std::max(mirror, length - 1);
  }

  constexpr std::size_t kUnset = static_cast<std::size_t>(-1);
  std::size_t n = source.read(ring, B);
  std::size_t mark = n < B ? n : kUnset;
  if (empty_signature && n > 0) {
    for (std::size_t i = 0; i < slots.size(); ++i) {
      if (slots[i] != nullptr && slots[i][0] == '\0') found[i] = true;
    }
  }

  std::size_t pos = 0;
  for (;;) {
    if (pos == mark) break;
    const std::size_t half_end = pos < H ? H : B;
    const bool mark_ahead = mark != kUnset && mark >= pos;
    const std::size_t to = (mark_ahead && mark <= half_end) ? mark : half_end;
    // The last valid byte of the contiguous run that starts at pos: the mark
    // when it lies ahead; otherwise, from the second half, the mirrored copy
    // of the refilled first half (as far as that refill reached).
    std::size_t limit;
    if (mark_ahead) {
      limit = mark;
    } else if (pos >= H) {
      limit = B + (mark != kUnset ? std::min(mark, mirror) : mirror);
    } else {
      limit = B;
    }
    if (!pending.empty()) search_segment(pos, to, limit, pending, found);
    pos = to;
    if (pos == mark) break;
    if (pos == B) {
      pos = 0;
      if (mark == kUnset) {
        std::size_t k = source.read(ring + H, H);
        if (k < H) mark = H + k;
      }
    } else if (pos == H && mark == kUnset) {
      std::size_t k = source.read(ring, H);
      if (k < H) mark = k;
      std::memcpy(ring + B, ring, mirror);
    }
  }
}

void RingSearch::search_segment(std::size_t from, std::size_t to, std::size_t limit, std::vector<Slot>& pending,
                                std::vector<bool>& found) {
  const std::uint8_t* ring = ring_.get();
  for (auto it = pending.begin(); it != pending.end();) {
    const Slot& slot = *it;
    bool hit = false;
    if (limit >= slot.length) {
      // Starts beyond this one would need bytes past the data's end.
      const std::size_t end = std::min(to, limit - slot.length + 1);
      const std::size_t last_offset = slot.length - 1;
      for (std::size_t p = from; p < end; ++p) {
        p = next_candidate(ring, p, end, slot.bytes[0], slot.bytes[last_offset], last_offset);
        if (p < end && std::memcmp(ring + p + 1, slot.bytes + 1, last_offset) == 0) {
          hit = true;
          break;
        }
      }
    }
    if (hit) {
      found[slot.index] = true;
      it = pending.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace quarn
