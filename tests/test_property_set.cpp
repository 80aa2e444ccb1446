#include <gtest/gtest.h>

#include <boost/make_shared.hpp>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "qorva_mat/detail/gil_content.hpp"
#include "qorva_mat/error.hpp"
#include "qorva_mat/log.hpp"
#include "qorva_mat/property_set.hpp"
#include "qorva_mat/units.hpp"
#include "tests/log_capture.hpp"
#include "tests/what_of.hpp"

namespace {

using qorva_mat::PropertySet;
using table = std::vector<std::vector<double>>;

using qorva_test::LogCapture;

std::string linear_name() {
  return qorva_gil::AlgorithmTypeEnum::enum_str(qorva_gil::AlgorithmTypeEnum::LINEAR_MULTIVARIATE);
}

// Young's modulus of a resin falling quadratically with temperature: not linear, so a piecewise
// linear table differs from the function between its points.
double modulus(double t) { return 3500.0 - 0.05 * t * t; }
double poisson(double t) { return 0.35 + 1e-4 * t; }

const std::vector<double> kTemperatures{20.0, 80.0, 150.0};

// "E" and "nu" of the resin over three temperatures, given one vector per variable.
PropertySet resin_table() {
  PropertySet set("Engineering Constants", {"E", "nu"});
  std::vector<double> e, nu;
  for (double t : kTemperatures) {
    e.push_back(modulus(t));
    nu.push_back(poisson(t));
  }
  set.set({"Temperature"}, {kTemperatures}, {{20.0, 150.0}}, {20.0}, {e, nu}, linear_name(), false,
          false, true);
  return set;
}

std::pair<std::vector<std::string>, std::vector<double>> at_temperature(double t) {
  return {{"Temperature"}, {t}};
}

using qorva_test::what_of;

double blend(double (*f)(double), double a, double b, double t) {
  return f(a) + (t - a) / (b - a) * (f(b) - f(a));
}

}  // namespace

TEST(PropertySet, StartsLinearWithNamesButNoData) {
  const PropertySet set("Density", {"rho"});
  EXPECT_EQ(set.get_dependent_names(), std::vector<std::string>{"rho"});
  EXPECT_EQ(set.get_algorithm(), linear_name());
  EXPECT_FALSE(set.is_set() || set.is_set_and_ready() || set.is_chached() || set.is_normalized());
  EXPECT_EQ(what_of<std::out_of_range>([&] { set.get_string_property("Behavior"); }),
            "invalid unordered_map<K, T> key");
  const qorva_mat::GilOptions options;
  EXPECT_EQ(options.algorithm, linear_name());
  EXPECT_FALSE(options.is_normalized || options.is_cached || options.use_cgal_triangulation ||
               options.project_to_convex_hull);
}

TEST(PropertySet, TransposesVariableVectorsIntoRows) {
  PropertySet set("Stress Limits", {"Xt"});
  set.set({"T", "A"}, {{1, 2, 3}, {10, 20, 30}}, {}, {}, {{7, 8, 9}}, linear_name(), false, false,
          true);
  EXPECT_EQ(set.get_independent_data(), (table{{1, 10}, {2, 20}, {3, 30}}));
  EXPECT_EQ(set.get_dependent_data(), (table{{7}, {8}, {9}}));
  set.set({"T"}, {{1, 10}, {2, 20}}, {}, {}, {{5}, {6}}, linear_name(), false, false, false);
  EXPECT_EQ(set.get_independent_data(), (table{{1, 10}, {2, 20}}));
  set.set({}, {}, {}, {}, {{}}, linear_name(), false, false, true);
  EXPECT_TRUE(set.get_independent_data().empty() && set.get_dependent_data().empty());
  EXPECT_EQ(what_of<std::out_of_range>([&] {
              set.set({"T"}, {{1, 2}, {3}}, {}, {}, {{7, 8}}, linear_name(), false, false, true);
            }),
            "invalid vector<T> subscript");
}

