// Writing materials to a Matbook XML file: document layout, declarations with units, number format and the save.
// Reading files, the shared name tables and the property model belong to load_matbook, matbook_format and material.
#pragma once

#include <boost/property_tree/ptree.hpp>
#include <boost/unordered_map.hpp>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "qorva_mat/material.hpp"
#include "qorva_mat/property_set.hpp"
#include "qorva_mat/units.hpp"

namespace qorva_mat {

// Saves `materials` as one Matbook file at `path`. The numbers are written as the property sets
// hold them; `unit_system` decides which units are declared for them, so it must be the system
// the values are in (a warning is logged when a set's field units say otherwise). Returns 0, and
// returns only when the whole file was written: a failure is never a return value. Inconsistent or
// unmappable materials throw (assertion_error, runtime_error, std::out_of_range,
// boost::bad_lexical_cast) before the file is touched; a null `unit_system` throws
// assertion_error. When the file cannot be written (a missing folder, no permission, a read-only
// file, a directory of that name, a full disk) runtime_error "write_matbook: cannot write <path>:
// <reason>" or "write_matbook: cannot replace <path>: <reason>" is thrown after a warning with
// the same text is logged; the previous file (if any) is left as it was and no temporary file
// stays behind. Paths whose file name is close to the 255-byte limit can be written.
unsigned int write_materials(std::string path, std::vector<std::shared_ptr<Material>>& materials,
                             std::shared_ptr<UnitSystem> unit_system);

// The writer behind write_materials; same arguments, result and failures.
unsigned int write_materials_t(std::string path, std::vector<std::shared_ptr<Material>>& materials,
                               std::shared_ptr<UnitSystem> unit_system);

namespace detail {

struct GilContent;  // the engine content by field, detail/gil_content.hpp

using matbook_id_map_t = boost::unordered_map<std::string, std::string>;

// Declares `name` once per kind ("PropertyDetails" or "ParameterDetails") in `metadata`: the
// first time, the id `prefix` + `counter` is given (and `counter` incremented) and a
// declaration with the file name and its unit is added; later calls change nothing. With
// `name_is_file_name` false the name is a library name and is translated through
// Plyx_2_Matbook_string_umap (assertion_error "... not found in Plyx_2_Matbook_string_umap"
// otherwise). `unit` null means the unit_map category of `name` applies (runtime_error
// "write_matbook: unit name not found in unit_map." for an unknown category). Returns nothing.
void add_metadata_to_ptree(boost::property_tree::ptree& metadata, const std::string& kind,
                           const std::string& name, const std::string& prefix, std::size_t& counter,
                           matbook_id_map_t& ids, const std::shared_ptr<UnitSystem>& unit_system,
                           bool name_is_file_name, const Unit* unit);

// Everything that is shared by all materials of one document: the metadata being built, the two
// declaration counters and id maps, and the unit system the declared units are formed in.
struct MatbookDeclarations {
  explicit MatbookDeclarations(std::shared_ptr<UnitSystem> system);

  // Declares a property name (kind "PropertyDetails", id prefix "pr") and returns its id.
  // Throws as add_metadata_to_ptree.
  std::string property(const std::string& library_name, const Unit* unit = nullptr);
  // Declares a parameter name (kind "ParameterDetails", id prefix "pa") and returns its id.
  // `name_is_file_name` as in add_metadata_to_ptree. Throws as add_metadata_to_ptree.
  std::string parameter(const std::string& name, bool name_is_file_name = false,
                        const Unit* unit = nullptr);

