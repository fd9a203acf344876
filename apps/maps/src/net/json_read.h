#pragma once
// Checked reads of untyped service answers: a member of the wrong kind, or of a value that
// is not an object, reads as missing. Nothing here throws.

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace maps::detail {

/// The member `key` of an object, or nullptr.
inline nlohmann::json const* member(nlohmann::json const& obj, std::string_view key) {
  if (!obj.is_object()) {
    return nullptr;
  }
  auto const it = obj.find(key);
  return it == obj.end() ? nullptr : &*it;
}

inline std::optional<std::string_view> string_member(nlohmann::json const& obj,
                                                     std::string_view key) {
  auto const* m = member(obj, key);
  if (m == nullptr || !m->is_string()) {
    return std::nullopt;
  }
  return std::string_view(m->get_ref<nlohmann::json::string_t const&>());
}

inline std::optional<double> number_member(nlohmann::json const& obj, std::string_view key) {
  auto const* m = member(obj, key);
  if (m == nullptr || !m->is_number()) {
    return std::nullopt;
  }
  return m->get<double>();
}

/// A JSON integer that fits a signed 64-bit integer.
inline std::optional<std::int64_t> as_i64(nlohmann::json const& v) {
  if (v.is_number_unsigned()) {
    auto const u = v.get<std::uint64_t>();
    if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      return std::nullopt;
    }
    return static_cast<std::int64_t>(u);
  }
  if (v.is_number_integer()) {
    return v.get<std::int64_t>();
  }
  return std::nullopt;
}

/// A non-negative JSON integer.
inline std::optional<std::uint64_t> as_u64(nlohmann::json const& v) {
  if (v.is_number_unsigned()) {
    return v.get<std::uint64_t>();
  }
  if (v.is_number_integer()) {
    auto const i = v.get<std::int64_t>();
    if (i >= 0) {
      return static_cast<std::uint64_t>(i);
    }
  }
  return std::nullopt;
}

} // namespace maps::detail
