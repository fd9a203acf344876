// The reader's short way to a double must agree with the full number token in value, in what
// it consumes and in how it fails.

#include "model/json_reader.h"

#include <bit>
#include <cstdint>
#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace maps {
namespace {

struct Outcome {
  std::optional<std::uint64_t> bits; // nullopt: beyond the doubles
  std::size_t position = 0;
  std::string error;
};

template <class Read> Outcome read_with(std::string const& text, Read read) {
  JsonReader r(text);
  Outcome out;
  try {
    auto const v = read(r);
    if (v) {
      out.bits = std::bit_cast<std::uint64_t>(*v);
    }
    out.position = r.position();
  } catch (JsonError const& e) {
    out.error = e.what();
  }
  return out;
}

TEST(JsonReaderNumbers, ShortWayAgreesWithTheToken) {
  char const* const texts[] = {
      // plain decimals and integers, up to and past 15 digits
      "0", "-0", "7", "-0.0", "11.500000", "-48.1371", "123456789012345", "1234567890123456",
      "12345678.9012345", "12345678.90123456", "0.000000000000001", "9007199254740993",
      "9999999999999999", "0.9999999999999999", "99999999.99999999",
      "00", "-01", "0.5]", " 3.25,", "42}",
      // exponents, and numbers beyond the doubles
      "1e5", "2.5E-3", "1e400", "-1e-400",
      // malformed
      "-", "-x", "1.", "1.x", "1.5e", "1e+", ".5", "+1"};
  for (char const* text : texts) {
    SCOPED_TRACE(text);
    Outcome const full = read_with(text, [](JsonReader& r) { return r.read_number().to_f64(); });
    Outcome const fast = read_with(text, [](JsonReader& r) { return r.read_f64(); });
    EXPECT_EQ(fast.bits, full.bits);
    EXPECT_EQ(fast.position, full.position);
    EXPECT_EQ(fast.error, full.error);
  }
}

} // namespace
} // namespace maps
