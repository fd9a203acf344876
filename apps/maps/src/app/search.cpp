#include "app/search.h"

#include "app/maps_app.h"
#include "base/utf8.h"
#include "model/ops.h"
#include "ui/suggestion_list.h"

namespace maps {

void pick_search_suggestion(MapsApp& app, zarn_ui::doc::Document* doc, std::size_t index) {
  auto& box = app.search_box;
  if (index >= box.suggestions.size()) {
    return;
  }
  Place const place = box.suggestions[index];
  end_search_editing(box);
  app.model.query = place.name;
  if (doc != nullptr) {
    app.dispatch_maps_action(*doc, MapsAction{MapsAction::UpsertPlaces{{place}}});
    app.dispatch_maps_action(*doc, MapsAction{MapsAction::CommitSearch{place.name}});
  } else {
    upsert_place(app.model, place);
  }
  app.open_place(place.id);
}

void search_text_changed(MapsApp& app) {
  SearchBox& box = app.search_box;
  app.model.query = box.input.text();
  std::string_view const trimmed = base::utf8::trim(app.model.query);
  if (trimmed.empty()) {
    clear_search_suggestions(box);
    box.debounce.reset();
  } else {
    set_search_suggestions(box, app.local_matches(trimmed));
    box.highlighted.reset(); // a row of the old list means nothing in the new one
    box.debounce = app.now() + INPUT_DEBOUNCE;
  }
}

void set_search_text(MapsApp& app, std::string_view text) {
  reset_endpoint_editor(app.endpoints);
  SearchBox& box = app.search_box;
  box.editing = true;
  box.input.set_focused(true);
  box.input.set_text(text);
  search_text_changed(app);
}

void apply_search_events(MapsApp& app, std::span<SearchEvent const> events,
                         zarn_ui::doc::Document* doc) {
  struct Apply {
    MapsApp& app;
    zarn_ui::doc::Document* doc;
    void operator()(SearchEvent::Edited const&) const { search_text_changed(app); }
    void operator()(SearchEvent::Picked const& e) const {
      pick_search_suggestion(app, doc, e.index);
    }
    void operator()(SearchEvent::Submitted const&) const { app.submit_search(doc); }
  };
  for (auto const& event : events) {
    std::visit(Apply{app, doc}, event.value);
  }
}

} // namespace maps
