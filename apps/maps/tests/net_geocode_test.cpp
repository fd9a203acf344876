#include "net/geocode.h"

#include <clocale>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "local_server.h"
#include "net/http.h"

namespace maps {
namespace {

TEST(GeocodeUrl, SearchAndReverseGoldens) {
  EXPECT_EQ(search_url("https://geo.test", "Café am Markt & Söhne+1"),
            "https://geo.test/search?q=Caf%C3%A9%20am%20Markt%20%26%20S%C3%B6hne%2B1"
            "&format=jsonv2&limit=8&addressdetails=1");
  EXPECT_EQ(search_url("https://geo.test", ""),
            "https://geo.test/search?q=&format=jsonv2&limit=8&addressdetails=1");
  EXPECT_EQ(reverse_url("https://geo.test", 48.1371, -11.5),
            "https://geo.test/reverse?lat=48.137100&lon=-11.500000&format=jsonv2&zoom=16"
            "&addressdetails=1");
}

TEST(GeocodeUrl, NumbersIgnoreTheCLocale) {
  char const* const previous = std::setlocale(LC_NUMERIC, nullptr);
  std::string const saved = previous != nullptr ? previous : "C";
  // A locale with a decimal comma, when the system has one; the URL must not change.
  bool found = false;
  for (char const* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"}) {
    if (std::setlocale(LC_NUMERIC, name) != nullptr) {
      found = true;
      break;
    }
  }
  if (!found) {
    GTEST_SKIP() << "no locale with a decimal comma installed";
  }
  std::string const url = reverse_url("https://geo.test", 48.1371, 11.5754);
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_EQ(url, "https://geo.test/reverse?lat=48.137100&lon=11.575400&format=jsonv2&zoom=16"
                 "&addressdetails=1");
}

TEST(GeocodePlace, NamesIdsAndCategories) {
  struct Case {
    char const* what;
    char const* hit;
    char const* id;
    char const* name;
    PlaceCategory category;
  } const cases[] = {
      {"named cafe", R"({"lat":"1","lon":"2","name":"Café","class":"amenity","type":"cafe",
        "osm_type":"node","osm_id":42})",
       "osm-node-42", "Café", PlaceCategory::Cafe},
      {"category when no class", R"({"lat":"1","lon":"2","name":"Laden","category":"shop",
        "type":"bakery"})",
       "osm-n-0", "Laden", PlaceCategory::Shop},
      {"road and number", R"({"lat":"1","lon":"2","address":{"road":"Leopoldstraße",
        "house_number":"12"}})",
       "osm-n-0", "Leopoldstraße 12", PlaceCategory::Other},
      {"road, empty number", R"({"lat":"1","lon":"2","address":{"road":"Leopoldstraße",
        "house_number":""}})",
       "osm-n-0", "Leopoldstraße", PlaceCategory::Other},
      {"footway when no road", R"({"lat":"1","lon":"2","address":{"footway":"Isarweg"}})",
       "osm-n-0", "Isarweg", PlaceCategory::Other},
      {"empty road does not fall through", R"({"lat":"1","lon":"2","address":{"road":"",
        "pedestrian":"Kaufingerstraße"},"display_name":"Neuhauser Str., München"})",
       "osm-n-0", "Neuhauser Str.", PlaceCategory::Other},
      {"digit part skipped",
       R"({"lat":"1","lon":"2","display_name":"12, , Leopoldstraße, München"})", "osm-n-0",
       "Leopoldstraße", PlaceCategory::Other},
      {"nothing usable", R"({"lat":"1","lon":"2","display_name":" 7 , 12"})", "osm-n-0", "Place",
       PlaceCategory::Other},
      {"id as a string", R"({"lat":"1","lon":"2","osm_type":"node","osm_id":"42"})", "osm-node-0",
       "Place", PlaceCategory::Other},
      {"id out of range", R"({"lat":"1","lon":"2","osm_type":"way","osm_id":18446744073709551615})",
       "osm-way-0", "Place", PlaceCategory::Other},
      {"negative id", R"({"lat":"1","lon":"2","osm_type":"way","osm_id":-5})", "osm-way--5",
       "Place", PlaceCategory::Other},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.what);
    auto const place = parse_geocoder_place(std::string(c.hit));
    ASSERT_TRUE(place.has_value());
    EXPECT_EQ(place->id, c.id);
    EXPECT_EQ(place->name, c.name);
    EXPECT_EQ(place->category, c.category);
    EXPECT_EQ(place->pos, (LatLon{1.0, 2.0}));
    EXPECT_FALSE(place->saved);
  }
}

