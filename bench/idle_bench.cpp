// Idle cost of the open window: frames drawn and CPU used while nothing is pending (the default
// demo state), and in a plain start without network (tiles and services refused on a closed
// port of 127.0.0.1, or on a host name that does not resolve) the frames that are not a tile's
// own back-off retry or its answer.
//
//   bench_idle_bench [--seconds N] [--runs R]    (defaults: 3 s, 3 runs; the goal is for 20 s)

#include <SDL.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/maps_app.h"
#include "net/http.h"
#include "platform/launch/launch.h"
#include "shell/presets.h"
#include "tiles/tile_cache.h"
#include "window_harness.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto SETTLE = 1s; // the start's own frames and first failures

struct Measured {
  double frames = 0.0;
  double cpu_percent = 0.0;
  double stray_frames = 0.0; // frames with no tile retry or answer behind them
};

/// Runs the window of `make` for SETTLE + `seconds` and measures the last `seconds`.
/// `classify` (UI thread, after a frame) says whether a frame had a reason of its own.
Measured run(std::function<std::unique_ptr<maps::MapsApp>()> const& make, double seconds,
             std::function<bool(maps::MapsApp const&)> const& had_reason) {
  zarn_ui::launch::LaunchSpec application;
  application.app_id = "test.zarn.maps.bench";
  application.default_window_size = [] { return std::pair<std::int32_t, std::int32_t>{1280, 800}; };
  maps::MapsApp* app = nullptr;
  application.create_app = [&] {
    auto built = make();
    app = built.get();
    return zarn_ui::launch::AppBox(std::move(built));
  };
  std::atomic<bool> measuring{false};
  std::atomic<int> stray{0};
  zarn_ui::launch::WindowStats stats;
  stats.on_frame = [&] {
    if (measuring && app && !had_reason(*app)) {
      ++stray;
    }
  };
  Measured out;
  std::thread sampler([&] {
    std::this_thread::sleep_for(SETTLE);
    std::uint64_t const frames0 = stats.frames;
    double const cpu0 = bench::cpu_seconds();
    measuring = true;
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    measuring = false;
    out.frames = static_cast<double>(stats.frames - frames0);
    out.cpu_percent = (bench::cpu_seconds() - cpu0) / seconds * 100.0;
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
  });
  // As a plain start: the name on the session bus, the desktop's theme, the accessibility tree.
  auto const result = zarn_ui::launch::run_window(
      application, zarn_ui::launch::LaunchArgs{},
      zarn_ui::launch::WindowOptions{
          .session_bus = true, .desktop_theme = true, .accessibility = true, .stats = &stats});
  sampler.join();
  if (!result) {
    std::fprintf(stderr, "the window failed: %s\n", result.error().display().c_str());
    std::exit(1);
  }
  out.stray_frames = stray;
  return out;
}

/// A frame has a reason of its own when a tile was answered or a back-off fell due since the
/// frame before.
class TileReasons {
public:
  bool operator()(maps::MapsApp const& app) {
    auto const now = Clock::now();
    std::size_t signature = app.tiles.pending.size() * 1000003u + app.tiles.backoff.size();
    bool due = false;
    for (auto const& [key, b] : app.tiles.backoff) {
      signature = signature * 31u + static_cast<std::size_t>(b.retry_at.time_since_epoch().count());
      due = due || (b.retry_at > last_ && b.retry_at <= now);
    }
    bool const changed = signature != signature_;
    signature_ = signature;
    last_ = now;
    return changed || due;
  }

private:
  std::size_t signature_ = 0;
  Clock::time_point last_ = Clock::now();
};

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
        seconds, [](maps::MapsApp const&) { return false; });
    idle_frames.push_back(m.frames);
    idle_cpu.push_back(m.cpu_percent);
  }
  std::printf("open window, nothing pending: %.0f frames, %.2f %% CPU\n",
              bench::median(idle_frames), bench::median(idle_cpu));
  bench::metric("idle_frames", bench::median(idle_frames));
  bench::metric("idle_cpu_percent", bench::median(idle_cpu));

  // Without network: the services on a closed port (connections refused), then on a host
  // name that never resolves (".invalid" is reserved for that).
  struct Network {
    char const* what;
    char const* metric;
    std::string url;
  } const networks[] = {
      {"plain start without network", "offline",
       "http://127.0.0.1:" + std::to_string(bench::closed_port())},
      {"plain start whose host names do not resolve", "unresolved",
       "http://maps-idle-bench.invalid"},
  };
  for (auto const& network : networks) {
    std::vector<double> frames, stray, cpu;
    for (int r = 0; r < runs; ++r) {
      auto const dir = std::filesystem::temp_directory_path() /
                       ("idle-bench-tiles-" + std::to_string(getpid()) + "-" + std::to_string(r));
      TileReasons reasons;
      std::string const& url = network.url;
      auto const m = run(
          [&] {
            auto app = std::make_unique<maps::MapsApp>(maps::build_maps_app(
                maps::default_map_model(), maps::StreetNetwork{},
                maps::light_tile_cache(dir, maps::tile_server(url)), false, true));
            app->services = maps::ServiceUrls{url, url, url, url};
            return app;
          },
          seconds, [&](maps::MapsApp const& app) { return reasons(app); });
      std::error_code ec;
      std::filesystem::remove_all(dir, ec);
      frames.push_back(m.frames);
      stray.push_back(m.stray_frames);
      cpu.push_back(m.cpu_percent);
    }
    std::printf("%s: %.0f frames, of them %.0f beyond the tiles' retries, %.2f %% CPU\n",
                network.what, bench::median(frames), bench::median(stray), bench::median(cpu));
    std::string const prefix = network.metric;
    bench::metric((prefix + "_frames").c_str(), bench::median(frames));
    bench::metric((prefix + "_stray_frames").c_str(), bench::median(stray));
    bench::metric((prefix + "_cpu_percent").c_str(), bench::median(cpu));
  }
  bench::metric("idle_on_dummy_driver", display.name() == "SDL dummy driver" ? 1.0 : 0.0);
  return 0;
}
