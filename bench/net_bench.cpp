// Parsing of service answers, from text to model values: the speed for a road route of
// 1.25 MB and a points-of-interest answer of 2,000 elements, and the peak of heap memory
// while parsing bodies of the costliest shapes at the 32 MiB body limit and at smaller sizes
// (goal: at most twice the body, `peak_per_body` <= 2, for bodies from 64 KiB; smaller ones may
// take a fixed allowance beyond that, `beyond_twice_KiB` <= 16).

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>
#include <string_view>
#include <vector>

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
  void* p = align > alignof(std::max_align_t)
                ? std::aligned_alloc(align, (size + align - 1) / align * align)
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

void* operator new(std::size_t size) {
  return counted_alloc(size, 0);
}
void* operator new[](std::size_t size) {
  return counted_alloc(size, 0);
}
void* operator new(std::size_t size, std::align_val_t a) {
  return counted_alloc(size, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t size, std::align_val_t a) {
  return counted_alloc(size, static_cast<std::size_t>(a));
}
void operator delete(void* p) noexcept {
  counted_free(p);
}
void operator delete[](void* p) noexcept {
  counted_free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  counted_free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  counted_free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
  counted_free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
  counted_free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
  counted_free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
  counted_free(p);
}

namespace {

// `wiggle` scales the line's sideways swings (0: a straight line, which simplifies in one pass).
std::string route_answer(std::size_t target_bytes, double wiggle = 1.0) {
  std::string coords;
  std::string steps;
  int i = 0;
  while (coords.size() + steps.size() < target_bytes) {
    double const t = i * 0.00003;
    coords += fmt::format("{}[{:.6f},{:.6f}]", i == 0 ? "" : ",",
                          11.5 + t + wiggle * 0.0004 * std::sin(i * 0.05),
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
  // What small bodies need beyond twice their size: the lines kept whole whatever their text
  // and the model's records.
  double const twice = 2.0 * static_cast<double>(body.size());
  state.counters["beyond_twice_KiB"] = std::max(0.0, static_cast<double>(peak) - twice) / 1024;
  state.counters["parsed"] = ok ? 1 : 0;
}

// Bodies of the shapes that cost a parser the most memory per byte, each filling the body limit:
// many minimal records, long and huge texts (plain, accented, invalid UTF-8 that reads as
// U+FFFD at three bytes a byte), long arrays and lines of short numbers, deep nesting.

// `head`, then `unit(i)` for i = 0, 1, … separated by commas while the body stays below `bytes`,
// then `tail`.
std::string repeated(std::string_view head, std::function<std::string(int)> const& unit,
                     std::string_view tail, std::size_t bytes) {
  std::string out(head);
  for (int i = 0;; ++i) {
    std::string const u = unit(i);
    if (out.size() + u.size() + 1 + tail.size() > bytes) {
      break;
    }
    if (i > 0) {
      out += ',';
    }
    out += u;
  }
  out += tail;
  return out;
}

std::string repeated(std::string_view head, std::string_view unit, std::string_view tail,
                     std::size_t bytes) {
  return repeated(
      head, [unit](int) { return std::string(unit); }, tail, bytes);
}

// Text of `bytes` bytes made of `piece` ("a", "é", "\xFF").
std::string text_of(std::string_view piece, std::size_t bytes) {
  std::string out;
  out.reserve(bytes);
  while (out.size() + piece.size() <= bytes) {
    out += piece;
  }
  return out;
}

constexpr std::size_t BODY = BODY_LIMIT - 4096;
constexpr std::size_t HUGE_TEXT = BODY - 200;
// Long texts of many records: each kept text reads to about 4 KB.
constexpr std::size_t LONG_INVALID = 1300;

std::string deep_nesting(std::size_t bytes) {
  std::string const unit = std::string(400, '[') + std::string(400, ']');
  return repeated("[", unit, "]", bytes);
}

// A polyline at precision 5 that circles a triangle of sides about 15 m, two bytes a point:
// simplification keeps every point.
std::string zigzag_polyline(std::size_t bytes) {
  return text_of("[?Z[?Z", bytes);
}

using Parse = std::function<bool(std::string_view)>;

bool search(std::string_view t) {
  return maps::parse_search_answer(t).has_value();
}
bool area_search(std::string_view t) {
  return maps::parse_area_search_answer(t).has_value();
}
bool reverse(std::string_view t) {
  return maps::parse_reverse_answer(t).has_value();
}
bool pois(std::string_view t) {
  return maps::parse_pois(t).has_value();
}
bool route(std::string_view t) {
  return maps::parse_route_answer(t, {48.1, 11.5}, {48.2, 11.6}, maps::TravelMode::Car).has_value();
}
bool transit(std::string_view t) {
  return maps::parse_transit_plan(t).has_value();
}

struct Shape {
  char const* label;
  std::function<std::string()> body;
  Parse parse;
};

std::string route_of_steps(std::string_view step) {
  return repeated(R"({"code":"Ok","routes":[{"legs":[{"steps":[)", step, "]}]}]}", BODY);
}

std::string transit_of_legs(std::function<std::string(int)> const& leg) {
  return repeated(R"({"itineraries":[{"legs":[)", leg, "]}]}", BODY);
}

constexpr std::size_t SMALL_BODY = std::size_t{64} << 10;

// A leg whose line is a zigzag of `line_bytes`.
std::string zigzag_leg(std::size_t line_bytes) {
  return R"({"legGeometry":{"precision":5,"points":")" + zigzag_polyline(line_bytes) + "\"}}";
}

std::string one_zigzag_leg(std::size_t line_bytes) {
  return R"({"itineraries":[{"legs":[)" + zigzag_leg(line_bytes) + "]}]}";
}

// Legs of zigzag lines of `line_bytes`, up to the body limit.
std::string zigzag_legs(std::size_t line_bytes) {
  std::string const leg = zigzag_leg(line_bytes);
  return transit_of_legs([&leg](int) { return leg; });
}

std::string short_number_zigzag_route(std::size_t bytes) {
  return repeated(R"({"code":"Ok","routes":[{"geometry":{"coordinates":[)",
                  [](int i) {
                    static constexpr char const* CORNERS[] = {"[0,0]", "[0.001,0]", "[0,0.001]"};
                    return std::string(CORNERS[i % 3]);
                  },
                  "]}}]}", bytes);
}

std::vector<Shape> const& shapes() {
  static std::vector<Shape> const all = {
      {"[{},{},...] as search answer", [] { return empty_objects(BODY); }, search},
      {"[{},{},...] as area search answer", [] { return empty_objects(BODY); }, area_search},
      {"[{},{},...] as reverse answer", [] { return empty_objects(BODY); }, reverse},
      {"[{},{},...] as points of interest", [] { return empty_objects(BODY); }, pois},
      {"[{},{},...] as route", [] { return empty_objects(BODY); }, route},
      {"[{},{},...] as transit plan", [] { return empty_objects(BODY); }, transit},
      {"deep nesting as search answer", [] { return deep_nesting(BODY); }, search},
      {"deep nesting as points of interest", [] { return deep_nesting(BODY); }, pois},
      {"deep nesting as route", [] { return deep_nesting(BODY); }, route},
      {"deep nesting as transit plan", [] { return deep_nesting(BODY); }, transit},

      {"search: realistic hits", [] { return geocoder_answer(BODY); }, search},
      {"search: minimal hits", [] { return repeated("[", R"({"lat":"0","lon":"0"})", "]", BODY); },
       search},
      {"area search: minimal hits",
       [] { return repeated("[", R"({"lat":"0","lon":"0"})", "]", BODY); }, area_search},
      {"search: hits with long invalid-UTF-8 names",
       [] {
         return repeated("[",
                         R"({"lat":"0","lon":"0","name":")" + text_of("\xFF", LONG_INVALID) + "\"}",
                         "]", BODY);
       },
       search},
      {"search: one hit, huge accented display name",
       [] {
         return R"([{"lat":"0","lon":"0","display_name":")" + text_of("é", HUGE_TEXT) + "\"}]";
       },
       search},
      {"search: one hit, huge invalid-UTF-8 name",
       [] { return R"([{"lat":"0","lon":"0","name":")" + text_of("\xFF", HUGE_TEXT) + "\"}]"; },
       search},
      {"reverse: huge accented name",
       [] { return R"({"name":")" + text_of("é", HUGE_TEXT) + "\"}"; }, reverse},

      {"points of interest: realistic elements", [] { return poi_answer(140000); }, pois},
      {"points of interest: minimal elements",
       [] {
         return repeated(R"({"elements":[)",
                         [](int i) {
                           return fmt::format(
                               R"({{"id":{},"lat":0,"lon":0,"tags":{{"name":"a","shop":"b"}}}})",
                               i);
                         },
                         "]}", BODY);
       },
       pois},
      {"points of interest: elements with long invalid-UTF-8 texts",
       [] {
         std::string const t = text_of("\xFF", LONG_INVALID);
         return repeated(
             R"({"elements":[)",
             [&t](int i) {
               return fmt::format(
                   R"({{"id":{},"lat":0,"lon":0,"tags":{{"name":"{}","shop":"{}","opening_hours":"{}",)"
                   R"("website":"{}","phone":"{}","addr:street":"{}","addr:city":"{}"}}}})",
                   i, t, t, t, t, t, t, t);
             },
             "]}", BODY);
       },
       pois},
      {"points of interest: one element, huge invalid-UTF-8 name",
       [] {
         return R"({"elements":[{"lat":0,"lon":0,"tags":{"shop":"b","name":")" +
                text_of("\xFF", HUGE_TEXT) + "\"}}]}";
       },
       pois},

      {"road route: realistic", [] { return route_answer(BODY); }, route},
      {"road route: [0,0] points",
       [] {
         return repeated(R"({"code":"Ok","routes":[{"geometry":{"coordinates":[)", "[0,0]", "]}}]}",
                         BODY);
       },
       route},
      {"road route: zigzag of short numbers", [] { return short_number_zigzag_route(BODY); },
       route},
      {"road route: minimal steps", [] { return route_of_steps("{}"); }, route},
      {"road route: steps with long invalid-UTF-8 names",
       [] { return route_of_steps(R"({"name":")" + text_of("\xFF", LONG_INVALID) + "\"}"); },
       route},
      {"road route: long zigzag line and steps with long invalid-UTF-8 names",
       [] {
         std::string line;
         for (int i = 0; i < 510000; ++i) {
           static constexpr char const* CORNERS[] = {"[0,0]", "[0.001,0]", "[0,0.001]"};
           line += i == 0 ? "" : ",";
           line += CORNERS[i % 3];
         }
         std::string const step = R"({"name":")" + text_of("\xFF", LONG_INVALID) + "\"}";
         return repeated(R"({"code":"Ok","routes":[{"geometry":{"coordinates":[)" + line +
                             R"(]},"legs":[{"steps":[)",
                         step, "]}]}]}", BODY);
       },
       route},
      {"road route: one step, huge accented name",
       [] { return route_of_steps(R"({"name":")" + text_of("é", HUGE_TEXT) + "\"}"); }, route},

      {"transit: realistic legs", [] { return transit_answer(BODY); }, transit},
      {"transit: minimal itineraries",
       [] { return repeated(R"({"itineraries":[)", "{}", "]}", BODY); }, transit},
      {"transit: minimal direct journeys",
       [] { return repeated(R"({"direct":[)", "{}", "]}", BODY); }, transit},
      {"transit: one itinerary of minimal legs",
       [] { return transit_of_legs([](int) { return "{}"; }); }, transit},
      {"transit: legs with long invalid-UTF-8 names",
       [] {
         std::string const t = text_of("\xFF", LONG_INVALID);
         return transit_of_legs([&t](int) {
           return fmt::format(R"({{"headsign":"{}","agencyName":"{}","from":{{"name":"{}"}},)"
                              R"("to":{{"name":"{}"}},"routeShortName":"{}"}})",
                              t, t, t, t, t);
         });
       },
       transit},
      {"transit: itineraries of legs with long invalid-UTF-8 names",
       [] {
         std::string const t = text_of("\xFF", LONG_INVALID);
         std::string const leg =
             fmt::format(R"({{"headsign":"{}","agencyName":"{}","from":{{"name":"{}"}},)"
                         R"("to":{{"name":"{}"}},"routeShortName":"{}"}})",
                         t, t, t, t, t);
         std::string const itinerary = repeated(R"({"legs":[)", leg, "]}", 40 * (leg.size() + 1));
         return repeated(R"({"itineraries":[)", itinerary, "]}", BODY);
       },
       transit},
      {"transit: one leg, zigzag line of the longest read, padded to the limit",
       [] {
         return R"({"pad":")" + text_of("a", BODY - maps::MAX_LEG_LINE_BYTES - 100) +
                R"(","itineraries":[{"legs":[)" + zigzag_leg(maps::MAX_LEG_LINE_BYTES - 6) + "]}]}";
       },
       transit},
      // Small bodies: a point read costs sixteen bytes where its text may take two.
      {"small body (1 MiB): transit, one leg, zigzag line of the longest read",
       [] { return one_zigzag_leg(maps::MAX_LEG_LINE_BYTES - 6); }, transit},
      {"small body (64 KiB): transit, one leg, zigzag line",
       [] { return one_zigzag_leg(SMALL_BODY - 100); }, transit},
      {"small body (1 MiB): road route, zigzag of short numbers",
       [] { return short_number_zigzag_route(std::size_t{1} << 20); }, route},
      {"small body (64 KiB): road route, zigzag of short numbers",
       [] { return short_number_zigzag_route(SMALL_BODY); }, route},
      {"small body (1.25 MiB): road route, realistic", [] { return route_answer(ROUTE_BYTES); },
       route},
      {"small body (64 KiB): road route, realistic", [] { return route_answer(SMALL_BODY); },
       route},
      {"small body (64 KiB): transit, realistic legs", [] { return transit_answer(SMALL_BODY); },
       transit},
      {"small body (4 KiB): road route, realistic", [] { return route_answer(4096); }, route},
      {"small body (4 KiB): road route, zigzag of short numbers",
       [] { return short_number_zigzag_route(4096); }, route},
      {"small body (4 KiB): transit, realistic legs", [] { return transit_answer(4096); }, transit},
      {"small body (4 KiB): transit, one leg, zigzag line", [] { return one_zigzag_leg(4000); },
       transit},
      {"transit: legs with zigzag lines of 600 KB", [] { return zigzag_legs(600 * 1024); },
       transit},
      {"transit: one leg, huge zigzag line", [] { return one_zigzag_leg(HUGE_TEXT); }, transit},
      {"transit: legs with 64 KB zigzag lines", [] { return zigzag_legs(64 * 1024); }, transit},
      {"transit: one leg, huge accented headsign",
       [] {
         return R"({"itineraries":[{"legs":[{"headsign":")" + text_of("é", HUGE_TEXT) + "\"}]}]}";
       },
       transit},
  };
  return all;
}

void BM_PeakMemory(benchmark::State& state) {
  auto const& shape = shapes()[static_cast<std::size_t>(state.range(0))];
  state.SetLabel(shape.label);
  peak_memory(state, shape.body(), shape.parse);
}
BENCHMARK(BM_PeakMemory)
    ->DenseRange(0, static_cast<int>(shapes().size()) - 1)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace
