// PropertyFactory: the predefined property kinds, their variable-name lists, ply types and Puck
// classification texts. Filling the created sets with data and units is left to the loaders and
// callers.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "qorva_mat/material.hpp"
#include "qorva_mat/property_set.hpp"

namespace qorva_mat {

// Puck material classification: a property-set string-property key and its only allowed values.
// They are inline variables, so in every translation unit that includes this header they are
// initialised before any namespace-scope object defined after the include; tables built during
// static initialisation elsewhere may therefore use them.
inline const std::string ORTHOTROPIC_MATERIAL_PUCK_CLASSIFICATION = "PuckMaterialClassification";
inline const std::string PUCK_CLASSIFICATION_CARBON = "carbon";
inline const std::string PUCK_CLASSIFICATION_GLASS = "glass";
inline const std::string PUCK_CLASSIFICATION_MATERIAL_SPECIFIC = "material-specific";
inline const std::string PUCK_CLASSIFICATION_IGNORED = "ignored";

// Stateless catalogue. The name-list getters return the same process-wide list on every call; a
// list is built on its first use (safely from any thread, also during static initialisation) and
// never changes afterwards. The create_* functions never fail except for std::bad_alloc.
class PropertyFactory {
 public:
  // Ply types, the values of a material's "Ply Type" string property.
  struct PlyTypes {
    enum type : int {
      regular = 0,
      woven = 1,
      orthotropic_homogeneous_core = 2,
      isotropic_homogeneous_core = 3,
      honeycomb_core = 4,
      isotropic = 5,
      undefined = 6,
      adhesive = 7,
    };
    // Text of a ply type; "" for any other value.
    static std::string enum_str(type t);
  };

  PropertyFactory() = default;
  PropertyFactory(const PropertyFactory&) = default;
  // The catalogue has no state: assignment only returns the object.
  PropertyFactory& operator=(const PropertyFactory&);

  static const std::vector<std::string>& get_density_names();
  static const std::vector<std::string>& get_isotropic_elasticity_names();
  static const std::vector<std::string>& get_orthotropic_elasticity_names();
  // Lower triangle of the 6 x 6 matrix D, column by column: "D[1,1]", "D[2,1]", ..., "D[6,6]".
  static const std::vector<std::string>& get_anisotropic_elasticity_names();
  static const std::vector<std::string>& get_orthotropic_stress_limit_names();
  static const std::vector<std::string>& get_orthotropic_strain_limit_names();
  static const std::vector<std::string>& get_isotropic_strain_limit_names();
  static const std::vector<std::string>& get_puck_names();
  static const std::vector<std::string>&
  get_isotropic_instantaneous_thermal_expansion_coefficients_names();
  static const std::vector<std::string>&
  get_isotropic_secant_thermal_expansion_coefficients_names();
  static const std::vector<std::string>&
  get_orthotropic_instantaneous_thermal_expansion_coefficients_names();
  static const std::vector<std::string>&
  get_orthotropic_secant_thermal_expansion_coefficients_names();
  static const std::vector<std::string>& get_woven_characterization_names();
  static const std::vector<std::string>& get_tsai_wu_names();
  static const std::vector<std::string>& get_larc_names();
  static const std::vector<std::string>& get_tensile_yield_strength_names();
  static const std::vector<std::string>& get_isotropic_thermal_conductivity_names();
  static const std::vector<std::string>& get_orthotropic_thermal_conductivity_names();
  static const std::vector<std::string>& get_specific_heat_names();
  static const std::vector<std::string>& get_fabric_fiber_angle_names();
  static const std::vector<std::string>& get_multilinear_isotropic_hardening_names();
  static const std::vector<std::string>& get_voce_isotropic_hardening_names();
  static const std::vector<std::string>& get_hill_yield_criterion_names();
  static const std::vector<std::string>& get_orientation_sensitivity_parameter_names();

  // Each returns a new, empty set named after its Material::PropertyType, with the kind's
  // dependent names and the string properties ("Behavior", "Definition", ...) that tell kinds
  // sharing one name apart.
  static std::shared_ptr<PropertySet> create_density();
  static std::shared_ptr<PropertySet> create_isotropic_elasticity();
  static std::shared_ptr<PropertySet> create_orthotropic_elasticity();
  static std::shared_ptr<PropertySet> create_anisotropic_elasticity();
  static std::shared_ptr<PropertySet> create_orthotropic_stress_limits();
  static std::shared_ptr<PropertySet> create_isotropic_strain_limit();
  static std::shared_ptr<PropertySet> create_orthotropic_strain_limits();
  static std::shared_ptr<PropertySet> create_puck();
  static std::shared_ptr<PropertySet>
  create_isotropic_instantaneous_thermal_expansion_coefficients();
  static std::shared_ptr<PropertySet> create_isotropic_secant_thermal_expansion_coefficients();
  static std::shared_ptr<PropertySet>
  create_orthotropic_instantaneous_thermal_expansion_coefficients();
  static std::shared_ptr<PropertySet> create_orthotropic_secant_thermal_expansion_coefficients();
  static std::shared_ptr<PropertySet> create_woven_characterization();
  static std::shared_ptr<PropertySet> create_woven_puck_1();
  static std::shared_ptr<PropertySet> create_woven_puck_2();
  static std::shared_ptr<PropertySet> create_woven_stress_limits_1();
  static std::shared_ptr<PropertySet> create_woven_stress_limits_2();
  static std::shared_ptr<PropertySet> create_tsai_wu();
  static std::shared_ptr<PropertySet> create_larc();
  static std::shared_ptr<PropertySet> create_tensile_yield_strength();
  static std::shared_ptr<PropertySet> create_isotropic_thermal_conductivity();
  static std::shared_ptr<PropertySet> create_orthotropic_thermal_conductivity();
  static std::shared_ptr<PropertySet> create_specific_heat();
  static std::shared_ptr<PropertySet> create_fabric_fiber_angle();
  static std::shared_ptr<PropertySet> create_multilinear_isotropic_hardening();
  static std::shared_ptr<PropertySet> create_voce_isotropic_hardening();
  static std::shared_ptr<PropertySet> create_hill_yield_criterion();
  static std::shared_ptr<PropertySet> create_orientation_sensitivity_parameter();

  // One predefined kind: its create_* function, its name-list getter (the list its sets carry),
  // the slot type that names its sets, and the string properties that tell kinds sharing a set
  // name apart, as "key=value" pairs joined by ';' ("" for none).
  struct Kind {
    std::shared_ptr<PropertySet> (*create)();
    const std::vector<std::string>& (*names)();
    Material::PropertyType::type type;
    const char* string_properties;
  };
  // Every kind once, in the order of the create_* functions above; each create_* builds its set
  // from its entry here. Never throws.
  static const std::vector<Kind>& kinds();

  // Creates a kind from its set name; only "Density" can be created this way. Throws
  // runtime_error "create_property_set: property <name> can not be construced." otherwise.
  static std::shared_ptr<PropertySet> create_property_set(std::string name);
};

}  // namespace qorva_mat
