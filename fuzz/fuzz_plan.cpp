// Feeds any bytes to the plan's reader, which --apply trusts to name only
// files below the plan's PATHs, and checks what an accepted plan promises:
// it was whole (its end line came last and nothing was cut short), and
// every file lies at or below one of its PATHs in plain names. A plan cut
// anywhere before its end is never accepted.
#include <cstddef>
#include <cstdint>
#include <string>

#include "cli/plan.h"
#include "path_rules.h"

using quarn::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const quarn::cli::PlanReading reading = quarn::cli::read_plan(text);
  check(reading.plan.has_value() != !reading.error.empty());
  if (!reading.plan) return 0;
  const quarn::cli::Plan& plan = *reading.plan;
  check(!plan.paths.empty() && !text.empty() && text.back() == '\n');
  for (const quarn::cli::PlannedFile& file : plan.files) {
    check(quarn::cli::path_lies_within(file.path, plan.paths));
    check(quarn::fuzz::below_a_root(file.path, plan.paths));
  }
  // The end line holds the digest of every line before it: no shorter
  // text is a whole plan.
  const std::size_t before_end = text.rfind('\n', text.size() - 2);
  check(before_end == std::string::npos || !quarn::cli::read_plan(text.substr(0, before_end + 1)).plan);
  return 0;
}
