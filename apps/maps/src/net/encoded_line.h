#pragma once
// An encoded polyline as it stands inside a JSON string of an answer, escapes and all, walked
// point by point: the simplification reads it without the line ever being decoded whole or
// its text copied, since two bytes of text can decode to a point of sixteen.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "geo/geo.h"

namespace maps {

class EncodedLine {
public:
  /// Before the next point: where its bytes start and the values of the point before.
  struct Cursor {
    std::size_t pos = 0;
    std::int64_t lat = 0;
    std::int64_t lon = 0;
  };

  /// Reads `sent` (the string's text between its quotes, checked as JSON) once at `precision`
  /// decimal digits. The line ends where decode_polyline stops, and at a byte outside
  /// ASCII, which no encoded line holds.
  EncodedLine(std::string_view sent, unsigned precision);

  std::size_t size() const { return size_; }
  /// Every point lies on the globe (is_valid_position).
  bool on_globe() const { return on_globe_; }
  LatLon front() const { return front_; }
  LatLon back() const { return back_; }

  Cursor begin() const { return {}; }
  /// The point at the cursor, which moves past it; only for the line's size() points.
  LatLon next(Cursor& c) const {
    step(c);
    return point_at(c);
  }

private:
  LatLon point_at(Cursor const& c) const {
    return {static_cast<double>(c.lat) / factor_, static_cast<double>(c.lon) / factor_};
  }
  // Decodes the next pair of values into `c`; false, leaving `c` as it was, where decoding stops.
  bool step(Cursor& c) const;
  // The byte at `pos` of the text with escapes undone, moving `pos` past it; -1 at the end and
  // for a byte outside ASCII.
  int next_byte(std::size_t& pos) const;

  std::string_view sent_;
  double factor_;
  std::size_t size_ = 0;
  bool on_globe_ = true;
  LatLon front_;
  LatLon back_;
};

// Inline: these run for every byte and point of a line, several times over.
inline int EncodedLine::next_byte(std::size_t& pos) const {
  if (pos >= sent_.size()) {
    return -1;
  }
  auto const c = static_cast<unsigned char>(sent_[pos++]);
  if (c >= 0x80) {
    return -1;
  }
  if (c != '\\') {
    return c;
  }
  // Checked JSON has whole escapes; a text cut inside one ends there.
  if (pos >= sent_.size()) {
    return -1;
  }
  char const e = sent_[pos++];
  switch (e) {
  case 'b':
    return '\b';
  case 'f':
    return '\f';
  case 'n':
    return '\n';
  case 'r':
    return '\r';
  case 't':
    return '\t';
  case 'u': {
    if (sent_.size() - pos < 4) {
      return -1;
    }
    int v = 0;
    for (int i = 0; i < 4; ++i) {
      char const h = sent_[pos++];
      v = v * 16 + (h <= '9' ? h - '0' : (h | 0x20) - 'a' + 10);
    }
    return v < 0x80 ? v : -1;
  }
  default:
    return e; // '"', '\\' and '/'
  }
}

inline bool EncodedLine::step(Cursor& c) const {
  std::size_t pos = c.pos;
  std::int64_t lat = c.lat;
  std::int64_t lon = c.lon;
  if (!read_polyline_point([&] { return next_byte(pos); }, lat, lon)) {
    return false;
  }
  c = {pos, lat, lon};
  return true;
}

} // namespace maps
