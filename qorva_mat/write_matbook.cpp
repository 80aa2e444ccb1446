// Matbook writer: the document driver, declarations and units, general property data and tables.
#include "qorva_mat/write_matbook.hpp"

#include <algorithm>
#include <charconv>
#include <sstream>

#include "qorva_gil/interpolator.hpp"
#include "qorva_mat/detail/gil_content.hpp"
#include "qorva_mat/detail/matbook_names.hpp"
#include "qorva_mat/error.hpp"
#include "qorva_mat/log.hpp"
#include "qorva_mat/matbook_format.hpp"
#include "qorva_mat/property_factory.hpp"

namespace qorva_mat {

using boost::property_tree::ptree;
using detail::add_qualifier;
using detail::kDegreesPerRadian;
using detail::kTransferIdKey;

namespace {

const char* const kMatbookVersion = "18.0.0.60";
const char* const kMatbookVersionDate = "29.08.2016 15:02:00";

// Reported when a property set's first dependent row and its dependent names differ in length.
constexpr char kConstantsMatchNames[] = "const_data_vec.size() == const_name_vec.size()";
// Reported when a library name has no file name.
constexpr char kFileNameKnown[] =
    "Plyx_2_Matbook_string_umap.find(name_) != Plyx_2_Matbook_string_umap.end()";

// Library name -> file name through the shared name table.
std::string library_to_file_name(const std::string& name) {
  const auto found = Plyx_2_Matbook_string_umap.find(name);
  QORVA_ASSERT_TEXT(found != Plyx_2_Matbook_string_umap.end(), kFileNameKnown,
                    name + " not found in Plyx_2_Matbook_string_umap");
  return found->second;
}

// "Units" with one "Unit" per description entry; the power is written only when it is not 1.
void put_unit_entries(ptree& declaration, const units::unit_description_t& description) {
  ptree& units_node = declaration.add_child("Units", ptree());
  for (const auto& entry : description) {
    ptree& unit_node = units_node.add_child("Unit", ptree());
    if (entry.second != 1) unit_node.put("<xmlattr>.power", std::to_string(entry.second));
    unit_node.put("Name", entry.first);
  }
}

void put_compound_unit(ptree& declaration, const std::string& compound_name) {
  declaration.add_child("Units", ptree()).add_child("Unit", ptree()).put("Name", compound_name);
}

// An explicitly given unit: Unitless when dimensionless, else its compound name when it has
// one, else its description entry by entry.
void put_explicit_unit(ptree& declaration, const Unit& unit) {
  const units::unit_description_t description = unit.description();
  if (description.empty()) {
    declaration.add_child("Unitless", ptree());
    return;
  }
  const auto& compounds = units::compound_units();
  const auto found = compounds.find(description);
  if (found != compounds.end()) {
    put_compound_unit(declaration, found->second);
  } else {
    put_unit_entries(declaration, description);
  }
}

}  // namespace

namespace detail {

// The unit of a unit_map category in `system`.
Unit category_unit(const std::string& category, const std::shared_ptr<UnitSystem>& system) {
  const Unit m = mass(system);
  const Unit l = length(system);
  const Unit t = time(system);
  Unit temp = temperature(system);
  if (category == "density") return (m * l.pow(-3)).unit();
  if (category == "stress") return ((m * l.pow(-1)).unit() * t.pow(-2)).unit();
  if (category == "thermal expansion") return (dimensionless(system) * temp.pow(-1)).unit();
  if (category == "temperature") return temp;
  if (category == "angle") return angle(system);
  if (category == "thermal conductivity") {
    return ((((m * l).unit()) * t.pow(-3)).unit() * temp.pow(-1)).unit();
  }
  if (category == "specific heat") return ((l.pow(2) * t.pow(-2)).unit() * temp.pow(-1)).unit();
  QORVA_THROW("write_matbook: unit name not found in unit_map.");
}

}  // namespace detail

namespace {

// The unit of a library name from its unit_map category; Unitless when it has none. Only
// "stress" is given its compound name.
void put_category_unit(ptree& declaration, const std::string& name,
                       const std::shared_ptr<UnitSystem>& system) {
  const auto category = unit_map.find(name);
  if (category == unit_map.end()) {
    declaration.add_child("Unitless", ptree());
    return;
  }
  QORVA_ASSERT(system != nullptr, "write_matbook: no unit system to declare units in.");
  const units::unit_description_t description =
      detail::category_unit(category->second, system).description();
  if (category->second == "stress") {
    const auto& compounds = units::compound_units();
    const auto found = compounds.find(description);
    if (found != compounds.end()) {
      put_compound_unit(declaration, found->second);
      return;
    }
    QORVA_LOG(debug) << "write_matbook: stress unit unknown.";
  }
  put_unit_entries(declaration, description);
}

// "Word,Word,...": `word` once per data point.
std::string repeated(const std::string& word, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    if (i != 0) text += ',';
    text += word;
  }
  return text;
}

std::vector<double> column(const PropertySet::table_t& table, std::size_t j) {
  std::vector<double> values;
  values.reserve(table.size());
  for (const auto& row : table) values.push_back(row.at(j));
  return values;
}

std::string algorithm_file_name(const std::string& engine_name, bool use_cgal_triangulation) {
  const std::string linear =
      qorva_gil::AlgorithmTypeEnum::enum_str(qorva_gil::AlgorithmTypeEnum::LINEAR_MULTIVARIATE);
  if (engine_name == linear && use_cgal_triangulation) return "Linear Multivariate (CGAL)";
  return Matbook_algorithm_bimap.right.at(engine_name);
}

void write_interpolation_options(ptree& node, const detail::GilContent& gil,
                                 bool use_cgal_triangulation, bool project_to_convex_hull,
                                 detail::MatbookDeclarations& declarations) {
  ptree& value = node.add_child("ParameterValue", ptree());
  value.put("<xmlattr>.format", "string");
  value.put("<xmlattr>.parameter", declarations.parameter("Options Variable"));
  value.put("Data", "Interpolation Options");
  add_qualifier(value, "AlgorithmType", algorithm_file_name(gil.algorithm, use_cgal_triangulation));
  add_qualifier(value, "Normalized", gil.normalized ? "True" : "False");
  add_qualifier(value, "Cached", gil.cached ? "True" : "False");
  if (project_to_convex_hull) {
    add_qualifier(value, "ExtrapolationType", "Projection to the Convex Hull");
  }
}

ptree& add_float_parameter(ptree& node, const std::string& id, const std::vector<double>& values,
                           const std::string& variable_type) {
  ptree& value = node.add_child("ParameterValue", ptree());
  value.put("<xmlattr>.format", "float");
  value.put("<xmlattr>.parameter", id);
  value.put("Data", detail::format_matbook_list(values));
  add_qualifier(value, "Variable Type", repeated(variable_type, values.size()));
  return value;
}

std::string print_unit(const Unit& unit) {
  std::ostringstream text;
  text.imbue(std::locale::classic());
  text << unit;
  return text.str();
}

void write_independent_parameter(ptree& node, const detail::GilContent& gil, std::size_t i,
                                 const std::vector<Unit>& field_units, bool write_options,
                                 detail::MatbookDeclarations& declarations) {
  const std::string& name = gil.independent_names.at(i);
  QORVA_ASSERT(i < field_units.size(),
               "write_matbook: no field unit for the independent variable " + name + ".");
  const bool shear_angle = name == "Shear Angle";
  const auto in_file_units = [shear_angle](double v) {
    return shear_angle ? v / kDegreesPerRadian : v;
  };
  const Unit declared = shear_angle ? angle(declarations.unit_system) : field_units[i];
  const std::string id = declarations.parameter(name, true, &declared);
  std::vector<double> values = column(gil.independent, i);
  for (double& v : values) v = in_file_units(v);
  ptree& value = add_float_parameter(node, id, values, "Independent");
  const std::pair<double, double> range = gil.ranges.at(i);
  if (!write_options) return;
  add_qualifier(value, "Field Variable", name);
  add_qualifier(value, "Default Data",
                detail::format_matbook_number(in_file_units(gil.defaults.at(i))));
  add_qualifier(value, "Field Units", print_unit(field_units[i]));
  add_qualifier(value, "Upper Limit", detail::format_matbook_number(in_file_units(range.second)));
  add_qualifier(value, "Lower Limit", detail::format_matbook_number(in_file_units(range.first)));
}

bool is_kind(const std::string& name, Material::PropertyType::type type) {
  return name == Material::PropertyType::enum_str(type);
}

// One PropertyData in the general layout, with the fiber-angle and LaRC adjustments.
void write_general_property_data(ptree& bulk, const PropertySet& set, detail::GilContent gil,
                                 detail::MatbookDeclarations& declarations) {
  using PT = Material::PropertyType;
  const std::string name = set.name();
  ptree& data = bulk.add_child("PropertyData", ptree());
  data.put("<xmlattr>.property", declarations.property(name));
  detail::add_string_data(data);
  for (const std::string& key : set.get_string_property_keys()) {
    // The reference temperature has a PropertyData of its own.
    if (key == detail::kReferenceTemperature && is_kind(name, PT::thermal_expansion_coefficients))
      continue;
    add_qualifier(data, key, set.get_string_property(key));
  }
  if (is_kind(name, PT::fabric_fiber_angle)) {
    for (auto& row : gil.dependent) {
      for (double& v : row) v /= kDegreesPerRadian;
    }
  }
  if (set.is_constant()) {
    std::vector<std::string> names = gil.dependent_names;
    std::vector<double> values = gil.dependent.front();
    // The last LaRC constant has no counterpart in the file.
    if (is_kind(name, PT::larc_constants) && !names.empty()) {
      names.pop_back();
      values.pop_back();
    }
    detail::write_constant_parameters(data, names, values, declarations);
    return;
  }
  const bool options = !is_kind(name, PT::isotropic_hardening);
  detail::write_table_parameters(data, gil, set.field_units(), options,
                                 set.try_get_algorithm_bool_option("use_cgal_triangulation", false),
                                 set.try_get_algorithm_bool_option("project_to_convex_hull", false),
                                 declarations);
}

bool is_anisotropic_constant(const PropertySet& set) {
  return set.has_string_property("Behavior") &&
         set.get_string_property("Behavior") == "Anisotropic" && set.is_constant();
}

// Writes one property set by its kind.
void write_property_set(ptree& bulk, const Material& material, const PropertySet& set,
                        const detail::GilContent& gil, detail::MatbookDeclarations& declarations) {
  using PT = Material::PropertyType;
  const std::string name = set.name();
  const std::vector<std::string>& names = gil.dependent_names;
  const std::vector<double>& row = gil.dependent.front();
  if (is_kind(name, PT::woven_characterization)) {
    detail::write_woven_data_sets(bulk, material, names, row, declarations);
  } else if (is_kind(name, PT::woven_puck_constants_1) ||
             is_kind(name, PT::woven_puck_constants_2) ||
             is_kind(name, PT::woven_stress_limits_1) || is_kind(name, PT::woven_stress_limits_2) ||
             is_kind(name, PT::orientation_sensitivity_parameter)) {
    return;  // the woven ones go with the woven characterization; the last has no file form
  } else if (is_kind(name, PT::puck_constants)) {
    detail::write_puck_constants(bulk, set, names, row, declarations);
  } else if (is_kind(name, PT::engineering_constants) && is_anisotropic_constant(set)) {
    detail::write_anisotropic_elasticity(bulk, set, row, declarations);
  } else {
    if (is_kind(name, PT::thermal_expansion_coefficients) &&
        set.has_string_property(detail::kReferenceTemperature)) {
      detail::write_reference_temperature(bulk, set, declarations);
    }
    write_general_property_data(bulk, set, gil, declarations);
  }
}

void write_material(ptree& doc, const Material& material,
                    detail::MatbookDeclarations& declarations) {
  ptree& bulk = doc.add_child("Material", ptree()).add_child("BulkDetails", ptree());
  bulk.put("Name", material.name());
  const std::vector<std::string> keys = material.get_string_property_keys();
  if (std::find(keys.begin(), keys.end(), "Description") != keys.end()) {
    bulk.put("Description", material.get_string_property("Description"));
  }
  detail::write_ply_type(bulk, material, declarations);
  for (std::size_t j = 0; j < material.property_vec_size(); ++j) {
    if (j >= Material::PropertyType::count || !material.is_property_set_active(j)) continue;
    const PropertySet& set = material.at(j);
    if (!set.is_set()) continue;
    const detail::GilContent gil = detail::gil_content(set);
    QORVA_ASSERT_TEXT(gil.constants_match_names(), kConstantsMatchNames,
                      "write_matbook: GIL data and names not consistent in length.");
    write_property_set(bulk, material, set, gil, declarations);
  }
}

void write_transfer_data(ptree& tree, const std::vector<std::shared_ptr<Material>>& materials) {
  ptree& records = tree.put_child("MatbookData.QORVAHELMTransferData.Materials", ptree());
  for (const auto& material : materials) {
    if (!material->has_string_property(kTransferIdKey)) continue;
    ptree& record = records.add_child("Material", ptree());
    record.add("Name", material->name());
    record.add("DataTransferID", material->get_string_property(kTransferIdKey));
    record.add_child("PreviousTransferIDs", ptree());
  }
}

}  // namespace

