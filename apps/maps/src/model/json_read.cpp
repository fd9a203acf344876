// The typed reader of the model's JSON forms.

#include "model/json.h"

#include <string>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "base/number.h"
#include "base/utf8.h"
#include "model/debug_text.h"
#include "model/json_forms.h"
#include "model/json_reader.h"

namespace maps {

namespace {

using namespace json_forms;

// ---------------------------------------------------------------------------------------------
// Typed reader.

struct Ctx {
  JsonReader r;
  std::string key;     // the member name last read
  std::string scratch; // texts read only to be shown in an error
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
  case JsonReader::Kind::Array:
    found = "sequence";
    break;
  case JsonReader::Kind::Object:
    found = "map";
    break;
  case JsonReader::Kind::End:
    c.r.fail("EOF while parsing a value");
  case JsonReader::Kind::Other:
    c.r.fail("expected value");
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

template <class I> constexpr std::string_view integer_name() {
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

template <class I> void read_integer(Ctx& c, I& out) {
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
        fits = n.magnitude == 0; // "-0"
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

template <class T> void read(Ctx& c, T& out);

template <class T> void read_record(Ctx& c, T& out) {
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

template <class E> void read_enum(Ctx& c, E& out) {
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

template <class A> void read_alternative(Ctx& c, A& alt, bool bare) {
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

template <class U> void read_union(Ctx& c, U& out) {
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
  }
  (std::make_index_sequence<std::variant_size_v<V>>{});
  if (!bare && c.r.next_key(c.key)) {
    c.r.fail("expected an object with a single member");
  }
}

template <class T> void read(Ctx& c, T& out) {
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

template <class T> base::Result<T> parse(std::string_view text) {
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

} // namespace

template <JsonReadable T> base::Result<T> from_json_text(std::string_view text) {
  return parse<T>(text);
}

template <JsonReadable T> base::Result<T> from_json_bytes(std::span<std::uint8_t const> bytes) {
  return parse<T>(std::string_view(reinterpret_cast<char const*>(bytes.data()), bytes.size()));
}
#define MAPS_JSON_READABLE(T)                                                                      \
  template base::Result<T> from_json_text<T>(std::string_view);                                    \
  template base::Result<T> from_json_bytes<T>(std::span<std::uint8_t const>);

MAPS_JSON_READABLE(LatLon)
MAPS_JSON_READABLE(Place)
MAPS_JSON_READABLE(RouteStep)
MAPS_JSON_READABLE(Route)
MAPS_JSON_READABLE(TransitLeg)
MAPS_JSON_READABLE(TransitJourney)
MAPS_JSON_READABLE(TransitTime)
MAPS_JSON_READABLE(DownloadedRegion)
MAPS_JSON_READABLE(ActivePlan)
MAPS_JSON_READABLE(MapsAction)
MAPS_JSON_READABLE(PlaceCategory)
MAPS_JSON_READABLE(Maneuver)
MAPS_JSON_READABLE(TravelMode)
MAPS_JSON_READABLE(LegMode)
MAPS_JSON_READABLE(TransitTimeMode)
MAPS_JSON_READABLE(Panel)
MAPS_JSON_READABLE(MapModel)

#undef MAPS_JSON_READABLE

} // namespace maps
