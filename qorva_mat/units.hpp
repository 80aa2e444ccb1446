// Dimension exponents, base-unit sets, unit systems, units, quantities and their conversion.
// Which unit system a model uses, and what its values mean, is left to the property model.
#pragma once

#include <boost/array.hpp>
#include <boost/operators.hpp>
#include <boost/unordered_map.hpp>
#include <cstdint>
#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>

namespace qorva_mat {

class UnitSystem;
class Unit;
class Quantity;

namespace units {

// Which dimension slot 1 of an exponent vector stands for. Stored as a 32-bit
// integer; every 32-bit value is representable, only 0 and 1 are defined.
enum base_unit_type : std::int32_t {
  LENGTH_MASS_TIME_TEMP_CUR = 0,   // slot 1 is mass
  LENGTH_FORCE_TIME_TEMP_CUR = 1,  // slot 1 is force
};

// Six dimension exponents in the fixed slot order length, mass-or-force, time,
// temperature, currency, angle. Arithmetic on them wraps in 16 bits unchecked.
using exponent_vec_t = boost::array<std::int16_t, 6>;

// A unit described by its unit names: name -> exponent, ordered byte-wise.
using unit_description_t = std::map<std::string, short>;

// Hash of a description: combines the hashes of its (name, exponent) pairs in
// map order.
struct unit_description_hash {
  std::size_t operator()(const unit_description_t& description) const noexcept;
};

// Description -> compound unit name ("N", "Pa", "psi", ...).
using compound_units_t =
    boost::unordered_map<unit_description_t, std::string, unit_description_hash>;

// Exponent vector of one basic dimension in the base-unit set `b`. None throws.
// mass_exp and force_exp treat every value other than LENGTH_MASS_TIME_TEMP_CUR
// as force-based; the others ignore their argument.
exponent_vec_t length_exp(base_unit_type b);
exponent_vec_t mass_exp(base_unit_type b);
exponent_vec_t force_exp(base_unit_type b);
exponent_vec_t time_exp(base_unit_type b);
exponent_vec_t temperature_exp(base_unit_type b);
exponent_vec_t currency_exp(base_unit_type b);
exponent_vec_t angle_exp(base_unit_type b);
exponent_vec_t dimensionless_exp(base_unit_type b);

// The process-wide table of compound unit names, built on the first call
// (thread-safe) and only read by the library afterwards. Never throws after
// construction (construction may throw std::bad_alloc).
compound_units_t& compound_units();

namespace detail {

// `e` re-expressed from base-unit set `src` into `dst`. Returns `e` unchanged
// when src == dst (whatever the values). Throws assertion_error
// "Assertion 'src == units::LENGTH_FORCE_TIME_TEMP_CUR' failed. unknown base units"
// when they differ and src is neither of the two defined sets.
exponent_vec_t translate(const exponent_vec_t& e, base_unit_type src, base_unit_type dst);

// True when all six slots are equal. Never throws.
bool is_equal(const exponent_vec_t& a, const exponent_vec_t& b);

// The unit-symbol table ("m", "kg", "MPa", ...), built on the first call
// (thread-safe) and never changed afterwards. Safe to call from the static
// initialisation of any translation unit; qorva_mat::unit_symbol_map refers
// to the same object. Throws only std::bad_alloc (on its first call).
const std::unordered_map<std::string, Unit>& unit_symbol_table();

}  // namespace detail
}  // namespace units

// A named set of units, one per exponent slot, with the size of each scaled
// unit in metre, kilogram (newton for a force-based slot 1), second, kelvin
// and the currency unit. Always shared through std::shared_ptr. Not
// synchronised: do not change a system while another thread reads it.
class UnitSystem : boost::equality_comparable<UnitSystem> {
 public:
  // Values outside 0..7 are stored unchanged but behave like UNDEFINED when
  // initialised and like a predefined system towards the setters.
  enum unit_system_type : std::int32_t {
    UNDEFINED = 0,
    SI = 1,
    MKS = 2,
    uMKS = 3,
    CGS = 4,
    MPA = 5,
    BFT = 6,
    BIN = 7,
  };

  using unit_names_t = boost::array<std::string, 6>;
  using conversion_factors_t = boost::array<double, 5>;

  // A predefined system, or for UNDEFINED a custom one with placeholder names
  // and NaN factors. Throws only std::bad_alloc.
  explicit UnitSystem(unit_system_type type = UNDEFINED);

