#include "scan/ring_search.h"

#include <algorithm>
#include <bit>
#include <cstring>

// Wider vectors where the processor has them, chosen when the search is
// made. Not on Windows: GCC there keeps the stack aligned to 16 bytes only,
// and a 32-byte value spilled to it would fault.
#if (defined(__x86_64__) || defined(__i386__)) && !defined(_WIN32)
#define QUARN_RING_SEARCH_WIDE 1
#include <immintrin.h>
#endif

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

#ifdef QUARN_RING_SEARCH_WIDE

// The same test as next_candidate, 32 positions at a time (AVX2). Each byte
// is read here just after the kernel's copy has written it, and the loop is
// bound mostly by its vector operations: the fewer operations and split
// loads per byte, the faster. So the main loop starts on a 32-byte
// boundary, where no head load crosses a cache line, takes 256 positions a
// step and tests them all with one branch.
__attribute__((target("avx2"))) inline __m256i both32(const std::uint8_t* at, std::size_t last_offset,
                                                      __m256i want_first, __m256i want_last) {
  const __m256i head = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
  const __m256i tail = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + last_offset));
  return _mm256_and_si256(_mm256_cmpeq_epi8(head, want_first), _mm256_cmpeq_epi8(tail, want_last));
}

__attribute__((target("avx2"))) inline std::uint32_t hits32(const std::uint8_t* at, std::size_t last_offset,
                                                            __m256i want_first, __m256i want_last) {
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(both32(at, last_offset, want_first, want_last)));
}

__attribute__((target("avx2"))) std::size_t next_candidate_avx2(const std::uint8_t* data, std::size_t p,
                                                                std::size_t end, std::uint8_t first,
                                                                std::uint8_t last, std::size_t last_offset) {
  const __m256i want_first = _mm256_set1_epi8(static_cast<char>(first));
  const __m256i want_last = _mm256_set1_epi8(static_cast<char>(last));
  if (p + 32 <= end) {
    // One unaligned test covers every position up to the next boundary.
    const std::uint32_t hits = hits32(data + p, last_offset, want_first, want_last);
    if (hits != 0) return p + static_cast<std::size_t>(std::countr_zero(hits));
    p += 32 - (reinterpret_cast<std::uintptr_t>(data + p) & 31);
  }
  for (; p + 256 <= end; p += 256) {
    __m256i any = both32(data + p, last_offset, want_first, want_last);
    for (std::size_t k = 32; k < 256; k += 32) {
      any = _mm256_or_si256(any, both32(data + p + k, last_offset, want_first, want_last));
    }
    if (!_mm256_testz_si256(any, any)) break;
  }
  for (; p + 32 <= end; p += 32) {
    const std::uint32_t hits = hits32(data + p, last_offset, want_first, want_last);
    if (hits != 0) return p + static_cast<std::size_t>(std::countr_zero(hits));
  }
  return next_candidate(data, p, end, first, last, last_offset);
}

#endif

// The same type as RingSearch::Finder, which is private to the class.
using Finder = decltype(&next_candidate);

Finder finder_for(RingSearch::Vectors vectors) {
  switch (vectors) {
#ifdef QUARN_RING_SEARCH_WIDE
    case RingSearch::Vectors::bytes32: return next_candidate_avx2;
#endif
    default: return next_candidate;
  }
}

}  // namespace

std::vector<RingSearch::Vectors> RingSearch::available_vectors() {
  std::vector<Vectors> available = {Vectors::bytes16};
#ifdef QUARN_RING_SEARCH_WIDE
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) available.push_back(Vectors::bytes32);
#endif
  return available;
}

RingSearch::RingSearch(std::uint32_t half_length) : RingSearch(half_length, available_vectors().back()) {}

RingSearch::RingSearch(std::uint32_t half_length, Vectors vectors)
    : half_(half_length),
      finder_(finder_for(vectors)),
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
        p = finder_(ring, p, end, slot.bytes[0], slot.bytes[last_offset], last_offset);
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