TEST(PropertySet, UnknownAlgorithmRaisesAfterTheDataAreStored) {
  PropertySet set("Density", {"rho"});
  for (const std::string algorithm : {std::string(), linear_name() + " ", std::string("linear")}) {
    EXPECT_EQ(
        what_of<qorva_mat::runtime_error>([&] {
          set.set({"T"}, {{1}, {2}}, {{1, 2}}, {1.5}, {{3}, {4}}, algorithm, true, true, false);
        }),
        "Unknown algorithm: " + algorithm);
  }
  EXPECT_EQ(set.get_independent_names(), std::vector<std::string>{"T"});
  EXPECT_EQ(set.get_dependent_data(), (table{{3}, {4}}));
  EXPECT_EQ(set.get_defaults(), std::vector<double>{1.5});
  EXPECT_FALSE(set.is_chached() || set.is_normalized());

  const std::string nearest = qorva_gil::AlgorithmTypeEnum::enum_str(1);
  set.set({"T"}, {{1}, {2}}, {}, {}, {{3}, {4}}, nearest, false, true, false);
  EXPECT_EQ(set.get_algorithm(), nearest);
  EXPECT_TRUE(set.is_normalized());
  EXPECT_FALSE(set.is_chached());
}

TEST(PropertySet, SendsOnlyTheEngineOptionsThatAreOn) {
  PropertySet set("Density", {"rho"});
  set.set_algorithm_option("project_to_convex_hull", true);
  qorva_mat::GilOptions options;
  options.is_cached = true;
  set.set({"T"}, {{1}, {2}}, {}, {}, {{3}, {4}}, options, false);
  EXPECT_TRUE(set.get_algorithm_bool_option("project_to_convex_hull"));
  EXPECT_FALSE(set.get_algorithm_bool_option("use_cgal_triangulation"));
  EXPECT_TRUE(set.is_chached());
  options.use_cgal_triangulation = true;
  set.set({"T"}, {{1}, {2}}, {}, {}, {{3}, {4}}, options, false);
  EXPECT_TRUE(set.try_get_algorithm_bool_option("use_cgal_triangulation", false));
}

TEST(PropertySet, BuildsAConstantRowOneValueAtATime) {
  PropertySet set("Tsai Wu Constants", {"a", "b", "c"});
  EXPECT_EQ(what_of<qorva_mat::assertion_error>([&] { set.set_single_const_property("x", 1); }),
            "Assertion 'names_it != names.end()' failed. property_set: cannot set data for x. "
            "This property name does not exist.");
  EXPECT_EQ(set.get_dependent_data(), (table{{0, 0, 0}}));
  set.set_single_const_property("b", 7.0);
  EXPECT_EQ(set.get_dependent_data(), (table{{0, 7, 0}}));
  set.set_single_const_property("c", -2.5);
  set.set_single_const_property("b", 1.0);
  EXPECT_EQ(set.get_dependent_data(), (table{{0, 1, -2.5}}));
}

TEST(PropertySet, ConstantPropertyAnswersItsConstants) {
  PropertySet set("Engineering Constants", {"E", "nu"});
  set.set_const({70000.0, 0.33});
  set.update();
  EXPECT_TRUE(set.is_set_and_ready() && set.is_constant());
  EXPECT_DOUBLE_EQ(set.query("E"), 70000.0);
  std::vector<double> all;
  set.query(all);
  EXPECT_EQ(all, (std::vector<double>{70000.0, 0.33}));
  set.reset();
  EXPECT_FALSE(set.is_set());
  EXPECT_EQ(set.get_dependent_names(), (std::vector<std::string>{"E", "nu"}));
}

