// The command line's accepted forms and the words of its refusals; that a
// refusal starts no scan is checked on the built binary.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/scan_plan.h"

namespace quarn::cli {
namespace {

ParsedCommandLine parse(std::vector<const char*> args) {
  args.insert(args.begin(), "quarn-scan");
  return parse_command_line(static_cast<int>(args.size()), args.data());
}

TEST(CommandLine, takes_every_option_and_several_paths_in_any_order) {
  auto parsed = parse({"/a", "--log", "scan.log", "--quiet", "--no-summary", "--backup=/b", "/c", "--", "-d"});
  ASSERT_TRUE(parsed.options);
  EXPECT_EQ(parsed.options->paths, (std::vector<std::string>{"/a", "/c", "-d"}));
  EXPECT_EQ(parsed.options->log_path, "scan.log");
  EXPECT_EQ(parsed.options->backup_dir, "/b");
  EXPECT_TRUE(parsed.options->quiet);
  EXPECT_TRUE(parsed.options->no_summary);
  EXPECT_FALSE(parsed.options->report_only);
  EXPECT_FALSE(parsed.options->jobs) << "no --jobs: the plan chooses";
  EXPECT_EQ(parse({"-j", "3", "/a"}).options->jobs, 3u);
}

// Numbers are decimal whatever CLI11 does with them; the limits are 1 and
// 64, and a value past what any integer holds is still out of range.
TEST(CommandLine, reads_jobs_in_decimal_within_its_limits) {
  const std::string range = "quarn-scan: --jobs: not in the range 1 to 64: ";
  const std::string nan = "quarn-scan: --jobs: not a number: ";
  const struct {
    const char* value;
    unsigned jobs;      // 0: refused
    std::string error;  // the message without its pointer to --help
  } cases[] = {
      {"1", 1, ""},          {"64", 64, ""},          {"010", 10, ""},   {"+0064", 64, ""},
      {"0", 0, range + "0"}, {"65", 0, range + "65"}, {"-1", 0, range + "-1"},
      {"4294967297", 0, range + "4294967297"},         {"99999999999999999999", 0, range + "99999999999999999999"},
      {"0x10", 0, nan + "0x10"},                       {"1e3", 0, nan + "1e3"},
      {"1.0", 0, nan + "1.0"},                         {" 5", 0, nan + " 5"},
  };
  for (const auto& c : cases) {
    const ParsedCommandLine parsed = parse({"--jobs", c.value, "/a"});
    if (c.jobs) {
      ASSERT_TRUE(parsed.options) << c.value << ": " << parsed.text;
      EXPECT_EQ(parsed.options->jobs, c.jobs) << c.value;
    } else {
      EXPECT_FALSE(parsed.options) << c.value;
      EXPECT_EQ(parsed.exit_status, kExitError) << c.value;
      EXPECT_EQ(parsed.text, c.error + " (see quarn-scan --help)") << c.value;
    }
  }
}

// CLI11 checks what is required before it looks for words it does not know.
TEST(CommandLine, names_an_unknown_option_before_any_other_fault) {
  const struct {
    std::vector<const char*> args;
    const char* error;
  } cases[] = {
      {{"--bogus"}, "unknown option: --bogus"},
      {{"--backup", "/b", "--report-only", "--bogus", "-Z", "/a"}, "unknown options: --bogus, -Z"},
      {{}, "PATH is required"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(parse(c.args).text, std::string("quarn-scan: ") + c.error + " (see quarn-scan --help)");
  }
}

}  // namespace
}  // namespace quarn::cli
