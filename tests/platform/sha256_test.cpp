// SHA-256 as the platform computes it: the standard's own test vectors, the
// hex form of a digest, and the hash of a range of an open file.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/file.h"
#include "platform/sha256.h"
#include "platform/system_error.h"
#include "support/temp_tree.h"

namespace quarn::platform {
namespace {

using quarn::testing::TempTree;

// The digest of data fed to one Sha256 in pieces of the given lengths; the
// object is moved after the first piece, so the state must travel with it.
Sha256Digest digest_in_pieces(Sha256& first, const std::string& data, const std::vector<std::size_t>& pieces) {
  std::size_t at = 0;
  first.update(data.data(), pieces.front());
  at += pieces.front();
  Sha256 hash = std::move(first);
  for (std::size_t i = 1; i < pieces.size(); ++i) {
    hash.update(data.data() + at, pieces[i]);
    at += pieces[i];
  }
  EXPECT_EQ(at, data.size());
  Sha256Digest digest = hash.finish();
  first = std::move(hash);
  return digest;
}

TEST(Sha256, gives_the_digests_of_the_standards_test_vectors) {
  const std::string kLong =
      "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmno"
      "ijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu";
  struct Case {
    const char* name;
    std::string message;
    std::vector<std::size_t> pieces;
    const char* digest;
  };
  const std::vector<Case> cases = {
      {"empty", "", {0}, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "abc", {3}, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"448 bits, padding spills into a second block",
       "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       {56},
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"896 bits in uneven pieces across the block boundary",
       kLong,
       {1, 62, 0, 2, 47},
       "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
      {"one million a, in pieces of 1000", std::string(1000000, 'a'), std::vector<std::size_t>(1000, 1000),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Sha256 hash;
    EXPECT_EQ(to_hex(digest_in_pieces(hash, c.message, c.pieces)), c.digest);
    // finish leaves the object ready for a new message: the same message
    // again gives the same digest, with nothing of the first one left over.
    EXPECT_EQ(to_hex(digest_in_pieces(hash, c.message, c.pieces)), c.digest);
  }
}

TEST(Sha256, digest_from_hex_takes_exactly_64_hex_digits_of_either_case) {
  const std::string kLower = "0123456789abcdef00ff10e0a5c35a3cfedcba98765432100112233445566778";
  std::string upper = kLower;
  for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'f' ? c - 'a' + 'A' : c);
  // Each stray character sits just outside one of the ranges of digits.
  auto with = [&](std::size_t at, char c) { return kLower.substr(0, at) + c + kLower.substr(at + 1); };
  struct Case {
    const char* name;
    std::string text;
    bool valid;
  };
  const std::vector<Case> cases = {
      {"64 lower-case digits", kLower, true},
      {"64 upper-case digits", upper, true},
      {"63 digits", kLower.substr(0, 63), false},
      {"65 digits", kLower + "0", false},
      {"empty", "", false},
      {"'g' first", with(0, 'g'), false},
      {"'G' in a low half", with(1, 'G'), false},
      {"'/' before '0'", with(20, '/'), false},
      {"':' after '9'", with(33, ':'), false},
      {"'@' before 'A'", with(40, '@'), false},
      {"'`' last", with(63, '`'), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<Sha256Digest> digest = digest_from_hex(c.text);
    ASSERT_EQ(digest.has_value(), c.valid);
    if (c.valid) {
      EXPECT_EQ(to_hex(*digest), kLower);
      EXPECT_EQ((*digest)[0], 0x01);
      EXPECT_EQ((*digest)[31], 0x78);
    }
  }
}

TEST(Sha256, hash_range_hashes_the_bytes_asked_for_and_nothing_past_the_end) {
  // Every byte differs from its neighbours and the pattern does not repeat
  // at any chunk boundary, so a range read from the wrong place hashes other
  // bytes. The file spans more than two chunks.
  std::string contents(2 * kCopyChunk + 5000, '\0');
  for (std::size_t i = 0; i < contents.size(); ++i) contents[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  TempTree tree;
  std::optional<File> file = File::open_read(tree.write("data.bin", contents));
  ASSERT_TRUE(file.has_value());
  const std::uint64_t size = contents.size();

  struct Case {
    const char* name;
    std::uint64_t offset;
    std::uint64_t len;
    bool whole;  // false: the range runs past the end and gives nothing
  };
  const std::vector<Case> cases = {
      {"the whole file", 0, size, true},
      {"across two chunk boundaries", 1000, 2 * kCopyChunk, true},
      {"exactly one chunk", kCopyChunk, kCopyChunk, true},
      {"the last byte", size - 1, 1, true},
      {"nothing", 17, 0, true},
      {"one byte past the end", size - 10, 11, false},
      {"a whole chunk, short by one", size - kCopyChunk + 1, kCopyChunk, false},
      {"wholly past the end", size + 5, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    clear_error();
    const std::optional<Sha256Digest> digest = hash_range(*file, c.offset, c.len);
    ASSERT_EQ(digest.has_value(), c.whole);
    if (c.whole) {
      Sha256 expected;
      expected.update(contents.data() + c.offset, static_cast<std::size_t>(c.len));
      EXPECT_EQ(to_hex(*digest), to_hex(expected.finish()));
    } else {
      EXPECT_EQ(last_error().word, "changed");
    }
  }
}

}  // namespace
}  // namespace quarn::platform
