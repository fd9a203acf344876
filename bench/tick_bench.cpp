// The frame tick on a document that already holds the model: an idle frame (nothing arrived,
// nothing due, document unchanged), and a frame that applies a 50-place search answer (the
// UpsertPlaces dispatch, the refresh and the ranking), once with places new to the document
// and once with an answer whose places are already stored.

#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include "app/maps_app.h"
#include "doc_dispatch.h"
#include "platform/doc/document.h"

namespace {

using maps::Place;
using zarn_ui::doc::Document;

constexpr int STORED_PLACES = 100;
constexpr int ANSWER_PLACES = 50;

Place place(std::string const& prefix, int i) {
  return maps::new_place(prefix + std::to_string(i), "Caf\xC3\xA9 " + std::to_string(i),
                         maps::PlaceCategory::Cafe, 48.13 + i * 1e-4, 11.57 + i * 1e-4,
                         "Street " + std::to_string(i) + ", M\xC3\xBCnchen");
}

std::vector<Place> answer_places() {
  std::vector<Place> out;
  for (int i = 0; i < ANSWER_PLACES; ++i) {
    out.push_back(place("osm-node-", i));
  }
  return out;
}

std::vector<Place> stored_places() {
  std::vector<Place> out;
  for (int i = 0; i < STORED_PLACES; ++i) {
    out.push_back(place("stored-", i));
  }
  return out;
}

struct Setup : bench::SeededApp {
  Setup() : SeededApp(stored_places()) {}

  void deliver(std::vector<Place> places) {
    ++app->jobs_in_flight;
    app->results_tx.send(maps::result::Search{std::move(places), "caf\xC3\xA9"});
  }
};

void BM_TickIdle(benchmark::State& state) {
  Setup s;
  for (auto _ : state) {
    s.app->tick_doc(s.doc);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_TickIdle);

void BM_TickSearchAnswerNewPlaces(benchmark::State& state) {
  Setup s;
  Document const seeded = s.doc;
  maps::DocBaseline const baseline = s.app->doc_baseline;
  std::vector<Place> const stored = s.app->model.places;
  std::vector<Place> const answer = answer_places();
  for (auto _ : state) {
    state.PauseTiming();
    s.doc = seeded;
    s.app->doc_baseline = baseline;
    s.app->model.places = stored;
    s.deliver(answer);
    state.ResumeTiming();
    s.app->tick_doc(s.doc);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_TickSearchAnswerNewPlaces)->Unit(benchmark::kMicrosecond);

void BM_TickSearchAnswerStoredPlaces(benchmark::State& state) {
  Setup s;
  std::vector<Place> const answer = answer_places();
  s.deliver(answer);
  s.app->tick_doc(s.doc);
  for (auto _ : state) {
    state.PauseTiming();
    s.deliver(answer);
    state.ResumeTiming();
    s.app->tick_doc(s.doc);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_TickSearchAnswerStoredPlaces)->Unit(benchmark::kMicrosecond);

} // namespace
