#include "qorva_mat/property_factory.hpp"

#include <array>

#include "qorva_mat/error.hpp"

namespace qorva_mat {

namespace {

// "D[i,j]" for the lower triangle (i >= j) of the 6 x 6 matrix, column by column.
std::vector<std::string> anisotropic_names() {
  std::vector<std::string> names;
  for (int j = 1; j <= 6; ++j) {
    for (int i = j; i <= 6; ++i) {
      names.push_back("D[" + std::to_string(i) + "," + std::to_string(j) + "]");
    }
  }
  return names;
}

}  // namespace

std::string PropertyFactory::PlyTypes::enum_str(type t) {
  static const std::array<const char*, 8> texts{"regular",
                                                "woven",
                                                "orthotropic_homogeneous_core",
                                                "isotropic_homogeneous_core",
                                                "honeycomb_core",
                                                "isotropic",
                                                "undefined",
                                                "adhesive"};
  const long value = static_cast<long>(t);
  if (value < 0 || value >= static_cast<long>(texts.size())) return std::string();
  return texts[static_cast<std::size_t>(value)];
}

PropertyFactory& PropertyFactory::operator=(const PropertyFactory&) { return *this; }

// Each list is a function-local static: built once on first use, thread-safe, and independent of
// the order in which translation units are initialised.

const std::vector<std::string>& PropertyFactory::get_density_names() {
  static const std::vector<std::string> names{"rho"};
  return names;
}

const std::vector<std::string>& PropertyFactory::get_isotropic_elasticity_names() {
  static const std::vector<std::string> names{"E", "nu"};
  return names;
}

const std::vector<std::string>& PropertyFactory::get_orthotropic_elasticity_names() {
  static const std::vector<std::string> names{"E1",  "E2",   "E3",   "G12", "G23",
                                              "G31", "nu12", "nu13", "nu23"};
  return names;
}

const std::vector<std::string>& PropertyFactory::get_anisotropic_elasticity_names() {
  static const std::vector<std::string> names = anisotropic_names();
  return names;
}

const std::vector<std::string>& PropertyFactory::get_orthotropic_stress_limit_names() {
  static const std::vector<std::string> names{"Xt", "Xc",  "Yt",  "Yc", "Zt",
                                              "Zc", "Sxy", "Sxz", "Syz"};
  return names;
}

const std::vector<std::string>& PropertyFactory::get_orthotropic_strain_limit_names() {
  static const std::vector<std::string> names{"eXt", "eXc",  "eYt",  "eYc", "eZt",
                                              "eZc", "eSxy", "eSxz", "eSyz"};
  return names;
}

const std::vector<std::string>& PropertyFactory::get_isotropic_strain_limit_names() {
  static const std::vector<std::string> names{"effective_strain"};
  return names;
}

const std::vector<std::string>& PropertyFactory::get_puck_names() {
  static const std::vector<std::string> names{
      "p_21_pos", "p_21_neg", "p_22_pos", "p_22_neg", "s", "M", "interface_weakening_factor"};
  return names;
}

const std::vector<std::string>&
PropertyFactory::get_isotropic_instantaneous_thermal_expansion_coefficients_names() {
  static const std::vector<std::string> names{"a"};
  return names;
}

const std::vector<std::string>&
PropertyFactory::get_isotropic_secant_thermal_expansion_coefficients_names() {
  static const std::vector<std::string> names{"a"};
  return names;
}

const std::vector<std::string>&
PropertyFactory::get_orthotropic_instantaneous_thermal_expansion_coefficients_names() {
  static const std::vector<std::string> names{"aX", "aY", "aZ"};
  return names;
}

const std::vector<std::string>&
PropertyFactory::get_orthotropic_secant_thermal_expansion_coefficients_names() {
  static const std::vector<std::string> names{"aX", "aY", "aZ"};
  return names;
}

const std::vector<std::string>& PropertyFactory::get_woven_characterization_names() {
  static const std::vector<std::string> names{"orientation_1", "orientation_2", "E1_1",   "E2_1",
                                              "G12_1",         "G23_1",         "nu12_1", "E1_2",
                                              "E2_2",          "G12_2",         "G23_2",  "nu12_2"};
  return names;
}

const std::vector<std::string>& PropertyFactory::get_tsai_wu_names() {
  static const std::vector<std::string> names{"XY", "XZ", "YZ"};
  return names;
}

const std::vector<std::string>& PropertyFactory::get_larc_names() {
  static const std::vector<std::string> names{
      "fracture_angle_under_compression", "fracture_toughness_ratio", "fracture_toughness_mode_1",
      "fracture_toughness_mode_2", "thin_ply_thickness_limit"};
  return names;
}

const std::vector<std::string>& PropertyFactory::get_tensile_yield_strength_names() {
  static const std::vector<std::string> names{"effective_stress"};
  return names;
}

const std::vector<std::string>& PropertyFactory::get_isotropic_thermal_conductivity_names() {
  static const std::vector<std::string> names{"K"};
  return names;
}

const std::vector<std::string>& PropertyFactory::get_orthotropic_thermal_conductivity_names() {
  static const std::vector<std::string> names{"K1", "K2", "K3"};
  return names;
}

const std::vector<std::string>& PropertyFactory::get_specific_heat_names() {
  static const std::vector<std::string> names{"cp"};
  return names;
}

const std::vector<std::string>& PropertyFactory::get_fabric_fiber_angle_names() {
  static const std::vector<std::string> names{"phi"};
  return names;
}

const std::vector<std::string>& PropertyFactory::get_multilinear_isotropic_hardening_names() {
  static const std::vector<std::string> names{"stress"};
  return names;
}

const std::vector<std::string>& PropertyFactory::get_voce_isotropic_hardening_names() {
  static const std::vector<std::string> names{"sigma0", "R0", "Rinfty", "b"};
  return names;
}

const std::vector<std::string>& PropertyFactory::get_hill_yield_criterion_names() {
  static const std::vector<std::string> names{"R11", "R22", "R33", "R12", "R23", "R13"};
  return names;
}

const std::vector<std::string>& PropertyFactory::get_orientation_sensitivity_parameter_names() {
  static const std::vector<std::string> names{"k"};
  return names;
}

const std::vector<PropertyFactory::Kind>& PropertyFactory::kinds() {
  using PT = Material::PropertyType;
  using F = PropertyFactory;
  static const std::vector<Kind> table{
      {F::create_density, F::get_density_names, PT::density, ""},
      {F::create_isotropic_elasticity, F::get_isotropic_elasticity_names, PT::engineering_constants,
       "Behavior=Isotropic"},
      {F::create_orthotropic_elasticity, F::get_orthotropic_elasticity_names,
       PT::engineering_constants, "Behavior=Orthotropic"},
      {F::create_anisotropic_elasticity, F::get_anisotropic_elasticity_names,
       PT::engineering_constants, "Behavior=Anisotropic"},
      {F::create_orthotropic_stress_limits, F::get_orthotropic_stress_limit_names,
       PT::stress_limits, "Behavior=Orthotropic"},
      {F::create_isotropic_strain_limit, F::get_isotropic_strain_limit_names, PT::strain_limits,
       "Behavior=Isotropic"},
      {F::create_orthotropic_strain_limits, F::get_orthotropic_strain_limit_names,
       PT::strain_limits, "Behavior=Orthotropic"},
      {F::create_puck, F::get_puck_names, PT::puck_constants, ""},
      {F::create_isotropic_instantaneous_thermal_expansion_coefficients,
       F::get_isotropic_instantaneous_thermal_expansion_coefficients_names,
       PT::thermal_expansion_coefficients, "Behavior=Isotropic;Definition=Instantaneous"},
      {F::create_isotropic_secant_thermal_expansion_coefficients,
       F::get_isotropic_secant_thermal_expansion_coefficients_names,
       PT::thermal_expansion_coefficients, "Behavior=Isotropic;Definition=Secant"},
      {F::create_orthotropic_instantaneous_thermal_expansion_coefficients,
       F::get_orthotropic_instantaneous_thermal_expansion_coefficients_names,
       PT::thermal_expansion_coefficients, "Behavior=Orthotropic;Definition=Instantaneous"},
      {F::create_orthotropic_secant_thermal_expansion_coefficients,
       F::get_orthotropic_secant_thermal_expansion_coefficients_names,
       PT::thermal_expansion_coefficients, "Behavior=Orthotropic;Definition=Secant"},
      {F::create_woven_characterization, F::get_woven_characterization_names,
       PT::woven_characterization, "Behavior=Orthotropic"},
      {F::create_woven_puck_1, F::get_puck_names, PT::woven_puck_constants_1, ""},
      {F::create_woven_puck_2, F::get_puck_names, PT::woven_puck_constants_2, ""},
      {F::create_woven_stress_limits_1, F::get_orthotropic_stress_limit_names,
       PT::woven_stress_limits_1, "Behavior=Orthotropic"},
      {F::create_woven_stress_limits_2, F::get_orthotropic_stress_limit_names,
       PT::woven_stress_limits_2, "Behavior=Orthotropic"},
      {F::create_tsai_wu, F::get_tsai_wu_names, PT::tsai_wu_constants, ""},
      {F::create_larc, F::get_larc_names, PT::larc_constants, ""},
      {F::create_tensile_yield_strength, F::get_tensile_yield_strength_names,
       PT::tensile_yield_strength, ""},
      {F::create_isotropic_thermal_conductivity, F::get_isotropic_thermal_conductivity_names,
       PT::thermal_conductivity, "Behavior=Isotropic"},
      {F::create_orthotropic_thermal_conductivity, F::get_orthotropic_thermal_conductivity_names,
       PT::thermal_conductivity, "Behavior=Orthotropic"},
      {F::create_specific_heat, F::get_specific_heat_names, PT::specific_heat, ""},
      {F::create_fabric_fiber_angle, F::get_fabric_fiber_angle_names, PT::fabric_fiber_angle, ""},
      {F::create_multilinear_isotropic_hardening, F::get_multilinear_isotropic_hardening_names,
       PT::isotropic_hardening, "Definition=Multilinear"},
      {F::create_voce_isotropic_hardening, F::get_voce_isotropic_hardening_names,
       PT::isotropic_hardening, "Behavior=Voce Law;Definition=Nonlinear"},
      {F::create_hill_yield_criterion, F::get_hill_yield_criterion_names, PT::hill_yield_criterion,
       "Separated Hill Potentials for Plasticity and Creep=No"},
      {F::create_orientation_sensitivity_parameter, F::get_orientation_sensitivity_parameter_names,
       PT::orientation_sensitivity_parameter, ""},
  };
  return table;
}

namespace {

// A new empty set of `kind`: named after its type, with its names and string properties.
std::shared_ptr<PropertySet> make_set(const PropertyFactory::Kind& kind) {
  auto set =
      std::make_shared<PropertySet>(Material::PropertyType::enum_str(kind.type), kind.names());
  const std::string properties = kind.string_properties;
  std::size_t start = 0;
  while (start < properties.size()) {
    std::size_t end = properties.find(';', start);
    if (end == std::string::npos) end = properties.size();
    const std::string pair = properties.substr(start, end - start);
    const std::size_t equals = pair.find('=');
    set->set_string_property(pair.substr(0, equals), pair.substr(equals + 1));
    start = end + 1;
  }
  return set;
}

// The set of the kind whose create_* function is `create`.
std::shared_ptr<PropertySet> make_kind(std::shared_ptr<PropertySet> (*create)()) {
  for (const PropertyFactory::Kind& kind : PropertyFactory::kinds()) {
    if (kind.create == create) return make_set(kind);
  }
  QORVA_THROW("PropertyFactory: no kind for this create function.");  // every create_* has one
}

}  // namespace

std::shared_ptr<PropertySet> PropertyFactory::create_density() {
  return make_kind(&create_density);
}

std::shared_ptr<PropertySet> PropertyFactory::create_isotropic_elasticity() {
  return make_kind(&create_isotropic_elasticity);
}

std::shared_ptr<PropertySet> PropertyFactory::create_orthotropic_elasticity() {
  return make_kind(&create_orthotropic_elasticity);
}

std::shared_ptr<PropertySet> PropertyFactory::create_anisotropic_elasticity() {
  return make_kind(&create_anisotropic_elasticity);
}

std::shared_ptr<PropertySet> PropertyFactory::create_orthotropic_stress_limits() {
  return make_kind(&create_orthotropic_stress_limits);
}

std::shared_ptr<PropertySet> PropertyFactory::create_isotropic_strain_limit() {
  return make_kind(&create_isotropic_strain_limit);
}

std::shared_ptr<PropertySet> PropertyFactory::create_orthotropic_strain_limits() {
  return make_kind(&create_orthotropic_strain_limits);
}

std::shared_ptr<PropertySet> PropertyFactory::create_puck() { return make_kind(&create_puck); }

std::shared_ptr<PropertySet>
PropertyFactory::create_isotropic_instantaneous_thermal_expansion_coefficients() {
  return make_kind(&create_isotropic_instantaneous_thermal_expansion_coefficients);
}

std::shared_ptr<PropertySet>
PropertyFactory::create_isotropic_secant_thermal_expansion_coefficients() {
  return make_kind(&create_isotropic_secant_thermal_expansion_coefficients);
}

std::shared_ptr<PropertySet>
PropertyFactory::create_orthotropic_instantaneous_thermal_expansion_coefficients() {
  return make_kind(&create_orthotropic_instantaneous_thermal_expansion_coefficients);
}

std::shared_ptr<PropertySet>
PropertyFactory::create_orthotropic_secant_thermal_expansion_coefficients() {
  return make_kind(&create_orthotropic_secant_thermal_expansion_coefficients);
}

std::shared_ptr<PropertySet> PropertyFactory::create_woven_characterization() {
  return make_kind(&create_woven_characterization);
}

std::shared_ptr<PropertySet> PropertyFactory::create_woven_puck_1() {
  return make_kind(&create_woven_puck_1);
}

std::shared_ptr<PropertySet> PropertyFactory::create_woven_puck_2() {
  return make_kind(&create_woven_puck_2);
}

std::shared_ptr<PropertySet> PropertyFactory::create_woven_stress_limits_1() {
  return make_kind(&create_woven_stress_limits_1);
}

std::shared_ptr<PropertySet> PropertyFactory::create_woven_stress_limits_2() {
  return make_kind(&create_woven_stress_limits_2);
}

std::shared_ptr<PropertySet> PropertyFactory::create_tsai_wu() {
  return make_kind(&create_tsai_wu);
}

std::shared_ptr<PropertySet> PropertyFactory::create_larc() { return make_kind(&create_larc); }

std::shared_ptr<PropertySet> PropertyFactory::create_tensile_yield_strength() {
  return make_kind(&create_tensile_yield_strength);
}

std::shared_ptr<PropertySet> PropertyFactory::create_isotropic_thermal_conductivity() {
  return make_kind(&create_isotropic_thermal_conductivity);
}

std::shared_ptr<PropertySet> PropertyFactory::create_orthotropic_thermal_conductivity() {
  return make_kind(&create_orthotropic_thermal_conductivity);
}

std::shared_ptr<PropertySet> PropertyFactory::create_specific_heat() {
  return make_kind(&create_specific_heat);
}

std::shared_ptr<PropertySet> PropertyFactory::create_fabric_fiber_angle() {
  return make_kind(&create_fabric_fiber_angle);
}

std::shared_ptr<PropertySet> PropertyFactory::create_multilinear_isotropic_hardening() {
  return make_kind(&create_multilinear_isotropic_hardening);
}

std::shared_ptr<PropertySet> PropertyFactory::create_voce_isotropic_hardening() {
  return make_kind(&create_voce_isotropic_hardening);
}

std::shared_ptr<PropertySet> PropertyFactory::create_hill_yield_criterion() {
  return make_kind(&create_hill_yield_criterion);
}

std::shared_ptr<PropertySet> PropertyFactory::create_orientation_sensitivity_parameter() {
  return make_kind(&create_orientation_sensitivity_parameter);
}

// The by-value parameter is the public signature.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
std::shared_ptr<PropertySet> PropertyFactory::create_property_set(std::string name) {
  if (name == Material::PropertyType::enum_str(Material::PropertyType::density)) {
    return create_density();
  }
  QORVA_THROW("create_property_set: property " + name + " can not be construced.");
}

}  // namespace qorva_mat
