#pragma once
// A small pull reader of JSON text (RFC 8259) for the typed model forms: strict grammar, at most
// MAX_JSON_DEPTH nested arrays and objects, strings checked for well-formed UTF-8 and paired
// surrogates, numbers kept as their token so doubles convert exactly once. Errors are thrown as
// JsonError carrying "… at line L column C"; the typed layer (model/json.h) turns them into
// Result values, so nothing outside the model module sees the exception. Readers of service
// answers may raise the depth limit and have invalid UTF-8 in strings read as U+FFFD.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace maps {

inline constexpr int MAX_JSON_DEPTH = 128;

class JsonError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

/// One number token. `integral` when it has neither fraction nor exponent; then `magnitude`
/// holds its absolute value unless `overflow` (more than 2^64-1).
struct JsonNumber {
  std::string_view token;
  bool integral = false;
  bool negative = false;
  bool overflow = false;
  std::uint64_t magnitude = 0;
  /// A token with a fraction or exponent whose digits form an integer of at most 2^53, scaled
  /// by 10^-22 to 10^22: its value is `significand` times ten to the `scale`.
  bool short_decimal = false;
  std::uint64_t significand = 0;
  int scale = 0;

  /// The nearest double; nullopt for a magnitude beyond the doubles (values too small for the
  /// doubles read as zero of the sign given).
  std::optional<double> to_f64() const {
    // Integers up to 2^53 convert exactly. For a short decimal both operands are exact doubles,
    // so one multiplication or division rounds correctly (the usual fast path of decimal
    // conversion; it covers every coordinate of an answer). The rest is converted from the token.
    if (integral && !overflow && magnitude <= (std::uint64_t{1} << 53)) {
      double const d = static_cast<double>(magnitude);
      return negative ? -d : d;
    }
    if (short_decimal) {
      double const m = static_cast<double>(significand);
      double const v = scale < 0 ? m / power_of_ten(static_cast<std::size_t>(-scale))
                                 : m * power_of_ten(static_cast<std::size_t>(scale));
      return negative ? -v : v;
    }
    return convert_token();
  }

  /// 10^k exactly, for k of 0 to 22.
  static double power_of_ten(std::size_t k) {
    static constexpr double POWERS[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    return POWERS[k];
  }

private:
  std::optional<double> convert_token() const;
};

struct JsonReaderOptions {
  int max_depth = MAX_JSON_DEPTH;
  /// Each byte of a string that starts no well-formed UTF-8 sequence reads as U+FFFD instead
  /// of failing, so one bad byte in a text nobody shows does not cost the whole document.
  bool repair_utf8 = false;
};

class JsonReader {
public:
  enum class Kind { Null, Bool, Number, String, Array, Object, End, Other };

  explicit JsonReader(std::string_view input, JsonReaderOptions options = {})
      : in_(input), options_(options) {}

  /// Kind of the next value, after skipping whitespace; consumes nothing.
  Kind peek() {
    skip_ws();
    if (pos_ >= in_.size()) {
      return Kind::End;
    }
    switch (in_[pos_]) {
    case 'n':
      return Kind::Null;
    case 't':
    case 'f':
      return Kind::Bool;
    case '"':
      return Kind::String;
    case '[':
      return Kind::Array;
    case '{':
      return Kind::Object;
    default:
      return (in_[pos_] == '-' || (in_[pos_] >= '0' && in_[pos_] <= '9')) ? Kind::Number
                                                                          : Kind::Other;
    }
  }

  void read_null();
  bool read_bool();
  JsonNumber read_number();
  /// read_number().to_f64(), without the token's detail for the plain decimals of coordinates
  /// and measures.
  std::optional<double> read_f64() {
    // Inline, so the caller builds the optional in registers.
    double const v = read_f64_or_nan();
    if (v != v) {
      return std::nullopt;
    }
    return v;
  }
  /// Reads the next value when it is an array of two numbers written without blanks and
  /// without exponents, "[11.5,48.1]", the shape of every position of a long line; answers
  /// false, consuming nothing, for any other value, which is then read the general way.
  bool read_number_pair(double& first, double& second);
  /// Decodes the next string into `out` (replacing its content).
  void read_string(std::string& out);
  /// Reads the next string, checked as read_string checks it, and gives its text as it stands
  /// in the input: between the quotes, escapes and all.
  std::string_view read_string_as_sent();

  /// Object members: begin_object(), then next_key(key) until it answers false; each true answer
  /// must be followed by reading or skipping exactly one value.
  void begin_object();
  bool next_key(std::string& key);
  /// Array elements: begin_array(), then next_element() until it answers false.
  /// (Inline with enter and leave: they run for every position of a long line.)
  void begin_array() {
    skip_ws();
    if (pos_ >= in_.size() || in_[pos_] != '[') {
      fail_at("expected `[`", pos_ + 1);
    }
    enter();
  }
  bool next_element() {
    skip_ws();
    if (pos_ >= in_.size()) {
      fail_at("EOF while parsing a list", pos_);
    }
    if (in_[pos_] == ']') {
      leave();
      return false;
    }
    if (!first_) {
      if (in_[pos_] != ',') {
        fail_at("expected `,` or `]`", pos_ + 1);
      }
      ++pos_;
      skip_ws();
      if (pos_ < in_.size() && in_[pos_] == ']') {
        fail_at("trailing comma", pos_ + 1);
      }
    }
    first_ = false;
    return true;
  }

  /// Parses and discards one value of any kind (validating it as strictly as reading it).
  void skip_value();

  /// Byte offset of the next unread byte.
  std::size_t position() const { return pos_; }

  /// Only whitespace may follow the value.
  void finish();

  /// Throws JsonError with `message` and the current position.
  [[noreturn]] void fail(std::string_view message) const;

private:
  void skip_ws() {
    while (pos_ < in_.size() &&
           (in_[pos_] == ' ' || in_[pos_] == '\t' || in_[pos_] == '\n' || in_[pos_] == '\r')) {
      ++pos_;
    }
  }
  [[noreturn]] void fail_at(std::string_view message, std::size_t pos) const;
  void expect_literal(std::string_view word);
  // No number reads as NaN, so NaN stands for one beyond the doubles.
  double read_f64_or_nan();
  // A number of at most 15 digits and no exponent at the current byte, read in full, or false
  // with nothing consumed.
  bool read_plain_number(double& out);
  void enter() {
    if (depth_ >= options_.max_depth) {
      fail_at("recursion limit exceeded", pos_ + 1);
    }
    ++depth_;
    first_ = true;
    ++pos_;
  }
  std::uint32_t read_hex4();
  // Reads a string, appending its decoded text to `out` unless that is null.
  void scan_string(std::string* out);
  void leave() {
    ++pos_;
    --depth_;
    first_ = false;
  }

  std::string_view in_;
  JsonReaderOptions options_;
  std::size_t pos_ = 0;
  int depth_ = 0;
  // The innermost open container's first member or element is still to come. Closing a
  // container clears it: the enclosing one has just read an element.
  bool first_ = false;
};

} // namespace maps
