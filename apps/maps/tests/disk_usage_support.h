#pragma once
// Waiting in a test for the tile cache's size, which is measured off the UI thread.

#include <chrono>
#include <cstdint>
#include <variant>

#include <gtest/gtest.h>

#include "tiles/tile_cache.h"

namespace maps::test {

/// Waits (at most ten seconds) for the measurement of a cache without a worker to arrive, then
/// queues it again, so that the next tick takes it as it would have without the test waiting.
/// A measurement the last tick took already is not waited for.
inline void await_disk_usage(TileCache& tiles) {
  ASSERT_TRUE(tiles.disk_usage_rx && tiles.disk_usage_tx) << "no measurement was started";
  if (!tiles.disk_measuring) {
    return;
  }
  auto next = tiles.disk_usage_rx->recv_timeout(std::chrono::seconds(10));
  auto const* bytes = std::get_if<std::uint64_t>(&next);
  ASSERT_NE(bytes, nullptr) << "no measurement arrived";
  ASSERT_TRUE(tiles.disk_usage_tx->send(*bytes));
}

} // namespace maps::test
