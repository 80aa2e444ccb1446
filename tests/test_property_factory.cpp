#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "qorva_mat/error.hpp"
#include "qorva_mat/property_factory.hpp"

namespace {

using qorva_mat::Material;
using qorva_mat::PropertyFactory;
using names_t = std::vector<std::string>;
using getter_t = const names_t& (*)();

// Read during this file's static initialisation, as the Matbook tables do.
const std::string kKeyAtStartup = qorva_mat::ORTHOTROPIC_MATERIAL_PUCK_CLASSIFICATION;
const std::string kCarbonAtStartup = qorva_mat::PUCK_CLASSIFICATION_CARBON;
const names_t kVoceNamesAtStartup = PropertyFactory::get_voce_isotropic_hardening_names();

// Set name, dependent names and string properties of every kind, in the catalogue's order.
struct Expected {
  const char* name;
  const char* names;
  const char* tags;
};

constexpr const char* kPuck = "p_21_pos,p_21_neg,p_22_pos,p_22_neg,s,M,interface_weakening_factor";
constexpr const char* kLimits = "Xt,Xc,Yt,Yc,Zt,Zc,Sxy,Sxz,Syz";
const Expected kExpected[] = {
    {"Density", "rho", ""},
    {"Engineering Constants", "E,nu", "Behavior=Isotropic"},
    {"Engineering Constants", "E1,E2,E3,G12,G23,G31,nu12,nu13,nu23", "Behavior=Orthotropic"},
    {"Engineering Constants",
     "D[1,1],D[2,1],D[3,1],D[4,1],D[5,1],D[6,1],D[2,2],D[3,2],D[4,2],D[5,2],D[6,2],D[3,3],D[4,3],"
     "D[5,3],D[6,3],D[4,4],D[5,4],D[6,4],D[5,5],D[6,5],D[6,6]",
     "Behavior=Anisotropic"},
    {"Stress Limits", kLimits, "Behavior=Orthotropic"},
    {"Strain Limits", "effective_strain", "Behavior=Isotropic"},
    {"Strain Limits", "eXt,eXc,eYt,eYc,eZt,eZc,eSxy,eSxz,eSyz", "Behavior=Orthotropic"},
    {"Puck Constants", kPuck, ""},
    {"Thermal Expansion Coefficients", "a", "Behavior=Isotropic;Definition=Instantaneous"},
    {"Thermal Expansion Coefficients", "a", "Behavior=Isotropic;Definition=Secant"},
    {"Thermal Expansion Coefficients", "aX,aY,aZ", "Behavior=Orthotropic;Definition=Instantaneous"},
    {"Thermal Expansion Coefficients", "aX,aY,aZ", "Behavior=Orthotropic;Definition=Secant"},
    {"Woven Characterization",
     "orientation_1,orientation_2,E1_1,E2_1,G12_1,G23_1,nu12_1,E1_2,E2_2,G12_2,G23_2,nu12_2",
     "Behavior=Orthotropic"},
    {"Woven Puck Constants 1", kPuck, ""},
    {"Woven Puck Constants 2", kPuck, ""},
    {"Woven Stress Limits 1", kLimits, "Behavior=Orthotropic"},
    {"Woven Stress Limits 2", kLimits, "Behavior=Orthotropic"},
    {"Tsai Wu Constants", "XY,XZ,YZ", ""},
    {"Larc Constants",
     "fracture_angle_under_compression,fracture_toughness_ratio,fracture_toughness_mode_1,"
     "fracture_toughness_mode_2,thin_ply_thickness_limit",
     ""},
    {"Tensile Yield Strength", "effective_stress", ""},
    {"Thermal Conductivity", "K", "Behavior=Isotropic"},
    {"Thermal Conductivity", "K1,K2,K3", "Behavior=Orthotropic"},
    {"Specific Heat", "cp", ""},
    {"Fabric Fiber Angle", "phi", ""},
    {"Isotropic Hardening", "stress", "Definition=Multilinear"},
    {"Isotropic Hardening", "sigma0,R0,Rinfty,b", "Behavior=Voce Law;Definition=Nonlinear"},
    {"Hill Yield Criterion", "R11,R22,R33,R12,R23,R13",
     "Separated Hill Potentials for Plasticity and Creep=No"},
    {"Orientation Sensitivity Parameter", "k", ""},
};

std::string joined(const names_t& names, char separator) {
  std::string text;
  for (const std::string& name : names)
    text += (text.empty() ? "" : std::string(1, separator)) + name;
  return text;
}

}  // namespace

