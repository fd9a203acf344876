// Parsing of service answers, from text to model values: the speed for a road route of
// 1.25 MB and a points-of-interest answer of 2,000 elements, and the peak of heap memory
// while parsing bodies up to the 32 MiB body limit (goal: at most twice the body).

#include <malloc.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include "geo/geo.h"
#include "net/geocode.h"
#include "net/http.h"
#include "net/poi.h"
#include "net/routing.h"
#include "net/transit.h"

// Heap bytes in use and their peak, counted by the global allocation functions of this program.
namespace {
std::atomic<std::size_t> heap_now{0};
std::atomic<std::size_t> heap_peak{0};

void* counted_alloc(std::size_t size, std::size_t align) {
  void* p = align > alignof(std::max_align_t) ? std::aligned_alloc(align, (size + align - 1) / align * align)
                                              : std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) {
    throw std::bad_alloc();
  }
  std::size_t const now = heap_now.fetch_add(malloc_usable_size(p)) + malloc_usable_size(p);
  std::size_t peak = heap_peak.load();
  while (now > peak && !heap_peak.compare_exchange_weak(peak, now)) {
  }
  return p;
}

void counted_free(void* p) {
  if (p != nullptr) {
    heap_now.fetch_sub(malloc_usable_size(p));
    std::free(p);
  }
}
} // namespace

