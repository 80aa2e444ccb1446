#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <iomanip>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "qorva_mat/error.hpp"
#include "qorva_mat/units.hpp"
#include "tests/what_of.hpp"

using namespace qorva_mat;
using units::exponent_vec_t;
using units::LENGTH_FORCE_TIME_TEMP_CUR;
using units::LENGTH_MASS_TIME_TEMP_CUR;
using System = UnitSystem;
using qorva_test::what_of;

namespace {

exponent_vec_t ev(int l, int m, int t, int temp, int cur, int ang) {
  const int v[6] = {l, m, t, temp, cur, ang};
  exponent_vec_t e;
  for (int i = 0; i < 6; ++i) e[i] = static_cast<std::int16_t>(v[i]);
  return e;
}

template <class T>
std::string str(const T& value) {
  std::ostringstream os;
  os << value;
  return os.str();
}

std::shared_ptr<UnitSystem> sys(System::unit_system_type t) { return make_unit_system(t); }

const System::unit_system_type kAllTypes[] = {System::UNDEFINED, System::SI,  System::MKS,
                                              System::uMKS,      System::CGS, System::MPA,
                                              System::BFT,       System::BIN};
}  // namespace

TEST(Exponents, MassAndForceDependOnTheBaseUnitSet) {
  const auto M = LENGTH_MASS_TIME_TEMP_CUR, F = LENGTH_FORCE_TIME_TEMP_CUR;
  const auto odd = static_cast<units::base_unit_type>(7);  // counts as force-based
  EXPECT_EQ(units::mass_exp(M), ev(0, 1, 0, 0, 0, 0));
  EXPECT_EQ(units::force_exp(M), ev(1, 1, -2, 0, 0, 0));
  for (auto b : {F, odd}) {
    EXPECT_EQ(units::mass_exp(b), ev(-1, 1, 2, 0, 0, 0));
    EXPECT_EQ(units::force_exp(b), ev(0, 1, 0, 0, 0, 0));
  }
  EXPECT_EQ(units::angle_exp(odd), ev(0, 0, 0, 0, 0, 1));
}

TEST(Exponents, TranslateRoundTripsKeepsSlotsThreeToFiveAndRejectsUnknownSets) {
  using units::detail::translate;
  const auto M = LENGTH_MASS_TIME_TEMP_CUR, F = LENGTH_FORCE_TIME_TEMP_CUR;
  for (int l = -3; l <= 3; ++l)
    for (int m = -3; m <= 3; ++m)
      for (int t = -3; t <= 3; ++t) {
        const exponent_vec_t e = ev(l, m, t, 1, -1, 2);
        EXPECT_EQ(translate(e, M, F), ev(l - m, m, t + 2 * m, 1, -1, 2));
        EXPECT_EQ(translate(translate(e, M, F), F, M), e);
        EXPECT_EQ(translate(translate(e, F, M), M, F), e);
      }
  // Between unknown sets: only the identity.
  const auto five = static_cast<units::base_unit_type>(5);
  const exponent_vec_t e = ev(1, 2, 3, 4, 5, 6);
  EXPECT_EQ(translate(e, five, five), e);
  EXPECT_EQ(what_of<assertion_error>([&] { translate(e, five, M); }),
            "Assertion 'src == units::LENGTH_FORCE_TIME_TEMP_CUR' failed. unknown base units");
  EXPECT_TRUE(units::detail::is_equal(ev(0, 0, 0, 0, 0, 0), ev(0, 0, 0, 0, 0, 0)));
  EXPECT_FALSE(units::detail::is_equal(ev(1, 0, 0, 0, 0, 0), ev(1, 0, 0, 0, 0, 1)));
}

TEST(UnitSystem, PrintsEverySystemWithItsNames) {
  const char* expected[] = {
      "UnitSystem( length=[Length], mass=[Mass], time=[Time], force=[Length] [Mass] [Time]^(-2), "
      "temperature=[Temperature], currency=[Currency])",
      "UnitSystem( length=m, mass=kg, time=s, force=N, temperature=K, currency=USD)",
      "UnitSystem( length=m, mass=kg, time=s, force=N, temperature=C, currency=USD)",
      "UnitSystem( length=um, mass=kg, time=s, force=uN, temperature=C, currency=USD)",
      "UnitSystem( length=cm, mass=g, time=s, force=dyn, temperature=C, currency=USD)",
      "UnitSystem( length=mm, mass=t, time=s, force=N, temperature=C, currency=USD)",
      "UnitSystem( length=ft, mass=slug, time=s, force=lbf, temperature=F, currency=USD)",
      "UnitSystem( length=in, mass=in^(-1) lbf s^2, time=s, force=lbf, temperature=F, "
      "currency=USD)",
  };
  for (int t = 0; t < 8; ++t) {
    const auto s = sys(kAllTypes[t]);
    EXPECT_EQ(str(*s), expected[t]);
    EXPECT_EQ(s->unit_names()[5], "radian");
    EXPECT_EQ(make_unit_system(s->zepl_type_str())->type(), kAllTypes[t]);
  }
}

TEST(UnitSystem, PredefinedSystemsMeasureTheirPhysicalUnits) {
  // Per system SI..BIN: metres per length unit, newtons per force unit, and
  // the reading of the freezing point of water.
  const double metres[] = {1, 1, 1e-6, 0.01, 0.001, 0.3048, 0.0254};
  const double newtons[] = {1, 1, 1e-6, 1e-5, 1, 4.4482216, 4.44822162};
  const double freezing[] = {273.15, 0, 0, 0, 0, 32, 32};
  const auto si = sys(System::SI);
  for (int t = 1; t < 8; ++t) {
    const auto s = sys(kAllTypes[t]);
    EXPECT_DOUBLE_EQ(conversion_factor(length(s), length(si)), metres[t - 1]) << t;
    EXPECT_NEAR(s->force_conv() / newtons[t - 1], 1.0, 1e-7) << t;
    EXPECT_NEAR(Quantity(273.15, temperature(si)).convert_to(s, true).value(), freezing[t - 1],
                1e-12);
    EXPECT_EQ(s->base_units() == LENGTH_FORCE_TIME_TEMP_CUR, t == System::BIN);
  }
  const UnitSystem undefined;
  for (double f : undefined.conversion_factors()) EXPECT_TRUE(std::isnan(f));
  EXPECT_TRUE(std::isnan(undefined.temperature_offset()) && std::isnan(undefined.force_conv()));
}

TEST(UnitSystem, MakeByNameIgnoresCaseAndQuotesUnknownNames) {
  for (const char* name : {"BIN", "bin", "bIn"})
    EXPECT_EQ(make_unit_system(name)->type(), System::BIN);
  EXPECT_EQ(make_unit_system("")->type(), System::UNDEFINED);
  EXPECT_NE(make_unit_system("si"), make_unit_system("si"));
  // A plain runtime error, not an assertion; trailing blanks are not trimmed.
  for (const std::string name : {"SI ", "MiLe"}) {
    try {
      make_unit_system(name);
      ADD_FAILURE() << "no exception for " << name;
    } catch (const runtime_error& e) {
      EXPECT_EQ(e.what(), "unknown UnitSystem type ('" + name + "').");
      EXPECT_EQ(dynamic_cast<const assertion_error*>(&e), nullptr);
    }
  }
}

