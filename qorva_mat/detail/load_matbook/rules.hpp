// Internals of the Matbook loader shared by its source files: declared units and conversion, parameter readers, the per-property mapping.
// The public entry points are in load_matbook.hpp; the file vocabulary is matbook_format's.
#pragma once

#include <boost/property_tree/ptree.hpp>
#include <boost/unordered_map.hpp>

#include <memory>
#include <string>
#include <vector>

#include "qorva_mat/load_matbook.hpp"
#include "qorva_mat/matbook_format.hpp"
#include "qorva_mat/material.hpp"
#include "qorva_mat/property_set.hpp"
#include "qorva_mat/units.hpp"

namespace qorva_mat {
namespace detail {

// The declared units of one load (id -> unit) and the conversion into the model system.
class MatbookUnits {
 public:
  // `model` may be null. Throws only std::bad_alloc.
  MatbookUnits(std::shared_ptr<UnitSystem> model, const MatbookLoadOptions& options);

  // Reads the Units of one PropertyDetails/ParameterDetails declared as `id` (`name` only for
  // messages). Unknown symbols are logged and leave the id without unit. Throws ptree_bad_path
  // for a Unit without Name and ptree_bad_data for a non-integer power.
  void declare(const std::string& id, const std::string& name,
               const boost::property_tree::ptree& details);

  // The product unit of `id`, or dimensionless of the MPA system when it has none. Never throws.
  const Unit& unit_of(const std::string& id) const;
  // `value` (or every element of `values`) of `id` in the model system. Throws assertion_error
  // only for broken units (never for the ones declare() builds).
  double convert(double value, const std::string& id) const;
  std::vector<double> convert(const std::vector<double>& values, const std::string& id) const;
  // get_variable_field_tuples with values, limits, defaults and units in the model system.
  // Throws as get_variable_field_tuples.
  std::vector<field_variable_t> converted_field_variables(
      const boost::property_tree::ptree& property_data, const matbook_string_umap_t& names) const;

  std::shared_ptr<UnitSystem> model() const { return model_; }
  // Whether values are converted at all (a model that is neither null nor UNDEFINED).
  bool converts() const;

 private:
  struct Declared {
    std::vector<Unit> factors;  // each raised to its power, in file order
    Unit unit;                  // their product, in the system of the first factor
    double factor = 1.0;        // numeric factor of the product (dropped unless kept)
  };
  void warn_about_dropped_factor(const std::string& id, const std::string& name,
                                 const Declared& declared) const;
  void warn_about_writer_symbols(const std::string& id, const std::string& name,
                                 const boost::property_tree::ptree& details) const;
  // Factor from the declared unit to the model (values are multiplied by it); temperatures
  // are not linear and are handled separately.
  double linear_factor(const Declared& declared) const;

  std::shared_ptr<UnitSystem> model_;
  MatbookLoadOptions options_;
  Unit mpa_dimensionless_;
  boost::unordered_map<std::string, Declared> declared_;
};

// One float ParameterValue read as a single number.
struct MatbookConstant {
  double value;
  std::string variable_type;
  std::string id;
};
// One float ParameterValue read as a value list.
struct MatbookDependent {
  std::vector<double> values;
  std::string variable_type;
  std::string id;
};
using matbook_constants_t = boost::unordered_map<std::string, MatbookConstant>;
using matbook_dependents_t = boost::unordered_map<std::string, MatbookDependent>;

// Parameter name -> constant of every float ParameterValue with Data and a declared id; a Data
// text without any digit reads 0.0. Throws ptree_bad_path for a missing parameter attribute and
// boost::bad_lexical_cast for a text that is not one number.
matbook_constants_t read_constants(const boost::property_tree::ptree& property_data,
                                   const matbook_string_umap_t& names);
// Parameter name -> decoded value list of every float ParameterValue with a declared id.
// Throws as read_constants.
matbook_dependents_t read_dependents(const boost::property_tree::ptree& property_data,
                                     const matbook_string_umap_t& names);

// State of the whole load that every property reads.
struct MatbookLoadState {
  MatbookLoadState(std::shared_ptr<UnitSystem> model, const MatbookLoadOptions& options)
      : units(std::move(model), options) {}
  matbook_string_umap_t names;  // id -> property or parameter name
  MatbookUnits units;
};

// State of the material being read.
struct MatbookMaterialState {
  std::shared_ptr<Material> material;
  bool has_reference_temperature = false;
  double reference_temperature = 0.0;
};

// One PropertyData as prepared by the loader.
struct MatbookProperty {
  const boost::property_tree::ptree& node;
  std::string id;
  std::string name;
  matbook_string_umap_t qualifiers;
  std::string data_format = "unknown";
  bool woven = false;
  std::string data_set = "0";
};

// What a mapping rule works on.
struct MatbookRule {
  const MatbookProperty& property;
  MatbookMaterialState& state;
  const MatbookLoadState& load;

  Material& material() const { return *state.material; }
  // The dependent `file_name` of `dependents`, converted or raw. Throw std::out_of_range
  // "Unable to find key in unordered_map." when it is missing.
  std::vector<double> converted(const matbook_dependents_t& dependents,
                                const std::string& file_name) const;
  std::vector<double> raw(const matbook_dependents_t& dependents,
                          const std::string& file_name) const;
  // Logs "  - Set <name> (<id>)".
  void log_set() const;
};

// Maps one property into the material (the rules of the property mapping). Throws what the
// rules throw (see load_materials).
void map_property(const MatbookRule& rule);

// The "Behavior" / "Definition" qualifier or "unknown", logged at debug level. Never throw
// apart from std::bad_alloc.
std::string read_behavior(const MatbookProperty& property);
std::string read_definition(const MatbookProperty& property);

// Tabular storing: `set` gets the property's converted field variables, `lists` (one per
// dependent variable) and its interpolation options. With `add_first` the set is added to the
// material before it is filled, otherwise after. Throws assertion_error when field variables
// and dependent lists differ in their number of points, and what PropertySet::set throws.
void store_table(const MatbookRule& rule, const std::shared_ptr<PropertySet>& set,
                 const std::vector<std::vector<double>>& lists, bool add_first = true);

// Merged constant storing: the material's active set of `type` (a new one from `create` when
// there is none) and its current first row, or `size` zeros when it has none.
struct MergedRow {
  PropertySet* set;
  std::vector<double> row;
};
MergedRow merged_row(Material& material, Material::PropertyType::type type,
                     std::shared_ptr<PropertySet> (*create)(), std::size_t size);

// A kind stored from the property-level float Data list: its first converted value as the
// constant row of `set`, with `warning` logged when the list holds more. Throws runtime_error
// "load_matbook: <name> (<id>) has an empty Data list." for an empty list.
void map_constant_from_data(const MatbookRule& rule, const std::shared_ptr<PropertySet>& set,
                            const char* warning);

// The rules that are not part of map_property's own file; each throws as documented in
// load_materials.
void map_stress_limits(const MatbookRule& rule);
void map_tensile_yield_strength(const MatbookRule& rule);
void map_puck(const MatbookRule& rule, bool additional);
void map_tsai_wu(const MatbookRule& rule);
void map_larc(const MatbookRule& rule);
void map_fiber_angle(const MatbookRule& rule);
void map_thermal_conductivity(const MatbookRule& rule);
void map_specific_heat(const MatbookRule& rule);
void map_fabric_fiber_angle(const MatbookRule& rule);
void map_plasticity(const MatbookRule& rule);

}  // namespace detail
}  // namespace qorva_mat
