// Costs of the model's JSON forms at sizes the application meets: a road route plan of 2,000
// path points (written on every route answer, read on every model refresh) and an older-layout
// model of 1,000 places (read once when a document still has it).

#include <string>

#include <benchmark/benchmark.h>

#include "model/json.h"

namespace {

maps::ActivePlan route_plan(int points) {
  maps::Route route;
  route.mode = maps::TravelMode::Car;
  route.distance_m = 12345.6;
  route.duration_s = 987.4;
  for (int i = 0; i < points; ++i) {
    route.geometry.push_back({48.1371 + i * 1.37e-5, 11.5754 - i * 2.11e-5});
  }
  for (int i = 0; i < points / 50; ++i) {
    route.steps.push_back({"Turn left onto Sendlinger Stra\xC3\x9F"
                           "e",
                           120.5 + i, maps::Maneuver::Left});
  }
  route.from = route.geometry.front();
  route.to = route.geometry.back();
  return maps::ActivePlan{maps::ActivePlan::Route{route, std::nullopt, "Map centre",
                                                  maps::LatLon{48.2, 11.6}, "Destination",
                                                  maps::TravelMode::Car}};
}

std::string legacy_model(int places) {
  std::string text = "{\"places\":[";
  for (int i = 0; i < places; ++i) {
    if (i) {
      text += ',';
    }
    maps::Place p =
        maps::new_place("osm-node-" + std::to_string(1000 + i),
                        "Caf\xC3\xA9 Nummer " + std::to_string(i), maps::PlaceCategory::Cafe,
                        48.1 + i * 1e-4, 11.5 + i * 1e-4, "Marienplatz " + std::to_string(i));
    p.saved = i % 3 == 0;
    maps::append_json_text(text, p);
  }
  text += "],\"recents\":[\"cafe\",\"museum\"],\"selected\":null,\"route\":null,\"transit\":[],"
          "\"transit_choice\":0,\"panel\":\"Explore\",\"mode\":\"Car\",\"query\":\"\","
          "\"results\":[],\"origin\":null,\"origin_name\":\"Map centre\",\"dest\":null,"
          "\"center\":{\"lat\":48.1371,\"lon\":11.5754},\"zoom\":14.4,\"status\":\"\"}";
  return text;
}

void BM_WriteRoutePlan2000(benchmark::State& state) {
  auto const plan = route_plan(2000);
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::string text = maps::to_json_text(plan);
    bytes = text.size();
    benchmark::DoNotOptimize(text);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_WriteRoutePlan2000);

void BM_ReadRoutePlan2000(benchmark::State& state) {
  std::string const text = maps::to_json_text(route_plan(2000));
  for (auto _ : state) {
    auto plan = maps::from_json_text<maps::ActivePlan>(text);
    if (!plan) {
      state.SkipWithError(plan.error().c_str());
      break;
    }
    benchmark::DoNotOptimize(plan);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ReadRoutePlan2000);

void BM_ReadLegacyModel1000Places(benchmark::State& state) {
  std::string const text = legacy_model(1000);
  for (auto _ : state) {
    auto model = maps::from_json_text<maps::MapModel>(text);
    if (!model) {
      state.SkipWithError(model.error().c_str());
      break;
    }
    benchmark::DoNotOptimize(model);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ReadLegacyModel1000Places);

} // namespace
