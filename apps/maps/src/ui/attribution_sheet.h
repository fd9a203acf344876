#pragma once
// The "More map options" menu's items and the attribution sheet: a modal dialog crediting the
// map data and the basemap (or listing the licences), closed through a shared flag that its
// "Close" button and its dismissal set.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/scene/geometry.h"
#include "platform/widget/event.h"
#include "platform/widgets/modal_dialog.h"

namespace zarn_ui {
class Scene;
class TextRenderer;
struct Theme;
} // namespace zarn_ui

namespace maps {

/// Overflow menu items, by index.
inline constexpr std::size_t MENU_ATTRIBUTION = 0;
inline constexpr std::size_t MENU_OFFLINE_MAPS = 1;
inline constexpr std::size_t MENU_LICENSES = 2;
inline constexpr std::size_t MENU_FLOAT_NAVIGATION = 3;

/// Sheet states.
inline constexpr std::uint8_t SHEET_ATTRIBUTION = 0;
inline constexpr std::uint8_t SHEET_LICENSES = 1;
inline constexpr std::uint8_t SHEET_CLOSED = 2;

inline constexpr zarn_ui::Size SHEET_SIZE{440.0, 220.0};

struct AttributionSheet {
  zarn_ui::widget::ModalDialog dialog;
  /// Set by the dialog's "Close" button and by its dismissal; the owner then closes the sheet.
  std::shared_ptr<bool> close_flag = std::make_shared<bool>(false);
  std::uint8_t state = SHEET_CLOSED;
};

/// The dialog of one variant: title, body text at size 13, "Close" and the dismiss handler both
/// setting `close_flag`, 440 x 220, laid out once. It is not opened here.
zarn_ui::widget::ModalDialog build_attribution_sheet(bool licences,
                                                     std::shared_ptr<bool> const& close_flag);
/// Closed, with the attribution variant built.
AttributionSheet new_attribution_sheet();
/// Rebuilds the dialog for the variant with a fresh close flag and opens it.
void open_attribution_sheet(AttributionSheet& sheet, bool licences);
bool attribution_sheet_open(AttributionSheet const& sheet);
/// Closed: state, dialog and flag.
void close_attribution_sheet(AttributionSheet& sheet);
/// While open, every event goes to the sheet and counts as handled (true); it closes when its
/// flag was set by the event. A closed sheet takes nothing (false).
bool attribution_sheet_event(AttributionSheet& sheet, zarn_ui::Event const& event, double scale);
/// Runs the open sheet's button with this accessibility id ("modal.primary", "modal.secondary")
/// as a press would, closing the sheet when the button asks for it; false when the sheet is
/// closed or has no such button.
bool perform_attribution_sheet_button(AttributionSheet& sheet, std::string_view id);
/// Lays the open sheet out in `window` and draws it; nothing while closed.
void draw_attribution_sheet(AttributionSheet& sheet, zarn_ui::Scene& scene,
                            zarn_ui::Affine const& transform, zarn_ui::TextRenderer const& text,
                            zarn_ui::Theme const& theme, zarn_ui::Rect const& window);

} // namespace maps
