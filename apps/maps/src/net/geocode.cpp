#include "net/geocode.h"

#include <charconv>
#include <cmath>
#include <utility>

#include <fmt/format.h>

#include "base/utf8.h"
#include "geo/geo.h"
#include "net/http.h"
#include "net/json_read.h"
#include "net/net_log.h"
#include "net/poi.h"

namespace maps {

namespace {

using detail::member;
using detail::string_member;

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

std::optional<double> number_text_member(nlohmann::json const& obj, std::string_view key) {
  auto const text = string_member(obj, key);
  return text ? parse_number(*text) : std::nullopt;
}

bool all_ascii_digits(std::string_view s) {
  for (char const c : s) {
    if (c < '0' || c > '9') {
      return false;
    }
  }
  return true;
}

std::string street_name(nlohmann::json const& hit) {
  auto const* address = member(hit, "address");
  if (address == nullptr) {
    return {};
  }
  // Only the first present key counts: an empty "road" does not fall through.
  std::optional<std::string_view> street = string_member(*address, "road");
  if (!street) {
    street = string_member(*address, "pedestrian");
  }
  if (!street) {
    street = string_member(*address, "footway");
  }
  if (!street || street->empty()) {
    return {};
  }
  std::string name(*street);
  auto const number = string_member(*address, "house_number");
  if (number && !number->empty()) {
    name += ' ';
    name += *number;
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

template <class T, class F>
base::Result<std::vector<T>> parse_hits(nlohmann::json const& answer, F&& parse_one) {
  if (!answer.is_array()) {
    return base::fail("unexpected response");
  }
  std::vector<T> out;
  out.reserve(answer.size());
  for (auto const& hit : answer) {
    if (auto v = parse_one(hit)) {
      out.push_back(std::move(*v));
    }
  }
  return out;
}

template <class F> auto guarded(F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (nlohmann::json::exception const& e) {
    net_logger()->warn("{} answer could not be read: {}", "geocoder", e.what());
    return base::fail(ANSWER_UNREADABLE);
  }
}

} // namespace

std::optional<Place> parse_geocoder_place(nlohmann::json const& hit) {
  auto const lat = number_text_member(hit, "lat");
  auto const lon = number_text_member(hit, "lon");
  if (!lat || !lon || !is_valid_position({*lat, *lon})) {
    return std::nullopt;
  }
  std::string_view const display = string_member(hit, "display_name").value_or("");

  std::string name;
  if (auto const n = string_member(hit, "name"); n && !n->empty()) {
    name = *n;
  }
  if (name.empty()) {
    name = street_name(hit);
  }
  if (name.empty()) {
    name = name_from_display(display);
  }
  if (name.empty()) {
    name = "Place";
  }

  auto key = string_member(hit, "class");
  if (!key) {
    key = string_member(hit, "category");
  }
  PlaceCategory const category =
      category_from_osm_tag(key.value_or(""), string_member(hit, "type").value_or(""));

  std::int64_t osm_id = 0;
  if (auto const* id = member(hit, "osm_id")) {
    osm_id = detail::as_i64(*id).value_or(0);
  }
  std::string const id =
      fmt::format("osm-{}-{}", string_member(hit, "osm_type").value_or("n"), osm_id);
  return new_place(id, name, category, *lat, *lon, display);
}

std::optional<AreaHit> parse_search_hit(nlohmann::json const& hit) {
  auto place = parse_geocoder_place(hit);
  if (!place) {
    return std::nullopt;
  }
  AreaHit area;
  area.name = std::move(place->name);
  area.pos = place->pos;
  area.min = {place->pos.lat - AREA_HIT_MARGIN, place->pos.lon - AREA_HIT_MARGIN};
  area.max = {place->pos.lat + AREA_HIT_MARGIN, place->pos.lon + AREA_HIT_MARGIN};
  auto const* box = member(hit, "boundingbox");
  if (box != nullptr && box->is_array() && box->size() >= 4) {
    std::optional<double> v[4];
    bool ok = true;
    for (std::size_t i = 0; i < 4; ++i) {
      auto const& e = (*box)[i];
      if (e.is_string()) {
        v[i] = parse_number(e.get_ref<nlohmann::json::string_t const&>());
      }
      ok = ok && v[i].has_value();
    }
    ok = ok && is_valid_position({*v[0], *v[2]}) && is_valid_position({*v[1], *v[3]});
    if (ok) {
      // south, north, west, east; taken as they come.
      area.min = {*v[0], *v[2]};
      area.max = {*v[1], *v[3]};
    }
  }
  std::string_view const display = place->address;
  std::size_t const comma = display.find(',');
  area.label = comma == std::string_view::npos
                   ? std::string(display)
                   : std::string(base::utf8::trim(display.substr(0, comma)));
  return area;
}

std::string search_url(std::string_view base_url, std::string_view query) {
  return fmt::format("{}/search?q={}&format=jsonv2&limit=8&addressdetails=1", base_url,
                     url_encode(query));
}

std::string reverse_url(std::string_view base_url, double lat, double lon) {
  return fmt::format("{}/reverse?lat={:.6f}&lon={:.6f}&format=jsonv2&zoom=16&addressdetails=1",
                     base_url, lat, lon);
}

base::Result<std::vector<Place>> parse_search_answer(nlohmann::json const& answer) {
  return guarded([&] { return parse_hits<Place>(answer, parse_geocoder_place); });
}

base::Result<std::vector<AreaHit>> parse_area_search_answer(nlohmann::json const& answer) {
  return guarded([&] { return parse_hits<AreaHit>(answer, parse_search_hit); });
}

base::Result<std::string> parse_reverse_answer(nlohmann::json const& answer) {
  return guarded([&]() -> base::Result<std::string> {
    if (auto const name = string_member(answer, "name"); name && !name->empty()) {
      return std::string(*name);
    }
    if (auto const display = string_member(answer, "display_name"); display && !display->empty()) {
      std::size_t const first = display->find(',');
      if (first == std::string_view::npos) {
        return std::string(base::utf8::trim(*display));
      }
      std::size_t const second = display->find(',', first + 1);
      std::string_view const rest =
          display->substr(first + 1, second == std::string_view::npos ? std::string_view::npos
                                                                      : second - first - 1);
      return fmt::format("{}, {}", base::utf8::trim(display->substr(0, first)),
                         base::utf8::trim(rest));
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