TEST(UnitSystem, SettersRejectPredefinedAndUnknownTypesAndChangeNothing) {
  using Setter = std::function<void(UnitSystem&)>;
  const std::vector<std::pair<Setter, std::string>> cases = {
      {[](UnitSystem& s) { s.base_units(LENGTH_FORCE_TIME_TEMP_CUR); }, "base units of"},
      {[](UnitSystem& s) { s.length_name("x"); }, "length unit name of"},
      {[](UnitSystem& s) { s.mass_name("x"); }, "mass unit name of"},
      {[](UnitSystem& s) { s.force_name("x"); }, "force unit name of"},
      {[](UnitSystem& s) { s.time_name("x"); }, "time unit name of"},
      {[](UnitSystem& s) { s.temperature_name("x"); }, "temperature unit name of"},
      {[](UnitSystem& s) { s.temperature_offset(1); }, "temperature offset of"},
      {[](UnitSystem& s) { s.currency_name("x"); }, "currency unit name of"},
      {[](UnitSystem& s) { s.length_conv(2); }, "conversion factor in"},
      {[](UnitSystem& s) { s.mass_conv(2); }, "conversion factor in"},
      {[](UnitSystem& s) { s.force_conv(2); }, "conversion factor in"},
      {[](UnitSystem& s) { s.time_conv(2); }, "conversion factor in"},
      {[](UnitSystem& s) { s.temperature_conv(2); }, "conversion factor in"},
      {[](UnitSystem& s) { s.currency_conv(2); }, "conversion factor in"},
  };
  for (auto t : {System::SI, System::BIN, static_cast<System::unit_system_type>(42)}) {
    UnitSystem s(t);
    const std::string printed = str(s);
    const auto factors = s.conversion_factors();
    for (const auto& c : cases) {
      EXPECT_EQ(what_of<assertion_error>([&] { c.first(s); }),
                "Assertion 'type__ == UNDEFINED' failed. cannot set " + c.second +
                    " predefined unit system");
    }
    EXPECT_EQ(str(s), printed);
    EXPECT_EQ(s.conversion_factors() == factors, t != 42);  // NaN never compares equal
    EXPECT_EQ(s.type(), t);
  }
  EXPECT_EQ(UnitSystem(static_cast<System::unit_system_type>(42)).zepl_type_str(), "UNDEFINED");
}

TEST(UnitSystem, SlotOneSettersFollowTheBaseUnits) {
  const std::string mass_cond =
      "Assertion 'this->base_units() == units::LENGTH_MASS_TIME_TEMP_CUR' failed. ";
  const std::string force_cond =
      "Assertion 'this->base_units() == units::LENGTH_FORCE_TIME_TEMP_CUR' failed. ";
  UnitSystem s;
  EXPECT_EQ(what_of<assertion_error>([&] { s.force_name("x"); }),
            force_cond + "cannot set force unit name, force is not a base unit of this system");
  EXPECT_EQ(
      what_of<assertion_error>([&] { s.force_conv(2); }),
      force_cond + "cannot set force unit conversion, force is not a base unit of this system");
  s.mass_name("kg");
  s.mass_conv(1);
  s.base_units(LENGTH_FORCE_TIME_TEMP_CUR);  // leaves names and factors alone
  EXPECT_EQ(s.unit_names()[1], "kg");
  EXPECT_EQ(s.conversion_factors()[1], 1.0);
  EXPECT_EQ(what_of<assertion_error>([&] { s.mass_name("x"); }),
            mass_cond + "cannot set mass unit name, mass is not a base unit of this system");
  EXPECT_EQ(what_of<assertion_error>([&] { s.mass_conv(2); }),
            mass_cond + "cannot set mass unit conversion, mass is not a base unit of this system");
  s.force_name("kip");
  s.force_conv(4448.22162);
  EXPECT_EQ(s.force_conv(), 4448.22162);
}

