#include <cmath>
#include <functional>

#include <gtest/gtest.h>

#include "doc/access.h"
#include "doc/load.h"
#include "doc/save.h"
#include "doc/schema.h"
#include "doc/updaters.h"
#include "model/json.h"
#include "platform/doc/document.h"

namespace maps {
namespace {

namespace zd = zarn_ui::doc;
using zd::ScalarValue;

zd::Bytes actor(std::uint8_t tag) {
  return zd::Bytes(16, tag);
}

Route sample_route() {
  Route r;
  r.mode = TravelMode::Bike;
  r.distance_m = 1200.5;
  r.duration_s = 300;
  r.geometry = {{48.1, 11.5}, {48.2, 11.6}};
  r.steps = {{"Head north", 100, Maneuver::Depart}, {"Arrive", 0, Maneuver::Arrive}};
  r.from = {48.1, 11.5};
  r.to = {48.2, 11.6};
  return r;
}

TransitJourney sample_journey() {
  TransitLeg leg;
  leg.mode = LegMode::Subway;
  leg.line = "U3";
  leg.headsign = "Moosach";
  leg.from_name = "Marienplatz";
  leg.to_name = "Olympiazentrum";
  leg.dep = "10:02";
  leg.arr = "10:14";
  leg.duration_min = 12;
  leg.num_stops = 7;
  leg.geometry = {{48.137, 11.575}, {48.18, 11.55}};
  leg.color = "eb690b";
  leg.agency = "MVG";
  return TransitJourney{"10:00", "10:20", 20, 0, {leg}};
}

DownloadedRegion region(std::string id) {
  return DownloadedRegion{id, "Area " + id, {48.0, 11.0}, {48.5, 11.9}, 10, 14, 321};
}

MapModel sample_model() {
  MapModel m = default_map_model();
  m.places = {new_place("b", "Bar B", PlaceCategory::Bar, 48.1, 11.5, "Street 1"),
              new_place("a", "Café A", PlaceCategory::Cafe, 48.2, 11.6, "")};
  m.places[1].saved = true;
  m.recents = {"coffee near me", "Hauptbahnhof"};
  m.regions = {region("region:1")};
  return m;
}

MapsAction act(MapsAction::Value v) {
  return MapsAction{std::move(v)};
}

// A document seeded with a model, committed, as the first tick leaves it.
struct Seeded {
  zd::Document doc{actor(1)};
  explicit Seeded(MapModel const& m = sample_model()) {
    save_model_to_doc(doc, m);
    doc.commit();
  }
  ObjId root() const { return *get_map(doc, ObjId::root(), MAPS_ROOT_KEY); }
  MapModel loaded() const { return *load_model_from_doc(doc); }
  // Applies an action and answers whether it made a change.
  bool apply(MapsAction::Value v) {
    auto before = doc.heads();
    EXPECT_TRUE(apply_action_to_doc(act(std::move(v)), doc));
    return doc.heads() != before;
  }
};

TEST(DocSchema, RecentKey) {
  struct Case {
    char const* text;
    char const* key;
  } const cases[] = {
      {"coffee near me", "636f66666565206e656172206d65"},
      {"Marienplatz", "6d617269656e706c61747a"},
      {" \t Marienplatz\u3000", "6d617269656e706c61747a"},
      {"MARIENPLATZ", "6d617269656e706c61747a"},
      {"München Altstadt", "6dc3bc6e6368656e20616c747374616474"},
      {"MÜNCHEN Altstadt", "6dc3bc6e6368656e20616c747374616474"},
      {"", ""},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(recent_key(c.text), c.key);
  }
}

TEST(DocAccess, ReadersTreatTheWrongKindAsMissing) {
  zd::Document d(actor(1));
  auto const r = ObjId::root();
  ASSERT_TRUE(d.put(r, "s", ScalarValue{std::string("x")}));
  put_text(d, r, "t", "x");
  ASSERT_TRUE(d.put(r, "int5", ScalarValue{std::int64_t{5}}));
  ASSERT_TRUE(d.put(r, "neg", ScalarValue{std::int64_t{-1}}));
  ASSERT_TRUE(d.put(r, "big", ScalarValue{std::uint64_t{1} << 63}));
  ASSERT_TRUE(d.put(r, "f", ScalarValue{2.5}));
  ASSERT_TRUE(d.put(r, "transit_time_offset", ScalarValue{std::uint64_t{1} << 63}));
  ASSERT_TRUE(d.put_object(r, "l", zd::ObjType::List));

  EXPECT_EQ(get_string(d, r, "s"), "x");
  EXPECT_EQ(get_string(d, r, "t"), "x");
  EXPECT_EQ(get_string(d, r, "int5"), std::nullopt);
  EXPECT_EQ(get_f64(d, r, "int5"), 5.0);
  EXPECT_EQ(get_f64(d, r, "s"), std::nullopt);
  EXPECT_EQ(get_u64(d, r, "int5"), 5u);
  EXPECT_EQ(get_u64(d, r, "neg"), std::nullopt);
  EXPECT_EQ(get_u64(d, r, "f"), std::nullopt);
  EXPECT_EQ(get_transit_offset(d, r), std::nullopt); // a uint of 2^63 does not fit
  EXPECT_EQ(get_bool(d, r, "int5"), std::nullopt);
  EXPECT_FALSE(get_map(d, r, "l"));
  EXPECT_TRUE(get_list(d, r, "l"));
  EXPECT_FALSE(read_latlon(d, r, "l"));
  EXPECT_FALSE(get_flag(d, r, "missing"));
  EXPECT_FALSE(get_plan_json(d, r, "s"));
}

TEST(DocAccess, MinimalChangeWriters) {
  zd::Document d(actor(1));
  auto const r = ObjId::root();
  ASSERT_TRUE(d.put(r, "s", ScalarValue{std::string("same")}));
  ASSERT_TRUE(d.put(r, "n", ScalarValue{std::int64_t{5}}));
  ASSERT_TRUE(d.put(r, "neg", ScalarValue{std::int64_t{-1}}));
  ASSERT_TRUE(d.put(r, "b", ScalarValue{true}));
  d.commit();

  struct Case {
    char const* name;
    std::function<void()> write;
    std::size_t ops;
  } const cases[] = {
      {"f64 equal to a stored int", [&] { put_f64_if_changed(d, r, "n", 5.0); }, 0},
      {"f64 within epsilon", [&] { put_f64_if_changed(d, r, "n", 5.0 + 1e-16); }, 0},
      {"f64 that differs", [&] { put_f64_if_changed(d, r, "n", 5.0000001); }, 1},
      {"same bool", [&] { put_bool_if_changed(d, r, "b", true); }, 0},
      {"bool over a missing key", [&] { put_bool_if_changed(d, r, "nb", false); }, 1},
      {"uint over a negative int", [&] { put_int_if_changed(d, r, "neg", 1); }, 1},
      {"same uint", [&] { put_int_if_changed(d, r, "neg", 1); }, 0},
      {"text over an equal string scalar", [&] { put_text(d, r, "s", "same"); }, 5},
      {"unchanged text", [&] { put_text(d, r, "s", "same"); }, 0},
      {"one letter of a text", [&] { put_text(d, r, "s", "sane"); }, 2},
      {"malformed bytes become U+FFFD", [&] { put_text(d, r, "bad", "a\xff"); }, 3},
      {"f64 NaN over a number", [&] { put_f64_if_changed(d, r, "x", std::nan("")); }, 1},
      {"number over a stored NaN", [&] { put_f64_if_changed(d, r, "x", 1.0); }, 1},
      {"delete of an absent point", [&] { put_opt_latlon(d, r, "p", std::nullopt); }, 0},
      {"plan, even unchanged", [&] { put_plan_json(d, r, "plan", ActivePlan{}); }, 1},
      {"plan again", [&] { put_plan_json(d, r, "plan", ActivePlan{}); }, 1},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    c.write();
    EXPECT_EQ(d.pending_ops(), c.ops);
    d.commit();
  }
  EXPECT_EQ(get_string(d, r, "s"), "sane");
  EXPECT_EQ(get_string(d, r, "bad"), "a\uFFFD");
  EXPECT_EQ(get_f64(d, r, "x"), 1.0);
}

TEST(DocAccess, EnsureReplacesTheWrongKind) {
  zd::Document d(actor(1));
  auto const r = ObjId::root();
  auto l = ensure_list(d, r, "k");
  ASSERT_TRUE(l);
  ASSERT_TRUE(d.insert(*l, 0, ScalarValue{true}));
  auto m = ensure_map(d, r, "k");
  ASSERT_TRUE(m);
  EXPECT_TRUE(d.keys(*m)->empty());
  EXPECT_EQ(ensure_map(d, r, "k"), m);
  auto l2 = ensure_list(d, r, "k");
  ASSERT_TRUE(l2);
  EXPECT_EQ(*d.length(*l2), 0u);

  // find_entry creates the root and the collection, and answers none for a missing member.
  zd::Document e(actor(1));
  EXPECT_FALSE(find_entry(e, "places", "x"));
  auto root = get_map(e, ObjId::root(), MAPS_ROOT_KEY);
  ASSERT_TRUE(root);
  EXPECT_TRUE(get_map(e, *root, "places"));
}

TEST(DocAccess, FlagSeesEveryConcurrentValue) {
  for (bool const a_value : {true, false}) {
    SCOPED_TRACE(a_value);
    zd::Document a(actor(1));
    ASSERT_TRUE(a.put(ObjId::root(), "deleted", ScalarValue{false}));
    zd::Document b = a.fork();
    ASSERT_TRUE(b.set_actor(actor(2)));
    ASSERT_TRUE(a.put(ObjId::root(), "deleted", ScalarValue{a_value}));
    ASSERT_TRUE(b.put(ObjId::root(), "deleted", ScalarValue{!a_value}));
    ASSERT_TRUE(a.merge(b));
    EXPECT_TRUE(get_flag(a, ObjId::root(), "deleted"));
  }
}

TEST(DocLoad, EmptyDocumentHasNoMapData) {
  zd::Document d(actor(1));
  EXPECT_FALSE(load_model_from_doc(d));
  MapModel live = sample_model();
  DocBaseline baseline;
  EXPECT_FALSE(refresh_model_from_doc(d, live, baseline));
  EXPECT_EQ(live, sample_model());

  ASSERT_TRUE(d.put_object(ObjId::root(), MAPS_ROOT_KEY, zd::ObjType::Map));
  EXPECT_EQ(load_model_from_doc(d), default_map_model());
}

TEST(DocLoad, SeededModelReadsBack) {
  MapModel m = sample_model();
  m.route = sample_route();
  m.transit = {sample_journey()};
  m.mode = TravelMode::Bike;
  m.origin = LatLon{48.1, 11.5};
  m.origin_name = "Home";
  m.dest = LatLon{48.2, 11.6};
  m.dest_name = "Work";
  m.transit_time = {TransitTimeMode::Arrive, -30};
  Seeded s(m);
  auto loaded = s.loaded();
  std::swap(m.places[0], m.places[1]); // sorted by id
  EXPECT_EQ(loaded.places, m.places);
  EXPECT_EQ(loaded.recents, m.recents);
  EXPECT_EQ(loaded.route, m.route);
  EXPECT_EQ(loaded.transit, m.transit);
  EXPECT_EQ(loaded.mode, m.mode);
  EXPECT_EQ(loaded.origin, m.origin);
  EXPECT_EQ(loaded.origin_name, m.origin_name);
  EXPECT_EQ(loaded.dest, m.dest);
  EXPECT_EQ(loaded.dest_name, m.dest_name);
  EXPECT_EQ(loaded.transit_time, m.transit_time);
  EXPECT_EQ(loaded.regions, m.regions);

  // The route is written twice; the plan's mode is the model's, not the route's.
  auto plan = get_plan_json(s.doc, s.root(), "route_plan");
  ASSERT_TRUE(plan);
  EXPECT_EQ(std::get<ActivePlan::Route>(plan->value).mode, TravelMode::Bike);
  EXPECT_TRUE(get_map(s.doc, s.root(), "route"));

  // Seeding the same model again rewrites the lists and the two plan texts, nothing else.
  Seeded plain;
  save_model_to_doc(plain.doc, sample_model());
  EXPECT_EQ(plain.doc.pending_ops(), 2u);
}

TEST(DocLoad, DefaultModelSeedsTheDocumentedLayout) {
  Seeded s(default_map_model());
  auto const r = s.root();
  EXPECT_TRUE(s.doc.keys(*get_map(s.doc, r, "places"))->empty());
  EXPECT_TRUE(s.doc.keys(*get_map(s.doc, r, "recents"))->empty());
  EXPECT_TRUE(s.doc.keys(*get_map(s.doc, r, "regions"))->empty());
  EXPECT_FALSE(s.doc.get(r, "route")->has_value());
  EXPECT_EQ(*s.doc.length(*get_list(s.doc, r, "transit")), 0u);
  EXPECT_EQ(get_string(s.doc, r, "mode"), "car");
  EXPECT_FALSE(s.doc.get(r, "origin")->has_value());
  EXPECT_FALSE(s.doc.get(r, "dest")->has_value());
  EXPECT_EQ(get_string(s.doc, r, "origin_name"), "Map centre");
  EXPECT_EQ(get_string(s.doc, r, "dest_name"), "");
  EXPECT_EQ(get_string(s.doc, r, "transit_time_mode"), "depart");
  EXPECT_EQ(*(*s.doc.get(r, "transit_time_offset"))->value.scalar(), ScalarValue{std::int64_t{0}});
  EXPECT_EQ(get_string(s.doc, r, "route_plan"), "\"None\"");
  EXPECT_EQ(get_string(s.doc, r, "transit_plan"), "\"None\"");
  EXPECT_FALSE(s.doc.get(r, "transit_time")->has_value());
}

TEST(DocLoad, ForgivingReaders) {
  Seeded s(default_map_model());
  auto const r = s.root();
  auto& d = s.doc;
  auto places = *get_map(d, r, "places");
  auto put_place = [&](std::string key, std::string id, std::string category) {
    auto e = *ensure_map(d, places, key);
    put_text(d, e, "id", id);
    put_text(d, e, "name", "N" + id);
    put_text(d, e, "category", category);
    write_latlon(d, e, "pos", {1, 2});
  };
  put_place("b", "b", "cafe");
  put_place("x", "a", "park"); // the id comes from "id", not the member key
  put_place("c", "c", "Cafe"); // not a category word
  auto recents = *get_map(d, r, "recents");
  auto put_recent = [&](std::string key, std::optional<std::uint64_t> rank, bool deleted) {
    auto e = *ensure_map(d, recents, key);
    put_text(d, e, "text", "t" + key);
    if (rank) {
      put_int_if_changed(d, e, "rank", *rank);
    }
    put_bool_if_changed(d, e, "deleted", deleted);
  };
  put_recent("k1", 2, false);
  put_recent("k2", std::nullopt, false);
  put_recent("k3", 0, false);
  put_recent("k4", 0, true);
  put_recent("k0", 0, false);
  auto regions = *get_map(d, r, "regions");
  auto e = *ensure_map(d, regions, "r");
  write_region(d, e, region("r"));
  put_int_if_changed(d, e, "z1", 300);
  put_text(d, r, "transit_time_mode", "arrive");
  (void)d.put(r, "transit_time_offset", ScalarValue{std::int64_t{45}});
  (void)d.put(r, "transit_time", ScalarValue{std::string(R"({"mode":"Depart","offset_min":0})")});
  put_text(d, r, "mode", "plane");

  auto m = *load_model_from_doc(d);
  ASSERT_EQ(m.places.size(), 2u);
  EXPECT_EQ(m.places[0].id, "a");
  EXPECT_EQ(m.places[1].id, "b");
  EXPECT_EQ(m.recents, (std::vector<std::string>{"tk0", "tk3", "tk1", "tk2"}));
  ASSERT_EQ(m.regions.size(), 1u);
  EXPECT_EQ(m.regions[0].z1, 44);
  EXPECT_EQ(m.transit_time, (TransitTime{TransitTimeMode::Depart, 0}));
  EXPECT_EQ(m.mode, TravelMode::Car);
}

TEST(DocLoad, PlansOverrideStoredRouteAndTransitAndPickEndpointsByMode) {
  MapModel m = default_map_model();
  m.route = sample_route();
  m.transit = {sample_journey()};
  m.origin = LatLon{1, 1};
  m.origin_name = "Plain origin";
  Seeded s(m);
  auto const r = s.root();
  auto route_plan = ActivePlan{ActivePlan::Route{sample_route(), LatLon{2, 2}, "Route origin",
                                                 std::nullopt, "Route dest", TravelMode::Foot}};
  auto transit_plan = ActivePlan{
      ActivePlan::Transit{{}, LatLon{3, 3}, "Transit origin", std::nullopt, "Transit dest"}};
  struct Case {
    char const* name;
    char const* mode;
    std::optional<ActivePlan> route_plan, transit_plan;
    char const* origin_name;
    bool has_route;
    bool has_transit;
  } const cases[] = {
      {"transit mode, both plans", "transit", route_plan, transit_plan, "Transit origin", true,
       false},
      {"car mode, both plans", "car", route_plan, transit_plan, "Route origin", true, false},
      {"car mode, transit plan only", "car", ActivePlan{}, transit_plan, "Plain origin", false,
       false},
      {"None plans drop stored route and transit", "car", ActivePlan{}, ActivePlan{},
       "Plain origin", false, false},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    put_text(s.doc, r, "mode", c.mode);
    put_plan_json(s.doc, r, "route_plan", *c.route_plan);
    put_plan_json(s.doc, r, "transit_plan", *c.transit_plan);
    auto loaded = s.loaded();
    EXPECT_EQ(loaded.origin_name, c.origin_name);
    EXPECT_EQ(loaded.route.has_value(), c.has_route);
    EXPECT_EQ(!loaded.transit.empty(), c.has_transit);
  }

  // A stored route with a bad mode word reads as none; "route_deleted" hides the Map.
  (void)s.doc.delete_key(r, "route_plan");
  EXPECT_TRUE(s.loaded().route.has_value());
  (void)s.doc.put(r, "route_deleted", ScalarValue{true});
  EXPECT_FALSE(s.loaded().route.has_value());
}

// A legacy document's whole-model JSON text.
std::string legacy_text() {
  return "{\"places\":[{\"id\":\"a\",\"name\":\"A\",\"category\":\"Museum\",\"address\":\"\","
         "\"pos\":{\"lat\":1,\"lon\":2},\"saved\":true}],\"recents\":[\"cafe\"],\"selected\":null,"
         "\"route\":null,\"transit\":[],\"transit_choice\":0,"
         "\"panel\":\"Directions\",\"mode\":\"Bike\",\"query\":\"q\",\"results\":[],"
         "\"origin\":[1.5,2.5],\"origin_name\":\"Home\",\"dest\":null,"
         "\"center\":{\"lat\":48.1371,\"lon\":11.5754},\"zoom\":15,\"status\":\"\"}";
}

TEST(DocLoad, LegacyTextIsReadWhileTheSchemaIsMissing) {
  std::string const legacy = legacy_text();
  zd::Document d(actor(1));
  (void)d.put(ObjId::root(), LEGACY_MAPS_KEY, ScalarValue{legacy});
  EXPECT_FALSE(load_model_from_doc(d)); // a string scalar is no legacy data
  put_text(d, ObjId::root(), LEGACY_MAPS_KEY, legacy);
  auto m = load_model_from_doc(d);
  ASSERT_TRUE(m);
  EXPECT_EQ(m->places.size(), 1u);
  EXPECT_EQ(m->mode, TravelMode::Bike);
  EXPECT_EQ(m->panel, Panel::Directions); // all fields, not only the persisted ones
}

// Deliberate: the first action copies the legacy model into "maps_v2" before it writes, where
// creating "maps_v2" with that action's keys alone would hide everything the legacy text held.
TEST(DocUpdaters, FirstActionCopiesTheLegacyModelIntoMapsV2SoNothingItHeldIsHidden) {
  std::string const legacy = legacy_text();
  zd::Document d(actor(1));
  put_text(d, ObjId::root(), LEGACY_MAPS_KEY, legacy);
  auto const m = load_model_from_doc(d);
  ASSERT_TRUE(m);
  d.commit();
  EXPECT_TRUE(apply_action_to_doc(act(MapsAction::CommitSearch{"Hauptbahnhof"}), d));
  auto after = load_model_from_doc(d);
  ASSERT_TRUE(after);
  EXPECT_EQ(after->places, m->places);
  EXPECT_EQ(after->mode, TravelMode::Bike);
  EXPECT_EQ(after->origin_name, "Home");
  EXPECT_EQ(after->recents, (std::vector<std::string>{"Hauptbahnhof", "cafe"}));
  EXPECT_EQ(get_string(d, ObjId::root(), LEGACY_MAPS_KEY), legacy); // left untouched

  // Without legacy data the action writes its own keys into the root every new document
  // shares, which holds the three collections.
  zd::Document e(actor(1));
  ASSERT_TRUE(apply_action_to_doc(act(MapsAction::SetTravelMode{TravelMode::Foot}), e));
  auto root = get_map(e, ObjId::root(), MAPS_ROOT_KEY);
  ASSERT_TRUE(root);
  EXPECT_EQ(*e.keys(*root), (std::vector<std::string>{"mode", "places", "recents", "regions"}));
}

TEST(DocUpdaters, EachVariantChangesItsFields) {
  struct Case {
    char const* name;
    MapsAction::Value action;
    std::function<void(MapModel&)> expect; // applied to the model loaded before the action
  } const cases[] = {
      {"UpsertPlaces adds and updates",
       MapsAction::UpsertPlaces{{new_place("c", "Park C", PlaceCategory::Park, 1, 2, ""),
                                 new_place("b", "Bar B2", PlaceCategory::Bar, 48.1, 11.5, "")}},
       [](MapModel& m) {
         m.places[1].name = "Bar B2";
         m.places[1].address = "";
         m.places.push_back(new_place("c", "Park C", PlaceCategory::Park, 1, 2, ""));
       }},
      {"UpsertPlaces keeps a stored saved flag (search answers carry none)",
       MapsAction::UpsertPlaces{{new_place("a", "Café A", PlaceCategory::Cafe, 48.2, 11.6, "")}},
       [](MapModel&) {}},
      {"SetPlaceSaved unsaves", MapsAction::SetPlaceSaved{"a", false},
       [](MapModel& m) { m.places[0].saved = false; }},
      {"SetPlaceSaved of an unknown id", MapsAction::SetPlaceSaved{"zz", true}, [](MapModel&) {}},
      {"CommitSearch", MapsAction::CommitSearch{"  hauptbahnhof "},
       [](MapModel& m) {
         m.recents = {"hauptbahnhof", "coffee near me"};
       }},
      {"ClearRecents", MapsAction::ClearRecents{}, [](MapModel& m) { m.recents.clear(); }},
      {"SetTravelMode", MapsAction::SetTravelMode{TravelMode::Foot},
       [](MapModel& m) { m.mode = TravelMode::Foot; }},
      {"SetTransitTime", MapsAction::SetTransitTime{{TransitTimeMode::Arrive, 60}},
       [](MapModel& m) {
         m.transit_time = {TransitTimeMode::Arrive, 60};
       }},
      {"SetRoute",
       MapsAction::SetRoute{sample_route(), LatLon{1, 2}, "From", std::nullopt, "To",
                            TravelMode::Bike},
       [](MapModel& m) {
         m.route = sample_route();
         m.mode = TravelMode::Bike;
         m.origin = LatLon{1, 2};
         m.origin_name = "From";
         m.dest_name = "To";
       }},
      {"ClearRoute", MapsAction::ClearRoute{}, [](MapModel&) {}},
      {"SetTransit",
       MapsAction::SetTransit{{sample_journey()}, LatLon{3, 4}, "A", LatLon{5, 6}, "B"},
       [](MapModel& m) {
         m.transit = {sample_journey()};
         m.mode = TravelMode::Transit;
         m.origin = LatLon{3, 4};
         m.origin_name = "A";
         m.dest = LatLon{5, 6};
         m.dest_name = "B";
       }},
      {"ClearTransit", MapsAction::ClearTransit{}, [](MapModel&) {}},
      {"AddRegion", MapsAction::AddRegion{region("region:0")},
       [](MapModel& m) { m.regions.insert(m.regions.begin(), region("region:0")); }},
      {"DeleteRegion", MapsAction::DeleteRegion{"region:1"},
       [](MapModel& m) { m.regions.clear(); }},
      {"DeleteRegion of an unknown id", MapsAction::DeleteRegion{"nope"}, [](MapModel&) {}},
      {"ClearRegions", MapsAction::ClearRegions{}, [](MapModel& m) { m.regions.clear(); }},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    Seeded s;
    MapModel expected = s.loaded();
    c.expect(expected);
    ASSERT_TRUE(apply_action_to_doc(act(c.action), s.doc));
    EXPECT_EQ(s.loaded(), expected);
  }
}

TEST(DocUpdaters, MinimalChange) {
  Seeded s;
  auto const upsert =
      MapsAction::UpsertPlaces{{new_place("c", "Park C", PlaceCategory::Park, 1, 2, "")}};
  EXPECT_TRUE(s.apply(upsert));
  EXPECT_FALSE(s.apply(upsert));
  EXPECT_TRUE(s.apply(MapsAction::AddRegion{region("r2")}));
  EXPECT_FALSE(s.apply(MapsAction::AddRegion{region("r2")}));
  EXPECT_FALSE(s.apply(MapsAction::SetPlaceSaved{"a", true}));
  EXPECT_FALSE(s.apply(MapsAction::CommitSearch{"coffee near me"}));
  EXPECT_FALSE(s.apply(MapsAction::SetTravelMode{TravelMode::Car}));
  EXPECT_FALSE(s.apply(MapsAction::DeleteRegion{"missing"}));
  EXPECT_FALSE(s.apply(MapsAction::CommitSearch{" \t "}));
  // The plan texts are rewritten every time.
  EXPECT_TRUE(s.apply(MapsAction::ClearRoute{}));
  EXPECT_TRUE(s.apply(MapsAction::ClearRoute{}));
  auto const set_route =
      MapsAction::SetRoute{sample_route(), std::nullopt, "A", std::nullopt, "B", TravelMode::Car};
  EXPECT_TRUE(s.apply(set_route));
  EXPECT_TRUE(s.apply(set_route));
}

// Deliberate: UpsertPlaces keeps a stored saved flag, because search answers always carry
// saved = false and would otherwise unsave a place whenever it shows up in a search.
TEST(DocUpdaters, UpsertPlacesKeepsAStoredSavedFlagSoSearchAnswersCannotUnsave) {
  Seeded s;
  auto const from_search = new_place("a", "Café A", PlaceCategory::Cafe, 48.2, 11.6, "New addr");
  ASSERT_TRUE(s.apply(MapsAction::UpsertPlaces{{from_search}}));
  auto m = s.loaded();
  EXPECT_TRUE(m.places[0].saved);
  EXPECT_EQ(m.places[0].address, "New addr");

  ASSERT_TRUE(s.apply(MapsAction::SetPlaceSaved{"a", false}));
  ASSERT_FALSE(s.apply(MapsAction::UpsertPlaces{{from_search}}));
  EXPECT_FALSE(s.loaded().places[0].saved);

  // A tombstoned member keeps nothing: the search answer's flag is taken as it is.
  (void)s.apply(MapsAction::SetPlaceSaved{"a", true});
  auto e = *find_entry(s.doc, "places", "a");
  put_bool_if_changed(s.doc, e, "deleted", true);
  EXPECT_FALSE(s.apply(MapsAction::SetPlaceSaved{"a", false})); // deleted: no write
  ASSERT_TRUE(s.apply(MapsAction::UpsertPlaces{{from_search}}));
  EXPECT_FALSE(s.loaded().places[0].saved);
}

// Deliberate: entries that leave the history are removed, not tombstoned, or every distinct
// search would stay in the document for good and slow down every later search and load.
TEST(DocUpdaters, CommitSearchKeepsEightAndRemovesTheRestSoTheHistoryCannotGrow) {
  MapModel m = default_map_model();
  m.recents = {"marienplatz", "coffee near me"};
  Seeded s(m);
  ASSERT_TRUE(s.apply(MapsAction::CommitSearch{" Marienplatz "}));
  EXPECT_EQ(s.loaded().recents, (std::vector<std::string>{"Marienplatz", "coffee near me"}));

  for (int i = 0; i < 6; ++i) {
    (void)s.apply(MapsAction::CommitSearch{"q" + std::to_string(i)});
  }
  auto recents = s.loaded().recents;
  ASSERT_EQ(recents.size(), MAX_RECENTS);
  EXPECT_EQ(recents.front(), "q5");
  EXPECT_EQ(recents.back(), "coffee near me");
  (void)s.apply(MapsAction::CommitSearch{"q6"});
  EXPECT_EQ(s.loaded().recents.back(), "Marienplatz");
  // Removed, not tombstoned: the history holds the eight members it shows and no more.
  auto const history = *get_map(s.doc, s.root(), "recents");
  EXPECT_FALSE(get_map(s.doc, history, recent_key("coffee near me")));
  EXPECT_EQ(s.doc.keys(history)->size(), MAX_RECENTS);
  (void)s.apply(MapsAction::ClearRecents{});
  EXPECT_TRUE(s.doc.keys(history)->empty());
  (void)s.apply(MapsAction::CommitSearch{"coffee near me"}); // back as a new member
  EXPECT_EQ(s.loaded().recents, (std::vector<std::string>{"coffee near me"}));

  // Ten live members written by another program: eight stay.
  MapModel ten = default_map_model();
  for (int i = 0; i < 10; ++i) {
    ten.recents.push_back("t" + std::to_string(i));
  }
  Seeded t(ten);
  (void)t.apply(MapsAction::CommitSearch{"new"});
  EXPECT_EQ(t.loaded().recents.size(), MAX_RECENTS);
}

// Deliberate: Ü and ü are not duplicates to the ASCII comparison but share a key. The search
// just made keeps the member and the top rank and the older spelling goes, where letting the
// older entry write the member last would push the search just made down the history.
TEST(DocUpdaters, NewerSpellingOfAHistoryEntryKeepsTheTopRankSoTheSearchJustMadeIsFirst) {
  struct Case {
    std::vector<std::string> before;
    std::vector<std::string> after;
  } const cases[] = {
      {{"Über"}, {"über"}},
      {{"coffee", "Über"}, {"über", "coffee"}},
      {{"Über", "coffee"}, {"über", "coffee"}},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.before.size() > 1 ? c.before[1] : c.before[0]);
    MapModel u = default_map_model();
    u.recents = c.before;
    Seeded v(u);
    ASSERT_TRUE(v.apply(MapsAction::CommitSearch{"über"}));
    EXPECT_EQ(v.loaded().recents, c.after);
  }
}

TEST(DocUpdaters, ConflictingDeletedFlagAndUpsert) {
  for (bool const winner_true : {false, true}) {
    SCOPED_TRACE(winner_true);
    Seeded s;
    zd::Document other = s.doc.fork();
    // The higher actor wins equal counters: give the "true" side the higher actor when wanted.
    ASSERT_TRUE(s.doc.set_actor(actor(winner_true ? 2 : 3)));
    ASSERT_TRUE(other.set_actor(actor(winner_true ? 3 : 2)));
    auto e1 = *find_entry(s.doc, "places", "b");
    put_bool_if_changed(s.doc, e1, "deleted", false); // already false: nothing
    (void)s.doc.put(e1, "deleted", ScalarValue{false});
    auto e2 = *find_entry(other, "places", "b");
    (void)other.put(e2, "deleted", ScalarValue{true});
    ASSERT_TRUE(s.doc.merge(other));
    ASSERT_TRUE(is_deleted(s.doc, e1));
    (void)s.apply(MapsAction::UpsertPlaces{
        {new_place("b", "Bar B", PlaceCategory::Bar, 48.1, 11.5, "Street 1")}});
    // A winning false writes nothing and the member stays removed; a winning true is
    // overwritten and the member lives again.
    EXPECT_EQ(is_deleted(s.doc, e1), !winner_true);
  }
}

TEST(DocRefresh, TakesOnlyChangedFieldsAndForcedOnes) {
  zd::Document d(actor(1));
  MapModel live = sample_model();
  DocBaseline baseline;
  save_model_to_doc(d, live, baseline);

  // The UI writes live-only values: an estimated route and a picked origin.
  live.route = sample_route();
  live.origin = LatLon{9, 9};
  live.zoom = 3;
  EXPECT_TRUE(refresh_model_from_doc(d, live, baseline));
  EXPECT_TRUE(live.route.has_value());
  EXPECT_EQ(live.origin, (LatLon{9, 9}));

  // A change of one stored field reaches the live model; the others keep their live value.
  ASSERT_TRUE(apply_action_to_doc(act(MapsAction::SetTravelMode{TravelMode::Bike}), d));
  EXPECT_TRUE(refresh_model_from_doc(d, live, baseline));
  EXPECT_EQ(live.mode, TravelMode::Bike);
  EXPECT_TRUE(live.route.has_value());
  EXPECT_EQ(live.origin, (LatLon{9, 9}));
  EXPECT_EQ(live.zoom, 3);

  // ClearRoute on a document that holds no route: the stored value does not change, the forced
  // field still replaces the live estimate.
  MapsAction const clear{MapsAction::ClearRoute{}};
  ASSERT_TRUE(apply_action_to_doc(clear, d));
  EXPECT_TRUE(refresh_model_from_doc(d, live, baseline, fields_written_by(clear)));
  EXPECT_FALSE(live.route.has_value());
  EXPECT_EQ(live.origin, (LatLon{9, 9}));

  // Forcing works with unchanged heads too (a refresh right after an earlier one).
  live.route = sample_route();
  EXPECT_TRUE(refresh_model_from_doc(d, live, baseline, fields_written_by(clear)));
  EXPECT_FALSE(live.route.has_value());

  // Without a baseline every field is taken.
  MapModel other = live;
  other.origin = LatLon{7, 7};
  EXPECT_TRUE(refresh_model_from_doc(d, other));
  EXPECT_EQ(other.origin, std::nullopt);
}

TEST(DocRefresh, FieldsWrittenBy) {
  using F = ModelField;
  EXPECT_EQ(fields_written_by(act(MapsAction::UpsertPlaces{})), FieldSet(F::Places));
  EXPECT_EQ(fields_written_by(act(MapsAction::ClearRegions{})), FieldSet(F::Regions));
  auto const route = fields_written_by(act(MapsAction::SetRoute{}));
  EXPECT_TRUE(route.has(F::Route) && route.has(F::Mode) && route.has(F::Origin) &&
              route.has(F::DestName));
  EXPECT_FALSE(route.has(F::Transit));
}

} // namespace
} // namespace maps

