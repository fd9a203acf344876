#include "model/json_reader.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include <fmt/format.h>

#include "base/utf8.h"

namespace maps {

namespace {

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// Decimal order of magnitude of a number token: the value lies in [10^(order-1), 10^order).
// Only used to tell an underflow from an overflow, so a saturated exponent is fine.
long decimal_order(std::string_view token) {
  std::size_t i = 0;
  if (i < token.size() && token[i] == '-') {
    ++i;
  }
  long int_digits = 0;
  bool leading = true;
  for (; i < token.size() && is_digit(token[i]); ++i) {
    if (leading && token[i] == '0') {
      continue;
    }
    leading = false;
    ++int_digits;
  }
  long order = int_digits;
  if (i < token.size() && token[i] == '.') {
    ++i;
    if (int_digits == 0) {
      for (; i < token.size() && token[i] == '0'; ++i) {
        --order;
      }
    }
    while (i < token.size() && is_digit(token[i])) {
      ++i;
    }
  }
  if (i < token.size() && (token[i] == 'e' || token[i] == 'E')) {
    ++i;
    bool neg = false;
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) {
      neg = token[i] == '-';
      ++i;
    }
    long exp = 0;
    for (; i < token.size() && is_digit(token[i]); ++i) {
      exp = std::min(exp * 10 + (token[i] - '0'), 1'000'000'000L);
    }
    order += neg ? -exp : exp;
  }
  return order;
}

constexpr std::uint64_t EXACT_LIMIT = std::uint64_t{1} << 53;

constexpr std::uint64_t DECIMAL_SHIFT[] = {1,      10,      100,      1000,     10000,
                                           100000, 1000000, 10000000, 100000000};

// Appends the run of ASCII digits at p to `value` (modulo 2^64) and returns its end. Eight
// bytes are looked at together where the text has them: the fraction of a coordinate is one
// such look.
char const* append_digits(char const* p, char const* end, std::uint64_t& value) {
  if constexpr (std::endian::native == std::endian::little) {
    while (end - p >= 8) {
      std::uint64_t w = 0;
      std::memcpy(&w, p, 8);
      // A byte is a digit when its high half reads 3 both as it is and after adding 6 (a carry
      // only reaches bytes after a non-digit, which do not count).
      std::uint64_t const other =
          ((w & 0xF0F0F0F0F0F0F0F0) ^ 0x3030303030303030) |
          (((w + 0x0606060606060606) & 0xF0F0F0F0F0F0F0F0) ^ 0x3030303030303030);
      auto const count = other == 0 ? 8u : static_cast<unsigned>(std::countr_zero(other)) / 8;
      if (count == 0) {
        return p;
      }
      // The digits to the high bytes (zeros lead), then pairs, quads and all eight combined.
      w <<= 8 * (8 - count);
      w = (w & 0x0F0F0F0F0F0F0F0F) * 2561 >> 8;
      w = (w & 0x00FF00FF00FF00FF) * 6553601 >> 16;
      w = (w & 0x0000FFFF0000FFFF) * 42949672960001 >> 32;
      value = value * DECIMAL_SHIFT[count] + w;
      p += count;
      if (count < 8) {
        return p;
      }
    }
  }
  for (; p < end && is_digit(*p); ++p) {
    value = value * 10 + static_cast<std::uint64_t>(*p - '0');
  }
  return p;
}

} // namespace

std::optional<double> JsonNumber::convert_token() const {
  double value = 0.0;
  auto const res = std::from_chars(token.data(), token.data() + token.size(), value);
  if (res.ec == std::errc::result_out_of_range) {
    if (decimal_order(token) <= 0) {
      return negative ? -0.0 : 0.0;
    }
    return std::nullopt;
  }
  if (res.ec != std::errc{}) {
    return std::nullopt; // not reached for tokens of read_number
  }
  return value;
}

void JsonReader::fail_at(std::string_view message, std::size_t pos) const {
  pos = std::min(pos, in_.size());
  std::size_t line = 1;
  std::size_t line_start = 0;
  for (std::size_t i = 0; i < pos; ++i) {
    if (in_[i] == '\n') {
      ++line;
      line_start = i + 1;
    }
  }
  throw JsonError(fmt::format("{} at line {} column {}", message, line, pos - line_start));
}

void JsonReader::fail(std::string_view message) const {
  fail_at(message, pos_);
}

void JsonReader::expect_literal(std::string_view word) {
  if (in_.substr(pos_, word.size()) != word) {
    // Point at the first byte that differs.
    std::size_t i = 0;
    while (pos_ + i < in_.size() && i < word.size() && in_[pos_ + i] == word[i]) {
      ++i;
    }
    fail_at(pos_ + i >= in_.size() ? "EOF while parsing a value" : "expected ident", pos_ + i + 1);
  }
  pos_ += word.size();
}

void JsonReader::read_null() {
  skip_ws();
  expect_literal("null");
}

bool JsonReader::read_bool() {
  skip_ws();
  if (pos_ < in_.size() && in_[pos_] == 't') {
    expect_literal("true");
    return true;
  }
  expect_literal("false");
  return false;
}

JsonNumber JsonReader::read_number() {
  skip_ws();
  std::size_t const start = pos_;
  JsonNumber n;
  if (pos_ < in_.size() && in_[pos_] == '-') {
    n.negative = true;
    ++pos_;
  }
  if (pos_ >= in_.size()) {
    fail_at("EOF while parsing a value", pos_);
  }
  if (!is_digit(in_[pos_])) {
    fail_at("invalid number", pos_ + 1);
  }
  if (in_[pos_] == '0') {
    ++pos_;
    if (pos_ < in_.size() && is_digit(in_[pos_])) {
      fail_at("invalid number", pos_ + 1);
    }
  } else {
    while (pos_ < in_.size() && is_digit(in_[pos_])) {
      auto const digit = static_cast<std::uint64_t>(in_[pos_] - '0');
      if (n.magnitude > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) {
        n.overflow = true;
      } else {
        n.magnitude = n.magnitude * 10 + digit;
      }
      ++pos_;
    }
  }
  n.integral = true;
  // The digits as one integer while it stays exact, and the power of ten that scales it.
  bool exact = !n.overflow && n.magnitude <= EXACT_LIMIT;
  std::uint64_t significand = n.magnitude;
  long scale = 0;
  if (pos_ < in_.size() && in_[pos_] == '.') {
    n.integral = false;
    ++pos_;
    if (pos_ >= in_.size() || !is_digit(in_[pos_])) {
      fail_at(pos_ >= in_.size() ? "EOF while parsing a value" : "invalid number", pos_ + 1);
    }
    while (pos_ < in_.size() && is_digit(in_[pos_])) {
      if (exact) {
        significand = significand * 10 + static_cast<std::uint64_t>(in_[pos_] - '0');
        exact = significand <= EXACT_LIMIT;
        --scale;
      }
      ++pos_;
    }
  }
  if (pos_ < in_.size() && (in_[pos_] == 'e' || in_[pos_] == 'E')) {
    n.integral = false;
    ++pos_;
    bool exp_negative = false;
    if (pos_ < in_.size() && (in_[pos_] == '+' || in_[pos_] == '-')) {
      exp_negative = in_[pos_] == '-';
      ++pos_;
    }
    if (pos_ >= in_.size() || !is_digit(in_[pos_])) {
      fail_at(pos_ >= in_.size() ? "EOF while parsing a value" : "invalid number", pos_ + 1);
    }
    long exp = 0;
    while (pos_ < in_.size() && is_digit(in_[pos_])) {
      exp = std::min(exp * 10 + (in_[pos_] - '0'), 1'000'000L);
      ++pos_;
    }
    scale += exp_negative ? -exp : exp;
  }
  if (!n.integral && exact && scale >= -22 && scale <= 22) {
    n.short_decimal = true;
    n.significand = significand;
    n.scale = static_cast<int>(scale);
  }
  n.token = in_.substr(start, pos_ - start);
  if (!n.integral) {
    n.magnitude = 0;
    n.overflow = false;
  }
  return n;
}

bool JsonReader::read_plain_number(double& out) {
  // At most 15 digits, no exponent: the digits fit a double exactly, and so does the power of
  // ten that scales them, so one division rounds correctly.
  char const* const begin = in_.data() + pos_;
  char const* const end = in_.data() + in_.size();
  char const* p = begin;
  bool const negative = p < end && *p == '-';
  if (negative) {
    ++p;
  }
  if (p == end || !is_digit(*p)) {
    return false;
  }
  std::uint64_t digits = 0;
  if (*p == '0') {
    ++p;
  } else {
    for (; p < end && is_digit(*p); ++p) {
      digits = digits * 10 + static_cast<std::uint64_t>(*p - '0');
    }
  }
  char const* const int_end = p;
  char const* frac = p;
  if (p < end && *p == '.') {
    frac = ++p;
    p = append_digits(p, end, digits);
  }
  auto const frac_digits = static_cast<std::size_t>(p - frac);
  bool const plain = p < end ? (*p != 'e' && *p != 'E' && !is_digit(*p)) : true;
  if (!plain || (frac != int_end && frac_digits == 0) ||
      static_cast<std::size_t>(int_end - begin) - (negative ? 1 : 0) + frac_digits > 15) {
    return false;
  }
  pos_ += static_cast<std::size_t>(p - begin);
  double const m = static_cast<double>(digits);
  double const v = frac_digits == 0 ? m : m / JsonNumber::power_of_ten(frac_digits);
  out = negative ? -v : v;
  return true;
}

double JsonReader::read_f64_or_nan() {
  skip_ws();
  double v = 0.0;
  if (read_plain_number(v)) {
    return v;
  }
  // Anything else, and every error, goes the long way.
  return read_number().to_f64().value_or(std::numeric_limits<double>::quiet_NaN());
}

bool JsonReader::read_number_pair(double& first, double& second) {
  skip_ws();
  std::size_t const start = pos_;
  if (pos_ >= in_.size() || in_[pos_] != '[' || depth_ >= options_.max_depth) {
    return false;
  }
  ++pos_;
  if (read_plain_number(first) && pos_ < in_.size() && in_[pos_] == ',') {
    ++pos_;
    if (read_plain_number(second) && pos_ < in_.size() && in_[pos_] == ']') {
      ++pos_;
      // As after any value read in full: the enclosing container has just read an element.
      first_ = false;
      return true;
    }
  }
  pos_ = start;
  return false;
}

std::uint32_t JsonReader::read_hex4() {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) {
    if (pos_ >= in_.size()) {
      fail_at("EOF while parsing a string", pos_);
    }
    char const c = in_[pos_];
    std::uint32_t d = 0;
    if (is_digit(c)) {
      d = static_cast<std::uint32_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      d = static_cast<std::uint32_t>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      d = static_cast<std::uint32_t>(c - 'A' + 10);
    } else {
      fail_at("invalid escape", pos_ + 1);
    }
    v = v * 16 + d;
    ++pos_;
  }
  return v;
}

