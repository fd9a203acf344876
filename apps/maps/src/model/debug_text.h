#pragma once
// Builder of debug texts in the form `Name { field: value, … }`: texts quoted and escaped,
// optionals as Some(…)/None, lists as […], doubles in their shortest round-trip form.

#include <concepts>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/number.h"

namespace maps {

namespace detail {

void append_debug_string(std::string& out, std::string_view text);

template <class T> void append_debug(std::string& out, T const& value);

template <class T> void append_debug_value(std::string& out, T const& value) {
  if constexpr (std::same_as<T, bool>) {
    out += value ? "true" : "false";
  } else if constexpr (std::same_as<T, double>) {
    base::append_f64(out, value);
  } else if constexpr (std::integral<T>) {
    out += std::to_string(value);
  } else if constexpr (std::same_as<T, std::string>) {
    append_debug_string(out, value);
  } else {
    out += debug_text(value); // found by argument-dependent lookup
  }
}

template <class T> void append_debug(std::string& out, T const& value) {
  append_debug_value(out, value);
}

template <class T> void append_debug(std::string& out, std::optional<T> const& value) {
  if (!value) {
    out += "None";
    return;
  }
  out += "Some(";
  append_debug(out, *value);
  out += ")";
}

template <class T> void append_debug(std::string& out, std::vector<T> const& values) {
  out += "[";
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i) {
      out += ", ";
    }
    append_debug(out, values[i]);
  }
  out += "]";
}

} // namespace detail

class DebugStruct {
public:
  explicit DebugStruct(std::string_view name) : out_(name) {}

  template <class T> DebugStruct& field(std::string_view name, T const& value) {
    out_ += first_ ? " { " : ", ";
    first_ = false;
    out_ += name;
    out_ += ": ";
    detail::append_debug(out_, value);
    return *this;
  }

  std::string finish() {
    if (!first_) {
      out_ += " }";
    }
    return std::move(out_);
  }

private:
  std::string out_;
  bool first_ = true;
};

} // namespace maps
