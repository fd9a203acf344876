#pragma once
// The window's theme: the one ZARN_THEME names, else the desktop's appearance as the Settings
// portal gives it (high contrast, dark or light), live; light when nothing says otherwise.
// Reduced motion follows the desktop in either case.

#include <memory>
#include <optional>
#include <string>

#include "platform/bus/desktop_settings.h"
#include "platform/theme/theme.h"

namespace zarn_ui::launch {

/// High contrast wins over the colour scheme; only a dark preference gives the dark theme.
Theme theme_for(bus::Appearance const& appearance, std::optional<std::string> const& override_name);

class DesktopTheme {
public:
  struct Options {
    bool follow_desktop = false;              // false: light, nothing is asked or overridden
    std::optional<std::string> bus_address;   // none: the user's session bus
    std::optional<std::string> override_name; // ZARN_THEME; empty counts as unset
  };
  /// Starts asking the portal (with an SDL user event to wake the loop on a change).
  explicit DesktopTheme(Options options);
  ~DesktopTheme();
  DesktopTheme(DesktopTheme const&) = delete;
  DesktopTheme& operator=(DesktopTheme const&) = delete;

  /// The theme for the first frame: waits briefly for the portal's first answer.
  Theme first();
  /// The theme to switch to when the desktop's appearance changed since the last call.
  std::optional<Theme> take_change();

private:
  Options options_;
  std::unique_ptr<bus::DesktopSettings> settings_;
};

} // namespace zarn_ui::launch
