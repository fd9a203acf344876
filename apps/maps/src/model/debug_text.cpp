#include "model/debug_text.h"

#include <fmt/format.h>

namespace maps::detail {

void append_debug_string(std::string& out, std::string_view text) {
  out.push_back('"');
  for (char c : text) {
    switch (c) {
    case '"':
      out += "\\\"";
      break;
    case '\\':
      out += "\\\\";
      break;
    case '\n':
      out += "\\n";
      break;
    case '\r':
      out += "\\r";
      break;
    case '\t':
      out += "\\t";
      break;
    default:
      if (static_cast<unsigned char>(c) < 0x20) {
        out += fmt::format("\\u{{{:x}}}", static_cast<unsigned>(c));
      } else {
        out.push_back(c);
      }
    }
  }
  out.push_back('"');
}

} // namespace maps::detail
