#include "doc/updaters.h"

#include "base/utf8.h"
#include "doc/save.h"
#include "doc/schema.h"
#include "model/json.h"
#include "model/limits.h"
#include "model/ops.h"

namespace maps {

namespace {

template <class... F> struct Overloaded : F... { using F::operator()...; };
template <class... F> Overloaded(F...) -> Overloaded<F...>;

// Ensures the member of an updater's collection (the root ensured first).
std::optional<ObjId> collection(Document& doc, std::string_view key) {
  auto root = ensure_maps_root_for_update(doc);
  if (!root) {
    return std::nullopt;
  }
  return ensure_map(doc, *root, key);
}

} // namespace

std::optional<ObjId> ensure_maps_root_for_update(Document& doc) {
  if (!get_map(doc, ObjId::root(), MAPS_ROOT_KEY)) {
    if (auto legacy = load_model_from_doc(doc)) {
      // Only the older text can answer here; copy it over before the first write.
      save_model_to_doc(doc, *legacy);
    }
  }
  return ensure_maps_root(doc);
}

void doc_upsert_places(Document& doc, MapsAction::UpsertPlaces const& a) {
  auto p = collection(doc, "places");
  if (!p) {
    return;
  }
  for (auto const& place : a.places) {
    auto e = ensure_map(doc, *p, place.id);
    if (!e) {
      continue;
    }
    // Search answers always carry saved = false; only SetPlaceSaved may unsave a place.
    bool const was_saved = !is_deleted(doc, *e) && get_bool(doc, *e, "saved") == true;
    if (was_saved && !place.saved) {
      Place kept = place;
      kept.saved = true;
      write_place(doc, *e, kept);
    } else {
      write_place(doc, *e, place);
    }
    put_bool_if_changed(doc, *e, "deleted", false);
  }
}

void doc_set_place_saved(Document& doc, MapsAction::SetPlaceSaved const& a) {
  (void)ensure_maps_root_for_update(doc);
  auto e = find_entry(doc, "places", a.id);
  if (e && !is_deleted(doc, *e)) {
    put_bool_if_changed(doc, *e, "saved", a.saved);
  }
}

void doc_commit_search(Document& doc, MapsAction::CommitSearch const& a) {
  // A blank query writes nothing, not even the root.
  if (base::utf8::trim(a.query).empty()) {
    return;
  }
  auto root = ensure_maps_root_for_update(doc);
  if (!root) {
    return;
  }
  // The same rule as the live list's, so both agree.
  auto list = read_recents(doc, *root);
  apply_recent_search(list, a.query);
  write_recents(doc, *root, list);
}

void doc_clear_recents(Document& doc) {
  if (auto root = ensure_maps_root_for_update(doc)) {
    clear_recents(doc, *root);
  }
}

void doc_set_travel_mode(Document& doc, MapsAction::SetTravelMode const& a) {
  if (auto root = ensure_maps_root_for_update(doc)) {
    put_text(doc, *root, "mode", travel_mode_text(a.mode));
  }
}

void doc_set_transit_time(Document& doc, MapsAction::SetTransitTime const& a) {
  if (auto root = ensure_maps_root_for_update(doc)) {
    (void)doc.put(*root, "transit_time", zarn_ui::doc::ScalarValue{to_json_text(a.value)});
  }
}

void doc_clear_route(Document& doc) {
  if (auto root = ensure_maps_root_for_update(doc)) {
    put_plan_json(doc, *root, "route_plan", ActivePlan{});
  }
}

void doc_set_route(Document& doc, MapsAction::SetRoute const& a) {
  if (auto root = ensure_maps_root_for_update(doc)) {
    put_text(doc, *root, "mode", travel_mode_text(a.mode));
    put_plan_json(doc, *root, "route_plan",
                  ActivePlan{ActivePlan::Route{a.route, a.origin, a.origin_name, a.dest,
                                               a.dest_name, a.mode}});
  }
}

void doc_set_transit(Document& doc, MapsAction::SetTransit const& a) {
  if (auto root = ensure_maps_root_for_update(doc)) {
    put_text(doc, *root, "mode", travel_mode_text(TravelMode::Transit));
    put_plan_json(
        doc, *root, "transit_plan",
        ActivePlan{ActivePlan::Transit{a.transit, a.origin, a.origin_name, a.dest, a.dest_name}});
  }
}

void doc_clear_transit(Document& doc) {
  if (auto root = ensure_maps_root_for_update(doc)) {
    put_plan_json(doc, *root, "transit_plan", ActivePlan{});
  }
}

void doc_add_region(Document& doc, MapsAction::AddRegion const& a) {
  auto r = collection(doc, "regions");
  if (!r) {
    return;
  }
  if (auto e = ensure_map(doc, *r, a.region.id)) {
    write_region(doc, *e, a.region);
    put_bool_if_changed(doc, *e, "deleted", false);
  }
}

void doc_delete_region(Document& doc, MapsAction::DeleteRegion const& a) {
  (void)ensure_maps_root_for_update(doc);
  if (auto e = find_entry(doc, "regions", a.id)) {
    put_bool_if_changed(doc, *e, "deleted", true);
  }
}

void doc_clear_regions(Document& doc) {
  if (auto root = ensure_maps_root_for_update(doc)) {
    mark_all_deleted(doc, *root, "regions");
  }
}

base::Result<void> apply_action_to_doc(MapsAction const& action, Document& doc) {
  // Every way in (the UI, "maps.action" from outside) passes here: nothing too long is stored.
  if (auto fits = check_action_texts(action); !fits) {
    return fits;
  }
  std::visit(Overloaded{
                 [&](MapsAction::UpsertPlaces const& a) { doc_upsert_places(doc, a); },
                 [&](MapsAction::SetPlaceSaved const& a) { doc_set_place_saved(doc, a); },
                 [&](MapsAction::CommitSearch const& a) { doc_commit_search(doc, a); },
                 [&](MapsAction::ClearRecents const&) { doc_clear_recents(doc); },
                 [&](MapsAction::SetTravelMode const& a) { doc_set_travel_mode(doc, a); },
                 [&](MapsAction::SetTransitTime const& a) { doc_set_transit_time(doc, a); },
                 [&](MapsAction::ClearRoute const&) { doc_clear_route(doc); },
                 [&](MapsAction::SetRoute const& a) { doc_set_route(doc, a); },
                 [&](MapsAction::SetTransit const& a) { doc_set_transit(doc, a); },
                 [&](MapsAction::ClearTransit const&) { doc_clear_transit(doc); },
                 [&](MapsAction::AddRegion const& a) { doc_add_region(doc, a); },
                 [&](MapsAction::DeleteRegion const& a) { doc_delete_region(doc, a); },
                 [&](MapsAction::ClearRegions const&) { doc_clear_regions(doc); },
             },
             action.value);
  return {};
}

FieldSet fields_written_by(MapsAction const& action) {
  using F = ModelField;
  constexpr FieldSet endpoints = F::Origin | F::OriginName | F::Dest | F::DestName;
  return std::visit(
      Overloaded{
          [](MapsAction::UpsertPlaces const&) { return FieldSet(F::Places); },
          [](MapsAction::SetPlaceSaved const&) { return FieldSet(F::Places); },
          [](MapsAction::CommitSearch const&) { return FieldSet(F::Recents); },
          [](MapsAction::ClearRecents const&) { return FieldSet(F::Recents); },
          [](MapsAction::SetTravelMode const&) { return FieldSet(F::Mode); },
          [](MapsAction::SetTransitTime const&) { return FieldSet(F::TransitTime); },
          [](MapsAction::ClearRoute const&) { return FieldSet(F::Route); },
          [&](MapsAction::SetRoute const&) { return F::Route | F::Mode | endpoints; },
          [&](MapsAction::SetTransit const&) { return F::Transit | F::Mode | endpoints; },
          [](MapsAction::ClearTransit const&) { return FieldSet(F::Transit); },
          [](MapsAction::AddRegion const&) { return FieldSet(F::Regions); },
          [](MapsAction::DeleteRegion const&) { return FieldSet(F::Regions); },
          [](MapsAction::ClearRegions const&) { return FieldSet(F::Regions); },
      },
      action.value);
}

std::optional<std::vector<std::string>> place_ids_written_by(MapsAction const& action) {
  if (auto const* u = std::get_if<MapsAction::UpsertPlaces>(&action.value)) {
    std::vector<std::string> ids;
    ids.reserve(u->places.size());
    for (auto const& p : u->places) {
      ids.push_back(p.id);
    }
    return ids;
  }
  if (auto const* s = std::get_if<MapsAction::SetPlaceSaved>(&action.value)) {
    return std::vector<std::string>{s->id};
  }
  return std::nullopt;
}

} // namespace maps
