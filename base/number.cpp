#include "base/number.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace base {

void append_f64(std::string& out, double value) {
  if (std::isnan(value)) {
    out += "NaN";
    return;
  }
  if (std::isinf(value)) {
    out += value < 0 ? "-inf" : "inf";
    return;
  }
  if (value == 0.0) {
    out += std::signbit(value) ? "-0.0" : "0.0";
    return;
  }
  // Shortest scientific form: [-]d[.ddd]e[+-]XX.
  char buf[64];
  auto const res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
  std::string_view sci(buf, static_cast<std::size_t>(res.ptr - buf));
  if (sci.front() == '-') {
    out.push_back('-');
    sci.remove_prefix(1);
  }
  auto const e = sci.find('e');
  std::string digits;
  for (char c : sci.substr(0, e)) {
    if (c != '.') {
      digits.push_back(c);
    }
  }
  int const exp10 = std::atoi(std::string(sci.substr(e + 1)).c_str());
  int const len = static_cast<int>(digits.size());
  // kk: position of the decimal point relative to the first digit.
  int const kk = exp10 + 1;
  if (len <= kk && kk <= 16) {
    out += digits;
    out.append(static_cast<std::size_t>(kk - len), '0');
    out += ".0";
  } else if (0 < kk && kk <= 16) {
    out.append(digits, 0, static_cast<std::size_t>(kk));
    out.push_back('.');
    out.append(digits, static_cast<std::size_t>(kk));
  } else if (-5 < kk && kk <= 0) {
    out += "0.";
    out.append(static_cast<std::size_t>(-kk), '0');
    out += digits;
  } else {
    out.push_back(digits[0]);
    if (len > 1) {
      out.push_back('.');
      out.append(digits, 1);
    }
    out.push_back('e');
    out += std::to_string(kk - 1);
  }
}

std::string format_f64(double value) {
  std::string out;
  append_f64(out, value);
  return out;
}

}  // namespace base
