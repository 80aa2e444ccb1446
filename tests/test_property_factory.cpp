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

// One predefined kind: its factory, its names getter (if any), set name, dependent names and
// string properties, joined.
struct Kind {
  std::shared_ptr<qorva_mat::PropertySet> (*create)();
  getter_t getter;
  const char* name;
  const char* names;
  const char* tags;
};

using F = PropertyFactory;
constexpr const char* kPuck = "p_21_pos,p_21_neg,p_22_pos,p_22_neg,s,M,interface_weakening_factor";
constexpr const char* kLimits = "Xt,Xc,Yt,Yc,Zt,Zc,Sxy,Sxz,Syz";
const Kind kKinds[] = {
    {F::create_density, F::get_density_names, "Density", "rho", ""},
    {F::create_isotropic_elasticity, F::get_isotropic_elasticity_names, "Engineering Constants",
     "E,nu", "Behavior=Isotropic"},
    {F::create_orthotropic_elasticity, F::get_orthotropic_elasticity_names, "Engineering Constants",
     "E1,E2,E3,G12,G23,G31,nu12,nu13,nu23", "Behavior=Orthotropic"},
    {F::create_anisotropic_elasticity, F::get_anisotropic_elasticity_names, "Engineering Constants",
     "D[1,1],D[2,1],D[3,1],D[4,1],D[5,1],D[6,1],D[2,2],D[3,2],D[4,2],D[5,2],D[6,2],D[3,3],D[4,3],"
     "D[5,3],D[6,3],D[4,4],D[5,4],D[6,4],D[5,5],D[6,5],D[6,6]",
     "Behavior=Anisotropic"},
    {F::create_orthotropic_stress_limits, F::get_orthotropic_stress_limit_names, "Stress Limits",
     kLimits, "Behavior=Orthotropic"},
    {F::create_isotropic_strain_limit, F::get_isotropic_strain_limit_names, "Strain Limits",
     "effective_strain", "Behavior=Isotropic"},
    {F::create_orthotropic_strain_limits, F::get_orthotropic_strain_limit_names, "Strain Limits",
     "eXt,eXc,eYt,eYc,eZt,eZc,eSxy,eSxz,eSyz", "Behavior=Orthotropic"},
    {F::create_puck, F::get_puck_names, "Puck Constants", kPuck, ""},
    {F::create_isotropic_instantaneous_thermal_expansion_coefficients,
     F::get_isotropic_instantaneous_thermal_expansion_coefficients_names,
     "Thermal Expansion Coefficients", "a", "Behavior=Isotropic;Definition=Instantaneous"},
    {F::create_isotropic_secant_thermal_expansion_coefficients,
     F::get_isotropic_secant_thermal_expansion_coefficients_names, "Thermal Expansion Coefficients",
     "a", "Behavior=Isotropic;Definition=Secant"},
    {F::create_orthotropic_instantaneous_thermal_expansion_coefficients,
     F::get_orthotropic_instantaneous_thermal_expansion_coefficients_names,
     "Thermal Expansion Coefficients", "aX,aY,aZ", "Behavior=Orthotropic;Definition=Instantaneous"},
    {F::create_orthotropic_secant_thermal_expansion_coefficients,
     F::get_orthotropic_secant_thermal_expansion_coefficients_names,
     "Thermal Expansion Coefficients", "aX,aY,aZ", "Behavior=Orthotropic;Definition=Secant"},
    {F::create_woven_characterization, F::get_woven_characterization_names,
     "Woven Characterization",
     "orientation_1,orientation_2,E1_1,E2_1,G12_1,G23_1,nu12_1,E1_2,E2_2,G12_2,G23_2,nu12_2",
     "Behavior=Orthotropic"},
    {F::create_woven_puck_1, nullptr, "Woven Puck Constants 1", kPuck, ""},
    {F::create_woven_puck_2, nullptr, "Woven Puck Constants 2", kPuck, ""},
    {F::create_woven_stress_limits_1, nullptr, "Woven Stress Limits 1", kLimits,
     "Behavior=Orthotropic"},
    {F::create_woven_stress_limits_2, nullptr, "Woven Stress Limits 2", kLimits,
     "Behavior=Orthotropic"},
    {F::create_tsai_wu, F::get_tsai_wu_names, "Tsai Wu Constants", "XY,XZ,YZ", ""},
    {F::create_larc, F::get_larc_names, "Larc Constants",
     "fracture_angle_under_compression,fracture_toughness_ratio,fracture_toughness_mode_1,"
     "fracture_toughness_mode_2,thin_ply_thickness_limit",
     ""},
    {F::create_tensile_yield_strength, F::get_tensile_yield_strength_names,
     "Tensile Yield Strength", "effective_stress", ""},
    {F::create_isotropic_thermal_conductivity, F::get_isotropic_thermal_conductivity_names,
     "Thermal Conductivity", "K", "Behavior=Isotropic"},
    {F::create_orthotropic_thermal_conductivity, F::get_orthotropic_thermal_conductivity_names,
     "Thermal Conductivity", "K1,K2,K3", "Behavior=Orthotropic"},
    {F::create_specific_heat, F::get_specific_heat_names, "Specific Heat", "cp", ""},
    {F::create_fabric_fiber_angle, F::get_fabric_fiber_angle_names, "Fabric Fiber Angle", "phi",
     ""},
    {F::create_multilinear_isotropic_hardening, F::get_multilinear_isotropic_hardening_names,
     "Isotropic Hardening", "stress", "Definition=Multilinear"},
    {F::create_voce_isotropic_hardening, F::get_voce_isotropic_hardening_names,
     "Isotropic Hardening", "sigma0,R0,Rinfty,b", "Behavior=Voce Law;Definition=Nonlinear"},
    {F::create_hill_yield_criterion, F::get_hill_yield_criterion_names, "Hill Yield Criterion",
     "R11,R22,R33,R12,R23,R13", "Separated Hill Potentials for Plasticity and Creep=No"},
    {F::create_orientation_sensitivity_parameter, F::get_orientation_sensitivity_parameter_names,
     "Orientation Sensitivity Parameter", "k", ""}};

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
  for (const Kind& kind : kKinds)
    if (kind.getter) getters.push_back(kind.getter);
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
  for (const Kind& kind : kKinds) {
    const auto set = kind.create();
    EXPECT_EQ(set->name(), kind.name);
    EXPECT_EQ(joined(set->get_dependent_names(), ','), kind.names) << kind.name;
    if (kind.getter) EXPECT_EQ(kind.getter(), set->get_dependent_names()) << kind.name;
    auto keys = set->get_string_property_keys();
    std::sort(keys.begin(), keys.end());  // "Behavior" < "Definition"
    names_t tags;
    for (const std::string& key : keys) tags.push_back(key + "=" + set->get_string_property(key));
    EXPECT_EQ(joined(tags, ';'), kind.tags) << kind.name;
    EXPECT_FALSE(set->is_set()) << kind.name;
    EXPECT_TRUE(set->get_independent_names().empty() && set->field_units().empty());
    EXPECT_EQ(set->get_algorithm(), qorva_gil::AlgorithmTypeEnum::enum_str(5));
    EXPECT_NE(kind.create(), set);
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
