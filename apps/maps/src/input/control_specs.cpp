#include "input/control_specs.h"

#include <fmt/format.h>

#include "app/maps_app.h"
#include "base/utf8.h"
#include "model/ops.h"
#include "ui/labels.h"

namespace maps {

namespace {

template <class... F> struct Overloaded : F... { using F::operator()...; };
template <class... F> Overloaded(F...) -> Overloaded<F...>;

/// index + 1 in decimal, also for the largest index (no wrap to 0).
std::string one_based(std::size_t index) {
  std::string digits = fmt::format("{}", index);
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
    if (*it != '9') {
      ++*it;
      return digits;
    }
    *it = '0';
  }
  return "1" + digits;
}

std::uint8_t on_off(bool on) {
  return on ? STATE_ON : STATE_OFF;
}

std::optional<SemanticControl> search_spec(MapsApp const& app, SearchItem const& item) {
  switch (item.kind) {
  case SearchItem::Kind::Field:
    return make_control("Search places", "maps.search", ROLE_SEARCH_FIELD);
  case SearchItem::Kind::Clear:
    return make_control("Clear search", "maps.search.clear", ROLE_PUSH_BUTTON);
  case SearchItem::Kind::Result: {
    auto const& list = app.search_box.suggestions;
    if (item.index < list.size()) {
      Place const& place = list[item.index];
      return make_control(fmt::format("Open {}", place.name),
                          fmt::format("maps.search-result:{}", place.id), ROLE_PUSH_BUTTON);
    }
    return make_control("Search result " + one_based(item.index),
                        fmt::format("maps.search-result:{}", item.index), ROLE_PUSH_BUTTON);
  }
  case SearchItem::Kind::Inert:
    return std::nullopt;
  }
  return std::nullopt;
}

} // namespace

std::optional<SemanticControl> ui_action_spec(MapsApp const& app, UiAction const& action) {
  MapModel const& model = app.model;
  using A = UiAction;
  using Spec = std::optional<SemanticControl>;
  return std::visit(
      Overloaded{
          [](A::None const&) -> Spec { return std::nullopt; },
          [&](A::Search const& a) -> Spec { return search_spec(app, a.item); },
          [&](A::TogglePanelCollapse const&) -> Spec {
            // The name stays; the state says which way it is.
            return make_control("Collapse panel", "maps.panel-collapse", ROLE_TOGGLE_BUTTON,
                                on_off(app.panel_collapsed));
          },
          [](A::BackToPlaces const&) -> Spec {
            return make_control("Back to places", "maps.panel.back", ROLE_PUSH_BUTTON);
          },
          [&](A::TravelMode const& a) -> Spec {
            std::string_view const name = travel_mode_display_name(a.mode);
            return make_control(fmt::format("Travel by {}", name),
                                fmt::format("maps.mode:{}", base::utf8::to_lower(name)),
                                ROLE_CHOICE, on_off(model.mode == a.mode));
          },
          [&](A::OpenSavedPlace const& a) -> Spec {
            Place const* place = find_place(model, a.id);
            return make_control(place ? fmt::format("Open {}", place->name)
                                      : std::string("Open place"),
                                fmt::format("maps.place:{}", a.id), ROLE_PUSH_BUTTON);
          },
          [&](A::OpenPoi const& a) -> Spec {
            std::string label = "Open nearby place";
            for (auto const& poi : app.nearby_pois) {
              if (poi.id == a.id) {
                label = fmt::format("Open {}", poi.name);
                break;
              }
            }
            return make_control(std::move(label), fmt::format("maps.poi:{}", a.id),
                                ROLE_PUSH_BUTTON);
          },
          [](A::ClosePoi const&) -> Spec {
            return make_control("Close place details", "maps.poi.close", ROLE_PUSH_BUTTON);
          },
          [](A::PoiDirections const&) -> Spec {
            return make_control("Directions to this place", "maps.poi.directions",
                                ROLE_PUSH_BUTTON);
          },
          [](A::SearchAgain const& a) -> Spec {
            return make_control(fmt::format("Search again for {}", a.text),
                                fmt::format("maps.recent:{}", a.text), ROLE_PUSH_BUTTON);
          },
          [](A::ClearRecents const&) -> Spec {
            return make_control("Clear search history", "maps.recent.clear", ROLE_PUSH_BUTTON);
          },
          [&](A::ToggleNavigation const&) -> Spec {
            return make_control("Map navigation", "maps.navigation", ROLE_TOGGLE_BUTTON,
                                on_off(app.nav_open));
          },
          [](A::CloseNavigation const&) -> Spec { return std::nullopt; },
          [](A::Directions const&) -> Spec {
            return make_control("Directions", "maps.directions", ROLE_PUSH_BUTTON);
          },
          [](A::Transit const&) -> Spec {
            return make_control("Transit", "maps.transit", ROLE_PUSH_BUTTON);
          },
          [&](A::ToggleSaved const&) -> Spec {
            Place const* place = selected_place(model);
            return make_control("Save or unsave place", "maps.save", ROLE_TOGGLE_BUTTON,
                                on_off(place != nullptr && place->saved));
          },
          [](A::ClearRoute const&) -> Spec {
            return make_control("Clear route", "maps.route.clear", ROLE_PUSH_BUTTON);
          },
          [](A::UseMyLocation const&) -> Spec {
            return make_control("Use my location", "maps.location", ROLE_PUSH_BUTTON);
          },
          [&](A::TransitTimeMode const& a) -> Spec {
            bool const arrive_mode = model.transit_time.mode == ::maps::TransitTimeMode::Arrive;
            if (a.arrive) {
              return make_control("Arrive by", "maps.transit-time:arrive", ROLE_CHOICE,
                                  on_off(arrive_mode));
            }
            return make_control("Leave at", "maps.transit-time:depart", ROLE_CHOICE,
                                on_off(!arrive_mode));
          },
          [](A::TransitTimeDelta const& a) -> Spec {
            return make_control(a.minutes < 0 ? "Earlier" : "Later",
                                fmt::format("maps.transit-time:delta:{}", a.minutes),
                                ROLE_PUSH_BUTTON);
          },
          [](A::LeaveNow const&) -> Spec {
            return make_control("Leave now", "maps.transit-time:now", ROLE_PUSH_BUTTON);
          },
          [&](A::SelectJourney const& a) -> Spec {
            return make_control("Journey option " + one_based(a.index),
                                fmt::format("maps.journey:{}", a.index), ROLE_CHOICE,
                                on_off(model.transit_choice == a.index));
          },
          [&](A::Overflow const&) -> Spec {
            return make_control("More map options", "maps.overflow", ROLE_TOGGLE_BUTTON,
                                on_off(app.overflow_menu.is_open()));
          },
      },
      action.value);
}

std::optional<SemanticControl> hit_target_spec(MapsApp const& app, HitTarget const& target) {
  auto control = ui_action_spec(app, target.action);
  if (control) {
    control->rect = target.rect;
  }
  return control;
}

} // namespace maps
