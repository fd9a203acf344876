// The application's object on the session bus: any method of its three interfaces with
// arguments of the method's signature, parsed as the bus thread parses it and applied to a
// fresh demo application as the UI thread applies it. A call is refused with a valid error or
// answered at its out-signature; either way the answer must be one GDBus can send.

#include <memory>

#include "app/maps_app.h"
#include "bus_calls.h"
#include "platform/actions/registry.h"
#include "platform/bus/app_bus.h"
#include "platform/bus/bus_apply.h"
#include "platform/bus/bus_request.h"
#include "platform/launch/state.h"
#include "sample/sample_data.h"
#include "sample/street_network.h"
#include "sdk/sdk_integration.h"
#include "shell/launch_record.h"
#include "targets.h"
#include "tiles/tile_cache.h"

namespace maps::fuzz {

namespace {

constexpr char AUTOMATION[] = "test.zarn.maps.Automation1";

struct Fixture {
  MapModel model = demo_scenario();
  StreetNetwork streets = sample_road_network();
  zarn_actions::ActionRegistry registry;
  Fixture() { register_maps_action_decoder(registry); }
};

} // namespace

bool session_bus(Bytes data) {
  fatal_glib_criticals();
  static Introspection const methods(zarn_ui::bus::introspection_xml(AUTOMATION));
  static Fixture const fixture;
  FuzzInput in(data);
  auto const call = methods.call(in);

  auto app = std::make_unique<MapsApp>(
      build_maps_app(fixture.model, fixture.streets, offline_tile_cache(), false, false));
  app->window_rect_ = zarn_ui::Rect{0, 0, 1280, 800};
  // A locate must fail at once rather than reach the machine's session bus.
  app->location_config.bus_address = "unix:path=/nonexistent/bus";
  auto state = zarn_ui::State::in_memory();
  state->attach_registry(&fixture.registry);
  app->tick(*state);
  auto const actions = zarn_ui::bus::published_signatures(*app, published_action_signatures());

  auto const request =
      zarn_ui::bus::parse_call(call.interface, call.method, call.parameters.get(), actions);
  if (!request) {
    check_error(request.error().name, request.error().message);
    return false;
  }
  zarn_ui::bus::ApplyContext const ctx{*app, *state, actions, "test.zarn.maps.Error",
                                       [](std::string const&) {}};
  auto const reply = zarn_ui::bus::apply(*request, ctx);
  if (reply.error()) {
    check_error(reply.error()->name, reply.error()->message);
    return false;
  }
  // No tuple is the empty one.
  Variant const empty(g_variant_new_tuple(nullptr, 0));
  check_reply(call, reply.tuple() ? reply.tuple() : empty.get());
  app->tick(*state);
  return true;
}

} // namespace maps::fuzz
