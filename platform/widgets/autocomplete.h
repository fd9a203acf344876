#pragma once
// Autocomplete: a text field with a list of suggestions that opens below it. The field is a
// TextInput; the list is drawn as an overlay (draw_overlay, after everything the field may lie
// under) and is chosen from with the pointer or with Up/Down and Enter. The owner decides what
// the suggestions are; the widget only shows them and reports the choice.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/scene/geometry.h"
#include "platform/widget/event.h"
#include "platform/widget/widget.h"
#include "platform/widgets/text_input.h"

namespace zarn_ui::widget {

struct Suggestion {
  std::string label;
  std::string value;
  std::optional<std::string> detail;
  std::optional<int> kind;
  bool operator==(Suggestion const&) const = default;
};

/// label = value = text, no detail, kind unset.
inline Suggestion suggestion_new(std::string text) {
  Suggestion s;
  s.label = text;
  s.value = std::move(text);
  return s;
}
inline Suggestion suggestion_with_detail(Suggestion s, std::string detail) {
  s.detail = std::move(detail);
  return s;
}

/// What the autocomplete did with one event.
enum class AutocompleteOutcome : std::uint8_t {
  Ignored,   // not taken: the caller may pass the event on
  Consumed,  // taken, nothing to report (caret moved, highlight moved, editing started)
  Edited,    // the text changed by typing
  Chosen,    // a suggestion was chosen: take_chosen() gives it, once
  Submitted, // Enter without a highlighted suggestion
  Dismissed, // Escape closed the open list
};

class Autocomplete {
public:
  /// Rows shown at most; more suggestions are kept but not shown.
  static constexpr std::size_t MAX_VISIBLE = 6;
  /// Row height at text scale 1; rows grow with the text scale of the last drawing.
  static constexpr double ROW_HEIGHT = 40.0;
  /// Gap between the field and the list, and the list's inner padding.
  static constexpr double LIST_GAP = 4.0;
  static constexpr double LIST_PADDING = 4.0;

  Autocomplete() = default;
  Autocomplete with_id(std::string_view id) && {
    id_ = id;
    return std::move(*this);
  }
  Autocomplete with_placeholder(std::string_view text) && {
    input_.set_placeholder(text);
    return std::move(*this);
  }
  Autocomplete with_size(float size) && {
    size_ = size;
    input_ = std::move(input_).with_kind(input_.kind(), size);
    return std::move(*this);
  }

  std::string const& id() const { return id_; }
  std::string const& placeholder() const { return input_.placeholder(); }
  float size() const { return size_; }

  /// Gives the field the keyboard focus, caret at the end.
  void begin_edit();
  bool editing() const { return input_.focused(); }
  /// Replaces the text (not an edit: no Edited outcome follows); the caret goes to the end.
  void set_text(std::string_view text) { input_.set_text(text); }
  std::string const& text() const { return input_.text(); }

  /// Replaces the suggestions; the highlight is dropped. The list's open state is unchanged.
  void set_suggestions(std::vector<Suggestion> suggestions);
  /// Replaces the suggestions and shows the list open.
  void set_suggestions_open(std::vector<Suggestion> suggestions);
  std::vector<Suggestion> const& suggestions() const { return suggestions_; }
  bool is_open() const { return open_; }
  /// The highlighted row (keyboard or hover), if any.
  std::optional<std::size_t> highlighted() const { return highlighted_; }

  /// Closes the list and ends editing.
  void close();

  /// The field's rectangle (logical pixels), set by the owner before drawing.
  void set_rect(Rect rect);
  Rect const& rect() const { return rect_; }
  /// The open list's rectangle below the field; none while closed or empty.
  std::optional<Rect> overlay_rect() const;

  /// Pointer: a press on a row of the open list chooses it; a press in the field starts
  /// editing; a press elsewhere closes the list and is not taken. Keys (while editing): Down
  /// opens the list and moves the highlight down, Up moves it up (above the first row: none),
  /// Enter chooses the highlighted row or reports Submitted, Escape closes an open list
  /// (Dismissed; with the list closed it is not taken); anything else edits the text.
  AutocompleteOutcome handle_event(Event const& event, double scale = 1.0);

  /// The suggestion chosen by the last Chosen outcome; reported once.
  std::optional<Suggestion> take_chosen() { return std::exchange(chosen_, std::nullopt); }
  /// Whether the user edited the text since the last call.
  bool take_dirty() { return std::exchange(edited_, false); }

  /// The field: its frame (focus outline while editing) and its text.
  void draw(Scene& scene, Affine const& transform, TextRenderer const& text, Theme const& theme,
            PresenceCtx const& presence = PresenceCtx::empty()) const;
  /// The open list, to be drawn after everything it must cover.
  void draw_overlay(Scene& scene, Affine const& transform, TextRenderer const& text,
                    Theme const& theme, PresenceCtx const& presence = PresenceCtx::empty()) const;

private:
  Rect input_rect() const;
  double row_height() const;
  std::optional<std::size_t> row_at(Point p) const;
  void choose(std::size_t index);

  std::string id_;
  TextInput input_;
  Rect rect_;
  std::vector<Suggestion> suggestions_;
  std::optional<std::size_t> highlighted_;
  std::optional<Suggestion> chosen_;
  float size_ = 14.0f;
  bool open_ = false;
  bool edited_ = false;
  mutable float text_scale_ = 1.0f;
};

} // namespace zarn_ui::widget
