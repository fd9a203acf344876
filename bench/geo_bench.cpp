// Geometry speed: decoding a 10,000-point encoded polyline, simplifying a 100,000-point path
// with the 3 m tolerance of service geometry, and simplifying zigzags, the split's worst shape:
// 64,000 points (a 960 KB answer) and as many as the largest answer body can carry (goal: the
// latter within 1 s).

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "apps/maps/tests/polyline_text.h"
#include "geo/geo.h"

namespace {

// A wandering path: small steps with a slowly turning heading and some jitter.
std::vector<maps::LatLon> wandering_path(std::size_t n) {
  std::mt19937_64 rng(7);
  std::normal_distribution<double> jitter(0.0, 0.000005);
  std::vector<maps::LatLon> path;
  path.reserve(n);
  double lat = 48.1;
  double lon = 11.5;
  double heading = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    heading += 0.02 * std::sin(static_cast<double>(i) * 0.001);
    lat += 0.00005 * std::cos(heading) + jitter(rng);
    lon += 0.00005 * std::sin(heading) + jitter(rng);
    path.push_back({lat, lon});
  }
  return path;
}

void BM_DecodePolyline10k(benchmark::State& state) {
  auto const path = wandering_path(10000);
  std::string const encoded = maps::test::encode_points(path, 6);
  for (auto _ : state) {
    auto points = maps::decode_polyline(encoded, 6);
    benchmark::DoNotOptimize(points);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * path.size()));
}
BENCHMARK(BM_DecodePolyline10k)->Unit(benchmark::kMicrosecond);

void BM_SimplifyPath100k(benchmark::State& state) {
  auto const path = wandering_path(100000);
  std::size_t kept = 0;
  for (auto _ : state) {
    auto out = maps::simplify_polyline(path, 3.0);
    kept = out.size();
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * path.size()));
  state.counters["kept"] = static_cast<double>(kept);
}
BENCHMARK(BM_SimplifyPath100k)->Unit(benchmark::kMillisecond);

// Corners 22 m apart, alternating across a line: each split peels off one point, so without a
// bound the split costs the square of the length.
std::vector<maps::LatLon> zigzag(std::size_t n) {
  std::vector<maps::LatLon> path;
  path.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    path.push_back({48.1 + (i % 2 == 0 ? 0.0 : 0.0002), 11.5 + 0.000001 * static_cast<double>(i)});
  }
  return path;
}

void simplify_zigzag(benchmark::State& state, std::size_t n) {
  auto const path = zigzag(n);
  std::size_t kept = 0;
  for (auto _ : state) {
    auto out = maps::simplify_polyline(path, 3.0);
    kept = out.size();
    benchmark::DoNotOptimize(out);
  }
  state.counters["points"] = static_cast<double>(n);
  state.counters["kept"] = static_cast<double>(kept);
}

void BM_SimplifyZigzag64k(benchmark::State& state) {
  simplify_zigzag(state, 64000);
}
BENCHMARK(BM_SimplifyZigzag64k)->Unit(benchmark::kMillisecond);

// The shortest GeoJSON position with its comma, "[0,0],", takes 6 bytes: a 32 MiB body holds
// at most 5.59 million positions.
void BM_SimplifyZigzag32MiBAnswer(benchmark::State& state) {
  simplify_zigzag(state, (std::size_t{32} << 20) / 6);
}
BENCHMARK(BM_SimplifyZigzag32MiBAnswer)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
