// How the engine's messages show names and numbers: quoted names, numbers with ten significant digits.
// The messages themselves are written where the checks are made.
#pragma once

#include <charconv>
#include <string>

namespace qorva_gil {
namespace detail {

// A name in single quotes: 'Temperature'.
inline std::string quoted(const std::string& name) { return "'" + name + "'"; }

// v with up to ten significant digits, as printf's "%.10g" gives it in the C locale, whatever the
// process locale is (1e+300, 0.5, inf, nan). Never fails.
inline std::string number(double v) {
  char buffer[32];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 10);
  return std::string(buffer, result.ptr);
}

}  // namespace detail
}  // namespace qorva_gil
