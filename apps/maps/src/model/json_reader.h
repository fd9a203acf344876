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
  std::optional<double> to_f64() const;
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

  /// Parses and discards one value of any kind (validating it as strictly as reading it).
  void skip_value();

  /// Byte offset of the next unread byte.
  std::size_t position() const { return pos_; }

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
  // Reads a string, appending its decoded text to `out` unless that is null.
  void scan_string(std::string* out);
  void leave();

  std::string_view in_;
  JsonReaderOptions options_;
  std::size_t pos_ = 0;
  int depth_ = 0;
  // The innermost open container's first member or element is still to come. Closing a
  // container clears it: the enclosing one has just read an element.
  bool first_ = false;
};

}  // namespace maps
