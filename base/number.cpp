#include "base/number.h"

#include <charconv>
#include <cmath>

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
  char digit_buf[32];
  std::size_t n = 0;
  for (char c : sci.substr(0, e)) {
    if (c != '.') {
      digit_buf[n++] = c;
    }
  }
  std::string_view const digits(digit_buf, n);
  int exp10 = 0;
  std::string_view exp_text = sci.substr(e + 1);
  if (!exp_text.empty() && exp_text.front() == '+') {
    exp_text.remove_prefix(1);
  }
  std::from_chars(exp_text.data(), exp_text.data() + exp_text.size(), exp10);
  int const len = static_cast<int>(digits.size());
  // kk: position of the decimal point relative to the first digit.
  int const kk = exp10 + 1;
  if (len <= kk && kk <= 16) {
    out += digits;
    out.append(static_cast<std::size_t>(kk - len), '0');
    out += ".0";
  } else if (0 < kk && kk <= 16) {
    out.append(digits.substr(0, static_cast<std::size_t>(kk)));
    out.push_back('.');
    out.append(digits.substr(static_cast<std::size_t>(kk)));
  } else if (-5 < kk && kk <= 0) {
    out += "0.";
    out.append(static_cast<std::size_t>(-kk), '0');
    out += digits;
  } else {
    out.push_back(digits[0]);
    if (len > 1) {
      out.push_back('.');
      out.append(digits.substr(1));
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

} // namespace base
