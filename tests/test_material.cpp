#include <gtest/gtest.h>

#include <algorithm>
#include <boost/make_shared.hpp>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

#include "qorva_mat/error.hpp"
#include "qorva_mat/log.hpp"
#include "qorva_mat/material.hpp"
#include "qorva_mat/property_factory.hpp"
#include "tests/log_capture.hpp"
#include "tests/what_of.hpp"

namespace {

using qorva_mat::Material;
using qorva_mat::PropertyFactory;
using qorva_mat::PropertySet;
using Type = Material::PropertyType;

using qorva_test::LogCapture;

std::shared_ptr<PropertySet> density(double rho) {
  auto set = PropertyFactory::create_density();
  set->set_const({rho});
  return set;
}

std::shared_ptr<PropertySet> named(const std::string& name, double value) {
  auto set = std::make_shared<PropertySet>(name, std::vector<std::string>{"v"});
  set->set_const({value});
  return set;
}

using qorva_test::what_of;

}  // namespace

TEST(MaterialPropertyType, NamesEveryTypeAndRejectsOthers) {
  std::string all;
  for (int t = 0; t < 20; ++t) all += Type::enum_str(Type::type(t)) + "|";
  EXPECT_EQ(all,
            "Density|Engineering Constants|Stress Limits|Strain Limits|Puck Constants|"
            "Thermal Expansion Coefficients|Woven Characterization|Woven Puck Constants 1|"
            "Woven Puck Constants 2|Woven Stress Limits 1|Woven Stress Limits 2|Tsai Wu Constants|"
            "Larc Constants|Tensile Yield Strength|Thermal Conductivity|Specific Heat|"
            "Fabric Fiber Angle|Isotropic Hardening|Hill Yield Criterion|"
            "Orientation Sensitivity Parameter|");
  for (int bad : {20, -1}) {
    try {
      Type::enum_str(Type::type(bad));
      FAIL() << "no exception for " << bad;
    } catch (const qorva_mat::assertion_error& e) {
      EXPECT_EQ(std::string(e.what()),
                "Assertion 'false' failed. Unknown type:" + std::to_string(bad));
    }
  }
}

TEST(Material, StartsWithTwentyEmptyIndexedSlotsThatSetsOfOneTypeShare) {
  Material m;
  EXPECT_EQ(m.property_vec_size(), 20u);
  for (std::size_t t = 0; t < 20; ++t) {
    const std::string name = Type::enum_str(Type::type(t));
    EXPECT_EQ(m.get_index(name), t);
    EXPECT_FALSE(m.is_property_set_active(name));
    EXPECT_FALSE(m.is_property_set_active(t));
  }
  m.add_property_set(PropertyFactory::create_orthotropic_elasticity());
  EXPECT_TRUE(m.is_property_set_active(Type::engineering_constants));
  EXPECT_EQ(m.at(Type::engineering_constants).get_string_property("Behavior"), "Orthotropic");
  m.add_property_set(PropertyFactory::create_isotropic_elasticity());
  EXPECT_EQ(m.at(std::size_t(1)).get_string_property("Behavior"), "Isotropic");
  EXPECT_EQ(m.property_vec_size(), 20u);
}

TEST(Material, ExtraNamesAppendSlotsThatDeletionEmptiesAndResettingDrops) {
  Material m;
  m.name("Steel");
  m.add_property_set(named("Creep Law", 1.0));
  EXPECT_EQ(m.property_vec_size(), 21u);
  EXPECT_EQ(m.get_index("Creep Law"), 20u);
  m.add_property_set(named("Creep Law", 2.0));
  EXPECT_EQ(m.property_vec_size(), 21u);
  EXPECT_EQ(m["Creep Law"].get_dependent_data().at(0).at(0), 2.0);
  m.add_property_set(named("Damage", 3.0));
  EXPECT_EQ(m.get_index("Damage"), 21u);

  m.delete_property_set("Creep Law");
  EXPECT_EQ(m.property_vec_size(), 22u);
  EXPECT_EQ(m.get_index("Creep Law"), 20u);
  EXPECT_FALSE(m.is_property_set_active("Creep Law"));
  EXPECT_TRUE(m.is_property_set_active("Damage"));
  EXPECT_EQ(what_of([&] { m.at("Creep Law"); }), "Creep Law is not available for material Steel.");
  EXPECT_EQ(what_of([&] { m.at(std::size_t(20)); }),
            "Property 20 is not available for material Steel.");
  EXPECT_EQ(what_of([&] { m.delete_property_set("Creep"); }),
            "Creep is not available for material Steel.");

  // Resetting to the base slots forgets the extra names; they are indexed afresh.
  m.add_property_set(density(1.0));
  m.base_settings_ctor();
  EXPECT_EQ(m.property_vec_size(), 20u);
  EXPECT_TRUE(m.is_property_set_active("Density"));
  m.add_property_set(named("Damage", 2.0));
  EXPECT_EQ(m.get_index("Damage"), 20u);
}

