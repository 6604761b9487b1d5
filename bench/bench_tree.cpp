#include "bench_tree.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

namespace fs = std::filesystem;

namespace quarn::bench {

std::uint64_t ensure_tree(const std::string& root, const TreeShape& shape) {
  static const char* const kExtensions[] = {"exe", "dll", "htm", "html", "asp", "txt", "jpg"};
  std::mt19937_64 rng(42);
  std::uniform_int_distribution<std::uint64_t> size_of(shape.min_size, shape.max_size);
  std::uint64_t scanned_bytes = 0;
  const fs::path done = fs::path(root) / ".complete";
  const bool complete = fs::exists(done);
  std::vector<char> buffer;
  for (int d = 0; d < shape.folders; ++d) {
    fs::path folder = fs::path(root) / ("dir" + std::to_string(d)) / "sub";
    fs::create_directories(folder);
    for (int f = 0; f < shape.files_per_folder; ++f) {
      const char* extension = kExtensions[(d * shape.files_per_folder + f) % 7];
      const std::uint64_t size = size_of(rng);
      if (std::string(extension) != "txt" && std::string(extension) != "jpg") scanned_bytes += size;
      if (complete) continue;
      buffer.resize(size);
      // Bytes with the same spread as compressed or machine code; the
      // signatures' first letters occur about once in 256 bytes.
      for (std::uint64_t i = 0; i < size; i += 8) {
        std::uint64_t word = rng();
        for (int b = 0; b < 8 && i + b < size; ++b) buffer[i + b] = static_cast<char>(word >> (8 * b));
      }
      std::ofstream out(folder / ("file" + std::to_string(f) + "." + extension), std::ios::binary);
      out.write(buffer.data(), static_cast<std::streamsize>(size));
    }
  }
  if (!complete) std::ofstream(done) << "ok\n";
  return scanned_bytes;
}

}  // namespace quarn::bench
