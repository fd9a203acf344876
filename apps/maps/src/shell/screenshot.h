#pragma once
// Screenshot mode: one frame of a demo state rendered offscreen and published as a PNG file.
// Theme and reduced motion come from ZARN_SHOTS_THEME and ZARN_SHOTS_REDUCE_MOTION.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/launch/launch.h"
#include "platform/render/frame_scale.h"
#include "platform/scene/scene.h"
#include "platform/theme/theme.h"

namespace maps {

class MapsApp;

/// "light" → light, "high-contrast" → high contrast, anything else (or absent) → dark.
zarn_ui::Theme shot_theme(std::optional<std::string> const& value);
/// Exactly "1", "true" or "yes".
bool shot_reduce_motion(std::optional<std::string> const& value);
/// The hand-off phase chosen by the first present floating-navigation switch.
std::optional<std::string> shot_phase(zarn_ui::launch::LaunchArgs const& args);

/// Drives the navigation card's placement into one of the pictured hand-off phases: "attached",
/// "detached", "hover", "returning", "returned"; any other name detaches it like "detached".
/// The pictured places are those of a 1280 x 800 frame at scale 1, divided by `scale`.
void apply_floating_navigation_phase(MapsApp& app, std::string_view phase, double scale = 1.0);

/// One frame of a screenshot, drawn and not yet rasterised: the scene in logical pixels and how
/// it maps onto the width × height image.
struct ShotFrame {
  zarn_ui::Scene scene;
  zarn_ui::FrameScale frame;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
};

/// The screenshot's application built from `args`, laid out, put into its card phase and drawn
/// (the output path is not looked at).
tl::expected<ShotFrame, zarn_ui::launch::LaunchError>
compose_shot(zarn_ui::launch::LaunchArgs const& args);

/// compose_shot, rasterised and published atomically at the output path.
zarn_ui::launch::LaunchResult render_screenshot(zarn_ui::launch::LaunchArgs const& args);

} // namespace maps