TEST(UnitSystem, CustomSystemConvertsWithItsOwnFactorsAndComparesByNames) {
  auto custom = make_unit_system(System::UNDEFINED);
  custom->length_name("cm");
  custom->length_conv(0.01);
  custom->mass_name("g");
  custom->mass_conv(0.001);
  custom->time_name("s");
  custom->time_conv(1);
  custom->temperature_name("C");
  custom->temperature_conv(1);
  custom->temperature_offset(-273.15);
  custom->currency_name("EUR");
  custom->currency_conv(1.1);
  EXPECT_EQ(str(*custom),
            "UnitSystem( length=cm, mass=g, time=s, force=dyn, temperature=C, currency=EUR)");
  const auto si = sys(System::SI);
  EXPECT_DOUBLE_EQ(Quantity(3, force(custom)).convert_to(si, false).value(), 3e-5);
  EXPECT_DOUBLE_EQ(Quantity(2, currency(custom)).convert_to(si, false).value(), 2.2);
  EXPECT_NEAR(Quantity(20, temperature(custom)).convert_to(si, true).value(), 293.15, 1e-12);
  // Equality looks at names and base units only, not at type or factors.
  EXPECT_FALSE(*custom == *sys(System::CGS));
  custom->currency_name("USD");
  EXPECT_TRUE(*custom == *sys(System::CGS));
  EXPECT_TRUE(*sys(System::SI) != *sys(System::MKS));
  custom->base_units(LENGTH_FORCE_TIME_TEMP_CUR);
  EXPECT_FALSE(*custom == *sys(System::CGS));
  // Unset factors give NaN, except into a system that compares equal.
  const auto fresh = sys(System::UNDEFINED);
  EXPECT_TRUE(std::isnan(length(fresh).convert_to(si).value()));
  EXPECT_EQ(length(fresh).convert_to(sys(System::UNDEFINED)).value(), 1.0);
}

TEST(UnitSystem, TypeReinitialisesTheWholeSystem) {
  UnitSystem s;
  s.length_name("furlong");
  s.base_units(LENGTH_FORCE_TIME_TEMP_CUR);
  s.type(System::SI);
  EXPECT_EQ(str(s), str(UnitSystem(System::SI)));
  EXPECT_EQ(s.conversion_factors(), UnitSystem(System::SI).conversion_factors());
  s.type(System::UNDEFINED);
  EXPECT_EQ(s.length_name(), "[Length]");
  EXPECT_TRUE(std::isnan(s.length_conv()));
  EXPECT_NO_THROW(s.length_name("m"));
}

TEST(UnitSystem, DefaultCurrencyIsCopiedAtInitialisation) {
  const auto before = sys(System::SI);
  UnitSystem::set_default_currency("EUR");
  const auto after = sys(System::SI);
  UnitSystem::set_default_currency("USD");
  EXPECT_EQ(str(*after),
            "UnitSystem( length=m, mass=kg, time=s, force=N, temperature=K, currency=EUR)");
  EXPECT_EQ(before->currency_name(), "USD");
  EXPECT_EQ(UnitSystem::get_default_currency(), "USD");
}

TEST(Unit, ProductsLiveInTheLeftSystemWithTheConversionFactor) {
  const auto si = sys(System::SI), cgs = sys(System::CGS);
  const Quantity b = length(si) * length(cgs), c = length(cgs) * length(si);
  EXPECT_DOUBLE_EQ(b.value(), 0.01);
  EXPECT_EQ(b.unit().system(), si);
  EXPECT_DOUBLE_EQ(c.value(), 100);
  EXPECT_EQ(str(c.unit()), "cm^2");
  EXPECT_EQ(str((length(si) / time(si)).unit()), "m s^(-1)");
  EXPECT_DOUBLE_EQ((length(si) / length(cgs)).value(), 100);
  const Quantity inv = 2.0 / time(si);
  EXPECT_EQ(str(inv), "2 s^(-1)");
  EXPECT_EQ((force(si) / length(si)).unit().pow(3).unit_exp(), ev(0, 3, -6, 0, 0, 0));
  EXPECT_EQ(str(force(si).pow(0)), "");
  EXPECT_EQ(Unit(si, ev(30000, 0, 0, 0, 0, 0)).pow(2).unit_exp()[0], -5536);  // 16-bit wrap
}

