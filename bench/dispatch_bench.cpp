// One dispatch as the UI makes it (MapsApp::dispatch_maps_action: the action host, the
// executor, the updater, the commit and the refresh of what the action wrote) on a document of
// 1,000 places. Goal: at most 0.2 ms per dispatch. A last case has the document changed from
// outside before every dispatch, which takes the full reload, for comparison.

#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include "app/maps_app.h"
#include "doc/updaters.h"
#include "doc_dispatch.h"
#include "platform/doc/document.h"

namespace {

using maps::MapsAction;
using zarn_ui::doc::Document;

constexpr int PLACES = 1'000;

maps::Place place(int i) {
  return maps::new_place("osm-node-" + std::to_string(100000 + i),
                         "Caf\xC3\xA9 am Platz " + std::to_string(i), maps::PlaceCategory::Cafe,
                         48.13 + i * 1e-4, 11.57 + i * 1e-4,
                         "Street " + std::to_string(i) + ", 80331 M\xC3\xBCnchen");
}

std::vector<maps::Place> stored_places() {
  std::vector<maps::Place> out;
  for (int i = 0; i < PLACES; ++i) {
    out.push_back(place(i));
  }
  return out;
}

struct Setup : bench::SeededApp {
  Setup() : SeededApp(stored_places()) {}
};

template <class Make> void run(benchmark::State& state, Make make) {
  Setup s;
  int n = 0;
  for (auto _ : state) {
    s.app->dispatch_maps_action(s.doc, make(n++));
  }
  state.counters["places"] = PLACES;
}

void BM_DispatchSetPlaceSaved(benchmark::State& state) {
  std::string const id = place(500).id;
  run(state, [&](int n) { return MapsAction{MapsAction::SetPlaceSaved{id, n % 2 == 0}}; });
}
BENCHMARK(BM_DispatchSetPlaceSaved)->Unit(benchmark::kMillisecond);

void BM_DispatchCommitSearch(benchmark::State& state) {
  run(state,
      [](int n) { return MapsAction{MapsAction::CommitSearch{"query " + std::to_string(n)}}; });
}
BENCHMARK(BM_DispatchCommitSearch)->Unit(benchmark::kMillisecond);

void BM_DispatchSetTravelMode(benchmark::State& state) {
  run(state, [](int n) {
    return MapsAction{
        MapsAction::SetTravelMode{n % 2 == 0 ? maps::TravelMode::Bike : maps::TravelMode::Car}};
  });
}
BENCHMARK(BM_DispatchSetTravelMode)->Unit(benchmark::kMillisecond);

// A search answer of 20 places, half of them new each time.
void BM_DispatchUpsertPlaces20(benchmark::State& state) {
  run(state, [](int n) {
    MapsAction::UpsertPlaces a;
    for (int i = 0; i < 20; ++i) {
      a.places.push_back(place(i < 10 ? 300 + i : PLACES + n * 10 + i));
    }
    return MapsAction{std::move(a)};
  });
}
BENCHMARK(BM_DispatchUpsertPlaces20)->Unit(benchmark::kMillisecond)->Iterations(500);

// The document changed from outside before each dispatch (another writer's change merged):
// the refresh reloads everything.
void BM_DispatchAfterOutsideChange(benchmark::State& state) {
  Setup s;
  Document other = s.doc.fork();
  std::string const id = place(500).id;
  int n = 0;
  for (auto _ : state) {
    state.PauseTiming();
    (void)maps::apply_action_to_doc(MapsAction{MapsAction::SetPlaceSaved{id, n % 2 == 0}}, other);
    (void)s.doc.merge(other);
    state.ResumeTiming();
    s.app->dispatch_maps_action(s.doc,
                                MapsAction{MapsAction::SetTravelMode{
                                    n % 2 == 0 ? maps::TravelMode::Bike : maps::TravelMode::Car}});
    ++n;
  }
  state.counters["places"] = PLACES;
}
BENCHMARK(BM_DispatchAfterOutsideChange)->Unit(benchmark::kMillisecond);

} // namespace
