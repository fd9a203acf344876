#include "offline_panel/offline_panel.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

#include <fmt/format.h>

#include "base/utf8.h"
#include "offline_panel/download_selection.h"
#include "platform/format/bytes.h"
#include "ui/suggestion_list.h"

namespace maps {

namespace {

using Kind = OfflinePanelAction::Kind;

double sane_scale(double scale) {
  return std::isfinite(scale) && scale > 0.0 ? scale : 1.0;
}

/// Closes the suggestion list but keeps the keyboard focus, so typing goes on.
void close_list(zarn_ui::widget::Autocomplete& box) {
  bool const editing = box.editing();
  box.close();
  if (editing) {
    box.begin_edit();
  }
}

bool inside(LatLon const& p, GeoBox const& box) {
  return p.lat >= box.south && p.lat <= box.north && p.lon >= box.west && p.lon <= box.east;
}

} // namespace

std::optional<SemanticControl> offline_action_spec(OfflinePanelAction const& action) {
  switch (action.kind) {
  case Kind::Close:
    return make_control("Close offline maps", "maps.offline.close");
  case Kind::Zoom:
    if (action.delta == 1) {
      return make_control("Increase download detail", "maps.offline.zoom-in");
    }
    if (action.delta == -1) {
      return make_control("Decrease download detail", "maps.offline.zoom-out");
    }
    return std::nullopt;
  case Kind::Download:
    return make_control("Download selected area", "maps.offline.download");
  case Kind::DeleteRegion:
    return make_control("Delete downloaded area",
                        fmt::format("maps.offline.region:{}:delete", action.region_id));
  case Kind::ClearCache:
    return make_control("Clear offline map cache", "maps.offline.clear");
  case Kind::RetryMissing:
    return make_control("Retry missing tiles", "maps.offline.retry");
  case Kind::SearchField: {
    SemanticControl c = make_control("Area to download", "maps.offline.search");
    c.role = ROLE_SEARCH_FIELD;
    c.attributes.takes_text = true;
    return c;
  }
  }
  return std::nullopt;
}

std::vector<OfflineControl> offline_panel_specs(OfflinePanel const& panel) {
  std::vector<OfflineControl> out;
  if (panel.search_rect && !panel.search_rect->is_empty()) {
    auto const action = OfflinePanelAction::search_field();
    SemanticControl c = *offline_action_spec(action);
    c.rect = *panel.search_rect;
    out.push_back({std::move(c), action});
  }
  // The scrim and the close button both close; the platform gets one control, the largest.
  OfflineTarget const* close = nullptr;
  for (OfflineTarget const& target : panel.targets) {
    if (target.action.kind == Kind::Close && !target.rect.is_empty() &&
        (close == nullptr ||
         target.rect.width() * target.rect.height() > close->rect.width() * close->rect.height())) {
      close = &target;
    }
  }
  if (close != nullptr) {
    SemanticControl c = *offline_action_spec(close->action);
    c.rect = close->rect;
    out.push_back({std::move(c), close->action});
  }
  for (OfflineTarget const& target : panel.targets) {
    if (target.action.kind == Kind::Close || target.action.kind == Kind::SearchField ||
        target.rect.is_empty()) {
      continue;
    }
    auto spec = offline_action_spec(target.action);
    if (!spec || std::any_of(out.begin(), out.end(),
                             [&](OfflineControl const& c) { return c.control.id == spec->id; })) {
      continue;
    }
    spec->rect = target.rect;
    out.push_back({std::move(*spec), target.action});
  }
  return out;
}

bool offline_search_event(OfflinePanel& panel, zarn_ui::Event const& event, double scale,
                          base::Instant now) {
  auto& box = panel.search;
  if (auto const* press = std::get_if<zarn_ui::PointerButton>(&event)) {
    double const s = sane_scale(scale);
    zarn_ui::Point const p{press->x / s, press->y / s};
    if (press->button == 0 && press->state == zarn_ui::ButtonState::Pressed && panel.search_rect &&
        panel.search_rect->contains(p) && !box.editing()) {
      box.begin_edit();
    }
  }
  auto const outcome = box.handle_event(event, scale);
  if (box.text() != panel.query) {
    panel.query = box.text();
    panel.selected.reset();
    panel.search_note.clear();
    panel.search_failed = false;
    if (!base::utf8::trim(panel.query).empty()) {
      panel.debounce = now + INPUT_DEBOUNCE;
    } else {
      panel.debounce.reset();
      box.set_suggestions({});
      close_list(box);
    }
  }
  using zarn_ui::widget::AutocompleteOutcome;
  if (outcome == AutocompleteOutcome::Chosen) {
    if (auto const chosen = box.take_chosen()) {
      auto const hit = std::find_if(panel.hits.begin(), panel.hits.end(),
                                    [&](AreaHit const& h) { return h.name == chosen->value; });
      if (hit != panel.hits.end()) {
        panel.selected = *hit;
        box.set_text(hit->name);
        panel.query = hit->name;
        panel.search_note.clear();
        panel.search_failed = false;
      }
    }
    box.close();
    panel.debounce.reset();
  } else if (outcome == AutocompleteOutcome::Dismissed ||
             outcome == AutocompleteOutcome::Submitted) {
    close_list(box);
  }
  return outcome != AutocompleteOutcome::Ignored;
}

bool offline_retry_offered(OfflinePanel const& panel, TileCache const& tiles) {
  return panel.download && panel.download->ended &&
         panel.download->download == tiles.offline_downloads && tiles.offline_download_complete() &&
         !tiles.offline_failed_keys.empty();
}

std::string offline_region_id(GeoBox const& box, std::uint8_t z0, std::uint8_t z1) {
  return fmt::format("region:{:.6f}:{:.6f}:{:.6f}:{:.6f}:z{}-{}", box.south, box.west, box.north,
                     box.east, z0, z1);
}

std::string offline_region_name(std::optional<std::string> const& area_name, GeoBox const& box,
                                std::vector<Place> const& places) {
  if (area_name) {
    return *area_name;
  }
  for (Place const& place : places) {
    if (inside(place.pos, box)) {
      return place.name;
    }
  }
  return fmt::format("{:.3f}, {:.3f}", (box.south + box.north) / 2.0, (box.west + box.east) / 2.0);
}

} // namespace maps
