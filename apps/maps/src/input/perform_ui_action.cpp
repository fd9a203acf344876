#include "input/perform_ui_action.h"

#include <algorithm>
#include <cstdint>

#include "app/maps_app.h"
#include "app/overflow_menu.h"
#include "app/search.h"
#include "platform/launch/state.h"

namespace maps {

namespace {

/// The transit time offset the UI keeps: 0 to 24 hours, in minutes.
constexpr std::int64_t MAX_TRANSIT_OFFSET = 1440;

void post(MapsApp& app, zarn_ui::doc::Document& doc, MapsAction::Value value) {
  app.dispatch_maps_action(doc, MapsAction{std::move(value)});
}

void perform_search_item(MapsApp& app, zarn_ui::doc::Document& doc, SearchItem const& item) {
  switch (item.kind) {
  case SearchItem::Kind::Field:
    app.search_box.editing = true;
    break;
  case SearchItem::Kind::Clear:
    clear_search_suggestions(app.search_box);
    app.model.query.clear();
    app.model.results.clear();
    break;
  case SearchItem::Kind::Result:
    pick_search_suggestion(app, &doc, item.index);
    break;
  case SearchItem::Kind::Inert:
    break;
  }
}

void post_transit_time(MapsApp& app, zarn_ui::doc::Document& doc, TransitTime time) {
  post(app, doc, MapsAction::SetTransitTime{time});
  app.refresh_transit_if_active();
}

void toggle_overflow_menu(MapsApp& app) {
  if (app.overflow_menu.is_open()) {
    app.overflow_menu.close();
  } else {
    open_overflow_menu(app);
  }
}

} // namespace

void perform_ui_action(MapsApp& app, zarn_ui::State& state, UiAction action) {
  zarn_ui::doc::Document& doc = state.document();
  auto const visit = [&](auto const& v) {
    using T = std::decay_t<decltype(v)>;
    if constexpr (std::is_same_v<T, UiAction::None>) {
    } else if constexpr (std::is_same_v<T, UiAction::Search>) {
      perform_search_item(app, doc, v.item);
    } else if constexpr (std::is_same_v<T, UiAction::TogglePanelCollapse>) {
      app.panel_collapsed = !app.panel_collapsed;
    } else if constexpr (std::is_same_v<T, UiAction::BackToPlaces>) {
      app.model.panel = Panel::Explore;
      reset_endpoint_editor(app.endpoints);
      app.panel_scroll[0] = 0.0;
    } else if constexpr (std::is_same_v<T, UiAction::TravelMode>) {
      if (app.model.mode == v.mode) {
        return;
      }
      post(app, doc, MapsAction::SetTravelMode{v.mode});
      app.model.panel = Panel::Directions;
      if (v.mode == TravelMode::Transit) {
        app.request_transit();
      } else {
        app.request_route();
      }
    } else if constexpr (std::is_same_v<T, UiAction::OpenSavedPlace>) {
      app.open_place(v.id);
    } else if constexpr (std::is_same_v<T, UiAction::OpenPoi>) {
      auto const it = std::find_if(app.nearby_pois.begin(), app.nearby_pois.end(),
                                   [&](Poi const& p) { return p.id == v.id; });
      if (it == app.nearby_pois.end()) {
        return;
      }
      app.jump_to(it->pos);
      app.selected_poi = v.id;
      app.nav_open = true;
    } else if constexpr (std::is_same_v<T, UiAction::ClosePoi>) {
      app.selected_poi.reset();
    } else if constexpr (std::is_same_v<T, UiAction::PoiDirections>) {
      app.directions_to_poi();
    } else if constexpr (std::is_same_v<T, UiAction::SearchAgain>) {
      app.model.query = v.text;
      app.submit_search(&doc);
    } else if constexpr (std::is_same_v<T, UiAction::ClearRecents>) {
      post(app, doc, MapsAction::ClearRecents{});
    } else if constexpr (std::is_same_v<T, UiAction::ToggleNavigation>) {
      app.nav_open = !app.nav_open;
    } else if constexpr (std::is_same_v<T, UiAction::CloseNavigation>) {
      app.nav_open = false;
    } else if constexpr (std::is_same_v<T, UiAction::Directions>) {
      app.open_directions();
    } else if constexpr (std::is_same_v<T, UiAction::Transit>) {
      app.open_transit(doc);
    } else if constexpr (std::is_same_v<T, UiAction::ToggleSaved>) {
      app.toggle_saved_place(doc);
    } else if constexpr (std::is_same_v<T, UiAction::ClearRoute>) {
      app.end_navigation(doc);
    } else if constexpr (std::is_same_v<T, UiAction::UseMyLocation>) {
      app.start_locating();
    } else if constexpr (std::is_same_v<T, UiAction::TransitTimeMode>) {
      TransitTime time = app.model.transit_time;
      time.mode = v.arrive ? TransitTimeMode::Arrive : TransitTimeMode::Depart;
      post_transit_time(app, doc, time);
    } else if constexpr (std::is_same_v<T, UiAction::TransitTimeDelta>) {
      TransitTime time = app.model.transit_time;
      // Widened so that no delta can overflow before the clamp.
      std::int64_t const offset = std::clamp<std::int64_t>(
          std::int64_t{time.offset_min} + std::int64_t{v.minutes}, 0, MAX_TRANSIT_OFFSET);
      time.offset_min = static_cast<std::int32_t>(offset);
      post_transit_time(app, doc, time);
    } else if constexpr (std::is_same_v<T, UiAction::LeaveNow>) {
      post_transit_time(app, doc, TransitTime{TransitTimeMode::Depart, 0});
    } else if constexpr (std::is_same_v<T, UiAction::SelectJourney>) {
      app.model.transit_choice = v.index;
      app.fit_to_plan();
    } else if constexpr (std::is_same_v<T, UiAction::Overflow>) {
      toggle_overflow_menu(app);
    }
  };
  std::visit(visit, action.value);
}

} // namespace maps
