// Idle cost of the open window: frames presented (sent to the window) and CPU used while nothing
// is pending (the default demo state), and in a plain start without network (tiles and services
// refused on a closed port of 127.0.0.1, or on a host name that does not resolve), where the
// tiles' back-off retries still wake the loop: the frames it drew for them are told apart, and
// with nothing changed on screen none of them is presented.
//
//   bench_idle_bench [--seconds N] [--runs R]    (defaults: 3 s, 3 runs; the goal is for 20 s)

#include <SDL.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/maps_app.h"
#include "net/http.h"
#include "plain_start.h"
#include "platform/launch/launch.h"
#include "shell/presets.h"
#include "window_harness.h"

namespace {

using namespace std::chrono_literals;

constexpr auto SETTLE = 1s; // the start's own frames and first failures

struct Measured {
  double frames = 0.0; // presented
  double drawn = 0.0;  // drawn, presented or not
  double cpu_percent = 0.0;
};

/// Runs the window of `make` for SETTLE + `seconds` and measures the last `seconds`.
Measured run(std::function<std::unique_ptr<maps::MapsApp>()> const& make, double seconds) {
  zarn_ui::launch::LaunchSpec application;
  application.app_id = "test.zarn.maps.bench";
  application.default_window_size = [] { return std::pair<std::int32_t, std::int32_t>{1280, 800}; };
  application.create_app = [&] { return zarn_ui::launch::AppBox(make()); };
  zarn_ui::launch::WindowStats stats;
  Measured out;
  // As a plain start: the name on the session bus, the desktop's theme, the accessibility tree.
  bench::run_window_during(
      application,
      zarn_ui::launch::WindowOptions{
          .session_bus = true, .desktop_theme = true, .accessibility = true, .stats = &stats},
      [&] {
        std::this_thread::sleep_for(SETTLE);
        std::uint64_t const frames0 = stats.frames;
        std::uint64_t const drawn0 = stats.drawn;
        double const cpu0 = bench::cpu_seconds();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        out.frames = static_cast<double>(stats.frames - frames0);
        out.drawn = static_cast<double>(stats.drawn - drawn0);
        out.cpu_percent = (bench::cpu_seconds() - cpu0) / seconds * 100.0;
      });
  return out;
}

} // namespace

int main(int argc, char** argv) {
  double seconds = 3.0;
  int runs = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--seconds") == 0) {
      seconds = std::atof(argv[i + 1]);
    } else if (std::strcmp(argv[i], "--runs") == 0) {
      runs = std::max(1, std::atoi(argv[i + 1]));
    }
  }
  maps::ensure_crypto_provider();
  bench::PrivateDisplay const display;
  bench::PrivateSessionBus const bus;
  std::printf("window under %s, %.0f s after a %.0f s start, median of %d runs\n",
              display.name().c_str(), seconds, std::chrono::duration<double>(SETTLE).count(), runs);
  std::fflush(stdout);

  std::vector<double> idle_frames, idle_cpu;
  for (int r = 0; r < runs; ++r) {
    auto const m = run(
        [] {
          return std::make_unique<maps::MapsApp>(
              maps::app_from_launch_args(zarn_ui::launch::LaunchArgs{}));
        },
        seconds);
    idle_frames.push_back(m.frames);
    idle_cpu.push_back(m.cpu_percent);
  }
  std::printf("open window, nothing pending: %.0f frames presented, %.2f %% CPU\n",
              bench::median(idle_frames), bench::median(idle_cpu));
  bench::metric("idle_frames", bench::median(idle_frames));
  bench::metric("idle_cpu_percent", bench::median(idle_cpu));

  for (auto const& network : bench::networks()) {
    std::vector<double> frames, drawn, cpu;
    for (int r = 0; r < runs; ++r) {
      auto const dir = std::filesystem::temp_directory_path() /
                       ("idle-bench-tiles-" + std::to_string(getpid()) + "-" + std::to_string(r));
      auto const m = run([&] { return bench::plain_start_at(network.url, dir); }, seconds);
      std::error_code ec;
      std::filesystem::remove_all(dir, ec);
      frames.push_back(m.frames);
      drawn.push_back(m.drawn);
      cpu.push_back(m.cpu_percent);
    }
    std::printf("%s: %.0f frames presented (of %.0f drawn, for the tiles' retries and answers), "
                "%.2f %% CPU\n",
                network.what, bench::median(frames), bench::median(drawn), bench::median(cpu));
    std::string const prefix = network.metric;
    bench::metric((prefix + "_frames").c_str(), bench::median(frames));
    bench::metric((prefix + "_drawn_frames").c_str(), bench::median(drawn));
    bench::metric((prefix + "_cpu_percent").c_str(), bench::median(cpu));
  }
  bench::metric("idle_on_dummy_driver", display.name() == "SDL dummy driver" ? 1.0 : 0.0);
  return 0;
}
