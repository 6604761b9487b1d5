// The command line's accepted forms; what it refuses is checked on the
// built binary.
#include <gtest/gtest.h>

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

TEST(CommandLine, default_jobs_are_one_per_processor_within_bounds_and_one_on_a_spinning_disk) {
  EXPECT_EQ(default_jobs(false, 4), 4u);
  EXPECT_EQ(default_jobs(false, 0), 1u) << "processors unknown";
  EXPECT_EQ(default_jobs(false, 96), kMaxDefaultJobs);
  EXPECT_EQ(default_jobs(true, 8), 1u);
}

}  // namespace
}  // namespace quarn::cli