TEST(PropertyFactory, ConcurrentFirstUseSeesOneCompleteListPerGetter) {
  // Nothing in this test calls a getter before the threads do; odd threads walk the getters
  // backwards so that first uses collide from both ends.
  std::vector<getter_t> getters;
  for (const PropertyFactory::Kind& kind : PropertyFactory::kinds()) getters.push_back(kind.names);
  constexpr int kThreads = 8;
  std::vector<std::vector<names_t>> copies(kThreads, std::vector<names_t>(getters.size()));
  std::vector<std::vector<const names_t*>> seen(kThreads,
                                                std::vector<const names_t*>(getters.size()));
  std::atomic<int> waiting{kThreads};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      waiting.fetch_sub(1);
      while (waiting.load() > 0) std::this_thread::yield();
      for (std::size_t i = 0; i < getters.size(); ++i) {
        const std::size_t g = t % 2 == 0 ? i : getters.size() - 1 - i;
        const names_t& names = getters[g]();
        seen[t][g] = &names;
        copies[t][g] = names;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (std::size_t g = 0; g < getters.size(); ++g) {
    for (int t = 0; t < kThreads; ++t) {
      EXPECT_EQ(seen[t][g], &getters[g]());
      EXPECT_EQ(copies[t][g], getters[g]());
    }
  }
}

TEST(PropertyFactory, CreatesEveryKindEmptyWithItsNameNamesAndTags) {
  const auto& kinds = PropertyFactory::kinds();
  ASSERT_EQ(kinds.size(), std::size(kExpected));
  for (std::size_t k = 0; k < kinds.size(); ++k) {
    const Expected& expected = kExpected[k];
    const auto set = kinds[k].create();
    EXPECT_EQ(set->name(), expected.name);
    EXPECT_EQ(joined(set->get_dependent_names(), ','), expected.names) << expected.name;
    EXPECT_EQ(kinds[k].names(), set->get_dependent_names()) << expected.name;
    auto keys = set->get_string_property_keys();
    std::sort(keys.begin(), keys.end());  // "Behavior" < "Definition"
    names_t tags;
    for (const std::string& key : keys) tags.push_back(key + "=" + set->get_string_property(key));
    EXPECT_EQ(joined(tags, ';'), expected.tags) << expected.name;
    EXPECT_FALSE(set->is_set()) << expected.name;
    EXPECT_TRUE(set->get_independent_names().empty() && set->field_units().empty());
    EXPECT_EQ(set->get_algorithm(), qorva_gil::AlgorithmTypeEnum::enum_str(5));
    EXPECT_NE(kinds[k].create(), set);
  }
  EXPECT_EQ(kVoceNamesAtStartup, PropertyFactory::get_voce_isotropic_hardening_names());
}

TEST(PropertyFactory, CreatesOnlyDensityByName) {
  EXPECT_EQ(PropertyFactory::create_property_set("Density")->get_dependent_names(), names_t{"rho"});
  for (const std::string name : {"density", "Engineering Constants", ""}) {
    try {
      PropertyFactory::create_property_set(name);
      FAIL() << "no exception for " << name;
    } catch (const qorva_mat::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()),
                "create_property_set: property " + name + " can not be construced.");
    }
  }
}

TEST(PropertyFactory, NamesPlyTypesAndNothingElse) {
  using P = PropertyFactory::PlyTypes;
  const names_t expected{"regular",
                         "woven",
                         "orthotropic_homogeneous_core",
                         "isotropic_homogeneous_core",
                         "honeycomb_core",
                         "isotropic",
                         "undefined",
                         "adhesive"};
  for (int t = 0; t < 8; ++t) EXPECT_EQ(P::enum_str(P::type(t)), expected[t]);
  EXPECT_EQ(P::enum_str(P::type(8)), "");
  EXPECT_EQ(P::enum_str(P::type(-1)), "");
}

TEST(PropertyFactory, PuckClassificationTextsAreUsableDuringStaticInitialisation) {
  EXPECT_EQ(kKeyAtStartup, "PuckMaterialClassification");
  EXPECT_EQ(kCarbonAtStartup, "carbon");
  EXPECT_EQ(qorva_mat::PUCK_CLASSIFICATION_GLASS, "glass");
  EXPECT_EQ(qorva_mat::PUCK_CLASSIFICATION_MATERIAL_SPECIFIC, "material-specific");
  EXPECT_EQ(qorva_mat::PUCK_CLASSIFICATION_IGNORED, "ignored");
}
