#include "doc/load.h"

#include <algorithm>
#include <limits>

#include "doc/apart.h"
#include "doc/schema.h"
#include "model/json.h"
#include "model/limits.h"

namespace maps {

namespace zd = zarn_ui::doc;

namespace {

std::size_t length_of(Document const& doc, ObjId const& list) {
  auto n = doc.length(list);
  return n ? *n : 0;
}

/// A stored count narrowed to the model's width: a wider value keeps its low bits.
template <class T> T low_bits(std::uint64_t v) {
  return static_cast<T>(v & std::numeric_limits<T>::max());
}

/// Appends every element of the list under `key` that `read` accepts (it gets the list and an
/// index and answers an optional value); a missing list adds nothing.
template <class T, class Read>
void read_list_into(std::vector<T>& out, Document const& doc, ObjId const& obj,
                    std::string_view key, Read read) {
  auto const list = get_list(doc, obj, key);
  if (!list) {
    return;
  }
  auto const n = length_of(doc, *list);
  for (std::size_t i = 0; i < n; ++i) {
    if (auto item = read(doc, *list, i)) {
      out.push_back(std::move(*item));
    }
  }
}

/// Appends every member of the Map under `key` that `read` accepts (it gets the Map and a
/// member key and answers an optional value), in key order; a missing Map adds nothing.
template <class T, class Read>
void read_members_into(std::vector<T>& out, Document const& doc, ObjId const& obj,
                       std::string_view key, Read read) {
  auto const map = get_map(doc, obj, key);
  if (!map) {
    return;
  }
  for (auto const& member : keys_of(doc, *map)) {
    if (auto item = read(doc, *map, member)) {
      out.push_back(std::move(*item));
    }
  }
}

std::optional<ObjId> live_member(Document const& doc, ObjId const& collection,
                                 std::string const& key) {
  auto m = get_map(doc, collection, key);
  if (!m || is_deleted(doc, *m)) {
    return std::nullopt;
  }
  return m;
}

std::optional<Route> read_route(Document const& doc, ObjId const& root) {
  if (get_flag(doc, root, "route_deleted")) {
    return std::nullopt;
  }
  auto r = get_map(doc, root, "route");
  if (!r) {
    return std::nullopt;
  }
  Route route;
  read_list_into(route.steps, doc, *r, "steps", read_route_step);
  auto mode_text = get_string(doc, *r, "mode");
  auto mode = mode_text ? parse_travel_mode(*mode_text) : std::nullopt;
  auto distance = get_f64(doc, *r, "distance_m");
  auto duration = get_f64(doc, *r, "duration_s");
  route.geometry = read_geometry(doc, *r);
  auto from = read_latlon(doc, *r, "from");
  auto to = read_latlon(doc, *r, "to");
  if (!mode || !distance || !duration || !from || !to) {
    return std::nullopt;
  }
  route.mode = *mode;
  route.distance_m = *distance;
  route.duration_s = *duration;
  route.from = *from;
  route.to = *to;
  return route;
}

struct Endpoints {
  std::optional<LatLon> origin;
  std::string origin_name;
  std::optional<LatLon> dest;
  std::string dest_name;
};

template <class Plan> Endpoints endpoints_of(Plan const& p) {
  return Endpoints{p.origin, p.origin_name, p.dest, p.dest_name};
}

void sort_by_id(auto& items) {
  std::stable_sort(items.begin(), items.end(),
                   [](auto const& a, auto const& b) { return a.id < b.id; });
}

// Reads the places in full; false when a member's "id" differs from its key (only another
// program writes such members), which rules out refreshing single places by id.
bool read_places(Document const& doc, ObjId const& root, std::vector<Place>& out) {
  out.clear();
  bool keyed_by_id = true;
  read_members_into(out, doc, root, "places",
                    [&](Document const& d, ObjId const& places, std::string const& key) {
                      auto p = read_place_entry(d, places, key);
                      keyed_by_id = keyed_by_id && (!p || p->id == key);
                      return p;
                    });
  sort_by_id(out);
  return keyed_by_id;
}

// Reads the wanted fields into `model`, leaving the others as they are. Answers whether the
// places are keyed by their ids (true when they were not read).
bool read_fields(Document const& doc, ObjId const& root, FieldSet want, MapModel& model) {
  using F = ModelField;
  bool keyed_by_id = true;
  if (want.has(F::Places)) {
    keyed_by_id = read_places(doc, root, model.places);
  }
  if (want.has(F::Recents)) {
    model.recents = read_recents(doc, root);
  }
  // The plans override the "route" Map and the "transit" List, and give the endpoints.
  bool const endpoints =
      want.has(F::Origin) || want.has(F::OriginName) || want.has(F::Dest) || want.has(F::DestName);
  auto const mode_text = get_string(doc, root, "mode");
  auto const mode =
      (mode_text ? parse_travel_mode(*mode_text) : std::nullopt).value_or(TravelMode::Car);
  if (want.has(F::Mode)) {
    model.mode = mode;
  }
  std::optional<ActivePlan> route_plan;
  if (want.has(F::Route) || (endpoints && mode != TravelMode::Transit)) {
    route_plan = get_plan_json(doc, root, "route_plan");
  }
  std::optional<ActivePlan> transit_plan;
  if (want.has(F::Transit) || (endpoints && mode == TravelMode::Transit)) {
    transit_plan = get_plan_json(doc, root, "transit_plan");
  }
  if (want.has(F::Route)) {
    auto* r = route_plan ? std::get_if<ActivePlan::Route>(&route_plan->value) : nullptr;
    if (route_plan && std::holds_alternative<ActivePlan::None>(route_plan->value)) {
      model.route.reset();
    } else if (r != nullptr) {
      model.route = r->route;
    } else {
      model.route = read_route(doc, root);
    }
  }
  if (want.has(F::Transit)) {
    auto* t = transit_plan ? std::get_if<ActivePlan::Transit>(&transit_plan->value) : nullptr;
    if (transit_plan && std::holds_alternative<ActivePlan::None>(transit_plan->value)) {
      model.transit.clear();
    } else if (t != nullptr) {
      model.transit = t->transit;
    } else {
      model.transit.clear();
      if (!get_flag(doc, root, "transit_deleted")) {
        read_list_into(model.transit, doc, root, "transit", read_journey);
      }
    }
  }
  if (endpoints) {
    // The plan of the travel mode gives all four; without one, the plain keys do.
    std::optional<Endpoints> ends;
    if (mode == TravelMode::Transit) {
      if (auto* t =
              transit_plan ? std::get_if<ActivePlan::Transit>(&transit_plan->value) : nullptr) {
        ends = endpoints_of(*t);
      }
    } else if (auto* r =
                   route_plan ? std::get_if<ActivePlan::Route>(&route_plan->value) : nullptr) {
      ends = endpoints_of(*r);
    }
    if (!ends) {
      ends = Endpoints{read_latlon(doc, root, "origin"),
                       get_string(doc, root, "origin_name").value_or("Map centre"),
                       read_latlon(doc, root, "dest"),
                       get_string(doc, root, "dest_name").value_or("")};
    }
    if (want.has(F::Origin)) {
      model.origin = ends->origin;
    }
    if (want.has(F::OriginName)) {
      model.origin_name = std::move(ends->origin_name);
    }
    if (want.has(F::Dest)) {
      model.dest = ends->dest;
    }
    if (want.has(F::DestName)) {
      model.dest_name = std::move(ends->dest_name);
    }
  }
  if (want.has(F::TransitTime)) {
    model.transit_time.mode = get_string(doc, root, "transit_time_mode") == "arrive"
                                  ? TransitTimeMode::Arrive
                                  : TransitTimeMode::Depart;
    // Wider stored values keep their low 32 bits, as the schema's narrowing rule says.
    model.transit_time.offset_min = static_cast<std::int32_t>(
        static_cast<std::uint32_t>(get_transit_offset(doc, root).value_or(0)));
    if (auto json = get_string(doc, root, "transit_time")) {
      if (auto t = from_json_text<TransitTime>(*json)) {
        model.transit_time = *t;
      }
    }
  }
  if (want.has(F::Regions)) {
    model.regions.clear();
    read_members_into(model.regions, doc, root, "regions", read_region_entry);
    sort_by_id(model.regions);
  }
  return keyed_by_id;
}

// Re-reads the places stored under `ids` into the sorted list; false when that cannot stand
// for a full read (the list is not keyed by id, or a member's "id" differs from its key).
bool refresh_places_by_id(Document const& doc, ObjId const& root, std::span<std::string const> ids,
                          std::vector<Place>& places) {
  auto const collection = get_map(doc, root, "places");
  if (!collection) {
    return false;
  }
  for (auto const& id : ids) {
    auto at = std::lower_bound(places.begin(), places.end(), id,
                               [](Place const& p, std::string const& k) { return p.id < k; });
    bool const present = at != places.end() && at->id == id;
    auto place = read_place_entry(doc, *collection, id);
    if (place && place->id != id) {
      return false;
    }
    if (place && present) {
      *at = std::move(*place);
    } else if (place) {
      places.insert(at, std::move(*place));
    } else if (present) {
      places.erase(at);
    }
  }
  return true;
}

/// The live places take the stored value of each of `ids` (`stored` sorted by id, as
/// refresh_places_by_id keeps it): replaced, inserted where the stored list has it, or removed.
void take_places_by_id(std::vector<Place>& live, std::vector<Place> const& stored,
                       std::span<std::string const> ids) {
  for (auto const& id : ids) {
    auto const at = std::lower_bound(stored.begin(), stored.end(), id,
                                     [](Place const& p, std::string const& k) { return p.id < k; });
    bool const present = at != stored.end() && at->id == id;
    auto const mine =
        std::find_if(live.begin(), live.end(), [&](Place const& p) { return p.id == id; });
    if (present && mine != live.end()) {
      *mine = *at;
    } else if (present) {
      auto const index = std::min(static_cast<std::size_t>(at - stored.begin()), live.size());
      live.insert(live.begin() + static_cast<std::ptrdiff_t>(index), *at);
    } else if (mine != live.end()) {
      live.erase(mine);
    }
  }
}

MapModel read_schema(Document const& doc, ObjId const& root, bool* keyed_by_id = nullptr) {
  MapModel model = default_map_model();
  bool const keyed = read_fields(doc, root, FieldSet::all(), model);
  if (keyed_by_id != nullptr) {
    *keyed_by_id = keyed;
  }
  return model;
}

template <class T> void take(T& live, T const& loaded, T const* previous, bool forced) {
  // The previous copy may be the loaded value itself: equal without comparing thousands of
  // places.
  if (forced || previous == nullptr || (previous != &loaded && !(*previous == loaded))) {
    live = loaded;
  }
}

void copy_fields(MapModel& live, MapModel const& loaded, MapModel const* prev, FieldSet force) {
  auto p = [&](auto member) { return prev ? &(prev->*member) : nullptr; };
  take(live.places, loaded.places, p(&MapModel::places), force.has(ModelField::Places));
  take(live.recents, loaded.recents, p(&MapModel::recents), force.has(ModelField::Recents));
  take(live.route, loaded.route, p(&MapModel::route), force.has(ModelField::Route));
  take(live.transit, loaded.transit, p(&MapModel::transit), force.has(ModelField::Transit));
  take(live.mode, loaded.mode, p(&MapModel::mode), force.has(ModelField::Mode));
  take(live.origin, loaded.origin, p(&MapModel::origin), force.has(ModelField::Origin));
  take(live.origin_name, loaded.origin_name, p(&MapModel::origin_name),
       force.has(ModelField::OriginName));
  take(live.dest, loaded.dest, p(&MapModel::dest), force.has(ModelField::Dest));
  take(live.dest_name, loaded.dest_name, p(&MapModel::dest_name), force.has(ModelField::DestName));
  take(live.transit_time, loaded.transit_time, p(&MapModel::transit_time),
       force.has(ModelField::TransitTime));
  take(live.regions, loaded.regions, p(&MapModel::regions), force.has(ModelField::Regions));
}

} // namespace

namespace {

std::optional<MapModel> load_legacy(Document const& doc) {
  auto legacy = doc.get(ObjId::root(), LEGACY_MAPS_KEY);
  if (!legacy || !*legacy || (*legacy)->value.object_type() != zd::ObjType::Text) {
    return std::nullopt;
  }
  auto text = doc.text((*legacy)->id);
  if (!text) {
    return std::nullopt;
  }
  auto model = from_json_text<MapModel>(*text);
  if (!model) {
    return std::nullopt;
  }
  return std::move(*model);
}

// The load, also telling whether the places are keyed by their ids (false for legacy text).
std::optional<MapModel> load_model(Document const& doc, DocBaseline& baseline) {
  baseline.places_keyed_by_id = false;
  baseline.from_schema = false;
  if (auto root = get_map(doc, ObjId::root(), MAPS_ROOT_KEY)) {
    baseline.from_schema = true;
    return read_schema(doc, *root, &baseline.places_keyed_by_id);
  }
  return load_legacy(doc);
}

} // namespace

std::optional<MapModel> load_model_from_doc(Document const& doc) {
  if (auto root = get_map(doc, ObjId::root(), MAPS_ROOT_KEY)) {
    return read_schema(doc, *root);
  }
  return load_legacy(doc);
}

bool has_map_data(Document const& doc) {
  return get_map(doc, ObjId::root(), MAPS_ROOT_KEY).has_value() || load_legacy(doc).has_value();
}

bool refresh_model_from_doc(Document& doc, MapModel& live, DocBaseline& baseline, FieldSet force) {
  auto heads = doc.heads();
  if (baseline.heads != heads && join_apart_objects(doc)) {
    // Documents made apart merged in: their objects were joined into the ones read below.
    heads = doc.heads();
  }
  if (baseline.heads == heads) {
    // Unchanged since the last read: `copied` is what the document holds.
    if (!baseline.has_data) {
      return false;
    }
    if (!force.empty() && baseline.copied) {
      copy_fields(live, *baseline.copied, &*baseline.copied, force);
    }
    return true;
  }
  auto loaded = load_model(doc, baseline);
  baseline.heads = std::move(heads);
  baseline.has_data = loaded.has_value();
  if (!loaded) {
    return false;
  }
  copy_fields(live, *loaded, baseline.copied ? &*baseline.copied : nullptr, force);
  baseline.copied = std::move(loaded);
  return true;
}

bool refresh_model_from_doc(Document& doc, MapModel& live) {
  DocBaseline fresh;
  return refresh_model_from_doc(doc, live, fresh);
}

void record_baseline(Document& doc, DocBaseline& baseline) {
  join_apart_objects(doc);
  baseline.heads = doc.heads();
  baseline.copied = load_model(doc, baseline);
  baseline.has_data = baseline.copied.has_value();
}

bool refresh_written_fields(Document& doc, MapModel& live, DocBaseline& baseline,
                            std::vector<zd::ChangeHash> const& before, FieldSet written,
                            std::optional<std::span<std::string const>> place_ids) {
  auto root = get_map(doc, ObjId::root(), MAPS_ROOT_KEY);
  if (!root || !baseline.copied || !baseline.from_schema || baseline.heads != before) {
    // Changed from outside since the last copy, or not read from the schema (the first action
    // on a legacy document moves it there): the full comparison.
    return refresh_model_from_doc(doc, live, baseline, written);
  }
  using F = ModelField;
  auto& copied = *baseline.copied;
  auto heads = doc.heads();
  // The endpoints shown follow the travel mode and the plans: re-read them whenever those
  // changed, and take them over when their value did.
  bool const moves_endpoints =
      written.has(F::Mode) || written.has(F::Route) || written.has(F::Transit);
  MapModel const* previous = &copied;
  MapModel before_ends;
  // Whether the places the action named can be taken over one by one; with nothing written
  // the copy holds them already.
  bool by_id =
      heads == before && written.has(F::Places) && place_ids && baseline.places_keyed_by_id;
  if (heads != before) {
    FieldSet reread = written;
    if (moves_endpoints) {
      reread = reread | F::Origin | F::OriginName | F::Dest | F::DestName;
      before_ends.origin = copied.origin;
      before_ends.origin_name = copied.origin_name;
      before_ends.dest = copied.dest;
      before_ends.dest_name = copied.dest_name;
      previous = &before_ends;
    }
    if (written.has(F::Places) && place_ids && baseline.places_keyed_by_id &&
        refresh_places_by_id(doc, *root, *place_ids, copied.places)) {
      reread = FieldSet::from_bits(reread.bits & ~FieldSet(F::Places).bits);
      by_id = true;
    }
    bool const keyed = read_fields(doc, *root, reread, copied);
    if (reread.has(F::Places)) {
      baseline.places_keyed_by_id = keyed;
    }
    baseline.heads = std::move(heads);
  }
  if (by_id) {
    // The live places take over the places written, not a copy of every place: with thousands
    // saved, one change would otherwise copy them all.
    take_places_by_id(live.places, copied.places, *place_ids);
    written = FieldSet::from_bits(written.bits & ~FieldSet(ModelField::Places).bits);
  }
  copy_fields(live, copied, &copied, written);
  if (previous != &copied) {
    take(live.origin, copied.origin, &previous->origin, false);
    take(live.origin_name, copied.origin_name, &previous->origin_name, false);
    take(live.dest, copied.dest, &previous->dest, false);
    take(live.dest_name, copied.dest_name, &previous->dest_name, false);
  }
  return true;
}

std::vector<std::string> read_recents(Document const& doc, ObjId const& root) {
  std::vector<RecentEntry> entries;
  read_members_into(entries, doc, root, "recents", read_recent_entry);
  std::stable_sort(entries.begin(), entries.end(), [](auto const& a, auto const& b) {
    return a.rank != b.rank ? a.rank < b.rank : a.key < b.key;
  });
  std::vector<std::string> out;
  out.reserve(entries.size());
  for (auto& e : entries) {
    out.push_back(std::move(e.text));
  }
  return out;
}

std::optional<Place> read_place_entry(Document const& doc, ObjId const& collection,
                                      std::string const& key) {
  auto m = live_member(doc, collection, key);
  if (!m) {
    return std::nullopt;
  }
  auto id = get_string(doc, *m, "id");
  auto name = get_string(doc, *m, "name");
  auto category_word = get_string(doc, *m, "category");
  auto category = category_word ? parse_category(*category_word) : std::nullopt;
  auto pos = read_latlon(doc, *m, "pos");
  if (!id || !name || !category || !pos) {
    return std::nullopt;
  }
  return Place{std::move(*id), std::move(*name),
               *category,      get_string(doc, *m, "address").value_or(""),
               *pos,           get_bool(doc, *m, "saved").value_or(false)};
}

std::optional<RecentEntry> read_recent_entry(Document const& doc, ObjId const& collection,
                                             std::string const& key) {
  auto m = live_member(doc, collection, key);
  if (!m) {
    return std::nullopt;
  }
  auto text = get_string(doc, *m, "text");
  // The history never shows a text longer than a search may be (another program wrote it).
  if (!text || !query_fits(*text)) {
    return std::nullopt;
  }
  return RecentEntry{key, get_u64(doc, *m, "rank").value_or(UINT64_MAX), std::move(*text)};
}

std::optional<DownloadedRegion> read_region_entry(Document const& doc, ObjId const& collection,
                                                  std::string const& key) {
  auto m = live_member(doc, collection, key);
  if (!m) {
    return std::nullopt;
  }
  auto id = get_string(doc, *m, "id");
  auto name = get_string(doc, *m, "name");
  auto min = read_latlon(doc, *m, "min");
  auto max = read_latlon(doc, *m, "max");
  auto z0 = get_u64(doc, *m, "z0");
  auto z1 = get_u64(doc, *m, "z1");
  auto tiles = get_u64(doc, *m, "tiles");
  if (!id || !name || !min || !max || !z0 || !z1 || !tiles) {
    return std::nullopt;
  }
  return DownloadedRegion{std::move(*id),
                          std::move(*name),
                          *min,
                          *max,
                          low_bits<std::uint8_t>(*z0),
                          low_bits<std::uint8_t>(*z1),
                          low_bits<std::uint32_t>(*tiles)};
}

std::optional<RouteStep> read_route_step(Document const& doc, ObjId const& list,
                                         std::size_t index) {
  auto m = get_list_item_map(doc, list, index);
  if (!m) {
    return std::nullopt;
  }
  auto instruction = get_string(doc, *m, "instruction");
  auto distance = get_f64(doc, *m, "distance_m");
  auto word = get_string(doc, *m, "maneuver");
  auto maneuver = word ? parse_maneuver(*word) : std::nullopt;
  if (!instruction || !distance || !maneuver) {
    return std::nullopt;
  }
  return RouteStep{std::move(*instruction), *distance, *maneuver};
}

std::optional<TransitJourney> read_journey(Document const& doc, ObjId const& list,
                                           std::size_t index) {
  auto m = get_list_item_map(doc, list, index);
  if (!m) {
    return std::nullopt;
  }
  TransitJourney j;
  read_list_into(j.legs, doc, *m, "legs", read_transit_leg);
  auto dep = get_string(doc, *m, "dep");
  auto arr = get_string(doc, *m, "arr");
  auto duration = get_u64(doc, *m, "duration_min");
  auto transfers = get_u64(doc, *m, "transfers");
  if (!dep || !arr || !duration || !transfers) {
    return std::nullopt;
  }
  j.dep = std::move(*dep);
  j.arr = std::move(*arr);
  j.duration_min = low_bits<std::uint32_t>(*duration);
  j.transfers = low_bits<std::uint32_t>(*transfers);
  return j;
}

std::optional<TransitLeg> read_transit_leg(Document const& doc, ObjId const& list,
                                           std::size_t index) {
  auto m = get_list_item_map(doc, list, index);
  if (!m) {
    return std::nullopt;
  }
  auto word = get_string(doc, *m, "mode");
  auto mode = word ? parse_leg_mode(*word) : std::nullopt;
  auto line = get_string(doc, *m, "line");
  auto headsign = get_string(doc, *m, "headsign");
  auto from_name = get_string(doc, *m, "from_name");
  auto to_name = get_string(doc, *m, "to_name");
  auto dep = get_string(doc, *m, "dep");
  auto arr = get_string(doc, *m, "arr");
  auto duration = get_u64(doc, *m, "duration_min");
  auto stops = get_u64(doc, *m, "num_stops");
  if (!mode || !line || !headsign || !from_name || !to_name || !dep || !arr || !duration ||
      !stops) {
    return std::nullopt;
  }
  TransitLeg leg;
  leg.mode = *mode;
  leg.line = std::move(*line);
  leg.headsign = std::move(*headsign);
  leg.from_name = std::move(*from_name);
  leg.to_name = std::move(*to_name);
  leg.dep = std::move(*dep);
  leg.arr = std::move(*arr);
  leg.duration_min = low_bits<std::uint32_t>(*duration);
  leg.num_stops = low_bits<std::uint32_t>(*stops);
  leg.geometry = read_geometry(doc, *m);
  leg.color = get_string(doc, *m, "color");
  leg.text_color = get_string(doc, *m, "text_color");
  leg.agency = get_string(doc, *m, "agency").value_or("");
  leg.realtime = get_bool(doc, *m, "realtime").value_or(false);
  return leg;
}

std::optional<LatLon> read_point(Document const& doc, ObjId const& list, std::size_t index) {
  auto m = get_list_item_map(doc, list, index);
  return m ? latlon_of(doc, *m) : std::nullopt;
}

std::vector<LatLon> read_geometry(Document const& doc, ObjId const& obj) {
  std::vector<LatLon> out;
  auto g = get_list(doc, obj, "geometry");
  if (!g) {
    return out;
  }
  // One pass over the list: reading point by point would walk it once per point.
  auto items = doc.list_items(*g);
  if (!items) {
    return out;
  }
  out.reserve(items->size());
  for (auto const& item : *items) {
    if (item.value.object_type() != zd::ObjType::Map) {
      continue;
    }
    if (auto point = latlon_of(doc, item.id)) {
      out.push_back(*point);
    }
  }
  return out;
}

} // namespace maps
