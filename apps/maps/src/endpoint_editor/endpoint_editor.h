#pragma once
// The route endpoint editor of the directions panel: the origin and destination inputs, their
// suggested places and pressable areas, what its events mean to the model, and its share of
// presses and keys, returned as events for the application to apply. Painting lives in
// draw/endpoint_editor_draw.h.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "base/clock.h"
#include "model/types.h"
#include "platform/scene/geometry.h"
#include "platform/widget/event.h"
#include "platform/widgets/text_input.h"

namespace maps {

/// Field numbers of the endpoint editor.
inline constexpr std::uint8_t ORIGIN_FIELD = 0;
inline constexpr std::uint8_t DEST_FIELD = 1;
inline constexpr std::uint8_t NO_FIELD = 2;

/// What a pressable area of the endpoint editor is.
enum class EndpointHitKind : std::uint8_t { Field, Suggestion, Swap, Inert };

struct EndpointHit {
  zarn_ui::Rect rect;
  EndpointHitKind kind = EndpointHitKind::Inert;
  std::uint8_t field = NO_FIELD;
  std::size_t index = 0; // suggestion row; only for Suggestion
  bool operator==(EndpointHit const&) const = default;
};

struct EndpointEditor {
  zarn_ui::widget::TextInput origin_input;
  zarn_ui::widget::TextInput dest_input;
  std::string origin_text; // last texts synchronised from the model's queries
  std::string dest_text;
  std::vector<Place> origin_suggestions;
  std::vector<Place> dest_suggestions;
  /// What the list under a field says while it has no rows: nothing while its search runs
  /// ("Searching…"), then the answer ("No matches", or the failure).
  std::optional<std::string> origin_answer;
  std::optional<std::string> dest_answer;
  /// Where the directions panel last painted the two inputs.
  std::optional<zarn_ui::Rect> origin_rect;
  std::optional<zarn_ui::Rect> dest_rect;
  /// The editor's pressable areas of the last drawing, in painting order; input handling
  /// searches them before the hit targets.
  std::vector<EndpointHit> hits;
  std::optional<std::size_t> highlighted;
  std::optional<base::Instant> debounce;
  std::uint8_t active = NO_FIELD;
};

EndpointEditor new_endpoint_editor();
void reset_endpoint_editor(EndpointEditor& editor);
void edit_endpoint(EndpointEditor& editor, std::uint8_t field);
/// Stores each given text that differs from the synchronised one; the active field's input
/// shows it too.
void sync_endpoint_texts(EndpointEditor& editor, std::string_view origin, std::string_view dest);
void set_endpoint_suggestions(EndpointEditor& editor, std::uint8_t field,
                              std::vector<Place> places);
/// The answer a field's search ended with; none while it runs.
void set_endpoint_answer(EndpointEditor& editor, std::uint8_t field,
                         std::optional<std::string> answer);

/// What an endpoint editor event means to the model.
struct EndpointEvent {
  struct Edited {
    std::string text;
    bool dest = false;
  };
  struct Query {
    std::string text;
    bool dest = false;
  };
  struct Picked {
    Place place;
    bool dest = false;
  };
  struct Swap {};
  struct Idle {};
  std::variant<Edited, Query, Picked, Swap, Idle> value;
};

/// Starts editing `field` (ORIGIN_FIELD or DEST_FIELD) as a press on it does, with the caret
/// at the start of the emptied text. The caller ends the search box's editing.
EndpointEvent start_endpoint_edit(EndpointEditor& editor, std::uint8_t field);

/// Picks row `index` of `field`'s suggestions as a press on it does; none when the list has no
/// such row.
std::optional<EndpointEvent> pick_endpoint_suggestion(EndpointEditor& editor, std::uint8_t field,
                                                      std::size_t index);

/// A press at `p` on one of the editor's areas (the last painted wins): a field starts editing
/// it, a suggestion row picks its place, the swap button swaps, anything else is idle. None
/// when the press hits none of the editor's areas; the caller then ends the search box's
/// editing and applies the events in order.
std::optional<std::vector<EndpointEvent>>
press_endpoint_editor(EndpointEditor& editor, zarn_ui::Point p, zarn_ui::Event const& event,
                      zarn_ui::Modifiers modifiers, double scale);

/// After `field`'s input changed: its text is synchronised and the debounce re-arms from `now`
/// (none for a blank text); the model hears the edit.
EndpointEvent endpoint_text_changed(EndpointEditor& editor, std::uint8_t field, base::Instant now);

/// Replaces `field`'s text as if typed (an assistive tool sets it), editing the field first.
std::vector<EndpointEvent> set_endpoint_text(EndpointEditor& editor, std::uint8_t field,
                                             std::string_view text, base::Instant now);

/// A key while a field is being edited: Escape ends editing; otherwise the field's input takes
/// it, a submission queries its trimmed text at once and a changed text re-arms the debounce.
std::vector<EndpointEvent> endpoint_editor_key(EndpointEditor& editor, zarn_ui::Event const& event,
                                               zarn_ui::Key const& key,
                                               zarn_ui::Modifiers modifiers, double scale,
                                               base::Instant now);

} // namespace maps
