#include "model/json.h"

#include <string>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "base/number.h"
#include "base/utf8.h"
#include "model/debug_text.h"
#include "model/json_forms.h"
#include "model/json_writer.h"

namespace maps {

namespace {

using namespace json_forms;

// ---------------------------------------------------------------------------------------------
// Text writer.

template <class T> void write(std::string& out, T const& value) {
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

template <class T> nlohmann::ordered_json to_value(T const& value) {
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

} // namespace

template <JsonWritable T> std::string to_json_text(T const& value) {
  std::string out;
  write(out, value);
  return out;
}

template <JsonWritable T> void append_json_text(std::string& out, T const& value) {
  write(out, value);
}

template <JsonWritable T> nlohmann::ordered_json to_json_value(T const& value) {
  return to_value(value);
}

std::vector<std::uint8_t> to_json_bytes(MapsAction const& action) {
  std::string text;
  text.reserve(128);
  write(text, action);
  return {text.begin(), text.end()};
}

#define MAPS_JSON_WRITABLE(T)                                                                      \
  template std::string to_json_text<T>(T const&);                                                  \
  template void append_json_text<T>(std::string&, T const&);                                       \
  template nlohmann::ordered_json to_json_value<T>(T const&);

MAPS_JSON_WRITABLE(LatLon)
MAPS_JSON_WRITABLE(Place)
MAPS_JSON_WRITABLE(RouteStep)
MAPS_JSON_WRITABLE(Route)
MAPS_JSON_WRITABLE(TransitLeg)
MAPS_JSON_WRITABLE(TransitJourney)
MAPS_JSON_WRITABLE(TransitTime)
MAPS_JSON_WRITABLE(DownloadedRegion)
MAPS_JSON_WRITABLE(ActivePlan)
MAPS_JSON_WRITABLE(MapsAction)
MAPS_JSON_WRITABLE(PlaceCategory)
MAPS_JSON_WRITABLE(Maneuver)
MAPS_JSON_WRITABLE(TravelMode)
MAPS_JSON_WRITABLE(LegMode)
MAPS_JSON_WRITABLE(TransitTimeMode)
MAPS_JSON_WRITABLE(Panel)

#undef MAPS_JSON_WRITABLE

} // namespace maps
