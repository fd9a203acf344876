#include "model/json.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "base/number.h"
#include "model/json_reader.h"

namespace maps {
namespace {

// The message without its " at line L column C" suffix.
std::string message_of(std::string const& error) {
  auto const at = error.rfind(" at line ");
  return at == std::string::npos ? error : error.substr(0, at);
}

template <class T> std::string error_of(std::string_view text) {
  auto const r = from_json_text<T>(text);
  return r ? std::string("ok") : message_of(r.error());
}

Route sample_route() {
  return Route{TravelMode::Car,
               1200.0,
               95.5,
               {{48.0, 11.0}, {48.1371, 11.5754}},
               {{"Head north", 0.0, Maneuver::Depart}, {"Arrive", 12.25, Maneuver::Arrive}},
               {48.0, 11.0},
               {48.1, 11.2}};
}

TransitLeg sample_leg() {
  TransitLeg leg;
  leg.mode = LegMode::Subway;
  leg.line = "U3";
  leg.headsign = "F\xC3\xBCrstenried West";
  leg.from_name = "Marienplatz";
  leg.to_name = "Odeonsplatz";
  leg.dep = "09:02";
  leg.arr = "09:05";
  leg.duration_min = 3;
  leg.num_stops = 1;
  leg.geometry = {{48.137, 11.575}, {48.142, 11.577}};
  return leg;
}

DownloadedRegion sample_region() {
  return {"region:old-town", "Old Town", {48.13, 11.56}, {48.15, 11.59}, 10, 16, 4242};
}

// ---------------------------------------------------------------------------------------------
// Writing

// Numbers convert to the correctly rounded double, whichever way the conversion goes (the
// fast path for short decimals or the general one).
TEST(JsonReaderNumbers, ConvertToTheNearestDouble) {
  char const* const tokens[] = {"0",
                                "-0",
                                "0.1",
                                "-48.1371",
                                "11.575400",
                                "1e22",
                                "1e23",
                                "1.5e-22",
                                "9007199254740993",
                                "9007199254740992.5",
                                "0.30000000000000004",
                                "123456789012345678901",
                                "1.7976931348623157e308",
                                "4.9e-324",
                                "2.2250738585072014e-308",
                                "0.000000000000000000000001",
                                "1E+2"};
  for (char const* token : tokens) {
    SCOPED_TRACE(token);
    JsonReader r(token);
    auto const got = r.read_number().to_f64();
    double want = 0.0;
    std::string_view const t = token;
    ASSERT_EQ(std::from_chars(t.data(), t.data() + t.size(), want).ec, std::errc{});
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(std::bit_cast<std::uint64_t>(*got), std::bit_cast<std::uint64_t>(want));
  }
  JsonReader huge("-1e400");
  EXPECT_EQ(huge.read_number().to_f64(), std::nullopt);
  JsonReader tiny("-1e-400");
  auto const zero = tiny.read_number().to_f64();
  ASSERT_TRUE(zero.has_value());
  EXPECT_TRUE(*zero == 0.0 && std::signbit(*zero));
}

TEST(ModelJson, WritesPlaceCompactInFieldOrderWithEscapes) {
  Place p = new_place("osm-node-203",
                      "Caf\xC3\xA9 \"Gl\xC3\xBC"
                      "ck\"",
                      PlaceCategory::Cafe, 48.1371, 11.5754, "Str. 1\n\\\x01\x1f\x7f\b\f\r\t/");
  p.saved = true;
  EXPECT_EQ(to_json_text(p),
            "{\"id\":\"osm-node-203\",\"name\":\"Caf\xC3\xA9 \\\"Gl\xC3\xBC"
            "ck\\\"\","
            "\"category\":\"Cafe\",\"address\":\"Str. 1\\n\\\\\\u0001\\u001f\x7f\\b\\f\\r\\t/\","
            "\"pos\":{\"lat\":48.1371,\"lon\":11.5754},\"saved\":true}");
}

TEST(ModelJson, WritesMalformedUtf8AsReplacementCharacter) {
  Place p = new_place("a\xFF"
                      "b",
                      "", PlaceCategory::Other, 0, 0, "");
  std::string const text = to_json_text(p);
  EXPECT_NE(text.find("\"id\":\"a\xEF\xBF\xBD"
                      "b\""),
            std::string::npos)
      << text;
  EXPECT_TRUE(from_json_text<Place>(text).has_value());
  nlohmann::ordered_json const tree = to_json_value(p);
  EXPECT_EQ(tree["id"], "a\xEF\xBF\xBD"
                        "b");
  EXPECT_NO_THROW((void)tree.dump());
}

TEST(ModelJson, WritesRoutePlanWithAbsentEndpointsAsNull) {
  ActivePlan const plan{ActivePlan::Route{sample_route(), std::nullopt, "Map centre", std::nullopt,
                                          "", TravelMode::Car}};
  std::string const text = to_json_text(plan);
  EXPECT_EQ(
      text,
      "{\"Route\":{\"route\":{\"mode\":\"Car\",\"distance_m\":1200.0,\"duration_s\":95.5,"
      "\"geometry\":[{\"lat\":48.0,\"lon\":11.0},{\"lat\":48.1371,\"lon\":11.5754}],"
      "\"steps\":[{\"instruction\":\"Head north\",\"distance_m\":0.0,\"maneuver\":\"Depart\"},"
      "{\"instruction\":\"Arrive\",\"distance_m\":12.25,\"maneuver\":\"Arrive\"}],"
      "\"from\":{\"lat\":48.0,\"lon\":11.0},\"to\":{\"lat\":48.1,\"lon\":11.2}},"
      "\"origin\":null,\"origin_name\":\"Map centre\",\"dest\":null,\"dest_name\":\"\","
      "\"mode\":\"Car\"}}");
  auto const back = from_json_text<ActivePlan>(text);
  ASSERT_TRUE(back) << back.error();
  EXPECT_EQ(*back, plan);
}

TEST(ModelJson, WritesTransitLegWithAbsentColoursAsNull) {
  EXPECT_EQ(to_json_text(sample_leg()),
            "{\"mode\":\"Subway\",\"line\":\"U3\",\"headsign\":\"F\xC3\xBCrstenried West\","
            "\"from_name\":\"Marienplatz\",\"to_name\":\"Odeonsplatz\",\"dep\":\"09:02\","
            "\"arr\":\"09:05\",\"duration_min\":3,\"num_stops\":1,"
            "\"geometry\":[{\"lat\":48.137,\"lon\":11.575},{\"lat\":48.142,\"lon\":11.577}],"
            "\"color\":null,\"text_color\":null,\"agency\":\"\",\"realtime\":false}");
}

TEST(ModelJson, WritesNoPlanAsBareString) {
  EXPECT_EQ(to_json_text(ActivePlan{}), "\"None\"");
  EXPECT_EQ(to_json_text(TransitTime{TransitTimeMode::Arrive, -60}),
            "{\"mode\":\"Arrive\",\"offset_min\":-60}");
}

TEST(ModelJson, WritesDoublesShortestWithFractionAndExponentLayout) {
  struct Case {
    double value;
    char const* text;
  } const cases[] = {
      {14.0, "14.0"},
      {-0.0, "-0.0"},
      {0.0, "0.0"},
      {0.1 + 0.2, "0.30000000000000004"},
      {48.1371, "48.1371"},
      {5e-324, "5e-324"},
      {1e300, "1e300"},
      {1e16, "1e16"},
      {1e15, "1000000000000000.0"},
      {123456789012345680.0, "1.2345678901234568e17"},
      {1.5e-7, "1.5e-7"},
      {0.0001, "0.0001"},
      {0.00001, "0.00001"},
      {0.000001, "1e-6"},
      {0.0000123, "0.0000123"},
      {-2.5, "-2.5"},
      {std::numeric_limits<double>::max(), "1.7976931348623157e308"},
      {std::numeric_limits<double>::quiet_NaN(), "null"},
      {std::numeric_limits<double>::infinity(), "null"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(to_json_text(LatLon{c.value, 1.0}),
              std::string("{\"lat\":") + c.text + ",\"lon\":1.0}");
  }
}

TEST(ModelJson, WritesEveryActionVariant) {
  Place p = new_place("p1", "Park", PlaceCategory::Park, 1.5, 2.0, "");
  std::string const place_text =
      "{\"id\":\"p1\",\"name\":\"Park\",\"category\":\"Park\",\"address\":\"\","
      "\"pos\":{\"lat\":1.5,\"lon\":2.0},\"saved\":false}";
  Route const route{TravelMode::Foot, 1.0, 2.0, {}, {}, {0.0, 0.0}, {1.0, 1.0}};
  std::string const route_text =
      "{\"mode\":\"Foot\",\"distance_m\":1.0,\"duration_s\":2.0,\"geometry\":[],\"steps\":[],"
      "\"from\":{\"lat\":0.0,\"lon\":0.0},\"to\":{\"lat\":1.0,\"lon\":1.0}}";
  TransitJourney const journey{"09:00", "09:30", 30, 1, {}};
  struct Case {
    MapsAction action;
    std::string text;
  } const cases[] = {
      {{MapsAction::UpsertPlaces{{p}}}, "{\"UpsertPlaces\":{\"places\":[" + place_text + "]}}"},
      {{MapsAction::SetPlaceSaved{"p1", true}},
       "{\"SetPlaceSaved\":{\"id\":\"p1\",\"saved\":true}}"},
      {{MapsAction::CommitSearch{"caf\xC3\xA9"}}, "{\"CommitSearch\":{\"query\":\"caf\xC3\xA9\"}}"},
      {{MapsAction::ClearRecents{}}, "\"ClearRecents\""},
      {{MapsAction::SetTravelMode{TravelMode::Transit}},
       "{\"SetTravelMode\":{\"mode\":\"Transit\"}}"},
      {{MapsAction::SetTransitTime{{TransitTimeMode::Arrive, 60}}},
       "{\"SetTransitTime\":{\"value\":{\"mode\":\"Arrive\",\"offset_min\":60}}}"},
      {{MapsAction::ClearRoute{}}, "\"ClearRoute\""},
      {{MapsAction::SetRoute{route, LatLon{0.5, 0.25}, "Here", std::nullopt, "There",
                             TravelMode::Foot}},
       "{\"SetRoute\":{\"route\":" + route_text +
           ",\"origin\":{\"lat\":0.5,\"lon\":0.25},\"origin_name\":\"Here\",\"dest\":null,"
           "\"dest_name\":\"There\",\"mode\":\"Foot\"}}"},
      {{MapsAction::SetTransit{{journey}, std::nullopt, "A", LatLon{1.0, 2.0}, "B"}},
       "{\"SetTransit\":{\"transit\":[{\"dep\":\"09:00\",\"arr\":\"09:30\",\"duration_min\":30,"
       "\"transfers\":1,\"legs\":[]}],\"origin\":null,\"origin_name\":\"A\","
       "\"dest\":{\"lat\":1.0,\"lon\":2.0},\"dest_name\":\"B\"}}"},
      {{MapsAction::ClearTransit{}}, "\"ClearTransit\""},
      {{MapsAction::AddRegion{sample_region()}},
       "{\"AddRegion\":{\"id\":\"region:old-town\",\"name\":\"Old Town\","
       "\"min\":{\"lat\":48.13,\"lon\":11.56},\"max\":{\"lat\":48.15,\"lon\":11.59},"
       "\"z0\":10,\"z1\":16,\"tiles\":4242}}"},
      {{MapsAction::DeleteRegion{"region:old-town"}},
       "{\"DeleteRegion\":{\"id\":\"region:old-town\"}}"},
      {{MapsAction::ClearRegions{}}, "\"ClearRegions\""},
  };
  static_assert(std::size(cases) == MAPS_ACTION_NAMES.size());
  for (auto const& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(to_json_text(c.action), c.text);
    auto const bytes = to_json_bytes(c.action);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), c.text);
    // The value tree has the same form and member order; its label is the string or the one
    // member name.
    nlohmann::ordered_json const tree = to_json_value(c.action);
    EXPECT_EQ(tree, nlohmann::ordered_json::parse(c.text));
    std::string const label = tree.is_string() ? tree.get<std::string>() : tree.begin().key();
    EXPECT_EQ(label, variant_name(c.action));
    auto const back = from_json_bytes<MapsAction>(bytes);
    ASSERT_TRUE(back) << back.error();
    EXPECT_EQ(*back, c.action);
  }
}

TEST(ModelJson, ValueTreeKeepsMemberOrderAndKinds) {
  nlohmann::ordered_json const tree = to_json_value(sample_region());
  std::string order;
  for (auto const& [key, value] : tree.items()) {
    order += key + ",";
  }
  EXPECT_EQ(order, "id,name,min,max,z0,z1,tiles,");
  EXPECT_TRUE(tree["z0"].is_number_unsigned());
  EXPECT_TRUE(tree["min"]["lat"].is_number_float());
  EXPECT_TRUE(
      to_json_value(TransitTime{TransitTimeMode::Depart, -15})["offset_min"].is_number_integer());
}

// ---------------------------------------------------------------------------------------------
// Reading

TEST(ModelJson, ReadsDefaultsOptionalsAndAnyMemberOrder) {
  // Members reordered, whitespace everywhere, an unknown member, no agency/realtime/colours.
  auto const leg = from_json_text<TransitLeg>(
      " { \"num_stops\" : 1 , \"geometry\":[ [48.137, 11.575], {\"lon\":11.577,\"lat\":48.142} ],"
      "\"mode\":{\"Subway\":null},\"line\":\"U3\",\"headsign\":\"F\\u00fcrstenried West\","
      "\"from_name\":\"Marienplatz\",\"to_name\":\"Odeonsplatz\",\"dep\":\"09:02\","
      "\"arr\":\"09:05\",\"duration_min\":3,\"extra\":{\"deep\":[1,{\"x\":null}]}}\n\t");
  ASSERT_TRUE(leg) << leg.error();
  EXPECT_EQ(*leg, sample_leg());
  EXPECT_FALSE(leg->color.has_value());

  auto const coloured = from_json_text<TransitLeg>(
      "[\"Bus\",\"17\",\"\",\"\",\"\",\"\",\"\",0,0,[],\"eb690b\",null]");
  ASSERT_TRUE(coloured) << coloured.error();
  EXPECT_EQ(coloured->color, "eb690b");
  EXPECT_FALSE(coloured->text_color.has_value());
  EXPECT_EQ(coloured->agency, "");
  EXPECT_FALSE(coloured->realtime);
}

TEST(ModelJson, ReadsOlderModelLayoutWithDefaults) {
  std::string const text =
      "{\"places\":[{\"id\":\"a\",\"name\":\"A\",\"category\":\"Museum\",\"address\":\"\","
      "\"pos\":{\"lat\":1,\"lon\":2},\"saved\":true}],\"recents\":[\"cafe\"],\"selected\":null,"
      "\"route\":null,\"transit\":[],\"transit_choice\":18446744073709551615,"
      "\"panel\":\"Directions\",\"mode\":\"Bike\",\"query\":\"q\",\"results\":[],"
      "\"origin\":[1.5,2.5],\"origin_name\":\"Home\",\"dest\":null,"
      "\"center\":{\"lat\":48.1371,\"lon\":11.5754},\"zoom\":15,\"status\":\"\"}";
  auto const m = from_json_text<MapModel>(text);
  ASSERT_TRUE(m) << m.error();
  EXPECT_EQ(m->places.size(), 1u);
  EXPECT_TRUE(m->places[0].saved);
  EXPECT_EQ(m->transit_choice, std::numeric_limits<std::size_t>::max());
  EXPECT_EQ(m->panel, Panel::Directions);
  EXPECT_EQ(m->origin, (LatLon{1.5, 2.5}));
  EXPECT_EQ(m->zoom, 15.0);
  EXPECT_TRUE(m->regions.empty());
  EXPECT_EQ(m->dest_name, "");
  EXPECT_EQ(m->origin_query, "");
  EXPECT_EQ(m->dest_query, "");
  EXPECT_EQ(m->transit_time, (TransitTime{TransitTimeMode::Depart, 0}));

  std::string without_zoom = text;
  without_zoom.replace(without_zoom.find("\"zoom\":15,"), 10, "");
  EXPECT_EQ(error_of<MapModel>(without_zoom), "missing field `zoom`");
}

TEST(ModelJson, RejectsRecordsThatBreakTheRules) {
  std::string const region_head = "{\"id\":\"r\",\"name\":\"n\",\"min\":[0,0],\"max\":[1,1],";
  struct Case {
    char const* name;
    std::function<std::string()> read;
    std::string error;
  } const cases[] = {
      {"missing line", [] { return error_of<TransitLeg>("{\"mode\":\"Walk\"}"); },
       "missing field `line`"},
      {"upper-case member is skipped, then saved is missing",
       [] {
         return error_of<Place>(
             "{\"id\":\"a\",\"name\":\"b\",\"category\":\"Cafe\",\"address\":\"\","
             "\"pos\":[1,2],\"Saved\":true}");
       },
       "missing field `saved`"},
      {"duplicate field", [] { return error_of<LatLon>("{\"lat\":1,\"lon\":2,\"lat\":3}"); },
       "duplicate field `lat`"},
      {"short array", [] { return error_of<Place>("[\"a\",\"b\",\"Cafe\",\"\",[1,2]]"); },
       "invalid length 5, expected struct Place with 6 elements"},
      {"long array", [] { return error_of<LatLon>("[1,2,3,[4]]"); },
       "invalid length 4, expected struct LatLon with 2 elements"},
      {"array missing an optional",
       [] { return error_of<TransitLeg>("[\"Bus\",\"17\",\"\",\"\",\"\",\"\",\"\",0,0,[],null]"); },
       "invalid length 11, expected struct TransitLeg with 14 elements"},
      {"empty model array", [] { return error_of<MapModel>("[]"); },
       "invalid length 0, expected struct MapModel with 21 elements"},
      {"z0 out of range", [&] { return error_of<DownloadedRegion>(region_head + "\"z0\":300}"); },
       "invalid value: integer `300`, expected u8"},
      {"z0 with fraction", [&] { return error_of<DownloadedRegion>(region_head + "\"z0\":3.0}"); },
       "invalid type: floating point `3.0`, expected u8"},
      {"z0 with exponent", [&] { return error_of<DownloadedRegion>(region_head + "\"z0\":3e0}"); },
       "invalid type: floating point `3.0`, expected u8"},
      {"tiles beyond u32",
       [&] { return error_of<DownloadedRegion>(region_head + "\"tiles\":4294967296}"); },
       "invalid value: integer `4294967296`, expected u32"},
      {"negative count", [] { return error_of<TransitJourney>("{\"duration_min\":-1}"); },
       "invalid value: integer `-1`, expected u32"},
      {"offset below i32", [] { return error_of<TransitTime>("[\"Depart\",-2147483649]"); },
       "invalid value: integer `-2147483649`, expected i32"},
      {"integer beyond 64 bits",
       [] { return error_of<TransitTime>("[\"Depart\",184467440737095516160]"); },
       "invalid value: integer `184467440737095516160`, expected i32"},
      {"string for a number", [] { return error_of<LatLon>("{\"lat\":\"1\"}"); },
       "invalid type: string \"1\", expected f64"},
      {"null for a text", [] { return error_of<Place>("{\"id\":null}"); },
       "invalid type: null, expected a string"},
      {"number for a record", [] { return error_of<Route>("7"); },
       "invalid type: integer `7`, expected struct Route"},
      {"lower-case category", [] { return error_of<PlaceCategory>("\"landmark\""); },
       "unknown variant `landmark`, expected one of `Landmark`, `Cafe`, `Restaurant`, `Bar`, "
       "`Museum`, `Park`, `Transit`, `Hotel`, `Shop`, `Hospital`, `Other`"},
      {"two-variant enum", [] { return error_of<TransitTimeMode>("{\"Later\":null}"); },
       "unknown variant `Later`, expected `Depart` or `Arrive`"},
      {"enum object with a value", [] { return error_of<TravelMode>("{\"Car\":1}"); },
       "invalid type: integer `1`, expected unit variant"},
      {"enum object with two members",
       [] { return error_of<TravelMode>("{\"Car\":null,\"Bike\":null}"); },
       "expected an object with a single member"},
      {"huge double", [] { return error_of<LatLon>("[1e400,0]"); }, "number out of range"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.read(), c.error);
  }
}

TEST(ModelJson, AcceptsEnumAndNumberForms) {
  EXPECT_EQ(from_json_text<TravelMode>("{\"Car\":null}"), TravelMode::Car);
  EXPECT_EQ(from_json_text<Maneuver>(" \"SlightLeft\" "), Maneuver::SlightLeft);
  EXPECT_EQ(from_json_text<TransitTime>("[\"Arrive\",-2147483648]"),
            (TransitTime{TransitTimeMode::Arrive, std::numeric_limits<std::int32_t>::min()}));
  EXPECT_EQ(from_json_text<TransitTime>("[\"Arrive\",2147483647]"),
            (TransitTime{TransitTimeMode::Arrive, std::numeric_limits<std::int32_t>::max()}));
  // Doubles take any JSON number; far below the smallest double reads as zero of its sign.
  auto const tiny = from_json_text<LatLon>("[-1e-400,1E+2]");
  ASSERT_TRUE(tiny) << tiny.error();
  EXPECT_TRUE(tiny->lat == 0.0 && std::signbit(tiny->lat));
  EXPECT_EQ(tiny->lon, 100.0);
  EXPECT_EQ(from_json_text<LatLon>("[18446744073709551616,-0]")->lat, 18446744073709551616.0);
  EXPECT_TRUE(std::signbit(from_json_text<LatLon>("[0,-0]")->lon));
}

TEST(ModelJson, RejectsMalformedText) {
  auto nest = [](int depth) {
    // A record whose unknown member holds `depth - 1` nested arrays: `depth` levels in all.
    return "{\"lat\":1,\"lon\":2,\"x\":" + std::string(static_cast<std::size_t>(depth - 1), '[') +
           std::string(static_cast<std::size_t>(depth - 1), ']') + "}";
  };
  struct Case {
    char const* name;
    std::string text;
    std::string error; // "ok" when the text reads
  } const cases[] = {
      {"128 levels", nest(128), "ok"},
      {"129 levels", nest(129), "recursion limit exceeded"},
      {"trailing garbage", "[1,2] x", "trailing characters"},
      {"second value", "[1,2] [3,4]", "trailing characters"},
      {"empty", "", "EOF while parsing a value"},
      {"unterminated", "[1,2", "EOF while parsing a list"},
      {"trailing comma", "[1,2,]", "trailing comma"},
      {"leading zero", "[01,2]", "invalid number"},
      {"bare fraction", "[1.,2]", "invalid number"},
      {"plus sign", "[+1,2]", "expected value"},
      {"single quotes", "{'lat':1}", "key must be a string"},
      {"unpaired high surrogate", "{\"lat\":1,\"lon\":2,\"x\":\"\\ud83d\"}",
       "lone leading surrogate in hex escape"},
      {"high surrogate and non-low", "{\"lat\":1,\"lon\":2,\"x\":\"\\ud83d\\u0041\"}",
       "lone leading surrogate in hex escape"},
      {"lone low surrogate", "{\"lat\":1,\"lon\":2,\"x\":\"\\ude00\"}",
       "lone trailing surrogate in hex escape"},
      {"paired surrogates", "{\"lat\":1,\"lon\":2,\"x\":\"\\ud83d\\ude00\"}", "ok"},
      {"invalid UTF-8", "{\"lat\":1,\"lon\":2,\"x\":\"\xC3\x28\"}", "invalid unicode code point"},
      {"overlong UTF-8", "{\"lat\":1,\"lon\":2,\"x\":\"\xC0\xAF\"}", "invalid unicode code point"},
      {"encoded surrogate", "{\"lat\":1,\"lon\":2,\"x\":\"\xED\xA0\x80\"}",
       "invalid unicode code point"},
      {"raw control character", "{\"lat\":1,\"lon\":2,\"x\":\"a\nb\"}",
       "control character (\\u0000-\\u001F) found while parsing a string"},
      {"bad escape", "{\"lat\":1,\"lon\":2,\"x\":\"\\x\"}", "invalid escape"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(error_of<LatLon>(c.text), c.error);
  }
}

TEST(ModelJson, ErrorsCarryLineAndColumn) {
  auto const r = from_json_text<LatLon>("{\n  \"lat\": 1,\n  \"lat\": 2\n}");
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error(), "duplicate field `lat` at line 3 column 8");
}

TEST(ModelJson, DecodesStringEscapes) {
  auto const p =
      from_json_text<Place>("[\"\\\"\\\\\\/\\b\\f\\n\\r\\t\","
                            "\"\\u00e9\\u20AC\\ud83d\\ude00\",\"Other\",\"\",[0,0],false]");
  ASSERT_TRUE(p) << p.error();
  EXPECT_EQ(p->id, "\"\\/\b\f\n\r\t");
  EXPECT_EQ(p->name, "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
}

TEST(ModelJson, ReadsPlanForms) {
  struct Case {
    char const* text;
    std::string error; // "ok" when the text reads
  } const cases[] = {
      {"\"None\"", "ok"},
      {"{\"None\":null}", "ok"},
      {"null", "invalid type: null, expected enum ActivePlan"},
      {"\"Route\"", "invalid type: string \"Route\", expected struct variant"},
      {"\"Transit\"", "invalid type: string \"Transit\", expected struct variant"},
      {"{\"Route\":null}", "invalid type: null, expected struct variant ActivePlan::Route"},
      {"{\"Transit\":[[]]}",
       "invalid length 1, expected struct variant ActivePlan::Transit with 5 elements"},
      {"{\"Transit\":[[],null,\"\",null,\"\"]}", "ok"},
      {"{\"None\":null,\"Route\":null}", "expected an object with a single member"},
      {"{}", "expected an object with a single member"},
      {"{\"none\":null}", "unknown variant `none`, expected one of `None`, `Route`, `Transit`"},
      {"{\"None\":false}", "invalid type: boolean `false`, expected unit variant"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(error_of<ActivePlan>(c.text), c.error);
  }
}

TEST(ModelJson, ReadsActionForms) {
  struct Case {
    char const* text;
    std::string error; // "ok", or the error text
  } const cases[] = {
      {"{\"ClearRoute\":null}", "ok"},
      {"\"AddRegion\"", "invalid type: string \"AddRegion\", expected newtype variant"},
      {"{\"AddRegion\":\"x\"}", "invalid type: string \"x\", expected struct DownloadedRegion"},
      {"{\"AddRegion\":[\"r\",\"n\",[0,0],[1,1],1,2,3]}", "ok"},
      {"\"SetRoute\"", "invalid type: string \"SetRoute\", expected struct variant"},
      {"{\"SetRoute\":{\"route\":{\"mode\":\"Car\",\"distance_m\":0,\"duration_s\":0,"
       "\"geometry\":[],\"steps\":[],\"from\":[0,0],\"to\":[0,0]},\"origin_name\":\"\","
       "\"dest_name\":\"\"}}",
       "missing field `mode`"},
      {"{\"SetPlaceSaved\":[\"a\"]}",
       "invalid length 1, expected struct variant MapsAction::SetPlaceSaved with 2 elements"},
      {"{\"UpsertPlaces\":[]}",
       "invalid length 0, expected struct variant MapsAction::UpsertPlaces with 1 element"},
      {"{\"CommitSearch\":5}",
       "invalid type: integer `5`, expected struct variant MapsAction::CommitSearch"},
      {"{\"CommitSearch\":{\"query\":\"a\",\"extra\":[1]}}", "ok"},
      {"{\"DeleteRegion\":[\"r\"]}", "ok"},
      {"{\"ClearRecents\":{}}", "invalid type: map, expected unit variant"},
      {"{\"Bogus\":{}}",
       "unknown variant `Bogus`, expected one of `UpsertPlaces`, `SetPlaceSaved`, "
       "`CommitSearch`, `ClearRecents`, `SetTravelMode`, `SetTransitTime`, `ClearRoute`, "
       "`SetRoute`, `SetTransit`, `ClearTransit`, `AddRegion`, `DeleteRegion`, `ClearRegions`"},
      {"\"ClearRegions\" \"ClearRegions\"", "trailing characters"},
      {"[\"ClearRoute\"]", "invalid type: sequence, expected enum MapsAction"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(error_of<MapsAction>(c.text), c.error);
  }
  auto const route = from_json_text<MapsAction>(
      "{\"SetRoute\":{\"route\":{\"mode\":\"Car\",\"distance_m\":0,\"duration_s\":0,"
      "\"geometry\":[],\"steps\":[],\"from\":[0,0],\"to\":[0,0]},\"origin_name\":\"\","
      "\"dest_name\":\"\",\"mode\":\"Bike\"}}");
  ASSERT_TRUE(route) << route.error();
  auto const& set = std::get<MapsAction::SetRoute>(route->value);
  EXPECT_FALSE(set.origin || set.dest);
  EXPECT_EQ(set.mode, TravelMode::Bike);
}

TEST(ModelJson, ReadsBytesAndRefusesInvalidUtf8InThem) {
  std::string const good = "{\"CommitSearch\":{\"query\":\"caf\xC3\xA9\"}}";
  std::vector<std::uint8_t> bytes(good.begin(), good.end());
  auto const ok = from_json_bytes<MapsAction>(bytes);
  ASSERT_TRUE(ok) << ok.error();
  EXPECT_EQ(std::get<MapsAction::CommitSearch>(ok->value).query, "caf\xC3\xA9");
  bytes[bytes.size() - 4] = 0xFF;
  auto const bad = from_json_bytes<MapsAction>(bytes);
  ASSERT_FALSE(bad);
  EXPECT_EQ(message_of(bad.error()), "invalid unicode code point");
}

// ---------------------------------------------------------------------------------------------
// Round trips

bool same_bits(double a, double b) {
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

TEST(ModelJson, RoundTripsDoublesBitForBit) {
  double const values[] = {0.1 + 0.2,
                           5e-324,
                           1e300,
                           -0.0,
                           48.1371,
                           11.5754,
                           2.2250738585072014e-308,
                           2.2250738585072009e-308,
                           std::numeric_limits<double>::max(),
                           -std::numeric_limits<double>::max(),
                           9007199254740993.0,
                           1e16,
                           1e23,
                           123456.789e-20,
                           1.0 / 3.0,
                           -179.99999999999997};
  for (double const v : values) {
    SCOPED_TRACE(base::format_f64(v));
    auto const back = from_json_text<LatLon>(to_json_text(LatLon{v, -v}));
    ASSERT_TRUE(back) << back.error();
    EXPECT_TRUE(same_bits(back->lat, v));
    EXPECT_TRUE(same_bits(back->lon, -v));
  }
}

TEST(ModelJson, RoundTripsEveryType) {
  TransitLeg coloured = sample_leg();
  coloured.color = "eb690b";
  coloured.text_color = "ffffff";
  coloured.agency = "MVG";
  coloured.realtime = true;
  TransitJourney const journey{"09:00", "09:31", 31, 1, {sample_leg(), coloured}};
  ActivePlan const plans[] = {
      ActivePlan{},
      ActivePlan{ActivePlan::Route{sample_route(), LatLon{0.1 + 0.2, 5e-324}, "A\t\"",
                                   LatLon{1e300, -0.0}, "B", TravelMode::Bike}},
      ActivePlan{ActivePlan::Transit{{journey, journey}, std::nullopt, "", LatLon{1, 2}, "Z"}},
  };
  for (auto const& plan : plans) {
    auto const back = from_json_text<ActivePlan>(to_json_text(plan));
    ASSERT_TRUE(back) << back.error();
    EXPECT_EQ(*back, plan);
  }
  for (auto const& t : {TransitTime{}, TransitTime{TransitTimeMode::Arrive, -2147483647 - 1},
                        TransitTime{TransitTimeMode::Depart, 1440}}) {
    EXPECT_EQ(from_json_text<TransitTime>(to_json_text(t)), t);
  }
  EXPECT_EQ(from_json_text<TransitJourney>(to_json_text(journey)), journey);
  EXPECT_EQ(from_json_text<DownloadedRegion>(
                to_json_text(DownloadedRegion{"r", "n", {}, {}, 255, 0, 4294967295u})),
            (DownloadedRegion{"r", "n", {}, {}, 255, 0, 4294967295u}));
  for (std::size_t i = 0; i < MANEUVER_NAMES.size(); ++i) {
    auto const m = static_cast<Maneuver>(i);
    EXPECT_EQ(from_json_text<Maneuver>(to_json_text(m)), m);
  }
  for (std::size_t i = 0; i < PLACE_CATEGORY_NAMES.size(); ++i) {
    auto const c = static_cast<PlaceCategory>(i);
    EXPECT_EQ(from_json_text<PlaceCategory>(to_json_text(c)), c);
  }
}

} // namespace
} // namespace maps

namespace maps {
namespace {

// Mutated payloads (bytes flipped, cut, duplicated) must be refused cleanly or read into a value
// that writes and reads back equal; under the sanitizers this also catches out-of-range reads.
TEST(ModelJson, MutatedPayloadsFailCleanlyOrRoundTrip) {
  TransitLeg leg = sample_leg();
  leg.color = "eb690b";
  std::string const seeds[] = {
      to_json_text(MapsAction{MapsAction::SetRoute{sample_route(), LatLon{1, 2}, "A", std::nullopt,
                                                   "B", TravelMode::Car}}),
      to_json_text(MapsAction{MapsAction::SetTransit{
          {TransitJourney{"09:00", "09:30", 30, 0, {leg}}}, std::nullopt, "", LatLon{3, 4}, "Z"}}),
      to_json_text(MapsAction{MapsAction::AddRegion{sample_region()}}),
      "{\"CommitSearch\":{\"query\":\"\\ud83d\\ude00 caf\\u00e9\"}}",
  };
  std::uint32_t state = 12345;
  auto next = [&] {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  };
  char const alphabet[] = "{}[],:\"\\-0123456789.eEnulltruefalse \x80\xC3\xFF";
  int accepted = 0;
  for (auto const& seed : seeds) {
    for (int round = 0; round < 1500; ++round) {
      std::string text = seed;
      int const edits = 1 + static_cast<int>(next() % 3);
      for (int e = 0; e < edits && !text.empty(); ++e) {
        std::size_t const at = next() % text.size();
        switch (next() % 4) {
        case 0:
          text[at] = alphabet[next() % (sizeof alphabet - 1)];
          break;
        case 1:
          text.erase(at, 1 + next() % 4);
          break;
        case 2:
          text.insert(at, 1, alphabet[next() % (sizeof alphabet - 1)]);
          break;
        default:
          text.resize(at);
          break;
        }
      }
      auto const r = from_json_text<MapsAction>(text);
      if (!r) {
        EXPECT_NE(r.error().find(" at line "), std::string::npos) << r.error();
        continue;
      }
      ++accepted;
      auto const again = from_json_text<MapsAction>(to_json_text(*r));
      ASSERT_TRUE(again) << text << " -> " << again.error();
      EXPECT_EQ(*again, *r) << text;
    }
  }
  EXPECT_GT(accepted, 0);
}

} // namespace
} // namespace maps