TEST(Unit, PredicatesUseTheUnitsOwnBaseUnits) {
  const auto bin = sys(System::BIN), si = sys(System::SI);
  EXPECT_TRUE(mass(bin).is_mass() && force(bin).is_force() && length(si).is_length());
  EXPECT_TRUE(time(si).is_time() && temperature(si).is_temperature() && currency(si).is_currency());
  EXPECT_TRUE(dimensionless(si).is_dimensionless());
  EXPECT_FALSE(Unit(si, ev(-1, 1, 2, 0, 0, 0)).is_mass());
  const Unit rad = angle(si);
  EXPECT_EQ(str(rad), "radian");
  EXPECT_FALSE(rad.is_length() || rad.is_mass() || rad.is_force() || rad.is_time() ||
               rad.is_temperature() || rad.is_currency() || rad.is_dimensionless());
  for (auto t : kAllTypes) EXPECT_EQ(rad.convert_to(sys(t)).value(), 1.0);
}

TEST(Unit, ConvertsBetweenSystems) {
  const auto si = sys(System::SI), mpa = sys(System::MPA), bin = sys(System::BIN);
  const Quantity p = Unit(mpa, ev(-1, 1, -2, 0, 0, 0)).convert_to(si);
  EXPECT_DOUBLE_EQ(p.value(), 1e6);
  EXPECT_EQ(str(p.unit()), "Pa");
  const Quantity f = force(bin).convert_to(si);
  EXPECT_EQ(str(f), "4.44822 N");
  const Unit psi = (force(bin) / length(bin).pow(2)).unit();
  EXPECT_EQ(str(psi), "psi");
  EXPECT_DOUBLE_EQ(psi.convert_to(si).value(), 4.44822162 / (0.0254 * 0.0254));
  EXPECT_NEAR(conversion_factor(mass(bin), mass(si)), 175.127, 1e-3);
  EXPECT_EQ(what_of<assertion_error>([&] { conversion_factor(length(si), time(si)); }),
            "Assertion 'q.unit() == other_' failed. units are not compatible: m s");
  EXPECT_EQ(what_of<assertion_error>([&] { conversion_factor(mass(bin), force(si)); }),
            "Assertion 'q.unit() == other_' failed. units are not compatible: in^(-1) lbf s^2 N");
}

TEST(Unit, EqualityAndDescriptionAcrossSystems) {
  const auto si = sys(System::SI);
  EXPECT_TRUE(length(si) == length(sys(System::MKS)));
  EXPECT_TRUE(length(si) != length(sys(System::CGS)));
  EXPECT_TRUE(force(sys(System::MPA)) == force(si));
  EXPECT_EQ(mass(sys(System::BIN)).description(),
            (units::unit_description_t{{"in", -1}, {"lbf", 1}, {"s", 2}}));
  EXPECT_EQ(str(Unit(si, ev(-1, 1, -2, 0, 0, 1))), "kg m^(-1) radian s^(-2)");
  EXPECT_EQ(str(Unit(sys(System::uMKS), ev(-1, 1, -2, 0, 0, 0))), "MPa");
  EXPECT_EQ(str(Unit(si, ev(1, 1, 0, 0, 0, 0))), "kg m");  // compound names need whole keys
  auto odd = make_unit_system(System::UNDEFINED);
  odd->length_name("x");
  odd->time_name("x");  // the later slot of a repeated name wins
  EXPECT_EQ(str(Unit(odd, ev(2, 0, -3, 0, 0, 0))), "x^(-3)");
}

TEST(Unit, OperationsOnAUnitWithoutSystemThrow) {
  const Unit none;
  EXPECT_EQ(none.unit_exp(), ev(0, 0, 0, 0, 0, 0));
  EXPECT_THROW(str(none), assertion_error);
  EXPECT_THROW(none * length(sys(System::SI)), assertion_error);
  EXPECT_THROW(length(sys(System::SI)).convert_to(nullptr), assertion_error);
  EXPECT_THROW(length(nullptr), assertion_error);
}

