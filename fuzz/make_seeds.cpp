// Writes the seeds of the targets whose inputs the project's own writers make (model forms,
// action payloads, PNG tiles, document files) into fuzz/corpus/<target>/. Run by hand after a
// format changes: fuzz_make_seeds <corpus folder>.

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "doc/save.h"
#include "make_ipc_seeds.h"
#include "model/json.h"
#include "net/routing.h"
#include "net/transit.h"
#include "platform/doc/document.h"
#include "png_test_support.h"
#include "polyline_text.h"

namespace {

namespace fs = std::filesystem;
using zarn_ui::doc::Document;
using zarn_ui::doc::ObjId;
using zarn_ui::doc::ObjType;

fs::path root;

void write(std::string const& target, std::string const& name, std::string_view bytes) {
  fs::create_directories(root / target);
  std::ofstream(root / target / name, std::ios::binary)
      .write(bytes.data(), static_cast<long>(bytes.size()));
}

void write(std::string const& target, std::string const& name, zarn_ui::doc::Bytes const& bytes) {
  write(target, name, {reinterpret_cast<char const*>(bytes.data()), bytes.size()});
}

// The type selector of the model_json target: the index into its list of readers.
template <class T> void model_seed(char selector, std::string const& name, T const& value) {
  write("model_json", name, std::string(1, selector) + maps::to_json_text(value));
}

zarn_ui::doc::Bytes actor(std::uint8_t fill) {
  return zarn_ui::doc::Bytes(16, fill);
}

// Answers of about 1 MB, the size real services send for a long route, a dense area or a busy
// search: the readers' cost must stay linear at that size.
constexpr std::size_t REAL_SIZE = std::size_t{1} << 20;

std::string poi_answer() {
  std::string out = R"({"version":0.6,"elements":[)";
  for (int i = 0; out.size() < REAL_SIZE; ++i) {
    out += fmt::format(
        R"({}{{"type":"node","id":{},"lat":{:.7f},"lon":{:.7f},"tags":{{"amenity":"restaurant",)"
        R"("name":"Gasthaus {}","cuisine":"regional","opening_hours":"Mo-Su 10:00-23:00"}}}})",
        i == 0 ? "" : ",", 200000 + i, 48.13 + i * 1e-6, 11.57 + i * 1e-6, i);
  }
  return out + "]}";
}

std::string search_answer() {
  std::string out = "[";
  for (int i = 0; out.size() < REAL_SIZE; ++i) {
    out += fmt::format(
        R"({}{{"osm_type":"node","osm_id":{},"lat":"{:.7f}","lon":"{:.7f}","category":"amenity",)"
        R"("type":"cafe","name":"Caf\u00e9 {}","display_name":"Caf\u00e9 {}, M\u00fcnchen",)"
        R"("address":{{"road":"Marienplatz","city":"M\u00fcnchen"}}}})",
        i == 0 ? "" : ",", 1000 + i, 48.13 + i * 1e-6, 11.57 + i * 1e-6, i, i);
  }
  return out + "]";
}

// Itineraries of many legs, each with a line of a few thousand points, as a long journey's
// plan comes: half a megabyte, several times what planners send for a day's journeys.
std::string transit_answer() {
  std::string itineraries;
  for (int it = 0; itineraries.size() < REAL_SIZE / 2; ++it) {
    std::string legs;
    for (int leg = 0; leg < 12; ++leg) {
      std::vector<maps::LatLon> line;
      double const lat = 48.1 + it * 0.01 + leg * 0.05;
      for (int i = 0; i < 2500; ++i) {
        line.push_back({lat + i * 2e-5 + 3e-4 * std::sin(i * 0.05), 11.5 + leg * 0.08 + i * 3e-5});
      }
      legs += fmt::format(
          R"({}{{"mode":"RAIL","route":"RE{}","from":{{"name":"Stop {}","lat":{:.5f},"lon":11.5}},)"
          R"("to":{{"name":"Stop {}"}},"duration":600,"legGeometry":{{"points":"{}","precision":6}}}})",
          leg == 0 ? "" : ",", leg, leg, lat, leg + 1, maps::test::encode_points(line, 6));
    }
    itineraries += fmt::format(
        R"({}{{"duration":7200,"startTime":"2024-05-01T07:00:00Z","endTime":"2024-05-01T09:00:00Z",)"
        R"("transfers":11,"legs":[{}]}})",
        it == 0 ? "" : ",", legs);
  }
  return fmt::format(R"({{"itineraries":[{}]}})", itineraries);
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_make_seeds CORPUS_DIR\n");
    return 2;
  }
  root = argv[1];
  using namespace maps;