unsigned int write_materials(std::string path, std::vector<std::shared_ptr<Material>>& materials,
                             std::shared_ptr<UnitSystem> unit_system) {
  return write_materials_t(std::move(path), materials, std::move(unit_system));
}

namespace {

// Logs a warning for the first set whose field units belong to another predefined system than
// the one the file declares: its dependent values are most likely held in that other system and
// would be declared in the wrong units.
void warn_about_other_systems(const std::string& path,
                              const std::vector<std::shared_ptr<Material>>& materials,
                              const UnitSystem& declared) {
  for (const auto& material : materials) {
    for (std::size_t j = 0; j < material->property_vec_size(); ++j) {
      if (!material->is_property_set_active(j)) continue;
      for (const Unit& unit : material->at(j).field_units()) {
        const auto held = unit.system();
        if (!held || held->type() == UnitSystem::UNDEFINED || held->type() == declared.type() ||
            unit.is_dimensionless())
          continue;
        QORVA_LOG(warning) << "write_matbook: " << path << ": " << material->name() << " / "
                           << material->at(j).name() << " has field units in "
                           << held->zepl_type_str() << ", but the file declares "
                           << declared.zepl_type_str()
                           << " units; the values are written as held, in case they are in "
                           << held->zepl_type_str() << " they read back wrong.";
        return;
      }
    }
  }
}

}  // namespace

