#pragma once
// UTF-8 helpers: validation, code-point decoding and iteration, encoding, and the Unicode
// White_Space trimming and lower-casing that user-visible texts need.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace base::utf8 {

/// True when `text` is well-formed UTF-8 (no overlongs, no surrogates, nothing above U+10FFFF).
bool is_valid(std::string_view text);

/// Decodes the code point at `pos` and advances `pos` past it; nullopt (pos unchanged) on a
/// malformed sequence or at the end.
std::optional<char32_t> decode(std::string_view text, std::size_t& pos);

/// Appends the UTF-8 form of `cp` (must be a scalar value) to `out`.
void append(std::string& out, char32_t cp);

/// Number of code points of valid UTF-8 text.
std::size_t length(std::string_view text);

/// Byte offset of the code point with index `index`; text.size() when past the end.
std::size_t offset_of(std::string_view text, std::size_t index);

/// Replaces malformed sequences by U+FFFD, as a lossy display of bytes.
std::string lossy(std::string_view bytes);

/// Unicode White_Space property.
bool is_white_space(char32_t cp);

/// `text` without leading and trailing White_Space.
std::string_view trim(std::string_view text);

/// Full Unicode lower case (root locale).
std::string to_lower(std::string_view text);

/// Calls `f(cp)` for every code point of valid UTF-8 text.
template <class F> void for_each_code_point(std::string_view text, F&& f) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    auto cp = decode(text, pos);
    if (!cp) {
      ++pos;
      f(char32_t{0xFFFD});
      continue;
    }
    f(*cp);
  }
}

} // namespace base::utf8
