// Frames whose cost must follow the screen, not the user's saved places: the demo panning with
// 10 to 10,000 saved places strewn over the city (their pins on the map, their rows in the side
// panel), a steady frame with 10,000, and one change to a saved place (an upsert as another
// program makes it over the bus) with 10 and 4,000, each followed by its frame.

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "app/maps_app.h"
#include "frames.h"

namespace {

using namespace maps;
using bench::Frames;

/// `n` saved places spread evenly at random over about 12 x 11 km around the demo's centre.
std::vector<Place> strewn_places(std::size_t n, LatLon centre) {
  std::mt19937 rng(28);
  std::uniform_real_distribution<double> lat(-0.05, 0.05);
  std::uniform_real_distribution<double> lon(-0.08, 0.08);
  std::vector<Place> out;
  out.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    Place p = new_place("saved-" + std::to_string(i), "Saved place " + std::to_string(i),
                        static_cast<PlaceCategory>(i % PLACE_CATEGORY_NAMES.size()),
                        centre.lat + lat(rng), centre.lon + lon(rng),
                        "Street " + std::to_string(i) + ", 80331 M\xC3\xBCnchen");
    p.saved = true;
    out.push_back(std::move(p));
  }
  return out;
}

void with_places(Frames& frames, std::size_t n) {
  frames.app().model.places = strewn_places(n, frames.app().model.center);
  frames.app().model.selected.reset();
}

/// range(0): saved places; range(1): 1 to pan, 0 for a steady camera.
void BM_SavedPlacesFrame(benchmark::State& state) {
  Frames frames({});
  with_places(frames, static_cast<std::size_t>(state.range(0)));
  bench::run(state, frames, state.range(1) != 0);
  state.counters["places"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_SavedPlacesFrame)
    ->ArgNames({"places", "panning"})
    ->Args({10, 1})
    ->Args({100, 1})
    ->Args({1000, 1})
    ->Args({10000, 1})
    ->Args({10, 0})
    ->Args({10000, 0})
    ->Unit(benchmark::kMillisecond);

/// range(0): saved places. Each iteration renames one of them on the document, as an upsert
/// over the bus does, and draws the frame that shows it.
void BM_SavedPlaceChange(benchmark::State& state) {
  Frames frames({});
  with_places(frames, static_cast<std::size_t>(state.range(0)));
  for (int i = 0; i < 3; ++i) { // seeds the document, warms the caches
    frames.frame();
  }
  Place changed = frames.app().model.places.front();
  int n = 0;
  for (auto _ : state) {
    changed.name = "Renamed place " + std::to_string(n++);
    MapsAction::UpsertPlaces upsert;
    upsert.places.push_back(changed);
    frames.app().dispatch_maps_action(frames.state().document(), MapsAction{std::move(upsert)});
    if (!frames.frame()) {
      state.SkipWithError("frame failed");
      break;
    }
    benchmark::ClobberMemory();
  }
  state.counters["places"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_SavedPlaceChange)
    ->ArgName("places")
    ->Arg(10)
    ->Arg(4000)
    ->Unit(benchmark::kMillisecond);

} // namespace