  // The type, base units, names and factors as stored. Never throw.
  unit_system_type type() const { return type_; }
  // Re-initialises the whole system as `type`: allowed on every system, it
  // replaces every name, factor, the offset and the base units. Throws only
  // std::bad_alloc.
  void type(unit_system_type type);
  // The type's text ("SI", "uMKS", ...; "UNDEFINED" for unknown values), as
  // files store it; make_unit_system(name) reads it back.
  std::string zepl_type_str() const;

  units::base_unit_type base_units() const { return base_units_; }
  const unit_names_t& unit_names() const { return unit_names_; }
  const conversion_factors_t& conversion_factors() const { return conversion_factors_; }

  // Getters: copies of the names; mass_name() and force_name() give the
  // printed form of the mass or force unit of this system. Never throw
  // (apart from std::bad_alloc).
  std::string length_name() const { return unit_names_[0]; }
  std::string mass_name() const;
  std::string force_name() const;
  std::string time_name() const { return unit_names_[2]; }
  std::string temperature_name() const { return unit_names_[3]; }
  std::string currency_name() const { return unit_names_[4]; }

  // Getters of the conversion factors; mass_conv() and force_conv() are
  // derived from the factors of slots 0 to 2. Never throw.
  double length_conv() const { return conversion_factors_[0]; }
  double mass_conv() const;
  double force_conv() const;
  double time_conv() const { return conversion_factors_[2]; }
  double temperature_conv() const { return conversion_factors_[3]; }
  double currency_conv() const { return conversion_factors_[4]; }
  double temperature_offset() const { return temperature_offset_; }

  // Setters for custom (UNDEFINED) systems only. Each throws assertion_error
  // "Assertion 'type__ == UNDEFINED' failed. cannot set ..." on any other
  // type; the slot-1 setters also throw when slot 1 is not their dimension
  // ("Assertion 'this->base_units() == units::LENGTH_..._CUR' failed. ...").
  // On failure the system is unchanged. The two texts without a fixed model
  // follow their siblings: mass_conv on a force-based system says "cannot set
  // mass unit conversion, mass is not a base unit of this system", and
  // temperature_name on a predefined system "cannot set temperature unit name
  // of predefined unit system". Changing the base units keeps names and factors.
  void base_units(units::base_unit_type base_units);
  void length_name(const std::string& name);
  void length_conv(double factor);
  void mass_name(const std::string& name);
  void mass_conv(double factor);
  void force_name(const std::string& name);
  void force_conv(double factor);
  void time_name(const std::string& name);
  void time_conv(double factor);
  void temperature_name(const std::string& name);
  void temperature_conv(double factor);
  void temperature_offset(double offset);
  void currency_name(const std::string& name);
  void currency_conv(double factor);

  // The process-wide default currency name ("USD" until changed) that
  // predefined systems copy when initialised. Not synchronised. Never throw
  // (apart from std::bad_alloc).
  static std::string get_default_currency();
  static void set_default_currency(const std::string& currency);

  // Same base units and the same six names; type, factors and offset are
  // ignored. Never throws.
  bool operator==(const UnitSystem& other) const;

 protected:
  void init(unit_system_type type);

 private:
  static conversion_factors_t ones_conversion_factors();
  static std::string& get_default_currency_as_ref();
  // The unit of this system with exponents `e`, printed.
  std::string printed_unit(const units::exponent_vec_t& e) const;
  // Product over slots 0..2 of factor[i]^e[i].
  double derived_conv(const units::exponent_vec_t& e) const;

  unit_names_t unit_names_;
  conversion_factors_t conversion_factors_;
  double temperature_offset_;
  unit_system_type type_;
  units::base_unit_type base_units_;
};

// "UnitSystem( length=m, mass=kg, time=s, force=N, temperature=K, currency=USD)".
std::ostream& operator<<(std::ostream& os, const UnitSystem& system);

// A new, independent system of that type. Throws only std::bad_alloc.
std::shared_ptr<UnitSystem> make_unit_system(UnitSystem::unit_system_type type);
// A new system by name, case-insensitive ("SI", "bin", "" or "undefined" ...).
// Throws runtime_error "unknown UnitSystem type ('<name>')." for other names.
std::shared_ptr<UnitSystem> make_unit_system(const std::string& name);

// A unit system plus an exponent vector. A default-constructed unit has no
// system: it can be copied and asked for unit_exp(); every other operation
// throws assertion_error ("... failed. Unit: the unit has no unit system") on it.
class Unit : boost::equality_comparable<Unit> {
 public:
  Unit();
  Unit(std::shared_ptr<UnitSystem> system, const units::exponent_vec_t& exponents);

  std::shared_ptr<UnitSystem> system() const { return system_; }
  const units::exponent_vec_t& unit_exp() const { return exponents_; }

