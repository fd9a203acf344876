// Leg lines read where they stand in the answer, escapes and all, give the points and the
// simplified line that decoding the text in full gives.

#include "net/encoded_line.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "geo/geo.h"
#include "geo/simplify.h"
#include "polyline_text.h"

namespace maps {
namespace {

using test::encode_points;
using test::encode_values;
using test::json_escaped;

std::vector<LatLon> walk(EncodedLine const& line) {
  std::vector<LatLon> out;
  auto c = line.begin();
  for (std::size_t i = 0; i < line.size(); ++i) {
    out.push_back(line.next(c));
  }
  return out;
}

// A street wandering for a few kilometres, with corners and straight stretches.
std::vector<LatLon> wandering(std::size_t n) {
  std::vector<LatLon> out;
  for (std::size_t i = 0; i < n; ++i) {
    double const t = static_cast<double>(i);
    out.push_back({48.1 + 0.00002 * t + 0.0004 * std::sin(t * 0.013),
                   11.5 + 0.00003 * t + (i / 200 % 2 == 0 ? 0.0002 * std::cos(t * 0.21) : 0.0)});
  }
  return out;
}

TEST(EncodedLine, ReadsAsTheDecodedText) {
  std::string const example = "_p~iF~ps|U_ulLnnqC_mqNvxq`@";
  struct Case {
    char const* what;
    std::string text;
    unsigned precision;
  } const cases[] = {
      {"the worked example", example, 5},
      {"at precision 7", encode_points(wandering(3000), 7), 7},
      {"backslashes (-15 encodes as one)", encode_values({-15, -15, 3850000, -15}), 5},
      {"cut inside a value", example.substr(0, example.size() - 1), 5},
      {"off the globe at precision 5", encode_values({3850000, -12020000, 9000000, 0}), 5},
      {"a value beyond 64 bits", example + std::string(14, '~'), 5},
      {"empty", "", 5},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.what);
    auto const want = decode_polyline(c.text, c.precision);
    std::string const sent = json_escaped(c.text);
    EncodedLine const line(sent, c.precision);
    ASSERT_EQ(line.size(), want.size());
    EXPECT_EQ(walk(line), want);
    bool on_globe = true;
    for (auto const& p : want) {
      on_globe = on_globe && is_valid_position(p);
    }
    EXPECT_EQ(line.on_globe(), on_globe);
    if (!want.empty()) {
      EXPECT_EQ(line.front(), want.front());
      EXPECT_EQ(line.back(), want.back());
    }
  }
}

// Every escape a sender may write reads as its byte; a byte outside ASCII, sent or escaped
// (a surrogate pair too), ends the line, as does a text cut inside an escape.
TEST(EncodedLine, EscapesReadAsTheirBytes) {
  struct Case {
    char const* sent;
    char const* text; // what decodes the same
  } const cases[] = {
      {R"(_p~iF\\~ps|U)", "_p~iF\\~ps|U"},
      {R"(_p~iF\/~ps|U)", "_p~iF/~ps|U"},
      {R"(_p~iF\"\b\f\n\r\t~ps|U)", "_p~iF\"\b\f\n\r\t~ps|U"},
      {R"(\u005fp~iF\u007E\u007eps|U)", "_p~iF~~ps|U"},
      {"_p~iF~ps|U\xC3\xA9_ulLnnqC", "_p~iF~ps|U"},
      {R"(_p~iF~ps|U\u00e9_ulLnnqC)", "_p~iF~ps|U"},
      {R"(_p~iF~ps|U\ud83d\ude00_ulLnnqC)", "_p~iF~ps|U"},
      {"_p~iF~ps|U_\\", "_p~iF~ps|U_"},
      {"_p~iF~ps|U_\\u00", "_p~iF~ps|U_"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.sent);
    EXPECT_EQ(walk(EncodedLine(c.sent, 5)), decode_polyline(c.text, 5));
  }
}

TEST(EncodedLine, SimplifiesAsTheDecodedPoints) {
  for (std::size_t const n : {std::size_t{2}, std::size_t{50}, std::size_t{20000}}) {
    SCOPED_TRACE(n);
    std::string const text = encode_points(wandering(n), 6);
    auto const decoded = decode_polyline(text, 6);
    std::uint64_t work_of_list = SIMPLIFY_WORK_BUDGET;
    std::uint64_t work_of_text = SIMPLIFY_WORK_BUDGET;
    auto const want = simplify_line(PointList{decoded}, 3.0, work_of_list);
    EXPECT_EQ(simplify_line(EncodedLine(json_escaped(text), 6), 3.0, work_of_text), want);
    EXPECT_EQ(work_of_text, work_of_list);
  }
}

} // namespace
} // namespace maps
