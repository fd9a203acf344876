#include "doc/save.h"

#include <algorithm>
#include <unordered_set>

#include "doc/schema.h"

namespace maps {

namespace {

// Tombstones every Map member whose key is not in `keep`.
void tombstone_others(Document& doc, ObjId const& collection,
                      std::unordered_set<std::string> const& keep) {
  for (auto const& key : keys_of(doc, collection)) {
    if (keep.contains(key)) {
      continue;
    }
    if (auto member = get_map(doc, collection, key)) {
      put_bool_if_changed(doc, *member, "deleted", true);
    }
  }
}

// Removes every Map member whose key is not in `keep` from the collection itself. The search
// history does this instead of tombstoning: a new search would otherwise leave a member behind
// for good, and every later search and every load would walk them all. Readers cannot tell
// the difference (a missing member is as gone as a deleted one), nor can a merge: a concurrent
// writer that revives the member meets the removal as it would meet the "deleted" true.
void remove_others(Document& doc, ObjId const& collection,
                   std::unordered_set<std::string> const& keep) {
  for (auto const& key : keys_of(doc, collection)) {
    if (!keep.contains(key) && get_map(doc, collection, key)) {
      (void)doc.delete_key(collection, key);
    }
  }
}

/// The List under `key` rewritten to hold one Map per item, in order, each filled by `write`
/// (it gets the new Map and the item).
template <class T, class Write>
void write_list(Document& doc, ObjId const& obj, std::string_view key, std::span<T const> items,
                Write write) {
  auto list = ensure_list(doc, obj, key);
  if (!list) {
    return;
  }
  clear_list(doc, *list);
  std::size_t at = 0;
  for (auto const& item : items) {
    if (auto m = doc.insert_object(*list, at, zarn_ui::doc::ObjType::Map)) {
      write(doc, *m, item);
      ++at;
    }
  }
}

void write_step(Document& doc, ObjId const& m, RouteStep const& step) {
  put_text(doc, m, "instruction", step.instruction);
  put_f64_if_changed(doc, m, "distance_m", step.distance_m);
  put_text(doc, m, "maneuver", maneuver_text(step.maneuver));
}

void write_leg(Document& doc, ObjId const& m, TransitLeg const& leg) {
  put_text(doc, m, "mode", leg_mode_text(leg.mode));
  put_text(doc, m, "line", leg.line);
  put_text(doc, m, "headsign", leg.headsign);
  put_text(doc, m, "from_name", leg.from_name);
  put_text(doc, m, "to_name", leg.to_name);
  put_text(doc, m, "dep", leg.dep);
  put_text(doc, m, "arr", leg.arr);
  put_text(doc, m, "agency", leg.agency);
  put_int_if_changed(doc, m, "duration_min", leg.duration_min);
  put_int_if_changed(doc, m, "num_stops", leg.num_stops);
  write_geometry(doc, m, leg.geometry);
  put_opt_text(doc, m, "color", leg.color);
  put_opt_text(doc, m, "text_color", leg.text_color);
  put_bool_if_changed(doc, m, "realtime", leg.realtime);
}

} // namespace

void write_place(Document& doc, ObjId const& entry, Place const& place) {
  put_text(doc, entry, "id", place.id);
  put_text(doc, entry, "name", place.name);
  put_text(doc, entry, "category", category_text(place.category));
  put_text(doc, entry, "address", place.address);
  write_latlon(doc, entry, "pos", place.pos);
  put_bool_if_changed(doc, entry, "saved", place.saved);
}

void write_region(Document& doc, ObjId const& entry, DownloadedRegion const& region) {
  put_text(doc, entry, "id", region.id);
  put_text(doc, entry, "name", region.name);
  write_latlon(doc, entry, "min", region.min);
  write_latlon(doc, entry, "max", region.max);
  put_int_if_changed(doc, entry, "z0", region.z0);
  put_int_if_changed(doc, entry, "z1", region.z1);
  put_int_if_changed(doc, entry, "tiles", region.tiles);
}

void write_recents(Document& doc, ObjId const& root, std::span<std::string const> texts) {
  auto m = ensure_map(doc, root, "recents");
  if (!m) {
    return;
  }
  std::unordered_set<std::string> keep;
  std::uint64_t rank = 0;
  for (std::string const& text : texts) {
    auto key = recent_key(text);
    // Texts that differ only in the case of non-ASCII letters share a member: the first (the
    // newer) keeps it, or an older entry would overwrite the search just made.
    if (!keep.insert(key).second) {
      continue;
    }
    if (auto e = ensure_map(doc, *m, key)) {
      put_text(doc, *e, "text", text);
      put_int_if_changed(doc, *e, "rank", rank);
      put_bool_if_changed(doc, *e, "deleted", false);
    }
    ++rank;
  }
  remove_others(doc, *m, keep);
}

void write_geometry(Document& doc, ObjId const& obj, std::span<LatLon const> points) {
  write_list(doc, obj, "geometry", points, [](Document& d, ObjId const& m, LatLon point) {
    put_f64_if_changed(d, m, "lat", point.lat);
    put_f64_if_changed(d, m, "lon", point.lon);
  });
}

void write_route(Document& doc, ObjId const& root, std::optional<Route> const& route) {
  if (!route) {
    return;
  }
  auto r = ensure_map(doc, root, "route");
  if (!r) {
    return;
  }
  put_text(doc, *r, "mode", travel_mode_text(route->mode));
  put_f64_if_changed(doc, *r, "distance_m", route->distance_m);
  put_f64_if_changed(doc, *r, "duration_s", route->duration_s);
  write_geometry(doc, *r, route->geometry);
  write_list(doc, *r, "steps", std::span<RouteStep const>(route->steps), write_step);
  write_latlon(doc, *r, "from", route->from);
  write_latlon(doc, *r, "to", route->to);
}

void write_transit(Document& doc, ObjId const& root, std::span<TransitJourney const> journeys) {
  write_list(doc, root, "transit", journeys,
             [](Document& d, ObjId const& m, TransitJourney const& j) {
               put_text(d, m, "dep", j.dep);
               put_text(d, m, "arr", j.arr);
               put_int_if_changed(d, m, "duration_min", j.duration_min);
               put_int_if_changed(d, m, "transfers", j.transfers);
               write_list(d, m, "legs", std::span<TransitLeg const>(j.legs), write_leg);
             });
}

void mark_all_deleted(Document& doc, ObjId const& root, std::string_view collection) {
  auto m = ensure_map(doc, root, collection);
  if (!m) {
    return;
  }
  tombstone_others(doc, *m, {});
}

void clear_recents(Document& doc, ObjId const& root) {
  if (auto m = ensure_map(doc, root, "recents")) {
    remove_others(doc, *m, {});
  }
}

namespace {

/// A keyed collection holding exactly `items` live (by their `id`): each written into its
/// member and revived, every other member tombstoned.
template <class T, class Write>
void write_keyed(Document& doc, ObjId const& root, std::string_view collection,
                 std::vector<T> const& items, Write write) {
  auto c = ensure_map(doc, root, collection);
  if (!c) {
    return;
  }
  std::unordered_set<std::string> ids;
  for (auto const& item : items) {
    if (auto e = ensure_map(doc, *c, item.id)) {
      write(doc, *e, item);
      put_bool_if_changed(doc, *e, "deleted", false);
    }
    ids.insert(item.id);
  }
  tombstone_others(doc, *c, ids);
}

} // namespace

void save_model_to_doc(Document& doc, MapModel const& model) {
  auto root = ensure_maps_root(doc);
  if (!root) {
    return;
  }
  write_keyed(doc, *root, "places", model.places, write_place);
  write_recents(doc, *root, model.recents);
  write_route(doc, *root, model.route);
  write_transit(doc, *root, model.transit);
  put_text(doc, *root, "mode", travel_mode_text(model.mode));
  put_opt_latlon(doc, *root, "origin", model.origin);
  put_text(doc, *root, "origin_name", model.origin_name);
  put_opt_latlon(doc, *root, "dest", model.dest);
  put_text(doc, *root, "dest_name", model.dest_name);
  put_text(doc, *root, "transit_time_mode",
           model.transit_time.mode == TransitTimeMode::Arrive ? "arrive" : "depart");
  std::int64_t const offset = model.transit_time.offset_min;
  if (get_transit_offset(doc, *root) != offset) {
    (void)doc.put(*root, "transit_time_offset", zarn_ui::doc::ScalarValue{offset});
  }
  write_keyed(doc, *root, "regions", model.regions, write_region);
  ActivePlan route_plan;
  if (model.route) {
    route_plan.value = ActivePlan::Route{*model.route, model.origin,    model.origin_name,
                                         model.dest,   model.dest_name, model.mode};
  }
  put_plan_json(doc, *root, "route_plan", route_plan);
  ActivePlan transit_plan;
  if (!model.transit.empty()) {
    transit_plan.value = ActivePlan::Transit{model.transit, model.origin, model.origin_name,
                                             model.dest, model.dest_name};
  }
  put_plan_json(doc, *root, "transit_plan", transit_plan);
}

bool seed_if_empty(Document& doc, MapModel const& live, DocBaseline& baseline) {
  auto const heads = doc.heads();
  bool const has_data = baseline.heads == heads ? baseline.has_data : has_map_data(doc);
  if (has_data) {
    return false;
  }
  save_model_to_doc(doc, live, baseline);
  return true;
}

void save_model_to_doc(Document& doc, MapModel const& model, DocBaseline& baseline) {
  save_model_to_doc(doc, model);
  record_baseline(doc, baseline);
}

} // namespace maps
