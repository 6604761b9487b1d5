// The manifest's reader: what it takes, and every fault that refuses a
// manifest whole, named by its line.
#include <gtest/gtest.h>

#include <string>

#include "cli/json_output.h"
#include "cli/manifest.h"

namespace quarn::cli {
namespace {

const std::string kDigest(64, 'a');

std::string run_line(const std::string& paths = R"([{"path":"/mnt/c"}])", int version = 1) {
  return R"({"manifest":)" + std::to_string(version) + R"(,"type":"run","run":"r1","started":"2026-12-08T12:00:00Z",)" +
         R"("quarn":"1.0","paths":)" + paths + "}\n";
}

std::string intent_line(const std::string& path_fields = R"("path":"/mnt/c/site/index.htm")",
                        const std::string& action = R"("action":"cut","after":{"size":5,"sha256":")" + kDigest +
                                                    R"("})",
                        const std::string& backup = "mnt/c/site/index.htm") {
  return R"({"manifest":1,"type":"intent","run":"r1","record":1,)" + path_fields + "," + action +
         R"(,"before":{"size":9,"sha256":")" + kDigest + R"("},"mode":420,"owner":1000,"modified_ns":-5,)" +
         R"("xattrs":[{"name":"dXNlci5h","value":""}],"backup":")" + backup + "\"}\n";
}

const std::string kOutcome = R"({"manifest":1,"type":"outcome","run":"r1","record":1,"outcome":"done"})" "\n";

TEST(Manifest, a_whole_manifest_is_read_and_an_unfinished_last_line_is_left_out) {
  const std::string text = run_line() + intent_line() + kOutcome + R"({"manifest":1,"type":"intent","ru)";
  const ManifestReading reading = read_manifest(text);
  ASSERT_TRUE(reading.manifest) << reading.error;
  const Manifest& m = *reading.manifest;
  ASSERT_EQ(m.runs.size(), 1u);
  EXPECT_EQ(m.runs[0].paths, std::vector<std::string>{"/mnt/c"});
  ASSERT_EQ(m.intents.size(), 1u);
  const IntentRecord& intent = m.intents[0];
  EXPECT_EQ(intent.path, "/mnt/c/site/index.htm");
  EXPECT_EQ(intent.action, RecordedAction::cut);
  ASSERT_TRUE(intent.after);
  EXPECT_EQ(intent.after->size, 5u);
  EXPECT_EQ(intent.before.sha256[0], 0xAA);
  EXPECT_EQ(intent.attributes.mode, 420u);
  EXPECT_EQ(intent.attributes.owner, 1000u);
  EXPECT_FALSE(intent.attributes.group);
  EXPECT_EQ(intent.attributes.modified_ns, -5);
  ASSERT_EQ(intent.attributes.extended.size(), 1u);
  EXPECT_EQ(intent.attributes.extended[0].first, "user.a");
  EXPECT_TRUE(m.outcomes.at({"r1", 1}).done);

  // A name that is not UTF-8 is read from its exact bytes.
  const std::string odd = "/mnt/c/\xff.eml";
  const ManifestReading bytes = read_manifest(
      run_line() + intent_line(R"("path":"/mnt/c/?.eml","path_bytes":")" + base64(odd) + "\"", R"("action":"delete")"));
  ASSERT_TRUE(bytes.manifest) << bytes.error;
  EXPECT_EQ(bytes.manifest->intents[0].path, odd);
  EXPECT_FALSE(bytes.manifest->intents[0].after);
}

struct BadManifest {
  const char* name;
  std::string text;
  const char* error;  // the start of the reader's message
};

class ManifestRefused : public ::testing::TestWithParam<BadManifest> {};

TEST_P(ManifestRefused, names_the_line_and_keeps_nothing) {
  const ManifestReading reading = read_manifest(GetParam().text);
  EXPECT_FALSE(reading.manifest);
  EXPECT_EQ(reading.error.rfind(GetParam().error, 0), 0u) << reading.error;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ManifestRefused,
    ::testing::Values(
        BadManifest{"not_json", run_line() + "{\"manifest\":1,\n", "line 2: not a JSON object"},
        BadManifest{"a_later_version", run_line("[{\"path\":\"/mnt/c\"}]", 2),
                    "line 1: a record of manifest version 2"},
        BadManifest{"no_version", "{\"type\":\"run\"}\n", "line 1: no manifest version"},
        BadManifest{"intent_without_its_run", intent_line(), "line 1: a record of run r1, which no earlier"},
        BadManifest{"a_sibling_of_the_path", run_line() + intent_line(R"("path":"/mnt/cx/a.eml")"),
                    "line 2: the path /mnt/cx/a.eml lies outside"},
        BadManifest{"climbing_out_of_the_path", run_line() + intent_line(R"("path":"/mnt/c/../etc/passwd")"),
                    "line 2: the path /mnt/c/../etc/passwd lies outside"},
        BadManifest{"a_path_that_is_a_dot_dot", run_line(R"([{"path":"/mnt/c/.."}])"), "line 1: a PATH with an"},
        BadManifest{"a_backup_place_that_climbs",
                    run_line() + intent_line(R"("path":"/mnt/c/a.htm")", R"("action":"delete")", "../../etc/x"),
                    "line 2: a backup place"},
        BadManifest{"a_restore_without_after",
                    run_line() + intent_line(R"("path":"/mnt/c/a.exe")", R"("action":"restore")"),
                    "line 2: no \"after\" object"},
        BadManifest{
            "a_short_digest",
            run_line() + intent_line(R"("path":"/mnt/c/a.htm")", R"("action":"cut","after":{"size":1,"sha256":"ab"})"),
            "line 2: \"after\" has no SHA-256"},
        BadManifest{"an_unknown_action", run_line() + intent_line(R"("path":"/mnt/c/a")", R"("action":"burn")"),
                    "line 2: an unknown action"},
        BadManifest{"bad_base64_bytes", run_line() + intent_line(R"("path":"/mnt/c/a","path_bytes":"@@@@")"),
                    "line 2: \"path_bytes\" is not base64"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Base64, decodes_what_it_encodes_and_nothing_else) {
  for (const std::string& bytes : {std::string(), std::string("a"), std::string("ab"), std::string("abc"),
                                  std::string("\0\xff\x10", 3)}) {
    EXPECT_EQ(from_base64(base64(bytes)), bytes);
  }
  for (const char* bad : {"a", "ab=", "a===", "=aaa", "aa=a", "a\xff==", "Zm9v\n"}) {
    EXPECT_FALSE(from_base64(bad)) << bad;
  }
}

}  // namespace
}  // namespace quarn::cli
