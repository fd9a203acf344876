#include <gtest/gtest.h>

#include "app/maps_app.h"
#include "doc/load.h"
#include "doc/save.h"
#include "doc/updaters.h"
#include "model/json.h"
#include "platform/actions/executor.h"
#include "platform/launch/state.h"
#include "sdk/sdk_integration.h"

namespace maps {
namespace {

using zarn_ui::doc::Document;

std::span<std::uint8_t const> bytes(std::string const& text) {
  return {reinterpret_cast<std::uint8_t const*>(text.data()), text.size()};
}

MapsApp offline_app() {
  return build_maps_app(default_map_model(), StreetNetwork{}, offline_tile_cache(), false, false);
}

Place cafe(bool saved = false) {
  Place p = new_place("osm-node-1", "Caf\xC3\xA9 Tambosi", PlaceCategory::Cafe, 48.142, 11.578, "");
  p.saved = saved;
  return p;
}

TEST(TypedDispatch, ContextLabelComesFromTheVariantName) {
  struct Case {
    MapsAction action;
    char const* label;
  } const cases[] = {
      {MapsAction{MapsAction::ClearRecents{}}, "Clear recents"},
      {MapsAction{MapsAction::SetPlaceSaved{"a", true}}, "Set place saved"},
      {MapsAction{MapsAction::AddRegion{}}, "Add region"},
      {MapsAction{MapsAction::UpsertPlaces{{cafe()}}}, "Upsert places"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.label);
    auto const context = new_action_context("test.zarn.Maps", "Maps", c.action);
    EXPECT_EQ(context.label, c.label);
    ASSERT_TRUE(context.origin);
    EXPECT_EQ(context.origin->id, "test.zarn.Maps");
    EXPECT_EQ(context.origin->name, "Maps");
  }
}

TEST(TypedDispatch, HostKeepsTheFirstHeadsAndTheLastAction) {
  Document doc;
  save_model_to_doc(doc, default_map_model());
  auto const before_first = doc.heads();
  zarn_actions::ActionHost host;
  MapsAction const first{MapsAction::CommitSearch{"Marienplatz"}};
  MapsAction const second{MapsAction::SetTravelMode{TravelMode::Bike}};
  ASSERT_TRUE(dispatch_typed_action(host, doc, MAPS_ACTION_NAMESPACE, first, std::nullopt));
  ASSERT_TRUE(dispatch_typed_action(host, doc, MAPS_ACTION_NAMESPACE, second,
                                    new_action_context("test.zarn.Maps", "Maps", second)));
  EXPECT_EQ(host.first_heads, before_first);
  ASSERT_TRUE(host.last_action);
  EXPECT_EQ(host.last_action->ns, "maps.action");
  EXPECT_EQ(host.last_action->payload_text(), R"({"SetTravelMode":{"mode":"Bike"}})");
  auto const model = load_model_from_doc(doc);
  ASSERT_TRUE(model);
  EXPECT_EQ(model->mode, TravelMode::Bike);
  EXPECT_EQ(model->recents, std::vector<std::string>{"Marienplatz"});
}

TEST(TypedDispatch, DecoderRefusesTrailingTextAndNamesItsNamespace) {
  auto ok = decode_maps_action(bytes(R"( "ClearRoute" )"));
  ASSERT_TRUE(ok);
  EXPECT_EQ((*ok)->debug_text(), "ClearRoute");
  for (std::string const bad :
       {R"("ClearRoute" "ClearRoute")", R"("ClearRoute"x)", R"({"Nope":null})"}) {
    SCOPED_TRACE(bad);
    auto refused = decode_maps_action(bytes(bad));
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().kind, zarn_actions::ActionError::Kind::DecodingFailed);
    EXPECT_EQ(refused.error().ns, "maps.action");
  }
}

TEST(TypedDispatch, RegisteringTwiceKeepsOneDecoder) {
  zarn_actions::ActionRegistry registry;
  register_maps_action_decoder(registry);
  register_maps_action_decoder(registry);
  EXPECT_EQ(registry.size(), 1u);
  auto decoded = registry.decode(
      {"maps.action", {'"', 'C', 'l', 'e', 'a', 'r', 'R', 'e', 'g', 'i', 'o', 'n', 's', '"'}});
  ASSERT_TRUE(decoded);
  EXPECT_FALSE(registry.decode({"other.action", {'1'}}));
}

TEST(DispatchMapsAction, FirstDispatchSeedsAnEmptyDocumentFromTheLiveModel) {
  MapsApp app = offline_app();
  app.model.places.push_back(cafe());
  Document doc;
  app.dispatch_maps_action(doc, MapsAction{MapsAction::SetPlaceSaved{"osm-node-1", true}});
  auto const stored = load_model_from_doc(doc);
  ASSERT_TRUE(stored);
  ASSERT_EQ(stored->places.size(), 1u);
  EXPECT_TRUE(stored->places[0].saved);
  ASSERT_EQ(app.model.places.size(), 1u);
  EXPECT_TRUE(app.model.places[0].saved);
}

TEST(DispatchMapsAction, ClearRouteRemovesALiveOnlyEstimate) {
  MapsApp app = offline_app();
  Document doc;
  app.tick_doc(doc); // seeds the document: no route stored
  app.model.dest = LatLon{48.15, 11.59};
  app.request_route(); // the straight-line estimate lives only in the live model
  ASSERT_TRUE(app.model.route);
  app.tick_doc(doc);
  ASSERT_TRUE(app.model.route) << "an unchanged document keeps what the UI wrote";
  app.dispatch_maps_action(doc, MapsAction{MapsAction::ClearRoute{}});
  EXPECT_FALSE(app.model.route);
  ASSERT_TRUE(app.actions.last_action);
  EXPECT_EQ(app.actions.last_action->payload_text(), "\"ClearRoute\"");
}

TEST(DispatchMapsAction, SearchAnswerKeepsTheSavedFlagOfAStoredPlace) {
  MapsApp app = offline_app();
  app.model.places.push_back(cafe(true));
  Document doc;
  app.tick_doc(doc);
  app.dispatch_maps_action(doc, MapsAction{MapsAction::UpsertPlaces{{cafe(false)}}});
  ASSERT_EQ(app.model.places.size(), 1u);
  EXPECT_TRUE(app.model.places[0].saved);
}

class FailingAction final : public zarn_actions::TypedAction {
public:
  std::string debug_text() const override { return "Failing"; }
  base::Result<void> apply_action_to_doc(Document& doc) const override {
    (void)doc.put(zarn_ui::doc::ObjId::root(), "half", zarn_ui::doc::ScalarValue{true});
    return base::fail("refused half way");
  }
};

TEST(Executor, AFailingActionLeavesTheDocumentAsItWas) {
  Document doc;
  save_model_to_doc(doc, default_map_model());
  auto const heads = doc.heads();
  zarn_actions::LocalTransport transport;
  auto const actor = doc.actor();
  auto outcome = zarn_actions::executor::dispatch_by(doc, FailingAction{}, {"maps.action", {'1'}},
                                                     transport, actor);
  ASSERT_FALSE(outcome);
  EXPECT_EQ(outcome.error().kind, zarn_actions::ActionError::Kind::Rejected);
  EXPECT_EQ(doc.heads(), heads);
  auto const half = doc.get(zarn_ui::doc::ObjId::root(), "half");
  ASSERT_TRUE(half);
  EXPECT_FALSE(half->has_value());
}

TEST(Executor, RefusesAnActorThatDoesNotWriteTheDocument) {
  Document doc;
  zarn_actions::LocalTransport transport;
  zarn_ui::doc::Bytes const stranger(16, 0xAB);
  MapsTypedAction const action(MapsAction{MapsAction::ClearRecents{}});
  auto outcome =
      zarn_actions::executor::dispatch_by(doc, action, {"maps.action", {'1'}}, transport, stranger);
  EXPECT_FALSE(outcome);
  EXPECT_TRUE(transport.sent.empty());
}

TEST(ExternalActions, AnInvokedActionReachesTheDocumentAndTheNextTick) {
  zarn_ui::App platform_app;
  register_maps_action_decoder(platform_app.action_registry_mut());
  auto state = zarn_ui::State::in_memory();
  state->attach_registry(&platform_app.action_registry());
  MapsApp app = offline_app();
  app.tick(*state);
  std::string const payload = R"({"CommitSearch":{"query":"Viktualienmarkt","extra":1}})";
  auto applied = state->apply_external({"maps.action", {payload.begin(), payload.end()}});
  ASSERT_TRUE(applied) << applied.error().display();
  EXPECT_TRUE(app.model.recents.empty());
  app.tick(*state);
  EXPECT_EQ(app.model.recents, std::vector<std::string>{"Viktualienmarkt"});

  auto refused = state->apply_external({"maps.action", {'{', '}'}});
  EXPECT_FALSE(refused);
}

} // namespace
} // namespace maps
