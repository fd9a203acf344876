#include "platform/format/bytes.h"

#include <gtest/gtest.h>

TEST(FormatBytes, DecimalThresholdsWithOneDecimal) {
  struct Case {
    std::uint64_t n;
    char const* text;
  } const cases[] = {
      {0, "0 B"},
      {999, "999 B"},
      {1000, "1.0 KB"},
      {999'999, "1000.0 KB"},
      {1'000'000, "1.0 MB"},
      {47'542'000, "47.5 MB"},
      {1'000'000'000, "1.0 GB"},
      {UINT64_MAX, "18446744073.7 GB"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.n);
    EXPECT_EQ(zarn_ui::format::bytes(c.n), c.text);
  }
}