  boost::property_tree::ptree metadata;
  std::size_t property_counter = 0;
  std::size_t parameter_counter = 0;
  matbook_id_map_t property_ids;
  matbook_id_map_t parameter_ids;
  std::shared_ptr<UnitSystem> unit_system;
};

// The unit of a unit_map category ("density", "stress", "thermal expansion", "temperature",
// "angle", "thermal conductivity", "specific heat") in `system`. Throws runtime_error
// "write_matbook: unit name not found in unit_map." for any other category, assertion_error
// for a null `system`.
Unit category_unit(const std::string& category, const std::shared_ptr<UnitSystem>& system);

// A double as C's "%.17g" would print it in the "C" locale (0.1 -> "0.10000000000000001"),
// whatever the process locale. Never throws apart from std::bad_alloc.
std::string format_matbook_number(double value);

// The numbers in the number format above, joined by "," without blanks ("" for none).
std::string format_matbook_list(const std::vector<double>& values);

// Adds one float ParameterValue per (names[i], values[i]) to `node`, declaring each name as a
// library name with its unit_map unit. Throws std::out_of_range when `values` is shorter than
// `names`, and as add_metadata_to_ptree.
void write_constant_parameters(boost::property_tree::ptree& node,
                               const std::vector<std::string>& names,
                               const std::vector<double>& values,
                               MatbookDeclarations& declarations);

// Adds the ParameterValues of a tabular property set to `node`: the interpolation options
// (when `write_options`), one per dependent variable, one per independent variable (with the
// field-variable qualifiers when `write_options`). `field_units` holds one unit per independent
// variable. Throws assertion_error naming the variable when its field unit is missing,
// std::out_of_range when a table row is shorter than the names, and as add_metadata_to_ptree.
void write_table_parameters(boost::property_tree::ptree& node, const GilContent& gil,
                            const std::vector<Unit>& field_units, bool write_options,
                            bool use_cgal_triangulation, bool project_to_convex_hull,
                            MatbookDeclarations& declarations);

// Marks `node` as woven data set `data_set` (1 or 2): the "Woven Specification for Puck"
// ParameterValue and the "Data Set" and "Data Set Information" qualifiers. Must run before any
// other ParameterValue or Qualifier is added to `node`. Throws as add_metadata_to_ptree.
void add_woven_specification(boost::property_tree::ptree& node, int data_set,
                             MatbookDeclarations& declarations);

// Adds a Qualifier with `text` and the attribute name = `name` to `node`; returns it. Throws
// only std::bad_alloc.
boost::property_tree::ptree& add_qualifier(boost::property_tree::ptree& node,
                                           const std::string& name, const std::string& text);

// Adds the property-level Data "-" of format "string" to `property_data`. Throws only
// std::bad_alloc.
void add_string_data(boost::property_tree::ptree& property_data);

// The string-property key of a thermal-expansion set that holds its reference temperature.
inline const std::string kReferenceTemperature = "Zero-Thermal-Strain Reference Temperature";

// The property kinds with a layout of their own. Each adds its PropertyData elements to the
// BulkDetails node `bulk`; `names` and `row` are the set's dependent names and constant row.

// The "Ply Type" PropertyData, when the material has a ply type other than "undefined".
// Throws std::out_of_range when the ply type has no file name.
void write_ply_type(boost::property_tree::ptree& bulk, const Material& material,
                    MatbookDeclarations& declarations);
// The reference-temperature PropertyData of a thermal-expansion set. Throws
// boost::bad_lexical_cast when the temperature text is not one number.
void write_reference_temperature(boost::property_tree::ptree& bulk, const PropertySet& set,
                                 MatbookDeclarations& declarations);
// "Puck Constants" and "Additional Puck Constants". Throws std::out_of_range when the set has
// no classification or the classification has no file name.
void write_puck_constants(boost::property_tree::ptree& bulk, const PropertySet& set,
                          const std::vector<std::string>& names, const std::vector<double>& row,
                          MatbookDeclarations& declarations);
// The six columns "D[*,1]" ... "D[*,6]" of a constant anisotropic elasticity. Throws
// assertion_error unless `row` holds the 21 constants.
void write_anisotropic_elasticity(boost::property_tree::ptree& bulk, const PropertySet& set,
                                  const std::vector<double>& row,
                                  MatbookDeclarations& declarations);
// The two woven data sets (five PropertyData each) of a woven characterization, with the
// woven stress-limit and Puck sets of `material`. Throws runtime_error when one of those sets is
// missing, assertion_error when one is not set, inconsistent or unclassified, and
// std::out_of_range when `row` is shorter than the twelve woven names.
void write_woven_data_sets(boost::property_tree::ptree& bulk, const Material& material,
                           const std::vector<std::string>& names, const std::vector<double>& row,
                           MatbookDeclarations& declarations);

// The document text save_matbook_file writes for `tree`: XML without the declaration line, with
// the empty "Field Units" qualifier spelled out and the entities that are safe where they stand
// decoded. Throws the property tree's xml_parser_error when serialisation fails.
std::string matbook_document_text(const boost::property_tree::ptree& tree);

// Writes matbook_document_text(tree) to `path` with detail::replace_file, so a failure never
// leaves a partial file there. Throws what matbook_document_text throws, and runtime_error as
// write_materials says when the file cannot be written.
void save_matbook_file(const boost::property_tree::ptree& tree, const std::string& path);

}  // namespace detail
}  // namespace qorva_mat
