// The globs of --exclude, matched against a path relative to the PATH being
// walked, with "/" between its names whatever the platform's separator.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quarn::cli {

// Whether glob matches relative_path ("site/logs/a.log"), the path of a
// folder when folder is true. Within a name "*" matches any run of bytes and
// "?" any one byte, never a "/"; a name "**" matches any number of names,
// none included ("a/**/b" matches "a/b"); every other byte matches itself.
// As in an ignore file of version control: a glob with a "/" at its start
// or inside it must match the whole path (a leading "/" only says so), one
// without matches the last name, at any depth ("*.log" matches
// "x/y/z.log"), and one that ends in "/" matches folders alone.
// The time taken grows with the product of the two lengths, never
// exponentially in the stars, so a hostile glob cannot stall a walk.
bool glob_matches(std::string_view glob, std::string_view relative_path, bool folder = false);

// What is wrong with a glob that can match nothing (it is empty, or a name
// in it is), or nothing when it is good.
std::optional<std::string> glob_fault(std::string_view glob);

}  // namespace quarn::cli