  // True when the exponents are exactly those of the dimension in this
  // unit's base units. There is no angle predicate.
  bool is_length() const;
  bool is_mass() const;
  bool is_force() const;
  bool is_time() const;
  bool is_temperature() const;
  bool is_currency() const;
  bool is_dimensionless() const;

  // Every exponent times n, same system (16-bit wrap-around).
  Unit pow(short n) const;
  // Products and quotients live in this unit's system; the value of the
  // result is the factor that converting `other` into this system needs.
  Quantity operator*(const Unit& other) const;
  Quantity operator/(const Unit& other) const;
  Quantity operator*(double d) const;
  Quantity operator/(double d) const;

  // This unit expressed in `target`: value is the conversion factor, the
  // unit has the translated exponents in `target` (this unit itself when the
  // systems compare equal). NaN factors give NaN values, no error. Throws
  // assertion_error on a null system (this or target).
  Quantity convert_to(std::shared_ptr<UnitSystem> target) const;
  // The number a value in this unit is multiplied by to express it in
  // `other_`. Throws assertion_error
  // "Assertion 'q.unit() == other_' failed. units are not compatible: <this> <other>".
  double conversion_factor(const Unit& other_) const;

  // Equal when this / other is dimensionless with value exactly 1.0.
  bool operator==(const Unit& other) const;

  // Unit name -> exponent for every non-zero slot (a later slot of the same
  // name replaces an earlier one); empty for a dimensionless unit.
  units::unit_description_t description() const;

 private:
  static const units::exponent_vec_t& zero_exponents();
  const UnitSystem& checked_system() const;

  std::shared_ptr<UnitSystem> system_;
  units::exponent_vec_t exponents_;
};

Quantity operator*(const double& d, const Unit& u);
// Value d with u's exponents negated.
Quantity operator/(const double& d, const Unit& u);

// Compound name if the description is in units::compound_units(), else the
// terms "name", "name^n" or "name^(-n)" separated by blanks.
std::ostream& operator<<(std::ostream& os, const Unit& unit);

// The unit of dimension X in `system`: Unit(system, X_exp(system->base_units())).
// Throw assertion_error when `system` is null.
Unit length(std::shared_ptr<UnitSystem> system);
Unit mass(std::shared_ptr<UnitSystem> system);
Unit force(std::shared_ptr<UnitSystem> system);
Unit time(std::shared_ptr<UnitSystem> system);
Unit temperature(std::shared_ptr<UnitSystem> system);
Unit currency(std::shared_ptr<UnitSystem> system);
Unit angle(std::shared_ptr<UnitSystem> system);
Unit dimensionless(std::shared_ptr<UnitSystem> system);

// a.conversion_factor(b); throws as that does.
double conversion_factor(const Unit& a, const Unit& b);

// A value with a unit. Products and quotients of two quantities live in the
// left operand's system. Operations throw as the Unit operations they use.
class Quantity : boost::equality_comparable<Quantity>,
                 boost::multipliable<Quantity>,
                 boost::dividable<Quantity>,
                 boost::multipliable2<Quantity, double>,
                 boost::dividable2<Quantity, double> {
 public:
  Quantity(double value, const Unit& unit);

  double value() const { return value_; }
  Unit unit() const { return unit_; }

  Quantity& operator*=(const double& d);
  Quantity& operator/=(const double& d);
  Quantity& operator*=(const Quantity& other);
  Quantity& operator/=(const Quantity& other);
  // value^n (floating-point) with the unit raised to n.
  Quantity pow(short n) const;

  // This quantity in `target`. Relative (absolute false): temperatures are
  // differences. Absolute: a temperature reading through kelvin, offsets
  // included; throws assertion_error
  // "Assertion 'this->unit().is_temperature()' failed. Absolute conversion is only defined for
  // temperature units." for other units.
  Quantity convert_to(std::shared_ptr<UnitSystem> target, bool absolute) const;

  // Values exactly equal (so NaN never equals) and units equal.
  bool operator==(const Quantity& other) const;

 private:
  double value_;
  Unit unit_;
};

// The value with the stream's formatting, one blank, the unit's printed form.
std::ostream& operator<<(std::ostream& os, const Quantity& quantity);

// Unit symbols used in files ("m", "kg", "MPa", "C", ...) -> units. Filled
// while the library loads and never changed afterwards. It is a reference to
// units::detail::unit_symbol_table(): code that runs during the static
// initialisation of another translation unit must call that accessor instead,
// because this reference may not be bound yet at that time.
extern const std::unordered_map<std::string, Unit>& unit_symbol_map;

}  // namespace qorva_mat