TEST(Quantity, ArithmeticCombinesValuesAndUnitFactors) {
  const Quantity a(2.0, length(sys(System::SI))), b(500.0, length(sys(System::MPA)));
  EXPECT_DOUBLE_EQ((a * b).value(), 1.0);
  EXPECT_EQ(str(a * b), "1 m^2");
  EXPECT_DOUBLE_EQ((a / b).value(), 4.0);
  EXPECT_DOUBLE_EQ((b / a).value(), 0.25);
  EXPECT_EQ((3.0 * a / 4.0).value(), 1.5);
  EXPECT_EQ(str(a.pow(-1)), "0.5 m^(-1)");
}

TEST(Quantity, ConvertsTemperaturesAbsolutelyAndRelatively) {
  const auto mks = sys(System::MKS), bin = sys(System::BIN), si = sys(System::SI);
  const Quantity t(20.0, temperature(mks));
  EXPECT_NEAR(t.convert_to(bin, true).value(), 68.0, 1e-12);
  EXPECT_EQ(str(t.convert_to(bin, true).unit()), "F");
  EXPECT_NEAR(t.convert_to(bin, false).value(), 36.0, 1e-12);
  EXPECT_NEAR(t.convert_to(si, true).value(), 293.15, 1e-12);
  EXPECT_NEAR(Quantity(-40, temperature(bin)).convert_to(mks, true).value(), -40.0, 1e-12);
  EXPECT_EQ(what_of<assertion_error>([&] { Quantity(1, length(si)).convert_to(bin, true); }),
            "Assertion 'this->unit().is_temperature()' failed. "
            "Absolute conversion is only defined for temperature units.");
  const Quantity rho(7850.0, (mass(si) / length(si).pow(3)).unit());
  EXPECT_DOUBLE_EQ(rho.convert_to(sys(System::MPA), false).value(), 7.85e-9);
}

TEST(Quantity, EqualityAndPrintingWithTheStreamFormatting) {
  const auto si = sys(System::SI);
  EXPECT_TRUE(Quantity(1, length(si)) == Quantity(1, length(sys(System::MKS))));
  EXPECT_TRUE(Quantity(1000, length(sys(System::MPA))) != Quantity(1, length(si)));
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_FALSE(Quantity(nan, length(si)) == Quantity(nan, length(si)));
  EXPECT_EQ(str(Quantity(5, dimensionless(si))), "5 ");
  std::ostringstream os;
  os << std::fixed << std::setprecision(2) << Quantity(3.14159, (length(si) / time(si)).unit())
     << '|' << std::scientific << std::setprecision(1) << Quantity(6894.757, force(si));
  EXPECT_EQ(os.str(), "3.14 m s^(-1)|6.9e+03 N");
  std::ostringstream flags;  // integer flags change the value only, never the exponents
  flags << std::showpos << std::hex << Quantity(16, length(si).pow(-12)) << '|' << std::setw(8)
        << length(si).pow(2) << '|';
  EXPECT_EQ(flags.str(), "+16 m^(-12)|     m^2|");
}

TEST(UnitSymbolMap, HoldsTheTwentyOneSymbols) {
  const auto& table = unit_symbol_map;
  EXPECT_EQ(&table, &units::detail::unit_symbol_table());
  EXPECT_EQ(table.size(), 21u);
  std::string printed;
  for (const char* symbol :
       {"m", "cm", "mm", "in", "ft", "um", "kg",  "g",      "tonne", "lb", "slug",
        "K", "C",  "F",  "s",  "N",  "Pa", "MPa", "radian", "W",     "J"}) {
    printed += str(table.at(symbol)) + ",";
  }
  EXPECT_EQ(printed, "m,cm,mm,in,ft,um,kg,g,t,in^(-1) lbf s^2,slug,K,C,F,s,N,Pa,MPa,radian,W,J,");
  const auto si = sys(System::SI);
  EXPECT_DOUBLE_EQ(table.at("MPa").convert_to(si).value(), 1e6);
  EXPECT_DOUBLE_EQ(conversion_factor(table.at("in"), table.at("m")), 0.0254);
  EXPECT_TRUE(table.at("J") == (force(si) * length(si)).unit());
  EXPECT_DOUBLE_EQ(table.at("mm").pow(-3).convert_to(si).value(), 1e9);
}
