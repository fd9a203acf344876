#include "app/suggestions.h"

#include <gtest/gtest.h>

#include <cmath>

#include "geo/geo.h"

namespace maps {
namespace {

TEST(Suggestions, NormalizeFoldsLatin1CollapsesSpaceAndLowerCases) {
  struct Case {
    char const* in;
    char const* out;
  } const cases[] = {
      {"  Caf\xC3\xA9   M\xC3\x9CNCHEN ", "cafe munchen"},
      {"Stra\xC3\x9F"
       "e",
       "strasse"},
      {"\xC3\x86"
       "ble \xC3\xBD",
       "\xC3\xA6"
       "ble \xC3\xBD"}, // Æ only lower-cased, ý untouched
      {"\xC3\x9E"
       "ORN",
       "\xC3\xBE"
       "orn"}, // Þ lower-cased to þ
      {"a\t\n b\xC2\xA0\xC2\xA0"
       "c",
       "a b c"},
      {"\xCE\xA3\xCE\xA3", "\xCF\x83\xCF\x83"}, // per character: no final sigma
      {"\xC4\xB0", "i\xCC\x87"},                // İ becomes two characters
      {"   ", ""},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(normalize_search_text(c.in), c.out);
  }
}

TEST(Suggestions, MatchRankOfFoldedTexts) {
  struct Case {
    char const* query;
    char const* candidate;
    MatchRank rank;
  } const cases[] = {
      {"Cafe",
       "caf\xC3\xA9 gl\xC3\xBC"
       "ck",
       1},
      {"Cafe", "Das Caf\xC3\xA9", 2},
      {"Cafe", "CAF\xC3\x89", 0},
      {"Cafe", "Bar", 3},
      {"   ", "anything", 0},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(std::string(c.query) + " / " + c.candidate);
    EXPECT_EQ(match_rank(c.query, c.candidate), c.rank);
  }
}

Place at(char const* id, char const* name, double lat, double lon) {
  return new_place(id, name, PlaceCategory::Transit, lat, lon, "");
}

// Metres north of a latitude, close enough for these tests.
double north(double lat, double metres) {
  return lat + metres / 111'195.0;
}

TEST(Suggestions, RankOrdersByMatchThenDistanceAndThinsNearDuplicates) {
  LatLon const ref{48.14, 11.56};
  std::vector<Place> places = {
      at("far-exact", "Hauptbahnhof", north(48.14, 3000), 11.56),
      at("other", "Stachus", 48.14, 11.56),
      at("near-exact", "Hauptbahnhof", north(48.14, 500), 11.56),
      at("dup-100", "hauptbahnhof ", north(48.14, 600), 11.56),
      at("prefix", "Hauptbahnhof Nord", north(48.14, 10), 11.56),
  };
  rank_places_for_query(places, "hauptbahnhof", ref);
  std::vector<std::string> ids;
  for (auto const& p : places) {
    ids.push_back(p.id);
  }
  EXPECT_EQ(ids, (std::vector<std::string>{"near-exact", "far-exact", "prefix", "other"}));
}

TEST(Suggestions, ThinningKeepsBothAtOneHundredFiftyMetresOrMore) {
  LatLon const ref{48.14, 11.56};
  for (double const gap : {100.0, 149.0, 151.0, 200.0}) {
    SCOPED_TRACE(gap);
    std::vector<Place> places = {at("a",
                                    "Caf\xC3\xA9 Gl\xC3\xBC"
                                    "ck",
                                    48.14, 11.56),
                                 at("b", "cafe gluck", north(48.14, gap), 11.56)};
    double const d =
        haversine_m(places[0].pos.lat, places[0].pos.lon, places[1].pos.lat, places[1].pos.lon);
    rank_places_for_query(places, "caf", ref);
    EXPECT_EQ(places.size(), d < 150.0 ? 1u : 2u);
    EXPECT_EQ(places.front().id, "a");
  }
}

TEST(Suggestions, EmptyQueryOrdersByDistanceAndNanDistancesGoLast) {
  std::vector<Place> places = {at("nan", "X", std::nan(""), 11.56), at("far", "Y", 48.2, 11.56),
                               at("near", "Z", 48.141, 11.56)};
  rank_places_for_query(places, "  ", LatLon{48.14, 11.56});
  ASSERT_EQ(places.size(), 3u);
  EXPECT_EQ(places[0].id, "near");
  EXPECT_EQ(places[1].id, "far");
  EXPECT_EQ(places[2].id, "nan");
}

TEST(Suggestions, CategoryKeywords) {
  EXPECT_TRUE(category_keyword_match("coffee near me", PlaceCategory::Cafe));
  EXPECT_TRUE(category_keyword_match("caf", PlaceCategory::Cafe));
  EXPECT_FALSE(category_keyword_match("pizza", PlaceCategory::Restaurant));
  EXPECT_TRUE(category_keyword_match("", PlaceCategory::Shop));
  EXPECT_FALSE(category_keyword_match("", PlaceCategory::Hospital));
  EXPECT_FALSE(category_keyword_match("hospital", PlaceCategory::Hospital));
}

} // namespace
} // namespace maps
