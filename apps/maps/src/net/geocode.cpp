#include "net/geocode.h"

#include <charconv>
#include <cmath>
#include <utility>

#include <fmt/format.h>

#include "base/utf8.h"
#include "geo/geo.h"
#include "net/http.h"
#include "net/json_read.h"
#include "net/poi.h"

namespace maps {

namespace {

using detail::read_array;
using detail::read_i64;
using detail::read_object;
using detail::read_text;

// A decimal number that fills the whole text. Positions must be finite: a NaN position
// would travel through every projection and distance of the UI.
std::optional<double> parse_number(std::string_view text) {
  // One sign at most: from_chars takes the minus itself, so "+-1" must be refused here.
  if (text.starts_with('+')) {
    text.remove_prefix(1);
    if (text.starts_with('-') || text.starts_with('+')) {
      return std::nullopt;
    }
  }
  double value = 0.0;
  auto const [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || ptr != text.data() + text.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

std::optional<double> number_text(std::optional<std::string> const& text) {
  return text ? parse_number(*text) : std::nullopt;
}

// The members of a hit that the parsers use; string members are absent when of another kind.
struct Hit {
  std::optional<std::string> lat;
  std::optional<std::string> lon;
  std::optional<std::string> display_name;
  std::optional<std::string> name;
  std::optional<std::string> road;
  std::optional<std::string> pedestrian;
  std::optional<std::string> footway;
  std::optional<std::string> house_number;
  std::optional<std::string> class_key;
  std::optional<std::string> category_key;
  std::optional<std::string> type;
  std::optional<std::string> osm_type;
  std::int64_t osm_id = 0;
  // Elements 0 to 3 of "boundingbox" read as numbers, and how many elements it has.
  std::optional<double> box[4];
  std::size_t box_size = 0;
};

void read_address(JsonReader& r, Hit& hit) {
  hit.road.reset();
  hit.pedestrian.reset();
  hit.footway.reset();
  hit.house_number.reset();
  read_object(r, [&](std::string_view key) {
    if (key == "road") {
      hit.road = read_text(r);
    } else if (key == "pedestrian") {
      hit.pedestrian = read_text(r);
    } else if (key == "footway") {
      hit.footway = read_text(r);
    } else if (key == "house_number") {
      hit.house_number = read_text(r);
    } else {
      r.skip_value();
    }
  });
}

Hit read_hit(JsonReader& r) {
  Hit hit;
  read_object(r, [&](std::string_view key) {
    std::optional<std::string>* text = key == "lat"            ? &hit.lat
                                       : key == "lon"          ? &hit.lon
                                       : key == "display_name" ? &hit.display_name
                                       : key == "name"         ? &hit.name
                                       : key == "class"        ? &hit.class_key
                                       : key == "category"     ? &hit.category_key
                                       : key == "type"         ? &hit.type
                                       : key == "osm_type"     ? &hit.osm_type
                                                               : nullptr;
    if (text != nullptr) {
      *text = read_text(r);
    } else if (key == "address") {
      read_address(r, hit);
    } else if (key == "osm_id") {
      hit.osm_id = read_i64(r).value_or(0);
    } else if (key == "boundingbox") {
      hit.box_size = 0;
      for (auto& v : hit.box) {
        v.reset();
      }
      read_array(r, [&](std::size_t i) {
        ++hit.box_size;
        if (i < 4) {
          hit.box[i] = number_text(read_text(r));
        } else {
          r.skip_value();
        }
      });
    } else {
      r.skip_value();
    }
  });
  return hit;
}

bool all_ascii_digits(std::string_view s) {
  for (char const c : s) {
    if (c < '0' || c > '9') {
      return false;
    }
  }
  return true;
}

std::string street_name(Hit const& hit) {
  // Only the first present key counts: an empty "road" does not fall through.
  std::optional<std::string> const& street = hit.road         ? hit.road
                                             : hit.pedestrian ? hit.pedestrian
                                                              : hit.footway;
  if (!street || street->empty()) {
    return {};
  }
  std::string name(*street);
  if (hit.house_number && !hit.house_number->empty()) {
    name += ' ';
    name += *hit.house_number;
  }
  return name;
}

std::string name_from_display(std::string_view display) {
  std::size_t start = 0;
  while (start <= display.size()) {
    std::size_t const comma = display.find(',', start);
    std::size_t const end = comma == std::string_view::npos ? display.size() : comma;
    std::string_view const part = base::utf8::trim(display.substr(start, end - start));
    if (!part.empty() && !all_ascii_digits(part)) {
      return std::string(part);
    }
    if (comma == std::string_view::npos) {
      break;
    }
    start = comma + 1;
  }
  return {};
}

std::optional<Place> place_of(Hit const& hit) {
  auto const lat = number_text(hit.lat);
  auto const lon = number_text(hit.lon);
  if (!lat || !lon || !is_valid_position({*lat, *lon})) {
    return std::nullopt;
  }
  std::string const display = hit.display_name.value_or("");

  std::string name = hit.name.value_or("");
  if (name.empty()) {
    name = street_name(hit);
  }
  if (name.empty()) {
    name = name_from_display(display);
  }
  if (name.empty()) {
    name = "Place";
  }

  std::optional<std::string> const& key = hit.class_key ? hit.class_key : hit.category_key;
  PlaceCategory const category = category_from_osm_tag(key.value_or(""), hit.type.value_or(""));
  std::string const id = fmt::format("osm-{}-{}", hit.osm_type.value_or("n"), hit.osm_id);
  return new_place(id, name, category, *lat, *lon, display);
}

std::optional<AreaHit> area_of(Hit const& hit) {
  auto place = place_of(hit);
  if (!place) {
    return std::nullopt;
  }
  AreaHit area;
  area.name = std::move(place->name);
  area.pos = place->pos;
  area.min = {place->pos.lat - AREA_HIT_MARGIN, place->pos.lon - AREA_HIT_MARGIN};
  area.max = {place->pos.lat + AREA_HIT_MARGIN, place->pos.lon + AREA_HIT_MARGIN};
  auto const& v = hit.box;
  if (hit.box_size >= 4 && v[0] && v[1] && v[2] && v[3] && is_valid_position({*v[0], *v[2]}) &&
      is_valid_position({*v[1], *v[3]})) {
    // south, north, west, east; taken as they come.
    area.min = {*v[0], *v[2]};
    area.max = {*v[1], *v[3]};
  }
  std::string_view const display = place->address;
  std::size_t const comma = display.find(',');
  area.label = comma == std::string_view::npos
                   ? std::string(display)
                   : std::string(base::utf8::trim(display.substr(0, comma)));
  return area;
}

// A search answer: hits in order, those that give nothing skipped.
template <class T, class F>
base::Result<std::vector<T>> parse_hits(std::string_view answer, F&& convert) {
  return detail::read_answer("geocoder", answer,
                             [&](JsonReader& r) -> base::Result<std::vector<T>> {
                               std::vector<T> out;
                               if (!read_array(r, [&](std::size_t) {
                                     if (out.size() == GEOCODER_RESULT_LIMIT) {
                                       r.skip_value();
                                     } else if (auto v = convert(read_hit(r))) {
                                       out.push_back(std::move(*v));
                                     }
                                   })) {
                                 return base::fail("unexpected response");
                               }
                               return out;
                             });
}

// One hit given as JSON text; nothing for text that is no JSON.
Hit hit_of(std::string_view text) {
  JsonReader r(text, detail::ANSWER_READING);
  try {
    Hit hit = read_hit(r);
    r.finish();
    return hit;
  } catch (JsonError const&) {
    return Hit{};
  }
}

} // namespace

std::optional<Place> parse_geocoder_place(std::string_view hit) {
  return place_of(hit_of(hit));
}

std::optional<AreaHit> parse_search_hit(std::string_view hit) {
  return area_of(hit_of(hit));
}

std::string search_url(std::string_view base_url, std::string_view query) {
  return fmt::format("{}/search?q={}&format=jsonv2&limit={}&addressdetails=1", base_url,
                     url_encode(query), GEOCODER_RESULT_LIMIT);
}

std::string reverse_url(std::string_view base_url, double lat, double lon) {
  return fmt::format("{}/reverse?lat={:.6f}&lon={:.6f}&format=jsonv2&zoom=16&addressdetails=1",
                     base_url, lat, lon);
}

base::Result<std::vector<Place>> parse_search_answer(std::string_view answer) {
  return parse_hits<Place>(answer, place_of);
}

base::Result<std::vector<AreaHit>> parse_area_search_answer(std::string_view answer) {
  return parse_hits<AreaHit>(answer, area_of);
}

base::Result<std::string> parse_reverse_answer(std::string_view answer) {
  return detail::read_answer("geocoder", answer, [](JsonReader& r) -> base::Result<std::string> {
    std::optional<std::string> name;
    std::optional<std::string> display;
    read_object(r, [&](std::string_view key) {
      if (key == "name") {
        name = read_text(r);
      } else if (key == "display_name") {
        display = read_text(r);
      } else {
        r.skip_value();
      }
    });
    if (name && !name->empty()) {
      return std::move(*name);
    }
    if (display && !display->empty()) {
      std::string_view const d = *display;
      std::size_t const first = d.find(',');
      if (first == std::string_view::npos) {
        return std::string(base::utf8::trim(d));
      }
      std::size_t const second = d.find(',', first + 1);
      std::string_view const rest =
          d.substr(first + 1,
                   second == std::string_view::npos ? std::string_view::npos : second - first - 1);
      return fmt::format("{}, {}", base::utf8::trim(d.substr(0, first)), base::utf8::trim(rest));
    }
    return base::fail("no address for this location");
  });
}

base::Result<std::vector<Place>> search_places(std::string_view base_url, std::string_view query) {
  auto const answer = fetch_json(search_url(base_url, query));
  if (!answer) {
    return base::fail(answer.error());
  }
  return parse_search_answer(*answer);
}

base::Result<std::vector<Place>> search_places(std::string_view query) {
  return search_places(GEOCODER_BASE_URL, query);
}

base::Result<std::vector<AreaHit>> search_places_with_bounds(std::string_view base_url,
                                                             std::string_view query) {
  auto const answer = fetch_json(search_url(base_url, query));
  if (!answer) {
    return base::fail(answer.error());
  }
  return parse_area_search_answer(*answer);
}

base::Result<std::vector<AreaHit>> search_places_with_bounds(std::string_view query) {
  return search_places_with_bounds(GEOCODER_BASE_URL, query);
}

base::Result<std::string> reverse_geocode(std::string_view base_url, double lat, double lon) {
  auto const answer = fetch_json(reverse_url(base_url, lat, lon));
  if (!answer) {
    return base::fail(answer.error());
  }
  return parse_reverse_answer(*answer);
}

base::Result<std::string> reverse_geocode(double lat, double lon) {
  return reverse_geocode(GEOCODER_BASE_URL, lat, lon);
}

} // namespace maps
