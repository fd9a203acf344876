#include "app/suggestions.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <span>

#include "base/utf8.h"
#include "geo/geo.h"

namespace maps {

namespace {

/// Places of one name closer than this are one place met twice.
constexpr double DUPLICATE_RADIUS_M = 150.0;

/// The folded ASCII text of U+00C0..U+00FC, or nullptr for the letters that are not folded.
char const* latin1_fold(char32_t cp) {
  if (cp < 0xC0 || cp > 0xFC) {
    return nullptr;
  }
  static constexpr std::array<char const*, 0xFD - 0xC0> table = {
      "a",     "a", "a", "a", "a", "a",     nullptr, "c",     // C0-C7: À Á Â Ã Ä Å Æ Ç
      "e",     "e", "e", "e", "i", "i",     "i",     "i",     // C8-CF
      nullptr, "n", "o", "o", "o", "o",     "o",     nullptr, // D0-D7: Ð Ñ Ò Ó Ô Õ Ö ×
      "o",     "u", "u", "u", "u", nullptr, nullptr, "ss",    // D8-DF: Ø Ù Ú Û Ü Ý Þ ß
      "a",     "a", "a", "a", "a", "a",     nullptr, "c",     // E0-E7: à … å æ ç
      "e",     "e", "e", "e", "i", "i",     "i",     "i",     // E8-EF
      nullptr, "n", "o", "o", "o", "o",     "o",     nullptr, // F0-F7: ð ñ ò … ö ÷
      "o",     "u", "u", "u", "u",                            // F8-FC: ø ù ú û ü
  };
  return table[cp - 0xC0];
}

/// Appends the full lower-case mapping of one code point (one character can become three).
void append_lower(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(cp >= 'A' && cp <= 'Z' ? static_cast<char>(cp - 'A' + 'a')
                                         : static_cast<char>(cp));
    return;
  }
  UChar src[2] = {0, 0};
  int32_t src_len = 0;
  UBool error = false;
  U16_APPEND(src, src_len, 2, static_cast<UChar32>(cp), error);
  UChar dst[8] = {};
  UErrorCode status = U_ZERO_ERROR;
  int32_t const n = u_strToLower(dst, 8, src, src_len, "", &status);
  if (error || U_FAILURE(status)) {
    base::utf8::append(out, cp);
    return;
  }
  for (int32_t i = 0; i < n;) {
    UChar32 c = 0;
    U16_NEXT(dst, i, n, c);
    base::utf8::append(out, static_cast<char32_t>(c));
  }
}

constexpr std::array<std::string_view, 3> LANDMARK_WORDS = {"sight", "landmark", "tourist"};
constexpr std::array<std::string_view, 5> CAFE_WORDS = {"coffee", "cafe", "caf\xC3\xA9", "espresso",
                                                        "breakfast"};
constexpr std::array<std::string_view, 5> RESTAURANT_WORDS = {"food", "eat", "lunch", "dinner",
                                                              "restaurant"};
constexpr std::array<std::string_view, 5> BAR_WORDS = {"beer", "drink", "pub", "bar", "biergarten"};
constexpr std::array<std::string_view, 4> MUSEUM_WORDS = {"art", "museum", "gallery", "history"};
constexpr std::array<std::string_view, 4> PARK_WORDS = {"park", "green", "garden", "nature"};
constexpr std::array<std::string_view, 5> TRANSIT_WORDS = {"station", "train", "metro", "transit",
                                                           "bahnhof"};
constexpr std::array<std::string_view, 4> HOTEL_WORDS = {"hotel", "stay", "sleep", "room"};
constexpr std::array<std::string_view, 4> SHOP_WORDS = {"shop", "market", "store", "buy"};

std::span<std::string_view const> category_keywords(PlaceCategory category) {
  switch (category) {
  case PlaceCategory::Landmark:
    return LANDMARK_WORDS;
  case PlaceCategory::Cafe:
    return CAFE_WORDS;
  case PlaceCategory::Restaurant:
    return RESTAURANT_WORDS;
  case PlaceCategory::Bar:
    return BAR_WORDS;
  case PlaceCategory::Museum:
    return MUSEUM_WORDS;
  case PlaceCategory::Park:
    return PARK_WORDS;
  case PlaceCategory::Transit:
    return TRANSIT_WORDS;
  case PlaceCategory::Hotel:
    return HOTEL_WORDS;
  case PlaceCategory::Shop:
    return SHOP_WORDS;
  case PlaceCategory::Hospital:
  case PlaceCategory::Other:
    break;
  }
  return {};
}

MatchRank rank_normalized(std::string_view q, std::string_view c) {
  if (q.empty() || c == q) {
    return 0;
  }
  if (c.starts_with(q)) {
    return 1;
  }
  return c.find(q) != std::string_view::npos ? 2 : 3;
}

} // namespace

