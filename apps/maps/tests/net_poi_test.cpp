#include "net/poi.h"

#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "local_server.h"
#include "net/http.h"

namespace maps {
namespace {

TEST(PoiQuery, UrlGoldenWithBoxAndEncodedQuery) {
  std::string const box = "(48.12346,11.50000,48.20000,-11.60000)";
  std::string const query =
      "[out:json][timeout:20];("
      "nwr[\"amenity\"~\"^(restaurant|cafe|bar|pub|fast_food|biergarten|hospital|clinic|"
      "pharmacy|bank|cinema|theatre)$\"]" +
      box +
      ";"
      "nwr[\"shop\"]" +
      box +
      ";"
      "nwr[\"tourism\"~\"^(museum|gallery|artwork|attraction|viewpoint|hotel|hostel|"
      "guest_house)$\"]" +
      box +
      ";"
      "nwr[\"leisure\"~\"^(park|garden)$\"]" +
      box +
      ";"
      "nwr[\"railway\"~\"^(station|halt|tram_stop)$\"]" +
      box +
      ";"
      "nwr[\"highway\"=\"bus_stop\"]" +
      box +
      ";"
      "nwr[\"public_transport\"=\"station\"]" +
      box +
      ";"
      ");out center 250;";
  std::string const url = poi_query_url("https://poi.test", 48.123456, 11.5, 48.2, -11.6);
  EXPECT_EQ(url, "https://poi.test/api/interpreter?data=" + url_encode(query));
  // Spot-check the encoding of the first statement.
  EXPECT_THAT(url, testing::StartsWith(
                       "https://poi.test/api/interpreter?data=%5Bout%3Ajson%5D%5Btimeout%3A20%5D"
                       "%3B%28nwr%5B%22amenity%22~%22%5E%28restaurant%7Ccafe"));
  EXPECT_THAT(url, testing::HasSubstr("%2848.12346%2C11.50000%2C48.20000%2C-11.60000%29%3B"));
}

TEST(PoiCategory, TagMapping) {
  struct Case {
    char const* key;
    char const* value;
    PlaceCategory category;
  } const cases[] = {
      {"amenity", "cafe", PlaceCategory::Cafe},
      {"amenity", "fast_food", PlaceCategory::Restaurant},
      {"amenity", "biergarten", PlaceCategory::Bar},
      {"amenity", "doctors", PlaceCategory::Hospital},
      {"amenity", "pharmacy", PlaceCategory::Other},
      {"Amenity", "cafe", PlaceCategory::Other},
      {"amenity", "Cafe", PlaceCategory::Other},
      {"tourism", "gallery", PlaceCategory::Museum},
      {"tourism", "motel", PlaceCategory::Hotel},
      {"tourism", "monument", PlaceCategory::Landmark},
      {"tourism", "camp_site", PlaceCategory::Other},
      {"historic", "anything", PlaceCategory::Landmark},
      {"leisure", "nature_reserve", PlaceCategory::Park},
      {"leisure", "pitch", PlaceCategory::Other},
      {"shop", "", PlaceCategory::Shop},
      {"railway", "tram_stop", PlaceCategory::Transit},
      {"public_transport", "platform", PlaceCategory::Transit},
      {"highway", "bus_stop", PlaceCategory::Transit},
      {"highway", "primary", PlaceCategory::Other},
      {"building", "yes", PlaceCategory::Other},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(testing::Message() << c.key << "=" << c.value);
    EXPECT_EQ(category_from_osm_tag(c.key, c.value), c.category);
  }
}

TEST(PoiParse, FixtureRecords) {
  auto const pois = parse_pois(std::string(test::read_fixture("overpass.json")));
  ASSERT_TRUE(pois.has_value()) << pois.error();
  ASSERT_EQ(pois->size(), 4u);

  Poi const ratskeller{
      .id = "osm-node-203",
      .name = "Ratskeller",
      .address = "Marienplatz 8, München",
      .opening_hours = "Mo-Su 10:00-23:00",
      .website = "https://ratskeller.example",
      .phone = "+49 89 2199890",
      .detail = "regional german",
      .pos = {48.1374, 11.5755},
      .category = PlaceCategory::Restaurant,
  };
  EXPECT_EQ((*pois)[0], ratskeller);

  Poi const& store = (*pois)[1];
  EXPECT_EQ(store.id, "osm-way-3001");
  EXPECT_EQ(store.pos, (LatLon{48.1351, 11.5820}));
  EXPECT_EQ(store.address, "München");
  EXPECT_EQ(store.detail, "department store");
  EXPECT_EQ(store.category, PlaceCategory::Shop);
  EXPECT_EQ(store.website, std::nullopt);

  Poi const& pharmacy = (*pois)[2];
  EXPECT_EQ(pharmacy.id, "osm-node-206");
  EXPECT_EQ(pharmacy.category, PlaceCategory::Other);
  EXPECT_EQ(pharmacy.address, ""); // a number without a street is dropped

  Poi const& park = (*pois)[3];
  EXPECT_EQ(park.id, "osm-relation-208");
  EXPECT_EQ(park.website, "https://garten.example");
  EXPECT_EQ(park.category, PlaceCategory::Park);
}

TEST(PoiParse, AnswersWithoutElementsAreEmpty) {
  for (char const* answer : {R"({})", R"({"elements":{}})", R"({"elements":"x"})", R"([])",
                             R"({"elements":[1, "x", null, {"tags":"x"}]})",
                             R"({"remark":"runtime remark: nothing to see","elements":[]})"}) {
    SCOPED_TRACE(answer);
    auto const pois = parse_pois(std::string(answer));
    ASSERT_TRUE(pois.has_value()) << pois.error();
    EXPECT_TRUE(pois->empty());
  }
}

TEST(PoiParse, ElementDefaults) {
  auto const pois = parse_pois(std::string(
      R"({"elements":[{"lat":1,"lon":2,"tags":{"shop":"bakery","name":"Beck","addr:street":"Tal",
          "contact:phone":"089","opening_hours":""}},
        {"type":"way","id":"9","lat":1,"lon":2,"tags":{"amenity":"cafe","name":"Two"}}]})"));
  ASSERT_TRUE(pois.has_value());
  ASSERT_EQ(pois->size(), 2u);
  EXPECT_EQ((*pois)[0].id, "osm-node-0");
  EXPECT_EQ((*pois)[0].address, "Tal");
  EXPECT_EQ((*pois)[0].phone, "089");
  EXPECT_EQ((*pois)[0].opening_hours, std::nullopt);
  EXPECT_EQ((*pois)[0].detail, "bakery");
  EXPECT_EQ((*pois)[1].id, "osm-way-0"); // an id given as text reads as 0
  EXPECT_EQ((*pois)[1].name, "Two");
}

