#include "net/net_log.h"

#include <spdlog/sinks/stdout_color_sinks.h>

namespace maps {

std::shared_ptr<spdlog::logger> net_logger() {
  // Request threads are detached and may log, even for the first time, while the process exits,
  // after spdlog's registry and its default logger are gone; so this logger owns its own sink,
  // is not registered, and lives for the whole process.
  static auto const* const logger =
      new std::shared_ptr<spdlog::logger>(std::make_shared<spdlog::logger>(
          "maps::net", std::make_shared<spdlog::sinks::stderr_color_sink_mt>()));
  return *logger;
}

} // namespace maps
