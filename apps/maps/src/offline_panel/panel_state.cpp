#include "offline_panel/panel_state.h"

namespace maps {

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
  panel.search_note.clear();
  panel.search_failed = false;
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

} // namespace maps
