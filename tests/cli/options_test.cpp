// The command line: what it accepts, and one clear line for what it does not.
#include <gtest/gtest.h>

#include <vector>

#include "cli/options.h"

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
}

TEST(CommandLine, defaults_have_no_log_and_no_backup) {
  auto parsed = parse({"/a"});
  ASSERT_TRUE(parsed.options);
  EXPECT_FALSE(parsed.options->log_path);
  EXPECT_FALSE(parsed.options->backup_dir);
  EXPECT_FALSE(parsed.options->quiet || parsed.options->no_summary || parsed.options->report_only);
}

TEST(CommandLine, help_and_version_are_texts_with_status_0) {
  for (auto args : {std::vector<const char*>{"--help"}, {"-h"}, {"/a", "--help"}}) {
    auto parsed = parse(args);
    EXPECT_FALSE(parsed.options);
    EXPECT_EQ(parsed.exit_status, 0);
    EXPECT_NE(parsed.text.find("Usage:"), std::string::npos);
  }
  auto version = parse({"--version"});
  EXPECT_EQ(version.exit_status, 0);
  EXPECT_EQ(version.text, std::string("quarn-scan ") + QUARN_VERSION + "\n");
}

TEST(CommandLine, bad_usage_is_one_line_with_status_2) {
  const std::vector<std::vector<const char*>> cases = {
      {},
      {"--bogus", "/a"},
      {"/a", "--log"},
      {"/a", "--log", "x", "--log", "y"},
      {"--report-only", "--backup", "/b", "/a"},
      {""},
      {"/a", "--log", ""},
      {"/a", "--backup="},
  };
  for (const auto& args : cases) {
    auto parsed = parse(args);
    EXPECT_FALSE(parsed.options) << parsed.text;
    EXPECT_EQ(parsed.exit_status, 2) << parsed.text;
    EXPECT_EQ(parsed.text.rfind("quarn-scan: ", 0), 0u) << parsed.text;
    EXPECT_EQ(parsed.text.find('\n'), std::string::npos) << parsed.text;
  }
}

}  // namespace
}  // namespace quarn::cli
