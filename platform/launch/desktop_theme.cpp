#include "platform/launch/desktop_theme.h"

#include <SDL.h>

#include <chrono>
#include <utility>

#include "platform/launch/loop_wake.h"

namespace zarn_ui::launch {

namespace {

// Long enough for a running portal (a few milliseconds) or one the bus starts; a slower answer
// still switches the theme when it comes.
constexpr std::chrono::milliseconds FIRST_ANSWER_WAIT{1000};

} // namespace

Theme theme_for(bus::Appearance const& appearance,
                std::optional<std::string> const& override_name) {
  Theme theme = Theme::light();
  if (override_name && !override_name->empty()) {
    theme = theme_named(*override_name);
  } else if (appearance.high_contrast) {
    theme = Theme::high_contrast();
  } else if (appearance.scheme == bus::Appearance::Scheme::Dark) {
    theme = Theme::dark();
  }
  return theme.with_reduce_motion(appearance.reduce_motion)
      .with_text_scale(static_cast<float>(appearance.text_scale));
}

DesktopTheme::DesktopTheme(Options options) : options_(std::move(options)) {
  if (!options_.follow_desktop) {
    return;
  }
  bus::SettingsOptions settings{options_.bus_address, nullptr};
  settings.wake = push_wake;
  settings_ = std::make_unique<bus::DesktopSettings>(std::move(settings));
}

DesktopTheme::~DesktopTheme() = default;

Theme DesktopTheme::first() {
  if (!settings_) {
    return Theme::light();
  }
  return theme_for(settings_->wait_first(FIRST_ANSWER_WAIT), options_.override_name);
}

std::optional<Theme> DesktopTheme::take_change() {
  if (!settings_) {
    return std::nullopt;
  }
  auto const appearance = settings_->take_change();
  if (!appearance) {
    return std::nullopt;
  }
  return theme_for(*appearance, options_.override_name);
}

} // namespace zarn_ui::launch
