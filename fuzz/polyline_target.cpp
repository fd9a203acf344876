// Encoded polylines: the first byte picks the precision (0..7 digits), the rest is the text.
// The decoded points are then simplified as the service parsers do, which must keep both ends
// and only drop points. The text written into a JSON string and read where it stands must give
// the same points (up to its first byte outside ASCII) and the same simplified line.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include <fmt/format.h>

#include "geo/geo.h"
#include "geo/simplify.h"
#include "net/encoded_line.h"
#include "targets.h"

namespace maps::fuzz {

namespace {

std::string json_string_text(std::string_view text) {
  std::string out;
  for (char const c : text) {
    auto const b = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (b < 0x20) {
      out += fmt::format("\\u{:04x}", b);
    } else {
      out += c;
    }
  }
  return out;
}

void check_as_sent(std::string_view text, unsigned precision) {
  auto const outside = std::find_if(text.begin(), text.end(),
                                    [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
  auto const points = decode_polyline(text.substr(0, outside - text.begin()), precision);
  std::string const sent = json_string_text(text);
  EncodedLine const line(sent, precision);
  check(line.size() == points.size(), "a line read as sent has another number of points");
  auto c = line.begin();
  bool on_globe = true;
  for (auto const& p : points) {
    LatLon const q = line.next(c);
    check(q.lat == p.lat && q.lon == p.lon, "a line read as sent has another point");
    on_globe = on_globe && is_valid_position(p);
  }
  check(line.on_globe() == on_globe, "a line read as sent is placed otherwise on the globe");
  std::uint64_t work_of_list = 100000;
  std::uint64_t work_of_text = 100000;
  check(simplify_line(line, 3.0, work_of_text) ==
            simplify_line(PointList{points}, 3.0, work_of_list),
        "a line read as sent simplifies otherwise");
}

} // namespace

bool polyline(Bytes data) {
  if (data.empty()) {
    return false;
  }
  unsigned const precision = data[0] % 8u;
  auto const text = as_text(data.subspan(1));

  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t const at = pos;
    if (!read_polyline_value(text, pos)) {
      break;
    }
    check(pos > at && pos <= text.size(), "a polyline value did not advance within the text");
  }

  auto const points = decode_polyline(text, precision);
  for (auto const& p : points) {
    check(std::isfinite(p.lat) && std::isfinite(p.lon), "a decoded point is not finite");
  }
  auto const simple = simplify_polyline(points, 3.0);
  check(simple.size() <= points.size(), "simplification added points");
  if (points.size() >= 2) {
    check(simple.size() >= 2 && simple.front() == points.front() && simple.back() == points.back(),
          "simplification dropped an end");
  }
  std::size_t next = 0;
  for (auto const& p : simple) {
    while (next < points.size() && !(points[next] == p)) {
      ++next;
    }
    check(next < points.size(), "simplification made a point that was not there");
    ++next;
  }
  check_as_sent(text, precision);
  return !points.empty();
}

} // namespace maps::fuzz