TEST(PropertySet, QueriesBetweenTablePointsReturnTheLinearBlendAndEngineErrorsRaise) {
  PropertySet set = resin_table();
  set.update();
  EXPECT_FALSE(set.is_constant());
  for (double t : {35.0, 80.0, 121.5}) {
    const double a = t <= 80.0 ? 20.0 : 80.0;
    const double b = t <= 80.0 ? 80.0 : 150.0;
    EXPECT_NEAR(set.query(at_temperature(t), "E"), blend(modulus, a, b, t), 1e-9) << t;
    std::vector<double> both;
    set.query(at_temperature(t), both);
    ASSERT_EQ(both.size(), 2u);
    EXPECT_NEAR(both[0], blend(modulus, a, b, t), 1e-9);
    EXPECT_NEAR(both[1], blend(poisson, a, b, t), 1e-12);
  }
  EXPECT_NEAR(set.query("E"), modulus(20.0), 1e-9);  // at the default temperature
  // The engine's own errors come back with its message.
  const std::string text =
      what_of<qorva_mat::runtime_error>([&] { set.query(at_temperature(50.0), "no such name"); });
  EXPECT_EQ(text.rfind("GIL-error:\n", 0), 0u) << text;
  EXPECT_GT(text.size(), std::string("GIL-error:\n").size());
}

TEST(PropertySet, PyQueryBeforeUpdateWarnsAndReturnsZero) {
  PropertySet set = resin_table();
  const std::string line =
      "warning: The material is of variable-type and is not uptodate. Update the material.\n";
  {
    LogCapture log;
    EXPECT_EQ(set.py_query(at_temperature(50.0), "E"), 0.0);
    EXPECT_EQ(set.py_query("E"), 0.0);
    EXPECT_EQ(log.text(), line + line);
  }
  set.update();
  LogCapture log;
  EXPECT_NEAR(set.py_query(at_temperature(50.0), "nu"), blend(poisson, 20, 80, 50), 1e-12);
  EXPECT_NEAR(set.py_query("E"), modulus(20.0), 1e-9);
  EXPECT_EQ(log.text(), "");
}

TEST(PropertySet, TryOptionFormsWarnInsteadOfRaising) {
  PropertySet set("Density", {"rho"});
  LogCapture log;
  EXPECT_NO_THROW(set.try_set_algorithm_option("no_such_option", true));
  EXPECT_TRUE(set.try_get_algorithm_bool_option("unknown_option", true));
  EXPECT_FALSE(set.try_get_algorithm_bool_option("unknown_option", false));
  EXPECT_EQ(log.text(),
            "warning: Could not set the algorithm option no_such_option\n"
            "warning: Could not get the algorithm option unknown_option\n"
            "warning: Could not get the algorithm option unknown_option\n");
  EXPECT_THROW(set.get_algorithm_bool_option("unknown_option"), qorva_mat::runtime_error);
}

TEST(PropertySet, PuckClassificationAcceptsOnlyItsFourExactValues) {
  PropertySet set("Puck Constants", {"s"});
  const std::string key = "PuckMaterialClassification";
  for (const char* value : {"ignored", "material-specific", "glass", "carbon"}) {
    set.set_string_property(key, value);
    EXPECT_EQ(set.get_string_property(key), value);
  }
  EXPECT_EQ(what_of<qorva_mat::runtime_error>([&] { set.set_string_property(key, "Carbon"); }),
            "property_set::set_string_property: Carbon not allowed for "
            "PuckMaterialClassification-type.");
  EXPECT_EQ(set.get_string_property(key), "carbon");
  set.set_string_property("Behavior", "Carbon");
  EXPECT_EQ(set.get_string_property("Behavior"), "Carbon");
}

