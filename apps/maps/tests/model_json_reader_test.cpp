// The reader's short ways (to a double, to a string's text as sent) must agree with the full
// reading in value, in what they consume and in how they fail.

#include "model/json_reader.h"

#include <bit>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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
      "9999999999999999", "0.9999999999999999", "99999999.99999999", "00", "-01", "0.5]", " 3.25,",
      "42}",
      // fractions followed by at least eight more bytes, which are looked at together
      "48.1371]          ", "11.12345678,       ", "0.12345678901234        ",
      "0.123456789012345       ", "-2.99999999999999x        ", "1.00000000e5            ",
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

// The short way for a position takes exactly the arrays of two plain numbers and leaves every
// other value, unread, to the general way.
TEST(JsonReaderNumbers, NumberPairsAreTakenOnlyWhole) {
  struct Case {
    char const* text;
    bool taken;
    double first;
    double second;
  } const cases[] = {
      {"[11.5,48.1]", true, 11.5, 48.1},
      {" [-0.25,0]", true, -0.25, 0.0},
      {"[11.5, 48.1]", false, 0, 0},
      {"[ 11.5,48.1]", false, 0, 0},
      {"[1e5,2]", false, 0, 0},
      {"[1,2,3]", false, 0, 0},
      {"[1]", false, 0, 0},
      {"[01,2]", false, 0, 0},
      {"[1.,2]", false, 0, 0},
      {"[1,\"2\"]", false, 0, 0},
      {"[1,2", false, 0, 0},
      {"{}", false, 0, 0},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.text);
    JsonReader r(c.text);
    double a = -1.0;
    double b = -1.0;
    std::size_t const before = r.position();
    ASSERT_EQ(r.read_number_pair(a, b), c.taken);
    if (c.taken) {
      EXPECT_EQ(a, c.first);
      EXPECT_EQ(b, c.second);
      EXPECT_NO_THROW(r.finish());
    } else {
      EXPECT_EQ(r.position(), before);
    }
  }
  // Inside a list, pairs and other elements mix; the depth limit still holds for the pairs.
  JsonReader list("[[1,2],[3, 4],[5,6]]");
  list.begin_array();
  std::vector<double> seen;
  while (list.next_element()) {
    double a = 0.0;
    double b = 0.0;
    if (!list.read_number_pair(a, b)) {
      list.begin_array();
      while (list.next_element()) {
        seen.push_back(*list.read_f64());
      }
      continue;
    }
    seen.insert(seen.end(), {a, b});
  }
  EXPECT_NO_THROW(list.finish());
  EXPECT_EQ(seen, (std::vector<double>{1, 2, 3, 4, 5, 6}));
  JsonReader deep("[[1,2]]", {.max_depth = 1});
  deep.begin_array();
  ASSERT_TRUE(deep.next_element());
  double a = 0.0;
  double b = 0.0;
  EXPECT_FALSE(deep.read_number_pair(a, b));
  EXPECT_THROW(deep.skip_value(), JsonError);
}

TEST(JsonReaderStrings, TextAsSentKeepsEscapesAndIsCheckedAsRead) {
  struct Case {
    char const* text;
    char const* sent; // nullptr: not read
  } const cases[] = {
      {R"(  "plain")", "plain"},
      {R"("")", ""},
      {R"("a\\b\"c\u00e9\/")", R"(a\\b\"c\u00e9\/)"},
      {"\"caf\xC3\xA9\"", "caf\xC3\xA9"},
      {R"("bad \x escape")", nullptr},
      {R"("lone \ud800")", nullptr},
      {"\"unclosed", nullptr},
      {"12", nullptr},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.text);
    JsonReader r(c.text);
    if (c.sent == nullptr) {
      EXPECT_THROW(r.read_string_as_sent(), JsonError);
      continue;
    }
    EXPECT_EQ(r.read_string_as_sent(), c.sent);
    EXPECT_NO_THROW(r.finish());
  }
}

} // namespace
} // namespace maps
