#pragma once
// The plain starts the window benchmarks share: the application with its tiles and services on
// one URL (a closed port of 127.0.0.1, where connections are refused, or a host name that never
// resolves), its tile cache in a folder of its own.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/maps_app.h"
#include "tiles/tile_cache.h"
#include "window_harness.h"

namespace bench {

struct Network {
  char const* what;   // as printed
  char const* metric; // the metrics' prefix
  std::string url;
};

/// Without network: the services on a closed port, then on a name that does not resolve
/// (".invalid" is reserved for that).
inline std::vector<Network> networks() {
  return {
      {"plain start without network", "offline",
       "http://127.0.0.1:" + std::to_string(closed_port())},
      {"plain start whose host names do not resolve", "unresolved",
       "http://maps-idle-bench.invalid"},
  };
}

inline std::unique_ptr<maps::MapsApp> plain_start_at(std::string const& url,
                                                     std::filesystem::path const& tile_dir) {
  auto app = std::make_unique<maps::MapsApp>(
      maps::build_maps_app(maps::default_map_model(), maps::StreetNetwork{},
                           maps::light_tile_cache(tile_dir, maps::tile_server(url)), false, true));
  app->services = maps::ServiceUrls{url, url, url, url};
  return app;
}

} // namespace bench
