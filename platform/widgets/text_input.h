#pragma once
// TextInput: one line of editable text with a placeholder, keyboard focus, a caret and a dirty
// flag that tells whether the text was edited since the owner last asked. It edits by code
// point (no grapheme clusters, no selection, no clipboard), holds at most
// access::MAX_TEXT_FIELD_CHARS code points, and draws itself clipped to the rectangle its owner
// gives it; the owner paints the field's frame.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/scene/geometry.h"
#include "platform/widget/event.h"
#include "platform/widget/widget.h"

namespace zarn_ui {
class Scene;
class TextRenderer;
struct Theme;
} // namespace zarn_ui

namespace zarn_ui::widget {

/// What an input did with one event.
enum class InputOutcome : std::uint8_t {
  Ignored,   // not for this input: the caller may pass the event on
  Consumed,  // taken (text edited, caret moved, focus taken)
  Submitted, // Enter was pressed while focused
};

/// Events carry physical pixels; a scale factor that is not a positive finite number counts
/// as 1 so that a bad value cannot turn positions into infinities.
double sanitize_scale(double scale);

class TextInput {
public:
  /// Padding between the rectangle's left edge and the text.
  static constexpr double PADDING = 4.0;

  /// An input owned by the application (not bound to a document text).
  static TextInput local() { return TextInput{}; }
  /// The platform's input kind (2: a search field) and its font size.
  TextInput with_kind(int kind, std::optional<float> size = std::nullopt) && {
    kind_ = kind;
    size_ = size;
    return std::move(*this);
  }

  TextInput with_placeholder(std::string_view text) && {
    placeholder_ = text;
    return std::move(*this);
  }
  void set_placeholder(std::string_view text) { placeholder_ = text; }
  std::string const& placeholder() const { return placeholder_; }

  /// Replaces the text without marking it edited; the caret goes to the end. Malformed UTF-8
  /// is stored with U+FFFD in place of the bad bytes, so editing never splits a sequence.
  void set_text(std::string_view text);
  std::string const& text() const { return text_; }

  void set_focused(bool focused) { focused_ = focused; }
  bool focused() const { return focused_; }

  /// Whether the user edited the text since the last call.
  bool take_dirty() { return std::exchange(dirty_, false); }

  int kind() const { return kind_; }
  std::optional<float> size() const { return size_; }
  /// The font size drawn: the input's own size, else `fallback`.
  float font_size(float fallback) const { return size_.value_or(fallback); }

  /// Where the input lies (logical pixels); presses inside it focus it.
  void set_rect(Rect rect) { rect_ = rect; }
  Rect const& rect() const { return rect_; }

  /// Caret position as a byte offset into text() (always on a code point boundary).
  std::size_t caret() const { return caret_; }
  /// Caret position in code points.
  std::size_t caret_index() const;
  /// Moves the caret to code point `index` (clamped to the end).
  void set_caret_index(std::size_t index);

  bool hovered() const { return hovered_; }

  /// Edits, moves the caret or takes the focus. Keys act only while focused: typed text is
  /// inserted at the caret (control characters are dropped; text typed with Control or Super
  /// held is left to the caller as a shortcut), Backspace and Delete remove one code point,
  /// Left/Right/Home/End move the caret, Enter is reported as Submitted. A primary press
  /// inside the rectangle focuses the input and puts the caret at the nearest boundary; a
  /// press outside removes the focus and is not taken. Moves update the hover state only.
  InputOutcome handle_event(Event const& event, double scale = 1.0);

  /// Draws the text (or the placeholder, in the secondary colour, when the text is empty) in
  /// the rectangle, vertically centred and clipped to it, and the caret while focused. A text
  /// wider than the field scrolls so that the caret stays visible.
  void draw(Scene& scene, Affine const& transform, TextRenderer const& text, Theme const& theme,
            PresenceCtx const& presence = PresenceCtx::empty()) const;

protected:
  void mark_dirty() { dirty_ = true; }
  std::string text_;

private:
  void insert(std::string_view typed);
  bool erase_before();
  bool erase_after();
  double text_origin_x() const;

  std::string placeholder_;
  std::optional<float> size_;
  Rect rect_;
  std::size_t caret_ = 0;
  int kind_ = 0;
  bool focused_ = false;
  bool dirty_ = false;
  bool hovered_ = false;
  // Laid out by the last draw: x of every caret stop relative to the text's start, and the
  // horizontal scroll. Presses map to caret positions through them.
  mutable std::vector<double> stops_;
  mutable std::string stops_text_;
  mutable float stops_size_ = -1.0f;
  mutable double scroll_ = 0.0;
};

} // namespace zarn_ui::widget
