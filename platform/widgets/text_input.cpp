#include "platform/widgets/text_input.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "base/utf8.h"
#include "platform/access/access_node.h"
#include "platform/widgets/clipboard.h"

namespace zarn_ui::widget {

static_assert(TextInput::DEFAULT_MAX_LENGTH == access::MAX_TEXT_FIELD_CHARS);

namespace {

constexpr char const* REPLACEMENT = "\xEF\xBF\xBD";

/// Start of the code point that ends at `pos` (pos > 0, text valid UTF-8).
std::size_t previous_boundary(std::string_view text, std::size_t pos) {
  std::size_t p = pos - 1;
  while (p > 0 && (static_cast<unsigned char>(text[p]) & 0xC0) == 0x80) {
    --p;
  }
  return p;
}

bool is_control(char32_t cp) {
  return cp < 0x20 || (cp >= 0x7F && cp < 0xA0);
}

/// The typed text without control characters (line breaks, tabs, DEL, C1 controls), which a
/// one-line field cannot show.
std::string printable_part(std::string_view typed) {
  std::string out;
  base::utf8::for_each_code_point(typed, [&](char32_t cp) {
    if (!is_control(cp)) {
      base::utf8::append(out, cp);
    }
  });
  return out;
}

/// Pasted text on one line: each line break (CR, LF or CR LF) and tab becomes a space, so the
/// words of a pasted address stay apart.
std::string one_line(std::string_view pasted) {
  std::string out;
  out.reserve(pasted.size());
  for (std::size_t i = 0; i < pasted.size(); ++i) {
    char const c = pasted[i];
    if (c == '\r' && i + 1 < pasted.size() && pasted[i + 1] == '\n') {
      continue;
    }
    out += (c == '\r' || c == '\n' || c == '\t') ? ' ' : c;
  }
  return out;
}

/// Valid UTF-8 without NUL bytes (both become U+FFFD), as the text renderer shows it.
std::string storable(std::string_view text) {
  std::string const valid =
      base::utf8::is_valid(text) ? std::string(text) : base::utf8::lossy(text);
  if (valid.find('\0') == std::string::npos) {
    return valid;
  }
  std::string out;
  for (char c : valid) {
    if (c == '\0') {
      out += REPLACEMENT;
    } else {
      out += c;
    }
  }
  return out;
}

/// `text` cut after `count` code points.
void cut_to(std::string& text, std::size_t count) {
  text.resize(base::utf8::offset_of(text, count));
}

} // namespace

double sanitize_scale(double scale) {
  return std::isfinite(scale) && scale > 0.0 ? scale : 1.0;
}

void TextInput::set_max_length(std::size_t length) {
  max_length_ = length;
  if (length_ > max_length_) {
    cut_to(text_, max_length_);
    length_ = max_length_;
    caret_ = std::min(caret_, text_.size());
    anchor_ = std::min(anchor_, text_.size());
    changed();
  }
}

void TextInput::set_text(std::string_view text) {
  std::string clean = storable(text);
  cut_to(clean, max_length_);
  // As GTK's entries do: the same text again changes nothing, so caret and selection stay.
  if (clean == text_ && preedit_.empty()) {
    return;
  }
  text_ = std::move(clean);
  length_ = base::utf8::length(text_);
  caret_ = anchor_ = text_.size();
  preedit_.clear();
  preedit_cursor_ = 0;
  drag_ = DragUnit::None;
  changed();
}

void TextInput::set_focused(bool focused) {
  if (focused == focused_) {
    return;
  }
  focused_ = focused;
  drag_ = DragUnit::None;
  if (!preedit_.empty()) {
    preedit_.clear();
    changed();
  }
  if (focused) {
    touched();
  }
}

std::size_t TextInput::caret_index() const {
  return base::utf8::length(std::string_view(text_).substr(0, caret_));
}

void TextInput::set_caret_index(std::size_t index) {
  caret_ = anchor_ = base::utf8::offset_of(text_, index);
}

void TextInput::select_all() {
  anchor_ = 0;
  caret_ = text_.size();
}

std::pair<std::size_t, std::size_t> TextInput::selection() const {
  return {std::min(anchor_, caret_), std::max(anchor_, caret_)};
}

std::string_view TextInput::selected_text() const {
  auto const [from, to] = selection();
  return std::string_view(text_).substr(from, to - from);
}

void TextInput::changed() {
  ++revision_;
}

void TextInput::touched() {
  if (blink_clock_ != nullptr) {
    blink_start_ = blink_clock_->now();
  }
}

bool TextInput::replace(std::size_t from, std::size_t to, std::string_view typed) {
  std::string clean = printable_part(typed);
  std::size_t const removed = base::utf8::length(std::string_view(text_).substr(from, to - from));
  std::size_t const kept = length_ - removed;
  std::size_t const room = max_length_ > kept ? max_length_ - kept : 0;
  cut_to(clean, room);
  if (clean.empty() && from == to) {
    return false;
  }
  text_.replace(from, to - from, clean);
  length_ = kept + base::utf8::length(clean);
  caret_ = anchor_ = from + clean.size();
  changed();
  mark_dirty();
  return true;
}

bool TextInput::erase_selection() {
  auto const [from, to] = selection();
  return replace(from, to, {});
}

void TextInput::move_caret(std::size_t to, bool extend) {
  caret_ = breaks().offset(to);
  if (!extend) {
    anchor_ = caret_;
  } else if (has_selection()) {
    claim_primary();
  }
}

void TextInput::paste(std::string_view text) {
  auto const [from, to] = selection();
  replace(from, to, one_line(text));
}

void TextInput::claim_primary() const {
  if (has_selection()) {
    set_primary_selection_text(selected_text());
  }
}

InputOutcome TextInput::handle_event(Event const& event, double scale, Modifiers modifiers) {
  double const s = sanitize_scale(scale);
  InputOutcome outcome = InputOutcome::Ignored;
  if (auto const* moved = std::get_if<PointerMoved>(&event)) {
    Point const p{moved->x / s, moved->y / s};
    hovered_ = rect_.contains(p);
    if (drag_ == DragUnit::None) {
      return InputOutcome::Ignored;
    }
    if (!moved->primary_held) {
      // The release went elsewhere (an owner may deliver presses and moves only).
      drag_ = DragUnit::None;
      claim_primary();
      return InputOutcome::Ignored;
    }
    drag_to(p);
    outcome = InputOutcome::Consumed;
  } else if (auto const* button = std::get_if<PointerButton>(&event)) {
    outcome = on_press(*button, Point{button->x / s, button->y / s}, modifiers);
  } else if (auto const* composing = std::get_if<TextComposition>(&event)) {
    if (!focused_) {
      return InputOutcome::Ignored;
    }
    preedit_ = printable_part(composing->text);
    preedit_cursor_ = base::utf8::offset_of(preedit_, composing->cursor);
    changed();
    outcome = InputOutcome::Consumed;
  } else if (auto const* key = std::get_if<Key>(&event)) {
    outcome = on_key(*key);
  }
  if (outcome != InputOutcome::Ignored) {
    touched();
  }
  return outcome;
}

InputOutcome TextInput::on_press(PointerButton const& button, Point p, Modifiers modifiers) {
  bool const inside = rect_.contains(p);
  if (button.state == ButtonState::Released) {
    if (button.button != 0 || drag_ == DragUnit::None) {
      return InputOutcome::Ignored;
    }
    drag_ = DragUnit::None;
    claim_primary();
    return InputOutcome::Consumed;
  }
  if (button.button == 0 && !inside) {
    set_focused(false);
    return InputOutcome::Ignored;
  }
  if (!inside || (button.button != 0 && button.button != 2)) {
    return InputOutcome::Ignored;
  }
  set_focused(true);
  if (!preedit_.empty()) {
    preedit_.clear(); // a press ends the composition where the input method left it
    changed();
  }
  LineLayout const& line = breaks();
  std::size_t const at = boundary_at(p);
  if (button.button == 2) {
    caret_ = anchor_ = line.offset(at);
    paste(primary_selection_text());
    return InputOutcome::Consumed;
  }
  if (button.clicks >= 3) {
    select_all();
    drag_ = DragUnit::None;
    claim_primary();
  } else if (button.clicks == 2) {
    auto const [start, end] = line.word_around(at);
    anchor_ = line.offset(start);
    caret_ = line.offset(end);
    drag_word_ = {anchor_, caret_};
    drag_ = DragUnit::Word;
    claim_primary();
  } else {
    caret_ = line.offset(at);
    if (!modifiers.shift) {
      anchor_ = caret_;
    }
    drag_ = DragUnit::Character;
  }
  return InputOutcome::Consumed;
}

void TextInput::drag_to(Point p) {
  LineLayout const& line = breaks();
  std::size_t const at = boundary_at(p);
  if (drag_ == DragUnit::Character) {
    caret_ = line.offset(at);
    return;
  }
  // By whole words, keeping the word of the double press selected.
  auto const [word_start, word_end] = drag_word_;
  auto const [start, end] = line.word_around(at);
  if (line.offset(at) < word_start) {
    anchor_ = word_end;
    caret_ = line.offset(start);
  } else {
    anchor_ = word_start;
    caret_ = std::max(line.offset(end), word_end);
  }
}

InputOutcome TextInput::on_key(Key const& key) {
  if (!focused_ || !key.pressed) {
    return InputOutcome::Ignored;
  }
  Modifiers const mods = key.modifiers;
  if (auto const* typed = std::get_if<std::string>(&key.key)) {
    if (mods.control || mods.super) {
      bool const letter = !mods.super && typed->size() == 1;
      return letter && shortcut(
                           static_cast<char>(std::tolower(static_cast<unsigned char>((*typed)[0]))))
                 ? InputOutcome::Consumed
                 : InputOutcome::Ignored;
    }
    // The committed text of a composition arrives typed; it replaces what was shown.
    if (!preedit_.empty()) {
      preedit_.clear();
      changed();
    }
    auto const [from, to] = selection();
    replace(from, to, *typed);
    return InputOutcome::Consumed;
  }
  NamedKey const named = std::get<NamedKey>(key.key);
  if (!preedit_.empty()) {
    // While composing, the input method owns the editing keys (Enter commits there, not here).
    return named == NamedKey::Escape || named == NamedKey::Tab ? InputOutcome::Ignored
                                                               : InputOutcome::Consumed;
  }
  if (named == NamedKey::Enter) {
    return InputOutcome::Submitted;
  }
  return named_key(named, mods) ? InputOutcome::Consumed : InputOutcome::Ignored;
}

bool TextInput::named_key(NamedKey named, Modifiers mods) {
  bool const word = mods.control;
  auto const [from, to] = selection();
  switch (named) {
  case NamedKey::Space:
    if (mods.control || mods.super) {
      return false;
    }
    replace(from, to, " ");
    return true;
  case NamedKey::Backspace:
    if (has_selection()) {
      erase_selection();
    } else if (word) {
      replace(breaks().offset(breaks().previous_word_start(breaks().index_at(caret_))), caret_, {});
    } else if (caret_ > 0) {
      replace(previous_boundary(text_, caret_), caret_, {});
    }
    return true;
  case NamedKey::Delete:
    if (mods.shift && !mods.control) {
      return shortcut('x');
    }
    if (has_selection()) {
      erase_selection();
    } else {
      LineLayout const& line = breaks();
      std::size_t const at = line.index_at(caret_);
      replace(caret_, line.offset(word ? line.next_word_end(at) : line.next_stop(at)), {});
    }
    return true;
  case NamedKey::Insert:
    if (mods.control != mods.shift) {
      return shortcut(mods.control ? 'c' : 'v');
    }
    return false;
  case NamedKey::Copy:
    return shortcut('c');
  case NamedKey::Cut:
    return shortcut('x');
  case NamedKey::Paste:
    return shortcut('v');
  case NamedKey::ArrowLeft:
  case NamedKey::ArrowRight: {
    bool const left = named == NamedKey::ArrowLeft;
    LineLayout const& line = breaks();
    if (has_selection() && !mods.shift && !word) {
      caret_ = anchor_ = left ? from : to; // a selection collapses to its side
      return true;
    }
    std::size_t const at = line.index_at(caret_);
    std::size_t const target = word ? (left ? line.previous_word_start(at) : line.next_word_end(at))
                                    : (left ? line.previous_stop(at) : line.next_stop(at));
    move_caret(target, mods.shift);
    return true;
  }
  case NamedKey::Home:
    move_caret(0, mods.shift);
    return true;
  case NamedKey::End:
    move_caret(breaks().size(), mods.shift);
    return true;
  default:
    return false;
  }
}

bool TextInput::shortcut(char letter) {
  switch (letter) {
  case 'a':
    select_all();
    claim_primary();
    return true;
  case 'c':
  case 'x':
    if (has_selection()) {
      set_clipboard_text(selected_text());
      if (letter == 'x') {
        erase_selection();
      }
    }
    return true;
  case 'v':
    paste(clipboard_text());
    return true;
  default:
    return false;
  }
}

} // namespace zarn_ui::widget
