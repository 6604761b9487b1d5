// The resource reader and the program remedy on images that a real linker
// made (MinGW-w64, built with the tests), and the reader checked against an
// independent one (pefile) on those and on the sample tree's images.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>

#include "remedies/exe_remedy.h"
#include "remedies/pe_resources.h"
#include "support/temp_tree.h"
#include "tools/sample_tree.h"

// Set by the build when MinGW-w64 and the system's python3 are there.
#ifndef QUARN_MINGW_DIR
#define QUARN_MINGW_DIR ""
#define QUARN_SYSTEM_PYTHON ""
#define QUARN_PE_REFERENCE ""
#endif

namespace quarn::remedies {
namespace {

using quarn::testing::read_file;
using quarn::testing::placed;
using quarn::testing::TempTree;

const std::string kMingwDir = QUARN_MINGW_DIR;

struct Image {
  const char* name;
  const char* host;  // nullptr: no RCDATA 102
};

const Image kImages[] = {
    {"app32.exe", "host.bin"},     {"app64.exe", "host.bin"},     {"lib32.dll", "host.bin"},
    {"lib64.dll", "host.bin"},     {"resonly32.dll", "host.bin"}, {"resonly64.dll", "host.bin"},
    {"decoys32.exe", nullptr},     {"decoys64.exe", nullptr},
};

std::string mingw(const std::string& name) { return kMingwDir + "/" + name; }

pe::ResourceLookup lookup_file(const std::string& path) {
  const std::string bytes = read_file(path);
  pe::MemorySource source(bytes);
  return pe::find_host_program(source);
}

std::string quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// pefile's answer for each path: "found OFFSET SIZE LANGUAGE", "none" or "error".
std::map<std::string, std::string> reference(const std::vector<std::string>& paths) {
  std::string command = std::string(QUARN_SYSTEM_PYTHON) + " " + quoted(QUARN_PE_REFERENCE);
  for (const auto& p : paths) command.append(" ").append(quoted(p));
  std::map<std::string, std::string> answers;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
  if (!pipe) return answers;
  std::string out;
  char buffer[4096];
  while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe.get())) out.append(buffer, n);
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    auto tab = line.find('\t');
    if (tab != std::string::npos) answers[line.substr(0, tab)] = line.substr(tab + 1);
  }
  return answers;
}

std::string ours(const pe::ResourceLookup& found) {
  switch (found.status) {
    case pe::LookupStatus::found:
      return "found " + std::to_string(found.size ? found.offset : 0) + " " + std::to_string(found.size) + " " +
             std::to_string(found.language);
    case pe::LookupStatus::no_resource: return "none";
    default: return "error";
  }
}

class RealImages : public ::testing::Test {
 protected:
  void SetUp() override {
    if (kMingwDir.empty()) GTEST_SKIP() << "MinGW-w64 or /usr/bin/python3 was missing at configure time";
  }
};

TEST_F(RealImages, linker_made_images_give_their_host_back) {
  for (const Image& image : kImages) {
    pe::ResourceLookup found = lookup_file(mingw(image.name));
    if (image.host == nullptr) {
      EXPECT_EQ(found.status, pe::LookupStatus::no_resource) << image.name;
      continue;
    }
    ASSERT_EQ(found.status, pe::LookupStatus::found) << image.name;
    EXPECT_EQ(found.language, 0x0409) << image.name;

    TempTree tree;
    const std::string path = tree.write(std::string("bin/") + image.name, read_file(mingw(image.name)));
    EXPECT_EQ(clean_program(placed(path), RemedyIo::system()), STATUS_CLEANED) << image.name;
    EXPECT_EQ(read_file(path), read_file(mingw(image.host))) << image.name;
  }
}

TEST_F(RealImages, reader_agrees_with_pefile_on_real_and_built_images) {
  std::vector<std::string> paths;
  for (const Image& image : kImages) paths.push_back(mingw(image.name));
  TempTree tree;
  const sample::SampleTree sample_tree = sample::write_sample_tree(tree.path("sample"));
  for (const auto& file : sample_tree.files) {
    const std::string ext = file.relative.substr(file.relative.size() - 4);
    if (ext == ".exe" || ext == ".dll" || ext == ".EXE" || ext == ".DLL") paths.push_back(sample_tree.path_of(file));
  }
  const auto answers = reference(paths);
  ASSERT_EQ(answers.size(), paths.size()) << "pefile did not answer for every file";
  int found = 0;
  for (const auto& path : paths) {
    const std::string mine = ours(lookup_file(path));
    EXPECT_EQ(mine, answers.at(path)) << path;
    found += mine.rfind("found", 0) == 0 ? 1 : 0;
  }
  EXPECT_GE(found, 12);
}

}  // namespace
}  // namespace quarn::remedies
