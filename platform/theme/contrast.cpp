#include "platform/theme/contrast.h"

#include <algorithm>
#include <cmath>

namespace zarn_ui {

namespace {

double linear_channel(float v) {
  double const c = std::clamp(static_cast<double>(v), 0.0, 1.0);
  return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

} // namespace

double relative_luminance(Color c) {
  return 0.2126 * linear_channel(c.r) + 0.7152 * linear_channel(c.g) + 0.0722 * linear_channel(c.b);
}

double contrast_ratio(Color a, Color b) {
  double const la = relative_luminance(a);
  double const lb = relative_luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

std::vector<TextPair> text_pairs(Theme const& t) {
  std::vector<TextPair> out;
  struct Role {
    std::string_view name;
    Color color;
  };
  // Panels, cards, hovered rows and idle controls all carry primary and secondary text.
  Role const panels[] = {{"surface", t.surface},
                         {"surface_raised", t.surface_raised},
                         {"surface_hover", t.surface_hover},
                         {"control_idle", t.control_idle}};
  for (Role const& bg : panels) {
    out.push_back({"text", bg.name, t.text, bg.color});
    out.push_back({"text_secondary", bg.name, t.text_secondary, bg.color});
  }
  // Coloured text (links, the remaining time, the hovered "End", "live") and the legends sit
  // on raised cards.
  Role const on_cards[] = {{"accent", t.accent},
                           {"danger", t.danger},
                           {"success", t.success},
                           {"overlay_text", t.overlay_text},
                           {"overlay_text_muted", t.overlay_text_muted}};
  for (Role const& fg : on_cards) {
    out.push_back({fg.name, "surface_raised", fg.color, t.surface_raised});
  }
  out.push_back({"accent", "surface", t.accent, t.surface});
  // Labels of filled primary and destructive buttons, also while hovered.
  out.push_back({"on_accent", "accent", t.on_accent, t.accent});
  out.push_back({"on_selection", "selection", t.on_selection, t.selection});
  out.push_back({"on_danger", "danger", t.on_danger, t.danger});
  out.push_back({"on_accent", "accent hovered", t.on_accent, t.filled_hover(t.accent)});
  out.push_back({"on_danger", "danger hovered", t.on_danger, t.filled_hover(t.danger)});
  return out;
}

} // namespace zarn_ui
