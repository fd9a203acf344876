#pragma once
// Locale-independent number text. Doubles are written in the shortest form that reads back to
// the same value; integral values keep ".0" (14.0), and very large or small magnitudes use an
// exponent (1e16, 1.5e-7), the layout JSON writers of the ryu family produce.

#include <string>

namespace base {

/// Shortest round-trip text of a finite double; "NaN", "inf" or "-inf" otherwise.
std::string format_f64(double value);

/// Appends format_f64(value) to `out`.
void append_f64(std::string& out, double value);

} // namespace base
