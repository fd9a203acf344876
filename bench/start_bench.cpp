// Start-up time of the application as a fresh process: from the start of the process to the
// first frame shown in its window (a plain start, under Xvfb when installed), and to the end
// of `--screenshot` of the default state. Each start runs this program again as the child, on
// a data folder of its own: empty, or holding a document of 1,000 or 4,000 saved places; one
// more start has 100,000 tiles in its cache. The ratios of the document and cache starts to the
// empty one come from the same runs.
//
//   bench_start_bench [--runs R]    (default 5)

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "app/maps_app.h"
#include "net/http.h"
#include "platform/doc/persist.h"
#include "platform/launch/launch.h"
#include "shell/launch_record.h"
#include "tiles/disk_cache.h"
#include "window_harness.h"

namespace {

using Clock = std::chrono::steady_clock;

/// Child: a plain window start that reports its first frame on `fd` and ends there. Like a
/// plain start it takes its name on the session bus, follows the desktop's theme and offers
/// its accessibility tree.
int child_window(int fd) {
  auto const application = maps::maps_launch_spec();
  zarn_ui::launch::WindowStats stats;
  stats.on_frame = [fd] {
    char const byte = 1;
    (void)!write(fd, &byte, 1);
    _exit(0);
  };
  auto const result = zarn_ui::launch::run_window(
      application, zarn_ui::launch::LaunchArgs{},
      zarn_ui::launch::WindowOptions{
          .session_bus = true, .desktop_theme = true, .accessibility = true, .stats = &stats});
  return result ? 0 : 1;
}

int child_shot(char const* path) {
  auto const application = maps::maps_launch_spec();
  char const* argv[] = {"maps", "--screenshot", path};
  return zarn_ui::launch::run_or_exit(application, 3, argv);
}

namespace fs = std::filesystem;

/// Writes the document of a user with `n` saved places into `data` (an XDG data folder), as
/// the application would have saved it.
void write_document(fs::path const& data, int n) {
  maps::MapModel model = maps::default_map_model();
  for (int i = 0; i < n; ++i) {
    maps::Place p = maps::new_place(
        "osm-node-" + std::to_string(100000 + i), "Caf\xC3\xA9 am Platz " + std::to_string(i),
        static_cast<maps::PlaceCategory>(i % maps::PLACE_CATEGORY_NAMES.size()),
        48.08 + (i % 100) * 0.001, 11.50 + (i / 100) * 0.004,
        "Street " + std::to_string(i) + ", 80331 M\xC3\xBCnchen");
    p.saved = true;
    model.places.push_back(std::move(p));
  }
  auto persistence = zarn_ui::persist::Persistence::open_at({data / "test.zarn.maps", {}, {}, {}});
  auto app =
      maps::build_maps_app(std::move(model), maps::StreetNetwork{},
                           maps::tile_cache_without_worker("/nonexistent/tiles"), false, false);
  app.tick_doc(persistence.document()); // seeds the document
  if (!persistence.save_now()) {
    std::fprintf(stderr, "the document could not be written\n");
    std::exit(1);
  }
}

/// `n` small tile files in the cache folder `cache` (an XDG cache folder).
void write_tiles(fs::path const& cache, int n) {
  fs::path const root = cache / "zarn-maps" / "tiles" / "light";
  std::string const bytes(300, 't');
  for (int i = 0; i < n; ++i) {
    maps::TileKey const key{static_cast<std::uint32_t>(i % 400),
                            static_cast<std::uint32_t>(i / 400), 17};
    fs::path const file = root / maps::tile_cache_path(key);
    if (i < 400) {
      fs::create_directories(file.parent_path());
    }
    std::ofstream(file, std::ios::binary) << bytes;
  }
}

/// Milliseconds from starting the child to its first frame (window) or its end (screenshot).
/// `dir` holds the child's "data" and "cache" folders.
double time_start(char const* self, bool window, std::filesystem::path const& dir) {
  int fds[2];
  if (pipe(fds) != 0) {
    std::exit(1);
  }
  std::string const fd = std::to_string(fds[1]);
  std::string const shot = (dir / "shot.png").string();
  auto const t0 = Clock::now();
  pid_t const pid = fork();
  if (pid == 0) {
    close(fds[0]);
    setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
    if (window) {
      execl(self, self, "--child-window", fd.c_str(), static_cast<char*>(nullptr));
    } else {
      execl(self, self, "--child-shot", shot.c_str(), static_cast<char*>(nullptr));
    }
    _exit(127);
  }
  close(fds[1]);
  double ms = 0.0;
  if (window) {
    char byte = 0;
    bool const framed = read(fds[0], &byte, 1) == 1;
    ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    int status = 0;
    waitpid(pid, &status, 0);
    if (!framed) {
      std::fprintf(stderr, "the window showed no frame\n");
      std::exit(1);
    }
  } else {
    int status = 0;
    waitpid(pid, &status, 0);
    ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::fprintf(stderr, "the screenshot failed\n");
      std::exit(1);
    }
  }
  close(fds[0]);
  return ms;
}

} // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--child-window") == 0) {
    maps::ensure_crypto_provider();
    return child_window(std::atoi(argv[2]));
  }
  if (argc == 3 && std::strcmp(argv[1], "--child-shot") == 0) {
    maps::ensure_crypto_provider();
    return child_shot(argv[2]);
  }
  int runs = 5;
  if (argc == 3 && std::strcmp(argv[1], "--runs") == 0) {
    runs = std::max(1, std::atoi(argv[2]));
  }
  bench::PrivateDisplay const display;
  bench::PrivateSessionBus const bus;
  auto const dir = fs::temp_directory_path() / ("start-bench-" + std::to_string(getpid()));
  // Made once and copied for each run, so every start finds a folder no start has used.
  fs::path const made = dir / "made";
  write_document(made / "places-1000", 1000);
  write_document(made / "places-4000", 4000);
  write_tiles(made / "tiles-100000", 100000);
  auto fresh = [&](int run, char const* what, char const* data, char const* cache) {
    fs::path const d = dir / fmt::format("{}-{}", what, run);
    fs::create_directories(d);
    if (data != nullptr) {
      fs::copy(made / data, d / "data", fs::copy_options::recursive);
    }
    if (cache != nullptr) {
      fs::rename(made / cache, d / "cache"); // too large to copy; the runs take turns with it
    }
    return d;
  };
  auto give_back = [&](fs::path const& d, char const* cache) {
    fs::rename(d / "cache", made / cache);
  };
  std::vector<double> window_ms, places1000_ms, places4000_ms, tiles_ms, shot_ms;
  for (int r = 0; r < runs; ++r) {
    window_ms.push_back(time_start(argv[0], true, fresh(r, "empty", nullptr, nullptr)));
    places1000_ms.push_back(time_start(argv[0], true, fresh(r, "p1000", "places-1000", nullptr)));
    places4000_ms.push_back(time_start(argv[0], true, fresh(r, "p4000", "places-4000", nullptr)));
    fs::path const tiles = fresh(r, "tiles", nullptr, "tiles-100000");
    tiles_ms.push_back(time_start(argv[0], true, tiles));
    give_back(tiles, "tiles-100000");
    shot_ms.push_back(time_start(argv[0], false, fresh(r, "shot", nullptr, nullptr)));
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
  double const empty = bench::median(window_ms);
  std::printf("start to first frame under %s: %.0f ms (a document of 1,000 places: %.0f ms, of "
              "4,000: %.0f ms; 100,000 cached tiles: %.0f ms); --screenshot of the default "
              "state: %.0f ms (median of %d)\n",
              display.name().c_str(), empty, bench::median(places1000_ms),
              bench::median(places4000_ms), bench::median(tiles_ms), bench::median(shot_ms), runs);
  bench::metric("start_window_ms", empty);
  bench::metric("start_window_places_1000_ms", bench::median(places1000_ms));
  bench::metric("start_places_4000_ratio", bench::median(places4000_ms) / empty);
  bench::metric("start_tiles_100000_ratio", bench::median(tiles_ms) / empty);
  bench::metric("start_screenshot_ms", bench::median(shot_ms));
  bench::metric("start_on_dummy_driver", display.name() == "SDL dummy driver" ? 1.0 : 0.0);
  return 0;
}