TEST(PropertySet, ContentByFieldNamesEveryPartOfTheSetup) {
  PropertySet set("Engineering Constants", {"E", "nu"});
  set.set({"Temperature"}, {{20.0, 80.0}}, {{0.0, 100.0}}, {25.0}, {{3.0, 2.0}, {0.3, 0.4}},
          linear_name(), true, false, true);
  const qorva_mat::detail::GilContent content = qorva_mat::detail::gil_content(set);
  EXPECT_EQ(content.independent_names, std::vector<std::string>{"Temperature"});
  EXPECT_EQ(content.independent, (table{{20.0}, {80.0}}));
  EXPECT_EQ(content.ranges, (PropertySet::ranges_t{{0.0, 100.0}}));
  EXPECT_EQ(content.defaults, std::vector<double>{25.0});
  EXPECT_EQ(content.dependent_names, (std::vector<std::string>{"E", "nu"}));
  EXPECT_EQ(content.dependent, (table{{3.0, 0.3}, {2.0, 0.4}}));
  EXPECT_EQ(content.algorithm, linear_name());
  EXPECT_TRUE(content.cached);
  EXPECT_FALSE(content.normalized);
  EXPECT_TRUE(content.constants_match_names());
  EXPECT_FALSE(
      qorva_mat::detail::gil_content(PropertySet("Density", {"rho"})).constants_match_names());
}

TEST(PropertySet, CopiesAreIndependent) {
  PropertySet original = resin_table();
  original.set_string_property("Behavior", "Isotropic");
  const std::vector<qorva_mat::Unit> units{qorva_mat::length(qorva_mat::make_unit_system("SI"))};
  original.field_units(units);
  PropertySet copy(original);
  EXPECT_EQ(copy.field_units(), units);
  copy.set_const({1.0, 2.0});
  copy.set_string_property("Behavior", "Orthotropic");
  copy.field_units({});
  EXPECT_EQ(original.get_dependent_data().size(), 3u);
  EXPECT_EQ(original.get_string_property("Behavior"), "Isotropic");
  EXPECT_EQ(original.field_units(), units);

  PropertySet assigned("Density", {"rho"});
  assigned = original;
  assigned.update();
  EXPECT_TRUE(assigned.is_set_and_ready());
  EXPECT_FALSE(original.is_set_and_ready());
  const PropertySet& alias = assigned;
  assigned = alias;
  EXPECT_EQ(assigned.get_dependent_data(), original.get_dependent_data());
}

TEST(PropertySet, DumpsSetupAndDataInTheDocumentedLayout) {
  PropertySet set("Engineering Constants", {"E", "nu"});
  set.set({"Temperature"}, {{20}, {80.5}}, {{0, 200}}, {25}, {{3500, 0.35}, {3100, 0.36}},
          linear_name(), true, false, false);
  set.set_string_property("Behavior", "Isotropic");
  const std::string head =
      ">>> GIL-wrapper string-properties\n    -----------------------------\n\n"
      "    Behavior: Isotropic\n\n\n>>> GIL-setup:\n    ----------\n\n";
  const std::string tail =
      "\n    Options:\n    - Algorithm: " + linear_name() +
      "\n    - Caching: on\n    - Normalization: off\n\n"
      "    Data:\n    * Independent names, default, and range:\n"
      "      Temperature, 25, 0, 200\n\n    * Dependent names:\n      E\n      nu\n\n"
      "    * Independent data  ->  dependent data:\n"
      "      (20)  ->  (3500, 0.35)\n      (80.5)  ->  (3100, 0.36)\n\n>>> end-------\n";
  EXPECT_EQ(set.to_string(), head + "    GIL is not ready.\n" + tail);
  set.update();
  EXPECT_EQ(set.to_string(),
            head + "    GIL is ready with 1 independent and 2 dependent data dimensions.\n" + tail);
  std::ostringstream os;
  os << set;
  EXPECT_EQ(os.str(), set.to_string() + "\n");
  set.reset();
  EXPECT_EQ(what_of<std::out_of_range>([&] { set.to_string(); }), "invalid vector<T> subscript");
}

TEST(PropertySet, DumpOfAConstantHasNamesButNoDataLines) {
  PropertySet set("Density", {"rho"});
  set.set_const({7850});
  const std::string text = set.to_string();
  EXPECT_NE(text.find("    * Dependent names:\n      rho\n\n"
                      "    * Independent data  ->  dependent data:\n\n>>> end-------\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("7850"), std::string::npos);
}
