#include "ui/format.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include <gtest/gtest.h>

#include "platform/format/bytes.h"

namespace maps {
namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

TEST(FormatDistance, MetresAndKilometres) {
  struct Case {
    double m;
    char const* text;
  } const cases[] = {
      {944.0, "940 m"},
      {945.0, "950 m"},
      {949.9, "950 m"},
      {950.0, "0.9 km"},
      {3.0, "0 m"},
      {5.0, "10 m"},
      {-5.0, "-10 m"},
      {-12.0, "-10 m"},
      {12345.0, "12.3 km"},
      {1049.0, "1.0 km"},
      {NaN, "NaN km"},
      {Inf, "inf km"},
      {-Inf, "-9223372036854775808 m"},
      {-1e300, "-9223372036854775808 m"},
      {0.0, "0 m"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.m);
    EXPECT_EQ(format_distance(c.m), c.text);
  }
}

TEST(FormatDuration, MinutesAndHours) {
  struct Case {
    double s;
    char const* text;
  } const cases[] = {
      {29.0, "0 min"},
      {30.0, "1 min"},
      {3569.0, "59 min"},
      {3570.0, "1 h"},
      {5400.0, "1 h 30 min"},
      {7260.0, "2 h 1 min"},
      {-90.0, "-2 min"},
      {NaN, "0 min"},
      {Inf, "153722867280912930 h 7 min"},
      {-Inf, "-9223372036854775808 min"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.s);
    EXPECT_EQ(format_duration(c.s), c.text);
  }
}

TEST(FormatByteSize, DecimalUnitsLikeThePlatform) {
  struct Case {
    std::uint64_t n;
    char const* text;
  } const cases[] = {
      {0, "0 B"},
      {999, "999 B"},
      {1000, "1.0 KB"},
      {999999, "1000.0 KB"},
      {1000000, "1.0 MB"},
      {47542000, "47.5 MB"},
      {2300000000, "2.3 GB"},
      {UINT64_MAX, "18446744073.7 GB"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.n);
    EXPECT_EQ(format_byte_size(c.n), c.text);
    EXPECT_EQ(format_byte_size(c.n), zarn_ui::format::bytes(c.n));
  }
}

TEST(FormatClock, WallClockAtTheOffset) {
  // 2024-05-01T07:41:00Z
  std::int64_t const t = 1714549260;
  struct Case {
    ZonedTime time;
    char const* text;
  } const cases[] = {
      {{t, 0}, "07:41"},
      {{t, 2 * 3600}, "09:41"},
      {{t, -8 * 3600}, "23:41"},
      {{t + 16 * 3600 + 19 * 60, 5 * 3600 + 30 * 60}, "05:30"},
      {{-60, 0}, "23:59"},
      {{0, 9 * 3600 + 5 * 60}, "09:05"},
      {{std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int32_t>::max()},
       "18:44"},
      {{std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int32_t>::min()},
       "05:15"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(format_clock(c.time), c.text);
  }
}

TEST(FormatScaleBar, PresetLengths) {
  auto const equator0 = scale_bar_label(0.0, 0.0, 100.0);
  EXPECT_EQ(equator0.label, "100 km");
  EXPECT_NEAR(equator0.length_px, 100000.0 / (40075016.68557849 / 256.0), 1e-12);
  EXPECT_NEAR(equator0.length_px, 0.639, 0.001);

  struct Case {
    double lat, zoom, max_px;
    char const* label;
  } const cases[] = {
      {48.1371, 14.4, 110.0, "500 m"}, {48.1371, 10.0, 110.0, "10 km"}, {0.0, 19.0, 110.0, "20 m"},
      {0.0, 25.0, 110.0, "1 m"},       {0.0, 14.0, NaN, "1 m"},         {NaN, 14.0, 110.0, "1 m"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.label);
    ScaleBar const bar = scale_bar_label(c.lat, c.zoom, c.max_px);
    EXPECT_EQ(bar.label, c.label);
    if (std::isfinite(c.lat) && std::isfinite(c.max_px) && c.zoom < 20) {
      EXPECT_LE(bar.length_px, c.max_px);
    }
  }
  // When even 1 m does not fit, the bar is longer than allowed.
  ScaleBar const tiny = scale_bar_label(0.0, 25.0, 110.0);
  EXPECT_GT(tiny.length_px, 110.0);
}

} // namespace
} // namespace maps
