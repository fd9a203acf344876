#pragma once
// Starts from launch arguments: the empty or the demo application on the sample data, brought
// into the demo states the switches select. Such starts run without network, location or tile
// worker.

#include "app/maps_app.h"
#include "platform/launch/launch_args.h"

namespace maps {

MapsApp app_from_launch_args(zarn_ui::launch::LaunchArgs const& args);
MapsApp empty_state_app();
MapsApp demo_state_app();
void set_transit_panel(MapsApp& app, bool transit);

}  // namespace maps
