// The literal ring search: every signature compared at every position of the
// ring, byte by byte, each comparison stopping at the end-of-data mark. The
// fast search must give the same result and make the same reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "scan/ring_search.h"

namespace quarn::testing {

inline void reference_ring_search(ByteSource& source, std::uint32_t half_length,
                                  std::span<const char* const> slots, std::vector<bool>& found) {
  const std::size_t H = half_length;
  const std::size_t B = 2 * H;
  found.assign(slots.size(), false);
  std::vector<std::uint8_t> ring(B);
  bool mark_set = false;
  std::size_t mark = 0;

  std::size_t n = source.read(ring.data(), B);
  if (n < B) {
    mark_set = true;
    mark = n;
  }
  std::size_t pos = 0;
  for (;;) {
    if (mark_set && pos == mark) break;
    for (std::size_t i = 0; i < slots.size(); ++i) {
      const char* s = slots[i];
      if (s == nullptr) continue;
      bool match = false;
      for (std::size_t k = 0;; ++k) {
        if (s[k] == '\0') {
          match = true;
          break;
        }
        std::size_t index = (pos + k) % B;
        if (mark_set && index == mark) break;
        if (static_cast<std::uint8_t>(s[k]) != ring[index]) break;
      }
      if (match) found[i] = true;
    }
    ++pos;
    if (pos == B) {
      pos = 0;
      if (!mark_set) {
        std::size_t k = source.read(ring.data() + H, H);
        if (k < H) {
          mark_set = true;
          mark = H + k;
        }
      }
    } else if (pos == H && !mark_set) {
      std::size_t k = source.read(ring.data(), H);
      if (k < H) {
        mark_set = true;
        mark = k;
      }
    }
  }
}

}  // namespace quarn::testing
