#include "net/json_read.h"

#include <cmath>
#include <limits>

#include "net/net_log.h"

namespace maps::detail {

std::optional<std::string> read_text(JsonReader& r, std::size_t max_bytes) {
  if (r.peek() != JsonReader::Kind::String) {
    r.skip_value();
    return std::nullopt;
  }
  // Measured on a copy of the reader first: a text too long is passed over without decoding.
  JsonReader probe = r;
  std::size_t const start = probe.position();
  probe.skip_value();
  if (probe.position() - start > max_bytes + 2) { // the two quotes
    r = probe;
    return std::nullopt;
  }
  std::string out;
  r.read_string(out);
  if (out.size() > max_bytes) {
    return std::nullopt;
  }
  return out;
}

std::optional<std::int64_t> read_i64(JsonReader& r) {
  if (r.peek() != JsonReader::Kind::Number) {
    r.skip_value();
    return std::nullopt;
  }
  JsonNumber const n = r.read_number();
  if (!n.integral || n.overflow) {
    return std::nullopt;
  }
  auto constexpr max = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  if (!n.negative) {
    return n.magnitude <= max ? std::optional<std::int64_t>(static_cast<std::int64_t>(n.magnitude))
                              : std::nullopt;
  }
  if (n.magnitude > max + 1) {
    return std::nullopt;
  }
  // -(2^63) has no positive counterpart: negate one less.
  return n.magnitude == 0 ? 0 : -static_cast<std::int64_t>(n.magnitude - 1) - 1;
}

std::optional<std::uint64_t> read_u64(JsonReader& r) {
  if (r.peek() != JsonReader::Kind::Number) {
    r.skip_value();
    return std::nullopt;
  }
  JsonNumber const n = r.read_number();
  if (!n.integral || n.overflow || (n.negative && n.magnitude != 0)) {
    return std::nullopt;
  }
  return n.magnitude;
}

std::optional<bool> read_boolean(JsonReader& r) {
  if (r.peek() != JsonReader::Kind::Bool) {
    r.skip_value();
    return std::nullopt;
  }
  return r.read_bool();
}

std::optional<double> read_measure(JsonReader& r) {
  auto const v = read_f64(r);
  if (!v || !std::isfinite(*v) || *v < 0.0) {
    return std::nullopt;
  }
  return v;
}

void log_unreadable(std::string_view service, std::string_view detail) {
  net_logger()->warn("{} answer could not be read: {}", service, detail);
}

} // namespace maps::detail
