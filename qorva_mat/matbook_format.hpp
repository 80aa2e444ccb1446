// The Matbook XML vocabulary shared by reader and writer: the name tables, value-list and qualifier decoding, field variables and interpolation options.
// Turning properties into property sets, unit conversion into a model system and writing files are left to load_matbook and write_matbook.
#pragma once

#include <boost/bimap.hpp>
#include <boost/property_tree/ptree.hpp>
#include <boost/unordered_map.hpp>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "qorva_mat/property_set.hpp"
#include "qorva_mat/units.hpp"

namespace qorva_mat {

// String-to-string hash map of the Matbook layer. Its checked lookup `at` throws
// std::out_of_range "Unable to find key in unordered_map.".
using matbook_string_umap_t = boost::unordered_map<std::string, std::string>;

// Two-way table of algorithm names: left = Matbook file name ("Linear Multivariate",
// "Nearest Neighbor", "Radial Basis"), right = engine name (AlgorithmTypeEnum::enum_str of 5, 1, 3).
using matbook_algorithm_bimap_t = boost::bimap<std::string, std::string>;

// Library name (property-set and variable names) -> Matbook file name; 142 entries.
// Built while the library loads and read-only afterwards. Code running during the static
// initialisation of another translation unit must use detail::plyx_2_matbook_table() instead,
// because this reference may not be bound yet at that time.
extern const matbook_string_umap_t& Plyx_2_Matbook_string_umap;
// Library variable name (or one of a few file names) -> unit category of the writer; 68 entries.
// Same lifetime rules as above; accessor detail::unit_category_table().
extern const matbook_string_umap_t& unit_map;
// The algorithm-name table; accessor detail::algorithm_name_table().
extern const matbook_algorithm_bimap_t& Matbook_algorithm_bimap;

namespace detail {

// The three tables above, each built on the first call (thread-safe) and never changed
// afterwards. Building the first one also builds the catalogue's variable-name lists.
// Throw only std::bad_alloc.
const matbook_string_umap_t& plyx_2_matbook_table();
const matbook_string_umap_t& unit_category_table();
const matbook_algorithm_bimap_t& algorithm_name_table();

// The double with bit pattern 0x39B0000000000001 (7.88860905221012e-31) that marks "no value".
double matbook_sentinel();

// One number in Boost lexical_cast's rules (optional sign, digits, fraction, exponent, "nan" and
// "inf" forms; nothing else, not even blanks), read independently of the process locale.
// Throws boost::bad_lexical_cast when the text is not entirely one number.
double parse_matbook_double(const std::string& text);

// Decodes the text of a float Data element: blanks (0x20) removed, fields split with
// escaped_list_separator (',' separator, '\' escape, '"' quote), each field one number as above.
// "" gives an empty list. Throws boost::bad_lexical_cast for an empty or non-numeric field
// (two commas in a row, a trailing comma) and boost::escaped_list_error for a malformed escape.
std::vector<double> decode_value_list(const std::string& text);

// The same text (blanks removed) read as exactly one number. Throws boost::bad_lexical_cast.
double decode_single_value(const std::string& text);

// Qualifier name -> text of the Qualifier children of `node`, a later one of the same name
// replacing an earlier one. Throws the property tree's ptree_bad_path when a Qualifier has no
// attribute "name".
matbook_string_umap_t read_qualifiers(const boost::property_tree::ptree& node);

// Dotted version text split at its first three '.', each part a 32-bit signed integer (optional
// sign, decimal digits). Throws qorva_mat::runtime_error
// "matbook_format: version '<text>' is not four dot-separated integers." otherwise.
std::array<std::int32_t, 4> parse_matbook_version(const std::string& text);

// Rewrites the old algorithm names of every "AlgorithmType" qualifier of every ParameterValue of
// every PropertyData of every Material when the root's version is older than 22.1.0.149.
// Returns the number of qualifiers rewritten. Throws ptree_bad_path when the root element,
// its version attribute or MatbookData.Materials.MatML_Doc is missing, and as
// parse_matbook_version for a malformed version.
std::size_t upgrade_algorithm_names(boost::property_tree::ptree& document);

// Library ply-type name of a Matbook ply-type file name ("Woven" -> "woven"); "" for a text
// that is no file ply type. Never throws apart from std::bad_alloc.
std::string library_ply_type(const std::string& file_name);

// One independent (field) variable: name, values, range (lower, upper), default, resolution,
// parameter id, unit (dimensionless of the MPA system as read; the loader converts it).
using field_variable_t = std::tuple<std::string, std::vector<double>, std::pair<double, double>,
                                    double, std::size_t, std::string, Unit>;

// The field variables of one PropertyData in document order (see the field-variable rules:
// "Field Variable" qualifier, or independent "Temperature"/"Plastic Strain"; an all-sentinel or
// empty "Temperature" is dropped; default, limits and resolution from the qualifiers or their
// fallbacks). Throws qorva_mat::runtime_error "get_variable_field_tuples: Parameter ID <id> not
// found in the property names." for a float ParameterValue with an undeclared id, and
// "get_variable_field_tuples: Parameter <name> (<id>) has no values to take its limits from."
// for an empty variable without explicit limits; ptree_bad_path for a missing parameter
// attribute, ptree_bad_data for a non-numeric limit, default or resolution, and
// boost::bad_lexical_cast for a malformed value list.
std::vector<field_variable_t> get_variable_field_tuples(
    const boost::property_tree::ptree& property_data, const matbook_string_umap_t& names);

// The interpolation options of one PropertyData: defaults, then the qualifiers of every string
// ParameterValue in document order, stopping after the one whose Data is "Interpolation Options".
// Unknown algorithm names leave the algorithm unchanged. Throws ptree_bad_path when a Qualifier
// has no "name" attribute.
GilOptions read_interpolation_options(const boost::property_tree::ptree& property_data);

}  // namespace detail
}  // namespace qorva_mat
