// What the two record files of quarn-scan, the backup manifest and the
// plan, share: JSON Lines whose every line carries its format's version, a
// path written as text and, when it is not UTF-8, also as its exact bytes,
// and a reader that checks each field's type before it takes a value.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/json_output.h"
#include "platform/sha256.h"

namespace quarn::cli::records {

using json = nlohmann::ordered_json;

inline void put_path(json& object, const char* key, const std::string& path) {
  object[key] = path;
  if (!is_utf8(path)) object[std::string(key) + "_bytes"] = base64(path);
}

inline std::string line_of(const json& object) {
  // A path that is not UTF-8 is also written exactly in its "_bytes" field.
  return object.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

// The reader's checks: each returns false and says why in error.
class Fields {
 public:
  Fields(const json& object, std::string& error) : object_(object), error_(error) {}

  bool text(const char* key, std::string& out) {
    const auto it = object_.find(key);
    if (it == object_.end() || !it->is_string()) return fail(std::string("no text \"") + key + "\"");
    out = it->get<std::string>();
    return true;
  }
  bool number(const char* key, std::uint64_t& out) {
    const auto it = object_.find(key);
    if (it == object_.end() || !it->is_number_unsigned()) return fail(std::string("no count \"") + key + "\"");
    out = it->get<std::uint64_t>();
    return true;
  }
  bool signed_number(const char* key, std::int64_t& out) {
    const auto it = object_.find(key);
    if (it == object_.end() || !it->is_number_integer()) return fail(std::string("no number \"") + key + "\"");
    if (it->is_number_unsigned() && it->get<std::uint64_t>() > static_cast<std::uint64_t>(INT64_MAX)) {
      return fail(std::string("\"") + key + "\" is out of range");
    }
    out = it->get<std::int64_t>();
    return true;
  }
  bool small_number(const char* key, std::optional<std::uint32_t>& out, bool required) {
    if (!required && !object_.contains(key)) return true;
    std::uint64_t value = 0;
    if (!number(key, value)) return false;
    if (value > UINT32_MAX) return fail(std::string("\"") + key + "\" is out of range");
    out = static_cast<std::uint32_t>(value);
    return true;
  }
  // A path as text, or exactly as its bytes when "<key>_bytes" is there.
  bool path(const char* key, std::string& out) {
    if (!text(key, out)) return false;
    const std::string bytes_key = std::string(key) + "_bytes";
    if (!object_.contains(bytes_key)) return !out.empty() || fail(std::string("an empty \"") + key + "\"");
    std::string encoded;
    if (!text(bytes_key.c_str(), encoded)) return false;
    auto decoded = from_base64(encoded);
    if (!decoded || decoded->empty()) return fail("\"" + bytes_key + "\" is not base64 of a name");
    out = std::move(*decoded);
    return true;
  }
  // {"size":N,"sha256":"64 hex digits"} under key, or those two fields of
  // this object itself when key is null.
  bool sized_digest(const char* key, std::uint64_t& size, platform::Sha256Digest& digest) {
    const json* object = &object_;
    if (key != nullptr) {
      const auto it = object_.find(key);
      if (it == object_.end() || !it->is_object()) return fail(std::string("no \"") + key + "\" object");
      object = &*it;
    }
    Fields inner(*object, error_);
    std::string hex;
    if (!inner.number("size", size) || !inner.text("sha256", hex)) return false;
    auto parsed = platform::digest_from_hex(hex);
    if (!parsed) {
      return fail(std::string("\"") + (key != nullptr ? key : "sha256") + "\" has no SHA-256 of 64 hex digits");
    }
    digest = *parsed;
    return true;
  }
  bool fail(const std::string& why) {
    error_ = why;
    return false;
  }
  const json& object() const { return object_; }
  std::string& error() { return error_; }

 private:
  const json& object_;
  std::string& error_;
};


bool is_separator(char c);
// The names of a relative path, none of which may be empty, "." or "..".
bool plain_names(std::string_view text);

// A list of full paths under key, [{"path":...,"path_bytes":...}, ...].
void put_path_list(json& object, const char* key, const std::vector<std::string>& paths);
// The same list, read; it must not be empty, and no name of a path below
// its root may be empty, "." or "..".
bool read_path_list(Fields& fields, const char* key, std::vector<std::string>& paths);

// Calls read for every complete line of text, in order, with the line's
// number and its object once the object's version_key holds version. A
// last line without its line end is a record cut short and is never read.
// Returns "line N: why" for the first line that is no such object or that
// read refuses (read returns false with why set), or nothing.
std::optional<std::string> read_lines(const std::string& text, const char* version_key, std::uint64_t version,
                                      const std::function<bool(std::size_t, const json&, Fields&)>& read);

}  // namespace quarn::cli::records
