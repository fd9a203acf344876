// The document store with 1,000 places: saving and loading the file, loading the model,
// the per-frame refresh when nothing changed, and dispatching actions through the updaters.

#include <string>

#include <benchmark/benchmark.h>

#include "doc/load.h"
#include "doc/save.h"
#include "doc/updaters.h"
#include "doc_dispatch.h"
#include "platform/doc/document.h"

namespace {

using maps::MapModel;
using maps::MapsAction;
using zarn_ui::doc::Document;

constexpr int PLACE_COUNT = 1000;

maps::Place place(int i, std::string const& suffix = "") {
  return maps::new_place("osm-node-" + std::to_string(100000 + i), "Place " + std::to_string(i),
                         static_cast<maps::PlaceCategory>(i % 11), 48.0 + i * 1e-4, 11.5 + i * 1e-4,
                         "Street " + std::to_string(i) + suffix);
}

MapModel model_with_places() {
  MapModel m = maps::default_map_model();
  for (int i = 0; i < PLACE_COUNT; ++i) {
    m.places.push_back(place(i));
  }
  m.recents = {"coffee near me", "Hauptbahnhof", "Marienplatz"};
  m.regions = {{"region:1", "Altstadt", {48.13, 11.56}, {48.15, 11.59}, 10, 16, 1234}};
  return m;
}

Document const& seeded() {
  static Document const doc = [] {
    Document d(zarn_ui::doc::Bytes(16, 7));
    maps::save_model_to_doc(d, model_with_places());
    d.commit();
    return d;
  }();
  return doc;
}

void BM_SaveDocument(benchmark::State& state) {
  Document d = seeded();
  std::size_t size = 0;
  for (auto _ : state) {
    auto bytes = d.save();
    size = bytes.size();
    benchmark::DoNotOptimize(bytes.data());
  }
  state.counters["bytes"] = static_cast<double>(size);
}
BENCHMARK(BM_SaveDocument)->Unit(benchmark::kMillisecond);

void BM_LoadDocument(benchmark::State& state) {
  Document d = seeded();
  auto const bytes = d.save();
  for (auto _ : state) {
    auto loaded = Document::load(bytes);
    benchmark::DoNotOptimize(loaded.has_value());
  }
  state.counters["bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_LoadDocument)->Unit(benchmark::kMillisecond);

void BM_LoadModel(benchmark::State& state) {
  Document const& d = seeded();
  for (auto _ : state) {
    auto m = maps::load_model_from_doc(d);
    benchmark::DoNotOptimize(m->places.size());
  }
}
BENCHMARK(BM_LoadModel)->Unit(benchmark::kMillisecond);

void BM_RefreshUnchanged(benchmark::State& state) {
  Document d = seeded();
  MapModel live = model_with_places();
  maps::DocBaseline baseline;
  maps::refresh_model_from_doc(d, live, baseline);
  for (auto _ : state) {
    benchmark::DoNotOptimize(maps::refresh_model_from_doc(d, live, baseline));
  }
}
BENCHMARK(BM_RefreshUnchanged);

void BM_DispatchSetPlaceSaved(benchmark::State& state) {
  Document d = seeded();
  MapModel live = model_with_places();
  maps::DocBaseline baseline;
  maps::refresh_model_from_doc(d, live, baseline);
  bool saved = true;
  std::string const id = place(500).id;
  for (auto _ : state) {
    bench::dispatch_to_doc(d, MapsAction{MapsAction::SetPlaceSaved{id, saved}}, live, baseline);
    saved = !saved;
  }
}
BENCHMARK(BM_DispatchSetPlaceSaved)->Unit(benchmark::kMillisecond);

// Only the updater and the commit: what the document work itself costs.
void BM_UpdaterSetPlaceSaved(benchmark::State& state) {
  Document d = seeded();
  bool saved = true;
  std::string const id = place(500).id;
  for (auto _ : state) {
    (void)maps::apply_action_to_doc(MapsAction{MapsAction::SetPlaceSaved{id, saved}}, d);
    d.commit();
    saved = !saved;
  }
}
BENCHMARK(BM_UpdaterSetPlaceSaved);

// 20 places of a search answer; range(0) = 1 changes every address (back and forth, so each
// round adds a little text history), 0 repeats known places unchanged.
void BM_UpdaterUpsertPlaces20(benchmark::State& state) {
  Document d = seeded();
  bool const changing = state.range(0) != 0;
  int round = 0;
  for (auto _ : state) {
    MapsAction::UpsertPlaces a;
    for (int i = 0; i < 20; ++i) {
      a.places.push_back(place(300 + i, changing && round % 2 == 1 ? " (rear)" : ""));
    }
    (void)maps::apply_action_to_doc(MapsAction{std::move(a)}, d);
    d.commit();
    ++round;
  }
}
// Changing addresses adds text history every round, so the changing case runs a fixed number
// of rounds to keep its figure comparable between runs.
BENCHMARK(BM_UpdaterUpsertPlaces20)->Arg(0);
BENCHMARK(BM_UpdaterUpsertPlaces20)->Arg(1)->Iterations(200);

void BM_DispatchUpsertPlaces20(benchmark::State& state) {
  Document d = seeded();
  MapModel live = model_with_places();
  maps::DocBaseline baseline;
  maps::refresh_model_from_doc(d, live, baseline);
  int round = 0;
  for (auto _ : state) {
    MapsAction::UpsertPlaces a;
    for (int i = 0; i < 20; ++i) {
      a.places.push_back(place(300 + i, round % 2 == 1 ? " (rear)" : ""));
    }
    bench::dispatch_to_doc(d, MapsAction{std::move(a)}, live, baseline);
    ++round;
  }
}
BENCHMARK(BM_DispatchUpsertPlaces20)->Unit(benchmark::kMillisecond)->Iterations(200);

} // namespace
