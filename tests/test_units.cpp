#include "qorva_mat/units.hpp"

#include "qorva_mat/error.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <iomanip>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

using namespace qorva_mat;
using units::exponent_vec_t;
using units::LENGTH_FORCE_TIME_TEMP_CUR;
using units::LENGTH_MASS_TIME_TEMP_CUR;

namespace {

exponent_vec_t ev(int l, int m, int t, int temp, int cur, int ang) {
  exponent_vec_t e = {{static_cast<std::int16_t>(l), static_cast<std::int16_t>(m),
                       static_cast<std::int16_t>(t), static_cast<std::int16_t>(temp),
                       static_cast<std::int16_t>(cur), static_cast<std::int16_t>(ang)}};
  return e;
}

template <class T>
std::string str(const T& value) {
  std::ostringstream os;
  os << value;
  return os.str();
}

// The text of the exception `f` throws as E, or "no exception".
template <class E, class F>
std::string error_text(F f) {
  try {
    f();
  } catch (const E& e) {
    return e.what();
  }
  return "no exception";
}

std::shared_ptr<UnitSystem> sys(UnitSystem::unit_system_type t) { return make_unit_system(t); }

const UnitSystem::unit_system_type kAllTypes[] = {UnitSystem::UNDEFINED, UnitSystem::SI,
                                                  UnitSystem::MKS,       UnitSystem::uMKS,
                                                  UnitSystem::CGS,       UnitSystem::MPA,
                                                  UnitSystem::BFT,       UnitSystem::BIN};

}  // namespace

// ------------------------------------------------------------ exponents

TEST(Exponents, BasicDimensionVectorsPerBaseUnitSet) {
  const auto M = LENGTH_MASS_TIME_TEMP_CUR;
  const auto F = LENGTH_FORCE_TIME_TEMP_CUR;
  EXPECT_EQ(exponent_vec_t::size(), 6u);
  EXPECT_EQ(units::mass_exp(M), ev(0, 1, 0, 0, 0, 0));
  EXPECT_EQ(units::mass_exp(F), ev(-1, 1, 2, 0, 0, 0));
  EXPECT_EQ(units::force_exp(M), ev(1, 1, -2, 0, 0, 0));
  EXPECT_EQ(units::force_exp(F), ev(0, 1, 0, 0, 0, 0));
  // Any value other than the mass-based set counts as force-based.
  const auto odd = static_cast<units::base_unit_type>(7);
  EXPECT_EQ(units::mass_exp(odd), ev(-1, 1, 2, 0, 0, 0));
  EXPECT_EQ(units::force_exp(odd), ev(0, 1, 0, 0, 0, 0));
  for (auto b : {M, F, odd}) {
    EXPECT_EQ(units::length_exp(b), ev(1, 0, 0, 0, 0, 0));
    EXPECT_EQ(units::time_exp(b), ev(0, 0, 1, 0, 0, 0));
    EXPECT_EQ(units::temperature_exp(b), ev(0, 0, 0, 1, 0, 0));
    EXPECT_EQ(units::currency_exp(b), ev(0, 0, 0, 0, 1, 0));
    EXPECT_EQ(units::angle_exp(b), ev(0, 0, 0, 0, 0, 1));
    EXPECT_EQ(units::dimensionless_exp(b), ev(0, 0, 0, 0, 0, 0));
  }
}

TEST(Exponents, TranslateBetweenMassAndForceSets) {
  using units::detail::translate;
  const auto M = LENGTH_MASS_TIME_TEMP_CUR;
  const auto F = LENGTH_FORCE_TIME_TEMP_CUR;
  EXPECT_EQ(translate(units::force_exp(M), M, F), units::force_exp(F));
  EXPECT_EQ(translate(units::mass_exp(F), F, M), units::mass_exp(M));
  EXPECT_EQ(translate(ev(-1, 1, -2, 0, 0, 0), M, F), ev(-2, 1, 0, 0, 0, 0));
  // Slots 3..5 pass through untouched.
  EXPECT_EQ(translate(ev(0, 2, 0, 3, -4, 5), M, F), ev(-2, 2, 4, 3, -4, 5));
}

TEST(Exponents, TranslateRoundTripsEveryVectorInARange) {
  using units::detail::translate;
  const auto M = LENGTH_MASS_TIME_TEMP_CUR;
  const auto F = LENGTH_FORCE_TIME_TEMP_CUR;
  for (int l = -3; l <= 3; ++l)
    for (int m = -3; m <= 3; ++m)
      for (int t = -3; t <= 3; ++t) {
        const exponent_vec_t e = ev(l, m, t, 1, -1, 2);
        const exponent_vec_t f = translate(e, M, F);
        EXPECT_EQ(f, ev(l - m, m, t + 2 * m, 1, -1, 2));
        EXPECT_EQ(translate(f, F, M), e);
        EXPECT_EQ(translate(translate(e, F, M), M, F), e);
      }
}

