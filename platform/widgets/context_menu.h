#pragma once
// ContextMenu: a small pop-up list of items opened at a point. open_at lays the menu out at
// once (its rectangle is known before the first drawing, so an owner can move it, for example
// above and left of the button that opened it); the chosen item is reported by index.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/scene/geometry.h"
#include "platform/widget/event.h"
#include "platform/widget/widget.h"

namespace zarn_ui::widget {

struct ContextMenuItem {
  std::string label;
  std::function<void()> callback; // may be empty
  bool enabled = true;
};

/// An item with the label and a callback that does nothing.
ContextMenuItem context_menu_item(std::string_view label);

class ContextMenu {
public:
  static constexpr double ITEM_HEIGHT = 32.0;
  static constexpr double PADDING = 6.0; // above the first and below the last item
  static constexpr double MIN_WIDTH = 180.0;
  static constexpr double MAX_WIDTH = 360.0;
  static constexpr float LABEL_SIZE = 13.0f;

  void push(ContextMenuItem item) { items_.push_back(std::move(item)); }
  void push(std::string_view label, std::function<void()> callback = {}) {
    items_.push_back({std::string(label), std::move(callback), true});
  }
  std::vector<ContextMenuItem> const& items() const { return items_; }

  /// Opens the menu with its top-left corner at (x, y). The size follows from the items and the
  /// text scale of the last drawing (a label estimate, not the font), so the rectangle is known
  /// at once and stays the same when drawn; labels wider than the menu are cut with an
  /// ellipsis. Non-finite coordinates count as 0.
  void open_at(float x, float y);
  void close();
  bool is_open() const { return open_; }
  /// The rectangle taken by the last open_at (kept after closing).
  Rect const& rect() const { return rect_; }
  std::optional<std::size_t> hovered() const { return hovered_; }

  /// While open: a pointer move hovers the item under it; a primary press on an enabled item
  /// runs its callback, closes the menu and returns the item's index; a press anywhere else
  /// closes the menu. Up/Down move the highlight, Enter chooses it, Escape closes the menu.
  /// Returns the chosen index, also kept for take_chosen().
  std::optional<std::size_t> handle_event(Event const& event, double scale = 1.0);
  /// The rectangle of item `index` in the last open_at's layout.
  Rect item_rect(std::size_t index) const;
  /// The index chosen by the last handle_event, reported once.
  std::optional<std::size_t> take_chosen() { return std::exchange(chosen_, std::nullopt); }

  /// Draws the open menu; `bounds` (the window) clips it.
  void draw(Scene& scene, Affine const& transform, TextRenderer const& text, Theme const& theme,
            Rect const& bounds, PresenceCtx const& presence = PresenceCtx::empty()) const;

private:
  std::optional<std::size_t> item_at(Point p) const;
  std::optional<std::size_t> choose(std::size_t index);

  std::vector<ContextMenuItem> items_;
  Rect rect_;
  double item_height_ = ITEM_HEIGHT;
  mutable float text_scale_ = 1.0f; // of the last drawing; larger text makes larger items
  std::optional<std::size_t> hovered_;
  std::optional<std::size_t> chosen_;
  bool open_ = false;
};

} // namespace zarn_ui::widget