// The public signature takes copies.
// NOLINTBEGIN(performance-unnecessary-value-param)
unsigned int write_materials_t(std::string path, std::vector<std::shared_ptr<Material>>& materials,
                               std::shared_ptr<UnitSystem> unit_system) {
  // NOLINTEND(performance-unnecessary-value-param)
  QORVA_ASSERT(unit_system != nullptr, "write_matbook: no unit system given.");
  for (const auto& material : materials) {
    QORVA_ASSERT(material != nullptr, "write_matbook: the material list holds a null material.");
  }
  warn_about_other_systems(path, materials, *unit_system);
  ptree tree;
  tree.put("MatbookData.<xmlattr>.version", kMatbookVersion);
  tree.add("MatbookData.<xmlattr>.versiondate", kMatbookVersionDate);
  ptree& doc = tree.put_child("MatbookData.Materials.MatML_Doc", ptree());
  detail::MatbookDeclarations declarations(unit_system);
  for (const auto& material : materials) write_material(doc, *material, declarations);
  doc.add_child("Metadata", declarations.metadata);
  write_transfer_data(tree, materials);
  detail::save_matbook_file(tree, path);
  return 0;
}

namespace detail {

void add_metadata_to_ptree(ptree& metadata, const std::string& kind, const std::string& name,
                           const std::string& prefix, std::size_t& counter, matbook_id_map_t& ids,
                           const std::shared_ptr<UnitSystem>& unit_system, bool name_is_file_name,
                           const Unit* unit) {
  const std::string file_name = name_is_file_name ? name : library_to_file_name(name);
  if (ids.find(file_name) != ids.end()) return;
  const std::string id = prefix + std::to_string(counter);
  // The declaration is completed before it is registered, so a failing unit leaves no trace.
  ptree declaration;
  declaration.put("<xmlattr>.id", id);
  declaration.put("Name", file_name);
  if (kind == "ParameterDetails" && file_name == "Fabric Fiber Angle") {
    put_explicit_unit(declaration, angle(make_unit_system("SI")));
  } else if (unit != nullptr) {
    put_explicit_unit(declaration, *unit);
  } else {
    put_category_unit(declaration, name, unit_system);
  }
  metadata.add_child(kind, declaration);
  ids.emplace(file_name, id);
  ++counter;
}

MatbookDeclarations::MatbookDeclarations(std::shared_ptr<UnitSystem> system)
    : unit_system(std::move(system)) {}

std::string MatbookDeclarations::property(const std::string& library_name, const Unit* unit) {
  add_metadata_to_ptree(metadata, "PropertyDetails", library_name, "pr", property_counter,
                        property_ids, unit_system, false, unit);
  return property_ids.at(library_to_file_name(library_name));
}

std::string MatbookDeclarations::parameter(const std::string& name, bool name_is_file_name,
                                           const Unit* unit) {
  add_metadata_to_ptree(metadata, "ParameterDetails", name, "pa", parameter_counter, parameter_ids,
                        unit_system, name_is_file_name, unit);
  return parameter_ids.at(name_is_file_name ? name : library_to_file_name(name));
}

std::string format_matbook_number(double value) {
  // std::to_chars never consults a locale; general format with precision 17 is "%.17g".
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 17);
  return std::string(buffer, result.ptr);
}

