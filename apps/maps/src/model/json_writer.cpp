#include "model/json_writer.h"

#include <charconv>
#include <cmath>

#include "base/number.h"
#include "base/utf8.h"

namespace maps {

void append_json_string(std::string& out, std::string_view text) {
  static constexpr char HEX[] = "0123456789abcdef";
  out.push_back('"');
  std::size_t pos = 0;
  while (pos < text.size()) {
    // Runs that need no escape are copied at once.
    std::size_t run = pos;
    while (run < text.size()) {
      auto const c = static_cast<unsigned char>(text[run]);
      if (c == '"' || c == '\\' || c < 0x20 || c >= 0x80) {
        break;
      }
      ++run;
    }
    out.append(text, pos, run - pos);
    pos = run;
    if (pos >= text.size()) {
      break;
    }
    auto const c = static_cast<unsigned char>(text[pos]);
    if (c >= 0x80) {
      std::size_t p = pos;
      if (base::utf8::decode(text, p)) {
        out.append(text, pos, p - pos);
        pos = p;
      } else {
        out += "\xEF\xBF\xBD";
        ++pos;
      }
      continue;
    }
    ++pos;
    switch (c) {
    case '"':
      out += "\\\"";
      break;
    case '\\':
      out += "\\\\";
      break;
    case '\b':
      out += "\\b";
      break;
    case '\t':
      out += "\\t";
      break;
    case '\n':
      out += "\\n";
      break;
    case '\f':
      out += "\\f";
      break;
    case '\r':
      out += "\\r";
      break;
    default:
      out += "\\u00";
      out.push_back(HEX[c >> 4]);
      out.push_back(HEX[c & 0xF]);
    }
  }
  out.push_back('"');
}

void append_json_f64(std::string& out, double value) {
  if (!std::isfinite(value)) {
    out += "null";
    return;
  }
  base::append_f64(out, value);
}

void append_json_u64(std::string& out, std::uint64_t value) {
  char buf[24];
  auto const res = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, res.ptr);
}

void append_json_i64(std::string& out, std::int64_t value) {
  char buf[24];
  auto const res = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, res.ptr);
}

} // namespace maps
