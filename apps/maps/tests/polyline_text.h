#pragma once
// Encoded-polyline texts for tests: values and points written in the format, and the text as
// a JSON string would carry it.

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "model/types.h"

namespace maps::test {

/// Signed values in the encoded-polyline format.
inline std::string encode_values(std::vector<std::int64_t> const& values) {
  std::string out;
  for (std::int64_t const v : values) {
    auto u = static_cast<std::uint64_t>(v) << 1;
    if (v < 0) {
      u = ~u;
    }
    while (u >= 0x20) {
      out.push_back(static_cast<char>((0x20 | (u & 0x1F)) + 63));
      u >>= 5;
    }
    out.push_back(static_cast<char>(u + 63));
  }
  return out;
}

/// Points rounded to `precision` digits, as the deltas the format carries.
inline std::string encode_points(std::vector<LatLon> const& points, unsigned precision) {
  double const factor = std::pow(10.0, precision);
  std::vector<std::int64_t> deltas;
  std::int64_t lat = 0;
  std::int64_t lon = 0;
  for (auto const& p : points) {
    auto const y = std::llround(p.lat * factor);
    auto const x = std::llround(p.lon * factor);
    deltas.push_back(y - lat);
    deltas.push_back(x - lon);
    lat = y;
    lon = x;
  }
  return encode_values(deltas);
}

/// The text inside a JSON string, escaped as senders do it: backslashes always, and here
/// also every `?` and `@` as \u escapes, so that a reader meets each kind.
inline std::string json_escaped(std::string const& text) {
  std::string out;
  for (char const c : text) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '?') {
      out += "\\u003F";
    } else if (c == '@') {
      out += "\\u0040";
    } else if (c == '"') {
      out += "\\\"";
    } else {
      out += c;
    }
  }
  return out;
}

} // namespace maps::test