TEST(GeocodePlace, RejectsHitsWithoutUsableCoordinateTexts) {
  for (char const* hit : {R"({"lat":48.1,"lon":11.5,"name":"x"})", R"({"lat":"48.1","name":"x"})",
                          R"({"lat":"48.1x","lon":"11.5"})", R"({"lat":"","lon":"11.5"})",
                          R"({"lat":"nan","lon":"11.5"})", R"({"lat":"1e999","lon":"11.5"})",
                          R"({"lat":null,"lon":"11.5"})", R"({"lat":"+-48.1","lon":"11.5"})",
                          R"({"lat":"++48.1","lon":"11.5"})", R"("just text")", R"([1,2])"}) {
    SCOPED_TRACE(hit);
    EXPECT_FALSE(parse_geocoder_place(std::string(hit)).has_value());
  }
  auto const place = parse_geocoder_place(std::string(R"({"lat":"-33.5","lon":"+151"})"));
  ASSERT_TRUE(place.has_value());
  EXPECT_EQ(place->pos, (LatLon{-33.5, 151.0}));
}

TEST(GeocodeArea, BoundingBoxOrFallback) {
  struct Case {
    char const* what;
    char const* box;
    LatLon min, max;
  } const cases[] = {
      {"four strings", R"(["48.0","48.2","11.3","11.7"])", {48.0, 11.3}, {48.2, 11.7}},
      {"taken as they come", R"(["48.2","48.0","11.7","11.3"])", {48.2, 11.7}, {48.0, 11.3}},
      {"three elements",
       R"(["48.0","48.2","11.3"])",
       {48.1 - 0.006, 11.5 - 0.006},
       {48.1 + 0.006, 11.5 + 0.006}},
      {"a number among them",
       R"(["48.0",48.2,"11.3","11.7"])",
       {48.1 - 0.006, 11.5 - 0.006},
       {48.1 + 0.006, 11.5 + 0.006}},
      {"not an array", R"({"s":"48"})", {48.1 - 0.006, 11.5 - 0.006}, {48.1 + 0.006, 11.5 + 0.006}},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.what);
    auto const hit = std::string(std::string(R"({"lat":"48.1","lon":"11.5","name":"Au",)") +
                                 R"("display_name":" Au , München","boundingbox":)" + c.box + "}");
    auto const area = parse_search_hit(hit);
    ASSERT_TRUE(area.has_value());
    EXPECT_EQ(area->min, c.min);
    EXPECT_EQ(area->max, c.max);
    EXPECT_EQ(area->label, "Au");
    EXPECT_EQ(area->name, "Au");
    EXPECT_EQ(area->pos, (LatLon{48.1, 11.5}));
  }
  auto const no_comma =
      parse_search_hit(std::string(R"({"lat":"1","lon":"2","display_name":" Au "})"));
  ASSERT_TRUE(no_comma.has_value());
  EXPECT_EQ(no_comma->label, " Au ");
}

TEST(GeocodeReverse, NameOrFirstTwoPartsOrError) {
  struct Case {
    char const* answer;
    char const* label; // nullptr: the error
  } const cases[] = {
      {R"({"name":"Rathaus","display_name":"a, b"})", "Rathaus"},
      {R"({"name":"","display_name":" Marienplatz 8 , Altstadt ,München"})",
       "Marienplatz 8, Altstadt"},
      {R"({"display_name":"Marienplatz"})", "Marienplatz"},
      {R"({"display_name":", , x"})", ", "},
      {R"({"name":"","display_name":""})", nullptr},
      {R"({"error":"Unable to geocode"})", nullptr},
      {R"([1])", nullptr},
      {R"("Marienplatz")", nullptr},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.answer);
    auto const r = parse_reverse_answer(std::string(c.answer));
    if (c.label != nullptr) {
      ASSERT_TRUE(r.has_value()) << r.error();
      EXPECT_EQ(*r, c.label);
    } else {
      ASSERT_FALSE(r.has_value());
      EXPECT_EQ(r.error(), "no address for this location");
    }
  }
}

TEST(GeocodeServed, SearchParsesTheFixtureAndSkipsBadHits) {
  test::ScriptedServer srv;
  srv.answer_fixture("nominatim_search.json");
  auto const places = search_places(srv.base_url(), "Marienplatz München");
  ASSERT_TRUE(places.has_value()) << places.error();
  EXPECT_EQ(srv.target(),
            "/search?q=Marienplatz%20M%C3%BCnchen&format=jsonv2&limit=8&addressdetails=1");
  ASSERT_EQ(places->size(), 3u);
  EXPECT_EQ((*places)[0],
            new_place("osm-node-42", "Café Glockenspiel", PlaceCategory::Cafe, 48.1372, 11.5755,
                      "Café Glockenspiel, 28, Marienplatz, Altstadt, München, "
                      "Bayern, 80331, Deutschland"));
  EXPECT_EQ((*places)[1].name, "Leopoldstraße 12");
  EXPECT_EQ((*places)[1].id, "osm-way-1001");
  EXPECT_EQ((*places)[2].id, "osm-relation-62428");

  auto const areas = search_places_with_bounds(srv.base_url(), "Marienplatz");
  ASSERT_TRUE(areas.has_value()) << areas.error();
  ASSERT_EQ(areas->size(), 3u);
  EXPECT_EQ((*areas)[1].min, (LatLon{48.15 - 0.006, 11.58 - 0.006}));
  EXPECT_EQ((*areas)[2], (AreaHit{"München",
                                  "München",
                                  {48.1371079, 11.5753822},
                                  {48.0616244, 11.3607770},
                                  {48.2481162, 11.7229099}}));
}

