#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "base/clock.h"
#include "base/number.h"
#include "base/saturate.h"
#include "base/utf8.h"

TEST(SaturatingCast, NanIsZeroAndOutOfRangeClamps) {
  double const nan = std::numeric_limits<double>::quiet_NaN();
  double const inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(base::saturating_cast<int>(nan), 0);
  EXPECT_EQ(base::saturating_cast<int>(inf), INT32_MAX);
  EXPECT_EQ(base::saturating_cast<int>(-inf), INT32_MIN);
  EXPECT_EQ(base::saturating_cast<std::uint8_t>(300.0), 255);
  EXPECT_EQ(base::saturating_cast<std::uint8_t>(-1.0), 0);
  EXPECT_EQ(base::saturating_cast<std::int64_t>(9.3e18), INT64_MAX);
  EXPECT_EQ(base::saturating_cast<std::int64_t>(-9.3e18), INT64_MIN);
  EXPECT_EQ(base::saturating_cast<std::uint64_t>(1.9e19), UINT64_MAX);
  EXPECT_EQ(base::saturating_cast<int>(-2.7), -2);
  EXPECT_EQ(base::saturating_cast<std::uint32_t>(4294967295.0), UINT32_MAX);
}

TEST(Utf8, ValidationRejectsMalformedSequences) {
  struct Case {
    std::string text;
    bool valid;
  } const cases[] = {
      {"plain", true},
      {"Caf\xC3\xA9", true},
      {"\xF0\x9F\x97\xBA", true},  // U+1F5FA
      {"\xC3", false},             // truncated
      {"\xC0\xAF", false},         // overlong
      {"\xED\xA0\x80", false},     // surrogate
      {"\xF4\x90\x80\x80", false}, // above U+10FFFF
      {"\x80", false},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(base::utf8::is_valid(c.text), c.valid);
  }
  EXPECT_EQ(base::utf8::lossy("a\xC3"
                              "b"),
            "a\xEF\xBF\xBD"
            "b");
}

TEST(Utf8, CodePointsAndOffsets) {
  std::string const text = "Gl\xC3\xBC"
                           "ck\xE2\x80\xA6"; // Glück…
  EXPECT_EQ(base::utf8::length(text), 6u);
  EXPECT_EQ(base::utf8::offset_of(text, 3), 4u);
  EXPECT_EQ(base::utf8::offset_of(text, 6), text.size());
  std::u32string cps;
  base::utf8::for_each_code_point(text, [&](char32_t cp) { cps.push_back(cp); });
  EXPECT_EQ(cps, U"Gl\u00FCck\u2026");
  std::string back;
  for (char32_t cp : cps) {
    base::utf8::append(back, cp);
  }
  EXPECT_EQ(back, text);
}

TEST(Utf8, TrimFollowsUnicodeWhiteSpace) {
  struct Case {
    std::string in;
    std::string out;
  } const cases[] = {
      {"  Marienplatz \t\n", "Marienplatz"},
      {"\xC2\xA0\xE3\x80\x80"
       "Caf\xC3\xA9\xE2\x80\xA8",
       "Caf\xC3\xA9"}, // NBSP, ideographic space, LS
      {"\xE2\x80\x8B"
       "x",
       "\xE2\x80\x8B"
       "x"}, // zero-width space is not White_Space
      {"   ", ""},
      {"", ""},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(base::utf8::trim(c.in), c.out);
  }
}

TEST(Utf8, LowerCaseIsUnicodeAware) {
  EXPECT_EQ(base::utf8::to_lower("CAF\xC3\x89 GL\xC3\x9C"
                                 "CK"),
            "caf\xC3\xA9 gl\xC3\xBC"
            "ck");
  EXPECT_EQ(base::utf8::to_lower(""), "");
}

TEST(FormatF64, ShortestRoundTripKeepsIntegralFraction) {
  struct Case {
    double v;
    char const* text;
  } const cases[] = {
      {14.0, "14.0"},       {14.4, "14.4"},
      {48.1371, "48.1371"}, {-0.5, "-0.5"},
      {0.0, "0.0"},         {1e15, "1000000000000000.0"},
      {1e16, "1e16"},       {1.5e16, "1.5e16"},
      {0.0001, "0.0001"},   {1e-5, "0.00001"},
      {1e-6, "1e-6"},       {0.1 + 0.2, "0.30000000000000004"},
      {5e-324, "5e-324"},   {1.7976931348623157e308, "1.7976931348623157e308"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(base::format_f64(c.v), c.text);
  }
}

TEST(ManualClock, MovesOnlyWhenTold) {
  base::ManualClock clock;
  auto const start = clock.now();
  EXPECT_EQ(clock.now(), start);
  clock.advance(std::chrono::milliseconds(280));
  EXPECT_EQ(clock.now() - start, std::chrono::milliseconds(280));
  auto const a = base::system_clock().now();
  auto const b = base::system_clock().now();
  EXPECT_LE(a, b);
}
