#pragma once
// Pull reading of untyped service answers: each parser walks the answer text once and keeps
// only the members it uses, so no document tree is ever built. A value of the wrong kind, or
// a text beyond MAX_TEXT_BYTES, reads as missing and is skipped; a number beyond the doubles
// reads as missing where it is read and costs nothing elsewhere. The whole text must still be
// valid JSON.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "base/result.h"
#include "model/json_reader.h"
#include "net/http.h"

namespace maps::detail {

/// Nesting deeper than this makes an answer unreadable.
inline constexpr int MAX_ANSWER_DEPTH = 512;

/// How service answers are read: invalid UTF-8 in strings becomes U+FFFD.
inline constexpr JsonReaderOptions ANSWER_READING{MAX_ANSWER_DEPTH, true};

/// Longest text kept from an answer, in bytes both as sent and as read. An OpenStreetMap tag
/// value has at most 255 characters, which fit even when each is sent as \u escapes; no text
/// the parsers show is longer. A longer text reads as missing and costs no memory, so that texts
/// of invalid bytes (each read as three bytes of U+FFFD) or one huge text cannot multiply an
/// answer's size.
inline constexpr std::size_t MAX_TEXT_BYTES = 4096;

/// The next value when it is a string of at most `max_bytes` bytes, as sent and as read;
/// otherwise it is skipped.
std::optional<std::string> read_text(JsonReader& r, std::size_t max_bytes = MAX_TEXT_BYTES);
/// The next value when it is a number a double holds.
inline std::optional<double> read_f64(JsonReader& r) {
  if (r.peek() != JsonReader::Kind::Number) {
    r.skip_value();
    return std::nullopt;
  }
  return r.read_f64();
}
/// The next value when it is an integer that fits.
std::optional<std::int64_t> read_i64(JsonReader& r);
std::optional<std::uint64_t> read_u64(JsonReader& r);
std::optional<bool> read_boolean(JsonReader& r);
/// A distance or duration: negative and non-finite values are no measure at all.
std::optional<double> read_measure(JsonReader& r);

/// Calls `on_member(key)` for each member of the next value when it is an object; each call
/// reads or skips exactly one value. Any other value is skipped. True for an object.
template <class F> bool read_object(JsonReader& r, F&& on_member) {
  if (r.peek() != JsonReader::Kind::Object) {
    r.skip_value();
    return false;
  }
  r.begin_object();
  std::string key;
  while (r.next_key(key)) {
    on_member(std::string_view(key));
  }
  return true;
}

/// Calls `on_element(index)` for each element of the next value when it is an array; each call
/// reads or skips exactly one value. Any other value is skipped. True for an array.
template <class F> bool read_array(JsonReader& r, F&& on_element) {
  if (r.peek() != JsonReader::Kind::Array) {
    r.skip_value();
    return false;
  }
  r.begin_array();
  std::size_t index = 0;
  while (r.next_element()) {
    on_element(index++);
  }
  return true;
}

/// Logs that `service`'s answer could not be read, with the reader's detail.
void log_unreadable(std::string_view service, std::string_view detail);

/// Runs `parse` (which reads exactly one value) over the whole answer `text`. Text that is no
/// JSON, anywhere in it, gives ANSWER_UNREADABLE, the detail going to the log.
template <class F>
auto read_answer(std::string_view service, std::string_view text, F&& parse)
    -> std::invoke_result_t<F&, JsonReader&> {
  JsonReader r(text, ANSWER_READING);
  try {
    auto out = parse(r);
    r.finish();
    return out;
  } catch (JsonError const& e) {
    log_unreadable(service, e.what());
    return base::fail(ANSWER_UNREADABLE);
  }
}

} // namespace maps::detail
