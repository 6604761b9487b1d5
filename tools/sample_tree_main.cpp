// quarn-sample-tree DIR: writes the sample infected tree into DIR and prints
// one line that says what it holds.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>

#include "tools/sample_tree.h"

int main(int argc, char** argv) {
  CLI::App app{"Writes a sample tree of infected and clean files to try a scan on."};
  std::string dir;
  unsigned copies = 1;
  std::size_t big_host = 300000;
  app.add_option("DIR", dir, "Folder to write into (missing or empty)")->required();
  app.add_option("--copies", copies, "Copies of the tree, each in its own set-NNN folder")
      ->check(CLI::Range(1u, 10000u));
  app.add_option("--big-host", big_host, "Bytes of padding in the big program's host (default 300000)")
      ->check(CLI::Range(std::size_t{0}, std::size_t{1} << 30));
  CLI11_PARSE(app, argc, argv);

  try {
    quarn::sample::SampleOptions options;
    options.copies = copies;
    options.big_host_padding = big_host;
    const auto tree = quarn::sample::write_sample_tree(dir, options);
    int cleaned = 0, deleted = 0, left = 0, untouched = 0;
    for (const auto& f : tree.files) {
      switch (f.outcome) {
        case quarn::sample::Outcome::cleaned: ++cleaned; break;
        case quarn::sample::Outcome::deleted: ++deleted; break;
        case quarn::sample::Outcome::untouched: ++untouched; break;
        default: ++left; break;
      }
    }
    std::printf("wrote %zu files in %zu folders to %s: %d to clean, %d to delete, %d matched but kept, %d untouched\n",
                tree.files.size(), tree.folders.size(), dir.c_str(), cleaned, deleted, left, untouched);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "quarn-sample-tree: %s\n", e.what());
    return 1;
  }
  return 0;
}
