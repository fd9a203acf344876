#include "ui/attribution_sheet.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "platform/scene/scene.h"
#include "platform/text/text_renderer.h"
#include "platform/theme/theme.h"
#include "platform/widgets/text.h"

namespace maps {

namespace {

constexpr float SHEET_BODY_SIZE = 13.0f;

constexpr std::string_view ATTRIBUTION_BODY = "Map data \xC2\xA9 OpenStreetMap contributors\n"
                                              "Basemap tiles \xC2\xA9 CARTO";
constexpr std::string_view LICENSES_BODY =
    "OpenStreetMap data \xE2\x80\x94 Open Database License (ODbL)\n"
    "CARTO basemaps \xE2\x80\x94 under CARTO's basemap terms\n"
    "\xC2\xA9 OpenStreetMap contributors \xC2\xB7 \xC2\xA9 CARTO";

/// Where the overflow menu is anchored: 16 px left of the window's right edge, 46 px above its
/// bottom (the overflow button's top edge).
/// Room between the attribution sheet and the window's edges.
constexpr double SHEET_MARGIN = 16.0;

} // namespace

zarn_ui::widget::ModalDialog build_attribution_sheet(bool licences,
                                                     std::shared_ptr<bool> const& close_flag) {
  using namespace zarn_ui::widget;
  ModalDialog dialog =
      modal_dialog_new(licences ? "Licenses" : "Attribution",
                       Text(licences ? LICENSES_BODY : ATTRIBUTION_BODY, SHEET_BODY_SIZE));
  dialog =
      modal_dialog_with_primary(std::move(dialog), "Close", [close_flag] { *close_flag = true; });
  dialog = modal_dialog_with_dismiss(std::move(dialog), [close_flag] { *close_flag = true; });
  dialog.preferred_size = SHEET_SIZE;
  modal_dialog_layout_frame(dialog);
  return dialog;
}

AttributionSheet new_attribution_sheet() {
  AttributionSheet sheet;
  sheet.close_flag = std::make_shared<bool>(false);
  sheet.dialog = build_attribution_sheet(false, sheet.close_flag);
  sheet.state = SHEET_CLOSED;
  return sheet;
}

void open_attribution_sheet(AttributionSheet& sheet, bool licences) {
  // A fresh flag: a callback of the old dialog can no longer close the new one.
  sheet.close_flag = std::make_shared<bool>(false);
  sheet.dialog = build_attribution_sheet(licences, sheet.close_flag);
  sheet.dialog.open = true;
  sheet.state = licences ? SHEET_LICENSES : SHEET_ATTRIBUTION;
}

bool attribution_sheet_open(AttributionSheet const& sheet) {
  return sheet.state != SHEET_CLOSED;
}

void close_attribution_sheet(AttributionSheet& sheet) {
  sheet.state = SHEET_CLOSED;
  sheet.dialog.open = false;
  *sheet.close_flag = false;
}

bool attribution_sheet_event(AttributionSheet& sheet, zarn_ui::Event const& event, double scale) {
  if (!attribution_sheet_open(sheet)) {
    return false;
  }
  (void)zarn_ui::widget::deliver_dialog_event(sheet.dialog, event, scale);
  if (*sheet.close_flag) {
    close_attribution_sheet(sheet);
  }
  return true;
}

bool perform_attribution_sheet_button(AttributionSheet& sheet, std::string_view id) {
  if (!attribution_sheet_open(sheet)) {
    return false;
  }
  auto& dialog = sheet.dialog;
  auto const& button = id == "modal.primary"     ? dialog.primary
                       : id == "modal.secondary" ? dialog.secondary
                                                 : std::optional<zarn_ui::widget::DialogButton>{};
  if (!button) {
    return false;
  }
  if (button->callback) {
    button->callback();
  }
  if (*sheet.close_flag) {
    close_attribution_sheet(sheet);
  }
  return true;
}

void draw_attribution_sheet(AttributionSheet& sheet, zarn_ui::Scene& scene,
                            zarn_ui::Affine const& transform, zarn_ui::TextRenderer const& text,
                            zarn_ui::Theme const& theme, zarn_ui::Rect const& window) {
  if (!attribution_sheet_open(sheet)) {
    return;
  }
  // The scrim covers the window; the sheet keeps a margin to its edges in a small window.
  sheet.dialog.preferred_size = {std::min(SHEET_SIZE.width, window.width() - 2 * SHEET_MARGIN),
                                 std::min(SHEET_SIZE.height, window.height() - 2 * SHEET_MARGIN)};
  zarn_ui::widget::modal_dialog_layout(sheet.dialog, window, theme, text);
  zarn_ui::widget::modal_dialog_draw(sheet.dialog, scene, transform, text, theme);
}

} // namespace maps
