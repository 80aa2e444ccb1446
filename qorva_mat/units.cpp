// Exponent vectors, base-unit translation, the compound-unit table, Unit,
// Quantity, their printing and the unit-symbol table.
#include "qorva_mat/units.hpp"

#include <boost/container_hash/hash.hpp>
#include <cmath>
#include <ostream>
#include <sstream>
#include <utility>

#include "qorva_mat/error.hpp"

namespace qorva_mat {
namespace units {

namespace {

exponent_vec_t make_exp(std::int16_t l, std::int16_t m, std::int16_t t, std::int16_t temp,
                        std::int16_t cur, std::int16_t ang) {
  exponent_vec_t e = {{l, m, t, temp, cur, ang}};
  return e;
}

}  // namespace

std::size_t unit_description_hash::operator()(
    const unit_description_t& description) const noexcept {
  std::size_t seed = 0;
  for (const auto& entry : description) {
    boost::hash_combine(seed, entry.first);
    boost::hash_combine(seed, entry.second);
  }
  return seed;
}

exponent_vec_t length_exp(base_unit_type) { return make_exp(1, 0, 0, 0, 0, 0); }

exponent_vec_t mass_exp(base_unit_type b) {
  return b == LENGTH_MASS_TIME_TEMP_CUR ? make_exp(0, 1, 0, 0, 0, 0) : make_exp(-1, 1, 2, 0, 0, 0);
}

exponent_vec_t force_exp(base_unit_type b) {
  return b == LENGTH_MASS_TIME_TEMP_CUR ? make_exp(1, 1, -2, 0, 0, 0) : make_exp(0, 1, 0, 0, 0, 0);
}

exponent_vec_t time_exp(base_unit_type) { return make_exp(0, 0, 1, 0, 0, 0); }
exponent_vec_t temperature_exp(base_unit_type) { return make_exp(0, 0, 0, 1, 0, 0); }
exponent_vec_t currency_exp(base_unit_type) { return make_exp(0, 0, 0, 0, 1, 0); }
exponent_vec_t angle_exp(base_unit_type) { return make_exp(0, 0, 0, 0, 0, 1); }
exponent_vec_t dimensionless_exp(base_unit_type) { return make_exp(0, 0, 0, 0, 0, 0); }

compound_units_t& compound_units() {
  static compound_units_t table = [] {
    const std::pair<unit_description_t, const char*> entries[] = {
        {{}, ""},
        {{{"kg", 1}, {"m", 1}, {"s", -2}}, "N"},
        {{{"mm", 1}, {"s", -2}, {"t", 1}}, "N"},
        {{{"kg", 1}, {"s", -2}, {"um", 1}}, "uN"},
        {{{"cm", 1}, {"g", 1}, {"s", -2}}, "dyn"},
        {{{"ft", 1}, {"s", -2}, {"slug", 1}}, "lbf"},
        {{{"mm", -1}, {"s", -2}, {"t", 1}}, "MPa"},
        {{{"kg", 1}, {"s", -2}, {"um", -1}}, "MPa"},
        {{{"kg", 1}, {"m", -1}, {"s", -2}}, "Pa"},
        {{{"kg", 1}, {"m", 2}, {"s", -2}}, "J"},
        {{{"kg", 1}, {"m", 2}, {"s", -3}}, "W"},
        {{{"in", -2}, {"lbf", 1}}, "psi"},
    };
    compound_units_t t;
    for (const auto& entry : entries) t.emplace(entry.first, entry.second);
    return t;
  }();
  return table;
}

namespace detail {

exponent_vec_t translate(const exponent_vec_t& e, base_unit_type src, base_unit_type dst) {
  if (src == dst) return e;
  exponent_vec_t result = e;
  const int slot1 = e[1];
  if (src == LENGTH_MASS_TIME_TEMP_CUR) {
    // mass = force * time^2 / length
    result[0] = static_cast<std::int16_t>(e[0] - slot1);
    result[2] = static_cast<std::int16_t>(e[2] + 2 * slot1);
    return result;
  }
  QORVA_ASSERT(src == units::LENGTH_FORCE_TIME_TEMP_CUR, "unknown base units");
  // force = mass * length / time^2
  result[0] = static_cast<std::int16_t>(e[0] + slot1);
  result[2] = static_cast<std::int16_t>(e[2] - 2 * slot1);
  return result;
}

bool is_equal(const exponent_vec_t& a, const exponent_vec_t& b) { return a == b; }

}  // namespace detail
}  // namespace units

// ---------------------------------------------------------------- Unit

Unit::Unit() : system_(), exponents_(zero_exponents()) {}

Unit::Unit(std::shared_ptr<UnitSystem> system, const units::exponent_vec_t& exponents)
    : system_(std::move(system)), exponents_(exponents) {}

const units::exponent_vec_t& Unit::zero_exponents() {
  static const units::exponent_vec_t zeros =
      units::dimensionless_exp(units::LENGTH_MASS_TIME_TEMP_CUR);
  return zeros;
}

const UnitSystem& Unit::checked_system() const {
  QORVA_ASSERT(system_ != nullptr, "Unit: the unit has no unit system");
  return *system_;
}

namespace {

const UnitSystem& checked(const std::shared_ptr<UnitSystem>& system) {
  QORVA_ASSERT(system != nullptr, "Unit: the unit has no unit system");
  return *system;
}

units::exponent_vec_t negated(const units::exponent_vec_t& e) {
  units::exponent_vec_t n;
  for (std::size_t i = 0; i < n.size(); ++i) n[i] = static_cast<std::int16_t>(-e[i]);
  return n;
}

units::exponent_vec_t sum(const units::exponent_vec_t& a, const units::exponent_vec_t& b) {
  units::exponent_vec_t s;
  for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<std::int16_t>(a[i] + b[i]);
  return s;
}

}  // namespace

bool Unit::is_length() const {
  return units::detail::is_equal(exponents_, units::length_exp(checked_system().base_units()));
}
bool Unit::is_mass() const {
  return units::detail::is_equal(exponents_, units::mass_exp(checked_system().base_units()));
}
bool Unit::is_force() const {
  return units::detail::is_equal(exponents_, units::force_exp(checked_system().base_units()));
}
bool Unit::is_time() const {
  return units::detail::is_equal(exponents_, units::time_exp(checked_system().base_units()));
}
bool Unit::is_temperature() const {
  return units::detail::is_equal(exponents_, units::temperature_exp(checked_system().base_units()));
}
bool Unit::is_currency() const {
  return units::detail::is_equal(exponents_, units::currency_exp(checked_system().base_units()));
}
bool Unit::is_dimensionless() const {
  return units::detail::is_equal(exponents_,
                                 units::dimensionless_exp(checked_system().base_units()));
}

Unit Unit::pow(short n) const {
  units::exponent_vec_t e;
  for (std::size_t i = 0; i < e.size(); ++i) e[i] = static_cast<std::int16_t>(exponents_[i] * n);
  return Unit(system_, e);
}

Quantity Unit::operator*(const Unit& other) const {
  const UnitSystem& mine = checked_system();
  if (mine == checked(other.system_)) {
    return Quantity(1.0, Unit(system_, sum(exponents_, other.exponents_)));
  }
  const Quantity q = other.convert_to(system_);
  return Quantity(q.value(), Unit(system_, sum(exponents_, q.unit().unit_exp())));
}

Quantity Unit::operator/(const Unit& other) const {
  return *this * Unit(other.system_, negated(other.exponents_));
}

Quantity Unit::operator*(double d) const { return Quantity(d, *this); }

Quantity Unit::operator/(double d) const { return Quantity(1.0 / d, *this); }

Quantity operator*(const double& d, const Unit& u) { return Quantity(d, u); }

Quantity operator/(const double& d, const Unit& u) {
  return Quantity(d, Unit(u.system(), negated(u.unit_exp())));
}

Quantity Unit::convert_to(std::shared_ptr<UnitSystem> target) const {
  const UnitSystem& src = checked_system();
  const UnitSystem& dst = checked(target);
  if (dst == src) return Quantity(1.0, *this);
  const units::exponent_vec_t e = exponents_;
  const units::exponent_vec_t e2 = units::detail::translate(e, src.base_units(), dst.base_units());
  double numerator = 1.0;
  double denominator = 1.0;
  for (std::size_t i = 0; i < 5; ++i) {
    numerator *= std::pow(src.conversion_factors()[i], e[i]);
    denominator *= std::pow(dst.conversion_factors()[i], e2[i]);
  }
  return Quantity(numerator / denominator, Unit(std::move(target), e2));
}

double Unit::conversion_factor(const Unit& other_) const {
  const Quantity q = convert_to(other_.system_);
  QORVA_ASSERT(q.unit() == other_, [&] {
    std::ostringstream msg;
    msg << "units are not compatible: " << *this << ' ' << other_;
    return msg.str();
  }());
  return q.value();
}

double conversion_factor(const Unit& a, const Unit& b) { return a.conversion_factor(b); }

bool Unit::operator==(const Unit& other) const {
  const Quantity q = *this / other;
  return q.unit().is_dimensionless() && q.value() == 1.0;
}

units::unit_description_t Unit::description() const {
  const UnitSystem& system = checked_system();
  units::unit_description_t d;
  for (std::size_t i = 0; i < exponents_.size(); ++i) {
    if (exponents_[i] != 0) d[system.unit_names()[i]] = exponents_[i];
  }
  return d;
}

std::ostream& operator<<(std::ostream& os, const Unit& unit) {
  const units::unit_description_t d = unit.description();
  const units::compound_units_t& compound = units::compound_units();
  const auto found = compound.find(d);
  if (found != compound.end()) return os << found->second;
  // Exponents are always written in plain decimal, whatever the flags of `os`;
  // the whole form goes out as one string so that a field width applies to it.
  std::string text;
  for (const auto& entry : d) {
    if (!text.empty()) text += ' ';
    text += entry.first;
    if (entry.second > 1) text += '^' + std::to_string(entry.second);
    if (entry.second < 0) text += "^(" + std::to_string(entry.second) + ')';
  }
  return os << text;
}

Unit length(std::shared_ptr<UnitSystem> system) {
  const units::base_unit_type b = checked(system).base_units();
  return Unit(std::move(system), units::length_exp(b));
}
Unit mass(std::shared_ptr<UnitSystem> system) {
  const units::base_unit_type b = checked(system).base_units();
  return Unit(std::move(system), units::mass_exp(b));
}
Unit force(std::shared_ptr<UnitSystem> system) {
  const units::base_unit_type b = checked(system).base_units();
  return Unit(std::move(system), units::force_exp(b));
}
Unit time(std::shared_ptr<UnitSystem> system) {
  const units::base_unit_type b = checked(system).base_units();
  return Unit(std::move(system), units::time_exp(b));
}
Unit temperature(std::shared_ptr<UnitSystem> system) {
  const units::base_unit_type b = checked(system).base_units();
  return Unit(std::move(system), units::temperature_exp(b));
}
Unit currency(std::shared_ptr<UnitSystem> system) {
  const units::base_unit_type b = checked(system).base_units();
  return Unit(std::move(system), units::currency_exp(b));
}
Unit angle(std::shared_ptr<UnitSystem> system) {
  const units::base_unit_type b = checked(system).base_units();
  return Unit(std::move(system), units::angle_exp(b));
}
Unit dimensionless(std::shared_ptr<UnitSystem> system) {
  const units::base_unit_type b = checked(system).base_units();
  return Unit(std::move(system), units::dimensionless_exp(b));
}

}  // namespace qorva_mat