std::string format_matbook_list(const std::vector<double>& values) {
  std::string text;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i != 0) text += ',';
    text += format_matbook_number(values[i]);
  }
  return text;
}

ptree& add_qualifier(ptree& node, const std::string& name, const std::string& text) {
  ptree& qualifier = node.add("Qualifier", text);
  qualifier.add("<xmlattr>.name", name);
  return qualifier;
}

void add_string_data(ptree& property_data) {
  property_data.put("Data", "-");
  property_data.put("Data.<xmlattr>.format", "string");
}

void write_constant_parameters(ptree& node, const std::vector<std::string>& names,
                               const std::vector<double>& values,
                               MatbookDeclarations& declarations) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    ptree& value = node.add_child("ParameterValue", ptree());
    value.put("<xmlattr>.format", "float");
    value.put("<xmlattr>.parameter", declarations.parameter(names[i]));
    value.put("Data", format_matbook_number(values.at(i)));
  }
}

void write_table_parameters(ptree& node, const detail::GilContent& gil,
                            const std::vector<Unit>& field_units, bool write_options,
                            bool use_cgal_triangulation, bool project_to_convex_hull,
                            MatbookDeclarations& declarations) {
  if (write_options) {
    write_interpolation_options(node, gil, use_cgal_triangulation, project_to_convex_hull,
                                declarations);
  }
  const std::vector<std::string>& dependent_names = gil.dependent_names;
  for (std::size_t j = 0; j < dependent_names.size(); ++j) {
    const std::string id = declarations.parameter(dependent_names[j]);
    add_float_parameter(node, id, column(gil.dependent, j), "Dependent");
  }
  for (std::size_t i = 0; i < gil.independent_names.size(); ++i) {
    write_independent_parameter(node, gil, i, field_units, write_options, declarations);
  }
}

}  // namespace detail
}  // namespace qorva_mat
