#include "app/endpoints.h"

#include "app/maps_app.h"

namespace maps {

void apply_endpoint_events(MapsApp& app, std::span<EndpointEvent const> events) {
  for (auto const& event : events) {
    app.endpoint_query_changed(event);
  }
}

void start_endpoint_edit(MapsApp& app, std::uint8_t field) {
  end_search_editing(app.search_box);
  app.endpoint_query_changed(start_endpoint_edit(app.endpoints, field));
}

bool pick_endpoint_suggestion(MapsApp& app, std::uint8_t field, std::size_t index) {
  auto picked = pick_endpoint_suggestion(app.endpoints, field, index);
  if (!picked) {
    return false;
  }
  app.endpoint_query_changed(std::move(*picked));
  return true;
}

void set_endpoint_text(MapsApp& app, std::uint8_t field, std::string_view text) {
  if (app.endpoints.active != (field == DEST_FIELD ? DEST_FIELD : ORIGIN_FIELD)) {
    end_search_editing(app.search_box);
  }
  apply_endpoint_events(app, set_endpoint_text(app.endpoints, field, text, app.now()));
}

bool press_endpoint_editor(MapsApp& app, zarn_ui::Point p, zarn_ui::Event const& event,
                           zarn_ui::Modifiers modifiers, double scale) {
  auto const events = press_endpoint_editor(app.endpoints, p, event, modifiers, scale);
  if (!events) {
    return false;
  }
  end_search_editing(app.search_box);
  apply_endpoint_events(app, *events);
  return true;
}

void endpoint_editor_key(MapsApp& app, zarn_ui::Event const& event, zarn_ui::Key const& key,
                         zarn_ui::Modifiers modifiers, double scale) {
  apply_endpoint_events(
      app, endpoint_editor_key(app.endpoints, event, key, modifiers, scale, app.now()));
}

} // namespace maps
