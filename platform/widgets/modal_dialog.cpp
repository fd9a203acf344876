#include "platform/widgets/modal_dialog.h"

#include <algorithm>
#include <cmath>

#include "platform/scene/scene.h"
#include "platform/text/text_renderer.h"
#include "platform/widgets/paint_detail.h"
#include "platform/widgets/text_input.h"

namespace zarn_ui::widget {

ModalDialog modal_dialog_new(std::string_view title, Text content) {
  ModalDialog dialog;
  dialog.title = std::string(title);
  dialog.content = std::move(content);
  return dialog;
}

ModalDialog modal_dialog_with_primary(ModalDialog dialog, std::string_view label,
                                      std::function<void()> callback) {
  dialog.primary = DialogButton{std::string(label), std::move(callback)};
  return dialog;
}

ModalDialog modal_dialog_with_secondary(ModalDialog dialog, std::string_view label,
                                        std::function<void()> callback) {
  dialog.secondary = DialogButton{std::string(label), std::move(callback)};
  return dialog;
}

ModalDialog modal_dialog_with_dismiss(ModalDialog dialog, std::function<void()> callback) {
  dialog.on_dismiss = std::move(callback);
  return dialog;
}

void modal_dialog_layout_frame(ModalDialog& dialog) {
  double const w = dialog.area.width();
  double const h = dialog.area.height();
  // Negated and finite tests: a NaN or infinite area would give a NaN box.
  if (!(w > 0.0 && h > 0.0 && std::isfinite(w) && std::isfinite(h))) {
    return;
  }
  // fmin ignores a NaN preferred size; a negative one gives an empty box.
  double const bw = std::max(std::fmin(dialog.preferred_size.width, w), 0.0);
  double const bh = std::max(std::fmin(dialog.preferred_size.height, h), 0.0);
  double const x0 = dialog.area.x0 + (w - bw) * 0.5;
  double const y0 = dialog.area.y0 + (h - bh) * 0.5;
  double const x1 = x0 + bw;
  double const y1 = y0 + bh;
  dialog.box_rect = {x0, y0, x1, y1};

  double const top = y1 - DIALOG_BUTTON_BAND + DIALOG_BUTTON_BOTTOM;
  double const bottom = top + DIALOG_BUTTON_HEIGHT;
  double const right_x1 = x1 - DIALOG_BUTTON_RIGHT;
  double const right_x0 = right_x1 - DIALOG_BUTTON_WIDTH;
  double const left_x1 = right_x0 - DIALOG_BUTTON_GAP;
  double const left_x0 = left_x1 - DIALOG_BUTTON_WIDTH;
  Rect const right{right_x0, top, right_x1, bottom};
  Rect const left{left_x0, top, left_x1, bottom};
  bool const swap = dialog.swap_buttons.value_or(false);
  dialog.primary_rect = swap ? left : right;
  dialog.secondary_rect = swap ? right : left;
}

void modal_dialog_layout_content(ModalDialog& dialog, Theme const& theme,
                                 TextRenderer const& text) {
  Rect const& box = dialog.box_rect;
  if (!(box.width() > 0.0 && box.height() > 0.0)) {
    return;
  }
  double const p = theme.inner_margin;
  double const cx0 = box.x0 + p;
  double const cx1 = std::max(box.x1 - p, cx0);
  double const cy0 = box.y0 + DIALOG_TITLE_BAND;
  double const cy1 = std::max(box.y1 - DIALOG_BUTTON_BAND, cy0);
  if (!(cx1 - cx0 > 0.0 && cy1 - cy0 > 0.0)) {
    return;
  }
  auto tree = layout::LayoutTree::with_capacity(16);
  auto const node = dialog.content.build_layout(tree, text);
  if (!node) {
    return;
  }
  if (!tree.compute_layout(*node,
                           Size{static_cast<float>(cx1 - cx0), static_cast<float>(cy1 - cy0)})) {
    return;
  }
  dialog.content.apply_layout(tree, *node, cx0, cy0);
  dialog.content_tree = std::move(tree);
  dialog.content_node = *node;
}

void modal_dialog_layout(ModalDialog& dialog, Rect const& area, Theme const& theme,
                         TextRenderer const& text) {
  dialog.theme = theme;
  dialog.area = area;
  modal_dialog_layout_frame(dialog);
  modal_dialog_layout_content(dialog, theme, text);
}

void modal_dialog_handle_event(ModalDialog& dialog, Event const& event, double scale,
                               bool& consumed) {
  if (!dialog.open) {
    return;
  }
  double const s = sanitize_scale(scale);
  if (auto const* moved = std::get_if<PointerMoved>(&event)) {
    dialog.pointer = {moved->x / s, moved->y / s};
    return;
  }
  if (auto const* button = std::get_if<PointerButton>(&event)) {
    consumed = true;
    if (button->button != 0 || button->state != ButtonState::Pressed) {
      return;
    }
    // The press's own position: a press may come without a move since the dialog opened.
    Point const p{button->x / s, button->y / s};
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
      return;
    }
    dialog.pointer = p;
    // Callbacks are copied before they run: one may rebuild or reset the dialog.
    if (dialog.primary && dialog.primary_rect.contains(p)) {
      if (auto cb = dialog.primary->callback) {
        cb();
      }
    } else if (dialog.secondary && dialog.secondary_rect.contains(p)) {
      if (auto cb = dialog.secondary->callback) {
        cb();
      }
    } else if (!dialog.box_rect.contains(p)) {
      if (auto cb = dialog.on_dismiss) {
        cb();
      }
    }
    return;
  }
  if (auto const* key = std::get_if<Key>(&event)) {
    consumed = true;
    auto const* named = std::get_if<NamedKey>(&key->key);
    if (!key->pressed || named == nullptr) {
      return;
    }
    if (*named == NamedKey::Escape) {
      if (auto cb = dialog.on_dismiss) {
        cb();
      }
    } else if (*named == NamedKey::Enter && dialog.primary) {
      if (auto cb = dialog.primary->callback) {
        cb();
      }
    }
  }
}

