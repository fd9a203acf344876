// Screenshots at a UI scale: the whole frame is enlarged (geometry, hit targets and text
// together), so a --scale 2 picture is the scale-1 picture of half the size, doubled.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/launch/launch_args.h"
#include "platform/render/offscreen.h"
#include "platform/text/text_renderer.h"
#include "scene_probe.h"
#include "shell/launch_record.h"
#include "shell/screenshot.h"

namespace maps {
namespace {

using zarn_ui::Rect;

zarn_ui::launch::LaunchArgs args_of(std::vector<char const*> argv) {
  auto const spec = maps_launch_spec();
  auto parsed = zarn_ui::launch::parse_launch_args(argv, spec.switches, spec.options);
  EXPECT_TRUE(parsed) << parsed.error();
  return parsed.value_or(zarn_ui::launch::LaunchArgs{});
}

ShotFrame shot_of(std::vector<char const*> argv) {
  auto shot = compose_shot(args_of(std::move(argv)));
  EXPECT_TRUE(shot) << shot.error().display();
  return shot ? std::move(*shot) : ShotFrame{};
}

std::vector<std::uint8_t> pixels_of(ShotFrame const& shot) {
  return zarn_ui::OffscreenRenderer(shot.width, shot.height)
      .render_resilient(shot.scene, zarn_ui::colors::TRANSPARENT, shot.frame.scale);
}

struct TextBox {
  std::string text;
  Rect box;          // the glyphs' band of the line box, in image pixels
  std::size_t index; // in the scene's command list
};

/// The text runs as drawn: the advance (cut at the width limit) by the middle of the line box,
/// where the glyphs are, in image pixels.
std::vector<TextBox> text_boxes(ShotFrame const& shot) {
  zarn_ui::TextRenderer const text;
  std::vector<TextBox> out;
  double const s = shot.frame.scale;
  for (std::size_t i = 0; i < shot.scene.commands.size(); ++i) {
    auto const* t = std::get_if<zarn_ui::TextCmd>(&shot.scene.commands[i]);
    if (!t) {
      continue;
    }
    double w = text.measure_weighted(t->text, t->size, t->weight);
    if (t->max_width) {
      w = std::min(w, static_cast<double>(*t->max_width));
    }
    zarn_ui::Point const o = t->transform * zarn_ui::Point{0, 0};
    double const inset = t->size * 0.2;
    out.push_back(
        {t->text,
         Rect{o.x * s, (o.y + inset) * s, (o.x + w) * s, (o.y + t->size * 1.25 - inset) * s}, i});
  }
  return out;
}

std::optional<Rect> opaque_cover(zarn_ui::Command const& cmd) {
  auto const* fill = std::get_if<zarn_ui::FillCmd>(&cmd);
  if (!fill || fill->color.a < 0.95f) {
    return std::nullopt;
  }
  if (auto const* r = std::get_if<Rect>(&fill->shape)) {
    return fill->transform.transform_rect_bbox(*r);
  }
  if (auto const* r = std::get_if<zarn_ui::RoundedRect>(&fill->shape)) {
    return fill->transform.transform_rect_bbox(r->rect);
  }
  if (auto const* path = std::get_if<zarn_ui::BezPath>(&fill->shape); path && !path->empty()) {
    // A card's soft outline: its points span the card.
    Rect box{1e9, 1e9, -1e9, -1e9};
    for (auto const& el : path->elements()) {
      if (el.verb == zarn_ui::PathVerb::MoveTo || el.verb == zarn_ui::PathVerb::LineTo) {
        zarn_ui::Point const p = el.p[0];
        box = {std::min(box.x0, p.x), std::min(box.y0, p.y), std::max(box.x1, p.x),
               std::max(box.y1, p.y)};
      }
    }
    return fill->transform.transform_rect_bbox(box);
  }
  return std::nullopt;
}

/// Pairs of text runs whose glyphs overlap where both can be seen: an opaque panel painted
/// after the earlier one hides it there.
std::vector<std::string> visible_overlaps(ShotFrame const& shot) {
  auto const boxes = text_boxes(shot);
  double const s = shot.frame.scale;
  std::vector<std::string> out;
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    for (std::size_t j = i + 1; j < boxes.size(); ++j) {
      Rect const o = boxes[i].box.intersect(boxes[j].box);
      if (!(o.width() > s && o.height() > s)) {
        continue;
      }
      bool hidden = false;
      for (std::size_t k = boxes[i].index + 1; k < shot.scene.commands.size() && !hidden; ++k) {
        if (auto const cover = opaque_cover(shot.scene.commands[k])) {
          Rect const c{cover->x0 * s, cover->y0 * s, cover->x1 * s, cover->y1 * s};
          hidden = c.contains({o.x0, o.y0}) && c.contains({o.x1 - 0.01, o.y1 - 0.01});
        }
      }
      if (!hidden) {
        out.push_back("'" + boxes[i].text + "' x '" + boxes[j].text + "'");
      }
    }
  }
  return out;
}

TEST(ShotScale, ScaleTwoIsTheHalfSizeFrameDoubled) {
  // Text antialiasing differs between the two resolutions; geometry and placement do not.
  for (auto const* preset : {"--search", "--pois", "--offline", "--menu", "--nav-closed"}) {
    SCOPED_TRACE(preset);
    ShotFrame const small = shot_of({preset, "--size", "640x400"});
    ShotFrame const big = shot_of({preset, "--size", "1280x800", "--scale", "2"});
    ASSERT_EQ(big.width, 1280u);
    ASSERT_EQ(big.height, 800u);
    EXPECT_EQ(big.frame.logical, (zarn_ui::Size{640, 400}));
    auto const a = pixels_of(small);
    auto const b = pixels_of(big);
    ASSERT_EQ(a.size(), 640u * 400u * 4u);
    ASSERT_EQ(b.size(), 1280u * 800u * 4u);
    double total = 0.0;
    std::size_t far = 0;
    for (std::size_t y = 0; y < 400; ++y) {
      for (std::size_t x = 0; x < 640; ++x) {
        for (std::size_t ch = 0; ch < 4; ++ch) {
          auto at = [&](std::size_t bx, std::size_t by) {
            return static_cast<double>(b[(by * 1280 + bx) * 4 + ch]);
          };
          double const down = (at(2 * x, 2 * y) + at(2 * x + 1, 2 * y) + at(2 * x, 2 * y + 1) +
                               at(2 * x + 1, 2 * y + 1)) /
                              4;
          double const d = std::abs(down - a[(y * 640 + x) * 4 + ch]);
          total += d;
          far += d > 96 ? 1 : 0;
        }
      }
    }
    double const mean = total / (640.0 * 400.0 * 4.0);
    EXPECT_LT(mean, 3.0);
    EXPECT_LT(far, 640u * 400u * 4u / 200u) << "more than 0.5% of the channels differ widely";
  }
}

TEST(ShotScale, ScaleTwoTextDoesNotOverlapAndTheZoomGlyphIsDrawn) {
  struct Case {
    std::vector<char const*> preset;
    bool scrim; // a modal panel dims the map controls
  } const cases[] = {{{"--search"}, false},
                     {{"--pois"}, false},
                     {{"--menu"}, false},
                     {{"--traffic"}, false},
                     {{"--edit-from"}, false},
                     {{"--floating-navigation"}, false},
                     {{"--offline"}, true},
                     {{"--attribution"}, true},
                     {{"--empty"}, false},
                     {{"--nav-closed"}, false},
                     {{"--error"}, false},
                     {{"--panel", "directions"}, false},
                     {{"--panel", "transit"}, false},
                     {{"--transit-arrive"}, false},
                     {{"--floating-navigation-attached"}, false},
                     {{"--floating-navigation-hover"}, false},
                     {{"--floating-navigation-returning"}, false},
                     {{"--floating-navigation-returned"}, false}};
  for (auto const& c : cases) {
    SCOPED_TRACE(c.preset.back());
    std::vector<char const*> argv = c.preset;
    argv.insert(argv.end(), {"--scale", "2"});
    ShotFrame const shot = shot_of(argv);
    for (auto const& pair : visible_overlaps(shot)) {
      ADD_FAILURE() << "overlapping text " << pair;
    }
    if (c.scrim) {
      continue;
    }

    // The zoom-in button is the rightmost "+"; it fits its button, and its crossing is inked.
    // The compact panel is closed: while it is open the map controls lie dimmed under its scrim.
    std::vector<char const*> lit_argv = c.preset;
    lit_argv.insert(lit_argv.end(), {"--nav-closed", "--scale", "2"});
    ShotFrame const lit = shot_of(lit_argv);
    zarn_ui::TextCmd const* plus = nullptr;
    for (auto const* t : probe::text_cmds(lit.scene)) {
      if (t->text == "+" &&
          (!plus || (t->transform * zarn_ui::Point{}).x > (plus->transform * zarn_ui::Point{}).x)) {
        plus = t;
      }
    }
    ASSERT_NE(plus, nullptr);
    zarn_ui::TextRenderer const text;
    float const advance = text.measure_weighted("+", plus->size, plus->weight);
    if (plus->max_width) {
      EXPECT_LE(advance, *plus->max_width) << "the glyph would be cut to an ellipsis";
    }
    double const s = lit.frame.scale;
    zarn_ui::Point const o = plus->transform * zarn_ui::Point{};
    auto const cx = static_cast<int>((o.x + advance / 2) * s);
    auto const cy = static_cast<int>((o.y + plus->size * 0.625) * s);
    auto const px = pixels_of(lit);
    auto const ink = plus->color.to_rgba8();
    int best = 1 << 30;
    for (int y = cy - 3; y <= cy + 3; ++y) {
      for (int x = cx - 3; x <= cx + 3; ++x) {
        auto const* p =
            &px[(static_cast<std::size_t>(y) * lit.width + static_cast<std::size_t>(x)) * 4];
        best = std::min(best,
                        std::abs(p[0] - ink.r) + std::abs(p[1] - ink.g) + std::abs(p[2] - ink.b));
      }
    }
    EXPECT_LT(best, 40) << "no pixel of the glyph's colour at its centre (" << cx << ", " << cy
                        << ")";
  }
}

} // namespace
} // namespace maps
