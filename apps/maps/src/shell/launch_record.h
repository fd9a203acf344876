#pragma once
// The application's launch record and its callbacks: how the platform opens the user's document
// (reading it into the model's fields on the opening thread), builds the application for a
// plain start or from launch arguments, registers its actions, sizes its window and renders a
// screenshot.

#include "platform/launch/launch.h"

namespace maps {

inline constexpr char const* APP_ID = "test.zarn.maps";

/// The record handed to zarn_ui::launch::run_or_exit.
zarn_ui::launch::LaunchSpec maps_launch_spec();

tl::expected<zarn_ui::launch::AppBox, zarn_ui::launch::LaunchError>
build_app_from_args(zarn_ui::launch::LaunchArgs const& args);
void register_actions(zarn_ui::App& app);
/// "maps.locate" runs with effect 1 and, like "maps.toggle-traffic", takes no argument.
std::vector<zarn_ui::bus::ActionSignature> published_action_signatures();
std::pair<std::int32_t, std::int32_t> default_window_size();
/// The smallest window whose controls still lie side by side without covering each other.
std::pair<std::int32_t, std::int32_t> minimum_window_size();
void render_shot(zarn_ui::launch::LaunchResult& out, zarn_ui::launch::LaunchArgs const& args);

} // namespace maps
