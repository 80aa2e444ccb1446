// Matbook writer: the property kinds whose file layout differs from the general PropertyData.
#include "qorva_mat/detail/gil_content.hpp"
#include "qorva_mat/error.hpp"
#include "qorva_mat/matbook_format.hpp"
#include "qorva_mat/property_factory.hpp"
#include "qorva_mat/write_matbook.hpp"

namespace qorva_mat {
namespace detail {

using boost::property_tree::ptree;

namespace {

using PT = Material::PropertyType;

std::string file_name_of(const std::string& library_name) {
  return Plyx_2_Matbook_string_umap.at(library_name);
}

// Puck constants are split over two file properties: group A is all but the last three,
// group B everything from the fifth on.
template <typename T>
std::vector<T> puck_group_a(const std::vector<T>& all) {
  const std::size_t n = all.size() > 3 ? all.size() - 3 : 0;
  return std::vector<T>(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(n));
}

template <typename T>
std::vector<T> puck_group_b(const std::vector<T>& all) {
  if (all.size() <= 4) return {};
  return std::vector<T>(all.begin() + 4, all.end());
}

ptree& add_woven_property_data(ptree& bulk, const std::string& library_name, int data_set,
                               MatbookDeclarations& declarations) {
  ptree& data = bulk.add_child("PropertyData", ptree());
  data.put("<xmlattr>.property", declarations.property(library_name));
  add_string_data(data);
  add_woven_specification(data, data_set, declarations);
  return data;
}

// Orthotropic elasticity of one woven data set; the out-of-plane constants are derived from the
// in-plane ones.
void write_woven_elasticity(ptree& bulk, const std::vector<std::string>& names,
                            const std::vector<double>& row, int data_set,
                            MatbookDeclarations& declarations) {
  const std::size_t o = 2 + 5 * static_cast<std::size_t>(data_set - 1);
  ptree& data = add_woven_property_data(bulk, PT::enum_str(PT::woven_characterization), data_set,
                                        declarations);
  const auto& ortho = PropertyFactory::get_orthotropic_elasticity_names();
  std::vector<std::string> set_names;
  std::vector<double> set_values;
  for (std::size_t k = o; k < o + 5; ++k) {
    set_names.push_back(names.at(k));
    set_values.push_back(row.at(k));
  }
  const double e2 = row.at(o + 1);
  const double g12 = row.at(o + 2);
  const double g23 = row.at(o + 3);
  const double nu12 = row.at(o + 4);
  set_names.insert(set_names.end(), {ortho.at(2), ortho.at(5), ortho.at(7), ortho.at(8)});
  set_values.insert(set_values.end(), {e2, g12, nu12, e2 / (2 * g23) - 1.0});
  write_constant_parameters(data, set_names, set_values, declarations);
}

// Conditions reported when a woven data set's stress-limit or Puck set is missing or malformed.
constexpr char kStressLimitsSet[] = "sl_gil_wrapper.is_set()";
constexpr char kStressLimitsMatchNames[] = "sl_const_data_vec.size() == sl_const_name_vec.size()";
constexpr char kPuckSet[] = "p_gil_wrapper.is_set()";
constexpr char kPuckMatchNames[] = "p_const_data_vec.size() == p_const_name_vec.size()";
constexpr char kPuckClassified[] =
    "p_gil_wrapper.has_string_property(qorva_mat::ORTHOTROPIC_MATERIAL_PUCK_CLASSIFICATION)";

void write_woven_stress_limits(ptree& bulk, const Material& material, int data_set,
                               MatbookDeclarations& declarations) {
  const PropertySet& limits =
      material.at(data_set == 1 ? PT::woven_stress_limits_1 : PT::woven_stress_limits_2);
  QORVA_ASSERT_TEXT(limits.is_set(), kStressLimitsSet,
                    "write_matbook: GIL not set for Puck for Woven.");
  const GilContent content = gil_content(limits);
  QORVA_ASSERT_TEXT(content.constants_match_names(), kStressLimitsMatchNames,
                    "write_matbook: GIL data and names not consistent in length.");
  ptree& data = add_woven_property_data(bulk, limits.name(), data_set, declarations);
  write_constant_parameters(data, content.dependent_names, content.dependent.front(), declarations);
}

void write_woven_puck(ptree& bulk, const Material& material, int data_set,
                      MatbookDeclarations& declarations) {
  const PropertySet& puck =
      material.at(data_set == 1 ? PT::woven_puck_constants_1 : PT::woven_puck_constants_2);
  QORVA_ASSERT_TEXT(puck.is_set(), kPuckSet, "write_matbook: GIL not set for Puck for Woven.");
  const GilContent content = gil_content(puck);
  QORVA_ASSERT_TEXT(content.constants_match_names(), kPuckMatchNames,
                    "write_matbook: GIL data and names not consistent in length.");
  ptree& data = add_woven_property_data(bulk, puck.name(), data_set, declarations);
  QORVA_ASSERT_TEXT(puck.has_string_property(ORTHOTROPIC_MATERIAL_PUCK_CLASSIFICATION),
                    kPuckClassified,
                    "write_matbook: ORTHOTROPIC_MATERIAL_PUCK_CLASSIFICATION not set.");
  const std::string classification =
      puck.get_string_property(ORTHOTROPIC_MATERIAL_PUCK_CLASSIFICATION);
  if (classification != PUCK_CLASSIFICATION_IGNORED) {
    add_qualifier(data, "Material Classification", file_name_of(classification));
  }
  const std::vector<std::string>& names = content.dependent_names;
  const std::vector<double>& row = content.dependent.front();
  write_constant_parameters(data, puck_group_a(names), puck_group_a(row), declarations);
  ptree& additional =
      add_woven_property_data(bulk, "Additional Puck Constants", data_set, declarations);
  write_constant_parameters(additional, puck_group_b(names), puck_group_b(row), declarations);
}

}  // namespace

void write_ply_type(ptree& bulk, const Material& material, MatbookDeclarations& declarations) {
  if (!material.has_string_property("Ply Type")) return;
  const std::string ply_type = material.get_string_property("Ply Type");
  if (ply_type == PropertyFactory::PlyTypes::enum_str(PropertyFactory::PlyTypes::type(6))) return;
  const std::string id = declarations.property("Ply Type");
  // Written before any property set, so this is the material's first PropertyData.
  ptree& data = bulk.add_child("PropertyData", ptree());
  data.put("<xmlattr>.property", id);
  add_string_data(data);
  data.put("Qualifier", "Plyx");
  data.put("Qualifier.<xmlattr>.name", "source");
  add_qualifier(data, "Type", file_name_of(ply_type));
}

void write_reference_temperature(ptree& bulk, const PropertySet& set,
                                 MatbookDeclarations& declarations) {
  ptree& data = bulk.add_child("PropertyData", ptree());
  add_string_data(data);
  const Unit unitless = dimensionless(declarations.unit_system);
  data.put("<xmlattr>.property", declarations.property(kReferenceTemperature, &unitless));
  for (const std::string& key : set.get_string_property_keys()) {
    if (key != kReferenceTemperature) add_qualifier(data, key, set.get_string_property(key));
  }
  const double temperature = parse_matbook_double(set.get_string_property(kReferenceTemperature));
  write_constant_parameters(data, {kReferenceTemperature}, {temperature}, declarations);
  ptree& material_property = data.add_child("ParameterValue", ptree());
  material_property.put("<xmlattr>.format", "string");
  material_property.add("<xmlattr>.parameter", declarations.parameter("Material Property"));
  material_property.add("Data", "Coefficient of Thermal Expansion");
}

void write_puck_constants(ptree& bulk, const PropertySet& set,
                          const std::vector<std::string>& names, const std::vector<double>& row,
                          MatbookDeclarations& declarations) {
  ptree& data = bulk.add_child("PropertyData", ptree());
  data.put("<xmlattr>.property", declarations.property(PT::enum_str(PT::puck_constants)));
  add_string_data(data);
  const std::string classification =
      set.get_string_property(ORTHOTROPIC_MATERIAL_PUCK_CLASSIFICATION);
  if (classification != PUCK_CLASSIFICATION_IGNORED) {
    data.put("Qualifier", file_name_of(classification));
    data.put("Qualifier.<xmlattr>.name", "Material Classification");
  }
  write_constant_parameters(data, puck_group_a(names), puck_group_a(row), declarations);
  ptree& additional = bulk.add_child("PropertyData", ptree());
  add_string_data(additional);
  additional.put("<xmlattr>.property", declarations.property("Additional Puck Constants"));
  write_constant_parameters(additional, puck_group_b(names), puck_group_b(row), declarations);
}

void write_anisotropic_elasticity(ptree& bulk, const PropertySet& set,
                                  const std::vector<double>& row,
                                  MatbookDeclarations& declarations) {
  QORVA_ASSERT(row.size() == 21, "write_matbook: anisotropic elasticity needs 21 constants.");
  ptree& data = bulk.add_child("PropertyData", ptree());
  data.put("<xmlattr>.property", declarations.property(set.name()));
  add_string_data(data);
  for (const std::string& key : set.get_string_property_keys()) {
    add_qualifier(data, key, set.get_string_property(key));
  }
  // table[k][r]: column k, row r. The lower triangle is filled column by column; the entries
  // above the diagonal, which the library does not hold, keep the sentinel.
  std::vector<std::vector<double>> table(6, std::vector<double>(6, matbook_sentinel()));
  std::size_t next = 0;
  for (std::size_t k = 0; k < 6; ++k) {
    for (std::size_t r = k; r < 6; ++r) table[k][r] = row[next++];
  }
  for (std::size_t k = 0; k < 6; ++k) {
    ptree& column = data.add_child("ParameterValue", ptree());
    column.put("<xmlattr>.format", "float");
    column.put("<xmlattr>.parameter", declarations.parameter("D[*," + std::to_string(k + 1) + "]"));
    column.add("Data", format_matbook_list(table[k]));
  }
}

void write_woven_data_sets(ptree& bulk, const Material& material,
                           const std::vector<std::string>& names, const std::vector<double>& row,
                           MatbookDeclarations& declarations) {
  for (int data_set = 1; data_set <= 2; ++data_set) {
    write_woven_elasticity(bulk, names, row, data_set, declarations);
    write_woven_stress_limits(bulk, material, data_set, declarations);
    write_woven_puck(bulk, material, data_set, declarations);
    ptree& fiber = add_woven_property_data(bulk, "Fiber Angle", data_set, declarations);
    const std::size_t k = static_cast<std::size_t>(data_set - 1);
    write_constant_parameters(fiber, {names.at(k)}, {row.at(k)}, declarations);
  }
}

void add_woven_specification(ptree& node, int data_set, MatbookDeclarations& declarations) {
  ptree& marker = node.add_child("ParameterValue", ptree());
  marker.put("Data", "Woven Specification for Puck");
  marker.put("<xmlattr>.format", "string");
  marker.add("<xmlattr>.parameter", declarations.parameter("Material Property"));
  add_qualifier(node, "Data Set", std::to_string(data_set));
  add_qualifier(node, "Data Set Information",
                "minOccurrences::2$$maxOccurrences::2$$Name::Unidirectional");
}

}  // namespace detail
}  // namespace qorva_mat
