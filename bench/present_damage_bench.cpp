// What the window sends to the X server, measured from outside the process: under a private
// Xvfb a second X connection listens with the DAMAGE extension (raw rectangles: one report per
// drawing request) on the application's window.
//
// Hover: the pointer is warped on and off a map button (the window gets real X motion events);
// each hover repaint's damaged area is compared with the area that changed, counted as the
// pixels that differ between the window's contents before and after (read with XGetImage).
// The figure is the damage over the changes of all moves; 1 when exactly the changed pixels are
// sent, 1280 × 800 over the button's area when every frame sends the whole window.
//
// Idle: the damage reports (each one a part of a presented frame) in `seconds` after a start's
// first second, for the default demo and for plain starts without network.
//
//   bench_present_damage_bench [--seconds N] [--moves M]    (defaults: 3 s, 6 moves)

#include <poll.h>

#include <SDL.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/map_controls.h"
#include "app/maps_app.h"
#include "net/http.h"
#include "plain_start.h"
#include "platform/launch/launch.h"
#include "shell/presets.h"
#include "window_harness.h"

// Last: the X headers define macros (None, Status, Bool) that clash with names above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr char const* TITLE = "present damage bench";
constexpr auto SETTLE = 1s;
// A repaint reaches the server within a frame or two; tooltips come SHOW_DELAY (500 ms) after a
// hover, so the hover's own repaint is over well before.
constexpr auto QUIET = 150ms;
constexpr auto SETTLED_QUIET = 900ms;

/// The X side: a connection of its own, the application's window and its damage reports.
class Listener {
public:
  Listener() : dpy_(XOpenDisplay(nullptr)) {
    int error_base = 0;
    if (dpy_ == nullptr || !XDamageQueryExtension(dpy_, &event_base_, &error_base)) {
      std::fprintf(stderr, "no X connection with the DAMAGE extension\n");
      std::exit(1);
    }
  }
  ~Listener() {
    if (damage_ != 0) {
      XDamageDestroy(dpy_, damage_);
    }
    XCloseDisplay(dpy_);
  }
  Listener(Listener const&) = delete;
  Listener& operator=(Listener const&) = delete;

  /// Waits for the window titled TITLE and listens on it.
  bool attach(std::chrono::milliseconds within) {
    auto const until = Clock::now() + within;
    while (Clock::now() < until) {
      if (auto const w = find(DefaultRootWindow(dpy_))) {
        window_ = *w;
        damage_ = XDamageCreate(dpy_, window_, XDamageReportRawRectangles);
        XSync(dpy_, False);
        return true;
      }
      std::this_thread::sleep_for(20ms);
    }
    return false;
  }

  struct Reports {
    std::uint64_t count = 0;
    double area = 0.0;
  };
  /// The damage reported until none came for `quiet` (at most `limit`).
  Reports collect(std::chrono::milliseconds quiet, std::chrono::milliseconds limit) {
    Reports out;
    auto const until = Clock::now() + limit;
    auto last = Clock::now();
    while (Clock::now() < until && Clock::now() - last < quiet) {
      while (XPending(dpy_) > 0) {
        XEvent e;
        XNextEvent(dpy_, &e);
        if (e.type == event_base_ + XDamageNotify) {
          auto const& d = reinterpret_cast<XDamageNotifyEvent const&>(e);
          ++out.count;
          out.area += double(d.area.width) * double(d.area.height);
          last = Clock::now();
        }
      }
      pollfd p{ConnectionNumber(dpy_), POLLIN, 0};
      poll(&p, 1, 5);
    }
    return out;
  }
  /// The damage reported during `span`, however it comes.
  Reports collect_for(std::chrono::milliseconds span) { return collect(span, span); }

  /// The window's pixels now, as 32-bit words.
  std::vector<std::uint32_t> pixels(int& width, int& height) {
    XWindowAttributes a;
    XGetWindowAttributes(dpy_, window_, &a);
    width = a.width;
    height = a.height;
    std::vector<std::uint32_t> out(std::size_t(width) * std::size_t(height));
    XImage* image =
        XGetImage(dpy_, window_, 0, 0, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
    if (image != nullptr) {
      for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
          out[std::size_t(y) * std::size_t(width) + std::size_t(x)] =
              static_cast<std::uint32_t>(XGetPixel(image, x, y));
        }
      }
      XDestroyImage(image);
    }
    return out;
  }

  void warp(int x, int y) {
    XWarpPointer(dpy_, 0, window_, 0, 0, 0, 0, x, y);
    XFlush(dpy_);
  }

private:
  std::optional<Window> find(Window under) {
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned n = 0;
    if (!XQueryTree(dpy_, under, &root, &parent, &children, &n)) {
      return std::nullopt;
    }
    std::optional<Window> found;
    for (unsigned i = 0; i < n && !found; ++i) {
      char* name = nullptr;
      if (XFetchName(dpy_, children[i], &name) && name != nullptr) {
        if (std::strcmp(name, TITLE) == 0) {
          found = children[i];
        }
        XFree(name);
      }
      if (!found) {
        found = find(children[i]);
      }
    }
    if (children != nullptr) {
      XFree(children);
    }
    return found;
  }

  Display* dpy_;
  int event_base_ = 0;
  Window window_ = 0;
  Damage damage_ = 0;
};

