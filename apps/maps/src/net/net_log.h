#pragma once
// The log of the service queries ("maps::net"): the technical detail of a failure whose
// status-line text is written for the user. Shares the sinks of the default logger.

#include <memory>

#include <spdlog/spdlog.h>

namespace maps {

std::shared_ptr<spdlog::logger> net_logger();

} // namespace maps
