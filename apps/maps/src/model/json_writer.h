#pragma once
// Primitives of the compact JSON text the model forms are written in: strings with the standard
// escapes (other control characters as lower-case \u00xx, everything else as UTF-8), doubles in
// their shortest round-trip form with integral values keeping ".0", non-finite doubles as null.

#include <cstdint>
#include <string>
#include <string_view>

namespace maps {

/// Appends `text` as a JSON string. Malformed UTF-8 (which no reader would accept back) is
/// written as U+FFFD, so the output is always valid JSON.
void append_json_string(std::string& out, std::string_view text);

void append_json_f64(std::string& out, double value);

void append_json_u64(std::string& out, std::uint64_t value);
void append_json_i64(std::string& out, std::int64_t value);

inline void append_json_bool(std::string& out, bool value) {
  out += value ? "true" : "false";
}

} // namespace maps
