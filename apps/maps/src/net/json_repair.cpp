#include "net/json_repair.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <system_error>

#include "base/utf8.h"

namespace maps {

namespace {

constexpr std::string_view REPLACEMENT = "\xEF\xBF\xBD";

bool is_number_byte(char c) {
  return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
}

// True for a number token that no double holds because it is too large (not too small:
// the parser reads those as zero or subnormal). A token that is not a number at all is
// left for the parser to refuse.
bool overflows(std::string_view token) {
  double value = 0.0;
  auto const [ptr, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
  if (ec != std::errc::result_out_of_range) {
    return false;
  }
  // Out of range either way: the decimal exponent of the leading digit tells which.
  std::size_t i = token.starts_with('-') ? 1 : 0;
  long long magnitude = 0;
  bool seen_digit = false;
  bool in_fraction = false;
  for (; i < token.size() && token[i] != 'e' && token[i] != 'E'; ++i) {
    char const c = token[i];
    if (c == '.') {
      in_fraction = true;
    } else if (c != '0' || seen_digit) {
      if (!in_fraction) {
        ++magnitude;
      }
      seen_digit = true;
    } else if (in_fraction) {
      --magnitude;
    }
  }
  long long exponent = 0;
  if (i + 1 < token.size()) {
    std::size_t start = i + 1;
    if (token[start] == '+') {
      ++start;
    }
    std::from_chars(token.data() + start, token.data() + token.size(), exponent);
  }
  return exponent + magnitude > 0;
}

} // namespace

std::optional<std::string> repair_json_text(std::string_view text) {
  std::optional<std::string> out;
  std::size_t copied = 0; // bytes of `text` already in `out`
  auto replace = [&](std::size_t from, std::size_t to, std::string_view with) {
    if (!out) {
      out.emplace();
      out->reserve(text.size());
    }
    out->append(text.substr(copied, from - copied));
    out->append(with);
    copied = to;
  };
  bool in_string = false;
  std::size_t pos = 0;
  while (pos < text.size()) {
    char const c = text[pos];
    if (in_string) {
      if (c == '\\') {
        pos += 2;
      } else if (c == '"') {
        in_string = false;
        ++pos;
      } else if (static_cast<unsigned char>(c) < 0x80) {
        ++pos;
      } else {
        std::size_t const start = pos;
        if (!base::utf8::decode(text, pos)) {
          pos = start + 1;
          replace(start, pos, REPLACEMENT);
        }
      }
      continue;
    }
    if (c == '"') {
      in_string = true;
      ++pos;
    } else if (c == '-' || (c >= '0' && c <= '9')) {
      std::size_t const start = pos;
      while (pos < text.size() && is_number_byte(text[pos])) {
        ++pos;
      }
      if (overflows(text.substr(start, pos - start))) {
        replace(start, pos, "null");
      }
    } else {
      ++pos;
    }
  }
  if (out) {
    out->append(text.substr(std::min(copied, text.size())));
  }
  return out;
}

} // namespace maps
