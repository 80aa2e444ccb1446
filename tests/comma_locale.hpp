// A test helper that makes a decimal-comma locale the global one while it is alive, as some
// hosts do. Which reading or writing must not be affected by it is left to each test.
#pragma once

#include <locale>
#include <string>

namespace qorva_test {

// Numeric punctuation with ',' as the decimal point and '.' grouping thousands.
struct CommaNumpunct : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
  char do_thousands_sep() const override { return '.'; }
  std::string do_grouping() const override { return "\3"; }
};

inline std::locale comma_locale() { return std::locale(std::locale::classic(), new CommaNumpunct); }

// Installs `locale` as the global locale; the previous one comes back however the test ends.
class GlobalLocale {
 public:
  explicit GlobalLocale(const std::locale& locale = comma_locale())
      : previous_(std::locale::global(locale)) {}
  ~GlobalLocale() { std::locale::global(previous_); }
  GlobalLocale(const GlobalLocale&) = delete;
  GlobalLocale& operator=(const GlobalLocale&) = delete;

 private:
  std::locale previous_;
};

}  // namespace qorva_test
