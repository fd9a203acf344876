// Parsing speed of service answers: a road route of about 1 MB and a points-of-interest
// answer of 2,000 elements, from text to model values.

#include <cmath>
#include <string>

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include "net/http.h"
#include "net/poi.h"
#include "net/routing.h"

namespace {

std::string route_answer(std::size_t target_bytes) {
  std::string coords;
  std::string steps;
  int i = 0;
  while (coords.size() + steps.size() < target_bytes) {
    double const t = i * 0.00003;
    coords +=
        fmt::format("{}[{:.6f},{:.6f}]", i == 0 ? "" : ",", 11.5 + t + 0.0004 * std::sin(i * 0.05),
                    48.1 + t * 0.7 + 0.0003 * std::cos(i * 0.031));
    if (i % 40 == 0) {
      steps += fmt::format(
          R"({}{{"distance":{:.1f},"duration":{:.1f},"name":"Street {}","mode":"driving",)"
          R"("maneuver":{{"type":"turn","modifier":"{}","location":[11.5,48.1]}}}})",
          steps.empty() ? "" : ",", 120.5 + i, 30.0 + i, i, i % 80 == 0 ? "left" : "slight right");
    }
    ++i;
  }
  return fmt::format(
      R"({{"code":"Ok","waypoints":[],"routes":[{{"distance":81234.5,"duration":4321.0,)"
      R"("geometry":{{"type":"LineString","coordinates":[{}]}},)"
      R"("legs":[{{"distance":81234.5,"duration":4321.0,"steps":[{}]}}]}}]}})",
      coords, steps);
}

std::string poi_answer(int elements) {
  std::string out = R"({"version":0.6,"generator":"bench","elements":[)";
  for (int i = 0; i < elements; ++i) {
    if (i > 0) {
      out += ',';
    }
    if (i % 3 == 0) {
      out += fmt::format(
          R"({{"type":"way","id":{},"center":{{"lat":{:.7f},"lon":{:.7f}}},"tags":{{"shop":"department_store",)"
          R"("name":"Shop {}","addr:street":"Kaufingerstraße","addr:housenumber":"{}","addr:city":"München"}}}})",
          100000 + i, 48.13 + i * 1e-5, 11.57 + i * 1e-5, i, i % 90);
    } else {
      out += fmt::format(
          R"({{"type":"node","id":{},"lat":{:.7f},"lon":{:.7f},"tags":{{"amenity":"restaurant","name":"Place {}",)"
          R"("cuisine":"regional_german","opening_hours":"Mo-Su 10:00-23:00","website":"https://example.test/{}",)"
          R"("phone":"+49 89 {}"}}}})",
          200000 + i, 48.13 + i * 1e-5, 11.57 + i * 1e-5, i, i, 1000000 + i);
    }
  }
  out += "]}";
  return out;
}

void BM_ParseRouteAnswer1MB(benchmark::State& state) {
  std::string const text = route_answer(1 << 20);
  for (auto _ : state) {
    auto route = maps::parse_route_answer(text, {48.1, 11.5}, {48.2, 11.6}, maps::TravelMode::Car);
    benchmark::DoNotOptimize(route);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.counters["bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_ParseRouteAnswer1MB)->Unit(benchmark::kMillisecond);

void BM_ParsePois2000(benchmark::State& state) {
  std::string const text = poi_answer(2000);
  for (auto _ : state) {
    auto pois = maps::parse_pois(text);
    benchmark::DoNotOptimize(pois);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.counters["bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_ParsePois2000)->Unit(benchmark::kMillisecond);

} // namespace
