#include "scan/ring_search.h"

#include <algorithm>
#include <cstring>

namespace quarn {

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

  std::vector<Slot> pending;
  pending.reserve(slots.size());
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
      std::size_t p = from;
      while (p < end) {
        const void* q = std::memchr(ring + p, slot.bytes[0], end - p);
        if (q == nullptr) break;
        p = static_cast<std::size_t>(static_cast<const std::uint8_t*>(q) - ring);
        if (std::memcmp(ring + p + 1, slot.bytes + 1, slot.length - 1) == 0) {
          hit = true;
          break;
        }
        ++p;
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
