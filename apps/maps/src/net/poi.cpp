#include "net/poi.h"

#include <unordered_set>
#include <utility>

#include <fmt/format.h>

#include "geo/geo.h"
#include "net/http.h"
#include "net/json_read.h"
#include "net/net_log.h"

namespace maps {

namespace {

using detail::member;
using detail::number_member;
using detail::string_member;

// The element's own position, else its centre; positions off the globe count as missing.
std::optional<LatLon> position_of(nlohmann::json const& element) {
  auto lat = number_member(element, "lat");
  auto lon = number_member(element, "lon");
  if (lat && lon && is_valid_position({*lat, *lon})) {
    return LatLon{*lat, *lon};
  }
  if (auto const* center = member(element, "center")) {
    lat = number_member(*center, "lat");
    lon = number_member(*center, "lon");
    if (lat && lon && is_valid_position({*lat, *lon})) {
      return LatLon{*lat, *lon};
    }
  }
  return std::nullopt;
}

std::optional<std::string> first_text(nlohmann::json const& tags, std::string_view a,
                                      std::string_view b) {
  auto text = non_empty_text(tags, a);
  return text ? text : non_empty_text(tags, b);
}

std::string address_of(nlohmann::json const& tags) {
  auto const street = non_empty_text(tags, "addr:street");
  auto const number = non_empty_text(tags, "addr:housenumber");
  auto const city = non_empty_text(tags, "addr:city");
  std::string address;
  if (street) {
    address = *street;
    if (number) {
      address += ' ';
      address += *number;
    }
  }
  if (city) {
    if (!address.empty()) {
      address += ", ";
    }
    address += *city;
  }
  return address;
}

// The service reports a query it gave up on (time-out, memory) with status 200 and a remark.
std::optional<std::string> runtime_error_remark(nlohmann::json const& answer) {
  auto const remark = string_member(answer, "remark");
  if (remark && remark->starts_with("runtime error")) {
    return std::string(*remark);
  }
  return std::nullopt;
}

} // namespace

std::optional<std::string> non_empty_text(nlohmann::json const& object, std::string_view key) {
  auto const text = string_member(object, key);
  if (!text || text->empty()) {
    return std::nullopt;
  }
  return std::string(*text);
}

PlaceCategory category_from_osm_tag(std::string_view key, std::string_view value) {
  using C = PlaceCategory;
  auto const any_of = [value](std::initializer_list<std::string_view> values) {
    for (auto const v : values) {
      if (v == value) {
        return true;
      }
    }
    return false;
  };
  if (key == "amenity") {
    if (value == "cafe") {
      return C::Cafe;
    }
    if (any_of({"restaurant", "fast_food", "food_court"})) {
      return C::Restaurant;
    }
    if (any_of({"bar", "pub", "biergarten", "nightclub"})) {
      return C::Bar;
    }
    if (any_of({"hospital", "clinic", "doctors"})) {
      return C::Hospital;
    }
    return C::Other;
  }
  if (key == "tourism") {
    if (any_of({"museum", "gallery", "artwork"})) {
      return C::Museum;
    }
    if (any_of({"hotel", "hostel", "guest_house", "motel"})) {
      return C::Hotel;
    }
    if (any_of({"attraction", "viewpoint", "monument"})) {
      return C::Landmark;
    }
    return C::Other;
  }
  if (key == "historic") {
    return C::Landmark;
  }
  if (key == "leisure") {
    return any_of({"park", "garden", "nature_reserve"}) ? C::Park : C::Other;
  }
  if (key == "shop") {
    return C::Shop;
  }
  if (key == "railway" || key == "public_transport") {
    return C::Transit;
  }
  if (key == "highway") {
    return value == "bus_stop" ? C::Transit : C::Other;
  }
  return C::Other;
}

std::string poi_query_url(std::string_view base_url, double south, double west, double north,
                          double east) {
  std::string const box = fmt::format("({:.5f},{:.5f},{:.5f},{:.5f})", south, west, north, east);
  static constexpr std::string_view FILTERS[] = {
      R"("amenity"~"^(restaurant|cafe|bar|pub|fast_food|biergarten|hospital|clinic|pharmacy|bank|cinema|theatre)$")",
      R"("shop")",
      R"("tourism"~"^(museum|gallery|artwork|attraction|viewpoint|hotel|hostel|guest_house)$")",
      R"("leisure"~"^(park|garden)$")",
      R"("railway"~"^(station|halt|tram_stop)$")",
      R"("highway"="bus_stop")",
      R"("public_transport"="station")",
  };
  std::string query = fmt::format("[out:json][timeout:{}];(", POI_SERVER_TIMEOUT.count());
  for (auto const filter : FILTERS) {
    query += "nwr[";
    query += filter;
    query += ']';
    query += box;
    query += ';';
  }
  query += ");out center 250;";
  return fmt::format("{}/api/interpreter?data={}", base_url, url_encode(query));
}

std::string poi_query_url(double south, double west, double north, double east) {
  return poi_query_url(POI_BASE_URL, south, west, north, east);
}

namespace {

base::Result<std::vector<Poi>> parse_pois_unguarded(nlohmann::json const& answer) {
  if (auto remark = runtime_error_remark(answer)) {
    return base::fail(std::move(*remark));
  }
  std::vector<Poi> out;
  auto const* elements = member(answer, "elements");
  if (elements == nullptr || !elements->is_array()) {
    return out;
  }
  static nlohmann::json const no_tags = nlohmann::json::object();
  std::unordered_set<std::string> seen;
  for (auto const& element : *elements) {
    auto const* tags_member = member(element, "tags");
    nlohmann::json const& tags = tags_member != nullptr ? *tags_member : no_tags;
    auto name = non_empty_text(tags, "name");
    if (!name) {
      continue;
    }
    auto const pos = position_of(element);
    if (!pos) {
      continue;
    }
    std::optional<PlaceCategory> category;
    for (auto const key : POI_CATEGORY_KEYS) {
      if (auto const value = non_empty_text(tags, key)) {
        category = category_from_osm_tag(key, *value);
        break;
      }
    }
    if (!category) {
      continue;
    }
    std::int64_t osm_id = 0;
    if (auto const* id = member(element, "id")) {
      osm_id = detail::as_i64(*id).value_or(0);
    }
    std::string id =
        fmt::format("osm-{}-{}", string_member(element, "type").value_or("node"), osm_id);
    if (seen.contains(id)) {
      continue;
    }
    auto detail_text = first_text(tags, "cuisine", "shop");
    if (detail_text) {
      for (char& c : *detail_text) {
        if (c == '_') {
          c = ' ';
        }
      }
    }
    seen.insert(id);
    out.push_back(Poi{
        .id = std::move(id),
        .name = std::move(*name),
        .address = address_of(tags),
        .opening_hours = non_empty_text(tags, "opening_hours"),
        .website = first_text(tags, "website", "contact:website"),
        .phone = first_text(tags, "phone", "contact:phone"),
        .detail = std::move(detail_text),
        .pos = *pos,
        .category = *category,
    });
  }
  return out;
}

} // namespace

base::Result<std::vector<Poi>> parse_pois(nlohmann::json const& answer) {
  try {
    return parse_pois_unguarded(answer);
  } catch (nlohmann::json::exception const& e) {
    net_logger()->warn("{} answer could not be read: {}", "points-of-interest", e.what());
    return base::fail(ANSWER_UNREADABLE);
  }
}

base::Result<std::vector<Poi>> fetch_pois(std::string_view base_url, double south, double west,
                                          double north, double east) {
  auto const answer =
      fetch_json(poi_query_url(base_url, south, west, north, east),
                 std::chrono::duration_cast<std::chrono::milliseconds>(POI_QUERY_TIMEOUT));
  if (!answer) {
    return base::fail(answer.error());
  }
  return parse_pois(*answer);
}

base::Result<std::vector<Poi>> fetch_pois(double south, double west, double north, double east) {
  return fetch_pois(POI_BASE_URL, south, west, north, east);
}

} // namespace maps
