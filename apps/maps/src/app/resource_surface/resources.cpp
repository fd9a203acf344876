#include "app/resource_surface/resources.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include <fmt/format.h>

#include "app/maps_app.h"
#include "base/utf8.h"
#include "doc/load.h"
#include "model/ops.h"
#include "platform/launch/state.h"
#include "sdk/builders.h"

namespace maps {

namespace {

using zarn_actions::Resource;

/// Children lists stop here; lookups by id do not.
constexpr std::size_t MAX_CHILDREN = 12;
/// Published verbs other than "locate" declare this effect, which invoke_action recognises.
constexpr std::uint8_t PUBLISHED_EFFECT = 2;
constexpr std::uint8_t LOCATE_EFFECT = 1;

struct ModeVerb {
  TravelMode mode;
  std::string_view display;
};
constexpr std::array<ModeVerb, 4> MODE_VERBS = {{{TravelMode::Car, "Drive"},
                                                 {TravelMode::Transit, "Transit"},
                                                 {TravelMode::Bike, "Cycle"},
                                                 {TravelMode::Foot, "Walk"}}};

std::string lower_ascii(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return out;
}

zarn_actions::ActionSpec published_verb(std::string_view verb, std::string label,
                                        std::string_view ns, std::string_view value) {
  auto spec =
      new_action_spec(verb, std::move(label), PUBLISHED_EFFECT, encode_text_action(ns, value));
  spec.flag.reset();
  return spec;
}

zarn_actions::ActionSpec null_argument_verb(std::string_view verb, std::string label,
                                            std::string_view ns, std::uint8_t effect) {
  std::string const null_text = "null";
  auto spec = new_action_spec(
      verb, std::move(label), effect,
      zarn_actions::EncodedAction{std::string(ns), {null_text.begin(), null_text.end()}});
  spec.flag.reset();
  return spec;
}

Resource recent_resource(std::string const& text) {
  Resource r = new_resource("maps.search-history:" + text, "maps.search-history", text);
  r.actions.push_back(published_verb("search-again", "Search again", "maps.search", text));
  return r;
}

Resource place_resource(Place const& place) {
  Resource r = new_resource("maps.place:" + place.id, "maps.place", place.name);
  r.actions.push_back(action_spec_for_maps_action(
      "unsave", "Remove from saved", MapsAction{MapsAction::SetPlaceSaved{place.id, false}}));
  return r;
}

Resource route_resource(MapModel const& m) {
  std::string_view const dest = base::utf8::trim(m.dest_name);
  Resource r =
      new_resource("maps.route:active", "maps.route",
                   dest.empty() ? std::string("Active route") : fmt::format("Route to {}", dest));
  r.actions.push_back(
      action_spec_for_maps_action("clear", "Clear route", MapsAction{MapsAction::ClearRoute{}}));
  return r;
}

Resource transit_resource(MapModel const& m) {
  Resource r = new_resource("maps.transit:active", "maps.transit",
                            fmt::format("{} transit option(s)", m.transit.size()));
  r.actions.push_back(action_spec_for_maps_action("clear", "Clear transit options",
                                                  MapsAction{MapsAction::ClearTransit{}}));
  return r;
}

Resource region_resource(DownloadedRegion const& region) {
  Resource r =
      new_resource("maps.region:" + region.id, "maps.region",
                   fmt::format("{} \xC2\xB7 z{}\xE2\x80\x93{}", region.name, region.z0, region.z1));
  r.actions.push_back(action_spec_for_maps_action("delete", "Delete region",
                                                  MapsAction{MapsAction::DeleteRegion{region.id}}));
  return r;
}

Resource plan_settings_resource(MapModel const& m) {
  Resource r = new_resource("maps.plan-settings", "maps.plan-settings", "Route planning settings");
  for (auto const& [mode, display] : MODE_VERBS) {
    r.actions.push_back(action_spec_for_maps_action(
        fmt::format("travel-mode-{}", lower_ascii(display)), fmt::format("Travel by {}", display),
        MapsAction{MapsAction::SetTravelMode{mode}}));
  }
  auto shifted = [&](std::int32_t delta) {
    // Widened first: a stored offset near the 32-bit limits must clamp, not wrap to the far end.
    std::int64_t const offset =
        std::clamp<std::int64_t>(std::int64_t{m.transit_time.offset_min} + delta, 0, 1440);
    return MapsAction{MapsAction::SetTransitTime{
        TransitTime{m.transit_time.mode, static_cast<std::int32_t>(offset)}}};
  };
  r.actions.push_back(
      action_spec_for_maps_action("travel-time-earlier", "Plan 15 minutes earlier", shifted(-15)));
  r.actions.push_back(action_spec_for_maps_action(
      "travel-time-now", "Leave now",
      MapsAction{MapsAction::SetTransitTime{TransitTime{TransitTimeMode::Depart, 0}}}));
  r.actions.push_back(
      action_spec_for_maps_action("travel-time-later", "Plan 15 minutes later", shifted(15)));
  return r;
}

Resource bare_workspace() {
  return new_resource("maps.workspace", "maps.workspace", "Maps");
}

std::vector<Place const*> saved_in_order(MapModel const& m) {
  return saved_places(m);
}

} // namespace

std::optional<Resource> workspace_resource(MapModel const& m) {
  Resource ws = bare_workspace();
  if (!m.regions.empty()) {
    ws.actions.push_back(action_spec_for_maps_action("clear-regions", "Clear offline areas",
                                                     MapsAction{MapsAction::ClearRegions{}}));
  }
  auto search =
      new_text_action_spec("search", "Search maps", "Place, address, or category",
                           "e.g. museum near me", std::nullopt, "maps.search", encode_search_text);
  search.effect = PUBLISHED_EFFECT;
  ws.actions.push_back(std::move(search));
  if (!m.recents.empty()) {
    ws.actions.push_back(action_spec_for_maps_action("clear-search-history", "Clear search history",
                                                     MapsAction{MapsAction::ClearRecents{}}));
  }
  for (std::size_t i = 0; i < m.recents.size() && i < MAX_CHILDREN; ++i) {
    ws.children.push_back(recent_resource(m.recents[i]));
  }
  auto const saved = saved_in_order(m);
  for (std::size_t i = 0; i < saved.size() && i < MAX_CHILDREN; ++i) {
    ws.children.push_back(place_resource(*saved[i]));
  }
  if (m.route) {
    ws.children.push_back(route_resource(m));
  }
  if (!m.transit.empty()) {
    ws.children.push_back(transit_resource(m));
  }
  for (std::size_t i = 0; i < m.regions.size() && i < MAX_CHILDREN; ++i) {
    ws.children.push_back(region_resource(m.regions[i]));
  }
  ws.children.push_back(plan_settings_resource(m));
  return ws;
}

std::optional<Resource> find_workspace_resource(MapModel const* m, std::string_view id) {
  if (!m) {
    return std::nullopt;
  }
  if (id == "maps.workspace") {
    return workspace_resource(*m);
  }
  if (id == "maps.route:active") {
    return m->route ? std::optional(route_resource(*m)) : std::nullopt;
  }
  if (id == "maps.transit:active") {
    return m->transit.empty() ? std::nullopt : std::optional(transit_resource(*m));
  }
  if (id == "maps.plan-settings") {
    return plan_settings_resource(*m);
  }
  if (id.starts_with("maps.search-history:")) {
    std::string_view const text = id.substr(std::string_view("maps.search-history:").size());
    auto const it = std::find(m->recents.begin(), m->recents.end(), text);
    return it == m->recents.end() ? std::nullopt : std::optional(recent_resource(*it));
  }
  if (id.starts_with("maps.place:")) {
    Place const* place = find_place(*m, id.substr(std::string_view("maps.place:").size()));
    return place && place->saved ? std::optional(place_resource(*place)) : std::nullopt;
  }
  if (id.starts_with("maps.region:")) {
    std::string_view const rid = id.substr(std::string_view("maps.region:").size());
    auto const it = std::find_if(m->regions.begin(), m->regions.end(),
                                 [&](DownloadedRegion const& r) { return r.id == rid; });
    return it == m->regions.end() ? std::nullopt : std::optional(region_resource(*it));
  }
  return std::nullopt;
}

void add_resource_actions(MapsApp const& app, Resource& r) {
  if (r.kind == "maps.workspace") {
    auto locate = null_argument_verb("locate", "Use my location", "maps.locate", LOCATE_EFFECT);
    zarn_actions::Contract contract;
    if (!app.live) {
      contract.unavailable = zarn_actions::Unavailable{
          "location_service_offline", "The location service is unavailable in this session"};
    } else if (app.location_rx) {
      contract.unavailable = zarn_actions::Unavailable{"request_in_progress",
                                                       "A location request is already in progress"};
    }
    r.actions.push_back(std::move(locate).with_contract(std::move(contract)));
    r.actions.push_back(null_argument_verb("toggle-traffic",
                                           app.traffic_on ? "Hide traffic" : "Show traffic",
                                           "maps.toggle-traffic", PUBLISHED_EFFECT));
  } else if (r.kind == "maps.place" || r.kind == "maps.search-result") {
    std::string_view const prefix = r.kind == "maps.place" ? "maps.place:" : "maps.search-result:";
    std::string const pid = r.id.substr(prefix.size());
    if (find_place(app.model, pid)) {
      if (r.kind == "maps.place") {
        r.actions.insert(r.actions.begin(),
                         published_verb("open", "Open place", "maps.open-place", pid));
      }
      r.actions.insert(r.actions.begin(),
                       published_verb("directions", "Get directions", "maps.directions", pid));
    }
  } else if (r.kind == "maps.poi") {
    std::string const pid = r.id.substr(std::string_view("maps.poi:").size());
    bool const nearby = std::any_of(app.nearby_pois.begin(), app.nearby_pois.end(),
                                    [&](Poi const& p) { return p.id == pid; });
    if (nearby) {
      r.actions.push_back(published_verb("open", "Open place", "maps.open-poi", pid));
      r.actions.push_back(
          published_verb("directions", "Get directions", "maps.directions-poi", pid));
    }
  }
  for (auto& child : r.children) {
    add_resource_actions(app, child);
  }
}

std::vector<Resource> MapsApp::root_resources(zarn_ui::State& state) {
  auto const stored = load_model_from_doc(state.document());
  Resource ws = stored ? *workspace_resource(*stored) : bare_workspace();
  for (std::size_t i = 0; i < model.results.size() && i < MAX_CHILDREN; ++i) {
    auto const& p = model.results[i];
    ws.children.push_back(new_resource("maps.search-result:" + p.id, "maps.search-result", p.name));
  }
  auto const pois = nearest_pois();
  for (std::size_t i = 0; i < pois.size() && i < MAX_CHILDREN; ++i) {
    ws.children.push_back(new_resource("maps.poi:" + pois[i].id, "maps.poi", pois[i].name));
  }
  add_resource_actions(*this, ws);
  std::vector<Resource> out;
  out.push_back(std::move(ws));
  return out;
}

zarn_actions::ResourcePage MapsApp::list_resources(zarn_ui::State& state, std::uint64_t cursor,
                                                   std::uint64_t limit) {
  zarn_actions::ResourcePage page;
  if (cursor == 0 && limit != 0) {
    page.items = root_resources(state);
  }
  return page;
}

std::optional<Resource> MapsApp::resolve_resource(zarn_ui::State& state, std::string_view id) {
  auto const stored = load_model_from_doc(state.document());
  std::optional<Resource> found = find_workspace_resource(stored ? &*stored : nullptr, id);
  if (!found && id == "maps.workspace") {
    found = bare_workspace();
  }
  if (!found && id.starts_with("maps.search-result:")) {
    std::string_view const pid = id.substr(std::string_view("maps.search-result:").size());
    auto const it = std::find_if(model.results.begin(), model.results.end(),
                                 [&](Place const& p) { return p.id == pid; });
    if (it != model.results.end()) {
      found = new_resource(id, "maps.search-result", it->name);
    }
  }
  if (!found && id.starts_with("maps.poi:")) {
    std::string_view const pid = id.substr(std::string_view("maps.poi:").size());
    auto const it = std::find_if(nearby_pois.begin(), nearby_pois.end(),
                                 [&](Poi const& p) { return p.id == pid; });
    if (it != nearby_pois.end()) {
      found = new_resource(id, "maps.poi", it->name);
    }
  }
  if (found) {
    add_resource_actions(*this, *found);
  }
  return found;
}

} // namespace maps