TEST(GeocodeServed, ReverseParsesTheFixture) {
  test::ScriptedServer srv;
  srv.answer_fixture("nominatim_reverse.json");
  auto const label = reverse_geocode(srv.base_url(), 48.1371, 11.5754);
  ASSERT_TRUE(label.has_value()) << label.error();
  EXPECT_EQ(*label, "Marienplatz 8, Altstadt-Lehel");
  EXPECT_EQ(srv.target(),
            "/reverse?lat=48.137100&lon=11.575400&format=jsonv2&zoom=16&addressdetails=1");
}

TEST(GeocodeServed, ErrorBranches) {
  test::ScriptedServer srv;
  struct Case {
    int status;
    char const* body;
    char const* search_error; // nullptr: an empty list
    char const* reverse_error;
  } const cases[] = {
      {200, "[]", nullptr, "no address for this location"},
      {200, R"({"error":"Unable to geocode"})", "unexpected response",
       "no address for this location"},
      {200, R"("text")", "unexpected response", "no address for this location"},
      {400, "{}", "HTTP 400 Bad Request", "HTTP 400 Bad Request"},
      {404, "{}", "HTTP 404 Not Found", "HTTP 404 Not Found"},
      {429, "{}", "HTTP 429 Too Many Requests", "HTTP 429 Too Many Requests"},
      {500, "{}", "HTTP 500 Internal Server Error", "HTTP 500 Internal Server Error"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(testing::Message() << c.status << " " << c.body);
    srv.answer(c.status, c.body);
    auto const s = search_places(srv.base_url(), "x");
    auto const a = search_places_with_bounds(srv.base_url(), "x");
    if (c.search_error == nullptr) {
      ASSERT_TRUE(s.has_value()) << s.error();
      EXPECT_TRUE(s->empty());
      ASSERT_TRUE(a.has_value()) << a.error();
      EXPECT_TRUE(a->empty());
    } else {
      ASSERT_FALSE(s.has_value());
      EXPECT_EQ(s.error(), c.search_error);
      ASSERT_FALSE(a.has_value());
      EXPECT_EQ(a.error(), c.search_error);
    }
    auto const r = reverse_geocode(srv.base_url(), 1.0, 2.0);
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error(), c.reverse_error);
  }
  for (char const* broken : {"", "[{\"lat\":"}) {
    SCOPED_TRACE(broken);
    srv.answer(200, broken);
    auto const s = search_places(srv.base_url(), "x");
    ASSERT_FALSE(s.has_value());
    EXPECT_EQ(s.error(), ANSWER_UNREADABLE);
  }
}

// Shapes of real geocoder answers, served; `names` are the hits kept, or `error` the failure.
TEST(GeocodeServed, RealAnswerShapes) {
  test::ScriptedServer srv;
  // A refusal's message is shown whole, even longer than the texts kept of a place.
  std::string const long_message(5000, 'm');
  test::ServedAnswer const cases[] = {
      {"positions off the globe are skipped, not wrapped",
       200,
       R"([{"lat":"95","lon":"11","name":"N"},{"lat":"48","lon":"540","name":"E"},)"
       R"({"lat":"nan","lon":"1","name":"X"},{"lat":"48.1","lon":"11.5","name":"Ok"}])",
       {"Ok"}},
      {"a Latin-1 byte costs only its own character",
       200,
       "[{\"lat\":\"48.1\",\"lon\":\"11.5\",\"name\":\"M\xFCnchen\"},"
       "{\"lat\":\"48.2\",\"lon\":\"11.6\",\"name\":\"Ok\"}]",
       {"M\xEF\xBF\xBDnchen", "Ok"}},
      {"a huge number in a member nobody reads",
       200,
       R"([{"lat":"48.1","lon":"11.5","name":"Ok","importance":1e400}])",
       {"Ok"}},
      {"a refusal explained in JSON",
       400,
       R"({"error":{"code":400},"message":"Nothing to search"})",
       {},
       "Nothing to search"},
      {"a long refusal",
       400,
       R"({"code":"TooLong","message":")" + long_message + "\"}",
       {},
       long_message.c_str()},
  };
  test::expect_served_names(srv, cases, [&] { return search_places(srv.base_url(), "x"); });
}

TEST(GeocodeArea, BoxOffTheGlobeFallsBackToTheMargin) {
  auto const hit = parse_search_hit(
      std::string(R"({"lat":"48.1","lon":"11.5","boundingbox":["48.0","48.2","11.4","200.0"]})"));
  ASSERT_TRUE(hit.has_value());
  EXPECT_DOUBLE_EQ(hit->max.lon, 11.5 + AREA_HIT_MARGIN);
}

} // namespace
} // namespace maps
