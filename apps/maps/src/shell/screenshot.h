#pragma once
// Screenshot mode: one frame of a demo state rendered offscreen and published as a PNG file.
// Theme and reduced motion come from ZARN_SHOTS_THEME and ZARN_SHOTS_REDUCE_MOTION.

#include <optional>
#include <string>
#include <string_view>

#include "platform/launch/launch.h"
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
void apply_floating_navigation_phase(MapsApp& app, std::string_view phase);

zarn_ui::launch::LaunchResult render_screenshot(zarn_ui::launch::LaunchArgs const& args);

}  // namespace maps
