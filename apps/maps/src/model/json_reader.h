#pragma once
// A small pull reader of JSON text (RFC 8259) for the typed model forms: strict grammar, at most
// MAX_JSON_DEPTH nested arrays and objects, strings checked for well-formed UTF-8 and paired
// surrogates, numbers kept as their token so doubles convert exactly once. Errors are thrown as
// JsonError carrying "… at line L column C"; the typed layer (model/json.h) turns them into
// Result values, so nothing outside the model module sees the exception.

#include <array>
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

  /// The nearest double; nullopt for a magnitude beyond the doubles (values too small for the
  /// doubles read as zero of the sign given).
  std::optional<double> to_f64() const;
};

class JsonReader {
 public:
  enum class Kind { Null, Bool, Number, String, Array, Object, End, Other };

  explicit JsonReader(std::string_view input) : in_(input) {}

  /// Kind of the next value, after skipping whitespace; consumes nothing.
  Kind peek();

  void read_null();
  bool read_bool();
  JsonNumber read_number();
  /// Decodes the next string into `out` (replacing its content).
  void read_string(std::string& out);

  /// Object members: begin_object(), then next_key(key) until it answers false; each true answer
  /// must be followed by reading or skipping exactly one value.
  void begin_object();
  bool next_key(std::string& key);
  /// Array elements: begin_array(), then next_element() until it answers false.
  void begin_array();
  bool next_element();

  /// Parses and discards one value of any kind.
  void skip_value();

  /// Only whitespace may follow the value.
  void finish();

  /// Throws JsonError with `message` and the current position.
  [[noreturn]] void fail(std::string_view message) const;

 private:
  void skip_ws();
  [[noreturn]] void fail_at(std::string_view message, std::size_t pos) const;
  void expect_literal(std::string_view word);
  void enter();
  std::uint32_t read_hex4();

  std::string_view in_;
  std::size_t pos_ = 0;
  int depth_ = 0;
  // Per open container (indexed by depth): its first member or element is still to come.
  std::array<bool, MAX_JSON_DEPTH + 1> first_{};
};

}  // namespace maps
