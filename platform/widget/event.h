#pragma once
// Input events as the platform delivers them to a widget. Positions are in physical pixels; the
// scale factor travels beside the event. Named-key codes follow the usual key naming order
// (Enter 14, ArrowDown 17, ArrowLeft 18, ArrowRight 19, ArrowUp 20, Escape 42).

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>

namespace zarn_ui {

enum class NamedKey : std::uint16_t {
  Alt = 0,
  AltGraph = 1,
  CapsLock = 2,
  Control = 3,
  Fn = 4,
  FnLock = 5,
  NumLock = 6,
  ScrollLock = 7,
  Shift = 8,
  Symbol = 9,
  SymbolLock = 10,
  Meta = 11,
  Hyper = 12,
  Super = 13,
  Enter = 14,
  Tab = 15,
  Space = 16,
  ArrowDown = 17,
  ArrowLeft = 18,
  ArrowRight = 19,
  ArrowUp = 20,
  End = 21,
  Home = 22,
  PageDown = 23,
  PageUp = 24,
  Backspace = 25,
  Clear = 26,
  Copy = 27,
  CrSel = 28,
  Cut = 29,
  Delete = 30,
  EraseEof = 31,
  ExSel = 32,
  Insert = 33,
  Paste = 34,
  Redo = 35,
  Undo = 36,
  Accept = 37,
  Again = 38,
  Attn = 39,
  Cancel = 40,
  ContextMenu = 41,
  Escape = 42,
};

struct Modifiers {
  bool shift = false;
  bool control = false;
  bool alt = false;
  bool super = false;
  bool operator==(Modifiers const&) const = default;
};

struct PointerMoved {
  double x = 0.0;
  double y = 0.0;
  bool primary_held = false; // the primary button is down: the move drags
};

enum class ButtonState : std::uint8_t { Pressed, Released };

struct PointerButton {
  double x = 0.0; // position of the last move
  double y = 0.0;
  std::uint32_t button = 0; // 0 is the primary button, 1 the secondary, 2 the middle one
  ButtonState state = ButtonState::Pressed;
  std::uint8_t clicks = 1; // 2 for a double click, 3 for a triple click, as the desktop counts
};

struct LineDelta {
  float lines = 0.0f; // positive: away from the user (zoom in, scroll up)
};
struct PixelDelta {
  double pixels = 0.0;
};
struct Wheel {
  std::variant<LineDelta, PixelDelta> delta;
};

/// A key: a named key, or the character text the key produced (already laid out).
struct Key {
  bool pressed = true;
  std::variant<NamedKey, std::string> key;
  Modifiers modifiers;
};

/// Whether the key is the named key `named`.
inline bool is_named(Key const& key, NamedKey named) {
  auto const* k = std::get_if<NamedKey>(&key.key);
  return k != nullptr && *k == named;
}

/// Anything else the window reports (focus, resize, …): not consumed by widgets.
struct OtherEvent {};

/// Text an input method is composing (a dead key's accent, an IME's candidate) before it commits
/// it as a typed Key; an empty text ends the composition. Widgets that edit no text take it as
/// any other window event.
struct TextComposition : OtherEvent {
  std::string text;
  std::size_t cursor = 0; // in code points within `text`
};

using Event = std::variant<PointerMoved, PointerButton, Wheel, Key, OtherEvent, TextComposition>;

} // namespace zarn_ui
