// fuzz_seeds PE_DIR PAGE_DIR: writes seed inputs for the two fuzzers, made
// by the PE builder and the sample tree's pages.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tools/pe_builder.h"
#include "tools/sample_tree.h"

namespace {

void write(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: fuzz_seeds PE_DIR PAGE_DIR\n");
    return 2;
  }
  using namespace quarn::sample;
  const std::string pe_dir = argv[1], page_dir = argv[2];
  const std::string host = "MZ host";
  write(pe_dir + "/pe32.exe", infected_program(host));
  write(pe_dir + "/pe32plus.dll", infected_program(host, PeKind::pe32_plus, true));
  PeRecipe several;
  several.resources = {{ResourceKey::of(kRtRcdata), ResourceKey::of(kHostProgramId), 0x0407, "de"},
                       {ResourceKey::of(kRtRcdata), ResourceKey::of(kHostProgramId), 0x0409, "en"},
                       {ResourceKey::of(kRtDialog), ResourceKey::of(kHostProgramId), 0x0409, "dialog"},
                       {ResourceKey::named(u"NAMED"), ResourceKey::of(1), 0, "named"}};
  write(pe_dir + "/several.exe", build_pe(several).bytes);
  write(pe_dir + "/plain.exe", host_program("plain"));

  const std::vector<std::string> pages = {clean_page("a") + appended_block(), clean_page("b", true) + appended_block(0, true),
                                          clean_page("c") + appended_block(300), clean_page("d")};
  for (std::size_t i = 0; i < pages.size(); ++i) {
    const std::string& page = pages[i];
    write(page_dir + "/page" + std::to_string(i), page.size() > 200 ? page.substr(page.size() - 200) : page);
  }
  return 0;
}
