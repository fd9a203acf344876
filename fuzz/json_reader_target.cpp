// The pull reader over arbitrary text: walks every value it accepts; nothing but JsonError may
// come out of it, and a number it reads converts without trouble.

#include <bit>
#include <charconv>
#include <cstdint>
#include <string>

#include "model/json_reader.h"
#include "targets.h"

namespace maps::fuzz {
namespace {

// Recursion is bounded by the reader's own depth limit.
void walk(JsonReader& r) {
  std::string text;
  switch (r.peek()) {
  case JsonReader::Kind::Null:
    r.read_null();
    break;
  case JsonReader::Kind::Bool:
    r.read_bool();
    break;
  case JsonReader::Kind::Number: {
    auto const n = r.read_number();
    check(!n.token.empty(), "number without a token");
    // Whichever path converts it, the result is the correctly rounded one.
    auto const value = n.to_f64();
    double nearest = 0.0;
    auto const res = std::from_chars(n.token.data(), n.token.data() + n.token.size(), nearest);
    if (res.ec == std::errc{}) {
      check(value.has_value() &&
                std::bit_cast<std::uint64_t>(*value) == std::bit_cast<std::uint64_t>(nearest),
            "a number converted to another double than the nearest");
    }
    break;
  }
  case JsonReader::Kind::String:
    r.read_string(text);
    break;
  case JsonReader::Kind::Array:
    r.begin_array();
    while (r.next_element()) {
      walk(r);
    }
    break;
  case JsonReader::Kind::Object:
    r.begin_object();
    while (r.next_key(text)) {
      walk(r);
    }
    break;
  case JsonReader::Kind::End:
  case JsonReader::Kind::Other:
    r.skip_value();
    break;
  }
}

} // namespace

bool json_reader(Bytes data) {
  auto const text = as_text(data);
  // skip_value must agree with the walk above on what is well-formed
  bool walked = true;
  bool skipped = true;
  try {
    JsonReader r(text);
    walk(r);
    r.finish();
  } catch (JsonError const&) {
    walked = false;
  }
  try {
    JsonReader r(text);
    r.skip_value();
    r.finish();
  } catch (JsonError const&) {
    skipped = false;
  }
  check(walked == skipped, "skip_value and reading disagree on a text");
  return walked;
}

} // namespace maps::fuzz