/// Runs the window of `make` while `script` (on a thread of its own, with the window's listener
/// attached) measures; the window closes when the script returns. `plain` starts as a plain start
/// does (session bus, desktop theme, accessibility). `button` gets the map's first control, in
/// window pixels, after every frame.
void run(std::function<std::unique_ptr<maps::MapsApp>()> const& make, bool plain,
         std::function<void(Listener&)> const& script,
         std::atomic<std::int64_t>* button = nullptr) {
  zarn_ui::launch::LaunchSpec application;
  application.app_id = "test.zarn.maps.bench";
  application.name = TITLE;
  application.default_window_size = [] { return std::pair<std::int32_t, std::int32_t>{1280, 800}; };
  maps::MapsApp* app = nullptr;
  application.create_app = [&] {
    auto built = make();
    app = built.get();
    return zarn_ui::launch::AppBox(std::move(built));
  };
  zarn_ui::launch::WindowStats stats;
  stats.on_frame = [&] {
    if (button != nullptr && app != nullptr) {
      zarn_ui::Point const c = maps::map_control_rect(app->map_rect, 0).center();
      *button = (std::int64_t(c.x) << 32) | std::int64_t(c.y);
    }
  };
  bench::run_window_during(
      application,
      zarn_ui::launch::WindowOptions{
          .session_bus = plain, .desktop_theme = plain, .accessibility = plain, .stats = &stats},
      [&] {
        Listener listener;
        if (listener.attach(10s)) {
          std::this_thread::sleep_for(SETTLE);
          listener.collect_for(10ms); // what the start sent
          script(listener);
        } else {
          std::fprintf(stderr, "the window did not appear\n");
        }
      });
}

std::unique_ptr<maps::MapsApp> demo() {
  return std::make_unique<maps::MapsApp>(maps::app_from_launch_args(zarn_ui::launch::LaunchArgs{}));
}

} // namespace

int main(int argc, char** argv) {
  double seconds = 3.0;
  int moves = 6;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--seconds") == 0) {
      seconds = std::atof(argv[i + 1]);
    } else if (std::strcmp(argv[i], "--moves") == 0) {
      moves = std::max(2, std::atoi(argv[i + 1]));
    }
  }
  XInitThreads();
  maps::ensure_crypto_provider();
  bench::PrivateDisplay const display;
  if (display.name() == "SDL dummy driver") {
    // No X server: nothing to listen to.
    std::printf("no X server (Xvfb is not installed)\n");
    bench::metric("damage_on_dummy_driver", 1.0);
    return 0;
  }
  bench::PrivateSessionBus const bus;
  std::printf("window under %s, measured from a second X connection\n", display.name().c_str());
  std::fflush(stdout);

  // Hover: on and off the map's first control.
  double damage = 0.0;
  double changed = 0.0;
  std::uint64_t reports = 0;
  std::atomic<std::int64_t> button{-1};
  run(
      demo, false,
      [&](Listener& x) {
        int w = 0;
        int h = 0;
        std::vector<std::uint32_t> before = x.pixels(w, h);
        for (int i = 0; i < moves; ++i) {
          std::int64_t const b = button;
          bool const on = i % 2 == 0;
          x.warp(on ? int(b >> 32) : 900, on ? int(b & 0xffffffff) : 450);
          auto const r = x.collect(QUIET, 2000ms);
          std::vector<std::uint32_t> after = x.pixels(w, h);
          double differ = 0.0;
          for (std::size_t k = 0; k < after.size() && k < before.size(); ++k) {
            differ += after[k] != before[k] ? 1.0 : 0.0;
          }
          std::printf("  pointer %s the button: %llu reports, %.0f px damaged, %.0f px changed\n",
                      on ? "onto" : "off", static_cast<unsigned long long>(r.count), r.area,
                      differ);
          damage += r.area;
          changed += differ;
          reports += r.count;
          // A tooltip may follow; it is not the hover's repaint.
          x.collect(SETTLED_QUIET, 3000ms);
          before = x.pixels(w, h);
        }
      },
      &button);
  double const ratio = changed > 0.0 ? damage / changed : 0.0;
  std::printf("hover repaints: %.0f px damaged for %.0f px changed (%.2fx), %llu reports\n", damage,
              changed, ratio, static_cast<unsigned long long>(reports));
  bench::metric("hover_damage_over_changed", ratio);
  bench::metric("hover_damage_reports", double(reports));

  // Idle: every report is (part of) a presented frame.
  auto const idle = [&](char const* what, char const* metric,
                        std::function<std::unique_ptr<maps::MapsApp>()> const& make) {
    Listener::Reports r;
    run(make, true, [&](Listener& x) {
      r = x.collect_for(std::chrono::milliseconds(static_cast<int>(seconds * 1000)));
    });
    std::printf("%s, %.0f s: %llu damage reports, %.0f px\n", what, seconds,
                static_cast<unsigned long long>(r.count), r.area);
    bench::metric(metric, double(r.count));
  };
  idle("open window, nothing pending", "idle_damage_reports", demo);
  for (auto const& network : bench::networks()) {
    auto const dir =
        std::filesystem::temp_directory_path() / ("damage-bench-tiles-" + std::to_string(getpid()));
    std::string const metric = std::string(network.metric) + "_damage_reports";
    idle(network.what, metric.c_str(), [&] { return bench::plain_start_at(network.url, dir); });
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  bench::metric("damage_on_dummy_driver", 0.0);
  return 0;
}