namespace maps {
namespace {

// What an executor that fails after the updater ran does to stay clean: roll the open
// transaction back, and refresh without forcing any field.
TEST(DocUpdaters, RollingBackAnActionRestoresTheDocument) {
  Seeded s;
  MapModel live = s.loaded();
  DocBaseline baseline;
  ASSERT_TRUE(refresh_model_from_doc(s.doc, live, baseline));
  auto const heads = s.doc.heads();
  MapsAction const action{
      MapsAction::UpsertPlaces{{new_place("z", "Zoo", PlaceCategory::Park, 1, 2, "")}}};
  ASSERT_TRUE(apply_action_to_doc(action, s.doc));
  EXPECT_GT(s.doc.rollback(), 0u);
  EXPECT_EQ(s.doc.heads(), heads);
  EXPECT_TRUE(refresh_model_from_doc(s.doc, live, baseline));
  EXPECT_EQ(live, s.loaded());
}

} // namespace
} // namespace maps

namespace maps {
namespace {

TEST(DocSeed, SeedsOnlyADocumentWithoutMapData) {
  zd::Document d(actor(1));
  MapModel live = sample_model();
  DocBaseline baseline;
  EXPECT_TRUE(seed_if_empty(d, live, baseline));
  EXPECT_FALSE(seed_if_empty(d, live, baseline));
  EXPECT_TRUE(baseline.has_data);
  EXPECT_EQ(baseline.heads, d.heads());

  // The seeded state is the previous copy: live-only values survive the next refresh.
  live.origin = LatLon{9, 9};
  EXPECT_TRUE(refresh_model_from_doc(d, live, baseline));
  EXPECT_EQ(live.origin, (LatLon{9, 9}));

  // A document holding readable legacy text is not seeded.
  zd::Document legacy(actor(2));
  put_text(legacy, ObjId::root(), LEGACY_MAPS_KEY,
           "{\"places\":[],\"recents\":[],\"selected\":null,\"route\":null,\"transit\":[],"
           "\"transit_choice\":0,\"panel\":\"Explore\",\"mode\":\"Car\",\"query\":\"\","
           "\"results\":[],\"origin\":null,\"origin_name\":\"Map centre\",\"dest\":null,"
           "\"center\":[48.1,11.5],\"zoom\":14,\"status\":\"\"}");
  DocBaseline other;
  EXPECT_FALSE(seed_if_empty(legacy, live, other));
  EXPECT_FALSE(get_map(legacy, ObjId::root(), MAPS_ROOT_KEY));
}

} // namespace
} // namespace maps
