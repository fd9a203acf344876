#pragma once
// Repair of service answers before they are parsed: invalid UTF-8 inside strings becomes
// U+FFFD, and a number too large for a double becomes null, so that one bad byte or one huge
// value in a member nobody reads does not cost the whole answer. The JSON syntax itself is
// left to the parser.

#include <optional>
#include <string>
#include <string_view>

namespace maps {

/// The repaired text, or nothing when `text` needs no repair.
std::optional<std::string> repair_json_text(std::string_view text);

} // namespace maps
