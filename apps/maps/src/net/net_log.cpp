#include "net/net_log.h"

namespace maps {

std::shared_ptr<spdlog::logger> net_logger() {
  if (auto logger = spdlog::get("maps::net")) {
    return logger;
  }
  auto const& sinks = spdlog::default_logger()->sinks();
  auto logger = std::make_shared<spdlog::logger>("maps::net", sinks.begin(), sinks.end());
  try {
    spdlog::register_logger(logger);
  } catch (spdlog::spdlog_ex const&) {
    // Another request thread registered it first.
    if (auto registered = spdlog::get("maps::net")) {
      return registered;
    }
  }
  return logger;
}

} // namespace maps
