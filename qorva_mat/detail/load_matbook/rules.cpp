// Mapping of one Matbook property into a material: the readers, the storing steps, the dispatch by
// property name and the density, ply type, elasticity, expansion and limit rules.
#include <boost/property_tree/ptree.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

#include "qorva_mat/detail/load_matbook/rules.hpp"
#include "qorva_mat/detail/matbook_names.hpp"
#include "qorva_mat/error.hpp"
#include "qorva_mat/log.hpp"
#include "qorva_mat/property_factory.hpp"

namespace qorva_mat {
namespace detail {

using boost::property_tree::ptree;
using PT = Material::PropertyType;
using PF = PropertyFactory;

namespace {

// Conditions the elasticity and limit rules report when their lists disagree.
constexpr char kWovenElasticityConstant[] =
    "E1.size() == 1 && G12.size() == 1 && nu12.size() == 1 && E2.size() == 1 && G23.size() == 1";
constexpr char kOrthotropicSizesAgree[] =
    "E1.size() == E2.size() && E2.size() == G12.size() && G12.size() == G23.size() && "
    "G23.size() == nu12.size() && nu12.size() == E3.size() && G31.size() == nu23.size() && "
    "nu23.size() == nu13.size()";
constexpr char kAnisotropicSizesAgree[] =
    "D_1.size() == D_2.size() && D_1.size() == D_3.size() && D_1.size() == D_4.size() && "
    "D_1.size() == D_5.size() && D_1.size() == D_6.size()";
constexpr char kAnisotropicColumnsFull[] = "D_1.size() >= 6";
constexpr char kWovenLimitsConstant[] =
    "Xt.size() == 1 && Yt.size() == 1 && Zt.size() == 1 && Xc.size() == 1 && Yc.size() == 1 && "
    "Zc.size() == 1 && Sxy.size() == 1 && Sxz.size() == 1 && Syz.size() == 1 && Syz.size() == 1";

// True when every list has the size of `first`.
template <class... Lists>
bool same_size(const std::vector<double>& first, const Lists&... rest) {
  return ((rest.size() == first.size()) && ...);
}

// True when every list holds exactly one value.
template <class... Lists>
bool all_constant(const Lists&... lists) {
  return ((lists.size() == 1) && ...);
}

bool has_digit(const std::string& text) {
  return std::any_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

// Calls `visit(name, id, pv)` for every float ParameterValue whose id is declared.
template <class Visit>
void for_each_declared_float(const ptree& property_data, const matbook_string_umap_t& names,
                             Visit visit) {
  for (const auto& child : property_data) {
    if (child.first != "ParameterValue") continue;
    const ptree& pv = child.second;
    if (pv.get<std::string>("<xmlattr>.format", "unknown") != "float") continue;
    const std::string id = pv.get<std::string>("<xmlattr>.parameter");
    auto it = names.find(id);
    if (it != names.end()) visit(it->second, id, pv);
  }
}

std::string variable_type(const ptree& pv) {
  std::string type;
  for (const auto& child : pv)
    if (child.first == "Qualifier" &&
        child.second.get<std::string>("<xmlattr>.name") == "Variable Type")
      type = child.second.data();
  return type;
}

// "%.*g" with precision 17 in the C locale ("nan", "inf" for non-finite values).
std::string reference_temperature_text(double value) {
  if (std::isnan(value)) return std::signbit(value) ? "-nan" : "nan";
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 17);
  return std::string(buffer, result.ptr);
}

std::string qualifier_or_unknown(const MatbookProperty& property, const std::string& key) {
  auto it = property.qualifiers.find(key);
  std::string text = it == property.qualifiers.end() ? "unknown" : it->second;
  QORVA_LOG(debug) << "    " << key << ": " << text;
  return text;
}

}  // namespace

matbook_constants_t read_constants(const ptree& property_data, const matbook_string_umap_t& names) {
  matbook_constants_t constants;
  for_each_declared_float(property_data, names,
                          [&](const std::string& name, const std::string& id, const ptree& pv) {
                            const auto data = pv.get_child_optional("Data");
                            if (!data) return;
                            const std::string& text = data->data();
                            const double value = has_digit(text) ? decode_single_value(text) : 0.0;
                            constants[name] = MatbookConstant{value, variable_type(pv), id};
                          });
  return constants;
}

matbook_dependents_t read_dependents(const ptree& property_data,
                                     const matbook_string_umap_t& names) {
  matbook_dependents_t dependents;
  for_each_declared_float(
      property_data, names, [&](const std::string& name, const std::string& id, const ptree& pv) {
        const auto data = pv.get_child_optional("Data");
        dependents[name] = MatbookDependent{
            data ? decode_value_list(data->data()) : std::vector<double>(), variable_type(pv), id};
      });
  return dependents;
}

std::string read_behavior(const MatbookProperty& property) {
  return qualifier_or_unknown(property, "Behavior");
}

std::string read_definition(const MatbookProperty& property) {
  return qualifier_or_unknown(property, "Definition");
}

std::vector<double> MatbookRule::converted(const matbook_dependents_t& dependents,
                                           const std::string& file_name) const {
  const MatbookDependent& d = dependents.at(file_name);
  return load.units.convert(d.values, d.id);
}

std::vector<double> MatbookRule::raw(const matbook_dependents_t& dependents,
                                     const std::string& file_name) const {
  return dependents.at(file_name).values;
}

void MatbookRule::log_set() const {
  QORVA_LOG(debug) << "  - Set " << property.name << " (" << property.id << ")";
}

void store_table(const MatbookRule& rule, const std::shared_ptr<PropertySet>& set,
                 const std::vector<std::vector<double>>& lists, bool add_first) {
  const auto records =
      rule.load.units.converted_field_variables(rule.property.node, rule.load.names);
  std::vector<std::string> names;
  PropertySet::table_t independent;
  PropertySet::ranges_t ranges;
  std::vector<double> defaults;
  std::vector<Unit> field_units;
  for (const auto& r : records) {
    names.push_back(std::get<0>(r));
    independent.push_back(std::get<1>(r));
    ranges.push_back(std::get<2>(r));
    defaults.push_back(std::get<3>(r));
    field_units.push_back(std::get<6>(r));
  }
  auto points = [&](const std::vector<double>& list) {
    return independent.empty() || list.size() == independent.front().size();
  };
  const bool points_agree = std::all_of(independent.begin(), independent.end(), points) &&
                            std::all_of(lists.begin(), lists.end(), points);
  QORVA_ASSERT(points_agree, "load_matbook: " + rule.property.name + " (" + rule.property.id +
                                 "): field variables and dependent values differ in their "
                                 "number of data points.");
  const GilOptions options = read_interpolation_options(rule.property.node);
  if (add_first) rule.material().add_property_set(set);
  set->set(names, independent, ranges, defaults, lists, options, true);
  set->field_units(field_units);
  if (!add_first) rule.material().add_property_set(set);
}

MergedRow merged_row(Material& material, PT::type type, std::shared_ptr<PropertySet> (*create)(),
                     std::size_t size) {
  if (!material.is_property_set_active(PT::enum_str(type))) material.add_property_set(create());
  PropertySet& set = material.at(type);
  const PropertySet::table_t data = set.get_dependent_data();
  return {&set, data.empty() ? std::vector<double>(size, 0.0) : data.front()};
}

// Density or specific heat given as a property-level Data list: its first value, converted.
void map_constant_from_data(const MatbookRule& rule, const std::shared_ptr<PropertySet>& set,
                            const char* warning) {
  rule.log_set();
  const auto values = rule.load.units.convert(
      decode_value_list(rule.property.node.get_child("Data").data()), rule.property.id);
  if (values.empty())
    QORVA_THROW("load_matbook: " + rule.property.name + " (" + rule.property.id +
                ") has an empty Data list.");
  if (values.size() > 1) QORVA_LOG(warning) << warning;
  rule.material().add_property_set(set);
  set->set_const({values.front()});
}

namespace {

void map_density(const MatbookRule& rule) {
  if (rule.property.data_format == "float") {
    map_constant_from_data(rule, PF::create_density(),
                           "Only constant density supported using the Data field in "
                           "PropertyData. The first value is taken.");
    return;
  }
  const auto dependents = read_dependents(rule.property.node, rule.load.names);
  store_table(rule, PF::create_density(), {rule.converted(dependents, "Density")});
}

void map_ply_type(const MatbookRule& rule) {
  const std::string text = rule.property.qualifiers.at("Type");
  QORVA_LOG(debug) << "  - Set " << rule.property.name << " (" << rule.property.id << ")=" << text;
  const std::string library = library_ply_type(text);
  if (!library.empty()) rule.material().set_string_property("Ply Type", library);
}

void map_woven_elasticity(const MatbookRule& rule, const matbook_dependents_t& d) {
  const auto E1 = rule.converted(d, "Young's Modulus X direction");
  const auto E2 = rule.converted(d, "Young's Modulus Y direction");
  const auto G12 = rule.converted(d, "Shear Modulus XY");
  const auto G23 = rule.converted(d, "Shear Modulus YZ");
  const auto nu12 = rule.raw(d, "Poisson's Ratio XY");
  QORVA_LOG(debug) << "    - Woven specification " << rule.property.data_set;
  QORVA_ASSERT_TEXT(all_constant(E1, E2, G12, G23, nu12), kWovenElasticityConstant,
                    "load_matbook: Woven specification is only possible with constant data.");
  MergedRow merged = merged_row(rule.material(), PT::woven_characterization,
                                &PF::create_woven_characterization, 12);
  if (merged.row.size() != 12) QORVA_THROW("load_matbook: size mismatch.");
  const std::size_t offset = rule.property.data_set == "1" ? 2 : 7;
  const double values[] = {E1[0], E2[0], G12[0], G23[0], nu12[0]};
  std::copy(std::begin(values), std::end(values), merged.row.begin() + offset);
  merged.set->set_const(merged.row);
}

void map_orthotropic_elasticity(const MatbookRule& rule, const matbook_dependents_t& d) {
  const auto E1 = rule.converted(d, "Young's Modulus X direction");
  const auto E2 = rule.converted(d, "Young's Modulus Y direction");
  const auto G12 = rule.converted(d, "Shear Modulus XY");
  const auto G23 = rule.converted(d, "Shear Modulus YZ");
  const auto nu12 = rule.raw(d, "Poisson's Ratio XY");
  const auto E3 = rule.converted(d, "Young's Modulus Z direction");
  const auto G31 = rule.converted(d, "Shear Modulus XZ");
  const auto nu23 = rule.raw(d, "Poisson's Ratio YZ");
  const auto nu13 = rule.raw(d, "Poisson's Ratio XZ");
  // The in-plane and Z lists agree among themselves; the out-of-plane shear and Poisson lists
  // among themselves.
  QORVA_ASSERT_TEXT(same_size(E1, E2, E3, G12, G23, nu12) && same_size(G31, nu23, nu13),
                    kOrthotropicSizesAgree,
                    "load_matbook: Construct orthotropic material, inconsistent input.");
  store_table(rule, PF::create_orthotropic_elasticity(),
              {E1, E2, E3, G12, G23, G31, nu12, nu13, nu23});
}

void map_anisotropic_elasticity(const MatbookRule& rule, const matbook_dependents_t& d) {
  const auto& names = PF::get_anisotropic_elasticity_names();
  std::vector<std::vector<double>> lists;
  if (d.find("D[*,1]") == d.end()) {
    for (const auto& name : names) lists.push_back(rule.converted(d, name));
    store_table(rule, PF::create_anisotropic_elasticity(), lists);
    return;
  }
  std::vector<double> columns[6];
  for (std::size_t c = 0; c < 6; ++c) columns[c] = rule.converted(d, anisotropic_column_names()[c]);
  QORVA_ASSERT_TEXT(
      same_size(columns[0], columns[1], columns[2], columns[3], columns[4], columns[5]),
      kAnisotropicSizesAgree, "load_matbook: Construct anisotropic material, inconsistent input.");
  QORVA_ASSERT_TEXT(columns[0].size() >= 6, kAnisotropicColumnsFull,
                    "load_matbook: Construct anisotropic material, every column needs six values.");
  const auto records = get_variable_field_tuples(rule.property.node, rule.load.names);
  for (const auto& r : records)
    if (std::get<1>(r).size() != 1)
      QORVA_THROW(
          "load_matbook: Construct anisotropic material, the column form holds one data "
          "point only.");
  for (std::size_t column = 0; column < 6; ++column)
    for (std::size_t row = column; row < 6; ++row) lists.push_back({columns[column][row]});
  store_table(rule, PF::create_anisotropic_elasticity(), lists);
}

void map_elasticity(const MatbookRule& rule) {
  const std::string behavior = read_behavior(rule.property);
  const bool orthotropic = behavior == "Orthotropic" || rule.property.woven;
  if (behavior != "Isotropic" && !orthotropic && behavior != "Anisotropic") return;
  rule.log_set();
  const auto d = read_dependents(rule.property.node, rule.load.names);
  if (behavior == "Isotropic") {
    const auto E = rule.converted(d, "Young's Modulus");
    const auto nu = rule.raw(d, "Poisson's Ratio");
    QORVA_ASSERT(E.size() == nu.size(),
                 "load_matbook: Construct isotropic material, inconsistent input.");
    store_table(rule, PF::create_isotropic_elasticity(), {E, nu});
  } else if (orthotropic) {
    if (rule.property.woven)
      map_woven_elasticity(rule, d);
    else
      map_orthotropic_elasticity(rule, d);
  } else {
    map_anisotropic_elasticity(rule, d);
  }
}

void set_reference_temperature(const MatbookRule& rule, PropertySet& set) {
  if (rule.state.has_reference_temperature)
    set.set_string_property("Zero-Thermal-Strain Reference Temperature",
                            reference_temperature_text(rule.state.reference_temperature));
}

void map_thermal_expansion(const MatbookRule& rule) {
  const std::string behavior = read_behavior(rule.property);
  if (behavior != "Orthotropic" && behavior != "Isotropic") {
    QORVA_LOG(debug) << "Unknown behavior: " << behavior;
    return;
  }
  rule.log_set();
  auto definition = rule.property.qualifiers.find("Definition");
  // Both kinds share their variable names; an instantaneous definition keeps its own kind.
  const bool instantaneous =
      definition != rule.property.qualifiers.end() && definition->second == "Instantaneous";
  const auto d = read_dependents(rule.property.node, rule.load.names);
  std::shared_ptr<PropertySet> set;
  std::vector<std::vector<double>> lists;
  if (behavior == "Orthotropic") {
    set = instantaneous ? PF::create_orthotropic_instantaneous_thermal_expansion_coefficients()
                        : PF::create_orthotropic_secant_thermal_expansion_coefficients();
    for (const char* axis : {"X", "Y", "Z"})
      lists.push_back(rule.converted(
          d, std::string("Coefficient of Thermal Expansion ") + axis + " direction"));
  } else {
    set = instantaneous ? PF::create_isotropic_instantaneous_thermal_expansion_coefficients()
                        : PF::create_isotropic_secant_thermal_expansion_coefficients();
    lists.push_back(rule.converted(d, "Coefficient of Thermal Expansion"));
  }
  store_table(rule, set, lists);
  if (definition != rule.property.qualifiers.end())
    set->set_string_property("Definition", definition->second);
  set_reference_temperature(rule, *set);
}

void map_reference_temperature(const MatbookRule& rule) {
  rule.log_set();
  const auto constants = read_constants(rule.property.node, rule.load.names);
  auto it = constants.find("Zero-Thermal-Strain Reference Temperature");
  if (it == constants.end()) it = constants.find("Reference Temperature");
  if (it != constants.end()) {
    rule.state.reference_temperature = rule.load.units.convert(it->second.value, it->second.id);
    rule.state.has_reference_temperature = true;
  } else {
    QORVA_LOG(warning) << "  - Reference temperature key not found and set to 0.";
    if (!rule.state.has_reference_temperature) return;
  }
  if (rule.material().is_property_set_active(PT::enum_str(PT::thermal_expansion_coefficients)))
    set_reference_temperature(rule, rule.material().at(PT::thermal_expansion_coefficients));
}

void map_strain_limits(const MatbookRule& rule) {
  const std::string behavior = read_behavior(rule.property);
  if (behavior != "Orthotropic" && behavior != "Isotropic") return;
  rule.log_set();
  const auto d = read_dependents(rule.property.node, rule.load.names);
  if (behavior == "Orthotropic") {
    std::vector<std::vector<double>> lists;
    for (const auto& name : direction_names()) lists.push_back(rule.raw(d, name));
    store_table(rule, PF::create_orthotropic_strain_limits(), lists);
  } else {
    store_table(rule, PF::create_isotropic_strain_limit(), {rule.raw(d, "Von Mises ")});
  }
}

}  // namespace

void map_stress_limits(const MatbookRule& rule) {
  const std::string behavior = read_behavior(rule.property);
  if (behavior != "Orthotropic" && !rule.property.woven) return;
  rule.log_set();
  const auto d = read_dependents(rule.property.node, rule.load.names);
  std::vector<std::vector<double>> lists;
  for (const auto& name : direction_names()) lists.push_back(rule.converted(d, name));
  if (!rule.property.woven) {
    QORVA_LOG(debug) << "   - Set default stress limits";
    store_table(rule, PF::create_orthotropic_stress_limits(), lists);
    return;
  }
  QORVA_LOG(debug) << "    - Woven specification " << rule.property.data_set;
  const bool constant = std::all_of(
      lists.begin(), lists.end(), [](const std::vector<double>& list) { return list.size() == 1; });
  QORVA_ASSERT_TEXT(constant, kWovenLimitsConstant,
                    "load_matbook: Woven specification is only possible with constant data.");
  const bool first = rule.property.data_set == "1";
  const PT::type type = first ? PT::woven_stress_limits_1 : PT::woven_stress_limits_2;
  if (!rule.material().is_property_set_active(PT::enum_str(type)))
    rule.material().add_property_set(first ? PF::create_woven_stress_limits_1()
                                           : PF::create_woven_stress_limits_2());
  std::vector<double> row;
  row.reserve(lists.size());
  for (const auto& list : lists) row.push_back(list.front());
  rule.material().at(type).set_const(row);
}

namespace {

// One entry of the dispatch by property name: the rule applies when the name equals `text`
// (or only contains it, for `part`), and for `woven_only` only to woven properties.
struct PropertyRule {
  const char* text;
  bool part;
  bool woven_only;
  void (*map)(const MatbookRule&);
};

// Tried in order; the first entry that applies maps the property.
const PropertyRule kPropertyRules[] = {
    {"Density", false, false, map_density},
    {"Ply Type", false, false, map_ply_type},
    {"Elasticity", true, false, map_elasticity},
    {"Coefficient of Thermal Expansion", true, false, map_thermal_expansion},
    {"Reference Temperature", true, false, map_reference_temperature},
    {"Strain Limits", true, false, map_strain_limits},
    {"Stress Limits", true, false, map_stress_limits},
    {"Tensile Yield Strength", false, false, map_tensile_yield_strength},
    {"Puck Constants", false, false, [](const MatbookRule& rule) { map_puck(rule, false); }},
    {"Additional Puck Constants", false, false,
     [](const MatbookRule& rule) { map_puck(rule, true); }},
    {"Tsai-Wu Constants", false, false, map_tsai_wu},
    {"LaRc03/04 Constants", false, false, map_larc},
    {"Fiber Angle", false, true, map_fiber_angle},
    {"Thermal Conductivity", true, false, map_thermal_conductivity},
    {"Specific Heat", true, false, map_specific_heat},
    {"Fabric Fiber Angle", false, false, map_fabric_fiber_angle},
    {"Isotropic Hardening", false, false, map_plasticity},
    {"Hill Yield Criterion", false, false, map_plasticity},
};

bool applies(const PropertyRule& entry, const MatbookProperty& property) {
  if (entry.woven_only && !property.woven) return false;
  return entry.part ? property.name.find(entry.text) != std::string::npos
                    : property.name == entry.text;
}

}  // namespace

void map_property(const MatbookRule& rule) {
  for (const PropertyRule& entry : kPropertyRules) {
    if (applies(entry, rule.property)) {
      entry.map(rule);
      return;
    }
  }
  QORVA_LOG(debug) << "  - Ignoring " << rule.property.name;
}

}  // namespace detail
}  // namespace qorva_mat
