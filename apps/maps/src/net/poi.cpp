#include "net/poi.h"

#include <algorithm>
#include <deque>
#include <unordered_set>
#include <utility>

#include <fmt/format.h>

#include "geo/geo.h"
#include "net/http.h"
#include "net/json_read.h"
#include "net/net_log.h"

namespace maps {

namespace {

using detail::read_array;
using detail::read_f64;
using detail::read_i64;
using detail::read_object;
using detail::read_text;

// The tags a point of interest is built from; others are skipped as they are read.
enum Tag : std::size_t {
  Name,
  Amenity, // POI_CATEGORY_KEYS, in their order
  Tourism,
  Shop,
  Leisure,
  Railway,
  PublicTransport,
  Highway,
  Cuisine,
  Street,
  HouseNumber,
  City,
  OpeningHours,
  Website,
  ContactWebsite,
  Phone,
  ContactPhone,
  TagCount
};

constexpr std::array<std::string_view, TagCount> TAG_KEYS = {
    "name",          "amenity",     "tourism",          "shop",
    "leisure",       "railway",     "public_transport", "highway",
    "cuisine",       "addr:street", "addr:housenumber", "addr:city",
    "opening_hours", "website",     "contact:website",  "phone",
    "contact:phone"};
static_assert(TAG_KEYS[Amenity] == POI_CATEGORY_KEYS[0] &&
              TAG_KEYS[Highway] == POI_CATEGORY_KEYS[6]);

// Tag values that are non-empty strings.
using Tags = std::array<std::optional<std::string>, TagCount>;

Tags read_tags(JsonReader& r) {
  Tags tags;
  read_object(r, [&](std::string_view key) {
    auto const it = std::find(TAG_KEYS.begin(), TAG_KEYS.end(), key);
    if (it == TAG_KEYS.end()) {
      r.skip_value();
      return;
    }
    auto text = read_text(r);
    tags[static_cast<std::size_t>(it - TAG_KEYS.begin())] =
        text && !text->empty() ? std::move(text) : std::nullopt;
  });
  return tags;
}

struct Coordinates {
  std::optional<double> lat;
  std::optional<double> lon;

  std::optional<LatLon> position() const {
    if (lat && lon && is_valid_position({*lat, *lon})) {
      return LatLon{*lat, *lon};
    }
    return std::nullopt;
  }
};

struct Element {
  std::optional<std::string> type;
  std::int64_t id = 0;
  Coordinates own;
  Coordinates center;
  Tags tags;
};

Element read_element(JsonReader& r) {
  Element e;
  read_object(r, [&](std::string_view key) {
    if (key == "type") {
      e.type = read_text(r);
    } else if (key == "id") {
      e.id = read_i64(r).value_or(0);
    } else if (key == "lat") {
      e.own.lat = read_f64(r);
    } else if (key == "lon") {
      e.own.lon = read_f64(r);
    } else if (key == "center") {
      e.center = {};
      read_object(r, [&](std::string_view c) {
        if (c == "lat") {
          e.center.lat = read_f64(r);
        } else if (c == "lon") {
          e.center.lon = read_f64(r);
        } else {
          r.skip_value();
        }
      });
    } else if (key == "tags") {
      e.tags = read_tags(r);
    } else {
      r.skip_value();
    }
  });
  return e;
}

std::optional<std::string> first_text(Tags const& tags, Tag a, Tag b) {
  return tags[a] ? tags[a] : tags[b];
}

std::string address_of(Tags const& tags) {
  auto const& street = tags[Street];
  auto const& number = tags[HouseNumber];
  auto const& city = tags[City];
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

// The point of interest of an element, when it has a name, a position and a category.
std::optional<Poi> poi_of(Element&& e) {
  auto& tags = e.tags;
  if (!tags[Name]) {
    return std::nullopt;
  }
  // The element's own position, else its centre; positions off the globe count as missing.
  auto pos = e.own.position();
  if (!pos) {
    pos = e.center.position();
  }
  if (!pos) {
    return std::nullopt;
  }
  std::optional<PlaceCategory> category;
  for (std::size_t k = 0; k < POI_CATEGORY_KEYS.size(); ++k) {
    if (auto const& value = tags[Amenity + k]) {
      category = category_from_osm_tag(POI_CATEGORY_KEYS[k], *value);
      break;
    }
  }
  if (!category) {
    return std::nullopt;
  }
  auto detail_text = first_text(tags, Cuisine, Shop);
  if (detail_text) {
    for (char& c : *detail_text) {
      if (c == '_') {
        c = ' ';
      }
    }
  }
  return Poi{
      .id = fmt::format("osm-{}-{}", e.type.value_or("node"), e.id),
      .name = std::move(*tags[Name]),
      .address = address_of(tags),
      .opening_hours = std::move(tags[OpeningHours]),
      .website = first_text(tags, Website, ContactWebsite),
      .phone = first_text(tags, Phone, ContactPhone),
      .detail = std::move(detail_text),
      .pos = *pos,
      .category = *category,
  };
}

} // namespace

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
  query += fmt::format(");out center {};", POI_RESULT_LIMIT);
  return fmt::format("{}/api/interpreter?data={}", base_url, url_encode(query));
}

std::string poi_query_url(double south, double west, double north, double east) {
  return poi_query_url(POI_BASE_URL, south, west, north, east);
}

base::Result<std::vector<Poi>> parse_pois(std::string_view answer) {
  using Pois = std::vector<Poi>;
  return detail::read_answer("points-of-interest", answer, [](JsonReader& r) -> base::Result<Pois> {
    std::optional<std::string> remark;
    // Gathered where they do not move, so the ids seen can point into them, and copied once
    // into a list of the exact size: a growing list would at times hold half as much again.
    std::deque<Poi> found;
    std::unordered_set<std::string_view> seen;
    read_object(r, [&](std::string_view key) {
      if (key == "remark") {
        remark = read_text(r);
      } else if (key == "elements") {
        seen.clear();
        found.clear();
        read_array(r, [&](std::size_t) {
          if (found.size() == POI_RESULT_LIMIT) {
            r.skip_value();
            return;
          }
          auto poi = poi_of(read_element(r));
          // The first occurrence of an id wins.
          if (poi && !seen.contains(poi->id)) {
            seen.insert(found.emplace_back(std::move(*poi)).id);
          }
        });
      } else {
        r.skip_value();
      }
    });
    seen.clear();
    // The service reports a query it gave up on (time-out, memory) with status 200 and a
    // remark; whatever elements came with it are not the whole answer.
    // The remark is the service's own wording; the user is told what it means.
    if (remark && remark->starts_with("runtime error")) {
      net_logger()->warn("points-of-interest query gave up: {}", *remark);
      return base::fail(remark->find("timed out") != std::string::npos
                            ? "the places service timed out"
                            : "the places service could not finish the query");
    }
    Pois out;
    out.reserve(found.size());
    while (!found.empty()) {
      out.push_back(std::move(found.front()));
      found.pop_front();
    }
    return out;
  });
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
