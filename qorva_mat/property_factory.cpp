#include "qorva_mat/property_factory.hpp"

#include <array>
#include <initializer_list>
#include <utility>

#include "qorva_mat/error.hpp"

namespace qorva_mat {

namespace {

using string_property = std::pair<const char*, const char*>;

// A new empty set of one property type with the given names and string properties, set in order.
std::shared_ptr<PropertySet> make_set(Material::PropertyType::type type,
                                      const std::vector<std::string>& names,
                                      std::initializer_list<string_property> properties = {}) {
  auto set = std::make_shared<PropertySet>(Material::PropertyType::enum_str(type), names);
  for (const string_property& property : properties) {
    set->set_string_property(property.first, property.second);
  }
  return set;
}

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

std::shared_ptr<PropertySet> PropertyFactory::create_density() {
  return make_set(Material::PropertyType::density, get_density_names());
}

std::shared_ptr<PropertySet> PropertyFactory::create_isotropic_elasticity() {
  return make_set(Material::PropertyType::engineering_constants, get_isotropic_elasticity_names(),
                  {{"Behavior", "Isotropic"}});
}

std::shared_ptr<PropertySet> PropertyFactory::create_orthotropic_elasticity() {
  return make_set(Material::PropertyType::engineering_constants, get_orthotropic_elasticity_names(),
                  {{"Behavior", "Orthotropic"}});
}

std::shared_ptr<PropertySet> PropertyFactory::create_anisotropic_elasticity() {
  return make_set(Material::PropertyType::engineering_constants, get_anisotropic_elasticity_names(),
                  {{"Behavior", "Anisotropic"}});
}

std::shared_ptr<PropertySet> PropertyFactory::create_orthotropic_stress_limits() {
  return make_set(Material::PropertyType::stress_limits, get_orthotropic_stress_limit_names(),
                  {{"Behavior", "Orthotropic"}});
}

std::shared_ptr<PropertySet> PropertyFactory::create_isotropic_strain_limit() {
  return make_set(Material::PropertyType::strain_limits, get_isotropic_strain_limit_names(),
                  {{"Behavior", "Isotropic"}});
}

std::shared_ptr<PropertySet> PropertyFactory::create_orthotropic_strain_limits() {
  return make_set(Material::PropertyType::strain_limits, get_orthotropic_strain_limit_names(),
                  {{"Behavior", "Orthotropic"}});
}

std::shared_ptr<PropertySet> PropertyFactory::create_puck() {
  return make_set(Material::PropertyType::puck_constants, get_puck_names());
}

std::shared_ptr<PropertySet>
PropertyFactory::create_isotropic_instantaneous_thermal_expansion_coefficients() {
  return make_set(Material::PropertyType::thermal_expansion_coefficients,
                  get_isotropic_instantaneous_thermal_expansion_coefficients_names(),
                  {{"Behavior", "Isotropic"}, {"Definition", "Instantaneous"}});
}

std::shared_ptr<PropertySet>
PropertyFactory::create_isotropic_secant_thermal_expansion_coefficients() {
  return make_set(Material::PropertyType::thermal_expansion_coefficients,
                  get_isotropic_secant_thermal_expansion_coefficients_names(),
                  {{"Behavior", "Isotropic"}, {"Definition", "Secant"}});
}

std::shared_ptr<PropertySet>
PropertyFactory::create_orthotropic_instantaneous_thermal_expansion_coefficients() {
  return make_set(Material::PropertyType::thermal_expansion_coefficients,
                  get_orthotropic_instantaneous_thermal_expansion_coefficients_names(),
                  {{"Behavior", "Orthotropic"}, {"Definition", "Instantaneous"}});
}

std::shared_ptr<PropertySet>
PropertyFactory::create_orthotropic_secant_thermal_expansion_coefficients() {
  return make_set(Material::PropertyType::thermal_expansion_coefficients,
                  get_orthotropic_secant_thermal_expansion_coefficients_names(),
                  {{"Behavior", "Orthotropic"}, {"Definition", "Secant"}});
}

std::shared_ptr<PropertySet> PropertyFactory::create_woven_characterization() {
  return make_set(Material::PropertyType::woven_characterization,
                  get_woven_characterization_names(), {{"Behavior", "Orthotropic"}});
}

std::shared_ptr<PropertySet> PropertyFactory::create_woven_puck_1() {
  return make_set(Material::PropertyType::woven_puck_constants_1, get_puck_names());
}

std::shared_ptr<PropertySet> PropertyFactory::create_woven_puck_2() {
  return make_set(Material::PropertyType::woven_puck_constants_2, get_puck_names());
}

std::shared_ptr<PropertySet> PropertyFactory::create_woven_stress_limits_1() {
  return make_set(Material::PropertyType::woven_stress_limits_1,
                  get_orthotropic_stress_limit_names(), {{"Behavior", "Orthotropic"}});
}

std::shared_ptr<PropertySet> PropertyFactory::create_woven_stress_limits_2() {
  return make_set(Material::PropertyType::woven_stress_limits_2,
                  get_orthotropic_stress_limit_names(), {{"Behavior", "Orthotropic"}});
}

std::shared_ptr<PropertySet> PropertyFactory::create_tsai_wu() {
  return make_set(Material::PropertyType::tsai_wu_constants, get_tsai_wu_names());
}

std::shared_ptr<PropertySet> PropertyFactory::create_larc() {
  return make_set(Material::PropertyType::larc_constants, get_larc_names());
}

std::shared_ptr<PropertySet> PropertyFactory::create_tensile_yield_strength() {
  return make_set(Material::PropertyType::tensile_yield_strength,
                  get_tensile_yield_strength_names());
}

std::shared_ptr<PropertySet> PropertyFactory::create_isotropic_thermal_conductivity() {
  return make_set(Material::PropertyType::thermal_conductivity,
                  get_isotropic_thermal_conductivity_names(), {{"Behavior", "Isotropic"}});
}

std::shared_ptr<PropertySet> PropertyFactory::create_orthotropic_thermal_conductivity() {
  return make_set(Material::PropertyType::thermal_conductivity,
                  get_orthotropic_thermal_conductivity_names(), {{"Behavior", "Orthotropic"}});
}

std::shared_ptr<PropertySet> PropertyFactory::create_specific_heat() {
  return make_set(Material::PropertyType::specific_heat, get_specific_heat_names());
}

std::shared_ptr<PropertySet> PropertyFactory::create_fabric_fiber_angle() {
  return make_set(Material::PropertyType::fabric_fiber_angle, get_fabric_fiber_angle_names());
}

std::shared_ptr<PropertySet> PropertyFactory::create_multilinear_isotropic_hardening() {
  return make_set(Material::PropertyType::isotropic_hardening,
                  get_multilinear_isotropic_hardening_names(), {{"Definition", "Multilinear"}});
}

std::shared_ptr<PropertySet> PropertyFactory::create_voce_isotropic_hardening() {
  return make_set(Material::PropertyType::isotropic_hardening, get_voce_isotropic_hardening_names(),
                  {{"Behavior", "Voce Law"}, {"Definition", "Nonlinear"}});
}

std::shared_ptr<PropertySet> PropertyFactory::create_hill_yield_criterion() {
  return make_set(Material::PropertyType::hill_yield_criterion, get_hill_yield_criterion_names(),
                  {{"Separated Hill Potentials for Plasticity and Creep", "No"}});
}

std::shared_ptr<PropertySet> PropertyFactory::create_orientation_sensitivity_parameter() {
  return make_set(Material::PropertyType::orientation_sensitivity_parameter,
                  get_orientation_sensitivity_parameter_names());
}

std::shared_ptr<PropertySet> PropertyFactory::create_property_set(std::string name) {
  if (name == Material::PropertyType::enum_str(Material::PropertyType::density)) {
    return create_density();
  }
  QORVA_THROW("create_property_set: property " + name + " can not be construced.");
}

}  // namespace qorva_mat
