// Materials for the HDF5 store tests (every kind of property set the store holds) and deep comparisons of materials.
// The store operations under test are the library's; the tests use these to build input and check output.
#pragma once

#include <gtest/gtest.h>

#include <boost/tuple/tuple_comparison.hpp>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "qorva_mat/material.hpp"
#include "qorva_mat/property_set.hpp"
#include "qorva_mat/units.hpp"

namespace qorva_test {

using qorva_mat::GilOptions;
using qorva_mat::Material;
using qorva_mat::PropertySet;
using qorva_mat::Unit;

inline Unit unit(const std::string& system, std::array<std::int16_t, 6> e) {
  return Unit(qorva_mat::make_unit_system(system),
              qorva_mat::units::exponent_vec_t{{e[0], e[1], e[2], e[3], e[4], e[5]}});
}

inline std::shared_ptr<PropertySet> constant_set(const std::string& name,
                                                 const std::vector<std::string>& deps,
                                                 const std::vector<double>& values) {
  auto set = std::make_shared<PropertySet>(name, deps);
  set->set({}, {}, {}, {}, {values}, GilOptions(), false);
  return set;
}

// Elasticity over temperature: field units in three unit systems, options switched on.
inline std::shared_ptr<PropertySet> elasticity_over_temperature() {
  auto set =
      std::make_shared<PropertySet>("Engineering Constants", std::vector<std::string>{"E", "nu"});
  GilOptions options;
  options.is_cached = true;
  options.project_to_convex_hull = true;
  set->set({"Temperature"}, {{20.0}, {100.0}, {200.0}}, {{-50.0, 400.0}}, {22.0},
           {{210000.0, 0.3}, {200000.0, 0.31}, {190000.0, 0.32}}, options, false);
  set->set_string_property("Behavior", "Isotropic");
  set->field_units({unit("MKS", {0, 0, 0, 1, 0, 0}), unit("MPA", {-1, 1, -2, 0, 0, 0}),
                    unit("SI", {0, 0, 0, 0, 0, 0})});
  return set;
}

// Two independent variables, nearest-neighbour interpolation, force-based field unit system.
inline std::shared_ptr<PropertySet> strength_over_two_variables() {
  auto set = std::make_shared<PropertySet>("Stress Limits", std::vector<std::string>{"Xt"});
  GilOptions options;
  options.algorithm =
      qorva_gil::AlgorithmTypeEnum::enum_str(qorva_gil::AlgorithmTypeEnum::NEAREST_NEIGHBOR);
  options.is_normalized = true;
  options.use_cgal_triangulation = true;
  set->set({"Temperature", "Shear Angle"}, {{20.0, 0.0}, {20.0, 0.5}, {80.0, 0.0}, {80.0, 0.5}},
           {{0.0, 100.0}, {0.0, 1.0}}, {20.0, 0.0}, {{1500.0}, {1400.0}, {1300.0}, {1250.0}},
           options, false);
  set->field_units({unit("BIN", {0, 0, 0, 1, 0, 0}), unit("CGS", {0, 0, 0, 0, 0, 1}),
                    unit("BIN", {-2, 1, 0, 0, 0, 0})});
  return set;
}

inline std::shared_ptr<Material> sample_material() {
  auto material = std::make_shared<Material>();
  material->name("Steel S235");
  material->set_string_property("Ply Type", "isotropic");
  material->set_string_property("Source", "unit test");
  material->add_property_set(constant_set("Density", {"rho"}, {7850.0}));
  material->add_property_set(elasticity_over_temperature());
  material->add_property_set(strength_over_two_variables());
  material->add_property_set(constant_set("My Own Data", {"a", "b", "c"}, {1.0, -2.0, 3.5}));
  return material;
}

// Same keys with the same texts; `T` is a Material or a PropertySet.
template <class T>
void expect_same_string_properties(const T& expected, const T& actual) {
  ASSERT_EQ(actual.get_string_property_keys().size(), expected.get_string_property_keys().size());
  for (const std::string& key : expected.get_string_property_keys()) {
    EXPECT_EQ(actual.get_string_property(key), expected.get_string_property(key)) << key;
  }
}

inline void expect_same_property_set(const PropertySet& expected, const PropertySet& actual) {
  SCOPED_TRACE(expected.name());
  EXPECT_EQ(actual.name(), expected.name());
  expect_same_string_properties(expected, actual);
  // names, tables, ranges, defaults, algorithm and flags
  EXPECT_TRUE(actual.get_gil() == expected.get_gil());
  for (const char* option : {"project_to_convex_hull", "use_cgal_triangulation"}) {
    EXPECT_EQ(actual.get_algorithm_bool_option(option), expected.get_algorithm_bool_option(option))
        << option;
  }
  // Field units are only stored for sets with independent variables.
  const bool tabular = !expected.get_independent_names().empty();
  ASSERT_EQ(actual.field_units().size(), tabular ? expected.field_units().size() : 0u);
  for (std::size_t i = 0; i < actual.field_units().size(); ++i) {
    EXPECT_EQ(actual.field_units()[i].system()->zepl_type_str(),
              expected.field_units()[i].system()->zepl_type_str());
    EXPECT_EQ(actual.field_units()[i].unit_exp(), expected.field_units()[i].unit_exp());
  }
}

inline void expect_same_material(const Material& expected, const Material& actual) {
  EXPECT_EQ(actual.name(), expected.name());
  expect_same_string_properties(expected, actual);
  ASSERT_EQ(actual.property_vec_size(), expected.property_vec_size());
  for (std::size_t j = 0; j < expected.property_vec_size(); ++j) {
    ASSERT_EQ(actual.is_property_set_active(j), expected.is_property_set_active(j)) << "slot " << j;
    if (expected.is_property_set_active(j)) expect_same_property_set(expected.at(j), actual.at(j));
  }
}

// The same materials in the same order.
inline void expect_same_materials(const std::vector<std::shared_ptr<Material>>& expected,
                                  const std::vector<std::shared_ptr<Material>>& actual) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) expect_same_material(*expected[i], *actual[i]);
}

}  // namespace qorva_test