std::string normalize_search_text(std::string_view text) {
  std::string_view const trimmed = base::utf8::trim(text);
  std::string out;
  out.reserve(trimmed.size());
  bool last_space = true;
  base::utf8::for_each_code_point(trimmed, [&](char32_t cp) {
    if (base::utf8::is_white_space(cp)) {
      if (!last_space) {
        out.push_back(' ');
        last_space = true;
      }
      return;
    }
    if (char const* folded = latin1_fold(cp)) {
      out += folded; // already lower-case ASCII
    } else {
      append_lower(out, cp);
    }
    last_space = false;
  });
  while (!out.empty() && out.back() == ' ') {
    out.pop_back();
  }
  return out;
}

MatchRank match_rank(std::string_view query, std::string_view candidate) {
  std::string const q = normalize_search_text(query);
  if (q.empty()) {
    return 0;
  }
  return rank_normalized(q, normalize_search_text(candidate));
}

void rank_places_for_query(std::vector<Place>& places, std::string_view query, LatLon reference) {
  std::string const q = normalize_search_text(query);
  struct Keyed {
    MatchRank rank;
    double distance;
    std::string name;
    Place place;
  };
  std::vector<Keyed> keyed;
  keyed.reserve(places.size());
  for (auto& place : places) {
    std::string name = normalize_search_text(place.name);
    MatchRank const rank = rank_normalized(q, name);
    double const distance = haversine_m(place.pos.lat, place.pos.lon, reference.lat, reference.lon);
    keyed.push_back(Keyed{rank, distance, std::move(name), std::move(place)});
  }
  std::stable_sort(keyed.begin(), keyed.end(), [](Keyed const& a, Keyed const& b) {
    if (a.rank != b.rank) {
      return a.rank < b.rank;
    }
    // Total order of doubles: NaN after every number.
    return std::isnan(b.distance) ? !std::isnan(a.distance)
                                  : (!std::isnan(a.distance) && a.distance < b.distance);
  });
  places.clear();
  std::vector<std::size_t> retained;
  for (std::size_t i = 0; i < keyed.size(); ++i) {
    bool const duplicate = std::any_of(retained.begin(), retained.end(), [&](std::size_t j) {
      return keyed[j].name == keyed[i].name &&
             haversine_m(keyed[j].place.pos.lat, keyed[j].place.pos.lon, keyed[i].place.pos.lat,
                         keyed[i].place.pos.lon) < DUPLICATE_RADIUS_M;
    });
    if (!duplicate) {
      retained.push_back(i);
    }
  }
  for (std::size_t const i : retained) {
    places.push_back(std::move(keyed[i].place));
  }
}

bool category_keyword_match(std::string_view query, PlaceCategory category) {
  for (std::string_view const word : category_keywords(category)) {
    if (query.find(word) != std::string_view::npos || word.find(query) != std::string_view::npos) {
      return true;
    }
  }
  return false;
}

} // namespace maps
