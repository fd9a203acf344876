#pragma once
// Result<T>: a value or a human-readable error text, on tl::expected.

#include <string>
#include <utility>

#include <tl/expected.hpp>

namespace base {

template <class T> using Result = tl::expected<T, std::string>;

/// An error of any Result: `return base::fail("unexpected response");`
inline tl::unexpected<std::string> fail(std::string message) {
  return tl::unexpected<std::string>(std::move(message));
}

} // namespace base
