#include "offline_panel/panel_state.h"

#include "base/utf8.h"

namespace maps {

namespace {

zarn_ui::widget::TextInput new_input(float size, std::string_view placeholder) {
  auto input = zarn_ui::widget::TextInput::local().with_kind(2, size);
  input.set_placeholder(placeholder);
  return input;
}

}  // namespace

SearchBox new_search_box() {
  SearchBox box;
  box.input = new_input(15.0f, "Search places, addresses\xE2\x80\xA6");
  return box;
}

void set_search_suggestions(SearchBox& box, std::vector<Place> places) {
  box.suggestions = std::move(places);
}

void clear_search_suggestions(SearchBox& box) {
  box.suggestions.clear();
  box.highlighted.reset();
}

void blur_search_box(SearchBox& box) {
  box.editing = false;
  clear_search_suggestions(box);
}

bool search_suggestions_shown(SearchBox const& box, std::string_view query) {
  return box.editing && !base::utf8::trim(query).empty() && !box.suggestions.empty();
}

EndpointEditor new_endpoint_editor() {
  EndpointEditor editor;
  editor.origin_input = new_input(13.0f, "Choose starting point");
  editor.dest_input = new_input(13.0f, "Choose destination");
  return editor;
}

void reset_endpoint_editor(EndpointEditor& editor) {
  editor.active = NO_FIELD;
  editor.highlighted.reset();
  editor.origin_input.set_focused(false);
  editor.dest_input.set_focused(false);
  (void)editor.origin_input.take_dirty();
  (void)editor.dest_input.take_dirty();
}

void edit_endpoint(EndpointEditor& editor, std::uint8_t field) {
  bool const origin = field == ORIGIN_FIELD;
  editor.active = origin ? ORIGIN_FIELD : DEST_FIELD;
  editor.highlighted.reset();
  (origin ? editor.origin_text : editor.dest_text).clear();
  (origin ? editor.origin_suggestions : editor.dest_suggestions).clear();
  editor.origin_input.set_focused(origin);
  editor.dest_input.set_focused(!origin);
  (origin ? editor.origin_input : editor.dest_input).set_text("");
}

void sync_endpoint_texts(EndpointEditor& editor, std::string_view origin, std::string_view dest) {
  if (editor.origin_text != origin) {
    editor.origin_text = origin;
    if (editor.active == ORIGIN_FIELD) {
      editor.origin_input.set_text(origin);
    }
  }
  if (editor.dest_text != dest) {
    editor.dest_text = dest;
    if (editor.active == DEST_FIELD) {
      editor.dest_input.set_text(dest);
    }
  }
}

void set_endpoint_suggestions(EndpointEditor& editor, std::uint8_t field, std::vector<Place> places) {
  (field == ORIGIN_FIELD ? editor.origin_suggestions : editor.dest_suggestions) = std::move(places);
}

OfflinePanel new_offline_panel(std::uint64_t cache_bytes) {
  OfflinePanel panel;
  panel.search = zarn_ui::widget::Autocomplete()
                     .with_id("maps_download_search")
                     .with_placeholder("Search a city or place to download")
                     .with_size(14.0f);
  panel.cache_bytes = cache_bytes;
  return panel;
}

void reset_offline_search(OfflinePanel& panel) {
  panel.search.set_text("");
  panel.search.close();
  panel.search.set_suggestions({});
  panel.query.clear();
  panel.hits.clear();
  panel.debounce.reset();
  panel.selected.reset();
  panel.search_rect.reset();
}

void open_offline_panel(OfflinePanel& panel, std::uint64_t cache_bytes) {
  panel.open = true;
  panel.cache_bytes = cache_bytes;
  reset_offline_search(panel);
  panel.search.begin_edit();
}

void close_offline_panel(OfflinePanel& panel) {
  panel.open = false;
  reset_offline_search(panel);
  panel.targets.clear();
}

std::vector<zarn_ui::widget::Suggestion> place_suggestions(std::vector<AreaHit> const& hits) {
  std::vector<zarn_ui::widget::Suggestion> out;
  out.reserve(hits.size());
  for (auto const& hit : hits) {
    auto s = zarn_ui::widget::suggestion_new(hit.name);
    if (!hit.label.empty()) {
      s = zarn_ui::widget::suggestion_with_detail(std::move(s), hit.label);
    }
    out.push_back(std::move(s));
  }
  return out;
}

}  // namespace maps
