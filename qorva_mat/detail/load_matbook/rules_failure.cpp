// Mapping rules of the Matbook loader for yield strength, failure constants (Puck, Tsai-Wu,
// LaRC), woven fiber angles, thermal conductivity, specific heat, fabric angle and plasticity.
#include <boost/property_tree/ptree.hpp>

#include "qorva_mat/detail/load_matbook/rules.hpp"
#include "qorva_mat/detail/matbook_names.hpp"
#include "qorva_mat/error.hpp"
#include "qorva_mat/log.hpp"
#include "qorva_mat/property_factory.hpp"

namespace qorva_mat {
namespace detail {

using PT = Material::PropertyType;
using PF = PropertyFactory;

namespace {

void log_woven(const MatbookRule& rule) {
  if (rule.property.woven)
    QORVA_LOG(debug) << "    - Woven specification " << rule.property.data_set;
}

void set_puck_classification(const MatbookRule& rule, PropertySet& set) {
  auto it = rule.property.qualifiers.find("Material Classification");
  if (it == rule.property.qualifiers.end()) {
    // The writer leaves "Material Classification" out for a set classified "ignored", so a
    // file written by this library must read back as "ignored" instead of failing here.
    set.set_string_property(ORTHOTROPIC_MATERIAL_PUCK_CLASSIFICATION, PUCK_CLASSIFICATION_IGNORED);
  } else if (it->second == "Carbon") {
    set.set_string_property(ORTHOTROPIC_MATERIAL_PUCK_CLASSIFICATION, PUCK_CLASSIFICATION_CARBON);
  } else if (it->second == "Glass") {
    set.set_string_property(ORTHOTROPIC_MATERIAL_PUCK_CLASSIFICATION, PUCK_CLASSIFICATION_GLASS);
  } else if (it->second == "Material Specific") {
    set.set_string_property(ORTHOTROPIC_MATERIAL_PUCK_CLASSIFICATION,
                            PUCK_CLASSIFICATION_MATERIAL_SPECIFIC);
  } else {
    QORVA_LOG(warning) << rule.material().name() << ": Puck constant type " << it->second
                       << " is not supported";
  }
}

}  // namespace

void map_tensile_yield_strength(const MatbookRule& rule) {
  rule.log_set();
  std::vector<double> list;
  if (rule.property.data_format == "float") {
    list = rule.load.units.convert(decode_value_list(rule.property.node.get_child("Data").data()),
                                   rule.property.id);
  } else {
    list = rule.converted(read_dependents(rule.property.node, rule.load.names),
                          "Tensile Yield Strength");
  }
  store_table(rule, PF::create_tensile_yield_strength(), {list});
}

void map_puck(const MatbookRule& rule, bool additional) {
  rule.log_set();
  log_woven(rule);
  PT::type type = PT::puck_constants;
  std::shared_ptr<PropertySet> (*create)() = &PF::create_puck;
  if (rule.property.woven && rule.property.data_set == "1") {
    type = PT::woven_puck_constants_1;
    create = &PF::create_woven_puck_1;
  } else if (rule.property.woven) {
    type = PT::woven_puck_constants_2;
    create = &PF::create_woven_puck_2;
  }
  const auto c = read_constants(rule.property.node, rule.load.names);
  MergedRow merged = merged_row(rule.material(), type, create, 7);
  merged.row.resize(7);
  if (additional) {
    merged.row[6] = c.at("Interface Weakening Factor").value;
    merged.row[4] = c.at("Degradation Parameter s").value;
    merged.row[5] = c.at("Degradation Parameter M").value;
  } else {
    set_puck_classification(rule, *merged.set);
    const char* names[] = {"Tensile Inclination XZ",    "Compressive Inclination XZ",
                           "Tensile Inclination YZ",    "Compressive Inclination YZ",
                           "Degradation Parameter s",   "Degradation Parameter M",
                           "Interface Weakening Factor"};
    for (std::size_t i = 0; i < 4; ++i) merged.row[i] = c.at(names[i]).value;
    for (std::size_t i = 4; i < 7; ++i)
      if (auto it = c.find(names[i]); it != c.end()) merged.row[i] = it->second.value;
  }
  merged.set->set_const(merged.row);
}

void map_tsai_wu(const MatbookRule& rule) {
  rule.log_set();
  const auto c = read_constants(rule.property.node, rule.load.names);
  const std::vector<double> row{c.at("Coupling Coefficient XY").value,
                                c.at("Coupling Coefficient XZ").value,
                                c.at("Coupling Coefficient YZ").value};
  auto set = PF::create_tsai_wu();
  rule.material().add_property_set(set);
  set->set_const(row);
}

void map_larc(const MatbookRule& rule) {
  rule.log_set();
  const auto c = read_constants(rule.property.node, rule.load.names);
  const auto converted = [&](const char* name) {
    const MatbookConstant& constant = c.at(name);
    return rule.load.units.convert(constant.value, constant.id);
  };
  std::vector<double> row(5, 0.0);
  row[1] = c.at("Fracture Toughness Ratio").value;
  row[2] = converted("Longitudinal Friction Coefficient");
  row[3] = converted("Transverse Friction Coefficient");
  row[0] = c.at("Fracture Angle Under Compression").value;
  const auto model = rule.load.units.model();
  if (model && model->length_name() != "[Length]")  // the thin-ply limit is 0.7 mm
    row[4] = 0.7 * length(make_unit_system("MPA")).conversion_factor(length(model));
  auto set = PF::create_larc();
  rule.material().add_property_set(set);
  set->set_const(row);
}

void map_fiber_angle(const MatbookRule& rule) {
  QORVA_LOG(debug) << "  - Set " << rule.property.name << " for woven specification "
                   << rule.property.data_set << " (" << rule.property.id << ")";
  const double angle = read_constants(rule.property.node, rule.load.names).at("Fiber Angle").value;
  MergedRow merged = merged_row(rule.material(), PT::woven_characterization,
                                &PF::create_woven_characterization, 12);
  if (merged.row.size() != 12) QORVA_THROW("load_matbook: size mismatch.");
  merged.row[rule.property.data_set == "1" ? 0 : 1] = angle;
  merged.set->set_const(merged.row);
}

void map_thermal_conductivity(const MatbookRule& rule) {
  const std::string behavior = read_behavior(rule.property);
  if (behavior != "Isotropic" && behavior != "Orthotropic") return;
  rule.log_set();
  const auto d = read_dependents(rule.property.node, rule.load.names);
  if (behavior == "Isotropic") {
    store_table(rule, PF::create_isotropic_thermal_conductivity(),
                {rule.converted(d, "Thermal Conductivity")});
    return;
  }
  const auto K1 = rule.converted(d, "Thermal Conductivity X direction");
  const auto K2 = rule.converted(d, "Thermal Conductivity Y direction");
  const auto K3 = rule.converted(d, "Thermal Conductivity Z direction");
  QORVA_ASSERT(K1.size() == K2.size(),
               "load_matbook: Construct orthotropic material, inconsistent input.");
  store_table(rule, PF::create_orthotropic_thermal_conductivity(), {K1, K2, K3});
}

void map_specific_heat(const MatbookRule& rule) {
  if (rule.property.name == "Specific Heat" && rule.property.data_format == "float") {
    map_constant_from_data(rule, PF::create_specific_heat(),
                           "Only constant specific heat supported using the Data field in "
                           "PropertyData. The first value is taken.");
    return;
  }
  rule.log_set();
  const auto d = read_dependents(rule.property.node, rule.load.names);
  store_table(rule, PF::create_specific_heat(), {rule.converted(d, "Specific Heat")});
}

void map_fabric_fiber_angle(const MatbookRule& rule) {
  const MatbookDependent angle =
      read_dependents(rule.property.node, rule.load.names).at("Fabric Fiber Angle");
  std::vector<double> values = angle.values;
  const auto description = rule.load.units.unit_of(angle.id).description();
  if (!description.empty() && description.begin()->first == "radian")
    for (double& v : values) v *= kDegreesPerRadian;
  store_table(rule, PF::create_fabric_fiber_angle(), {values});
}

void map_plasticity(const MatbookRule& rule) {
  const std::string& name = rule.property.name;
  const std::string behavior = read_behavior(rule.property);
  const std::string definition = read_definition(rule.property);
  std::shared_ptr<PropertySet> set;
  std::vector<std::string> file_names;
  if (name == "Isotropic Hardening" && definition == "Nonlinear" && behavior == "Voce Law") {
    set = PF::create_voce_isotropic_hardening();
    file_names = {"Initial Yield Stress", "Linear Coefficient", "Exponential Coefficient",
                  "Exponential Saturation Parameter"};
  } else if (name == "Isotropic Hardening" && definition == "Multilinear") {
    set = PF::create_multilinear_isotropic_hardening();
    file_names = {"Stress"};
  } else if (name == "Isotropic Hardening") {
    QORVA_LOG(debug) << "  - Ignoring " << name << " - " << definition << " - " << behavior;
    return;
  } else {
    // Without the qualifier the potentials are not separated, the only supported case.
    auto it = rule.property.qualifiers.find("Separated Hill Potentials for Plasticity and Creep");
    if (it != rule.property.qualifiers.end() && it->second != "No") {
      QORVA_LOG(debug) << "  - Ignoring " << name
                       << " with 'Separated Hill Potentials for Plasticity and Creep' = "
                       << it->second;
      return;
    }
    set = PF::create_hill_yield_criterion();
    file_names = {"Yield stress ratio in X direction",  "Yield stress ratio in Y direction",
                  "Yield stress ratio in Z direction",  "Yield stress ratio in XY direction",
                  "Yield stress ratio in YZ direction", "Yield stress ratio in XZ direction"};
  }
  QORVA_LOG(debug) << "  - Set " << name << " - " << definition << " - " << behavior;
  const auto d = read_dependents(rule.property.node, rule.load.names);
  std::vector<std::vector<double>> lists;
  lists.reserve(file_names.size());
  for (const auto& file_name : file_names) lists.push_back(rule.converted(d, file_name));
  store_table(rule, set, lists, false);
}

}  // namespace detail
}  // namespace qorva_mat
