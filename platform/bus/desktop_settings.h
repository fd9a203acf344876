#pragma once
// The desktop's appearance as the Settings portal tells it: colour scheme, contrast (the portal's
// own key or GNOME's high-contrast switch), whether motion is to be reduced and the text size
// factor, read once at start and followed through SettingChanged, on a private
// connection and a GLib main-context thread of its own. Without a portal (no bus, no service,
// a key it does not know) every value stays at "no preference".

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <gio/gio.h>

namespace zarn_ui::bus {

struct Appearance {
  enum class Scheme : std::uint8_t { NoPreference, Dark, Light };
  Scheme scheme = Scheme::NoPreference;
  bool high_contrast = false;
  bool reduce_motion = false;
  /// The factor on every text size ("Large text"); 1 without one, always finite and in range.
  double text_scale = 1.0;
  bool operator==(Appearance const&) const = default;
};

/// What the portal said, key by key; nullopt where it said nothing. Fed from its answers, which
/// another process writes: values of any type, of keys it may not know.
struct SettingsReadings {
  std::optional<std::uint32_t> color_scheme;
  std::optional<std::uint32_t> contrast;
  std::optional<std::uint32_t> reduced_motion;
  std::optional<bool> enable_animations;
  std::optional<bool> gnome_high_contrast;
  std::optional<double> text_scaling_factor;

  Appearance appearance() const;
  /// Stores one setting (variants unwrapped); false when it is not one of ours or not of its
  /// type.
  bool store(std::string_view ns, std::string_view key, GVariant* value);
  /// Stores the value of a SettingChanged signal's body, whatever its type.
  bool store_change(GVariant* parameters);
  /// Stores the value of a Read or ReadOne reply.
  bool store_read(std::string_view ns, std::string_view key, GVariant* reply);
};

struct SettingsOptions {
  std::optional<std::string> address; // none: the user's session bus
  std::function<void()> wake;         // on the bus thread, after the appearance changed
};

class DesktopSettings {
public:
  /// Starts the thread; never fails (a missing bus or portal reads as no preference).
  explicit DesktopSettings(SettingsOptions options);
  ~DesktopSettings();
  DesktopSettings(DesktopSettings const&) = delete;
  DesktopSettings& operator=(DesktopSettings const&) = delete;

  /// Waits at most `limit` for the start's reading, then the appearance known so far.
  Appearance wait_first(std::chrono::milliseconds limit);
  /// The appearance when it changed since the last call to this or to `wait_first`.
  std::optional<Appearance> take_change();

  struct Impl;

private:
  std::unique_ptr<Impl> impl_;
};

} // namespace zarn_ui::bus
