#include "shell/screenshot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <fmt/format.h>

#include "app/maps_app.h"
#include "app/nav_card.h"
#include "base/utf8.h"
#include "draw/nav_card_draw.h"
#include "platform/launch/state.h"
#include "platform/layout/layout.h"
#include "platform/render/atomic_file.h"
#include "platform/render/frame_scale.h"
#include "platform/render/offscreen.h"
#include "platform/scene/scene.h"
#include "platform/text/text_renderer.h"
#include "shell/presets.h"

namespace maps {

namespace {

std::optional<std::string> env_text(char const* name) {
  char const* value = std::getenv(name);
  if (!value || !base::utf8::is_valid(value)) {
    return std::nullopt;
  }
  return std::string(value);
}

/// Where the detached card is shown on the desktop in the pictures: its 360 x 156 size at the
/// top right of a 1280 x 800 window.
constexpr zarn_ui::Rect DESKTOP_CARD_RECT{820.0, 120.0, 1180.0, 276.0};
/// A drag of the detached card from its header back over the window.
constexpr zarn_ui::Point RETURN_DRAG_FROM{1000.0, 136.0};
constexpr zarn_ui::Point RETURN_DRAG_TO{720.0, 360.0};

} // namespace

zarn_ui::Theme shot_theme(std::optional<std::string> const& value) {
  return zarn_ui::theme_named(value.value_or(""));
}

bool shot_reduce_motion(std::optional<std::string> const& value) {
  return value == "1" || value == "true" || value == "yes";
}

std::optional<std::string> shot_phase(zarn_ui::launch::LaunchArgs const& args) {
  static constexpr std::pair<char const*, char const*> phases[] = {
      {"--floating-navigation", "detached"},
      {"--floating-navigation-attached", "attached"},
      {"--floating-navigation-hover", "hover"},
      {"--floating-navigation-returning", "returning"},
      {"--floating-navigation-returned", "returned"},
  };
  for (auto const& [name, phase] : phases) {
    if (args.has(name)) {
      return phase;
    }
  }
  return std::nullopt;
}

namespace {

/// The pictured desktop place and drag of the card, drawn at `scale`: the same picture as at
/// scale 1, with the desktop card moved inside a window too small to show it where it is.
struct PicturedDrag {
  zarn_ui::Rect desktop;
  zarn_ui::Point from;
  zarn_ui::Point to;
};

PicturedDrag pictured_drag(zarn_ui::Rect const& window, double scale) {
  double const k = 1.0 / scale;
  zarn_ui::Rect desktop{DESKTOP_CARD_RECT.x0 * k, DESKTOP_CARD_RECT.y0 * k,
                        DESKTOP_CARD_RECT.x0 * k + DESKTOP_CARD_RECT.width(),
                        DESKTOP_CARD_RECT.y0 * k + DESKTOP_CARD_RECT.height()};
  double const dx = std::max(std::min(0.0, window.x1 - desktop.x1), window.x0 - desktop.x0);
  double const dy = std::max(std::min(0.0, window.y1 - desktop.y1), window.y0 - desktop.y0);
  zarn_ui::Vec2 const shift{dx, dy};
  desktop = desktop.translate(shift);
  zarn_ui::Vec2 const grab = RETURN_DRAG_FROM - DESKTOP_CARD_RECT.origin();
  return {desktop, desktop.origin() + grab,
          zarn_ui::Point{RETURN_DRAG_TO.x * k, RETURN_DRAG_TO.y * k}};
}

} // namespace

void apply_floating_navigation_phase(MapsApp& app, std::string_view phase, double scale) {
  using zarn_ui::surface::PlacementState;
  if (phase == "attached") {
    app.nav_placement.pin_handoff_for_visual_review(1000);
    return;
  }
  zarn_ui::Rect const window = app.window_rect();
  PicturedDrag const pictured =
      pictured_drag(window, std::isfinite(scale) && scale > 0.0 ? scale : 1.0);
  app.nav_placement.detach_to_desktop(pictured.desktop);
  app.nav_flags[1] = true;
  if (app.nav_placement.state() != PlacementState::InWindow) {
    app.nav_flags[0] = true;
  }
  if (phase == "hover") {
    app.nav_card_hover = true;
  }
  bool const returning = phase == "returning" || phase == "returned";
  if (returning) {
    app.nav_placement.begin_drag(pictured.from, window, navigation_card_rect(app));
    (void)app.nav_placement.update_drag(pictured.to, window, navigation_card_rect(app));
  }
  if (phase == "returned") {
    if (auto const spec = nav_surface_spec(app)) {
      zarn_ui::floating_surface::PlacementEvent event;
      event.kind = zarn_ui::floating_surface::PlacementEventKind::AdoptedByApp;
      event.surface_id = spec->surface_id;
      app.apply_placement_event(event);
    }
  }
  app.nav_placement.pin_handoff_for_visual_review(returning ? 500 : 1000);
}

tl::expected<ShotFrame, zarn_ui::launch::LaunchError>
compose_shot(zarn_ui::launch::LaunchArgs const& args) {
  using zarn_ui::launch::LaunchError;
  MapsApp app = app_from_launch_args(args);
  auto const [width, height] =
      args.size.value_or(std::pair<std::uint32_t, std::uint32_t>{1280, 800});
  // The image keeps its size; the scale enlarges the whole frame in it (geometry, hit targets
  // and text together), laid out at the logical size. Enlarging text alone makes labels overflow
  // their rows and buttons.
  ShotFrame shot;
  shot.width = width;
  shot.height = height;
  shot.frame = zarn_ui::frame_scale(width, height, 1.0, args.scale.value_or(1.0f));
  std::optional<std::string> const phase = shot_phase(args);

  zarn_ui::Theme theme = shot_theme(env_text("ZARN_SHOTS_THEME"));
  theme = theme.with_reduce_motion(shot_reduce_motion(env_text("ZARN_SHOTS_REDUCE_MOTION")));

  auto const presence = zarn_ui::PresenceCtx::empty();
  auto const permissions = zarn_ui::PermissionContext::permissive();
  zarn_ui::TextRenderer text;
  text.set_text_scale(theme.text_scale);
  zarn_ui::layout::LayoutTree tree;
  zarn_ui::widget::NodeWidgetMap node_map;
  auto state = zarn_ui::State::in_memory();

  app.set_reduce_motion(theme.reduce_motion);
  app.tick(*state);
  zarn_ui::layout::NodeId const app_node = app.build_layout(tree, theme, node_map);
  auto const w = static_cast<float>(shot.frame.logical.width);
  auto const h = static_cast<float>(shot.frame.logical.height);
  auto root = tree.new_with_children(zarn_ui::layout::Style::fixed(w, h), {app_node});
  if (!root) {
    return tl::unexpected(LaunchError::layout(root.error()));
  }
  if (auto laid = tree.compute_layout(*root, zarn_ui::Size{w, h}); !laid) {
    return tl::unexpected(LaunchError::layout(laid.error()));
  }
  app.apply_layout(tree, zarn_ui::Point{0.0, 0.0}, app_node);
  if (phase) {
    apply_floating_navigation_phase(app, *phase, shot.frame.scale);
  }

  zarn_ui::widget::DrawCtx const ctx{text, theme, presence, permissions};
  app.draw_root(shot.scene, zarn_ui::Affine::identity(), ctx);
  app.draw_nav_card(shot.scene, zarn_ui::Affine::identity(), ctx);
  return shot;
}

zarn_ui::launch::LaunchResult render_screenshot(zarn_ui::launch::LaunchArgs const& args) {
  using zarn_ui::launch::LaunchError;
  if (!args.screenshot) {
    return tl::unexpected(LaunchError::missing_screenshot_path());
  }
  auto shot = compose_shot(args);
  if (!shot) {
    return tl::unexpected(std::move(shot.error()));
  }

  std::filesystem::path const& out = *args.screenshot;
  if (out.has_parent_path()) {
    std::error_code ignored;
    std::filesystem::create_directories(out.parent_path(), ignored);
  }
  zarn_ui::OffscreenRenderer const renderer(shot->width, shot->height);
  auto const pixels =
      renderer.render_resilient(shot->scene, zarn_ui::colors::TRANSPARENT, shot->frame.scale);
  auto png = zarn_ui::OffscreenRenderer::encode_png(renderer.width(), renderer.height(), pixels);
  if (!png) {
    return tl::unexpected(LaunchError::failed(fmt::format("encode png: {}", png.error())));
  }
  if (auto written = zarn_ui::atomic_file::write_creating_parent(out, *png); !written) {
    return tl::unexpected(
        LaunchError::failed(fmt::format("atomically publish png: {}", written.error())));
  }
  std::printf("maps: wrote shot to %s\n", base::utf8::lossy(out.string()).c_str());
  std::fflush(stdout);
  return {};
}

} // namespace maps
