// fuzz_seeds PE_DIR PAGE_DIR MANIFEST_DIR PLAN_DIR: writes seed inputs for
// the fuzzers, made by the PE builder, the sample tree's pages, manifests
// written out as quarn-scan --backup writes them, and plans written by the
// plan's own writer.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "cli/plan.h"
#include "tools/pe_builder.h"
#include "tools/sample_tree.h"

namespace {

void write(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Two manifests that --undo accepts: one run with a record of each action,
// and two runs into one folder, with a PATH that is not UTF-8, extended
// attributes, a remedy cut short and an unfinished last line.
const char kOneRun[] =
    R"({"manifest":1,"type":"run","run":"20261208-123957-2b04654a","started":"2026-12-08T12:39:57Z","quarn":"1.0.0.1","paths":[{"path":"/srv/share"}]}
{"manifest":1,"type":"intent","run":"20261208-123957-2b04654a","record":1,"path":"/srv/share/News/comp.os.nws","action":"delete","before":{"size":30,"sha256":"26b6a68c0983aef162089c52482396f55d2b2beedc90fb469a46b1aca75b7b3e"},"mode":420,"owner":0,"group":0,"modified_ns":1796733160376231881,"backup":"srv/share/News/comp.os.nws"}
{"manifest":1,"type":"outcome","run":"20261208-123957-2b04654a","record":1,"outcome":"done","status":"deleted"}
{"manifest":1,"type":"intent","run":"20261208-123957-2b04654a","record":2,"path":"/srv/share/Calc/calc.exe","action":"restore","before":{"size":2048,"sha256":"1465e20e7e6ba5a3906edf11552f70d93ee912c960323bcb02fa53b6f68ec585"},"after":{"size":0,"sha256":"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},"mode":493,"modified_ns":-1,"backup":"srv/share/Calc/calc.exe.1"}
{"manifest":1,"type":"outcome","run":"20261208-123957-2b04654a","record":2,"outcome":"failed","status":"error","error":"no-space"}
{"manifest":1,"type":"intent","run":"20261208-123957-2b04654a","record":3,"path":"/srv/share/site/index.htm","action":"cut","before":{"size":217,"sha256":"a7e425d882fd784ed4d3f4a78a20e1a0a3c553774b78260371ca54c40b8bdb0d"},"after":{"size":124,"sha256":"08e055314552e27dee9e7b3e82505bea73e5d1470240d3e769d0404fb082e10c"},"mode":420,"owner":1000,"group":1000,"modified_ns":1796733160372231881,"backup":"srv/share/site/index.htm"}
{"manifest":1,"type":"outcome","run":"20261208-123957-2b04654a","record":3,"outcome":"done","status":"cleaned"}
)";
const char kTwoRuns[] =
    R"({"manifest":1,"type":"run","run":"a","started":"2026-12-08T12:00:00Z","quarn":"1.0.0.1","paths":[{"path":"/"}]}
{"manifest":1,"type":"intent","run":"a","record":1,"path":"/home/u/load.exe","action":"delete","before":{"size":1,"sha256":"26b6a68c0983aef162089c52482396f55d2b2beedc90fb469a46b1aca75b7b3e"},"mode":33188,"modified_ns":0,"xattrs":[{"name":"dXNlci5vcmlnaW4=","value":""}],"backup":"home/u/load.exe"}
{"manifest":1,"type":"run","run":"b","started":"2026-12-08T12:01:00Z","quarn":"1.0.0.1","paths":[{"path":"/srv/caf�","path_bytes":"L3Nydi9jYWbp"},{"path":"/mnt/c/"}]}
{"manifest":1,"type":"intent","run":"b","record":1,"path":"/srv/caf�/menu.htm","path_bytes":"L3Nydi9jYWbpL21lbnUuaHRt","action":"cut","before":{"size":9,"sha256":"a7e425d882fd784ed4d3f4a78a20e1a0a3c553774b78260371ca54c40b8bdb0d"},"after":{"size":3,"sha256":"08e055314552e27dee9e7b3e82505bea73e5d1470240d3e769d0404fb082e10c"},"mode":420,"modified_ns":5,"backup":"srv/caf�/menu.htm","backup_bytes":"c3J2L2NhZukvbWVudS5odG0="}
{"manifest":1,"type":"intent","run":"b","record":2,"path":"/mnt/c/w/calc.exe","action":"restore","before":{"size":9,"sha256":"a7e425d882fd784ed4d3f4a78a20e1a0a3c553774b78260371ca54c40b8bdb0d"},"after":{"size":3,"sha256":"08e055314552e27dee9e7b3e82505bea73e5d1470240d3e769d0404fb082e10c"},"mode":420,"modified_ns":5,"backup":"mnt/c/w/calc.exe"}
{"manifest":1,"type":"outcome","run":"b","record":2,"outcome":"done","status":"cleaned"}
{"manifest":1,"type":"outcome","run":"b","rec)";

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: fuzz_seeds PE_DIR PAGE_DIR MANIFEST_DIR PLAN_DIR\n");
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

  const std::vector<std::string> pages = {clean_page("a") + appended_block(),
                                          clean_page("b", true) + appended_block(0, true),
                                          clean_page("c") + appended_block(300), clean_page("d")};
  for (std::size_t i = 0; i < pages.size(); ++i) {
    const std::string& page = pages[i];
    write(page_dir + "/page" + std::to_string(i), page.size() > 200 ? page.substr(page.size() - 200) : page);
  }

  const std::string manifest_dir = argv[3];
  write(manifest_dir + "/one-run.jsonl", kOneRun);
  write(manifest_dir + "/two-runs.jsonl", kTwoRuns);

  // A plan with a file of each action, one of them named in bytes that are
  // not UTF-8, and an empty one.
  const std::string plan_dir = argv[4];
  using quarn::cli::PlanWriter;
  using quarn::cli::RecordedAction;
  auto plan = PlanWriter::create(plan_dir + "/three-files.jsonl", {"/srv/share", "/mnt/caf\xe9"});
  auto empty = PlanWriter::create(plan_dir + "/empty.jsonl", {"/"});
  if (!plan || !empty) return 1;
  plan->add({"/srv/share/site/index.htm", {2049, 77}, {217, {0xA7, 0xE4}}, RecordedAction::cut});
  plan->add({"/srv/share/Calc/calc.exe", {2049, 78}, {4096, {0x14}}, RecordedAction::restore});
  plan->add({"/mnt/caf\xe9/load.exe", {7, 1}, {1536, {}}, RecordedAction::remove});
  return plan->finish() && empty->finish() ? 0 : 1;
}
