#include "doc/schema.h"

#include <array>

#include "base/utf8.h"

namespace maps {

namespace {

constexpr std::array<std::string_view, 4> TRAVEL_MODE_WORDS = {"car", "transit", "bike", "foot"};
constexpr std::array<std::string_view, 11> CATEGORY_WORDS = {
    "landmark", "cafe",  "restaurant", "bar",      "museum", "park",
    "transit",  "hotel", "shop",       "hospital", "other"};
constexpr std::array<std::string_view, 12> MANEUVER_WORDS = {
    "depart", "continue",    "slight_left", "left",       "sharp_left", "slight_right",
    "right",  "sharp_right", "uturn",       "roundabout", "merge",      "arrive"};
constexpr std::array<std::string_view, 6> LEG_MODE_WORDS = {"walk",   "bus",  "tram",
                                                            "subway", "rail", "ferry"};

template <class E, std::size_t N>
std::optional<E> parse_word(std::array<std::string_view, N> const& words, std::string_view text) {
  for (std::size_t i = 0; i < N; ++i) {
    if (words[i] == text) {
      return static_cast<E>(i);
    }
  }
  return std::nullopt;
}

} // namespace

std::string_view travel_mode_text(TravelMode mode) {
  return TRAVEL_MODE_WORDS[static_cast<std::size_t>(mode)];
}
std::optional<TravelMode> parse_travel_mode(std::string_view text) {
  return parse_word<TravelMode>(TRAVEL_MODE_WORDS, text);
}

std::string_view category_text(PlaceCategory category) {
  return CATEGORY_WORDS[static_cast<std::size_t>(category)];
}
std::optional<PlaceCategory> parse_category(std::string_view text) {
  return parse_word<PlaceCategory>(CATEGORY_WORDS, text);
}

std::string_view maneuver_text(Maneuver maneuver) {
  return MANEUVER_WORDS[static_cast<std::size_t>(maneuver)];
}
std::optional<Maneuver> parse_maneuver(std::string_view text) {
  return parse_word<Maneuver>(MANEUVER_WORDS, text);
}

std::string_view leg_mode_text(LegMode mode) {
  return LEG_MODE_WORDS[static_cast<std::size_t>(mode)];
}
std::optional<LegMode> parse_leg_mode(std::string_view text) {
  return parse_word<LegMode>(LEG_MODE_WORDS, text);
}

std::string recent_key(std::string_view text) {
  static constexpr char digits[] = "0123456789abcdef";
  auto const lower = base::utf8::to_lower(base::utf8::trim(text));
  std::string out;
  out.reserve(lower.size() * 2);
  for (unsigned char c : lower) {
    out.push_back(digits[c >> 4]);
    out.push_back(digits[c & 15]);
  }
  return out;
}

} // namespace maps
