// UnitSystem: the predefined systems, custom systems and their setters, the
// default currency and make_unit_system.
#include <cmath>
#include <limits>
#include <locale>
#include <ostream>
#include <sstream>

#include "qorva_mat/error.hpp"
#include "qorva_mat/units.hpp"

namespace qorva_mat {

namespace {

// One row of the predefined-system table: names of slots 0 to 3, factors of
// slots 0 to 3, temperature offset and base units.
struct SystemRow {
  const char* names[4];
  double factors[4];
  double offset;
  units::base_unit_type base_units;
};

constexpr double kFiveNinths = 5.0 / 9.0;
constexpr double kCelsiusZero = -273.15;
constexpr double kFahrenheitZero = -459.67;

// Rows for the types SI (1) to BIN (7).
const SystemRow kPredefined[7] = {
    {{"m", "kg", "s", "K"}, {1, 1, 1, 1}, 0.0, units::LENGTH_MASS_TIME_TEMP_CUR},
    {{"m", "kg", "s", "C"}, {1, 1, 1, 1}, kCelsiusZero, units::LENGTH_MASS_TIME_TEMP_CUR},
    {{"um", "kg", "s", "C"}, {1e-06, 1, 1, 1}, kCelsiusZero, units::LENGTH_MASS_TIME_TEMP_CUR},
    {{"cm", "g", "s", "C"}, {0.01, 0.001, 1, 1}, kCelsiusZero, units::LENGTH_MASS_TIME_TEMP_CUR},
    {{"mm", "t", "s", "C"}, {0.001, 1000, 1, 1}, kCelsiusZero, units::LENGTH_MASS_TIME_TEMP_CUR},
    {{"ft", "slug", "s", "F"},
     {0.3048, 14.5939029, 1, kFiveNinths},
     kFahrenheitZero,
     units::LENGTH_MASS_TIME_TEMP_CUR},
    {{"in", "lbf", "s", "F"},
     {0.0254, 4.44822162, 1, kFiveNinths},
     kFahrenheitZero,
     units::LENGTH_FORCE_TIME_TEMP_CUR},
};

const char* const kTypeNames[8] = {"UNDEFINED", "SI", "MKS", "uMKS", "CGS", "MPA", "BFT", "BIN"};
const char* const kLowerTypeNames[8] = {"undefined", "si",  "mks", "umks",
                                        "cgs",       "mpa", "bft", "bin"};

// Conditions the setters report when they refuse a change.
constexpr char kCustomOnly[] = "type__ == UNDEFINED";
constexpr char kMassIsBase[] = "this->base_units() == units::LENGTH_MASS_TIME_TEMP_CUR";
constexpr char kForceIsBase[] = "this->base_units() == units::LENGTH_FORCE_TIME_TEMP_CUR";

bool is_predefined(UnitSystem::unit_system_type type) {
  return type >= UnitSystem::SI && type <= UnitSystem::BIN;
}

}  // namespace

UnitSystem::UnitSystem(unit_system_type type)
    : unit_names_(),
      conversion_factors_(ones_conversion_factors()),
      temperature_offset_(0.0),
      type_(type),
      base_units_(units::LENGTH_MASS_TIME_TEMP_CUR) {
  init(type);
}

UnitSystem::conversion_factors_t UnitSystem::ones_conversion_factors() {
  conversion_factors_t ones;
  ones.fill(1.0);
  return ones;
}

void UnitSystem::init(unit_system_type type) {
  type_ = type;
  unit_names_[5] = "radian";
  if (!is_predefined(type)) {
    unit_names_[0] = "[Length]";
    unit_names_[1] = "[Mass]";
    unit_names_[2] = "[Time]";
    unit_names_[3] = "[Temperature]";
    unit_names_[4] = "[Currency]";
    conversion_factors_.fill(std::numeric_limits<double>::quiet_NaN());
    temperature_offset_ = std::numeric_limits<double>::quiet_NaN();
    base_units_ = units::LENGTH_MASS_TIME_TEMP_CUR;
    return;
  }
  const SystemRow& row = kPredefined[type - SI];
  for (std::size_t i = 0; i < 4; ++i) {
    unit_names_[i] = row.names[i];
    conversion_factors_[i] = row.factors[i];
  }
  unit_names_[4] = get_default_currency_as_ref();
  conversion_factors_[4] = 1.0;
  temperature_offset_ = row.offset;
  base_units_ = row.base_units;
}

void UnitSystem::type(unit_system_type type) { init(type); }

std::string UnitSystem::zepl_type_str() const {
  if (type_ < UNDEFINED || type_ > BIN) return kTypeNames[UNDEFINED];
  return kTypeNames[type_];
}

std::string UnitSystem::printed_unit(const units::exponent_vec_t& e) const {
  std::ostringstream os;
  os << Unit(std::make_shared<UnitSystem>(*this), e);
  return os.str();
}

std::string UnitSystem::mass_name() const { return printed_unit(units::mass_exp(base_units_)); }

std::string UnitSystem::force_name() const { return printed_unit(units::force_exp(base_units_)); }

double UnitSystem::derived_conv(const units::exponent_vec_t& e) const {
  double factor = 1.0;
  for (std::size_t i = 0; i < 3; ++i) factor *= std::pow(conversion_factors_[i], e[i]);
  return factor;
}

double UnitSystem::mass_conv() const { return derived_conv(units::mass_exp(base_units_)); }

double UnitSystem::force_conv() const { return derived_conv(units::force_exp(base_units_)); }

void UnitSystem::base_units(units::base_unit_type base_units) {
  QORVA_ASSERT_TEXT(type_ == UNDEFINED, kCustomOnly,
                    "cannot set base units of predefined unit system");
  base_units_ = base_units;
}

void UnitSystem::length_name(const std::string& name) {
  QORVA_ASSERT_TEXT(type_ == UNDEFINED, kCustomOnly,
                    "cannot set length unit name of predefined unit system");
  unit_names_[0] = name;
}

void UnitSystem::length_conv(double factor) {
  QORVA_ASSERT_TEXT(type_ == UNDEFINED, kCustomOnly,
                    "cannot set conversion factor in predefined unit system");
  conversion_factors_[0] = factor;
}

void UnitSystem::mass_name(const std::string& name) {
  QORVA_ASSERT_TEXT(type_ == UNDEFINED, kCustomOnly,
                    "cannot set mass unit name of predefined unit system");
  QORVA_ASSERT_TEXT(base_units_ == units::LENGTH_MASS_TIME_TEMP_CUR, kMassIsBase,
                    "cannot set mass unit name, mass is not a base unit of this system");
  unit_names_[1] = name;
}

void UnitSystem::mass_conv(double factor) {
  QORVA_ASSERT_TEXT(type_ == UNDEFINED, kCustomOnly,
                    "cannot set conversion factor in predefined unit system");
  QORVA_ASSERT_TEXT(base_units_ == units::LENGTH_MASS_TIME_TEMP_CUR, kMassIsBase,
                    "cannot set mass unit conversion, mass is not a base unit of this system");
  conversion_factors_[1] = factor;
}

void UnitSystem::force_name(const std::string& name) {
  QORVA_ASSERT_TEXT(type_ == UNDEFINED, kCustomOnly,
                    "cannot set force unit name of predefined unit system");
  QORVA_ASSERT_TEXT(base_units_ == units::LENGTH_FORCE_TIME_TEMP_CUR, kForceIsBase,
                    "cannot set force unit name, force is not a base unit of this system");
  unit_names_[1] = name;
}

void UnitSystem::force_conv(double factor) {
  QORVA_ASSERT_TEXT(type_ == UNDEFINED, kCustomOnly,
                    "cannot set conversion factor in predefined unit system");
  QORVA_ASSERT_TEXT(base_units_ == units::LENGTH_FORCE_TIME_TEMP_CUR, kForceIsBase,
                    "cannot set force unit conversion, force is not a base unit of this system");
  conversion_factors_[1] = factor;
}

void UnitSystem::time_name(const std::string& name) {
  QORVA_ASSERT_TEXT(type_ == UNDEFINED, kCustomOnly,
                    "cannot set time unit name of predefined unit system");
  unit_names_[2] = name;
}

void UnitSystem::time_conv(double factor) {
  QORVA_ASSERT_TEXT(type_ == UNDEFINED, kCustomOnly,
                    "cannot set conversion factor in predefined unit system");
  conversion_factors_[2] = factor;
}

void UnitSystem::temperature_name(const std::string& name) {
  QORVA_ASSERT_TEXT(type_ == UNDEFINED, kCustomOnly,
                    "cannot set temperature unit name of predefined unit system");
  unit_names_[3] = name;
}

void UnitSystem::temperature_conv(double factor) {
  QORVA_ASSERT_TEXT(type_ == UNDEFINED, kCustomOnly,
                    "cannot set conversion factor in predefined unit system");
  conversion_factors_[3] = factor;
}

void UnitSystem::temperature_offset(double offset) {
  QORVA_ASSERT_TEXT(type_ == UNDEFINED, kCustomOnly,
                    "cannot set temperature offset of predefined unit system");
  temperature_offset_ = offset;
}

void UnitSystem::currency_name(const std::string& name) {
  QORVA_ASSERT_TEXT(type_ == UNDEFINED, kCustomOnly,
                    "cannot set currency unit name of predefined unit system");
  unit_names_[4] = name;
}

void UnitSystem::currency_conv(double factor) {
  QORVA_ASSERT_TEXT(type_ == UNDEFINED, kCustomOnly,
                    "cannot set conversion factor in predefined unit system");
  conversion_factors_[4] = factor;
}

std::string& UnitSystem::get_default_currency_as_ref() {
  // Created on first use and deliberately never destroyed, so that predefined
  // systems made during static destruction still find it.
  static std::string* const default_currency = new std::string("USD");
  return *default_currency;
}

std::string UnitSystem::get_default_currency() { return get_default_currency_as_ref(); }

void UnitSystem::set_default_currency(const std::string& currency) {
  get_default_currency_as_ref() = currency;
}

bool UnitSystem::operator==(const UnitSystem& other) const {
  return base_units_ == other.base_units_ && unit_names_ == other.unit_names_;
}

std::ostream& operator<<(std::ostream& os, const UnitSystem& system) {
  return os << "UnitSystem( length=" << system.length_name() << ", mass=" << system.mass_name()
            << ", time=" << system.time_name() << ", force=" << system.force_name()
            << ", temperature=" << system.temperature_name()
            << ", currency=" << system.currency_name() << ")";
}

std::shared_ptr<UnitSystem> make_unit_system(UnitSystem::unit_system_type type) {
  return std::make_shared<UnitSystem>(type);
}

std::shared_ptr<UnitSystem> make_unit_system(const std::string& name) {
  std::string lower = name;
  const std::locale locale;
  for (char& c : lower) c = std::tolower(c, locale);
  if (lower.empty()) return make_unit_system(UnitSystem::UNDEFINED);
  for (int t = UnitSystem::UNDEFINED; t <= UnitSystem::BIN; ++t) {
    if (lower == kLowerTypeNames[t]) {
      return make_unit_system(static_cast<UnitSystem::unit_system_type>(t));
    }
  }
  QORVA_THROW("unknown UnitSystem type ('" + name + "').");
}

}  // namespace qorva_mat
