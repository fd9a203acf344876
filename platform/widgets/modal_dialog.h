#pragma once
// ModalDialog: a titled box over a dimmed window with a text body and up to two buttons. While
// open it takes every click and key; it never closes itself: its callbacks report to the owner,
// which clears `open`. The free functions below are its whole interface; the record's fields
// are public so the owner can set the preferred size, open it and read its geometry.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/access/access_node.h"
#include "platform/layout/layout.h"
#include "platform/scene/geometry.h"
#include "platform/theme/theme.h"
#include "platform/widget/event.h"
#include "platform/widget/widget.h"
#include "platform/widgets/text.h"

namespace zarn_ui::widget {

struct DialogButton {
  std::string label;
  std::function<void()> callback;
};

/// Heights of the title band and the button band, and the buttons' size and spacing.
inline constexpr double DIALOG_TITLE_BAND = 48.0;
inline constexpr double DIALOG_BUTTON_BAND = 56.0;
inline constexpr double DIALOG_BUTTON_WIDTH = 110.0;
inline constexpr double DIALOG_BUTTON_HEIGHT = 40.0;
inline constexpr double DIALOG_BUTTON_GAP = 8.0;
inline constexpr double DIALOG_BUTTON_RIGHT = 16.0;
inline constexpr double DIALOG_BUTTON_BOTTOM = 8.0;

struct ModalDialog {
  Text content;
  std::optional<layout::NodeId> content_node;
  layout::LayoutTree content_tree;
  std::string title;
  Theme theme = Theme::dark();
  std::optional<DialogButton> primary;
  std::optional<DialogButton> secondary;
  std::function<void()> on_dismiss; // empty: none
  Rect area;
  Size preferred_size{480.0, 320.0};
  Rect box_rect;
  Rect primary_rect;
  Rect secondary_rect;
  Point pointer; // last pointer position, logical pixels
  bool open = false;
  bool primary_emphasis = false;
  std::optional<bool> swap_buttons;
};

ModalDialog modal_dialog_new(std::string_view title, Text content);
ModalDialog modal_dialog_with_primary(ModalDialog dialog, std::string_view label,
                                      std::function<void()> callback);
ModalDialog modal_dialog_with_secondary(ModalDialog dialog, std::string_view label,
                                        std::function<void()> callback);
ModalDialog modal_dialog_with_dismiss(ModalDialog dialog, std::function<void()> callback);

/// Centres the box (the preferred size, no larger than the area) in `area` and places the
/// button slots in its bottom band. An area without a positive finite width and height
/// changes nothing.
void modal_dialog_layout_frame(ModalDialog& dialog);
/// Keeps the theme and the area, then lays out the frame and the content.
void modal_dialog_layout(ModalDialog& dialog, Rect const& area, Theme const& theme,
                         TextRenderer const& text);
/// Lays the content out between the title band and the button band, inside the margins.
void modal_dialog_layout_content(ModalDialog& dialog, Theme const& theme, TextRenderer const& text);

/// While open: pointer moves are recorded (not taken); every pointer button event is taken and
/// a primary press acts at its own position: on the primary button, else on the
/// secondary one, else outside the box it dismisses; every key is taken, Escape dismisses and
/// Enter runs the primary button. Other events are not taken. `consumed` is set when taken.
void modal_dialog_handle_event(ModalDialog& dialog, Event const& event, double scale,
                               bool& consumed);

/// Draws the scrim, the box, the title, the content and the buttons; nothing while closed.
void modal_dialog_draw(ModalDialog& dialog, Scene& scene, Affine const& transform,
                       TextRenderer const& text, Theme const& theme,
                       PresenceCtx const& presence = PresenceCtx::empty());

/// The dialog's accessibility subtree: a modal window node named after the title over the box,
/// with the buttons ("modal.primary", "modal.secondary") and then its body text as a label as
/// children while open; hidden while closed.
access::AccessNode modal_dialog_access_nodes(ModalDialog const& dialog);

/// Passes one event to an open dialog; whether it took it. A closed dialog takes nothing.
bool deliver_dialog_event(ModalDialog& dialog, Event const& event, double scale);

namespace modal_dialog {

/// A dialog button: the primary one filled with the accent colour and an on_accent label, the
/// other a quiet outlined one; `emphasis` adds a focus ring (the default action).
void draw_action_button(Scene& scene, Affine const& transform, TextRenderer const& text,
                        Theme const& theme, Rect const& rect, std::string_view label, bool primary,
                        bool emphasis);

} // namespace modal_dialog

} // namespace zarn_ui::widget
