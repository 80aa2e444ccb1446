#include "tools/unit_text.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <stdexcept>
#include <vector>

#include "qorva_mat/error.hpp"

namespace qorva_cli {
namespace {

using qorva_mat::Unit;
using qorva_mat::UnitSystem;
using qorva_mat::units::exponent_vec_t;

int weight(const exponent_vec_t& e) {
  int sum = 0;
  for (auto x : e) sum += std::abs(static_cast<int>(x));
  return sum;
}

exponent_vec_t minus(const exponent_vec_t& a, const exponent_vec_t& b) {
  exponent_vec_t r{};
  for (std::size_t i = 0; i < r.size(); ++i) r[i] = static_cast<short>(a[i] - b[i]);
  return r;
}

// The compound name of `unit` when the library's compound table holds it, else "".
std::string compound_name(const Unit& unit) {
  const auto& compounds = qorva_mat::units::compound_units();
  const auto found = compounds.find(unit.description());
  return found == compounds.end() ? std::string() : found->second;
}

// The system's power, energy and force units, each with the compound name it prints as (those
// without one cannot be pulled out and are skipped).
std::vector<std::pair<std::string, exponent_vec_t>> named_derived_units(
    const std::shared_ptr<UnitSystem>& s) {
  const Unit force = qorva_mat::force(s);
  const Unit energy = (force * qorva_mat::length(s)).unit();
  const Unit power = (energy / qorva_mat::time(s)).unit();
  std::vector<std::pair<std::string, exponent_vec_t>> named;
  for (const Unit* u : {&power, &energy, &force}) {
    const std::string name = compound_name(*u);
    if (!name.empty()) named.emplace_back(name, u->unit_exp());
  }
  return named;
}

std::string term(const std::string& name, int power) {
  return power == 1 ? name : name + "^" + std::to_string(power);
}

std::string joined(const std::vector<std::string>& terms) {
  std::string text;
  for (const auto& t : terms) text += (text.empty() ? "" : " ") + t;
  return text;
}

}  // namespace

std::string engineer_unit(const Unit& unit) {
  const auto system = unit.system();
  if (!system) return {};
  if (unit.is_dimensionless()) return {};
  std::string compound = compound_name(unit);
  if (!compound.empty()) return compound;
  exponent_vec_t rest = unit.unit_exp();
  std::string lead;
  int best = weight(rest);
  for (const auto& [name, exponents] : named_derived_units(system)) {
    const exponent_vec_t left = minus(unit.unit_exp(), exponents);
    if (weight(left) + 1 < best) {
      best = weight(left) + 1;
      lead = name;
      rest = left;
    }
  }
  std::vector<std::string> above, below;
  if (!lead.empty()) above.push_back(lead);
  const auto& names = system->unit_names();
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] > 0) above.push_back(term(names[i], rest[i]));
    if (rest[i] < 0) below.push_back(term(names[i], -rest[i]));
  }
  std::string text = above.empty() ? "1" : joined(above);
  if (below.size() == 1) text += "/" + below.front();
  if (below.size() > 1) text += "/(" + joined(below) + ")";
  return text;
}

double value_in_unit(const std::string& text, const Unit& unit) {
  const auto first = text.find_first_not_of(' ');
  const char* begin = text.data() + (first == std::string::npos ? text.size() : first);
  const char* end = text.data() + text.size();
  double value = 0.0;
  const auto [stop, ec] = std::from_chars(begin, end, value);
  if (begin == end || ec != std::errc() || !std::isfinite(value))
    throw std::invalid_argument("'" + text + "' is not a number");
  std::string symbol(stop, end);
  symbol.erase(0, symbol.find_first_not_of(' '));
  symbol.erase(symbol.find_last_not_of(' ') + 1);
  if (symbol.empty()) return value;
  const auto& table = qorva_mat::units::detail::unit_symbol_table();
  const auto given = table.find(symbol);
  if (given == table.end()) {
    throw std::invalid_argument("'" + symbol +
                                "' is not a unit symbol (known: m, cm, mm, in, ft, um, kg, g, "
                                "tonne, lb, slug, K, C, F, s, N, Pa, MPa, radian, W, J)");
  }
  const auto system = unit.system();
  if (!system) {
    throw std::invalid_argument("the unit system of the values is not known, so '" + symbol +
                                "' cannot be converted; name it with --from-units SYSTEM");
  }
  const std::string wanted = engineer_unit(unit);
  if (unit.is_temperature()) {
    if (!given->second.is_temperature())
      throw std::invalid_argument("'" + symbol + "' is no temperature unit; the variable is in " +
                                  wanted);
    return qorva_mat::Quantity(value, given->second).convert_to(system, true).value();
  }
  try {
    return value * qorva_mat::conversion_factor(given->second, unit);
  } catch (const qorva_mat::assertion_error&) {
    throw std::invalid_argument(
        "'" + symbol + "' does not measure this variable, which is " +
        (wanted.empty() ? std::string("dimensionless: give a bare number") : "in " + wanted));
  }
}

}  // namespace qorva_cli
