#pragma once
// Reading a fuzz input as a sequence of choices: bytes, small numbers, length-prefixed texts.
// Every read succeeds; past the end it yields zeros and empty texts, so a target never needs
// to check for a short input and every prefix of an input is itself a valid input.

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "targets.h"

namespace maps::fuzz {

class FuzzInput {
public:
  explicit FuzzInput(Bytes data) : rest_(data) {}

  bool empty() const { return rest_.empty(); }
  std::size_t size() const { return rest_.size(); }

  std::uint8_t byte() {
    if (rest_.empty()) {
      return 0;
    }
    std::uint8_t const b = rest_.front();
    rest_ = rest_.subspan(1);
    return b;
  }
  std::uint32_t u16() { return std::uint32_t{byte()} | std::uint32_t{byte()} << 8; }
  std::uint32_t u32() { return u16() | u16() << 16; }
  /// One of `n` choices (n > 0).
  std::size_t pick(std::size_t n) { return n <= 256 ? byte() % n : u32() % n; }

  /// Up to `length` bytes.
  Bytes take(std::size_t length) {
    auto const n = std::min(length, rest_.size());
    auto const out = rest_.first(n);
    rest_ = rest_.subspan(n);
    return out;
  }
  /// A text of a 16-bit length prefix (any bytes).
  std::string_view text() { return as_text(take(u16())); }
  /// A text of a 32-bit length prefix, for inputs as long as the whole fuzz input.
  std::string_view long_text() { return as_text(take(u32())); }
  /// Everything not read yet.
  Bytes rest() { return take(rest_.size()); }

private:
  Bytes rest_;
};

} // namespace maps::fuzz