TEST(PoiParse, DuplicatesKeepTheFirst) {
  auto const pois = parse_pois(std::string(
      R"({"elements":[{"type":"node","id":1,"lat":1,"lon":2,"tags":{"shop":"a","name":"First"}},
        {"type":"node","id":1,"lat":3,"lon":4,"tags":{"shop":"b","name":"Second"}},
        {"type":"way","id":1,"lat":3,"lon":4,"tags":{"shop":"b","name":"Way"}}]})"));
  ASSERT_TRUE(pois.has_value());
  ASSERT_EQ(pois->size(), 2u);
  EXPECT_EQ((*pois)[0].name, "First");
  EXPECT_EQ((*pois)[1].name, "Way");
}

TEST(PoiParse, ServiceSideFailureIsAnErrorInTheUsersWords) {
  // The service's own wording goes to the log.
  auto const pois = parse_pois(std::string(test::read_fixture("overpass_runtime_error.json")));
  ASSERT_FALSE(pois.has_value());
  EXPECT_EQ(pois.error(), "the places service timed out");
}

TEST(PoiServed, FetchAndErrorBranches) {
  test::ScriptedServer srv;
  srv.answer_fixture("overpass.json");
  auto const pois = fetch_pois(srv.base_url(), 48.1, 11.5, 48.2, 11.6);
  ASSERT_TRUE(pois.has_value()) << pois.error();
  EXPECT_EQ(pois->size(), 4u);
  EXPECT_EQ(srv.target(), poi_query_url("", 48.1, 11.5, 48.2, 11.6));

  struct Case {
    int status;
    std::string body;
    char const* error;
  } const cases[] = {
      {429, "{}", "HTTP 429 Too Many Requests"},
      {504, "{}", "HTTP 504 Gateway Timeout"},
      {400, "{}", "HTTP 400 Bad Request"},
      {200, test::read_fixture("overpass_runtime_error.json"), "the places service timed out"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.status);
    srv.answer(c.status, c.body);
    auto const r = fetch_pois(srv.base_url(), 48.1, 11.5, 48.2, 11.6);
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error(), c.error);
  }
  srv.answer(200, "[1,2]");
  auto const not_object = fetch_pois(srv.base_url(), 48.1, 11.5, 48.2, 11.6);
  ASSERT_TRUE(not_object.has_value());
  EXPECT_TRUE(not_object->empty());
}

// Shapes of real points-of-interest answers, served; `names` are the records kept.
TEST(PoiServed, RealAnswerShapes) {
  test::ScriptedServer srv;
  test::ServedAnswer const cases[] = {
      {"positions off the globe are skipped; a valid centre still counts",
       200,
       R"({"elements":[)"
       R"({"type":"node","id":1,"lat":1e308,"lon":11.5,"tags":{"name":"Far","amenity":"cafe"}},)"
       R"({"type":"node","id":2,"lat":48.1,"lon":-181,"tags":{"name":"West","amenity":"cafe"}},)"
       R"({"type":"way","id":3,"center":{"lat":48.1,"lon":11.5},)"
       R"("tags":{"name":"Centre","amenity":"cafe"}}]})",
       {"Centre"}},
      {"a latitude too large for a double is skipped where it is read",
       200,
       R"({"elements":[)"
       R"({"type":"node","id":1,"lat":1e400,"lon":11.5,"tags":{"name":"Far","amenity":"cafe"}},)"
       R"({"type":"node","id":2,"lat":48.1,"lon":11.5,"tags":{"name":"Near","amenity":"cafe"}}]})",
       {"Near"}},
  };
  test::expect_served_names(srv, cases,
                            [&] { return fetch_pois(srv.base_url(), 48.1, 11.5, 48.2, 11.6); });
}

} // namespace
} // namespace maps
