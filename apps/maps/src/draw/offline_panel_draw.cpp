#include "draw/offline_panel_draw.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <tuple>

#include <fmt/format.h>

#include "draw/panel_targets.h"
#include "offline_panel/download_selection.h"
#include "offline_panel/offline_panel.h"
#include "ui/format.h"

namespace maps {

namespace {

using zarn_ui::Theme;

constexpr Color SCRIM{0.0f, 0.0f, 0.0f, 0.45f};
constexpr std::size_t SHOWN_REGIONS = 4;

void add_offline_target(MapsApp& app, Rect const& rect, OfflinePanelAction action) {
  app.offline_panel.targets.push_back(OfflineTarget{rect, std::move(action)});
}

void draw_bin(Scene& scene, Affine const& t, double c, double m, Color color) {
  stroke_line(scene, t, c - 5, m - 4, c + 5, m - 4, color, 1.6);
  stroke_line(scene, t, c - 2, m - 6.5, c + 2, m - 6.5, color, 1.6);
  stroke_line(scene, t, c - 3.6, m - 3, c - 2.8, m + 5, color, 1.6);
  stroke_line(scene, t, c + 3.6, m - 3, c + 2.8, m + 5, color, 1.6);
  stroke_line(scene, t, c - 2.8, m + 5, c + 2.8, m + 5, color, 1.6);
}

} // namespace

std::string offline_status_text(std::uint32_t total, std::uint32_t done, std::uint32_t failed,
                                std::uint32_t estimate_tiles) {
  if (done < total) {
    return fmt::format("Downloading {}/{} tiles\xE2\x80\xA6", done, total);
  }
  if (total == 0) {
    return fmt::format("\xE2\x89\x88 {} tiles ({})", estimate_tiles,
                       format_byte_size(std::uint64_t{estimate_tiles} * ESTIMATED_TILE_BYTES));
  }
  if (failed >= total) {
    return fmt::format("None of the {} tiles could be fetched", total);
  }
  if (failed > 0) {
    return fmt::format("Downloaded {} of {} tiles \xC2\xB7 {} missing", total - failed, total,
                       failed);
  }
  return fmt::format("Downloaded {} tiles", total);
}

void draw_offline_panel(MapsApp& app, Scene& scene, Affine const& t, TextRenderer const& text,
                        Theme const& theme) {
  OfflinePanel& panel = app.offline_panel;
  double const s = std::max(static_cast<double>(theme.text_scale), 1.0);
  panel.targets.clear();

  Rect const window = app.window_rect();
  fill_rect(scene, t, window, SCRIM);
  add_offline_target(app, window, OfflinePanelAction::close());

  std::vector<DownloadedRegion> const& regions = app.model.regions;
  std::size_t const n = regions.size();
  std::size_t const shown = std::min(n, SHOWN_REGIONS);
  double const list_h =
      n == 0 ? 22 * s : static_cast<double>(shown) * 42 * s + (n >= 5 ? 18 * s : 0.0);

  double const card_w = std::min(440 + 180 * (s - 1), window.width() - 40);
  double const card_h = std::min(list_h + 350 * s, window.height() - 24);
  auto const centre = app.window_center();
  Rect const card{centre.x - card_w / 2, centre.y - card_h / 2, centre.x + card_w / 2,
                  centre.y + card_h / 2};
  draw_card(scene, t, card, 16, theme.surface_raised, theme.border);
  add_offline_target(app, card, OfflinePanelAction::search_field());

  double const L = card.x0 + 8 * s + 14;
  double const R = card.x1 - (8 * s + 14);
  double const CW = R - L;

  double const title_y = card.y0 + 20 * s;
  paint_text_weighted(text, scene, t, "Offline maps", 18, theme.text, L, title_y, 3);
  draw_text_centered(text, scene, t, "\xE2\x9C\x95", 14, theme.text_secondary, R - 26 * s, R,
                     card.y0 + 12 * s + (26 * s - 14 * s) / 2 - 1);
  add_offline_target(app, Rect{R - 26 * s, card.y0 + 12 * s, R, card.y0 + 38 * s},
                     OfflinePanelAction::close());

  double const ya = title_y + 30 * s;
  paint_text_weighted(text, scene, t, "Area to download", 13, theme.text, L, ya, 2);
  Rect const field{L, ya + 22 * s, R, ya + 58 * s};
  panel.search_rect = field;
  panel.search.set_rect(field);
  panel.search.draw(scene, t, text, theme);

  double const yf = field.y0 + 44 * s;
  if (!panel.selected && !panel.search_note.empty()) {
    paint_text_fitted(text, scene, t, panel.search_note, 11.5f,
                      panel.search_failed ? theme.danger : theme.text_secondary, L, yf, CW);
  } else if (!panel.selected) {
    paint_text_fitted(text, scene, t, "Search a city or place above, or download the current view.",
                      11.5f, theme.text_secondary, L, yf, CW);
  } else {
    AreaHit const& area = *panel.selected;
    paint_text_weighted(text, scene, t, area.name, 13, theme.accent, L, yf, 2);
    if (!area.label.empty()) {
      double const nw = measure_text(text, area.name, 13);
      paint_text_fitted(text, scene, t, area.label, 11.5f, theme.text_secondary, L + nw + 10, yf,
                        std::max(CW - (nw + 10), 20.0));
    }
  }

  DownloadSelection const selection =
      download_selection(panel, app.viewport_bounds(), app.model.zoom, window);
  double const yd = yf + 24 * s;
  paint_text_weighted(text, scene, t, "Detail (zoom levels)", 13, theme.text, L, yd, 2);
  // The range sits between the buttons with 6 px on either side; the minus button moves left
  // when the range is wider than the usual gap.
  std::string const range = fmt::format("z{}\xE2\x80\x93z{}", selection.z0, selection.z1);
  double const gap = std::max(32 * s, measure_text(text, range, 13) + 12);
  Rect const plus{R - 26 * s, yd - 4 * s, R, yd + 22 * s};
  Rect const minus{plus.x0 - gap - 26 * s, yd - 4 * s, plus.x0 - gap, yd + 22 * s};
  for (auto const& [r, glyph, delta] :
       {std::tuple{minus, "\xE2\x80\x93", -1}, std::tuple{plus, "+", 1}}) {
    fill_rounded_rect(scene, t, r, 7, theme.surface);
    draw_text_centered(text, scene, t, glyph, 18, theme.text, r.x0, r.x1, r.y0 + 4 * s - 1);
    add_offline_target(app, r, OfflinePanelAction::zoom(static_cast<std::int8_t>(delta)));
  }
  draw_text_centered(text, scene, t, range, 13, theme.accent, minus.x1, plus.x0,
                     minus.y0 + 6.5 * s - 1);

  std::uint32_t const tiles = count_area_tiles(selection.box, selection.z0, selection.z1);
  std::uint32_t const total = app.tiles.offline_total;
  std::uint32_t const done = app.tiles.offline_done;
  std::uint32_t const failed = std::min(app.tiles.offline_failed, done);
  double const status_y = yd + 34 * s;
  std::string const status = offline_status_text(total, done, failed, tiles);
  if (offline_retry_offered(panel, app.tiles)) {
    Rect const retry{R - 64 * s, status_y - 4 * s, R, status_y + 18 * s};
    paint_text_fitted(text, scene, t, status, 12, theme.text_secondary, L, status_y,
                      std::max(CW - 72 * s, 20.0));
    fill_rounded_rect(scene, t, retry, 7, theme.surface);
    draw_text_centered(text, scene, t, "Retry", 12, theme.accent, retry.x0, retry.x1, status_y - 1);
    add_offline_target(app, retry, OfflinePanelAction::retry_missing());
  } else {
    paint_text(text, scene, t, status, 12, theme.text_secondary, L, status_y);
  }

  double const bar_y = status_y + 22 * s;
  fill_rounded_rect(scene, t, Rect{L, bar_y, R, bar_y + 8 * s}, 4, theme.surface);
  if (total > 0) {
    // The fetched share: failed tiles do not fill the bar.
    double const f = static_cast<double>(done - failed) / static_cast<double>(total);
    if (f > 0) {
      // Never narrower than the rounded ends, so the first finished tile shows.
      fill_rounded_rect(scene, t, Rect{L, bar_y, L + std::max(f * CW, 4.0), bar_y + 8 * s}, 4,
                        theme.accent);
    }
  }
  double const disk_y = bar_y + 24 * s;
  paint_text(text, scene, t, fmt::format("Cached on disk: {}", format_byte_size(panel.cache_bytes)),
             12, theme.text, L, disk_y);

  double const areas_y = disk_y + 30 * s;
  paint_text_weighted(text, scene, t, "Downloaded areas", 13, theme.text, L, areas_y, 2);
  double y = areas_y + 24 * s;
  double const name_w = std::max((R - 34) - L - 20, 40.0);
  for (std::size_t i = 0; i < shown; ++i) {
    DownloadedRegion const& region = regions[i];
    double const row_y = y + 42 * s * static_cast<double>(i);
    // 38 tall so that the second line's descenders stay inside the row.
    Rect const row{L, row_y, R, row_y + 38 * s};
    fill_rounded_rect(scene, t, row, 8, theme.surface);
    double const m = (row.y0 + row.y1) / 2;
    // An area some of whose tiles never arrived says so until a retry brings them all.
    std::uint32_t const area_tiles = region_tile_count(region);
    bool const incomplete = region.tiles < area_tiles;
    bool const retry = incomplete && offline_retry_offered(panel, app.tiles) &&
                       panel.download->region.id == region.id;
    double const text_w = retry ? std::max(name_w - 64 * s, 40.0) : name_w;
    paint_text_fitted(text, scene, t, region.name, 13, theme.text, L + 12, row_y + 4 * s, text_w);
    std::string const detail =
        incomplete ? fmt::format("z{}\xE2\x80\x93z{} \xC2\xB7 {} of {} tiles \xC2\xB7 incomplete",
                                 region.z0, region.z1, region.tiles, area_tiles)
                   : fmt::format("z{}\xE2\x80\x93z{} \xC2\xB7 {} tiles", region.z0, region.z1,
                                 region.tiles);
    paint_text_fitted(text, scene, t, detail, 11, incomplete ? theme.warning : theme.text_secondary,
                      L + 12, row_y + 21 * s, text_w);
    if (retry) {
      Rect const again{R - 42 - 60 * s, m - 11 * s, R - 42, m + 11 * s};
      fill_rounded_rect(scene, t, again, 7, theme.surface_raised);
      draw_text_centered(text, scene, t, "Retry", 12, theme.accent, again.x0, again.x1, m - 8 * s);
      add_offline_target(app, again, OfflinePanelAction::retry_missing());
    }
    Rect const del{R - 34, m - 13 * s, R - 8, m + 13 * s};
    fill_rounded_rect(scene, t, del, 7, theme.surface_raised);
    stroke_rounded_rect(scene, t, del, 7, theme.border, 1);
    draw_bin(scene, t, R - 21, m, theme.danger);
    add_offline_target(app, del, OfflinePanelAction::delete_region(region.id));
  }
  y += 42 * s * static_cast<double>(shown);
  if (n >= 5) {
    paint_text(text, scene, t, fmt::format("+{} more", n - SHOWN_REGIONS), 11, theme.text_secondary,
               L, y);
    y += 18 * s;
  } else if (n == 0) {
    paint_text(text, scene, t,
               "No saved areas yet \xE2\x80\x94 search a place above to download it.", 11.5f,
               theme.text_secondary, L, y);
    y += 22 * s;
  }

  double const yb = y + 12 * s;
  double const half = (CW - 10) / 2;
  double const label_y = yb + (38 * s - 13 * s) / 2 - 1;
  Rect const download{L, yb, L + half, yb + 38 * s};
  fill_rounded_rect(scene, t, download, 9, theme.accent);
  std::string const label = selection.name ? fmt::format("Download {}", *selection.name)
                                           : std::string("Download current view");
  draw_text_centered(text, scene, t, ellipsize_text(text, label, 13, half - 20), 13,
                     theme.on_accent, download.x0, download.x1, label_y);
  add_offline_target(app, download, OfflinePanelAction::download());

  Rect const clear{L + half + 10, yb, R, yb + 38 * s};
  fill_rounded_rect(scene, t, clear, 9, theme.surface);
  stroke_rounded_rect(scene, t, clear, 9, theme.border, 1);
  draw_text_centered(text, scene, t, "Clear all", 13, theme.danger, clear.x0, clear.x1, label_y);
  add_offline_target(app, clear, OfflinePanelAction::clear_cache());

  // Last, so the open suggestion list lies over the rest of the card.
  panel.search.draw_overlay(scene, t, text, theme);
}

} // namespace maps