  Place cafe = new_place("osm-node-42", "Caf\xC3\xA9 Glockenspiel", PlaceCategory::Cafe, 48.1372,
                         11.5755, "Marienplatz 28, M\xC3\xBCnchen");
  Route const route = estimate_route(48.1371, 11.5754, 48.1425, 11.577, TravelMode::Bike);
  auto const plan = parse_transit_plan(R"({"itineraries":[{"duration":2489,
      "startTime":"2024-05-01T07:41:00Z","endTime":"2024-05-01T08:22:29Z","transfers":1,"legs":[
      {"mode":"subway","route":"S8","headsign":"Flughafen","agencyName":"MVV","routeColor":"E30613",
       "from":{"name":"Marienplatz"},"to":{"name":"Ostbahnhof"},"duration":90,"realTime":true,
       "legGeometry":{"points":"_c`|@_gayB?_qo]","precision":6}}]}]})");
  TransitJourney const journey = plan && !plan->empty() ? plan->front() : TransitJourney{};
  DownloadedRegion const region{
      "region:altstadt", "Altstadt", {48.13, 11.56}, {48.15, 11.59}, 12, 16, 340};
  TransitTime const leave{TransitTimeMode::Arrive, 30};

  model_seed('\0', "latlon", LatLon{48.1371, -11.5754});
  model_seed('\1', "place", cafe);
  model_seed('\3', "route", route);
  model_seed('\5', "journey", journey);
  model_seed('\6', "transit_time", leave);
  model_seed('\7', "region", region);
  model_seed(
      '\x08', "plan_route",
      ActivePlan{ActivePlan::Route{route, LatLon{48.1371, 11.5754}, "Marienplatz",
                                   LatLon{48.1425, 11.577}, "Odeonsplatz", TravelMode::Bike}});
  model_seed('\x09', "action", MapsAction{MapsAction::CommitSearch{"Marienplatz"}});
  model_seed('\x0a', "category", PlaceCategory::Museum);
  model_seed('\x0f', "panel", Panel::Directions);

  cafe.saved = true;
  MapsAction const actions[] = {
      MapsAction{MapsAction::UpsertPlaces{{cafe}}},
      MapsAction{MapsAction::SetPlaceSaved{"osm-node-42", false}},
      MapsAction{MapsAction::CommitSearch{"Viktualienmarkt"}},
      MapsAction{MapsAction::SetTravelMode{TravelMode::Foot}},
      MapsAction{MapsAction::SetTransitTime{leave}},
      MapsAction{MapsAction::SetRoute{route, LatLon{48.1371, 11.5754}, "Marienplatz",
                                      LatLon{48.1425, 11.577}, "Odeonsplatz", TravelMode::Bike}},
      MapsAction{MapsAction::SetTransit{
          {journey}, LatLon{48.1371, 11.5754}, "Marienplatz", LatLon{48.354, 11.786}, "Flughafen"}},
      MapsAction{MapsAction::AddRegion{region}},
      MapsAction{MapsAction::DeleteRegion{"region:altstadt"}},
      MapsAction{MapsAction::ClearRecents{}},
  };
  for (auto const& a : actions) {
    std::string const name(MAPS_ACTION_NAMES[a.value.index()]);
    auto const bytes = to_json_bytes(a);
    write("maps_action", name, {reinterpret_cast<char const*>(bytes.data()), bytes.size()});
  }

  // A route of 64,000 corners 22 m apart: the shape whose simplification cost grows with the
  // square of its length unless bounded.
  std::string zigzag = R"({"code":"Ok","routes":[{"distance":7100,"duration":900,)"
                       R"("geometry":{"type":"LineString","coordinates":[)";
  for (int i = 0; i < 64000; ++i) {
    zigzag += fmt::format("{}[0.{:05},{}]", i == 0 ? "" : ",", i, i % 2 == 0 ? "0" : "0.0002");
  }
  zigzag += "]}}]}";
  write("route", "zigzag_64k", zigzag);
  write("poi", "dense_1mb", poi_answer());
  write("geocode_search", "many_hits_1mb", search_answer());
  write("transit", "long_journeys", transit_answer());

  write("png", "rgba_1x1", test::solid_tile_png(1, 200, 100, 50));
  test::PngImage indexed;
  indexed.width = 2;
  indexed.height = 2;
  indexed.color_type = SPNG_COLOR_TYPE_INDEXED;
  indexed.pixels = {0, 1, 1, 0};
  indexed.palette = {255, 0, 0, 0, 0, 255};
  indexed.palette_alpha = {128};
  write("png", "indexed_trns", test::encode_png(indexed));
  test::PngImage grey16;
  grey16.width = 3;
  grey16.bit_depth = 16;
  grey16.color_type = SPNG_COLOR_TYPE_GRAYSCALE;
  grey16.pixels = {0, 0, 0xff, 0x7f, 0xff, 0xff};
  write("png", "grey16", test::encode_png(grey16));
  test::PngImage grey_alpha;
  grey_alpha.width = 2;
  grey_alpha.height = 3;
  grey_alpha.color_type = SPNG_COLOR_TYPE_GRAYSCALE_ALPHA;
  grey_alpha.pixels = {10, 255, 20, 0, 30, 128, 40, 64, 50, 32, 60, 16};
  write("png", "grey_alpha", test::encode_png(grey_alpha));

  // Documents: the application's model, and one of every kind of op from two actors.
  Document model_doc(actor(1));
  MapModel model = default_map_model();
  model.places = {cafe};
  model.recents = {"Marienplatz"};
  save_model_to_doc(model_doc, model);
  Document small(actor(2));
  auto const text = small.put_object(ObjId::root(), "title", ObjType::Text);
  (void)small.splice_text(*text, 0, 0, "M\xC3\xBCnchen");
  small.commit();
  auto const list = small.put_object(ObjId::root(), "items", ObjType::List);
  (void)small.insert(*list, 0, std::int64_t{-7});
  (void)small.insert(*list, 1, std::uint64_t{7});
  (void)small.insert(*list, 2, 2.5);
  (void)small.put(ObjId::root(), "flag", true);
  small.commit();
  Document other = small.fork();
  (void)other.set_actor(actor(3));
  (void)other.splice_text(*text, 1, 2, "ue");
  (void)other.delete_index(*list, 0);
  other.commit();
  (void)small.delete_key(ObjId::root(), "flag");
  (void)small.put(ObjId::root(), "name", std::string("Altstadt"));
  small.commit();
  (void)small.merge(other);
  // A compacted file (snapshot and changes since) reaches the snapshot decoder; doc_changes
  // frames its input as a full change log and gets none.
  Document compacted = small;
  compacted.compact();
  (void)compacted.splice_text(*text, 0, 1, "m");
  (void)other.put(ObjId::root(), "late", std::int64_t{1});
  (void)compacted.merge(other);
  write("doc_load", "snapshot", compacted.save());
  for (auto const* target : {"doc_load", "doc_changes"}) {
    write(target, "model", model_doc.save());
    write(target, "ops", small.save());
  }
  maps::fuzz::write_ipc_seeds(root);
  return 0;
}