void JsonReader::read_string(std::string& out) {
  out.clear();
  scan_string(&out);
}

std::string_view JsonReader::read_string_as_sent() {
  skip_ws();
  std::size_t const open = pos_;
  scan_string(nullptr);
  return in_.substr(open + 1, pos_ - open - 2);
}

void JsonReader::scan_string(std::string* out) {
  skip_ws();
  if (pos_ >= in_.size() || in_[pos_] != '"') {
    fail_at("expected string", pos_ + 1);
  }
  ++pos_;
  while (true) {
    // Runs of plain ASCII are copied at once.
    std::size_t run = pos_;
    while (run < in_.size()) {
      auto const c = static_cast<unsigned char>(in_[run]);
      if (c == '"' || c == '\\' || c < 0x20 || c >= 0x80) {
        break;
      }
      ++run;
    }
    if (out != nullptr) {
      out->append(in_, pos_, run - pos_);
    }
    pos_ = run;
    if (pos_ >= in_.size()) {
      fail_at("EOF while parsing a string", pos_);
    }
    auto const c = static_cast<unsigned char>(in_[pos_]);
    if (c == '"') {
      ++pos_;
      return;
    }
    if (c < 0x20) {
      fail_at("control character (\\u0000-\\u001F) found while parsing a string", pos_ + 1);
    }
    if (c >= 0x80) {
      std::size_t p = pos_;
      if (!base::utf8::decode(in_, p)) {
        if (!options_.repair_utf8) {
          fail_at("invalid unicode code point", pos_ + 1);
        }
        if (out != nullptr) {
          out->append("\xEF\xBF\xBD");
        }
        ++pos_;
        continue;
      }
      if (out != nullptr) {
        out->append(in_, pos_, p - pos_);
      }
      pos_ = p;
      continue;
    }
    // Escape.
    ++pos_;
    if (pos_ >= in_.size()) {
      fail_at("EOF while parsing a string", pos_);
    }
    char const e = in_[pos_++];
    char32_t cp = 0;
    switch (e) {
    case '"':
      cp = '"';
      break;
    case '\\':
      cp = '\\';
      break;
    case '/':
      cp = '/';
      break;
    case 'b':
      cp = '\b';
      break;
    case 'f':
      cp = '\f';
      break;
    case 'n':
      cp = '\n';
      break;
    case 'r':
      cp = '\r';
      break;
    case 't':
      cp = '\t';
      break;
    case 'u': {
      std::uint32_t high = read_hex4();
      if (high >= 0xDC00 && high <= 0xDFFF) {
        fail_at("lone trailing surrogate in hex escape", pos_);
      }
      if (high >= 0xD800 && high <= 0xDBFF) {
        if (in_.substr(pos_, 2) != "\\u") {
          fail_at("lone leading surrogate in hex escape", pos_);
        }
        pos_ += 2;
        std::uint32_t const low = read_hex4();
        if (low < 0xDC00 || low > 0xDFFF) {
          fail_at("lone leading surrogate in hex escape", pos_);
        }
        high = 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
      }
      cp = static_cast<char32_t>(high);
      break;
    }
    default:
      fail_at("invalid escape", pos_);
    }
    if (out != nullptr) {
      base::utf8::append(*out, cp);
    }
  }
}

