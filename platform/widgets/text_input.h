#pragma once
// TextInput: one line of editable text as desktop toolkits edit it: a caret and a selection
// moved by keys, clicks and drags, words, the desktop clipboard and primary selection, input
// method composition, a length cap, a blinking caret, and a dirty flag that tells whether the
// user edited the text since the owner last asked. The text is laid out once per change; the
// input draws itself clipped to the rectangle its owner gives it (the owner paints the frame).

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/clock.h"
#include "platform/scene/geometry.h"
#include "platform/text/line_layout.h"
#include "platform/text/text_renderer.h"
#include "platform/widget/event.h"
#include "platform/widget/widget.h"

namespace zarn_ui {
class Scene;
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
  /// Code points a field holds unless its owner says otherwise: what the accessibility bus
  /// accepts as a field's text (access::MAX_TEXT_FIELD_CHARS), so no path sets a longer one.
  static constexpr std::size_t DEFAULT_MAX_LENGTH = 1000;
  /// The caret's blink cycle and the part of it the caret shows (GTK's defaults).
  static constexpr std::chrono::milliseconds BLINK_CYCLE{1200};
  static constexpr std::chrono::milliseconds BLINK_SHOWN{800};

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

  /// The most code points the field holds: typed, pasted or set text is cut there.
  TextInput with_max_length(std::size_t length) && {
    set_max_length(length);
    return std::move(*this);
  }
  /// Cuts a longer text at once (not an edit: the dirty flag stays).
  void set_max_length(std::size_t length);
  std::size_t max_length() const { return max_length_; }

  /// The caret blinks, timed by `clock`, while the input has the focus and the theme allows
  /// motion; the owner then wakes for caret_deadline(). Without it the caret stays shown.
  TextInput with_caret_blink(base::Clock const& clock) && {
    blink_clock_ = &clock;
    return std::move(*this);
  }

  /// Replaces the text from outside (not an edit: the dirty flag stays); the caret goes to the
  /// end, the selection and any composition are dropped, and the text is cut at the maximum
  /// length. Malformed UTF-8 and NUL bytes are stored as U+FFFD, so editing never splits a
  /// sequence. Owners call it only when their text changed, or the caret jumps to the end.
  void set_text(std::string_view text);
  std::string const& text() const { return text_; }

  /// Focus changes end a drag and a composition; gaining it shows the caret at once.
  void set_focused(bool focused);
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
  /// Moves the caret to code point `index` (clamped to the end), dropping the selection.
  void set_caret_index(std::size_t index);

  /// Selects the whole text, caret at the end (what focusing a field from the keyboard does).
  void select_all();
  /// The selected byte range [first, second) of text(); empty when nothing is selected. The
  /// caret is at one end, the anchor of the selection at the other.
  std::pair<std::size_t, std::size_t> selection() const;
  bool has_selection() const { return anchor_ != caret_; }
  std::string_view selected_text() const;
  /// The text an input method is composing at the caret (not yet part of text()).
  std::string const& composition() const { return preedit_; }

  bool hovered() const { return hovered_; }

  /// Keys act only while focused. Typed text replaces the selection or goes in at the caret
  /// (control characters dropped, cut at the maximum length); text typed with Control or Super
  /// held is left to the caller as a shortcut, except Control with A (select all), C, X and V
  /// (copy, cut, paste through the desktop clipboard). Left/Right move by grapheme, with
  /// Control by word; Home/End to the ends; Shift with any of them extends the selection.
  /// Backspace and Delete remove the selection, else one code point before / one grapheme
  /// after the caret, with Control a word. Enter is reported as Submitted. A composition is
  /// shown at the caret until its text arrives typed.
  /// A primary press inside the rectangle focuses the input and puts the caret at the nearest
  /// boundary (Shift extends the selection), a double press selects a word, a triple press
  /// everything; moves with the primary button held extend the selection. A middle press pastes the
  /// primary selection there. A primary press outside removes the focus and is not taken. Moves
  /// update the hover state. `modifiers` are those of pointer events (keys carry their own).
  InputOutcome handle_event(Event const& event, double scale = 1.0, Modifiers modifiers = {});

  /// Draws the text (or the placeholder, in the secondary colour, when the text is empty) in
  /// the rectangle, vertically centred and clipped to it: the selection in the theme's
  /// selection colours, a composition underlined, and the caret while focused. A text wider
  /// than the field scrolls so that the caret stays visible; only its visible part is drawn.
  void draw(Scene& scene, Affine const& transform, TextRenderer const& text, Theme const& theme,
            PresenceCtx const& presence = PresenceCtx::empty()) const;

  /// The next instant the blinking caret changes while the input has the focus; none when it
  /// does not blink (no focus, reduced motion, or no blink clock).
  std::optional<base::Instant> caret_deadline(bool reduce_motion) const;

protected:
  void mark_dirty() { dirty_ = true; }
  std::string text_;

private:
  enum class DragUnit : std::uint8_t { None, Character, Word };

  InputOutcome on_key(Key const& key);
  InputOutcome on_press(PointerButton const& button, Point p, Modifiers modifiers);
  void drag_to(Point p);
  bool named_key(NamedKey named, Modifiers mods);
  bool shortcut(char letter);
  /// Replaces bytes [from, to) with the printable part of `typed`, cut to the free length;
  /// the caret goes after it. False when nothing changed.
  bool replace(std::size_t from, std::size_t to, std::string_view typed);
  bool erase_selection();
  void move_caret(std::size_t to, bool extend);
  void paste(std::string_view text);
  void claim_primary() const;
  void changed();
  void touched();
  LineLayout const& breaks() const;
  LineLayout const& layout_for(TextRenderer const& text, float size) const;
  std::size_t boundary_at(Point p) const;
  std::size_t shown_offset(std::size_t byte) const;
  double text_origin_x() const;
  bool caret_shown(bool reduce_motion) const;

  std::string placeholder_;
  std::optional<float> size_;
  Rect rect_;
  std::size_t caret_ = 0;
  std::size_t anchor_ = 0;
  std::size_t length_ = 0; // code points in text_
  std::size_t max_length_ = DEFAULT_MAX_LENGTH;
  std::string preedit_;
  std::size_t preedit_cursor_ = 0; // bytes into preedit_
  int kind_ = 0;
  bool focused_ = false;
  bool dirty_ = false;
  bool hovered_ = false;
  DragUnit drag_ = DragUnit::None;
  std::pair<std::size_t, std::size_t> drag_word_; // the word a double press selected (bytes)
  base::Clock const* blink_clock_ = nullptr;
  base::Instant blink_start_{};
  // The text as shown (text_ with the composition) laid out once per change: revision_ counts
  // changes; the layout is current when it carries the same revision and size. Positions need
  // the renderer of the last drawing, so presses before it map through boundaries alone.
  std::uint64_t revision_ = 0;
  mutable LineLayout layout_;
  mutable std::uint64_t layout_revision_ = ~std::uint64_t{0};
  mutable float layout_size_ = -1.0f; // pixels; negative for boundaries without positions
  mutable std::optional<TextRenderer> renderer_;
  mutable float drawn_size_ = 0.0f; // nominal size of the last drawing
  mutable double scroll_ = 0.0;
};

} // namespace zarn_ui::widget
