#include "net/service_pause.h"

#include <algorithm>
#include <ctime>
#include <mutex>
#include <unordered_map>

#include <fmt/format.h>

namespace maps {

namespace {

struct Pauses {
  std::mutex mutex;
  std::unordered_map<std::string, ServicePause> by_origin;
};

Pauses& pauses() {
  // Never destroyed: detached request threads may ask during the process's static teardown.
  static auto* p = new Pauses;
  return *p;
}

} // namespace

std::string_view url_origin(std::string_view url) {
  std::size_t const scheme = url.find("://");
  std::size_t const start = scheme == std::string_view::npos ? 0 : scheme + 3;
  std::size_t const end = url.find_first_of("/?#", start);
  return url.substr(0, end);
}

bool asks_for_pause(unsigned status) {
  return status == 429 || status == 503;
}

ServicePause pause_service(std::string_view url, std::chrono::seconds delay,
                           std::chrono::steady_clock::time_point now) {
  delay = std::clamp(delay, std::chrono::seconds{0}, MAX_SERVICE_PAUSE);
  ServicePause const asked{now + delay, std::chrono::system_clock::now() + delay};
  auto& p = pauses();
  std::lock_guard lock(p.mutex);
  auto [it, inserted] = p.by_origin.try_emplace(std::string(url_origin(url)), asked);
  if (!inserted && it->second.until < asked.until) {
    it->second = asked;
  }
  return it->second;
}

std::optional<ServicePause> service_paused(std::string_view url,
                                           std::chrono::steady_clock::time_point now) {
  auto& p = pauses();
  std::lock_guard lock(p.mutex);
  auto const it = p.by_origin.find(std::string(url_origin(url)));
  if (it == p.by_origin.end()) {
    return std::nullopt;
  }
  if (it->second.until <= now) {
    p.by_origin.erase(it);
    return std::nullopt;
  }
  return it->second;
}

void forget_service_pauses() {
  auto& p = pauses();
  std::lock_guard lock(p.mutex);
  p.by_origin.clear();
}

std::string service_busy_text(ServicePause const& pause) {
  // Rounded up: a minute named is one in which the service answers again.
  std::time_t const t = std::chrono::system_clock::to_time_t(
      std::chrono::ceil<std::chrono::minutes>(pause.wall_until));
  std::tm local{};
  localtime_r(&t, &local);
  return fmt::format("the service is busy until {:02}:{:02}", local.tm_hour, local.tm_min);
}

} // namespace maps
