// Quantity arithmetic, conversion and printing, and the unit-symbol table.
#include <cmath>
#include <ostream>

#include "qorva_mat/error.hpp"
#include "qorva_mat/units.hpp"

namespace qorva_mat {

Quantity::Quantity(double value, const Unit& unit) : value_(value), unit_(unit) {}

Quantity& Quantity::operator*=(const double& d) {
  value_ *= d;
  return *this;
}

Quantity& Quantity::operator/=(const double& d) {
  value_ /= d;
  return *this;
}

Quantity& Quantity::operator*=(const Quantity& other) {
  const Quantity p = unit_ * other.unit_;
  value_ = value_ * (p.value_ * other.value_);
  unit_ = p.unit_;
  return *this;
}

Quantity& Quantity::operator/=(const Quantity& other) { return *this *= other.pow(-1); }

Quantity Quantity::pow(short n) const { return Quantity(std::pow(value_, n), unit_.pow(n)); }

Quantity Quantity::convert_to(std::shared_ptr<UnitSystem> target, bool absolute) const {
  if (!absolute) {
    Quantity result(1.0, dimensionless(std::move(target)));
    result *= *this;
    return result;
  }
  QORVA_ASSERT(this->unit().is_temperature(),
               "Absolute conversion is only defined for temperature units.");
  const UnitSystem& src = *unit_.system();
  const Unit target_unit = temperature(std::move(target));
  const UnitSystem& dst = *target_unit.system();
  const double kelvin = (value_ - src.temperature_offset()) * src.temperature_conv();
  return Quantity(kelvin / dst.temperature_conv() + dst.temperature_offset(), target_unit);
}

bool Quantity::operator==(const Quantity& other) const {
  return value_ == other.value_ && unit_ == other.unit_;
}

std::ostream& operator<<(std::ostream& os, const Quantity& quantity) {
  return os << quantity.value() << ' ' << quantity.unit();
}

namespace units {
namespace detail {

namespace {

std::unordered_map<std::string, Unit> build_unit_symbol_table() {
  const auto si = make_unit_system(UnitSystem::SI);
  const auto mks = make_unit_system(UnitSystem::MKS);
  const auto umks = make_unit_system(UnitSystem::uMKS);
  const auto cgs = make_unit_system(UnitSystem::CGS);
  const auto mpa = make_unit_system(UnitSystem::MPA);
  const auto bft = make_unit_system(UnitSystem::BFT);
  const auto bin = make_unit_system(UnitSystem::BIN);
  std::unordered_map<std::string, Unit> table;
  table.emplace("m", length(si));
  table.emplace("cm", length(cgs));
  table.emplace("mm", length(mpa));
  table.emplace("in", length(bin));
  table.emplace("ft", length(bft));
  table.emplace("um", length(umks));
  table.emplace("kg", mass(si));
  table.emplace("g", mass(cgs));
  table.emplace("tonne", mass(mpa));
  table.emplace("lb", mass(bin));
  table.emplace("slug", mass(bft));
  table.emplace("K", temperature(si));
  table.emplace("C", temperature(mks));
  table.emplace("F", temperature(bin));
  table.emplace("s", time(si));
  table.emplace("N", ((mass(si) * length(si)).unit() * time(si).pow(-2)).unit());
  table.emplace("Pa", ((mass(si) * length(si).pow(-1)).unit() * time(si).pow(-2)).unit());
  table.emplace("MPa", ((mass(mpa) * length(mpa).pow(-1)).unit() * time(si).pow(-2)).unit());
  table.emplace("radian", angle(si));
  table.emplace("W", ((mass(si) * length(si).pow(2)).unit() * time(si).pow(-3)).unit());
  table.emplace("J", ((mass(si) * length(si).pow(2)).unit() * time(si).pow(-2)).unit());
  return table;
}

}  // namespace

const std::unordered_map<std::string, Unit>& unit_symbol_table() {
  static const std::unordered_map<std::string, Unit> table = build_unit_symbol_table();
  return table;
}

}  // namespace detail
}  // namespace units

// Bound while the library loads; see the header for use during static
// initialisation of other translation units.
const std::unordered_map<std::string, Unit>& unit_symbol_map = units::detail::unit_symbol_table();

}  // namespace qorva_mat
