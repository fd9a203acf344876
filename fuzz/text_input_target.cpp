// The text field's editing: a sequence of keys, typed texts, pastes, clicks, moves, texts set
// by the owner and draws, applied to one TextInput. After every step its text is valid UTF-8
// within the field's limit and its caret lies on a code point boundary inside the text.
// Each step is one entry of STEPS: a new kind of edit is one more entry.

#include <cmath>
#include <optional>
#include <string>

#include <SDL.h>

#include "base/utf8.h"
#include "fuzz_input.h"
#include "platform/scene/scene.h"
#include "platform/text/text_renderer.h"
#include "platform/theme/theme.h"
#include "platform/widgets/clipboard.h"
#include "platform/widgets/text_input.h"
#include "targets.h"

namespace maps::fuzz {

namespace {

using zarn_ui::widget::TextInput;

struct Field {
  TextInput input = TextInput::local().with_kind(2).with_placeholder("Search");
  zarn_ui::TextRenderer const& text;
  zarn_ui::Theme const& theme;
  double scale = 1.0;
};

zarn_ui::Modifiers modifiers(std::uint8_t bits) {
  return {(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0, (bits & 8) != 0};
}

/// A position around the field: mostly inside it, sometimes beyond either end.
double along(std::uint8_t b, double from, double to) {
  return from - 20.0 + (to - from + 40.0) * b / 255.0;
}

void key(Field& f, FuzzInput& in) {
  auto const named = static_cast<zarn_ui::NamedKey>(in.byte() % 43);
  auto const mods = modifiers(in.byte());
  f.input.handle_event(zarn_ui::Key{true, named, mods}, f.scale);
}

void type(Field& f, FuzzInput& in) {
  auto const mods = modifiers(in.byte());
  f.input.handle_event(zarn_ui::Key{true, std::string(in.text()), mods}, f.scale);
}

// A paste puts a text of any size, up to the input's, on the clipboard and presses Ctrl+V; the
// field takes it through the clipboard as a user's paste does.
void paste(Field& f, FuzzInput& in) {
  zarn_ui::widget::set_clipboard_text(in.long_text());
  f.input.handle_event(zarn_ui::Key{true, std::string("v"), {false, true, false, false}}, f.scale);
}

void click(Field& f, FuzzInput& in) {
  auto const& r = f.input.rect();
  double const x = along(in.byte(), r.x0, r.x1) * f.scale;
  double const y = along(in.byte(), r.y0, r.y1) * f.scale;
  auto const b = in.byte();
  zarn_ui::PointerButton press{x, y, static_cast<std::uint32_t>(b % 3),
                               b & 4 ? zarn_ui::ButtonState::Released
                                     : zarn_ui::ButtonState::Pressed};
  f.input.handle_event(zarn_ui::PointerMoved{x, y}, f.scale);
  f.input.handle_event(press, f.scale);
}

void set_text(Field& f, FuzzInput& in) {
  f.input.set_text(in.long_text());
}

void set_caret(Field& f, FuzzInput& in) {
  f.input.set_caret_index(in.u16());
}

void focus(Field& f, FuzzInput& in) {
  f.input.set_focused(in.byte() % 2 == 0);
}

void resize(Field& f, FuzzInput& in) {
  double const width = in.u16() / 16.0;
  f.input.set_rect({10.0, 10.0, 10.0 + width, 10.0 + in.byte() / 4.0});
  f.scale = (in.byte() + 1) / 64.0;
}

void draw(Field& f, FuzzInput&) {
  zarn_ui::Scene scene;
  f.input.draw(scene, zarn_ui::Affine::identity(), f.text, f.theme);
}

using Step = void (*)(Field&, FuzzInput&);
constexpr Step STEPS[] = {key,      key,       key,   type,   paste, click,
                          set_text, set_caret, focus, resize, draw};

/// The field's length limit in code points.
std::optional<std::size_t> text_limit(TextInput const& input) {
  return input.max_length();
}

void check_field(TextInput const& input) {
  auto const& text = input.text();
  check(base::utf8::is_valid(text), "the field's text is not UTF-8");
  if (auto const limit = text_limit(input)) {
    check(base::utf8::length(text) <= *limit, "the field's text is over its limit");
  }
  auto const caret = input.caret();
  auto const [from, to] = input.selection();
  check(from <= to && to <= text.size(), "the selection is outside the text");
  check(caret <= text.size(), "the caret is past the end of the text");
  check(caret == text.size() || (static_cast<unsigned char>(text[caret]) & 0xC0) != 0x80,
        "the caret is inside a code point");
  check(input.caret_index() <= base::utf8::length(text), "the caret index is past the text");
}

} // namespace

bool text_input(Bytes data) {
  static zarn_ui::TextRenderer const renderer;
  static zarn_ui::Theme const theme = zarn_ui::Theme::light();
  // SDL's dummy video driver keeps a clipboard in the process, so pastes go through it.
  static bool const video = [] {
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "dummy");
    return SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
  }();
  (void)video;
  Field field{.text = renderer, .theme = theme};
  field.input.set_rect({10.0, 10.0, 310.0, 42.0});
  field.input.set_focused(true);
  FuzzInput in(data);
  while (!in.empty()) {
    STEPS[in.pick(std::size(STEPS))](field, in);
    check_field(field.input);
  }
  return !field.input.text().empty();
}

} // namespace maps::fuzz
