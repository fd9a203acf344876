#include "model/json.h"

#include <array>
#include <concepts>
#include <optional>
#include <tuple>
#include <type_traits>
#include <utility>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "base/number.h"
#include "base/utf8.h"
#include "model/debug_text.h"
#include "model/json_reader.h"
#include "model/json_writer.h"

namespace maps {

namespace {

// ---------------------------------------------------------------------------------------------
// Descriptions of the forms: each record lists its fields in declaration order (which is the
// member order of the text), each enumeration its variant names, each tagged union its variant
// names. Writer, value-tree builder and reader are generic over these descriptions.

template <class T, class M>
struct Field {
  std::string_view name;
  M T::*member;
  bool defaulted;  // a missing member reads as the field's default value
};

template <class T, class M>
constexpr Field<T, M> field(std::string_view name, M T::*member) {
  return {name, member, false};
}

template <class T, class M>
constexpr Field<T, M> with_default(std::string_view name, M T::*member) {
  return {name, member, true};
}

template <class T>
struct Record;

template <>
struct Record<LatLon> {
  static constexpr std::string_view expecting = "struct LatLon";
  static constexpr auto fields = std::tuple{field("lat", &LatLon::lat), field("lon", &LatLon::lon)};
};

template <>
struct Record<Place> {
  static constexpr std::string_view expecting = "struct Place";
  static constexpr auto fields =
      std::tuple{field("id", &Place::id),           field("name", &Place::name),
                 field("category", &Place::category), field("address", &Place::address),
                 field("pos", &Place::pos),         field("saved", &Place::saved)};
};

template <>
struct Record<RouteStep> {
  static constexpr std::string_view expecting = "struct RouteStep";
  static constexpr auto fields = std::tuple{field("instruction", &RouteStep::instruction),
                                            field("distance_m", &RouteStep::distance_m),
                                            field("maneuver", &RouteStep::maneuver)};
};

template <>
struct Record<Route> {
  static constexpr std::string_view expecting = "struct Route";
  static constexpr auto fields =
      std::tuple{field("mode", &Route::mode),         field("distance_m", &Route::distance_m),
                 field("duration_s", &Route::duration_s), field("geometry", &Route::geometry),
                 field("steps", &Route::steps),       field("from", &Route::from),
                 field("to", &Route::to)};
};

template <>
struct Record<TransitLeg> {
  static constexpr std::string_view expecting = "struct TransitLeg";
  static constexpr auto fields = std::tuple{
      field("mode", &TransitLeg::mode),
      field("line", &TransitLeg::line),
      field("headsign", &TransitLeg::headsign),
      field("from_name", &TransitLeg::from_name),
      field("to_name", &TransitLeg::to_name),
      field("dep", &TransitLeg::dep),
      field("arr", &TransitLeg::arr),
      field("duration_min", &TransitLeg::duration_min),
      field("num_stops", &TransitLeg::num_stops),
      field("geometry", &TransitLeg::geometry),
      field("color", &TransitLeg::color),
      field("text_color", &TransitLeg::text_color),
      with_default("agency", &TransitLeg::agency),
      with_default("realtime", &TransitLeg::realtime)};
};

template <>
struct Record<TransitJourney> {
  static constexpr std::string_view expecting = "struct TransitJourney";
  static constexpr auto fields = std::tuple{
      field("dep", &TransitJourney::dep), field("arr", &TransitJourney::arr),
      field("duration_min", &TransitJourney::duration_min),
      field("transfers", &TransitJourney::transfers), field("legs", &TransitJourney::legs)};
};

template <>
struct Record<TransitTime> {
  static constexpr std::string_view expecting = "struct TransitTime";
  static constexpr auto fields =
      std::tuple{field("mode", &TransitTime::mode), field("offset_min", &TransitTime::offset_min)};
};

template <>
struct Record<DownloadedRegion> {
  static constexpr std::string_view expecting = "struct DownloadedRegion";
  static constexpr auto fields = std::tuple{
      field("id", &DownloadedRegion::id),   field("name", &DownloadedRegion::name),
      field("min", &DownloadedRegion::min), field("max", &DownloadedRegion::max),
      field("z0", &DownloadedRegion::z0),   field("z1", &DownloadedRegion::z1),
      field("tiles", &DownloadedRegion::tiles)};
};

template <>
struct Record<MapModel> {
  static constexpr std::string_view expecting = "struct MapModel";
  static constexpr auto fields = std::tuple{
      field("places", &MapModel::places),
      field("recents", &MapModel::recents),
      field("selected", &MapModel::selected),
      field("route", &MapModel::route),
      field("transit", &MapModel::transit),
      field("transit_choice", &MapModel::transit_choice),
      field("panel", &MapModel::panel),
      field("mode", &MapModel::mode),
      field("query", &MapModel::query),
      with_default("origin_query", &MapModel::origin_query),
      with_default("dest_query", &MapModel::dest_query),
      with_default("transit_time", &MapModel::transit_time),
      field("results", &MapModel::results),
      field("origin", &MapModel::origin),
      field("origin_name", &MapModel::origin_name),
      field("dest", &MapModel::dest),
      with_default("dest_name", &MapModel::dest_name),
      field("center", &MapModel::center),
      field("zoom", &MapModel::zoom),
      field("status", &MapModel::status),
      with_default("regions", &MapModel::regions)};
};

template <>
struct Record<ActivePlan::Route> {
  using R = ActivePlan::Route;
  static constexpr std::string_view expecting = "struct variant ActivePlan::Route";
  static constexpr auto fields =
      std::tuple{field("route", &R::route),           field("origin", &R::origin),
                 field("origin_name", &R::origin_name), field("dest", &R::dest),
                 field("dest_name", &R::dest_name),   field("mode", &R::mode)};
};

template <>
struct Record<ActivePlan::Transit> {
  using R = ActivePlan::Transit;
  static constexpr std::string_view expecting = "struct variant ActivePlan::Transit";
  static constexpr auto fields =
      std::tuple{field("transit", &R::transit),         field("origin", &R::origin),
                 field("origin_name", &R::origin_name), field("dest", &R::dest),
                 field("dest_name", &R::dest_name)};
};

template <>
struct Record<MapsAction::UpsertPlaces> {
  static constexpr std::string_view expecting = "struct variant MapsAction::UpsertPlaces";
  static constexpr auto fields = std::tuple{field("places", &MapsAction::UpsertPlaces::places)};
};

template <>
struct Record<MapsAction::SetPlaceSaved> {
  using R = MapsAction::SetPlaceSaved;
  static constexpr std::string_view expecting = "struct variant MapsAction::SetPlaceSaved";
  static constexpr auto fields = std::tuple{field("id", &R::id), field("saved", &R::saved)};
};

template <>
struct Record<MapsAction::CommitSearch> {
  static constexpr std::string_view expecting = "struct variant MapsAction::CommitSearch";
  static constexpr auto fields = std::tuple{field("query", &MapsAction::CommitSearch::query)};
};

template <>
struct Record<MapsAction::SetTravelMode> {
  static constexpr std::string_view expecting = "struct variant MapsAction::SetTravelMode";
  static constexpr auto fields = std::tuple{field("mode", &MapsAction::SetTravelMode::mode)};
};

template <>
struct Record<MapsAction::SetTransitTime> {
  static constexpr std::string_view expecting = "struct variant MapsAction::SetTransitTime";
  static constexpr auto fields = std::tuple{field("value", &MapsAction::SetTransitTime::value)};
};

template <>
struct Record<MapsAction::SetRoute> {
  using R = MapsAction::SetRoute;
  static constexpr std::string_view expecting = "struct variant MapsAction::SetRoute";
  static constexpr auto fields =
      std::tuple{field("route", &R::route),           field("origin", &R::origin),
                 field("origin_name", &R::origin_name), field("dest", &R::dest),
                 field("dest_name", &R::dest_name),   field("mode", &R::mode)};
};

template <>
struct Record<MapsAction::SetTransit> {
  using R = MapsAction::SetTransit;
  static constexpr std::string_view expecting = "struct variant MapsAction::SetTransit";
  static constexpr auto fields =
      std::tuple{field("transit", &R::transit),         field("origin", &R::origin),
                 field("origin_name", &R::origin_name), field("dest", &R::dest),
                 field("dest_name", &R::dest_name)};
};

template <>
struct Record<MapsAction::DeleteRegion> {
  static constexpr std::string_view expecting = "struct variant MapsAction::DeleteRegion";
  static constexpr auto fields = std::tuple{field("id", &MapsAction::DeleteRegion::id)};
};

template <class T>
concept IsRecord = requires { Record<T>::fields; };

/// A variant carrying one unnamed value, written as that value itself.
template <class T>
struct Newtype;

template <>
struct Newtype<MapsAction::AddRegion> {
  static constexpr auto member = &MapsAction::AddRegion::region;
};

template <class T>
concept IsNewtype = requires { Newtype<T>::member; };

template <class E>
struct Enum;

template <>
struct Enum<PlaceCategory> {
  static constexpr auto const& names = PLACE_CATEGORY_NAMES;
  static constexpr std::string_view expecting = "enum PlaceCategory";
};
template <>
struct Enum<Maneuver> {
  static constexpr auto const& names = MANEUVER_NAMES;
  static constexpr std::string_view expecting = "enum Maneuver";
};
template <>
struct Enum<TravelMode> {
  static constexpr auto const& names = TRAVEL_MODE_NAMES;
  static constexpr std::string_view expecting = "enum TravelMode";
};
template <>
struct Enum<LegMode> {
  static constexpr auto const& names = LEG_MODE_NAMES;
  static constexpr std::string_view expecting = "enum LegMode";
};
template <>
struct Enum<TransitTimeMode> {
  static constexpr auto const& names = TRANSIT_TIME_MODE_NAMES;
  static constexpr std::string_view expecting = "enum TransitTimeMode";
};
template <>
struct Enum<Panel> {
  static constexpr auto const& names = PANEL_NAMES;
  static constexpr std::string_view expecting = "enum Panel";
};

template <class T>
concept IsEnum = requires { Enum<T>::names; };

inline constexpr std::array<std::string_view, 3> ACTIVE_PLAN_NAMES = {"None", "Route",
                                                                      "Transit"};

template <class U>
struct Union;

template <>
struct Union<ActivePlan> {
  static constexpr auto const& names = ACTIVE_PLAN_NAMES;
  static constexpr std::string_view expecting = "enum ActivePlan";
};
template <>
struct Union<MapsAction> {
  static constexpr auto const& names = MAPS_ACTION_NAMES;
  static constexpr std::string_view expecting = "enum MapsAction";
};

template <class T>
concept IsUnion = requires { Union<T>::names; };

template <class T>
inline constexpr bool is_optional = false;
template <class T>
inline constexpr bool is_optional<std::optional<T>> = true;

template <class T>
inline constexpr bool is_vector = false;
template <class T>
inline constexpr bool is_vector<std::vector<T>> = true;

template <class Tuple, class F>
constexpr void for_each_indexed(Tuple const& tuple, F&& f) {
  [&]<std::size_t... I>(std::index_sequence<I...>) {
    (f(std::get<I>(tuple), I), ...);
  }(std::make_index_sequence<std::tuple_size_v<Tuple>>{});
}

template <class T>
constexpr std::size_t field_count() {
  return std::tuple_size_v<std::remove_cvref_t<decltype(Record<T>::fields)>>;
}

// ---------------------------------------------------------------------------------------------
// Text writer.

template <class T>
void write(std::string& out, T const& value) {
  if constexpr (std::same_as<T, std::string>) {
    append_json_string(out, value);
  } else if constexpr (std::same_as<T, bool>) {
    append_json_bool(out, value);
  } else if constexpr (std::same_as<T, double>) {
    append_json_f64(out, value);
  } else if constexpr (std::unsigned_integral<T>) {
    append_json_u64(out, value);
  } else if constexpr (std::signed_integral<T>) {
    append_json_i64(out, value);
  } else if constexpr (is_optional<T>) {
    if (value) {
      write(out, *value);
    } else {
      out += "null";
    }
  } else if constexpr (is_vector<T>) {
    out.push_back('[');
    bool first = true;
    for (auto const& element : value) {
      if (!first) {
        out.push_back(',');
      }
      first = false;
      write(out, element);
    }
    out.push_back(']');
  } else if constexpr (IsEnum<T>) {
    // Variant names need no escapes.
    out.push_back('"');
    out += Enum<T>::names[static_cast<std::size_t>(value)];
    out.push_back('"');
  } else if constexpr (IsRecord<T>) {
    out.push_back('{');
    for_each_indexed(Record<T>::fields, [&](auto const& f, std::size_t i) {
      if (i) {
        out.push_back(',');
      }
      out.push_back('"');
      out += f.name;
      out += "\":";
      write(out, value.*f.member);
    });
    out.push_back('}');
  } else if constexpr (IsUnion<T>) {
    std::visit(
        [&](auto const& alt) {
          using A = std::remove_cvref_t<decltype(alt)>;
          std::string_view const name = Union<T>::names[value.value.index()];
          if constexpr (std::is_empty_v<A>) {
            out.push_back('"');
            out += name;
            out.push_back('"');
          } else {
            out += "{\"";
            out += name;
            out += "\":";
            if constexpr (IsNewtype<A>) {
              write(out, alt.*Newtype<A>::member);
            } else {
              write(out, alt);
            }
            out.push_back('}');
          }
        },
        value.value);
  } else {
    static_assert(!sizeof(T), "type without a JSON form");
  }
}

// ---------------------------------------------------------------------------------------------
// Value-tree builder: the same form as the text, member order kept by ordered_json.

template <class T>
nlohmann::ordered_json to_value(T const& value) {
  using J = nlohmann::ordered_json;
  if constexpr (std::same_as<T, std::string>) {
    // As in the text, malformed UTF-8 becomes U+FFFD (nlohmann's dump() would throw on it).
    return base::utf8::is_valid(value) ? J(value) : J(base::utf8::lossy(value));
  } else if constexpr (std::same_as<T, bool>) {
    return J(value);
  } else if constexpr (std::same_as<T, double>) {
    return std::isfinite(value) ? J(value) : J(nullptr);
  } else if constexpr (std::unsigned_integral<T>) {
    return J(static_cast<std::uint64_t>(value));
  } else if constexpr (std::signed_integral<T>) {
    return J(static_cast<std::int64_t>(value));
  } else if constexpr (is_optional<T>) {
    return value ? to_value(*value) : J(nullptr);
  } else if constexpr (is_vector<T>) {
    J array = J::array();
    for (auto const& element : value) {
      array.push_back(to_value(element));
    }
    return array;
  } else if constexpr (IsEnum<T>) {
    return J(std::string(Enum<T>::names[static_cast<std::size_t>(value)]));
  } else if constexpr (IsRecord<T>) {
    J object = J::object();
    for_each_indexed(Record<T>::fields, [&](auto const& f, std::size_t) {
      object[std::string(f.name)] = to_value(value.*f.member);
    });
    return object;
  } else if constexpr (IsUnion<T>) {
    return std::visit(
        [&](auto const& alt) -> J {
          using A = std::remove_cvref_t<decltype(alt)>;
          std::string const name(Union<T>::names[value.value.index()]);
          if constexpr (std::is_empty_v<A>) {
            return J(name);
          } else {
            J object = J::object();
            if constexpr (IsNewtype<A>) {
              object[name] = to_value(alt.*Newtype<A>::member);
            } else {
              object[name] = to_value(alt);
            }
            return object;
          }
        },
        value.value);
  } else {
    static_assert(!sizeof(T), "type without a JSON form");
  }
}

// ---------------------------------------------------------------------------------------------
// Typed reader.

struct Ctx {
  JsonReader r;
  std::string key;      // the member name last read
  std::string scratch;  // texts read only to be shown in an error
};

std::string debug_quoted(std::string_view text) {
  std::string out;
  detail::append_debug_string(out, text);
  return out;
}

/// Reads the next value only to describe it, then fails with "invalid type: …, expected …".
[[noreturn]] void invalid_type(Ctx& c, std::string_view expected) {
  std::string found;
  switch (c.r.peek()) {
    case JsonReader::Kind::Null:
      c.r.read_null();
      found = "null";
      break;
    case JsonReader::Kind::Bool:
      found = fmt::format("boolean `{}`", c.r.read_bool());
      break;
    case JsonReader::Kind::Number: {
      JsonNumber const n = c.r.read_number();
      if (n.integral && !n.overflow) {
        found = fmt::format("integer `{}`", n.token);
      } else {
        auto const d = n.to_f64();
        found = fmt::format("floating point `{}`", d ? base::format_f64(*d) : std::string(n.token));
      }
      break;
    }
    case JsonReader::Kind::String:
      c.r.read_string(c.scratch);
      found = "string " + debug_quoted(c.scratch);
      break;
    case JsonReader::Kind::Array: found = "sequence"; break;
    case JsonReader::Kind::Object: found = "map"; break;
    case JsonReader::Kind::End: c.r.fail("EOF while parsing a value");
    case JsonReader::Kind::Other: c.r.fail("expected value");
  }
  c.r.fail(fmt::format("invalid type: {}, expected {}", found, expected));
}

template <std::size_t N>
[[noreturn]] void unknown_variant(Ctx& c, std::string_view given,
                                  std::array<std::string_view, N> const& names) {
  std::string list;
  if constexpr (N == 1) {
    list = fmt::format("expected `{}`", names[0]);
  } else if constexpr (N == 2) {
    list = fmt::format("expected `{}` or `{}`", names[0], names[1]);
  } else {
    list = "expected one of ";
    for (std::size_t i = 0; i < N; ++i) {
      list += i ? ", `" : "`";
      list += names[i];
      list += "`";
    }
  }
  c.r.fail(fmt::format("unknown variant `{}`, {}", given, list));
}

template <std::size_t N>
std::size_t find_name(std::array<std::string_view, N> const& names, std::string_view name) {
  for (std::size_t i = 0; i < N; ++i) {
    if (names[i] == name) {
      return i;
    }
  }
  return N;
}

template <class I>
constexpr std::string_view integer_name() {
  if constexpr (std::same_as<I, std::uint8_t>) {
    return "u8";
  } else if constexpr (std::same_as<I, std::uint32_t>) {
    return "u32";
  } else if constexpr (std::same_as<I, std::int32_t>) {
    return "i32";
  } else {
    static_assert(std::same_as<I, std::size_t>);
    return "usize";
  }
}

template <class I>
void read_integer(Ctx& c, I& out) {
  constexpr std::string_view name = integer_name<I>();
  if (c.r.peek() != JsonReader::Kind::Number) {
    invalid_type(c, name);
  }
  JsonNumber const n = c.r.read_number();
  if (!n.integral) {
    auto const d = n.to_f64();
    c.r.fail(fmt::format("invalid type: floating point `{}`, expected {}",
                         d ? base::format_f64(*d) : std::string(n.token), name));
  }
  bool fits = !n.overflow;
  if (fits) {
    if (n.negative) {
      if constexpr (std::signed_integral<I>) {
        fits = n.magnitude <= static_cast<std::uint64_t>(std::numeric_limits<I>::max()) + 1;
      } else {
        fits = n.magnitude == 0;  // "-0"
      }
    } else {
      fits = n.magnitude <= static_cast<std::uint64_t>(std::numeric_limits<I>::max());
    }
  }
  if (!fits) {
    c.r.fail(fmt::format("invalid value: integer `{}`, expected {}", n.token, name));
  }
  if constexpr (std::signed_integral<I>) {
    // In range (at most 2^31), so the negation in 64 bits cannot overflow.
    auto const m = static_cast<std::int64_t>(n.magnitude);
    out = static_cast<I>(n.negative ? -m : m);
  } else {
    out = static_cast<I>(n.magnitude);
  }
}

template <class T>
void read(Ctx& c, T& out);

template <class T>
void read_record(Ctx& c, T& out) {
  using R = Record<T>;
  constexpr std::size_t n_fields = field_count<T>();
  auto const kind = c.r.peek();
  if (kind == JsonReader::Kind::Object) {
    c.r.begin_object();
    std::array<bool, n_fields> seen{};
    while (c.r.next_key(c.key)) {
      std::size_t index = n_fields;
      for_each_indexed(R::fields, [&](auto const& f, std::size_t i) {
        if (index == n_fields && f.name == c.key) {
          index = i;
        }
      });
      if (index == n_fields) {
        c.r.skip_value();
        continue;
      }
      if (seen[index]) {
        c.r.fail(fmt::format("duplicate field `{}`", c.key));
      }
      seen[index] = true;
      for_each_indexed(R::fields, [&](auto const& f, std::size_t i) {
        if (i == index) {
          read(c, out.*f.member);
        }
      });
    }
    for_each_indexed(R::fields, [&](auto const& f, std::size_t i) {
      using M = std::remove_cvref_t<decltype(out.*f.member)>;
      if (!seen[i] && !f.defaulted && !is_optional<M>) {
        c.r.fail(fmt::format("missing field `{}`", f.name));
      }
    });
  } else if (kind == JsonReader::Kind::Array) {
    c.r.begin_array();
    std::size_t given = 0;
    bool ended = false;
    auto const expecting = [&] {
      return fmt::format("{} with {} element{}", R::expecting, n_fields, n_fields == 1 ? "" : "s");
    };
    for_each_indexed(R::fields, [&](auto const& f, std::size_t) {
      if (!ended && c.r.next_element()) {
        read(c, out.*f.member);
        ++given;
        return;
      }
      ended = true;
      if (!f.defaulted) {
        c.r.fail(fmt::format("invalid length {}, expected {}", given, expecting()));
      }
    });
    if (!ended && c.r.next_element()) {
      // Count what is there, so the error says how long the array was.
      std::size_t total = given;
      do {
        c.r.skip_value();
        ++total;
      } while (c.r.next_element());
      c.r.fail(fmt::format("invalid length {}, expected {}", total, expecting()));
    }
  } else {
    invalid_type(c, R::expecting);
  }
}

template <class E>
void read_enum(Ctx& c, E& out) {
  auto const& names = Enum<E>::names;
  auto const kind = c.r.peek();
  if (kind == JsonReader::Kind::String) {
    c.r.read_string(c.key);
  } else if (kind == JsonReader::Kind::Object) {
    c.r.begin_object();
    if (!c.r.next_key(c.key)) {
      c.r.fail("expected an object with a single member");
    }
  } else {
    invalid_type(c, Enum<E>::expecting);
  }
  std::size_t const index = find_name(names, c.key);
  if (index == names.size()) {
    unknown_variant(c, c.key, names);
  }
  out = static_cast<E>(index);
  if (kind == JsonReader::Kind::Object) {
    if (c.r.peek() != JsonReader::Kind::Null) {
      invalid_type(c, "unit variant");
    }
    c.r.read_null();
    if (c.r.next_key(c.key)) {
      c.r.fail("expected an object with a single member");
    }
  }
}

template <class A>
void read_alternative(Ctx& c, A& alt, bool bare) {
  if constexpr (std::is_empty_v<A>) {
    if (!bare) {
      if (c.r.peek() != JsonReader::Kind::Null) {
        invalid_type(c, "unit variant");
      }
      c.r.read_null();
    }
  } else {
    if (bare) {
      c.r.fail(fmt::format("invalid type: string {}, expected {}", debug_quoted(c.key),
                           IsNewtype<A> ? "newtype variant" : "struct variant"));
    }
    if constexpr (IsNewtype<A>) {
      read(c, alt.*Newtype<A>::member);
    } else {
      read_record(c, alt);
    }
  }
}

template <class U>
void read_union(Ctx& c, U& out) {
  auto const& names = Union<U>::names;
  auto const kind = c.r.peek();
  if (kind == JsonReader::Kind::String) {
    c.r.read_string(c.key);
  } else if (kind == JsonReader::Kind::Object) {
    c.r.begin_object();
    if (!c.r.next_key(c.key)) {
      c.r.fail("expected an object with a single member");
    }
  } else {
    invalid_type(c, Union<U>::expecting);
  }
  std::size_t const index = find_name(names, c.key);
  if (index == names.size()) {
    unknown_variant(c, c.key, names);
  }
  bool const bare = kind == JsonReader::Kind::String;
  using V = decltype(out.value);
  [&]<std::size_t... I>(std::index_sequence<I...>) {
    ((index == I ? (read_alternative(c, out.value.template emplace<I>(), bare), 0) : 0), ...);
  }(std::make_index_sequence<std::variant_size_v<V>>{});
  if (!bare && c.r.next_key(c.key)) {
    c.r.fail("expected an object with a single member");
  }
}

template <class T>
void read(Ctx& c, T& out) {
  if constexpr (std::same_as<T, std::string>) {
    if (c.r.peek() != JsonReader::Kind::String) {
      invalid_type(c, "a string");
    }
    c.r.read_string(out);
  } else if constexpr (std::same_as<T, bool>) {
    if (c.r.peek() != JsonReader::Kind::Bool) {
      invalid_type(c, "a boolean");
    }
    out = c.r.read_bool();
  } else if constexpr (std::same_as<T, double>) {
    if (c.r.peek() != JsonReader::Kind::Number) {
      invalid_type(c, "f64");
    }
    auto const value = c.r.read_number().to_f64();
    if (!value) {
      c.r.fail("number out of range");
    }
    out = *value;
  } else if constexpr (std::integral<T>) {
    read_integer(c, out);
  } else if constexpr (is_optional<T>) {
    if (c.r.peek() == JsonReader::Kind::Null) {
      c.r.read_null();
      out.reset();
    } else {
      read(c, out.emplace());
    }
  } else if constexpr (is_vector<T>) {
    if (c.r.peek() != JsonReader::Kind::Array) {
      invalid_type(c, "a sequence");
    }
    c.r.begin_array();
    while (c.r.next_element()) {
      read(c, out.emplace_back());
    }
  } else if constexpr (IsEnum<T>) {
    read_enum(c, out);
  } else if constexpr (IsRecord<T>) {
    read_record(c, out);
  } else if constexpr (IsUnion<T>) {
    read_union(c, out);
  } else {
    static_assert(!sizeof(T), "type without a JSON form");
  }
}

template <class T>
base::Result<T> parse(std::string_view text) {
  try {
    Ctx c{JsonReader(text), {}, {}};
    T out{};
    read(c, out);
    c.r.finish();
    return out;
  } catch (JsonError const& e) {
    return base::fail(e.what());
  }
}

}  // namespace

template <JsonWritable T>
std::string to_json_text(T const& value) {
  std::string out;
  write(out, value);
  return out;
}

template <JsonWritable T>
void append_json_text(std::string& out, T const& value) {
  write(out, value);
}

template <JsonWritable T>
nlohmann::ordered_json to_json_value(T const& value) {
  return to_value(value);
}

std::vector<std::uint8_t> to_json_bytes(MapsAction const& action) {
  std::string text;
  text.reserve(128);
  write(text, action);
  return {text.begin(), text.end()};
}

template <JsonReadable T>
base::Result<T> from_json_text(std::string_view text) {
  return parse<T>(text);
}

template <JsonReadable T>
base::Result<T> from_json_bytes(std::span<std::uint8_t const> bytes) {
  return parse<T>(std::string_view(reinterpret_cast<char const*>(bytes.data()), bytes.size()));
}

#define MAPS_JSON_WRITABLE(T)                                            \
  template std::string to_json_text<T>(T const&);                        \
  template void append_json_text<T>(std::string&, T const&);             \
  template nlohmann::ordered_json to_json_value<T>(T const&);
#define MAPS_JSON_READABLE(T)                                            \
  template base::Result<T> from_json_text<T>(std::string_view);          \
  template base::Result<T> from_json_bytes<T>(std::span<std::uint8_t const>);

#define MAPS_JSON_BOTH(T) MAPS_JSON_WRITABLE(T) MAPS_JSON_READABLE(T)

MAPS_JSON_BOTH(LatLon)
MAPS_JSON_BOTH(Place)
MAPS_JSON_BOTH(RouteStep)
MAPS_JSON_BOTH(Route)
MAPS_JSON_BOTH(TransitLeg)
MAPS_JSON_BOTH(TransitJourney)
MAPS_JSON_BOTH(TransitTime)
MAPS_JSON_BOTH(DownloadedRegion)
MAPS_JSON_BOTH(ActivePlan)
MAPS_JSON_BOTH(MapsAction)
MAPS_JSON_BOTH(PlaceCategory)
MAPS_JSON_BOTH(Maneuver)
MAPS_JSON_BOTH(TravelMode)
MAPS_JSON_BOTH(LegMode)
MAPS_JSON_BOTH(TransitTimeMode)
MAPS_JSON_BOTH(Panel)
MAPS_JSON_READABLE(MapModel)

#undef MAPS_JSON_BOTH
#undef MAPS_JSON_READABLE
#undef MAPS_JSON_WRITABLE

}  // namespace maps
