// Building the demo street network and synthesising its traffic: both run at every start from
// launch arguments (and the traffic again whenever the overlay is switched on).
#include <benchmark/benchmark.h>

#include "sample/street_network.h"

namespace {

void BM_SampleRoadNetwork(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(maps::sample_road_network());
  }
}
BENCHMARK(BM_SampleRoadNetwork);

void BM_SampleTraffic(benchmark::State& state) {
  maps::StreetNetwork const net = maps::sample_road_network();
  for (auto _ : state) {
    benchmark::DoNotOptimize(maps::sample_traffic(net));
  }
}
BENCHMARK(BM_SampleTraffic);

void BM_NetworkAndTraffic(benchmark::State& state) {
  for (auto _ : state) {
    maps::StreetNetwork net = maps::sample_road_network();
    benchmark::DoNotOptimize(maps::sample_traffic(net));
    benchmark::DoNotOptimize(net);
  }
}
BENCHMARK(BM_NetworkAndTraffic);

} // namespace
