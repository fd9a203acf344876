#pragma once
// The desktop's clipboard and primary selection as text fields use them, through SDL: the
// window's clipboard where the video driver has one, an in-process copy where it has none (as
// with SDL's dummy driver). Without SDL's video subsystem both read as empty.

#include <string>
#include <string_view>

namespace zarn_ui::widget {

std::string clipboard_text();
void set_clipboard_text(std::string_view text);

/// The primary selection (the text last selected, pasted with the middle button).
std::string primary_selection_text();
void set_primary_selection_text(std::string_view text);

} // namespace zarn_ui::widget
