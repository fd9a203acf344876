// What an error message quotes of a caller's input: at most eighty characters, cut on a
// character boundary, whatever the size and bytes of the input.

#include "platform/bus/bus_request.h"

#include <string>

#include <gtest/gtest.h>

namespace zarn_ui::bus {
namespace {

TEST(BusQuote, QuotesAtMostEightyCharactersOfTheInput) {
  std::string const ellipsis = "\xE2\x80\xA6";
  auto const times = [](std::string const& s, std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
      out += s;
    }
    return out;
  };
  struct Case {
    char const* name;
    std::string sent;
    std::string quote;
  } const cases[] = {
      {"empty", "", "''"},
      {"short", "maps.fly", "'maps.fly'"},
      {"exactly eighty", times("x", 80), "'" + times("x", 80) + "'"},
      {"eighty-one", times("x", 81), "'" + times("x", 80) + ellipsis + "'"},
      {"a megabyte", times("x", 1 << 20), "'" + times("x", 80) + ellipsis + "'"},
      {"two-byte characters", times("\xC3\xA9", 100), "'" + times("\xC3\xA9", 80) + ellipsis + "'"},
      {"four-byte characters", times("\xF0\x9F\x97\xBA", 81),
       "'" + times("\xF0\x9F\x97\xBA", 80) + ellipsis + "'"},
      {"bytes that are not UTF-8", "a\xFF", "'a\xEF\xBF\xBD'"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(quoted_input(c.sent), c.quote);
  }
}

} // namespace
} // namespace zarn_ui::bus
