// Loading Matbook XML files into materials, with every value converted into the caller's model unit system.
// The file vocabulary is matbook_format's, the property model material's and property_set's, writing is write_matbook's.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "qorva_mat/file_image.hpp"
#include "qorva_mat/material.hpp"
#include "qorva_mat/units.hpp"

namespace qorva_mat {

// Corrections for two weaknesses of the Matbook unit declarations. Both are ON by default, also
// for load_materials without options: with them off, files this library writes in one unit
// system read back wrong in another (a specific heat written in MPA as "C^-1 mm^2 s^-2" loses
// its factor 1e6, a density written in MPA as "t mm^-3" is not converted at all). A declaration
// whose product has the numeric factor 1 (every one whose factors share one unit system) and
// that uses only symbols of the unit-symbol table reads the same either way, so only readings
// that would be wrong change. Setting both flags false reads strictly as the format prescribes;
// whenever a flag that is off leaves a value wrong, a warning naming the property or parameter
// id is logged, as it is for a declaration with a symbol nobody knows (whose values are read
// without conversion).
struct MatbookLoadOptions {
  // A declaration is multiplied left to right and only the product's unit is kept, so "N" then
  // "mm" with power -2 reads as Pa and every value would be off by 1e6. With this flag the
  // numeric factor of the product is applied to the values (only when they are converted at
  // all, i.e. with a model unit system that is not UNDEFINED).
  bool keep_unit_factors = true;
  // The library's own writer declares units with the names "t", "psi", "lbf", "uN" and "dyn",
  // which the unit-symbol table does not hold; without this flag such declarations are ignored
  // and their values are not converted. With it the five names are read as the tonne (MPA), the
  // psi and pound-force (BIN), the micronewton (uMKS) and the dyne (CGS).
  bool extended_unit_symbols = true;
};

// Reads the Matbook file at `path` into `materials`: each file material updates the first
// material of the vector that matches it (by transfer id, else by name) or is appended as a new
// one. Values are converted into `unit_system`, with the corrections of MatbookLoadOptions{}
// (both on); a null system logs a warning and keeps the values as read. Returns the number of
// Material elements of the file.
// Nothing is rolled back: a failure leaves the materials read or changed before it in the
// vector. Throws, unchanged:
//  - boost::property_tree::xml_parser_error when the file cannot be opened or is no XML, or
//    when its elements nest deeper than detail::kMaxXmlDepth (256) levels;
//  - ptree_bad_path ("No such node (...)") for a missing required element or attribute, and
//    ptree_bad_data for a non-numeric qualifier or attribute where a number is needed, among
//    them a Unit "power" that is not an integer ("load_matbook: the power '<text>' of the unit
//    '<symbol>' declared for <id> is not an integer.");
//  - boost::bad_lexical_cast for a malformed value list or constant, and
//    boost::escaped_list_error for a value list with an unknown escape sequence ("\x") or an
//    unterminated quote;
//  - qorva_mat::runtime_error "matbook_format: version '<v>' is not four dot-separated
//    integers." before any material is read;
//  - std::out_of_range "Unable to find key in unordered_map." for a parameter or qualifier that
//    a property needs but does not have;
//  - qorva_mat::assertion_error / runtime_error for inconsistent property data
//    ("load_matbook: Construct orthotropic material, inconsistent input.", ...), and whatever
//    PropertySet::set raises.
// Choices where the format leaves the reader free, made so that data are never silently wrong:
//  - a Density or Specific Heat whose float Data list is empty throws runtime_error
//    "load_matbook: <name> (<id>) has an empty Data list.";
//  - a column-form anisotropic elasticity whose columns hold fewer than six values throws
//    assertion_error "Assertion 'D_1.size() >= 6' failed. load_matbook: Construct anisotropic
//    material, every column needs six values.", and one whose field variables describe other
//    than one data point throws runtime_error "load_matbook: Construct anisotropic material,
//    the column form holds one data point only.";
//  - a tabular property whose field variables and dependent lists hold different numbers of
//    points throws assertion_error with the message "load_matbook: <name> (<id>): field variables
//    and dependent values differ in their number of data points.";
//  - a field variable with no values and no explicit limits throws (see matbook_format);
//  - a thermal expansion whose "Definition" is "Instantaneous" becomes the instantaneous kind
//    (same variable names as the secant kind), other definitions the secant kind;
//  - a "Hill Yield Criterion" without the qualifier "Separated Hill Potentials for Plasticity
//    and Creep" counts as "No";
//  - a Puck property without "Material Classification" is classified "ignored", because the
//    writer leaves the qualifier out for that classification;
//  - with no model system, field variables keep their declared (unconverted) units, and a
//    "Shear Angle" in radian is still turned into degrees.
unsigned int load_materials(std::string path, std::vector<std::shared_ptr<Material>>& materials,
                            std::shared_ptr<UnitSystem> unit_system);

// As above, with the corrections of `options`. Throws as above.
unsigned int load_materials(std::string path, std::vector<std::shared_ptr<Material>>& materials,
                            std::shared_ptr<UnitSystem> unit_system,
                            const MatbookLoadOptions& options);

// The same from a Matbook document held in memory (for example a file read once by a host and
// handed to many processes): same results and failures as the path forms, with image.name in
// place of the path in parse errors and log records. The bytes are read, never kept or changed.
// An empty image reads like an empty file (xml_parser_error); null data with a non-zero size
// throws runtime_error "load_matbook: the file image <name> has no data.".
unsigned int load_materials(const FileImage& image,
                            std::vector<std::shared_ptr<Material>>& materials,
                            std::shared_ptr<UnitSystem> unit_system);
unsigned int load_materials(const FileImage& image,
                            std::vector<std::shared_ptr<Material>>& materials,
                            std::shared_ptr<UnitSystem> unit_system,
                            const MatbookLoadOptions& options);

// Only the file materials whose BulkDetails Name is listed in `names` (exact match), from the file
// at `path` or from an image: the whole document is parsed, but no other material is built. Each
// selected material is read exactly as by a full load, in file order, matched against `materials`
// the same way; a name given twice in the file reads both. A file material that would update
// another one through a shared transfer id is read only when its own name is listed. Returns the
// number of file materials read; an empty `names` reads none.
// Throws runtime_error "load_matbook: no material named '<a>', '<b>' in <path or image.name>."
// when a listed name is not in the file, before any material is read; otherwise as above.
unsigned int load_materials(std::string path, std::vector<std::shared_ptr<Material>>& materials,
                            std::shared_ptr<UnitSystem> unit_system,
                            const MatbookLoadOptions& options,
                            const std::vector<std::string>& names);
unsigned int load_materials(const FileImage& image,
                            std::vector<std::shared_ptr<Material>>& materials,
                            std::shared_ptr<UnitSystem> unit_system,
                            const MatbookLoadOptions& options,
                            const std::vector<std::string>& names);

// The loader behind load_materials; same arguments, result and failures.
unsigned int load_materials_t(std::string path, std::vector<std::shared_ptr<Material>>& materials,
                              std::shared_ptr<UnitSystem> unit_system);
unsigned int load_materials_t(std::string path, std::vector<std::shared_ptr<Material>>& materials,
                              std::shared_ptr<UnitSystem> unit_system,
                              const MatbookLoadOptions& options);

namespace detail {

// A value in `unit` expressed in `model`: unchanged when the unit is dimensionless or the model
// is null or UNDEFINED; temperatures are converted as readings (offsets included), everything
// else as a plain factor. Throws assertion_error when `unit` has no unit system.
double convert_value(double value, const Unit& unit, std::shared_ptr<UnitSystem> model);

}  // namespace detail
}  // namespace qorva_mat