void JsonReader::begin_object() {
  skip_ws();
  if (pos_ >= in_.size() || in_[pos_] != '{') {
    fail_at("expected `{`", pos_ + 1);
  }
  enter();
}

bool JsonReader::next_key(std::string& key) {
  skip_ws();
  if (pos_ >= in_.size()) {
    fail_at("EOF while parsing an object", pos_);
  }
  if (in_[pos_] == '}') {
    leave();
    return false;
  }
  if (!first_) {
    if (in_[pos_] != ',') {
      fail_at("expected `,` or `}`", pos_ + 1);
    }
    ++pos_;
    skip_ws();
    if (pos_ < in_.size() && in_[pos_] == '}') {
      fail_at("trailing comma", pos_ + 1);
    }
  }
  first_ = false;
  if (pos_ >= in_.size()) {
    fail_at("EOF while parsing an object", pos_);
  }
  if (in_[pos_] != '"') {
    fail_at("key must be a string", pos_ + 1);
  }
  read_string(key);
  skip_ws();
  if (pos_ >= in_.size()) {
    fail_at("EOF while parsing an object", pos_);
  }
  if (in_[pos_] != ':') {
    fail_at("expected `:`", pos_ + 1);
  }
  ++pos_;
  return true;
}

void JsonReader::skip_value() {
  switch (peek()) {
  case Kind::Null:
    read_null();
    return;
  case Kind::Bool:
    read_bool();
    return;
  case Kind::Number:
    read_number();
    return;
  case Kind::String:
    scan_string(nullptr);
    return;
  case Kind::Array:
    begin_array();
    while (next_element()) {
      skip_value();
    }
    return;
  case Kind::Object: {
    begin_object();
    std::string key;
    while (next_key(key)) {
      skip_value();
    }
    return;
  }
  case Kind::End:
    fail_at("EOF while parsing a value", pos_);
  case Kind::Other:
    fail_at("expected value", pos_ + 1);
  }
}

void JsonReader::finish() {
  skip_ws();
  if (pos_ < in_.size()) {
    fail_at("trailing characters", pos_ + 1);
  }
}

} // namespace maps
