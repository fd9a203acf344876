#include "net/net_log.h"

namespace maps {

std::shared_ptr<spdlog::logger> net_logger() {
  // Request threads are detached and may log while the process exits, after spdlog's registry
  // is gone; so the logger is not registered and lives for the whole process.
  static auto const* const logger = [] {
    auto const& sinks = spdlog::default_logger()->sinks();
    return new std::shared_ptr<spdlog::logger>(
        std::make_shared<spdlog::logger>("maps::net", sinks.begin(), sinks.end()));
  }();
  return *logger;
}

} // namespace maps