TEST(Exponents, TranslateWithEqualOrUnknownSets) {
  using units::detail::translate;
  const auto five = static_cast<units::base_unit_type>(5);
  const exponent_vec_t e = ev(1, 2, 3, 4, 5, 6);
  EXPECT_EQ(translate(e, five, five), e);
  EXPECT_EQ(error_text<assertion_error>([&] { translate(e, five, LENGTH_MASS_TIME_TEMP_CUR); }),
            "Assertion 'src == units::LENGTH_FORCE_TIME_TEMP_CUR' failed. unknown base units");
}

TEST(Exponents, IsEqualComparesAllSixSlots) {
  using units::detail::is_equal;
  EXPECT_TRUE(is_equal(ev(0, 0, 0, 0, 0, 0), ev(0, 0, 0, 0, 0, 0)));
  EXPECT_FALSE(is_equal(ev(1, 0, 0, 0, 0, 0), ev(1, 0, 0, 0, 0, 1)));
  EXPECT_FALSE(is_equal(ev(1, 0, 0, 0, 0, 0), ev(0, 0, 0, 0, 0, 0)));
}

TEST(CompoundUnits, HoldsTheTwelveNamesAndMatchesWholeDescriptions) {
  auto& table = units::compound_units();
  EXPECT_EQ(&table, &units::compound_units());
  EXPECT_EQ(table.size(), 12u);
  using D = units::unit_description_t;
  const std::vector<std::pair<D, std::string>> expected = {
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
  for (const auto& entry : expected) {
    const auto found = table.find(entry.first);
    ASSERT_NE(found, table.end()) << entry.second;
    EXPECT_EQ(found->second, entry.second);
  }
  EXPECT_EQ(table.count(D{{"kg", 1}, {"m", 1}}), 0u);
  EXPECT_EQ(table.count(D{{"kg", 1}, {"m", 1}, {"s", -1}}), 0u);
  units::unit_description_hash hash;
  EXPECT_EQ(hash(D{{"a", 1}, {"b", 2}}), hash(D{{"b", 2}, {"a", 1}}));
}

// ------------------------------------------------------------ unit systems

TEST(UnitSystem, PredefinedSystemsHaveTheTabulatedNamesFactorsAndOffsets) {
  struct Row {
    UnitSystem::unit_system_type type;
    const char* text;
    std::vector<std::string> names;
    std::vector<double> factors;
    double offset;
    units::base_unit_type base;
  };
  const double f59 = 5.0 / 9.0;
  const std::vector<Row> rows = {
      {UnitSystem::SI, "SI", {"m", "kg", "s", "K"}, {1, 1, 1, 1}, 0, LENGTH_MASS_TIME_TEMP_CUR},
      {UnitSystem::MKS, "MKS", {"m", "kg", "s", "C"}, {1, 1, 1, 1}, -273.15, LENGTH_MASS_TIME_TEMP_CUR},
      {UnitSystem::uMKS, "uMKS", {"um", "kg", "s", "C"}, {1e-6, 1, 1, 1}, -273.15, LENGTH_MASS_TIME_TEMP_CUR},
      {UnitSystem::CGS, "CGS", {"cm", "g", "s", "C"}, {0.01, 0.001, 1, 1}, -273.15, LENGTH_MASS_TIME_TEMP_CUR},
      {UnitSystem::MPA, "MPA", {"mm", "t", "s", "C"}, {0.001, 1000, 1, 1}, -273.15, LENGTH_MASS_TIME_TEMP_CUR},
      {UnitSystem::BFT, "BFT", {"ft", "slug", "s", "F"}, {0.3048, 14.5939029, 1, f59}, -459.67, LENGTH_MASS_TIME_TEMP_CUR},
      {UnitSystem::BIN, "BIN", {"in", "lbf", "s", "F"}, {0.0254, 4.44822162, 1, f59}, -459.67, LENGTH_FORCE_TIME_TEMP_CUR},
  };
  for (const Row& r : rows) {
    const UnitSystem s(r.type);
    SCOPED_TRACE(r.text);
    EXPECT_EQ(s.type(), r.type);
    EXPECT_EQ(s.zepl_type_str(), r.text);
    EXPECT_EQ(s.base_units(), r.base);
    for (std::size_t i = 0; i < 4; ++i) {
      EXPECT_EQ(s.unit_names()[i], r.names[i]);
      EXPECT_EQ(s.conversion_factors()[i], r.factors[i]);
    }
    EXPECT_EQ(s.currency_name(), "USD");
    EXPECT_EQ(s.unit_names()[5], "radian");
    EXPECT_EQ(s.currency_conv(), 1.0);
    EXPECT_EQ(s.temperature_offset(), r.offset);
  }
  EXPECT_EQ(UnitSystem(UnitSystem::BIN).temperature_conv(), 0.5555555555555556);
}

TEST(UnitSystem, PrintsEveryPredefinedSystem) {
  const char* expected[] = {
      "UnitSystem( length=[Length], mass=[Mass], time=[Time], force=[Length] [Mass] [Time]^(-2), "
      "temperature=[Temperature], currency=[Currency])",
      "UnitSystem( length=m, mass=kg, time=s, force=N, temperature=K, currency=USD)",
      "UnitSystem( length=m, mass=kg, time=s, force=N, temperature=C, currency=USD)",
      "UnitSystem( length=um, mass=kg, time=s, force=uN, temperature=C, currency=USD)",
      "UnitSystem( length=cm, mass=g, time=s, force=dyn, temperature=C, currency=USD)",
      "UnitSystem( length=mm, mass=t, time=s, force=N, temperature=C, currency=USD)",
      "UnitSystem( length=ft, mass=slug, time=s, force=lbf, temperature=F, currency=USD)",
      "UnitSystem( length=in, mass=in^(-1) lbf s^2, time=s, force=lbf, temperature=F, currency=USD)",
  };
  for (int t = 0; t < 8; ++t) EXPECT_EQ(str(*sys(kAllTypes[t])), expected[t]);
}

TEST(UnitSystem, DerivedMassAndForceFactors) {
  EXPECT_EQ(sys(UnitSystem::SI)->force_conv(), 1.0);
  EXPECT_DOUBLE_EQ(sys(UnitSystem::CGS)->force_conv(), 1e-05);
  EXPECT_DOUBLE_EQ(sys(UnitSystem::MPA)->force_conv(), 1.0);
  EXPECT_EQ(sys(UnitSystem::MPA)->mass_conv(), 1000.0);
  EXPECT_DOUBLE_EQ(sys(UnitSystem::BFT)->force_conv(), 0.3048 * 14.5939029);
  const auto bin = sys(UnitSystem::BIN);
  EXPECT_DOUBLE_EQ(bin->mass_conv(), 4.44822162 / 0.0254);
  EXPECT_NEAR(bin->mass_conv(), 175.127, 1e-3);
  EXPECT_EQ(bin->force_conv(), 4.44822162);
  EXPECT_TRUE(std::isnan(sys(UnitSystem::UNDEFINED)->force_conv()));
}

TEST(UnitSystem, UndefinedStartsWithPlaceholdersAndNaN) {
  const UnitSystem s;
  EXPECT_EQ(s.type(), UnitSystem::UNDEFINED);
  const UnitSystem::unit_names_t names = {
      {"[Length]", "[Mass]", "[Time]", "[Temperature]", "[Currency]", "radian"}};
  EXPECT_EQ(s.unit_names(), names);
  for (double f : s.conversion_factors()) EXPECT_TRUE(std::isnan(f));
  EXPECT_TRUE(std::isnan(s.temperature_offset()));
  EXPECT_EQ(s.base_units(), LENGTH_MASS_TIME_TEMP_CUR);
  EXPECT_EQ(s.mass_name(), "[Mass]");
}

TEST(UnitSystem, MakeByNameIsCaseInsensitiveAndReadsBackTypeNames) {
  for (const char* name : {"BIN", "bin", "bIn"}) {
    EXPECT_EQ(make_unit_system(name)->type(), UnitSystem::BIN);
  }
  EXPECT_EQ(make_unit_system("")->type(), UnitSystem::UNDEFINED);
  EXPECT_EQ(make_unit_system("Undefined")->type(), UnitSystem::UNDEFINED);
  for (auto t : kAllTypes) {
    EXPECT_EQ(make_unit_system(UnitSystem(t).zepl_type_str())->type(), t);
  }
  EXPECT_EQ(error_text<runtime_error>([] { make_unit_system("SI "); }),
            "unknown UnitSystem type ('SI ').");
  EXPECT_EQ(error_text<runtime_error>([] { make_unit_system("MiLe"); }),
            "unknown UnitSystem type ('MiLe').");
  // A plain runtime_error, without the assertion prefix.
  try {
    make_unit_system("x");
    ADD_FAILURE() << "no exception";
  } catch (const runtime_error& e) {
    EXPECT_EQ(dynamic_cast<const assertion_error*>(&e), nullptr);
  }
  EXPECT_NE(make_unit_system("si"), make_unit_system("si"));
}

TEST(UnitSystem, UnknownTypeValueBehavesUndefinedButRejectsSetters) {
  UnitSystem s(static_cast<UnitSystem::unit_system_type>(42));
  EXPECT_EQ(s.type(), 42);
  EXPECT_EQ(s.zepl_type_str(), "UNDEFINED");
  EXPECT_EQ(s.length_name(), "[Length]");
  EXPECT_TRUE(std::isnan(s.length_conv()));
  EXPECT_THROW(s.length_name("m"), assertion_error);
}

TEST(UnitSystem, SettersOnPredefinedSystemsThrowAndChangeNothing) {
  const std::string pre = "Assertion 'type__ == UNDEFINED' failed. ";
  const std::string conv = "cannot set conversion factor in predefined unit system";
  for (auto t : {UnitSystem::SI, UnitSystem::BIN}) {
    UnitSystem s(t);
    const UnitSystem before = s;
    const std::string printed = str(s);
    EXPECT_EQ(error_text<assertion_error>([&] { s.base_units(LENGTH_FORCE_TIME_TEMP_CUR); }),
              pre + "cannot set base units of predefined unit system");
    EXPECT_EQ(error_text<assertion_error>([&] { s.length_name("x"); }),
              pre + "cannot set length unit name of predefined unit system");
    EXPECT_EQ(error_text<assertion_error>([&] { s.mass_name("x"); }),
              pre + "cannot set mass unit name of predefined unit system");
    EXPECT_EQ(error_text<assertion_error>([&] { s.force_name("x"); }),
              pre + "cannot set force unit name of predefined unit system");
    EXPECT_EQ(error_text<assertion_error>([&] { s.time_name("x"); }),
              pre + "cannot set time unit name of predefined unit system");
    EXPECT_EQ(error_text<assertion_error>([&] { s.temperature_name("x"); }),
              pre + "cannot set temperature unit name of predefined unit system");
    EXPECT_EQ(error_text<assertion_error>([&] { s.temperature_offset(1); }),
              pre + "cannot set temperature offset of predefined unit system");
    EXPECT_EQ(error_text<assertion_error>([&] { s.currency_name("x"); }),
              pre + "cannot set currency unit name of predefined unit system");
    EXPECT_EQ(error_text<assertion_error>([&] { s.length_conv(2); }), pre + conv);
    EXPECT_EQ(error_text<assertion_error>([&] { s.mass_conv(2); }), pre + conv);
    EXPECT_EQ(error_text<assertion_error>([&] { s.force_conv(2); }), pre + conv);
    EXPECT_EQ(error_text<assertion_error>([&] { s.time_conv(2); }), pre + conv);
    EXPECT_EQ(error_text<assertion_error>([&] { s.temperature_conv(2); }), pre + conv);
    EXPECT_EQ(error_text<assertion_error>([&] { s.currency_conv(2); }), pre + conv);
    EXPECT_EQ(str(s), printed);
    EXPECT_EQ(s.conversion_factors(), before.conversion_factors());
    EXPECT_EQ(s.temperature_offset(), before.temperature_offset());
    EXPECT_EQ(s.base_units(), before.base_units());
  }
}

TEST(UnitSystem, SlotOneSettersFollowTheBaseUnits) {
  const std::string mass_based = "Assertion 'this->base_units() == units::LENGTH_MASS_TIME_TEMP_CUR' failed. ";
  const std::string force_based = "Assertion 'this->base_units() == units::LENGTH_FORCE_TIME_TEMP_CUR' failed. ";
  UnitSystem s;
  EXPECT_EQ(error_text<assertion_error>([&] { s.force_name("x"); }),
            force_based + "cannot set force unit name, force is not a base unit of this system");
  EXPECT_EQ(error_text<assertion_error>([&] { s.force_conv(2); }),
            force_based + "cannot set force unit conversion, force is not a base unit of this system");
  s.mass_name("kg");
  s.mass_conv(1);
  s.base_units(LENGTH_FORCE_TIME_TEMP_CUR);
  // Changing the base units leaves names and factors alone.
  EXPECT_EQ(s.unit_names()[1], "kg");
  EXPECT_EQ(s.conversion_factors()[1], 1.0);
  EXPECT_EQ(error_text<assertion_error>([&] { s.mass_name("x"); }),
            mass_based + "cannot set mass unit name, mass is not a base unit of this system");
  EXPECT_EQ(error_text<assertion_error>([&] { s.mass_conv(2); }),
            mass_based + "cannot set mass unit conversion, mass is not a base unit of this system");
  s.force_name("kip");
  s.force_conv(4448.22162);
  EXPECT_EQ(s.unit_names()[1], "kip");
  EXPECT_EQ(s.force_conv(), 4448.22162);
}

TEST(UnitSystem, CustomSystemStoresEverySetterAndConvertsLikeItsModel) {
  auto custom = make_unit_system(UnitSystem::UNDEFINED);
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
  EXPECT_EQ(custom->type(), UnitSystem::UNDEFINED);
  EXPECT_EQ(str(*custom),
            "UnitSystem( length=cm, mass=g, time=s, force=dyn, temperature=C, currency=EUR)");
  EXPECT_EQ(custom->currency_conv(), 1.1);
  const auto si = sys(UnitSystem::SI);
  EXPECT_DOUBLE_EQ(Quantity(3, force(custom)).convert_to(si, false).value(), 3e-5);
  EXPECT_DOUBLE_EQ(Quantity(2, currency(custom)).convert_to(si, false).value(), 2.2);
  EXPECT_NEAR(Quantity(20, temperature(custom)).convert_to(si, true).value(), 293.15, 1e-12);
}

TEST(UnitSystem, TypeReinitialisesTheWholeSystem) {
  UnitSystem s;
  s.length_name("furlong");
  s.length_conv(201.168);
  s.base_units(LENGTH_FORCE_TIME_TEMP_CUR);
  s.type(UnitSystem::SI);
  EXPECT_EQ(str(s), str(UnitSystem(UnitSystem::SI)));
  EXPECT_EQ(s.conversion_factors(), UnitSystem(UnitSystem::SI).conversion_factors());
  EXPECT_EQ(s.base_units(), LENGTH_MASS_TIME_TEMP_CUR);
  s.type(UnitSystem::UNDEFINED);
  EXPECT_EQ(s.length_name(), "[Length]");
  EXPECT_TRUE(std::isnan(s.length_conv()));
  EXPECT_TRUE(std::isnan(s.temperature_offset()));
  EXPECT_NO_THROW(s.length_name("m"));
}

TEST(UnitSystem, DefaultCurrencyIsCopiedAtInitialisation) {
  EXPECT_EQ(UnitSystem::get_default_currency(), "USD");
  const auto before = sys(UnitSystem::SI);
  UnitSystem::set_default_currency("EUR");
  const auto after = sys(UnitSystem::SI);
  UnitSystem::set_default_currency("USD");
  EXPECT_EQ(str(*after), "UnitSystem( length=m, mass=kg, time=s, force=N, temperature=K, currency=EUR)");
  EXPECT_EQ(before->currency_name(), "USD");
  EXPECT_EQ(sys(UnitSystem::UNDEFINED)->currency_name(), "[Currency]");
  EXPECT_FALSE(*before == *after);
}

TEST(UnitSystem, EqualityComparesBaseUnitsAndNamesOnly) {
  UnitSystem custom;
  custom.length_name("m");
  custom.mass_name("kg");
  custom.time_name("s");
  custom.temperature_name("C");
  custom.currency_name("USD");
  custom.length_conv(7);
  EXPECT_TRUE(custom == UnitSystem(UnitSystem::MKS));
  EXPECT_TRUE(UnitSystem(UnitSystem::SI) != UnitSystem(UnitSystem::MKS));
  custom.base_units(LENGTH_FORCE_TIME_TEMP_CUR);
  EXPECT_FALSE(custom == UnitSystem(UnitSystem::MKS));
  EXPECT_TRUE(UnitSystem() == UnitSystem());
}

// ------------------------------------------------------------ units

TEST(Unit, ProductsLiveInTheLeftSystemWithTheConversionFactor) {
  const auto si = sys(UnitSystem::SI);
  const auto cgs = sys(UnitSystem::CGS);
  const Quantity a = length(si) * length(si);
  EXPECT_EQ(a.value(), 1.0);
  EXPECT_EQ(a.unit().unit_exp(), ev(2, 0, 0, 0, 0, 0));
  const Quantity b = length(si) * length(cgs);
  EXPECT_DOUBLE_EQ(b.value(), 0.01);
  EXPECT_EQ(b.unit().system(), si);
  const Quantity c = length(cgs) * length(si);
  EXPECT_DOUBLE_EQ(c.value(), 100);
  EXPECT_EQ(c.unit().system(), cgs);
  EXPECT_EQ(str(c.unit()), "cm^2");
  const Quantity v = length(si) / time(si);
  EXPECT_EQ(str(v.unit()), "m s^(-1)");
  EXPECT_EQ(v.value(), 1.0);
  const Quantity d = length(si) / length(cgs);
  EXPECT_DOUBLE_EQ(d.value(), 100);
  EXPECT_TRUE(d.unit().is_dimensionless());
}

TEST(Unit, ScalarOperatorsKeepOrInvertTheUnit) {
  const auto si = sys(UnitSystem::SI);
  EXPECT_EQ((length(si) * 3.0).value(), 3.0);
  EXPECT_EQ((3.0 * length(si)).unit().unit_exp(), ev(1, 0, 0, 0, 0, 0));
  EXPECT_EQ((length(si) / 4.0).value(), 0.25);
  const Quantity inv = 2.0 / time(si);
  EXPECT_EQ(inv.value(), 2.0);
  EXPECT_EQ(inv.unit().unit_exp(), ev(0, 0, -1, 0, 0, 0));
  EXPECT_EQ(inv.unit().system(), si);
}

TEST(Unit, PowerMultipliesExponentsAndWrapsIn16Bits) {
  const auto si = sys(UnitSystem::SI);
  const Unit u = (force(si) / length(si)).unit();
  EXPECT_EQ(u.pow(3).unit_exp(), ev(0, 3, -6, 0, 0, 0));
  EXPECT_EQ(u.pow(0).unit_exp(), ev(0, 0, 0, 0, 0, 0));
  EXPECT_EQ(str(u.pow(0)), "");
  EXPECT_EQ(Unit(si, ev(30000, 0, 0, 0, 0, 0)).pow(2).unit_exp()[0], -5536);
  const Unit big(si, ev(32767, 0, 0, 0, 0, 0));
  EXPECT_EQ((big * length(si)).unit().unit_exp()[0], -32768);
}

TEST(Unit, PredicatesUseTheUnitsOwnBaseUnits) {
  const auto bin = sys(UnitSystem::BIN);
  const auto si = sys(UnitSystem::SI);
  EXPECT_TRUE(mass(bin).is_mass());
  EXPECT_EQ(mass(bin).unit_exp(), ev(-1, 1, 2, 0, 0, 0));
  EXPECT_TRUE(force(bin).is_force());
  EXPECT_FALSE(Unit(si, ev(-1, 1, 2, 0, 0, 0)).is_mass());
  EXPECT_TRUE(length(si).is_length());
  EXPECT_TRUE(time(si).is_time());
  EXPECT_TRUE(temperature(si).is_temperature());
  EXPECT_TRUE(currency(si).is_currency());
  EXPECT_TRUE(dimensionless(si).is_dimensionless());
  const Unit with_angle(si, ev(1, 0, 0, 0, 0, 1));
  EXPECT_FALSE(with_angle.is_length());
  const Unit rad = angle(si);
  EXPECT_EQ(str(rad), "radian");
  for (bool p : {rad.is_length(), rad.is_mass(), rad.is_force(), rad.is_time(),
                 rad.is_temperature(), rad.is_currency(), rad.is_dimensionless()}) {
    EXPECT_FALSE(p);
  }
  for (auto t : kAllTypes) {
    if (t == UnitSystem::SI) continue;
    const Quantity q = rad.convert_to(sys(t));
    EXPECT_EQ(q.value(), 1.0);
    EXPECT_EQ(q.unit().unit_exp(), ev(0, 0, 0, 0, 0, 1));
  }
}

TEST(Unit, ConvertsPressureAndForceBetweenSystems) {
  const auto si = sys(UnitSystem::SI);
  const auto mpa = sys(UnitSystem::MPA);
  const auto bin = sys(UnitSystem::BIN);
  const Quantity p = Unit(mpa, ev(-1, 1, -2, 0, 0, 0)).convert_to(si);
  EXPECT_DOUBLE_EQ(p.value(), 1e6);
  EXPECT_EQ(str(p.unit()), "Pa");
  const Quantity f = force(bin).convert_to(si);
  EXPECT_DOUBLE_EQ(f.value(), 4.44822162);
  EXPECT_EQ(f.unit().unit_exp(), ev(1, 1, -2, 0, 0, 0));
  EXPECT_EQ(str(f.unit()), "N");
  EXPECT_EQ(f.unit().system(), si);
  // Into a system that compares equal: factor 1, unit untouched.
  const Quantity same = length(si).convert_to(sys(UnitSystem::SI));
  EXPECT_EQ(same.value(), 1.0);
  EXPECT_EQ(same.unit().system(), si);
  const Unit psi = (force(bin) / length(bin).pow(2)).unit();
  EXPECT_EQ(str(psi), "psi");
  EXPECT_NEAR(psi.convert_to(si).value(), 6894.757, 1e-3);
  EXPECT_DOUBLE_EQ(psi.convert_to(si).value(), 4.44822162 / (0.0254 * 0.0254));
  EXPECT_DOUBLE_EQ(psi.convert_to(mpa).value(), 4.44822162 / (0.0254 * 0.0254) / 1e6);
}

TEST(Unit, ConversionFactorBetweenCompatibleUnitsOrThrows) {
  const auto si = sys(UnitSystem::SI);
  const auto bin = sys(UnitSystem::BIN);
  EXPECT_NEAR(conversion_factor(mass(bin), mass(si)), 175.127, 1e-3);
  EXPECT_DOUBLE_EQ(mass(si).conversion_factor(mass(bin)), 0.0254 / 4.44822162);
  EXPECT_DOUBLE_EQ(conversion_factor(length(sys(UnitSystem::CGS)), length(si)), 0.01);
  EXPECT_EQ(error_text<assertion_error>([&] { conversion_factor(length(si), time(si)); }),
            "Assertion 'q.unit() == other_' failed. units are not compatible: m s");
  EXPECT_EQ(error_text<assertion_error>([&] { conversion_factor(mass(bin), force(si)); }),
            "Assertion 'q.unit() == other_' failed. units are not compatible: in^(-1) lbf s^2 N");
}

TEST(Unit, EqualityAcrossSystems) {
  const auto si = sys(UnitSystem::SI);
  EXPECT_TRUE(length(si) == length(sys(UnitSystem::MKS)));
  EXPECT_TRUE(length(si) != length(sys(UnitSystem::CGS)));
  EXPECT_TRUE(length(si) != time(si));
  EXPECT_TRUE(force(sys(UnitSystem::MPA)) == force(si));
  EXPECT_TRUE(force(sys(UnitSystem::BIN)) != force(si));
}

TEST(Unit, DescriptionListsNonZeroSlotsByName) {
  const auto bin = sys(UnitSystem::BIN);
  const units::unit_description_t d = mass(bin).description();
  EXPECT_EQ(d, (units::unit_description_t{{"in", -1}, {"lbf", 1}, {"s", 2}}));
  EXPECT_TRUE(dimensionless(bin).description().empty());
  // Two slots with one name: the later slot wins.
  UnitSystem odd;
  odd.length_name("x");
  odd.time_name("x");
  const Unit u(std::make_shared<UnitSystem>(odd), ev(2, 0, -3, 0, 0, 0));
  EXPECT_EQ(u.description(), (units::unit_description_t{{"x", -3}}));
  EXPECT_EQ(str(u), "x^(-3)");
}

TEST(Unit, PrintsCompoundNamesOnlyForExactKeys) {
  const auto si = sys(UnitSystem::SI);
  EXPECT_EQ(str(force(si)), "N");
  EXPECT_EQ(str(Unit(si, ev(-1, 1, -2, 0, 0, 0))), "Pa");
  EXPECT_EQ(str(Unit(si, ev(2, 1, -3, 0, 0, 0))), "W");
  EXPECT_EQ(str(Unit(si, ev(-1, 1, -2, 0, 0, 1))), "kg m^(-1) radian s^(-2)");
  EXPECT_EQ(str(Unit(sys(UnitSystem::uMKS), ev(-1, 1, -2, 0, 0, 0))), "MPa");
  EXPECT_EQ(str(Unit(sys(UnitSystem::BFT), ev(3, 0, 0, -1, 1, 0))), "F^(-1) USD ft^3");
}

TEST(Unit, OperationsNeedASystem) {
  const Unit none;
  EXPECT_EQ(none.unit_exp(), ev(0, 0, 0, 0, 0, 0));
  EXPECT_EQ(none.system(), nullptr);
  const Unit copy = none;
  EXPECT_EQ(copy.system(), nullptr);
  EXPECT_THROW(str(none), assertion_error);
  EXPECT_THROW(none.is_length(), assertion_error);
  EXPECT_THROW(none * length(sys(UnitSystem::SI)), assertion_error);
  EXPECT_THROW(length(sys(UnitSystem::SI)).convert_to(nullptr), assertion_error);
  EXPECT_THROW(length(nullptr), assertion_error);
}

TEST(Unit, CustomSystemWithUnsetFactorsGivesNaNOnlyAcrossSystems) {
  const auto custom = sys(UnitSystem::UNDEFINED);
  const Quantity q = length(custom).convert_to(sys(UnitSystem::SI));
  EXPECT_TRUE(std::isnan(q.value()));
  const Quantity same = length(custom).convert_to(sys(UnitSystem::UNDEFINED));
  EXPECT_EQ(same.value(), 1.0);
  EXPECT_TRUE(std::isnan(Quantity(1, length(sys(UnitSystem::SI))).convert_to(custom, false).value()));
}

// ------------------------------------------------------------ quantities

TEST(Quantity, ArithmeticCombinesValuesAndUnitFactors) {
  const auto si = sys(UnitSystem::SI);
  const auto mpa = sys(UnitSystem::MPA);
  const Quantity a(2.0, length(si));
  const Quantity b(500.0, length(mpa));
  const Quantity area = a * b;
  EXPECT_DOUBLE_EQ(area.value(), 1.0);
  EXPECT_EQ(area.unit().unit_exp(), ev(2, 0, 0, 0, 0, 0));
  EXPECT_EQ(area.unit().system(), si);
  const Quantity ratio = a / b;
  EXPECT_DOUBLE_EQ(ratio.value(), 4.0);
  EXPECT_TRUE(ratio.unit().is_dimensionless());
  EXPECT_DOUBLE_EQ((b / a).value(), 0.25);
  EXPECT_EQ((a * 3.0).value(), 6.0);
  EXPECT_EQ((3.0 * a).value(), 6.0);
  EXPECT_EQ((a / 4.0).value(), 0.5);
  Quantity c = a;
  c *= 5.0;
  c /= 2.0;
  EXPECT_EQ(c.value(), 5.0);
  EXPECT_EQ(a.value(), 2.0);
  const Quantity cube = a.pow(3);
  EXPECT_EQ(cube.value(), 8.0);
  EXPECT_EQ(cube.unit().unit_exp(), ev(3, 0, 0, 0, 0, 0));
  EXPECT_EQ(a.pow(-1).value(), 0.5);
}

TEST(Quantity, ConvertsRelativelyAndAbsolutely) {
  const auto mks = sys(UnitSystem::MKS);
  const auto bin = sys(UnitSystem::BIN);
  const auto si = sys(UnitSystem::SI);
  const Quantity t(20.0, temperature(mks));
  const Quantity abs_f = t.convert_to(bin, true);
  EXPECT_NEAR(abs_f.value(), 68.0, 1e-12);
  EXPECT_EQ(str(abs_f.unit()), "F");
  EXPECT_EQ(abs_f.unit().system(), bin);
  const Quantity rel_f = t.convert_to(bin, false);
  EXPECT_NEAR(rel_f.value(), 36.0, 1e-12);
  EXPECT_EQ(str(rel_f.unit()), "F");
  EXPECT_NEAR(t.convert_to(si, true).value(), 293.15, 1e-12);
  EXPECT_NEAR(Quantity(-40, temperature(bin)).convert_to(mks, true).value(), -40.0, 1e-12);
  EXPECT_EQ(error_text<assertion_error>([&] { Quantity(1, length(si)).convert_to(bin, true); }),
            "Assertion 'this->unit().is_temperature()' failed. "
            "Absolute conversion is only defined for temperature units.");
  const Quantity psi(1.0, (force(bin) / length(bin).pow(2)).unit());
  const Quantity pa = psi.convert_to(si, false);
  EXPECT_NEAR(pa.value(), 6894.757, 1e-3);
  EXPECT_EQ(str(pa.unit()), "Pa");
  const Quantity rho(7850.0, (mass(si) / length(si).pow(3)).unit());
  EXPECT_DOUBLE_EQ(rho.convert_to(sys(UnitSystem::MPA), false).value(), 7.85e-9);
}

TEST(Quantity, EqualityNeedsEqualValuesAndUnits) {
  const auto si = sys(UnitSystem::SI);
  EXPECT_TRUE(Quantity(1, length(si)) == Quantity(1, length(sys(UnitSystem::MKS))));
  EXPECT_TRUE(Quantity(1000, length(sys(UnitSystem::MPA))) != Quantity(1, length(si)));
  EXPECT_TRUE(Quantity(1, length(si)) != Quantity(1, time(si)));
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_FALSE(Quantity(nan, length(si)) == Quantity(nan, length(si)));
}

TEST(Quantity, PrintsValueWithTheStreamFormatting) {
  const auto si = sys(UnitSystem::SI);
  EXPECT_EQ(str(Quantity(5, dimensionless(si))), "5 ");
  std::ostringstream os;
  os << std::fixed << std::setprecision(2) << 3.14159 << '|'
     << Quantity(3.14159, (length(si) / time(si)).unit());
  EXPECT_EQ(os.str(), "3.14|3.14 m s^(-1)");
  std::ostringstream sci;
  sci << std::scientific << std::setprecision(1) << Quantity(6894.757, force(si));
  EXPECT_EQ(sci.str(), "6.9e+03 N");
}

// ------------------------------------------------------------ symbol table

TEST(UnitSymbolMap, HoldsTheTwentyOneSymbols) {
  const auto& table = unit_symbol_map;
  EXPECT_EQ(&table, &units::detail::unit_symbol_table());
  const std::vector<std::pair<std::string, std::string>> printed = {
      {"m", "m"},       {"cm", "cm"}, {"mm", "mm"},       {"in", "in"},   {"ft", "ft"},
      {"um", "um"},     {"kg", "kg"}, {"g", "g"},         {"tonne", "t"}, {"lb", "in^(-1) lbf s^2"},
      {"slug", "slug"}, {"K", "K"},   {"C", "C"},         {"F", "F"},     {"s", "s"},
      {"N", "N"},       {"Pa", "Pa"}, {"MPa", "MPa"},     {"radian", "radian"},
      {"W", "W"},       {"J", "J"}};
  EXPECT_EQ(table.size(), printed.size());
  for (const auto& entry : printed) {
    const auto found = table.find(entry.first);
    ASSERT_NE(found, table.end()) << entry.first;
    EXPECT_EQ(str(found->second), entry.second) << entry.first;
  }
  EXPECT_EQ(table.at("MPa").system()->type(), UnitSystem::MPA);
  EXPECT_EQ(table.at("MPa").unit_exp(), ev(-1, 1, -2, 0, 0, 0));
  EXPECT_EQ(table.at("lb").system()->type(), UnitSystem::BIN);
  EXPECT_EQ(table.at("C").system()->type(), UnitSystem::MKS);
  EXPECT_EQ(table.at("F").system()->type(), UnitSystem::BIN);
  EXPECT_EQ(table.count("lbf"), 0u);
}

TEST(UnitSymbolMap, SymbolsConvertLikeTheirSystems) {
  const auto si = sys(UnitSystem::SI);
  const auto& table = unit_symbol_map;
  EXPECT_DOUBLE_EQ(table.at("MPa").convert_to(si).value(), 1e6);
  EXPECT_DOUBLE_EQ(conversion_factor(table.at("in"), table.at("m")), 0.0254);
  EXPECT_DOUBLE_EQ(conversion_factor(table.at("tonne"), table.at("kg")), 1000);
  EXPECT_NEAR(conversion_factor(table.at("lb"), table.at("kg")), 175.127, 1e-3);
  EXPECT_TRUE(table.at("N") == force(si));
  EXPECT_TRUE(table.at("J") == (force(si) * length(si)).unit());
  // A file symbol raised to a power, as the loader does.
  EXPECT_DOUBLE_EQ(table.at("mm").pow(-3).convert_to(si).value(), 1e9);
  EXPECT_NEAR(Quantity(100, table.at("C")).convert_to(si, true).value(), 373.15, 1e-12);
}
