#pragma once
// Starts from launch arguments: the empty or the demo application on the sample data, brought
// into the demo states the switches select. Such starts run without network, location or tile
// worker.

#include <string>
#include <vector>

#include "app/maps_app.h"
#include "platform/launch/launch_args.h"

namespace maps {

MapsApp app_from_launch_args(zarn_ui::launch::LaunchArgs const& args);
/// The same from switches as tests and benchmarks write them: "--name" or "--name=value".
MapsApp app_from_switches(std::vector<std::string> const& switches);
MapsApp empty_state_app();
MapsApp demo_state_app();
void set_transit_panel(MapsApp& app, bool transit);

// The demo states, each run when its switch is given.
void apply_edit_from_preset(MapsApp& app);
void apply_transit_arrive_preset(MapsApp& app);
void apply_search_preset(MapsApp& app);
void apply_pois_preset(MapsApp& app);
void apply_traffic_preset(MapsApp& app);
void apply_offline_preset(MapsApp& app);
void apply_menu_preset(MapsApp& app);
void apply_attribution_preset(MapsApp& app);
void apply_error_preset(MapsApp& app);

} // namespace maps