void* operator new(std::size_t size) { return counted_alloc(size, 0); }
void* operator new[](std::size_t size) { return counted_alloc(size, 0); }
void* operator new(std::size_t size, std::align_val_t a) {
  return counted_alloc(size, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t size, std::align_val_t a) {
  return counted_alloc(size, static_cast<std::size_t>(a));
}
void operator delete(void* p) noexcept { counted_free(p); }
void operator delete[](void* p) noexcept { counted_free(p); }
void operator delete(void* p, std::size_t) noexcept { counted_free(p); }
void operator delete[](void* p, std::size_t) noexcept { counted_free(p); }
void operator delete(void* p, std::align_val_t) noexcept { counted_free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { counted_free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { counted_free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { counted_free(p); }

namespace {

// `wiggle` scales the line's sideways swings (0: a straight line, which simplifies in one pass).
std::string route_answer(std::size_t target_bytes, double wiggle = 1.0) {
  std::string coords;
  std::string steps;
  int i = 0;
  while (coords.size() + steps.size() < target_bytes) {
    double const t = i * 0.00003;
    coords +=
        fmt::format("{}[{:.6f},{:.6f}]", i == 0 ? "" : ",", 11.5 + t + wiggle * 0.0004 * std::sin(i * 0.05),
                    48.1 + t * 0.7 + wiggle * 0.0003 * std::cos(i * 0.031));
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

constexpr std::size_t ROUTE_BYTES = std::size_t{5} << 18; // 1.25 MiB

void BM_ParseRouteAnswer1_25MB(benchmark::State& state) {
  std::string const text = route_answer(ROUTE_BYTES);
  for (auto _ : state) {
    auto route = maps::parse_route_answer(text, {48.1, 11.5}, {48.2, 11.6}, maps::TravelMode::Car);
    benchmark::DoNotOptimize(route);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.counters["bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_ParseRouteAnswer1_25MB)->Unit(benchmark::kMillisecond);

// The same size of answer along a straight line: the reading alone, nearly.
void BM_ParseStraightRouteAnswer1_25MB(benchmark::State& state) {
  std::string const text = route_answer(ROUTE_BYTES, 0.0);
  for (auto _ : state) {
    auto route = maps::parse_route_answer(text, {48.1, 11.5}, {48.2, 11.6}, maps::TravelMode::Car);
    benchmark::DoNotOptimize(route);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.counters["bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_ParseStraightRouteAnswer1_25MB)->Unit(benchmark::kMillisecond);

// The simplification alone, on the points of the same answer (part of the parse above).
void BM_SimplifyRouteOf1_25MB(benchmark::State& state) {
  std::string const text = route_answer(ROUTE_BYTES);
  // Simplifying with no tolerance keeps every point.
  std::vector<maps::LatLon> points;
  std::size_t pos = text.find("\"coordinates\":[") + 15;
  while (text[pos] == '[' || text[pos] == ',') {
    pos += text[pos] == ',' ? 1 : 0;
    double lon = 0;
    double lat = 0;
    std::sscanf(text.c_str() + pos, "[%lf,%lf]", &lon, &lat);
    points.push_back({lat, lon});
    pos = text.find(']', pos) + 1;
  }
  for (auto _ : state) {
    auto line = maps::simplify_polyline(points, maps::ROUTE_SIMPLIFY_TOLERANCE_M);
    benchmark::DoNotOptimize(line);
  }
  state.counters["points"] = static_cast<double>(points.size());
}
BENCHMARK(BM_SimplifyRouteOf1_25MB)->Unit(benchmark::kMillisecond);

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

constexpr std::size_t BODY_LIMIT = maps::MAX_BODY_BYTES;

std::string empty_objects(std::size_t bytes) {
  std::string out = "[";
  while (out.size() + 4 < bytes) {
    out += "{},";
  }
  out += "{}]";
  return out;
}

std::string transit_answer(std::size_t bytes) {
  std::string legs;
  while (legs.size() + 400 < bytes) {
    legs += R"({"mode":"BUS","routeShortName":"52","headsign":"Ostbahnhof","agencyName":"MVG",)"
            R"("from":{"name":"Marienplatz","lat":48.137,"lon":11.575},"to":{"name":"Sendlinger )"
            R"(Tor","lat":48.134,"lon":11.567},"startTime":"2024-05-01T07:41:00Z","endTime":)"
            R"("2024-05-01T07:44:00Z","legGeometry":{"points":"_c`|@_gayB?_qo]","precision":6},)"
            R"("intermediateStops":[{"name":"A"},{"name":"B"}]},)";
  }
  legs += R"({"mode":"WALK"})";
  return R"({"itineraries":[{"startTime":"2024-05-01T07:41:00Z","legs":[)" + legs + "]}]}";
}

std::string geocoder_answer(std::size_t bytes) {
  std::string out = "[";
  while (out.size() + 300 < bytes) {
    out += R"({"place_id":1,"osm_type":"node","osm_id":42,"lat":"48.137","lon":"11.575",)"
           R"("class":"amenity","type":"cafe","name":"Café","display_name":"Café, Marienplatz )"
           R"(1, 80331 München, Deutschland","address":{"road":"Marienplatz","house_number":"1"},)"
           R"("boundingbox":["48.1","48.2","11.5","11.6"]},)";
  }
  out += "{}]";
  return out;
}

// Peak heap bytes above the body while `parse` runs, against the body's size.
void peak_memory(benchmark::State& state, std::string const& body,
                 std::function<bool(std::string_view)> const& parse) {
  std::size_t peak = 0;
  bool ok = false;
  for (auto _ : state) {
    std::size_t const before = heap_now.load();
    heap_peak.store(before);
    ok = parse(body);
    peak = heap_peak.load() - before;
  }
  state.counters["body_MiB"] = static_cast<double>(body.size()) / (1 << 20);
  state.counters["peak_MiB"] = static_cast<double>(peak) / (1 << 20);
  state.counters["peak_per_body"] = static_cast<double>(peak) / static_cast<double>(body.size());
  state.counters["parsed"] = ok ? 1 : 0;
}

void BM_PeakMemory(benchmark::State& state) {
  std::string const body = empty_objects(BODY_LIMIT);
  switch (state.range(0)) {
  case 0:
    state.SetLabel("[{},{},...] as search answer");
    peak_memory(state, body, [](std::string_view t) { return maps::parse_search_answer(t).has_value(); });
    break;
  case 1:
    state.SetLabel("[{},{},...] as area search answer");
    peak_memory(state, body,
                [](std::string_view t) { return maps::parse_area_search_answer(t).has_value(); });
    break;
  case 2:
    state.SetLabel("[{},{},...] as reverse answer");
    peak_memory(state, body, [](std::string_view t) { return maps::parse_reverse_answer(t).has_value(); });
    break;
  case 3:
    state.SetLabel("[{},{},...] as points of interest");
    peak_memory(state, body, [](std::string_view t) { return maps::parse_pois(t).has_value(); });
    break;
  case 4:
    state.SetLabel("[{},{},...] as route");
    peak_memory(state, body, [](std::string_view t) {
      return maps::parse_route_answer(t, {48.1, 11.5}, {48.2, 11.6}, maps::TravelMode::Car).has_value();
    });
    break;
  case 5:
    state.SetLabel("[{},{},...] as transit plan");
    peak_memory(state, body, [](std::string_view t) { return maps::parse_transit_plan(t).has_value(); });
    break;
  default:
    break;
  }
}
BENCHMARK(BM_PeakMemory)->DenseRange(0, 5)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_PeakMemoryLargeAnswers(benchmark::State& state) {
  switch (state.range(0)) {
  case 0:
    state.SetLabel("road route");
    peak_memory(state, route_answer(BODY_LIMIT - 4096), [](std::string_view t) {
      return maps::parse_route_answer(t, {48.1, 11.5}, {48.2, 11.6}, maps::TravelMode::Car).has_value();
    });
    break;
  case 1:
    state.SetLabel("points of interest");
    peak_memory(state, poi_answer(140000), [](std::string_view t) { return maps::parse_pois(t).has_value(); });
    break;
  case 2:
    state.SetLabel("transit plan");
    peak_memory(state, transit_answer(BODY_LIMIT - 4096),
                [](std::string_view t) { return maps::parse_transit_plan(t).has_value(); });
    break;
  case 3:
    state.SetLabel("search answer");
    peak_memory(state, geocoder_answer(BODY_LIMIT - 4096),
                [](std::string_view t) { return maps::parse_search_answer(t).has_value(); });
    break;
  default:
    break;
  }
}
BENCHMARK(BM_PeakMemoryLargeAnswers)->DenseRange(0, 3)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
