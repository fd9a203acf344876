#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <system_error>

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include "base/saturate.h"
#include "platform/launch/desktop_scale.h"
#include "platform/launch/desktop_theme.h"
#include "platform/launch/floating_window.h"
#include "platform/launch/launch.h"
#include "platform/launch/loop_wake.h"
#include "platform/launch/quit_signals.h"
#include "platform/launch/sdl_events.h"
#include "platform/launch/startup_notify.h"
#include "platform/launch/state.h"
#include "platform/launch/window_access.h"
#include "platform/launch/window_bus.h"
#include "platform/launch/window_identity.h"
#include "platform/launch/window_present.h"
#include "platform/launch/window_size.h"
#include "platform/launch/x11_errors.h"
#include "platform/render/frame_scale.h"
#include "platform/scene/scene.h"
#include "platform/text/text_renderer.h"
#include "platform/theme/theme.h"

namespace zarn_ui::launch {

std::string LaunchError::display() const {
  switch (kind) {
  case Kind::MissingScreenshotPath:
    return "no screenshot output path given (--screenshot PATH)";
  case Kind::Layout: {
    // The layout's own errors name it already.
    std::string_view detail = message;
    if (detail.starts_with("layout: ")) {
      detail.remove_prefix(8);
    }
    return fmt::format("layout failed: {}", detail);
  }
  case Kind::Usage:
  case Kind::Window:
  case Kind::Failed:
    break;
  }
  return message;
}

namespace {

std::string usage_text(LaunchSpec const& application, char const* program) {
  std::string const name =
      program ? std::filesystem::path(program).filename().string() : std::string("app");
  std::string out = fmt::format("usage: {} [switches]", name);
  for (auto const& o : application.options) {
    out += fmt::format(" [{} VALUE]", o);
  }
  out += " [--screenshot PATH] [--size WxH] [--scale F] [--action ID [ARG]]";
  out += fmt::format("\n       {} --help | --version", name);
  if (!application.switches.empty()) {
    out += "\nswitches:";
    for (auto const& s : application.switches) {
      out += " " + s;
    }
  }
  return out;
}

// Frames of an animation run at about display rate; an idle window sleeps in the event queue
// and costs no CPU.
constexpr auto FRAME_INTERVAL = std::chrono::milliseconds(16);

class SdlSession {
public:
  SdlSession() {
    // Frames are replayed by cairo in memory and only copied to the screen; an accelerated
    // renderer or framebuffer would load a GL driver (a software one under a virtual display)
    // only to blit them. The user's environment still decides when it sets these hints.
    SDL_SetHintWithPriority(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0", SDL_HINT_DEFAULT);
    SDL_SetHintWithPriority(SDL_HINT_RENDER_DRIVER, "software", SDL_HINT_DEFAULT);
    // SIGTERM and SIGINT are ours (QuitSignals): SDL's handlers turn them into a quit event
    // only when something else wakes the loop.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    tolerate_late_wakeups();
    ok_ = SDL_Init(SDL_INIT_VIDEO) == 0;
  }
  ~SdlSession() {
    if (window_) {
      SDL_DestroyWindow(window_);
    }
    if (ok_) {
      SDL_Quit();
    }
  }
  SdlSession(SdlSession const&) = delete;
  SdlSession& operator=(SdlSession const&) = delete;

  bool ok() const { return ok_; }
  SDL_Window* window() const { return window_; }
  bool open(std::string const& title, int w, int h) {
    window_ = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, w, h,
                               SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
    return window_ != nullptr;
  }

private:
  bool ok_ = false;
  SDL_Window* window_ = nullptr;
};

/// The usable area of the first display (where a centred window opens), when SDL tells it.
std::optional<PixelSize> usable_display_area() {
  SDL_Rect r;
  if (SDL_GetDisplayUsableBounds(0, &r) != 0 || r.w <= 0 || r.h <= 0) {
    return std::nullopt;
  }
  return PixelSize{r.w, r.h};
}

/// Opens the document on a thread of its own; on the calling thread when none can be started.
std::future<persist::Persistence> open_in_background(PersistOpener const& open,
                                                     std::string const& app_id) {
  try {
    return std::async(std::launch::async, open, app_id);
  } catch (std::system_error const&) {
    return std::async(std::launch::deferred, open, app_id);
  }
}

} // namespace

LaunchResult run_window(LaunchSpec const& application, LaunchArgs const& args,
                        WindowOptions options) {
  // The saved document is read and decoded while the window system starts and the window opens,
  // which takes as long as decoding a large document; the application gets it before its first
  // tick. Should this start hand over to a running window, the document was only read. A start
  // from launch arguments shows demo states: it runs on a document of its own and never writes
  // the user's.
  bool const from_args = args.any_declared();
  std::future<persist::Persistence> opening;
  if (!from_args && application.persist_open) {
    opening = open_in_background(application.persist_open, application.app_id);
  }
  prepare_window_identity(application);
  SdlSession sdl;
  if (!sdl.ok()) {
    return tl::unexpected(
        LaunchError::failed(fmt::format("could not start the window system: {}", SDL_GetError())));
  }
  QuitSignals const quit;
  WindowBus bus(application, args, options.session_bus);
  if (bus.handed_off()) {
    return *bus.handed_off();
  }
  // This window answers the launcher: its token is taken before anything else is started.
  std::optional<std::string> const startup_token = take_startup_token();
  // --scale makes every logical pixel larger; the window opens on the first display, within
  // the part of it that panels leave free.
  PixelSize size =
      application.default_window_size ? application.default_window_size() : PixelSize{1280, 800};
  if (args.size) {
    size = PixelSize{static_cast<std::int32_t>(args.size->first),
                     static_cast<std::int32_t>(args.size->second)};
  }
  std::optional<PixelSize> const minimum = application.minimum_window_size
                                               ? std::optional(application.minimum_window_size())
                                               : std::nullopt;
  WindowSizes const sizes =
      fit_window_sizes(size, minimum, args.scale.value_or(1.0f), usable_display_area());
  // Asked now, answered while the window opens and the application is built.
  char const* const theme_env = std::getenv("ZARN_THEME");
  DesktopTheme desktop({options.desktop_theme, options.settings_bus,
                        theme_env ? std::optional<std::string>(theme_env) : std::nullopt});
  if (!sdl.open(application.name.empty() ? application.app_id : application.name, sizes.size.first,
                sizes.size.second)) {
    return tl::unexpected(
        LaunchError::failed(fmt::format("could not open the window: {}", SDL_GetError())));
  }
  apply_window_icon(sdl.window(), application);
  complete_startup(sdl.window(), startup_token.value_or(""));
  WindowAccess access(application, options.accessibility);
  WindowPresenter presenter(sdl.window());
  // --scale enlarges the whole UI on top of the display's own pixel ratio. Without it, where SDL
  // reports no ratio (X11), the desktop's own scale applies, and the window opens that much
  // larger so that a HiDPI desktop does not get a tiny one, still within the display.
  double const ui_scale = desktop_ui_scale(args.scale, presenter.pixels().ratio,
                                           scale_from_gdk_scale(std::getenv("GDK_SCALE")),
                                           scale_from_xft_dpi(x_resources(sdl.window())));
  bool const desktop_scaled = !args.scale && ui_scale != 1.0;
  WindowSizes const fitted =
      desktop_scaled
          ? fit_window_sizes(
                PixelSize{static_cast<std::int32_t>(std::lround(size.first * ui_scale)),
                          static_cast<std::int32_t>(std::lround(size.second * ui_scale))},
                minimum, ui_scale, usable_display_area())
          : sizes;
  if (desktop_scaled) {
    SDL_SetWindowSize(sdl.window(), fitted.size.first, fitted.size.second);
  }
  if (fitted.minimum) {
    SDL_SetWindowMinimumSize(sdl.window(), fitted.minimum->first, fitted.minimum->second);
  }
  SDL_StartTextInput();

  std::unique_ptr<State> state =
      opening.valid() ? std::make_unique<State>(opening.get()) : State::in_memory();

  AppBox widget;
  if (from_args && application.create_app_from_args) {
    auto built = application.create_app_from_args(args);
    if (!built) {
      return tl::unexpected(built.error());
    }
    widget = std::move(*built);
  } else if (application.create_app) {
    widget = application.create_app();
  }
  if (!widget) {
    return tl::unexpected(LaunchError::failed("the application could not be built"));
  }
  App app;
  if (application.register_actions) {
    application.register_actions(app);
  }
  state->attach_registry(&app.action_registry_mut());
  bus.attach(*widget);

  Theme theme = desktop.first();
  TextRenderer text;
  PresenceCtx const presence = PresenceCtx::empty();
  PermissionContext const permissions = PermissionContext::permissive();
  widget::DrawCtx const ctx{text, theme, presence, permissions};

  text.set_text_scale(theme.text_scale);
  widget->set_reduce_motion(theme.reduce_motion);
  layout::LayoutTree tree;
  widget::NodeWidgetMap node_map;
  // The detached card's own window; it closes with the main window.
  FloatingWindow floating(sdl.window(), ui_scale);

  // A failing frame ends the loop, not the function: what the document holds unsaved is
  // still written below.
  LaunchResult outcome;
  LoopWakeScope const waker;
  auto const started = std::chrono::steady_clock::now();
  std::optional<std::chrono::steady_clock::time_point> const run_until =
      options.run_for ? std::optional(started + *options.run_for) : std::nullopt;
  std::uint64_t drawn = 0;
  bool running = true;
  // A frame is drawn when something it shows may have changed: the first one, after an event
  // (input, a window change, a wake-up from another thread), when the widget's deadline passed,
  // and at display rate while it animates. Otherwise the loop sleeps.
  bool redraw = true;
  bool animating = false;
  auto last_frame = started;
  while (running && !quit.requested()) {
    // Drawn at the display's pixel ratio (device pixels per window coordinate) times --scale;
    // pointer positions come in window coordinates and are taken to device pixels first.
    WindowPixels const pixels = presenter.pixels();
    FrameScale const frame = frame_scale(pixels.width, pixels.height, pixels.ratio, ui_scale);
    double const scale = frame.scale;

    SDL_Event event;
    while (SDL_PollEvent(&event)) {
      redraw = true;
      if (is_render_reset(event)) {
        presenter.forget_texture();
        floating.forget_texture();
        continue;
      }
      if (event.type == SDL_WINDOWEVENT && event.window.windowID == SDL_GetWindowID(sdl.window()) &&
          loses_window_pixels(event.window)) {
        presenter.show_all_next();
      }
      if (floating.route_event(event, *widget, state.get(), scale)) {
        continue; // the card's window: its close hands the card back, nothing more
      }
      if (event.type == SDL_QUIT ||
          (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE)) {
        running = false;
        break;
      }
      if (auto translated = translate_sdl_event(event, pixels.ratio)) {
        bool handled = false;
        widget->handle_event(translated->event, translated->modifiers, state.get(), scale, handled);
      }
    }
    if (!running || quit.requested()) {
      break;
    }

    auto now = std::chrono::steady_clock::now();
    // A deadline that was already due at the last frame and still stands is not news.
    auto const deadline = widget->next_deadline();
    bool const deadline_due = deadline && *deadline <= now && *deadline > last_frame;
    if (redraw || deadline_due || (animating && now >= last_frame + FRAME_INTERVAL) ||
        options.max_frames != 0) {
      last_frame = now;
      // A change of the desktop's appearance switches the theme (and with it the basemap
      // style) from this frame on.
      if (auto changed = desktop.take_change()) {
        theme = *changed;
        text.set_text_scale(theme.text_scale);
        widget->set_reduce_motion(theme.reduce_motion);
      }
      bus.before_tick(*widget, *state, sdl.window());
      access.before_tick(*widget, *state);
      widget->tick(*state);
      // The tree is rebuilt every frame: it is one node per widget, and the window may resize.
      tree.clear();
      node_map.clear();
      layout::NodeId const app_node = widget->build_layout(tree, theme, node_map);
      auto const w = static_cast<float>(frame.logical.width);
      auto const h = static_cast<float>(frame.logical.height);
      auto root = tree.new_with_children(layout::Style::fixed(w, h), {app_node});
      if (!root) {
        outcome = tl::unexpected(LaunchError::layout(root.error()));
        break;
      }
      if (auto laid = tree.compute_layout(*root, Size{w, h}); !laid) {
        outcome = tl::unexpected(LaunchError::layout(laid.error()));
        break;
      }
      widget->apply_layout(tree, Point{0.0, 0.0}, app_node);
      Scene scene;
      widget->draw_root(scene, Affine::identity(), ctx);
      auto const shown = presenter.present(scene, scale, theme.surface);
      if (!shown) {
        spdlog::error("frame: {}", shown.error());
      }
      // A frame that changed nothing on screen (a deadline or an answer that left the picture
      // as it was) sends nothing and is not counted as presented.
      bool const card_shown = floating.after_frame(*widget, ctx, theme.surface);
      bool const presented = (shown && !shown->empty()) || card_shown;
      // A failed write (or the first success after failures) is told in the next frame.
      bool const save_news = state->after_frame();
      bus.after_frame(*widget, *state);
      access.after_frame(*widget, sdl.window(), frame.logical, ui_scale);
      redraw = save_news;
      animating = widget->needs_frame() || floating.wants_frame();
      ++drawn;
      if (options.stats) {
        options.stats->drawn = drawn;
        if (presented) {
          ++options.stats->frames;
          if (options.stats->on_frame) {
            options.stats->on_frame();
          }
        }
      }
      // A counted run counts frames drawn: it ends whether or not they changed anything.
      if (options.max_frames && drawn >= options.max_frames) {
        break;
      }
    } else {
      if (auto const check = bus.next_deadline(); check && *check <= now) {
        bus.after_frame(*widget, *state);
      }
      // A change made while nothing else happens is written on time, not at the next event.
      if (auto const save = state->next_save_at(); save && *save <= now) {
        redraw = state->after_frame();
      }
    }
    if (options.max_frames != 0 && !animating) {
      continue; // a counted run draws its frames back to back, an animation's at display rate
    }

    now = std::chrono::steady_clock::now();
    if (run_until && now >= *run_until) {
      break;
    }
    std::optional<std::chrono::steady_clock::time_point> wake_at = run_until;
    auto const sooner = [&](std::optional<std::chrono::steady_clock::time_point> t) {
      if (t && (!wake_at || *t < *wake_at)) {
        wake_at = t;
      }
    };
    if (animating) {
      sooner(last_frame + FRAME_INTERVAL);
    }
    if (auto const next = widget->next_deadline(); next && *next > last_frame) {
      sooner(next);
    }
    sooner(bus.next_deadline());
    sooner(state->next_save_at());
    wait_for_event(wake_at);
  }
  state->close();
  return outcome;
}

int run_or_exit(LaunchSpec const& application, int argc, char const* const* argv) {
  std::span<char const* const> const all(argv, static_cast<std::size_t>(std::max(argc, 0)));
  auto args = parse_launch_args(all.empty() ? all : all.subspan(1), application.switches,
                                application.options);
  if (!args) {
    std::fprintf(stderr, "%s\n%s\n", args.error().c_str(),
                 usage_text(application, all.empty() ? nullptr : all[0]).c_str());
    return 2;
  }
  if (args->help) {
    std::printf("%s\n", usage_text(application, all.empty() ? nullptr : all[0]).c_str());
    return 0;
  }
  if (args->version) {
    std::printf("%s %s\n",
                application.name.empty() ? application.app_id.c_str() : application.name.c_str(),
                application.version.c_str());
    return 0;
  }
  LaunchResult result;
  if (args->screenshot) {
    if (!application.render_shot) {
      std::fprintf(stderr, "this application cannot render screenshots\n");
      return 1;
    }
    application.render_shot(result, *args);
  } else {
    result = run_window(
        application, *args,
        WindowOptions{
            .max_frames = 0, .session_bus = true, .desktop_theme = true, .accessibility = true});
  }
  if (!result) {
    std::fprintf(stderr, "%s\n", result.error().display().c_str());
    return 1;
  }
  return 0;
}

} // namespace zarn_ui::launch
