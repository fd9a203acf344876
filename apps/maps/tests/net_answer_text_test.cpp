// Every service parser reads the whole answer text: broken JSON after the members it uses
// still makes the answer unreadable, instead of a result built from the part before the break.

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "net/geocode.h"
#include "net/http.h"
#include "net/poi.h"
#include "net/routing.h"
#include "net/transit.h"

namespace maps {
namespace {

TEST(AnswerText, BrokenTextAnywhereIsUnreadableForEveryParser) {
  using Parse = std::function<std::string(std::string_view)>;
  auto const error_of = [](auto const& result) {
    return result.has_value() ? std::string("ok") : result.error();
  };
  Parse const route = [&](std::string_view t) {
    return error_of(parse_route_answer(t, {1, 2}, {3, 4}, TravelMode::Car));
  };
  Parse const transit = [&](std::string_view t) { return error_of(parse_transit_plan(t)); };
  Parse const search = [&](std::string_view t) { return error_of(parse_search_answer(t)); };
  Parse const areas = [&](std::string_view t) { return error_of(parse_area_search_answer(t)); };
  Parse const reverse = [&](std::string_view t) { return error_of(parse_reverse_answer(t)); };
  Parse const pois = [&](std::string_view t) { return error_of(parse_pois(t)); };
  struct Case {
    char const* what;
    Parse const& parse;
    char const* answer;
    char const* error;
  } const cases[] = {
      {"route: a code before a broken route", route, R"({"code":"NoRoute","routes":[)",
       ANSWER_UNREADABLE},
      {"route: trailing text", route, R"({"code":"Ok"} {})", ANSWER_UNREADABLE},
      {"route: an error code stays an error", route, R"({"code":"NoRoute","routes":[{}]})",
       "NoRoute"},
      {"transit: broken member nobody reads", transit, R"({"itineraries":[],"debug":[1,]})",
       ANSWER_UNREADABLE},
      {"transit: not an object", transit, R"([{"itineraries":[]}])", "no itineraries"},
      {"search: trailing comma", search, R"([{"lat":"1","lon":"2"},])", ANSWER_UNREADABLE},
      {"search: an object, whole", search, R"({"lat":"1","lon":"2"})", "unexpected response"},
      {"search: an object, broken", search, R"({"lat":"1","lon":)", ANSWER_UNREADABLE},
      {"area search: broken hit", areas, R"([{"lat":"1","lon":"2","boundingbox":[}])",
       ANSWER_UNREADABLE},
      {"reverse: bad literal after the name", reverse, R"({"name":"Au","x":tru})",
       ANSWER_UNREADABLE},
      {"reverse: an array", reverse, R"([{"name":"Au"}])", "no address for this location"},
      {"points of interest: broken element after a runtime error", pois,
       R"({"remark":"runtime error: out of memory","elements":[{]})", ANSWER_UNREADABLE},
      {"points of interest: a runtime error", pois,
       R"({"elements":[],"remark":"runtime error: out of memory"})",
       "the places service could not finish the query"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.parse(c.answer), c.error);
  }
}

} // namespace
} // namespace maps
