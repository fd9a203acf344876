#pragma once
// The launch record an application hands to the platform, and run_or_exit, which parses the
// command line and then renders a screenshot (no display needed) or opens the window and runs
// the frame driver until it closes.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <tl/expected.hpp>

#include "platform/bus/action_signature.h"
#include "platform/doc/persist.h"
#include "platform/launch/launch_args.h"
#include "platform/widget/widget.h"

namespace zarn_ui {
class App;
class State;
} // namespace zarn_ui

namespace zarn_ui::launch {

struct LaunchError {
  enum class Kind : std::uint8_t { MissingScreenshotPath, Layout, Usage, Window, Failed };
  Kind kind = Kind::Failed;
  std::string message;

  static LaunchError missing_screenshot_path() { return {Kind::MissingScreenshotPath, {}}; }
  static LaunchError layout(std::string m) { return {Kind::Layout, std::move(m)}; }
  static LaunchError failed(std::string m) { return {Kind::Failed, std::move(m)}; }
  std::string display() const;
};

using LaunchResult = tl::expected<void, LaunchError>;
using AppBox = std::unique_ptr<widget::Widget>;

/// Opens the persisted document of an application id (the platform's own opener is
/// `zarn_ui::persist::open`).
using PersistOpener = std::function<persist::Persistence(std::string_view app_id)>;

struct LaunchSpec {
  std::string app_id;
  std::string name;     // shown to people: the window title, --version
  std::string version;  // --version prints "<name> <version>"
  std::string icon_svg; // SVG text of the window icon; empty: the window system's default
  std::vector<std::string> switches; // declared switches, "--name"
  std::vector<std::string> options;  // declared switches that take a value
  std::function<AppBox()> create_app;
  std::function<tl::expected<AppBox, LaunchError>(LaunchArgs const&)> create_app_from_args;
  std::function<void(LaunchResult& out, LaunchArgs const& args)> render_shot;
  std::function<void(App& app)> register_actions;
  std::function<std::pair<std::int32_t, std::int32_t>()> default_window_size;
  /// The smallest window the application lays out without overlaps (logical pixels); none: any.
  std::function<std::pair<std::int32_t, std::int32_t>()> minimum_window_size;
  PersistOpener persist_open;
  /// How the published actions are run from outside (effect byte, whether they take an argument).
  std::vector<bus::ActionSignature> action_signatures;
};

/// Runs the application described by `application` and returns the process exit status: 0 after the
/// window closed or the screenshot was written, and after --help/-h or --version printed the
/// usage or the version on stdout; 2 for a usage error, 1 for any other failure (each reported
/// on stderr).
int run_or_exit(LaunchSpec const& application, int argc, char const* const* argv);

/// What a window run did, for tests and benchmarks.
/// Both counts may be read from another thread.
struct WindowStats {
  /// Frames presented: drawn frames that sent something to a window. A frame that changed
  /// nothing on screen (a deadline or an answer that left the picture as it was) is no frame.
  std::atomic<std::uint64_t> frames{0};
  /// Frames drawn (tick, layout, scene), whether they sent anything or not.
  std::atomic<std::uint64_t> drawn{0};
  std::function<void()> on_frame; // on the UI thread, after each presented frame
};

struct WindowOptions {
  /// Draws this many frames (presented or not), then ends; 0: until the window closes. They come
  /// back to back, without sleeping, except at display rate while the widget animates.
  std::uint64_t max_frames = 0;
  bool session_bus = false; // own the application id on the session bus (a plain start)
  /// Follow the desktop's theme (or ZARN_THEME); off: the light theme.
  bool desktop_theme = false;
  std::optional<std::string> settings_bus = {}; // the Settings portal's bus; none: the session bus
  bool accessibility = false; // export the accessibility tree on the accessibility bus
  /// Ends the run after this long (the loop sleeps as it would in use); none: until it closes.
  std::optional<std::chrono::milliseconds> run_for = std::nullopt;
  WindowStats* stats = nullptr; // filled in while it runs
};

/// The window path of run_or_exit with arguments already parsed.
LaunchResult run_window(LaunchSpec const& application, LaunchArgs const& args,
                        WindowOptions options = {});

} // namespace zarn_ui::launch
