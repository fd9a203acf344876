#pragma once
// The floating map controls (geometry and hit test) and how the application presents its
// pressable elements to the accessibility and automation layer: the control lists, the tree
// built from them, node rectangles and performing a control by id. Nothing is stored; every
// answer is rebuilt from the application's fields and the last frame's hit targets.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "offline_panel/panel_state.h"
#include "platform/access/access_node.h"
#include "platform/scene/geometry.h"
#include "platform/widget/widget.h"
#include "ui/ui_action.h"

namespace zarn_ui {
class State;
}

namespace maps {

class MapsApp;

/// The semantic control of map control `index` (0 to 3) with its rectangle; none otherwise.
std::optional<SemanticControl> map_control_spec(MapsApp const& app, std::uint8_t index);

/// The main view's controls: the four map controls, "End navigation" while a route is active
/// and the card's End button has an area, then one per hit target that exposes a control, then
/// the painted route endpoint fields ("maps.route.origin", "maps.route.destination", named by
/// their placeholders) and the rows under the one being edited ("maps.endpoint-result:<place
/// id>"). In the
/// compact layout with the navigation panel open, only "maps.navigation" and the controls whose
/// centre lies in the side panel stay.
std::vector<SemanticControl> map_control_specs(MapsApp const& app);

/// The attribution sheet's dialog subtree while the sheet is open; none otherwise.
std::optional<zarn_ui::access::AccessNode> attribution_sheet_tree(MapsApp const& app);

/// The controls the tree currently lists: the offline panel's while it is open, else the map's.
std::vector<SemanticControl> current_semantic_controls(MapsApp const& app);

/// The accessibility node of one control.
zarn_ui::access::AccessNode control_node(SemanticControl const& control);

/// The tree: the attribution sheet's subtree while it is open, else "Offline maps" with the
/// panel's controls while the offline panel is open, else "Maps" with the map's controls and,
/// while the overflow menu is open, the menu ("maps.menu") with its items ("maps.menu:<index>")
/// last. The node with the keyboard focus is marked: the highlighted menu item, else the endpoint
/// field being edited or its highlighted row, else the highlighted suggestion row, else the
/// search field while it is edited. Text fields carry their text and caret.
std::optional<zarn_ui::access::AccessNode> maps_accessibility_tree(MapsApp const& app);

/// The rectangle of the control at `path`; only a path of one index within the list is answered.
std::optional<zarn_ui::Rect> maps_semantic_node_rect(MapsApp const& app,
                                                     std::span<std::size_t const> path);

/// Performs the control with id `id` (a menu item runs as if chosen); true when something was
/// performed.
bool maps_perform_semantic_action(MapsApp& app, zarn_ui::State& state, std::string_view id,
                                  zarn_ui::widget::SemanticArgument const& argument);

} // namespace maps