bool deliver_dialog_event(ModalDialog& dialog, Event const& event, double scale) {
  if (!dialog.open) {
    return false;
  }
  bool consumed = false;
  modal_dialog_handle_event(dialog, event, scale, consumed);
  return consumed;
}

void modal_dialog_draw(ModalDialog& dialog, Scene& scene, Affine const& transform,
                       TextRenderer const& text, Theme const& theme, PresenceCtx const& presence) {
  if (!dialog.open) {
    return;
  }
  dialog.theme = theme;
  modal_dialog_layout_content(dialog, theme, text);
  scene.fill(FillRule::NonZero, transform, Color{0.0f, 0.0f, 0.0f, 0.7f}, dialog.area);
  Rect const& box = dialog.box_rect;
  detail::fill_rounded(scene, transform, box, theme.corner_radius, theme.surface);
  detail::stroke_rounded(scene, transform, box, theme.corner_radius, 1.0, theme.border);
  double const p = theme.inner_margin;
  text.draw_text(
      scene, dialog.title, theme.title_size, theme.text,
      transform *
          Affine::translate(box.x0 + p, box.y0 + (DIALOG_TITLE_BAND - theme.title_size) * 0.5));
  dialog.content.draw(scene, transform, text, theme, presence);
  if (dialog.primary) {
    modal_dialog::draw_action_button(scene, transform, text, theme, dialog.primary_rect,
                                     dialog.primary->label, true, dialog.primary_emphasis);
  }
  if (dialog.secondary) {
    modal_dialog::draw_action_button(scene, transform, text, theme, dialog.secondary_rect,
                                     dialog.secondary->label, false, false);
  }
}

access::AccessNode modal_dialog_access_nodes(ModalDialog const& dialog) {
  I18nManager const i18n;
  std::string name = i18n.lookup(dialog.title);
  access::AccessNode root;
  root.role = access::ROLE_WINDOW;
  root.hidden = !dialog.open;
  root.modal = true;
  std::vector<access::AccessNode> children;
  if (dialog.open) {
    // The box, not the dimmed window around it, is the dialog.
    if (dialog.box_rect.width() > 0.0 && dialog.box_rect.height() > 0.0) {
      root.bounds = dialog.box_rect;
    }
    auto const button = [&](std::string_view id, DialogButton const& b, Rect const& rect) {
      access::AccessNode node;
      node.role = access::ROLE_BUTTON;
      node.state = 2;
      std::string label = i18n.lookup(b.label);
      return std::move(node)
          .with_id(id)
          .with_optional_name(label.empty() ? std::nullopt : std::optional(std::move(label)))
          .with_bounds(rect);
    };
    if (dialog.primary) {
      children.push_back(button("modal.primary", *dialog.primary, dialog.primary_rect));
    }
    if (dialog.secondary) {
      children.push_back(button("modal.secondary", *dialog.secondary, dialog.secondary_rect));
    }
    // The body after the buttons, so that a child's index names the same button as before.
    if (!dialog.content.text().empty()) {
      access::AccessNode body;
      body.role = access::ROLE_LABEL;
      body = std::move(body).with_name(i18n.lookup(dialog.content.text()));
      if (dialog.content.rect().width() > 0.0) {
        body.bounds = dialog.content.rect();
      }
      children.push_back(std::move(body));
    }
  }
  return std::move(root)
      .with_optional_name(name.empty() ? std::nullopt : std::optional(std::move(name)))
      .with_children(std::move(children));
}

namespace modal_dialog {

void draw_action_button(Scene& scene, Affine const& transform, TextRenderer const& text,
                        Theme const& theme, Rect const& rect, std::string_view label, bool primary,
                        bool emphasis) {
  if (!(rect.width() > 0.0 && rect.height() > 0.0)) {
    return;
  }
  constexpr double RADIUS = 9.0;
  constexpr float SIZE = 13.0f;
  if (primary) {
    detail::fill_rounded(scene, transform, rect, RADIUS, theme.accent);
  } else {
    detail::fill_rounded(scene, transform, rect, RADIUS, theme.surface_raised);
    detail::stroke_rounded(scene, transform, rect, RADIUS, 1.0, theme.border);
  }
  if (emphasis) {
    detail::stroke_rounded(scene, transform, rect.inflate(2.5, 2.5), RADIUS + 2.5, 2.0,
                           theme.focus_border);
  }
  Color const ink = primary ? theme.on_accent : theme.text;
  auto const max_width = static_cast<float>(std::max(rect.width() - 16.0, 0.0));
  double const w =
      std::min(static_cast<double>(text.measure(label, SIZE)), static_cast<double>(max_width));
  Point const c = rect.center();
  text.draw_text_limited(scene, label, SIZE, ink,
                         transform *
                             Affine::translate(c.x - w * 0.5, c.y - text.line_height(SIZE) * 0.5),
                         0, max_width);
}

} // namespace modal_dialog

} // namespace zarn_ui::widget
