#include "net/encoded_line.h"

#include <cmath>

namespace maps {

EncodedLine::EncodedLine(std::string_view sent, unsigned precision)
    : sent_(sent), factor_(std::pow(10.0, static_cast<double>(precision))) {
  Cursor c;
  while (step(c)) {
    LatLon const p = point_at(c);
    on_globe_ = on_globe_ && is_valid_position(p);
    if (size_ == 0) {
      front_ = p;
    }
    back_ = p;
    ++size_;
  }
}

} // namespace maps
