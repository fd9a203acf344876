// Layout read back from drawn frames at the default, the compact and the smallest window: texts
// neither run over their neighbours nor get cut where there is room, cards keep their margins.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include <fmt/format.h>

#include "app/overflow_menu.h"
#include "draw/side_panel_draw.h"
#include "platform/text/text_engine.h"
#include "scenario.h"
#include "shell/launch_record.h"

namespace maps::test {
namespace {

using zarn_ui::Rect;
using zarn_ui::TextCmd;

/// The box a text run takes: its origin, the renderer's width of the text, one line tall.
Rect text_box(TextCmd const& t) {
  zarn_ui::TextRenderer const text;
  auto const o = t.transform * zarn_ui::Point{};
  double const w = text.measure_weighted(t.text, t.size, t.weight) / text.text_scale();
  double const h = 1.25 * t.size / text.text_scale();
  return {o.x, o.y, o.x + w, o.y + h};
}

/// The renderer shortened the run to fit its width limit.
bool cut(TextCmd const& t) {
  zarn_ui::TextRenderer const text;
  return t.prepared && text.measure_weighted(t.text, t.size, t.weight) > t.prepared->width + 0.01f;
}

TextCmd const* text_where(Session const& s, std::function<bool(std::string const&)> const& pick) {
  for (auto const* t : probe::text_cmds(s.scene)) {
    if (pick(t->text)) {
      return t;
    }
  }
  return nullptr;
}

std::vector<Rect> offline_rects(MapsApp const& app, OfflinePanelAction::Kind kind) {
  std::vector<Rect> out;
  for (auto const& t : app.offline_panel.targets) {
    if (t.action.kind == kind) {
      out.push_back(t.rect);
    }
  }
  return out;
}

struct Slip {
  char const* name;
  std::vector<std::string> switches;
  std::function<void(Session&)> check;
};

Slip const SLIPS[] = {
    {"the offline panel's zoom range sits between its stepper buttons",
     {"--offline"},
     [](Session& s) {
       auto const steppers = offline_rects(s.app(), OfflinePanelAction::Kind::Zoom);
       ASSERT_EQ(steppers.size(), 2u);
       auto const* label = text_where(s, [](std::string const& t) {
         return t.starts_with("z") && t.find("tiles") == std::string::npos;
       });
       ASSERT_NE(label, nullptr);
       Rect const box = text_box(*label);
       EXPECT_GE(box.x0, steppers[0].x1 + 2) << label->text << " runs over the minus button";
       EXPECT_LE(box.x1, steppers[1].x0 - 2) << label->text << " runs over the plus button";
     }},
    {"a downloaded area's second line lies inside its row",
     {"--offline"},
     [](Session& s) {
       auto const deletes = offline_rects(s.app(), OfflinePanelAction::Kind::DeleteRegion);
       ASSERT_FALSE(deletes.empty());
       // The first row: the list's first second line and the first delete button share it.
       auto const* line = text_where(s, [](std::string const& t) { return t.ends_with(" tiles"); });
       ASSERT_NE(line, nullptr);
       std::optional<Rect> row;
       double const middle = deletes[0].center().y;
       for (auto const& f : probe::fills_of<zarn_ui::RoundedRect>(s.scene)) {
         Rect const r = f.shape.rect;
         if (r.contains({deletes[0].x0 - 40, middle}) && r.x1 >= deletes[0].x1 && r.height() < 60) {
           row = r;
         }
       }
       ASSERT_TRUE(row);
       EXPECT_LE(text_box(*line).y1, row->y1 - 2) << "the line is cut at the row's bottom";
       EXPECT_GE(text_box(*line).y0, row->y0);
     }},
    {"the licences are shown whole",
     {},
     [](Session& s) {
       open_attribution_sheet(s.app().attribution_sheet, true);
       s.frame();
       for (char const* start :
            {"OpenStreetMap data", "CARTO basemaps", "\xC2\xA9 OpenStreetMap"}) {
         SCOPED_TRACE(start);
         auto const* line =
             text_where(s, [&](std::string const& t) { return t.starts_with(start); });
         ASSERT_NE(line, nullptr) << "the line is not drawn";
         EXPECT_FALSE(cut(*line)) << "cut to " << line->max_width.value_or(-1.0f);
       }
       EXPECT_NE(text_where(s, [](std::string const& t) { return t.ends_with("(ODbL)"); }),
                 nullptr);
       EXPECT_NE(text_where(s, [](std::string const& t) { return t.ends_with("terms"); }), nullptr);
     }},
    {"a place without an address shows its category alone",
     {"--panel=explore"},
     [](Session& s) {
       auto& places = s.app().model.places;
       auto const cafe = std::find_if(places.begin(), places.end(),
                                      [](Place const& p) { return p.name.starts_with("Caf"); });
       ASSERT_NE(cafe, places.end());
       cafe->address.clear();
       s.frame();
       EXPECT_EQ(text_where(s, [](std::string const& t) { return t.ends_with("\xC2\xB7 "); }),
                 nullptr)
           << "a dangling separator";
       EXPECT_NE(text_where(s, [](std::string const& t) { return t == "Caf\xC3\xA9"; }), nullptr);
     }},
    {"the overflow menu opens inside the window",
     {"--menu"},
     [](Session& s) {
       Rect const window = s.app().window_rect();
       Rect const menu = s.app().overflow_menu.rect();
       ASSERT_TRUE(s.app().overflow_menu.is_open());
       EXPECT_EQ(menu.intersect(window), menu) << "the menu lies outside the window";
       EXPECT_TRUE(s.painted("Attribution"));
     }},
    {"the attribution sheet keeps a margin to the window's edges",
     {"--attribution"},
     [](Session& s) {
       Rect const window = s.app().window_rect();
       Rect const box = s.app().attribution_sheet.dialog.box_rect;
       EXPECT_GE(box.x0, window.x0 + 16);
       EXPECT_LE(box.x1, window.x1 - 16);
       EXPECT_GE(box.y0, window.y0 + 16);
       EXPECT_LE(box.y1, window.y1 - 16);
     }},
    {"the selected place's buttons keep equal margins in their card",
     {"--panel=explore"},
     [](Session& s) {
       ASSERT_TRUE(s.app().model.selected);
       auto const first =
           std::find_if(s.app().hit_targets.begin(), s.app().hit_targets.end(),
                        [](HitTarget const& t) { return t.action.is<UiAction::Directions>(); });
       auto const last =
           std::find_if(s.app().hit_targets.begin(), s.app().hit_targets.end(),
                        [](HitTarget const& t) { return t.action.is<UiAction::ToggleSaved>(); });
       ASSERT_NE(first, s.app().hit_targets.end());
       ASSERT_NE(last, s.app().hit_targets.end());
       // The card is the surface-filled rectangle the buttons sit in.
       std::optional<Rect> card;
       for (auto const& f : probe::fills_of<zarn_ui::RoundedRect>(s.scene)) {
         Rect const r = f.shape.rect;
         if (r.x0 <= first->rect.x0 && r.x1 >= last->rect.x1 && r.y0 < first->rect.y0 &&
             r.y1 > first->rect.y1 && r.height() < 200) {
           card = r;
         }
       }
       ASSERT_TRUE(card);
       EXPECT_NEAR(first->rect.x0 - card->x0, card->x1 - last->rect.x1, 0.5);
     }},
    {"in the compact layout the point-of-interest card leaves the open panel uncovered",
     {"--pois"},
     [](Session& s) {
       if (!s.app().compact()) {
         return;
       }
       Rect const panel = s.app().side_panel_rect();
       for (auto const& t : s.app().hit_targets) {
         if (t.action.is<UiAction::ClosePoi>() || t.action.is<UiAction::PoiDirections>()) {
           EXPECT_TRUE(t.rect.intersect(panel).is_empty()) << "the card lies over the panel";
         }
       }
     }},
};

TEST(LayoutSlips, AtTheDefaultTheCompactAndTheSmallestWindow) {
  auto const [min_w, min_h] = minimum_window_size();
  std::pair<double, double> const sizes[] = {
      {1280, 800}, {420, 800}, {double(min_w), double(min_h)}};
  for (auto const& slip : SLIPS) {
    for (auto const& [w, h] : sizes) {
      SCOPED_TRACE(fmt::format("{} at {}x{}", slip.name, w, h));
      Session s(slip.switches, w, h);
      slip.check(s);
    }
  }
}

} // namespace
} // namespace maps::test
