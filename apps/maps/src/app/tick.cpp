// The frame tick: where every asynchronous outcome reaches the UI (request answers, the
// location answer, expired debounces, tile replies, document changes), in a fixed order, without
// ever waiting.

#include <utility>

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include "app/maps_app.h"
#include "app/offline.h"
#include "app/suggestions.h"
#include "base/utf8.h"
#include "doc/load.h"
#include "doc/save.h"
#include "doc/save_notice.h"
#include "location/failure_text.h"
#include "model/ops.h"
#include "platform/launch/state.h"

namespace maps {

namespace {

constexpr std::string_view ELLIPSIS = "\xE2\x80\xA6";

bool due(std::optional<base::Instant> const& deadline, base::Instant now) {
  return deadline && *deadline <= now;
}

std::string trimmed(std::string_view text) {
  return std::string(base::utf8::trim(text));
}

OfflineCounters offline_counters(TileCache const& tiles) {
  return {tiles.offline_downloads, tiles.offline_total, tiles.offline_done, tiles.offline_failed};
}

// An offline download is no request in flight: its progress text has to stay until the tile
// step announces the download complete, or that step would find nothing to replace.
bool announces_running_download(std::string_view status, TileCache const& tiles,
                                OfflineCounters const& announced) {
  if (status.find("Downloading") == std::string_view::npos || tiles.offline_total == 0) {
    return false;
  }
  return tiles.offline_done < tiles.offline_total || offline_counters(tiles) != announced;
}

/// The planner names the query's own endpoints "START" and "END"; the user knows them by the
/// names shown in the fields.
void name_query_endpoints(std::vector<TransitJourney>& journeys, std::string const& origin,
                          std::string const& dest) {
  auto const rename = [&](std::string& name) {
    if (name == "START" && !origin.empty()) {
      name = origin;
    } else if (name == "END" && !dest.empty()) {
      name = dest;
    }
  };
  for (auto& journey : journeys) {
    for (auto& leg : journey.legs) {
      rename(leg.from_name);
      rename(leg.to_name);
    }
  }
}

} // namespace

void MapsApp::tick(zarn_ui::State& state) {
  if (!map_raster.zoom_steady) {
    map_settle_asked = map_raster.last_zoom; // this frame is the one needs_frame asked for
  }
  tick_doc(state.document());
  // After the first document step, which fills the model from the document: the fresh start
  // is announced over whatever that brought.
  if (!open_problem_shown) {
    open_problem_shown = true;
    if (auto const& problem = state.persistence().open_problem()) {
      set_status(model, *problem, StatusKind::Warning);
    }
  }
  tell_save_state(save_notice, model.status, state.persistence());
}

void MapsApp::tick_doc(zarn_ui::doc::Document& doc) {
  // 1. Every answer that arrived; each counts down the jobs in flight before it is handled.
  for (;;) {
    auto received = results_rx.try_recv();
    auto* message = std::get_if<ServiceResult>(&received);
    if (!message) {
      break;
    }
    if (jobs_in_flight > 0) {
      --jobs_in_flight;
    }
    handle_result(doc, std::move(*message));
    if (jobs_in_flight == 0 && model.status.find(ELLIPSIS) != std::string::npos &&
        !announces_running_download(model.status, tiles, last_offline_counters)) {
      set_status(model, {});
    }
  }
  handle_location();
  fire_search_debounce();
  fire_map_idle();
  fire_area_search_debounce();
  poll_tiles(doc);

  // 7. The document: load or seed it once, then take over what changed in it.
  if (!doc_loaded) {
    // The first refresh takes over every persisted field, or reports that the document holds
    // no map data yet. The baseline may have been read already, while the window opened.
    if (!refresh_model_from_doc(doc, model, doc_baseline, FieldSet::all())) {
      save_model_to_doc(doc, model, doc_baseline);
    }
    doc_loaded = true;
  } else {
    refresh_model_from_doc(doc, model, doc_baseline);
  }
  for (std::string& query : std::exchange(unrecorded_searches, {})) {
    dispatch_maps_action(doc, MapsAction{MapsAction::CommitSearch{std::move(query)}});
  }

  fire_endpoint_debounce();

  // The box shows the query. It is set into the input only when something other than typing
  // changed it (a picked place, a search run again, a published action), so the text being
  // edited, its caret and its selection stay as they are.
  if (search_box.input.text() != model.query) {
    search_box.input.set_text(model.query);
  }
  search_box.input.set_focused(search_box.editing);
}

void MapsApp::rank_places(std::vector<Place>& places, std::string_view query) const {
  rank_places_for_query(places, query, origin_or_center());
}

void MapsApp::handle_result(zarn_ui::doc::Document& doc, ServiceResult message) {
  struct Handler {
    MapsApp& app;
    zarn_ui::doc::Document& doc;

    void operator()(result::Search& r) {
      if (!r.result) {
        set_status(app.model, fmt::format("Search failed: {}", r.result.error()),
                   StatusKind::Error);
        return;
      }
      if (r.result->empty()) {
        set_status(app.model, fmt::format("No results for \xE2\x80\x9C{}\xE2\x80\x9D", r.query));
        return;
      }
      app.dispatch_maps_action(doc, MapsAction{MapsAction::UpsertPlaces{*r.result}});
      std::vector<Place> ranked = std::move(*r.result);
      app.rank_places(ranked, r.query);
      std::size_t const count = ranked.size();
      if (app.search_box.editing) {
        set_search_suggestions(app.search_box, std::move(ranked));
      } else {
        app.jump_to(ranked.front().pos);
        app.model.selected = ranked.front().id;
        app.model.results = std::move(ranked);
      }
      set_status(app.model,
                 fmt::format("{} results for \xE2\x80\x9C{}\xE2\x80\x9D", count, r.query));
    }

    void operator()(result::EndpointSearch& r) {
      std::uint8_t const field = r.for_origin ? ORIGIN_FIELD : DEST_FIELD;
      EndpointEditor& editor = app.endpoints;
      // An answer for a text the field no longer holds must not end the search of the new one.
      bool const current = trimmed(field == ORIGIN_FIELD ? editor.origin_text : editor.dest_text) ==
                           trimmed(r.query);
      if (!r.result) {
        set_status(app.model, fmt::format("Search failed: {}", r.result.error()),
                   StatusKind::Error);
        if (current) {
          set_endpoint_answer(editor, field, app.model.status);
        }
        return;
      }
      if (r.result->empty()) {
        set_status(app.model, "No matching places");
        if (current) {
          set_endpoint_answer(editor, field, "No matches");
        }
        return;
      }
      app.dispatch_maps_action(doc, MapsAction{MapsAction::UpsertPlaces{*r.result}});
      std::vector<Place> ranked = std::move(*r.result);
      app.rank_places(ranked, r.query);
      if (current) {
        set_endpoint_suggestions(editor, field, std::move(ranked));
      }
      set_status(app.model, {});
    }

    void operator()(result::ReverseGeocode& r) {
      if (r.result && !r.result->empty()) {
        app.model.origin_name = std::move(*r.result);
      }
    }

    void operator()(result::Route& r) {
      if (!r.result) {
        // The straight-line estimate that request_route set stays the route.
        set_status(app.model,
                   fmt::format("Routing failed (offline estimate shown): {}", r.result.error()),
                   StatusKind::Error);
        return;
      }
      auto const& m = app.model;
      app.dispatch_maps_action(
          doc, MapsAction{MapsAction::SetRoute{std::move(*r.result), m.origin, m.origin_name,
                                               m.dest, m.dest_name, m.mode}});
      app.fit_to_route();
      set_status(app.model, "Route updated");
    }

    void operator()(result::Transit& r) {
      if (!r.result) {
        set_status(app.model, fmt::format("Transit lookup failed: {}", r.result.error()),
                   StatusKind::Error);
        return;
      }
      if (r.result->empty()) {
        set_status(app.model, "No transit options found");
        return;
      }
      auto const& m = app.model;
      name_query_endpoints(*r.result, m.origin_name, m.dest_name);
      app.dispatch_maps_action(
          doc, MapsAction{MapsAction::SetTransit{std::move(*r.result), m.origin, m.origin_name,
                                                 m.dest, m.dest_name}});
      app.fit_to_plan();
      set_status(app.model, "Departures updated");
    }

    void operator()(result::NearbyPlaces& r) {
      if (r.generation != app.places_generation) {
        return; // an answer for a view the user has left
      }
      if (!r.result) {
        set_status(app.model, fmt::format("Places unavailable: {}", r.result.error()),
                   StatusKind::Error);
        return;
      }
      std::vector<Poi>& pois = *r.result;
      if (pois.size() > MAX_NEARBY_POIS) {
        pois.resize(MAX_NEARBY_POIS);
      }
      app.nearby_pois = std::move(pois);
      if (app.selected_poi) {
        bool const kept = std::any_of(app.nearby_pois.begin(), app.nearby_pois.end(),
                                      [&](Poi const& p) { return p.id == *app.selected_poi; });
        if (!kept) {
          app.selected_poi.reset();
        }
      }
      if (app.model.status.find("Loading places") != std::string::npos) {
        set_status(app.model, fmt::format("{} places nearby", app.nearby_pois.size()));
      }
    }

    void operator()(result::AreaSearch& r) {
      auto& panel = app.offline_panel;
      if (!panel.open || trimmed(panel.query) != trimmed(r.query)) {
        return;
      }
      panel.search_failed = !r.result;
      if (!r.result) {
        panel.search_note = fmt::format("Search failed: {}", r.result.error());
        panel.hits.clear();
        panel.search.set_suggestions_open({});
        return;
      }
      panel.search_note =
          r.result->empty()
              ? fmt::format("No places found for \xE2\x80\x9C{}\xE2\x80\x9D", trimmed(r.query))
              : std::string();
      panel.search.set_suggestions_open(place_suggestions(*r.result));
      panel.hits = std::move(*r.result);
    }
  };
  std::visit(Handler{*this, doc}, message);
}

// The outcome waits in finished_action for the pending request; the request stays pending until
// the platform takes the outcome for its id, so a second locate cannot start in between.
void MapsApp::handle_location() {
  if (!location_rx) {
    return;
  }
  auto received = location_rx->try_recv();
  if (auto const* error = std::get_if<base::RecvError>(&received)) {
    if (*error == base::RecvError::Empty) {
      return;
    }
    locating = false;
    location_rx.reset();
    set_status(model, "Location unavailable \xE2\x80\x94 the location service stopped answering",
               StatusKind::Error);
    if (pending_request) {
      finished_action = zarn_actions::ActionCompletion{
          *pending_request, tl::unexpected(zarn_actions::ActionFailure{
                                "location_channel_closed",
                                "The location service disconnected before returning a fix"})};
    }
    return;
  }
  LocationResult answer = std::move(std::get<LocationResult>(received));
  locating = false;
  location_rx.reset();
  if (!answer) {
    spdlog::warn("location request failed: {}", answer.error());
    set_status(model, location_failure_status(answer.error()), StatusKind::Error);
    if (pending_request) {
      finished_action = zarn_actions::ActionCompletion{
          *pending_request,
          tl::unexpected(zarn_actions::ActionFailure{"location_unavailable", model.status})};
    }
    return;
  }
  LatLon const fix{answer->lat, answer->lon};
  model.origin = fix;
  model.origin_name = "Current location";
  model.center = fix;
  schedule_map_idle();
  set_status(model, "Located");
  if (live) {
    ++jobs_in_flight;
    spawn_reverse_geocode(results_tx, services, fix.lat, fix.lon);
  }
  if (model.dest) {
    if (model.mode == TravelMode::Transit) {
      request_transit();
    } else {
      request_route();
    }
  }
  if (pending_request) {
    finished_action = zarn_actions::ActionCompletion{*pending_request, {}};
  }
}

void MapsApp::fire_search_debounce() {
  if (!due(search_box.debounce, now())) {
    return;
  }
  search_box.debounce.reset();
  std::string query = trimmed(model.query);
  if (query.empty() || !live) {
    return;
  }
  ++jobs_in_flight;
  set_status(model, "Searching\xE2\x80\xA6");
  spawn_search(results_tx, services, std::move(query));
}

void MapsApp::fire_map_idle() {
  if (!due(map_idle_deadline, now())) {
    return;
  }
  map_idle_deadline.reset();
  if (window_rect_.width() <= 1.0) {
    schedule_map_idle(); // no usable view yet
    return;
  }
  if (model.zoom < 14.0) {
    nearby_pois.clear();
    places_box.reset();
    return;
  }
  auto const [south, west, north, east] = viewport_bounds();
  if (places_box) {
    auto const& box = *places_box;
    if (box[0] <= south && box[1] <= west && north <= box[2] && east <= box[3]) {
      return;
    }
  }
  double const dlat = (north - south) * 0.25;
  double const dlon = (east - west) * 0.25;
  double const s = south - dlat;
  double const n = north + dlat;
  double const w = west - dlon;
  double const e = east + dlon;
  places_box = LatLonBox{std::min(s, n), std::min(w, e), std::max(s, n), std::max(w, e)};
  ++places_generation;
  if (live) {
    ++jobs_in_flight;
    set_status(model, "Loading places\xE2\x80\xA6");
    spawn_nearby_places(results_tx, services, *places_box, places_generation);
  }
}

void MapsApp::fire_area_search_debounce() {
  if (!due(offline_panel.debounce, now())) {
    return;
  }
  offline_panel.debounce.reset();
  std::string query = trimmed(offline_panel.query);
  if (query.empty() || !live) {
    return;
  }
  ++jobs_in_flight;
  offline_panel.search_note = "Searching\xE2\x80\xA6";
  offline_panel.search_failed = false;
  spawn_area_search(results_tx, services, std::move(query));
}

void MapsApp::poll_tiles(zarn_ui::doc::Document& doc) {
  // An offline download completes when the counters, which moved since the last frame, reach the
  // total. Comparing with the last frame's counters (not only around this poll) also catches a
  // download whose tiles were all settled at once when it started (no worker to ask).
  auto const pause_before = tiles.server_pause;
  tiles.poll_tile_replies();
  if (tiles.server_pause && (!pause_before || pause_before->until != tiles.server_pause->until)) {
    set_status(model, fmt::format("Map imagery paused: {}", service_busy_text(*tiles.server_pause)),
               StatusKind::Warning);
  }
  OfflineCounters const counters = offline_counters(tiles);
  bool const changed = counters != last_offline_counters;
  last_offline_counters = counters;
  if (changed && counters.total > 0 && counters.done >= counters.total) {
    refresh_cache_bytes(*this);
    finish_offline_download(*this, doc);
  }
  if (auto const bytes = tiles.take_disk_usage()) {
    offline_panel.cache_bytes = *bytes;
  }
  // The disk bound spares the downloaded areas and the one downloading.
  std::vector<DownloadedRegion> kept = model.regions;
  if (offline_panel.download) {
    kept.push_back(offline_panel.download->region);
  }
  tiles.keep_regions(kept);
}

void MapsApp::fire_endpoint_debounce() {
  sync_endpoint_texts(endpoints, model.origin_query, model.dest_query);
  if (!due(endpoints.debounce, now())) {
    return;
  }
  endpoints.debounce.reset();
  if (endpoints.active == NO_FIELD) {
    return;
  }
  bool const dest = endpoints.active == DEST_FIELD;
  std::string text = trimmed(dest ? endpoints.dest_text : endpoints.origin_text);
  if (!text.empty()) {
    endpoint_query_changed(EndpointEvent{EndpointEvent::Query{std::move(text), dest}});
  }
}

void MapsApp::endpoint_query_changed(EndpointEvent event) {
  struct Handler {
    MapsApp& app;
    void operator()(EndpointEvent::Edited& e) {
      std::uint8_t const field = e.dest ? DEST_FIELD : ORIGIN_FIELD;
      (e.dest ? app.model.dest_query : app.model.origin_query) = e.text;
      set_endpoint_suggestions(app.endpoints, field, app.local_suggestions(e.text));
      set_endpoint_answer(app.endpoints, field, std::nullopt); // the debounce searches it
    }
    void operator()(EndpointEvent::Query& e) {
      std::uint8_t const field = e.dest ? DEST_FIELD : ORIGIN_FIELD;
      set_endpoint_suggestions(app.endpoints, field, app.local_suggestions(e.text));
      std::string query = trimmed(e.text);
      if (query.empty() || !app.live) {
        // Nothing more will come: what is known locally is the whole answer.
        set_endpoint_answer(app.endpoints, field, std::string("No matches"));
        return;
      }
      set_endpoint_answer(app.endpoints, field, std::nullopt);
      ++app.jobs_in_flight;
      set_status(app.model, "Searching\xE2\x80\xA6");
      spawn_endpoint_search(app.results_tx, app.services, std::move(query), !e.dest);
    }
    void operator()(EndpointEvent::Picked& e) {
      upsert_place(app.model, e.place);
      if (e.dest) {
        app.model.dest = e.place.pos;
        app.model.dest_name = e.place.name;
        app.model.selected = e.place.id;
        app.model.dest_query.clear();
      } else {
        app.model.origin = e.place.pos;
        app.model.origin_name = e.place.name;
        app.model.origin_query.clear();
      }
      app.jump_to(e.place.pos);
      if (app.model.mode == TravelMode::Transit) {
        app.request_transit();
      } else {
        app.request_route();
      }
    }
    void operator()(EndpointEvent::Swap&) {
      auto& m = app.model;
      if (!m.dest) {
        return;
      }
      if (!m.origin) {
        m.origin = app.route_origin(); // the map centre becomes a fixed end
      }
      std::swap(m.origin, m.dest);
      std::swap(m.origin_name, m.dest_name);
      std::swap(m.origin_query, m.dest_query);
      std::swap(app.endpoints.origin_text, app.endpoints.dest_text);
      if (m.mode == TravelMode::Transit) {
        app.request_transit();
      } else {
        app.request_route();
      }
    }
    void operator()(EndpointEvent::Idle&) {}
  };
  std::visit(Handler{*this}, event.value);
}

} // namespace maps
