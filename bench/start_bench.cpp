// Start-up time of the application as a fresh process: from the start of the process to the
// first frame shown in its window (a plain start, under Xvfb when installed), and to the end
// of `--screenshot` of the default state. Each start runs this program again as the child, on
// a private data and cache directory.
//
//   bench_start_bench [--runs R]    (default 5)

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "net/http.h"
#include "platform/launch/launch.h"
#include "shell/launch_record.h"
#include "window_harness.h"

namespace {

using Clock = std::chrono::steady_clock;

/// Child: a plain window start that reports its first frame on `fd` and ends there.
int child_window(int fd) {
  auto const application = maps::maps_launch_spec();
  zarn_ui::launch::WindowStats stats;
  stats.on_frame = [fd] {
    char const byte = 1;
    (void)!write(fd, &byte, 1);
    _exit(0);
  };
  auto const result = zarn_ui::launch::run_window(application, zarn_ui::launch::LaunchArgs{},
                                                  zarn_ui::launch::WindowOptions{.stats = &stats});
  return result ? 0 : 1;
}

int child_shot(char const* path) {
  auto const application = maps::maps_launch_spec();
  char const* argv[] = {"maps", "--screenshot", path};
  return zarn_ui::launch::run_or_exit(application, 3, argv);
}

/// Milliseconds from starting the child to its first frame (window) or its end (screenshot).
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
  auto const dir =
      std::filesystem::temp_directory_path() / ("start-bench-" + std::to_string(getpid()));
  std::vector<double> window_ms, shot_ms;
  for (int r = 0; r < runs; ++r) {
    window_ms.push_back(time_start(argv[0], true, dir));
    shot_ms.push_back(time_start(argv[0], false, dir));
  }
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  std::printf("start to first frame under %s: %.0f ms; --screenshot of the default state: %.0f ms "
              "(median of %d)\n",
              display.name().c_str(), bench::median(window_ms), bench::median(shot_ms), runs);
  bench::metric("start_window_ms", bench::median(window_ms));
  bench::metric("start_screenshot_ms", bench::median(shot_ms));
  return 0;
}
