#pragma once
// The route endpoint editor's events applied to the application: presses, keys, picks and texts
// set from outside go through the editor and what they mean reaches the model in order.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "endpoint_editor/endpoint_editor.h"

namespace maps {

class MapsApp;

/// Applies the editor's events in order.
void apply_endpoint_events(MapsApp& app, std::span<EndpointEvent const> events);

/// Starts editing `field` as a press on it does; ends the search box's editing.
void start_endpoint_edit(MapsApp& app, std::uint8_t field);

/// Picks row `index` of `field`'s suggestions; false when the list has no such row.
bool pick_endpoint_suggestion(MapsApp& app, std::uint8_t field, std::size_t index);

/// Replaces `field`'s text as if typed (an assistive tool sets it), editing the field first.
void set_endpoint_text(MapsApp& app, std::uint8_t field, std::string_view text);

/// A press at `p` on one of the editor's areas; ends the search box's editing when it hits one.
/// False when the press hits none of them.
bool press_endpoint_editor(MapsApp& app, zarn_ui::Point p, zarn_ui::Event const& event,
                           zarn_ui::Modifiers modifiers, double scale);

/// A key while a field is being edited.
void endpoint_editor_key(MapsApp& app, zarn_ui::Event const& event, zarn_ui::Key const& key,
                         zarn_ui::Modifiers modifiers, double scale);

} // namespace maps
