#include <gtest/gtest.h>

#include <thread>
#include <unordered_set>

#include "app/maps_app.h"
#include "app/resource_surface/resources.h"
#include "doc/save.h"
#include "model/limits.h"
#include "model/ops.h"
#include "platform/launch/state.h"
#include "sample/sample_data.h"
#include "sdk/builders.h"
#include "sdk/sdk_integration.h"

namespace maps {
namespace {

using zarn_ui::widget::StartOutcome;

std::vector<std::uint8_t> json(std::string_view text) {
  return {text.begin(), text.end()};
}

MapsApp demo(bool live = false) {
  MapsApp app =
      build_maps_app(demo_scenario(), sample_road_network(), offline_tile_cache(), false, live);
  app.window_rect_ = zarn_ui::Rect{0, 0, 1280, 800};
  return app;
}

TEST(PublishedActions, SevenIdsInOrder) {
  MapsApp const app = demo();
  auto const ids = app.published_action_ids();
  ASSERT_EQ(ids.size(), 7u);
  EXPECT_EQ(ids.front(), "maps.locate");
  EXPECT_EQ(ids.back(), "maps.directions-poi");
  EXPECT_EQ(app.all_action_ids(), (std::unordered_set<std::string>(ids.begin(), ids.end())));
}

TEST(PublishedActions, InvokeChecksItsArgumentsAndTargets) {
  MapsApp app = demo();
  app.nearby_pois = sample_pois();
  // One character past what a search may hold: refused before it reaches the model.
  std::string const too_long = "\"" + std::string(MAX_QUERY_CHARS + 1, 'x') + "\"";
  struct Case {
    std::uint8_t effect;
    char const* id;
    char const* arg;
    std::optional<char const*> failure; // nullopt: handled or not as `handled`
    bool handled;
  } const cases[] = {
      {0, "maps.search", "\"x\"", std::nullopt, false},
      {1, "maps.search", "\"x\"", std::nullopt, false},
      {2, "maps.locate", "null", std::nullopt, false},
      {2, "maps.unknown", "null", std::nullopt, false},
      {2, "maps.search", "5", "expected a string", false},
      {2, "maps.search", too_long.c_str(), "The search text is longer than 1000 characters", false},
      {2, "maps.directions", "\"no-such-place\"", "Map place is no longer available", false},
      {2, "maps.open-poi", "\"osm-node-0\"", "Map point of interest is no longer in this viewport",
       false},
      {2, "maps.open-poi", "\"osm-node-203\"", std::nullopt, true},
      {2, "maps.toggle-traffic", "null", std::nullopt, true},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(std::string(c.id) + " " + std::string(c.arg).substr(0, 20));
    auto const query_before = app.model.query;
    auto const r = app.invoke_action(c.effect, c.id, json(c.arg));
    if (c.failure) {
      ASSERT_FALSE(r);
      EXPECT_NE(r.error().find(*c.failure), std::string::npos) << r.error();
      EXPECT_EQ(app.model.query, query_before);
    } else {
      ASSERT_TRUE(r) << r.error();
      EXPECT_EQ(*r, c.handled);
    }
  }
  EXPECT_EQ(app.selected_poi, "osm-node-203");
  EXPECT_TRUE(app.traffic_on);
}

TEST(PublishedActions, DirectionsNeedAStoredPlaceNotOnlyAResult) {
  MapsApp app = demo();
  app.model.results = {
      new_place("only-a-result", "Somewhere", PlaceCategory::Other, 48.1, 11.5, "")};
  auto r = app.invoke_action(2, "maps.directions", json("\"only-a-result\""));
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error(), "Map place is no longer available");
  auto ok = app.invoke_action(2, "maps.directions", json("\"hofgarten\""));
  ASSERT_TRUE(ok);
  EXPECT_EQ(app.model.selected, "hofgarten");
  EXPECT_EQ(app.model.panel, Panel::Directions);
}

TEST(PublishedActions, AsynchronousLocateFailsOfflineAndCompletesThroughTheTick) {
  zarn_actions::RequestId const id{1, 2, 3};
  zarn_actions::RequestId const other{9};
  MapsApp offline = demo(false);
  EXPECT_EQ(offline.start_action(id, 1, "maps.locate", json("null")),
            StartOutcome::failed("The location service is unavailable in this session"));

  MapsApp app = demo(true);
  app.location_config.bus_address = "unix:path=/nonexistent/bus";
  EXPECT_EQ(app.start_action(id, 1, "maps.locate", json("null")), StartOutcome::pending());
  EXPECT_EQ(app.start_action(other, 1, "maps.locate", json("null")),
            StartOutcome::failed("A location request is already in progress"));
  // The worker answers with an error; the tick turns it into the finished outcome.
  zarn_ui::doc::Document doc;
  for (int i = 0; i < 500 && !app.finished_action; ++i) {
    app.tick_doc(doc);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(app.finished_action);
  EXPECT_FALSE(app.take_action_result(other));
  auto done = app.take_action_result(id);
  ASSERT_TRUE(done);
  ASSERT_FALSE(done->result);
  EXPECT_EQ(done->result.error().code, "location_unavailable");
  EXPECT_FALSE(app.pending_request);
  EXPECT_FALSE(app.take_action_result(id));
}

TEST(Builders, NumericIdsAndVerbCopies) {
  EXPECT_EQ(access_node_numeric_id(""), 0xaf64724c8602eb6eull);
  EXPECT_EQ(access_node_numeric_id("abc"), 0xfc182483ee0806dcull);
  auto const spec =
      action_spec_for_maps_action("clear", "Clear route", MapsAction{MapsAction::ClearRoute{}});
  auto a = spec.invoke({});
  auto b = spec.invoke({});
  EXPECT_EQ(a, b);
  EXPECT_EQ(a.payload_text(), "\"ClearRoute\"");
  ASSERT_TRUE(spec.contract);
  EXPECT_EQ(spec.contract->class_value, 1);
  EXPECT_EQ(spec.contract->scope, (std::vector<std::string>{"maps", "workspace"}));
  auto const del = action_spec_for_maps_action("delete", "Delete region",
                                               MapsAction{MapsAction::DeleteRegion{"r"}});
  EXPECT_EQ(del.contract->class_value, 2);
  EXPECT_EQ(del.contract->marker, zarn_actions::ContractMarker::Destructive);
}

TEST(Builders, SearchTextVerbTrimsAndEncodesAString) {
  auto const spec =
      new_text_action_spec("search", "Search maps", "Place, address, or category",
                           "e.g. museum near me", std::nullopt, "maps.search", encode_search_text);
  zarn_actions::ActionArgs args;
  args.texts["value"] = "  museum \"x\" ";
  auto const a = spec.invoke(args);
  EXPECT_EQ(a.ns, "maps.search");
  EXPECT_EQ(a.payload_text(), R"("museum \"x\"")");
  EXPECT_EQ(spec.invoke({}).payload_text(), "\"\"");
  ASSERT_EQ(spec.params.size(), 1u);
  EXPECT_EQ(spec.params[0].name, "value");
}

std::vector<std::string> verbs(zarn_actions::Resource const& r) {
  std::vector<std::string> out;
  for (auto const& a : r.actions) {
    out.push_back(a.verb);
  }
  return out;
}

zarn_actions::Resource const* child(zarn_actions::Resource const& r, std::string_view id) {
  for (auto const& c : r.children) {
    if (c.id == id) {
      return &c;
    }
  }
  return nullptr;
}

TEST(Resources, WorkspaceFromTheDocumentWithLiveVerbs) {
  MapsApp app = demo();
  auto state = zarn_ui::State::in_memory();
  auto bare = app.root_resources(*state);
  ASSERT_EQ(bare.size(), 1u);
  EXPECT_EQ(bare[0].id, "maps.workspace");
  EXPECT_EQ(verbs(bare[0]), (std::vector<std::string>{"locate", "toggle-traffic"}));

  app.tick(*state); // seeds the document from the demo model
  app.model.results = {new_place("not-stored", "Elsewhere", PlaceCategory::Other, 48.1, 11.5, "")};
  auto const roots = app.root_resources(*state);
  auto const& ws = roots.at(0);
  EXPECT_EQ(ws.title, "Maps");
  auto const v = verbs(ws);
  EXPECT_EQ(v.back(), "toggle-traffic");
  EXPECT_EQ(ws.find_action("toggle-traffic")->label, "Show traffic");
  ASSERT_TRUE(ws.find_action("locate")->contract->unavailable);
  EXPECT_EQ(ws.find_action("locate")->contract->unavailable->code, "location_service_offline");

  auto const* hof = child(ws, "maps.place:hofgarten");
  ASSERT_TRUE(hof);
  EXPECT_EQ(verbs(*hof), (std::vector<std::string>{"directions", "open", "unsave"}));
  EXPECT_FALSE(child(ws, "maps.place:marienplatz")) << "not saved";
  auto const* result = child(ws, "maps.search-result:not-stored");
  ASSERT_TRUE(result);
  EXPECT_TRUE(result->actions.empty());
  auto const* settings = child(ws, "maps.plan-settings");
  ASSERT_TRUE(settings);
  EXPECT_EQ(settings->find_action("travel-mode-cycle")->label, "Travel by Cycle");

  auto resolved = app.resolve_resource(*state, "maps.place:hofgarten");
  ASSERT_TRUE(resolved);
  EXPECT_FALSE(app.resolve_resource(*state, "maps.place:marienplatz"));
  EXPECT_FALSE(app.resolve_resource(*state, "maps.nothing"));
  EXPECT_TRUE(app.list_resources(*state, 1, 10).items.empty());
  EXPECT_EQ(app.list_resources(*state, 0, 1).items.size(), 1u);
}

TEST(Resources, TitlesLimitsAndTravelTimes) {
  MapModel m = demo_scenario();
  m.dest_name = "   ";
  m.transit.resize(3);
  m.transit_time = TransitTime{TransitTimeMode::Arrive, 5};
  m.regions.clear();
  for (int i = 0; i < 15; ++i) {
    m.regions.push_back(
        DownloadedRegion{"region:" + std::to_string(i), "Area", {}, {}, 12, 16, 10});
  }
  auto const ws = workspace_resource(m);
  ASSERT_TRUE(ws);
  std::size_t regions = 0;
  for (auto const& c : ws->children) {
    regions += c.kind == "maps.region";
  }
  EXPECT_EQ(regions, 12u);
  EXPECT_TRUE(find_workspace_resource(&m, "maps.region:region:14"));
  EXPECT_EQ(find_workspace_resource(&m, "maps.region:region:0")->title,
            "Area \xC2\xB7 z12\xE2\x80\x93"
            "16");
  EXPECT_EQ(find_workspace_resource(&m, "maps.route:active")->title, "Active route");
  EXPECT_EQ(find_workspace_resource(&m, "maps.transit:active")->title, "3 transit option(s)");
  auto const settings = find_workspace_resource(&m, "maps.plan-settings");
  EXPECT_EQ(settings->find_action("travel-time-earlier")->invoke({}).payload_text(),
            R"({"SetTransitTime":{"value":{"mode":"Arrive","offset_min":0}}})");
  m.transit_time.offset_min = 1440;
  EXPECT_EQ(find_workspace_resource(&m, "maps.plan-settings")
                ->find_action("travel-time-later")
                ->invoke({})
                .payload_text(),
            R"({"SetTransitTime":{"value":{"mode":"Arrive","offset_min":1440}}})");
}

} // namespace
} // namespace maps
