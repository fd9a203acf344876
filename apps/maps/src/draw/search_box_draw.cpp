#include "draw/search_box_draw.h"

#include <algorithm>
#include <span>
#include <string>

#include "app/maps_app.h"
#include "draw/suggestion_rows.h"
#include "ui/palette.h"

namespace maps {

void drain_search_targets(MapsApp& app) {
  auto& targets = app.search_box.targets;
  app.hit_targets.reserve(app.hit_targets.size() + targets.size());
  for (auto& target : targets) {
    app.hit_targets.push_back(HitTarget{target.rect, UiAction::Search{target.item}});
  }
  targets.clear();
}

void draw_search_box(MapsApp& app, Scene& scene, Affine const& t, TextRenderer const& text,
                     zarn_ui::Theme const& theme) {
  SearchBox& box = app.search_box;
  Rect const r = app.search_bar_rect();
  box.targets.clear();
  box.targets.push_back({r, SearchItem::field()});

  draw_card(scene, t, r, 12.0, theme.surface_raised,
            box.editing ? theme.focus_border : theme.border);

  double const cy = (r.y0 + r.y1) / 2.0;
  stroke_circle(scene, t, r.x0 + 22.0, cy - 1.0, 6.0, theme.text_secondary, 2.0);
  stroke_line(scene, t, r.x0 + 26.5, cy + 3.5, r.x0 + 31.0, cy + 8.0, theme.text_secondary, 2.0);

  box.input.set_rect(Rect{r.x0 + 36.0, r.y0, r.x1 - 34.0, r.y1});
  box.input.draw(scene, t, text, theme, zarn_ui::PresenceCtx::empty());

  if (!app.model.query.empty()) {
    double const cx = r.x1 - 21.0;
    fill_circle(scene, t, cx, cy, 10.0, theme.surface);
    stroke_line(scene, t, cx - 4.0, cy - 4.0, cx + 4.0, cy + 4.0, theme.text_secondary, 1.4);
    stroke_line(scene, t, cx + 4.0, cy - 4.0, cx - 4.0, cy + 4.0, theme.text_secondary, 1.4);
    box.targets.push_back(
        {Rect{r.x1 - 32.0, r.y0 + 10.0, r.x1 - 10.0, r.y1 - 10.0}, SearchItem::clear()});
  }
}

void draw_search_suggestions(MapsApp& app, Scene& scene, Affine const& t, TextRenderer const& text,
                             zarn_ui::Theme const& theme) {
  SearchBox& box = app.search_box;
  Rect const bar = app.search_bar_rect();
  std::size_t const n = std::min(box.suggestions.size(), MAX_SUGGESTION_ROWS);
  double const top = bar.y1 + CARD_GAP;
  Rect const card{bar.x0, top, bar.x1, top + suggestions_card_height(n)};
  draw_card(scene, t, card, 12.0, theme.surface_raised, theme.border);
  box.targets.push_back({card, SearchItem::inert()});

  zarn_ui::Color const icon = mix_colors(theme.accent, theme.surface, 0.78f);
  for (std::size_t i = 0; i < n; ++i) {
    Place const& place = box.suggestions[i];
    double const y = row_top(card, i);
    Rect const row = row_rect(card, y);
    paint_selected_row(app, scene, t, theme, row, place);
    if (box.highlighted == i) {
      paint_highlighted_row(scene, t, theme, row);
    }
    fill_circle(scene, t, card.x0 + 20.0, y + 22.0, 6.0, icon);
    fill_circle(scene, t, card.x0 + 20.0, y + 22.0, 2.4, theme.accent);
    paint_row_texts(app, scene, t, text, theme, card, y, place);
    box.targets.push_back({row, SearchItem::result(i)});
  }
}

} // namespace maps