TEST(Material, AccessToMissingSetsRaisesWithTheMaterialName) {
  Material m;
  m.name("CFRP");
  const Material& cm = m;
  const std::string puck = "Property 4 is not available for material CFRP.";
  EXPECT_EQ(what_of([&] { m.at(Type::type(4)); }), puck);
  EXPECT_EQ(what_of([&] { cm[Type::puck_constants]; }), puck);
  EXPECT_EQ(what_of([&] { m[std::size_t(4)]; }), puck);
  EXPECT_EQ(what_of([&] { m["Puck Constants"]; }),
            "Puck Constants is not available for material CFRP.");
  EXPECT_EQ(what_of([&] { cm.at("Nothing"); }), "Nothing is not available for material CFRP.");
}

TEST(Material, BoundsCheckedLookupsRaiseOutOfRange) {
  Material m;
  m.add_property_set(named("Creep Law", 1.0));
  EXPECT_EQ(what_of<std::out_of_range>([&] { m.get_index("density"); }), "invalid map<K, T> key");
  EXPECT_EQ(what_of<std::out_of_range>([&] { m.is_property_set_active(std::size_t(25)); }),
            "invalid vector<T> subscript");
  EXPECT_EQ(what_of<std::out_of_range>([&] { m.get_string_property("Ply Type"); }),
            "invalid unordered_map<K, T> key");
  EXPECT_TRUE(m.is_property_set_active(std::size_t(20)));
  EXPECT_FALSE(m.is_property_set_active("unknown name"));
}

TEST(Material, SharesTheSetsHandedToIt) {
  Material m;
  auto set = density(1000);
  m.add_property_set(set);
  set->set_const({2700});
  EXPECT_EQ(m.at("Density").get_dependent_data().at(0).at(0), 2700);
  m.at(Type::density).set_const({8900});
  EXPECT_EQ(set->get_dependent_data().at(0).at(0), 8900);
  m.delete_property_set("Density");
  EXPECT_EQ(set.use_count(), 1);
}

TEST(Material, CopiesAreDeep) {
  Material source;
  source.name("Al");
  source.set_string_property("Ply Type", "isotropic");
  source.add_property_set(density(2700));
  source.add_property_set(named("Creep Law", 1.0));
  Material copy(source);
  EXPECT_EQ(copy.name(), "Al");
  EXPECT_EQ(copy.get_index("Creep Law"), 20u);
  EXPECT_FALSE(copy.is_property_set_active(Type::puck_constants));
  copy.at("Density").set_const({1.0});
  copy.at("Density").set_string_property("Behavior", "changed");
  copy.set_string_property("Ply Type", "woven");
  EXPECT_EQ(source.at("Density").get_dependent_data().at(0).at(0), 2700);
  EXPECT_FALSE(source.at("Density").has_string_property("Behavior"));
  EXPECT_EQ(source.get_string_property("Ply Type"), "isotropic");

  Material assigned;
  assigned = source;
  assigned.at(std::size_t(20)).set_const({5.0});
  EXPECT_EQ(source.at(std::size_t(20)).get_dependent_data().at(0).at(0), 1.0);
}

TEST(Material, UpdateReadiesEverySetAndStopsAtAnEngineError) {
  Material empty;
  EXPECT_NO_THROW(empty.update());

  Material m;
  auto good = density(7850);
  auto bad = std::make_shared<PropertySet>("Specific Heat", std::vector<std::string>{"cp"});
  // Two temperatures but three values: the engine refuses to initialise this.
  bad->set({"Temperature"}, {{20}, {100}}, {}, {}, {{450}, {460}, {470}},
           qorva_gil::AlgorithmTypeEnum::enum_str(5), false, false, false);
  auto later = named("Creep Law", 1.0);
  m.add_property_set(good);
  m.add_property_set(bad);
  m.add_property_set(later);
  const std::string text = what_of([&] { m.update(); });
  EXPECT_EQ(text.rfind("GIL-error:\n", 0), 0u) << text;
  EXPECT_TRUE(good->is_set_and_ready());
  EXPECT_FALSE(later->is_set_and_ready());

  m.delete_property_set("Specific Heat");
  m.update();
  EXPECT_TRUE(later->is_set_and_ready());
  EXPECT_DOUBLE_EQ(m.at("Density").py_query("rho"), 7850);
}

TEST(Material, PrintsItsNameAndEveryHeldSet) {
  Material m;
  m.name("Steel");
  auto rho = density(7850);
  auto extra = named("Creep Law", 1.0);
  m.add_property_set(extra);
  m.add_property_set(rho);
  EXPECT_EQ(m.property_vec_to_string(), rho->to_string() + "\n" + extra->to_string() + "\n");
  std::ostringstream os;
  os << m;
  EXPECT_EQ(os.str(), "Material(name=Steel" + m.property_vec_to_string() + ")");
}

TEST(Material, LogsAddingAndDeletingAtDebugSeverity) {
  LogCapture log;
  Material m;
  m.name("Steel");
  m.add_property_set(named("Creep Law", 1.0));
  m.add_property_set(density(1.0));
  m.delete_property_set("Creep Law");
  EXPECT_EQ(log.text(),
            "debug: Creep Law added in material Steel with index 20\n"
            "debug: Density added in material Steel with index 0\n"
            "debug: Creep Law deleted in material Steel\n");
}
