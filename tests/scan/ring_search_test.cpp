// The fast ring search against the literal one: same matches, same reads.
#include "scan/ring_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "remedies/handlers.h"
#include "support/reference_search.h"

namespace quarn {
namespace {

// Serves a byte string and records every read that the search asks for.
class RecordingSource : public ByteSource {
 public:
  explicit RecordingSource(const std::string& data) : data_(data) {}
  std::size_t read(std::uint8_t* destination, std::size_t length) override {
    std::size_t n = std::min(length, data_.size() - offset_);
    std::memcpy(destination, data_.data() + offset_, n);
    offset_ += n;
    reads.push_back({length, n});
    return n;
  }
  std::vector<std::pair<std::size_t, std::size_t>> reads;  // asked, returned

 private:
  const std::string& data_;
  std::size_t offset_ = 0;
};

struct Outcome {
  std::vector<bool> found;
  std::vector<std::pair<std::size_t, std::size_t>> reads;
};

Outcome fast(const std::string& data, std::uint32_t half, const std::vector<const char*>& slots,
             RingSearch::Vectors vectors = RingSearch::available_vectors().back()) {
  RingSearch ring(half, vectors);
  RecordingSource source(data);
  Outcome out;
  ring.search(source, slots, out.found);
  out.reads = source.reads;
  return out;
}

Outcome reference(const std::string& data, std::uint32_t half, const std::vector<const char*>& slots) {
  RecordingSource source(data);
  Outcome out;
  testing::reference_ring_search(source, half, slots, out.found);
  out.reads = source.reads;
  return out;
}

// Checks every width of candidate test that this processor offers, not only
// the one a scan would choose.
void expect_same(const std::string& data, std::uint32_t half, const std::vector<const char*>& slots,
                 const std::string& what) {
  Outcome b = reference(data, half, slots);
  for (RingSearch::Vectors vectors : RingSearch::available_vectors()) {
    Outcome a = fast(data, half, slots, vectors);
    const int width = 16 << static_cast<int>(vectors);
    ASSERT_EQ(a.found, b.found) << what << " size " << data.size() << " half " << half << " width " << width;
    ASSERT_EQ(a.reads, b.reads) << what << " size " << data.size() << " half " << half << " width " << width;
  }
}

// Bytes drawn mostly from the signatures' own letters, so that partial
// matches are everywhere.
std::string noise(std::mt19937& rng, std::size_t size) {
  static const char alphabet[] = "<html>script language=\"JavaScript\"window.openConcept Virus\x00\xff";
  std::uniform_int_distribution<std::size_t> pick(0, sizeof alphabet - 2);
  std::string s(size, '\0');
  for (char& c : s) c = alphabet[pick(rng)];
  return s;
}

void plant(std::string& data, std::size_t offset, const char* signature, std::size_t length) {
  for (std::size_t k = 0; k < length && offset + k < data.size(); ++k) data[offset + k] = signature[k];
}

const std::vector<const char*> kRealSlots = {kExeSignature, kHtmlSignature};

TEST(RingSearch, read_schedule_is_one_full_ring_then_halves) {
  std::string data(200000, 'x');
  Outcome out = fast(data, 65535, kRealSlots);
  std::vector<std::pair<std::size_t, std::size_t>> expected = {{131070, 131070}, {65535, 65535}, {65535, 3395}};
  EXPECT_EQ(out.reads, expected);
}

TEST(RingSearch, file_of_exactly_one_ring_ends_with_an_empty_refill) {
  std::string data(131070, 'x');
  Outcome out = fast(data, 65535, kRealSlots);
  std::vector<std::pair<std::size_t, std::size_t>> expected = {{131070, 131070}, {65535, 0}};
  EXPECT_EQ(out.reads, expected);
}

TEST(RingSearch, short_files_are_read_once) {
  for (std::size_t size : {0u, 1000u, 100000u}) {
    std::string data(size, 'x');
    Outcome out = fast(data, 65535, kRealSlots);
    ASSERT_EQ(out.reads.size(), 1u) << size;
    EXPECT_EQ(out.reads[0].second, size);
  }
}

TEST(RingSearch, signature_at_offset_zero_and_at_the_very_end_is_found) {
  std::string data(5000, 'x');
  plant(data, 0, kExeSignature, 13);
  plant(data, data.size() - 47, kHtmlSignature, 47);
  Outcome out = fast(data, 65535, kRealSlots);
  EXPECT_TRUE(out.found[0]);
  EXPECT_TRUE(out.found[1]);
}

TEST(RingSearch, signature_across_the_seam_between_halves_is_found) {
  std::string data(300000, 'x');
  plant(data, 65535 - 5, kExeSignature, 13);
  EXPECT_TRUE(fast(data, 65535, kRealSlots).found[0]);
}

TEST(RingSearch, signature_across_ring_wrap_is_found) {
  std::string data(300000, 'x');
  plant(data, 131070 - 5, kExeSignature, 13);
  EXPECT_TRUE(fast(data, 65535, kRealSlots).found[0]);
  std::string later(400000, 'x');
  plant(later, 2 * 131070 - 5, kHtmlSignature, 47);  // the second wrap
  EXPECT_TRUE(fast(later, 65535, kRealSlots).found[1]);
}

TEST(RingSearch, truncated_signature_at_end_of_file_is_not_completed_by_stale_ring_bytes) {
  // Offset H and offset 3H share ring index H. The file holds "xoncept Virus"
  // at H (not the signature) and ends with "Concep" at 3H: the ring then
  // holds "Concep" followed by the stale "t Virus" from the first pass, so
  // only a comparison that runs past the end-of-data mark would match.
  const std::size_t H = 65535;
  std::string data(3 * H + 6, 'x');
  plant(data, H + 1, kExeSignature + 1, 12);
  plant(data, 3 * H, kExeSignature, 6);
  EXPECT_FALSE(fast(data, H, kRealSlots).found[0]);
  expect_same(data, H, kRealSlots, "stale tail");

  // With the whole signature really at offset H, it is the file's own.
  data[H] = 'C';
  EXPECT_TRUE(fast(data, H, kRealSlots).found[0]);
}

TEST(RingSearch, signatures_are_case_sensitive) {
  std::string data = "xx concept virus xx";
  EXPECT_FALSE(fast(data, 65535, kRealSlots).found[0]);
}

TEST(RingSearch, files_shorter_than_a_signature_never_match) {
  for (std::size_t len = 0; len < 13; ++len) {
    std::string data(kExeSignature, len);
    EXPECT_FALSE(fast(data, 65535, kRealSlots).found[0]) << len;
    expect_same(data, 65535, kRealSlots, "short");
  }
  EXPECT_TRUE(fast(std::string(kExeSignature), 65535, kRealSlots).found[0]);
}

TEST(RingSearch, empty_slot_and_empty_signature) {
  std::vector<const char*> slots = {nullptr, ""};
  expect_same("", 64, slots, "empty file");
  expect_same("a", 64, slots, "one byte");
  EXPECT_FALSE(fast("", 64, slots).found[1]);
  EXPECT_TRUE(fast("a", 64, slots).found[1]);
  EXPECT_FALSE(fast("a", 64, slots).found[0]);
}

// Sizes and plant offsets around every boundary of the schedule, for small
// halves (many wraps per file) and the real one.
TEST(RingSearch, differential_boundaries) {
  std::mt19937 rng(1234);
  const std::vector<const char*> slots = {kExeSignature, kHtmlSignature, "aab", "CCCx", nullptr};
  for (std::uint32_t half : {47u, 48u, 64u, 100u}) {
    const std::size_t B = 2 * half;
    std::vector<std::size_t> sizes;
    for (std::size_t base : {std::size_t{0}, std::size_t{half}, B, B + half, 2 * B, 3 * B + half}) {
      for (long d = -50; d <= 50; d += 1) {
        long s = static_cast<long>(base) + d;
        if (s >= 0) sizes.push_back(static_cast<std::size_t>(s));
      }
    }
    for (std::size_t size : sizes) {
      std::string data = noise(rng, size);
      expect_same(data, half, slots, "noise");
      for (const char* sig : {kExeSignature, kHtmlSignature}) {
        const std::size_t len = std::strlen(sig);
        const std::size_t offsets[] = {0, size >= len ? size - len : 0, size ? size - 1 : 0, half - 5,
                                       B - 5, B + half - 3, 2 * B - 7};
        for (std::size_t at : offsets) {
          if (at >= size) continue;
          std::string planted = data;
          plant(planted, at, sig, len);  // cut short where the file ends
          expect_same(planted, half, slots, "planted");
          std::string partial = data;
          plant(partial, at, sig, len / 2);
          expect_same(partial, half, slots, "partial");
        }
      }
    }
  }
}

TEST(RingSearch, differential_random_with_real_half) {
  std::mt19937 rng(99);
  std::uniform_int_distribution<std::size_t> size_of(0, 600000);
  for (int round = 0; round < 40; ++round) {
    std::string data = noise(rng, size_of(rng));
    std::uniform_int_distribution<std::size_t> where(0, data.size());
    for (int k = 0; k < 3; ++k) {
      const char* sig = (k % 2) ? kHtmlSignature : kExeSignature;
      std::size_t len = std::strlen(sig);
      std::size_t at = where(rng);
      std::uniform_int_distribution<std::size_t> piece(1, len);
      plant(data, at, sig, piece(rng));
    }
    expect_same(data, 65535, kRealSlots, "random");
  }
}

}  // namespace
}  // namespace quarn
