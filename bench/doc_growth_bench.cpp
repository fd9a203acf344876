// A document after a long life: 10,000 SetRoute of 1,000-point routes and 10,000 searches, each
// dispatched and saved the way the app saves (through the persistence, every 100 actions). It
// prints the file's size and times loading it (the file alone, and the model from it), and it
// times one dispatch on that document next to the same dispatch on a young one, so that a cost
// growing with history shows as a difference. Goals: the file at most 2 MB, loading at most
// 20 ms, the two dispatch figures alike.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <benchmark/benchmark.h>

#include "doc/load.h"
#include "doc/save.h"
#include "doc/updaters.h"
#include "doc_dispatch.h"
#include "platform/doc/document.h"
#include "platform/doc/persist.h"

namespace {

namespace fs = std::filesystem;
using maps::MapModel;
using maps::MapsAction;
using zarn_ui::doc::Document;

constexpr int ROUTES = 10'000;
constexpr int SEARCHES = 10'000;
constexpr int ROUTE_POINTS = 1'000;
constexpr int SAVE_EVERY = 100;

maps::Route route(int n) {
  maps::Route r;
  r.mode = maps::TravelMode::Car;
  for (int i = 0; i < ROUTE_POINTS; ++i) {
    r.geometry.push_back({48.1 + i * 1e-4 + n * 1e-7, 11.5 + i * 1e-4});
  }
  for (int i = 0; i < 10; ++i) {
    r.steps.push_back({"Turn onto Street " + std::to_string(i), 120.0 + i, maps::Maneuver::Left});
  }
  r.distance_m = 12'000 + n;
  r.duration_s = 900;
  r.from = r.geometry.front();
  r.to = r.geometry.back();
  return r;
}

MapsAction set_route(int n) {
  return MapsAction{MapsAction::SetRoute{route(n), maps::LatLon{48.1, 11.5}, "Home", std::nullopt,
                                         "Destination " + std::to_string(n),
                                         maps::TravelMode::Car}};
}

MapsAction search(int n) {
  return MapsAction{MapsAction::CommitSearch{"coffee near stop " + std::to_string(n)}};
}

struct Grown {
  fs::path dir;
  zarn_ui::doc::Bytes file;
  std::size_t peak_file = 0;

  Grown() {
    char tmpl[] = "/tmp/doc-growth-XXXXXX";
    dir = ::mkdtemp(tmpl);
    auto p = zarn_ui::persist::Persistence::open_at({dir, {}, {}, {}});
    auto& d = p.document();
    MapModel live = maps::default_map_model();
    maps::DocBaseline baseline;
    maps::seed_if_empty(d, live, baseline);
    for (int i = 0; i < std::max(ROUTES, SEARCHES); ++i) {
      if (i < ROUTES) {
        bench::dispatch_to_doc(d, set_route(i), live, baseline);
      }
      if (i < SEARCHES) {
        bench::dispatch_to_doc(d, search(i), live, baseline);
      }
      if ((i + 1) % SAVE_EVERY == 0) {
        (void)p.save_now();
        peak_file = std::max<std::size_t>(peak_file, fs::file_size(*p.file()));
      }
    }
    (void)p.save_now();
    std::ifstream in(*p.file(), std::ios::binary);
    file.assign(std::istreambuf_iterator<char>(in), {});
    std::printf("after %d SetRoute of %d-point routes and %d searches: file %.2f MB (largest "
                "on the way %.2f MB; goal at most 2 MB)\n",
                ROUTES, ROUTE_POINTS, SEARCHES, static_cast<double>(file.size()) / 1e6,
                static_cast<double>(peak_file) / 1e6);
  }
  ~Grown() { fs::remove_all(dir); }
};

Grown const& grown() {
  static Grown const g;
  return g;
}

void BM_GrownFileLoad(benchmark::State& state) {
  auto const& bytes = grown().file;
  for (auto _ : state) {
    auto d = Document::load(bytes);
    benchmark::DoNotOptimize(d.has_value());
  }
  state.counters["file_MB"] = static_cast<double>(bytes.size()) / 1e6;
}
BENCHMARK(BM_GrownFileLoad)->Unit(benchmark::kMillisecond);

// What a start does with the file: load it, then read the model from it.
void BM_GrownFileLoadWithModel(benchmark::State& state) {
  auto const& bytes = grown().file;
  for (auto _ : state) {
    auto d = Document::load(bytes);
    auto m = maps::load_model_from_doc(*d);
    benchmark::DoNotOptimize(m->recents.size());
  }
}
BENCHMARK(BM_GrownFileLoadWithModel)->Unit(benchmark::kMillisecond);

// range(0): 1 on the grown document, 0 on a young one (seeded, one route and one search).
template <class Make> void dispatch_bench(benchmark::State& state, Make make) {
  Document d = state.range(0) == 1 ? *Document::load(grown().file) : Document{};
  MapModel live = maps::default_map_model();
  maps::DocBaseline baseline;
  maps::seed_if_empty(d, live, baseline);
  if (state.range(0) == 0) {
    bench::dispatch_to_doc(d, set_route(0), live, baseline);
    bench::dispatch_to_doc(d, search(0), live, baseline);
  }
  maps::refresh_model_from_doc(d, live, baseline);
  int n = ROUTES + SEARCHES;
  for (auto _ : state) {
    bench::dispatch_to_doc(d, make(n++), live, baseline);
  }
  state.counters["history_actions"] = state.range(0) == 1 ? ROUTES + SEARCHES : 2;
}

void BM_DispatchSearch(benchmark::State& state) {
  dispatch_bench(state, search);
}
BENCHMARK(BM_DispatchSearch)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_DispatchSetRoute(benchmark::State& state) {
  dispatch_bench(state, set_route);
}
BENCHMARK(BM_DispatchSetRoute)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_DispatchSetTravelMode(benchmark::State& state) {
  dispatch_bench(state, [](int n) {
    return MapsAction{
        MapsAction::SetTravelMode{n % 2 == 0 ? maps::TravelMode::Bike : maps::TravelMode::Car}};
  });
}
BENCHMARK(BM_DispatchSetTravelMode)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace
