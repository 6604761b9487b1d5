// The command line's accepted forms; what it refuses is checked on the
// built binary.
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

}  // namespace
}  // namespace quarn::cli
