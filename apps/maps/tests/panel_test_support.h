#pragma once
// Drawing a frame or a panel of the application into a recorded Scene and looking at what was
// recorded: texts by content, fills by colour, targets by action. A frame can also be rendered
// to a PNG when MAPS_SHOT_DIR names a folder, for looking at it by eye.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "app/maps_app.h"
#include "platform/render/offscreen.h"
#include "platform/scene/scene.h"
#include "platform/text/text_renderer.h"
#include "platform/theme/theme.h"
#include "platform/widget/widget.h"
#include "scene_probe.h"

namespace maps::test {

struct Frame {
  zarn_ui::TextRenderer text;
  zarn_ui::Theme theme = zarn_ui::Theme::light();
  zarn_ui::Scene scene;

  void draw(MapsApp& app) {
    scene.reset();
    auto const presence = zarn_ui::PresenceCtx::empty();
    auto const permissions = zarn_ui::PermissionContext::permissive();
    zarn_ui::widget::DrawCtx const ctx{text, theme, presence, permissions};
    app.draw(scene, zarn_ui::Affine::identity(), ctx);
  }

  /// The recorded texts, in painting order.
  std::vector<zarn_ui::TextCmd const*> texts() const { return probe::text_cmds(scene); }
  /// The first text run equal to `s`.
  zarn_ui::TextCmd const* find_text(std::string_view s) const {
    return probe::find_text_cmd(scene, s);
  }
  bool has_text(std::string_view s) const { return find_text(s) != nullptr; }
  bool has_text_starting(std::string_view prefix) const {
    return probe::find_text_cmd(scene, prefix, true) != nullptr;
  }

  /// Writes the frame as "<MAPS_SHOT_DIR>/<name>.png" when that variable is set.
  void maybe_shoot(std::string_view name, std::uint32_t w, std::uint32_t h) const {
    char const* dir = std::getenv("MAPS_SHOT_DIR");
    if (dir == nullptr) {
      return;
    }
    zarn_ui::OffscreenRenderer const renderer(w, h);
    auto const rgba = renderer.render_resilient(scene, theme.surface);
    auto const png = zarn_ui::OffscreenRenderer::encode_png(w, h, rgba);
    ASSERT_TRUE(png.has_value());
    std::ofstream out(std::filesystem::path(dir) / (std::string(name) + ".png"), std::ios::binary);
    out.write(reinterpret_cast<char const*>(png->data()),
              static_cast<std::streamsize>(png->size()));
  }
};

/// The targets whose action holds alternative T.
template <class T> std::vector<HitTarget> targets_of(MapsApp const& app) {
  std::vector<HitTarget> out;
  for (auto const& target : app.hit_targets) {
    if (target.action.is<T>()) {
      out.push_back(target);
    }
  }
  return out;
}

inline void set_window(MapsApp& app, double w, double h) {
  app.window_rect_ = {0, 0, w, h};
}

} // namespace maps::test
