// The process-wide Matbook name tables: library -> file names, unit categories, algorithm names.
#include "qorva_mat/matbook_format.hpp"

#include <cstring>

#include "qorva_gil/interpolator.hpp"
#include "qorva_mat/detail/matbook_names.hpp"
#include "qorva_mat/error.hpp"
#include "qorva_mat/material.hpp"
#include "qorva_mat/property_factory.hpp"

namespace qorva_mat {
namespace detail {
namespace {

using names_t = std::vector<std::string>;
using PF = PropertyFactory;

// Pairs library names with file names by position; both lists must be equally long.
void add_pairs(matbook_string_umap_t& table, const names_t& library, const names_t& file) {
  QORVA_ASSERT(library.size() == file.size(),
               "matbook_format: name lists of different length in the name table.");
  for (std::size_t i = 0; i < library.size(); ++i) table.emplace(library[i], file[i]);
}

// The first `n` names of a catalogue list.
names_t head(const names_t& names, std::size_t n) {
  return names_t(names.begin(), names.begin() + n);
}

void add_kind_names(matbook_string_umap_t& t) {
  using PT = Material::PropertyType;
  names_t ply_types;
  for (int p : {0, 1, 2, 3, 4, 5, 7})
    ply_types.push_back(PF::PlyTypes::enum_str(PF::PlyTypes::type(p)));
  add_pairs(t, ply_types,
            {"Regular", "Woven", "Orthotropic Homogeneous Core", "Isotropic Homogeneous Core",
             "Honeycomb Core", "Isotropic", "Adhesive"});
  auto kind = [](PT::type p) { return PT::enum_str(p); };
  add_pairs(t,
            {kind(PT::density), kind(PT::engineering_constants), kind(PT::stress_limits),
             kind(PT::strain_limits), kind(PT::puck_constants), "Additional Puck Constants",
             "Fiber Angle", kind(PT::tsai_wu_constants), kind(PT::larc_constants),
             kind(PT::thermal_expansion_coefficients), "Ply Type", kind(PT::tensile_yield_strength),
             kind(PT::thermal_conductivity), kind(PT::specific_heat), kind(PT::fabric_fiber_angle),
             kind(PT::isotropic_hardening), kind(PT::hill_yield_criterion)},
            {"Density", "Elasticity", "Stress Limits", "Strain Limits", "Puck Constants",
             "Additional Puck Constants", "Fiber Angle", "Tsai-Wu Constants", "LaRc03/04 Constants",
             "Coefficient of Thermal Expansion", "Ply Type", "Tensile Yield Strength",
             "Thermal Conductivity", "Specific Heat", "Fabric Fiber Angle", "Isotropic Hardening",
             "Hill Yield Criterion"});
  add_pairs(t,
            {kind(PT::woven_characterization), kind(PT::woven_puck_constants_1),
             kind(PT::woven_puck_constants_2), kind(PT::woven_stress_limits_1),
             kind(PT::woven_stress_limits_2)},
            {"Orthotropic Elasticity", "Puck Constants", "Puck Constants", "Stress Limits",
             "Stress Limits"});
  add_pairs(t,
            {PUCK_CLASSIFICATION_IGNORED, PUCK_CLASSIFICATION_MATERIAL_SPECIFIC,
             PUCK_CLASSIFICATION_GLASS, PUCK_CLASSIFICATION_CARBON},
            {"-", "Material Specific", "Glass", "Carbon"});
}

void add_mechanical_names(matbook_string_umap_t& t) {
  add_pairs(t, PF::get_density_names(), {"Density"});
  add_pairs(t, PF::get_orthotropic_elasticity_names(),
            {"Young's Modulus X direction", "Young's Modulus Y direction",
             "Young's Modulus Z direction", "Shear Modulus XY", "Shear Modulus YZ",
             "Shear Modulus XZ", "Poisson's Ratio XY", "Poisson's Ratio XZ", "Poisson's Ratio YZ"});
  add_pairs(t, PF::get_isotropic_elasticity_names(), {"Young's Modulus", "Poisson's Ratio"});
  add_pairs(t, PF::get_anisotropic_elasticity_names(), PF::get_anisotropic_elasticity_names());
  add_pairs(t, anisotropic_column_names(), anisotropic_column_names());
  add_pairs(t, PF::get_orthotropic_strain_limit_names(), direction_names());
  add_pairs(t, PF::get_isotropic_strain_limit_names(), {"Von Mises "});
  add_pairs(t, PF::get_orthotropic_stress_limit_names(), direction_names());
  add_pairs(t, PF::get_tensile_yield_strength_names(), {"Tensile Yield Strength"});
}

void add_thermal_and_failure_names(matbook_string_umap_t& t) {
  add_pairs(t, PF::get_orthotropic_secant_thermal_expansion_coefficients_names(),
            {"Coefficient of Thermal Expansion X direction",
             "Coefficient of Thermal Expansion Y direction",
             "Coefficient of Thermal Expansion Z direction"});
  add_pairs(t, PF::get_isotropic_secant_thermal_expansion_coefficients_names(),
            {"Coefficient of Thermal Expansion"});
  // The instantaneous kinds share these variable names; touching them builds their lists.
  PF::get_orthotropic_instantaneous_thermal_expansion_coefficients_names();
  PF::get_isotropic_instantaneous_thermal_expansion_coefficients_names();
  add_pairs(t, {"Zero-Thermal-Strain Reference Temperature", "Material Property"},
            {"Zero-Thermal-Strain Reference Temperature", "Material Property"});
  add_pairs(t, PF::get_orthotropic_thermal_conductivity_names(),
            {"Thermal Conductivity X direction", "Thermal Conductivity Y direction",
             "Thermal Conductivity Z direction"});
  add_pairs(t, PF::get_isotropic_thermal_conductivity_names(), {"Thermal Conductivity"});
  add_pairs(t, PF::get_specific_heat_names(), {"Specific Heat"});
  add_pairs(t, PF::get_puck_names(),
            {"Tensile Inclination XZ", "Compressive Inclination XZ", "Tensile Inclination YZ",
             "Compressive Inclination YZ", "Degradation Parameter s", "Degradation Parameter M",
             "Interface Weakening Factor"});
  add_pairs(t, PF::get_tsai_wu_names(),
            {"Coupling Coefficient XY", "Coupling Coefficient XZ", "Coupling Coefficient YZ"});
  add_pairs(t, head(PF::get_larc_names(), 4),
            {"Fracture Angle Under Compression", "Fracture Toughness Ratio",
             "Longitudinal Friction Coefficient", "Transverse Friction Coefficient"});
}

void add_woven_and_plastic_names(matbook_string_umap_t& t) {
  const names_t set_names{"Young's Modulus X direction", "Young's Modulus Y direction",
                          "Shear Modulus XY", "Shear Modulus YZ", "Poisson's Ratio XY"};
  names_t woven{"Fiber Angle", "Fiber Angle"};
  woven.insert(woven.end(), set_names.begin(), set_names.end());
  woven.insert(woven.end(), set_names.begin(), set_names.end());
  add_pairs(t, PF::get_woven_characterization_names(), woven);
  add_pairs(t, PF::get_fabric_fiber_angle_names(), {"Fabric Fiber Angle"});
  add_pairs(t, PF::get_voce_isotropic_hardening_names(),
            {"Initial Yield Stress", "Linear Coefficient", "Exponential Coefficient",
             "Exponential Saturation Parameter"});
  add_pairs(t, PF::get_multilinear_isotropic_hardening_names(), {"Stress"});
  add_pairs(t, PF::get_hill_yield_criterion_names(),
            {"Yield stress ratio in X direction", "Yield stress ratio in Y direction",
             "Yield stress ratio in Z direction", "Yield stress ratio in XY direction",
             "Yield stress ratio in YZ direction", "Yield stress ratio in XZ direction"});
  add_pairs(t, {"Options Variable"}, {"Options Variable"});
  // No file name, but the list belongs to the catalogue that is complete after loading.
  PF::get_orientation_sensitivity_parameter_names();
}

matbook_string_umap_t build_plyx_2_matbook() {
  matbook_string_umap_t table;
  add_kind_names(table);
  add_mechanical_names(table);
  add_thermal_and_failure_names(table);
  add_woven_and_plastic_names(table);
  return table;
}

void add_category(matbook_string_umap_t& t, const names_t& keys, const std::string& category) {
  for (const auto& key : keys) t.emplace(key, category);
}

matbook_string_umap_t build_unit_categories() {
  matbook_string_umap_t t;
  const std::string stress = "stress";
  add_category(t, PF::get_multilinear_isotropic_hardening_names(), stress);
  add_category(t, head(PF::get_voce_isotropic_hardening_names(), 3), stress);
  const names_t& woven = PF::get_woven_characterization_names();
  for (std::size_t i : {2, 3, 4, 5, 7, 8, 9, 10}) t.emplace(woven[i], stress);
  add_category(t, PF::get_tensile_yield_strength_names(), stress);
  add_category(t, PF::get_orthotropic_stress_limit_names(), stress);
  add_category(t, PF::get_anisotropic_elasticity_names(), stress);
  add_category(t, head(PF::get_isotropic_elasticity_names(), 1), stress);
  add_category(t, head(PF::get_orthotropic_elasticity_names(), 6), stress);
  add_category(t, anisotropic_column_names(), stress);
  add_category(t, PF::get_specific_heat_names(), "specific heat");
  add_category(t, PF::get_isotropic_thermal_conductivity_names(), "thermal conductivity");
  add_category(t, PF::get_orthotropic_thermal_conductivity_names(), "thermal conductivity");
  add_category(t, PF::get_isotropic_secant_thermal_expansion_coefficients_names(),
               "thermal expansion");
  add_category(t, PF::get_orthotropic_secant_thermal_expansion_coefficients_names(),
               "thermal expansion");
  add_category(t, PF::get_density_names(), "density");
  add_category(t, {"Density"}, "density");
  add_category(t, {"Zero-Thermal-Strain Reference Temperature"}, "temperature");
  return t;
}

matbook_algorithm_bimap_t build_algorithm_names() {
  using A = qorva_gil::AlgorithmTypeEnum;
  matbook_algorithm_bimap_t table;
  using value_t = matbook_algorithm_bimap_t::value_type;
  table.insert(value_t("Linear Multivariate", A::enum_str(A::LINEAR_MULTIVARIATE)));
  table.insert(value_t("Nearest Neighbor", A::enum_str(A::NEAREST_NEIGHBOR)));
  table.insert(value_t("Radial Basis", A::enum_str(A::RADIAL_BASIS)));
  return table;
}

}  // namespace

const names_t& direction_names() {
  static const names_t names{"Tensile X direction",
                             "Compressive X direction",
                             "Tensile Y direction",
                             "Compressive Y direction",
                             "Tensile Z direction",
                             "Compressive Z direction",
                             "Shear XY",
                             "Shear XZ",
                             "Shear YZ"};
  return names;
}

const names_t& anisotropic_column_names() {
  static const names_t names{"D[*,1]", "D[*,2]", "D[*,3]", "D[*,4]", "D[*,5]", "D[*,6]"};
  return names;
}

const matbook_string_umap_t& plyx_2_matbook_table() {
  static const matbook_string_umap_t table = build_plyx_2_matbook();
  return table;
}

const matbook_string_umap_t& unit_category_table() {
  static const matbook_string_umap_t table = build_unit_categories();
  return table;
}

const matbook_algorithm_bimap_t& algorithm_name_table() {
  static const matbook_algorithm_bimap_t table = build_algorithm_names();
  return table;
}

double matbook_sentinel() {
  const std::uint64_t bits = 0x39B0000000000001ULL;
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

}  // namespace detail

// Bound while the library loads; binding them builds the tables (and the catalogue's lists).
const matbook_string_umap_t& Plyx_2_Matbook_string_umap = detail::plyx_2_matbook_table();
const matbook_string_umap_t& unit_map = detail::unit_category_table();
const matbook_algorithm_bimap_t& Matbook_algorithm_bimap = detail::algorithm_name_table();

}  // namespace qorva_mat
