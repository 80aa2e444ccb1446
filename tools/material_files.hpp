// Opening and saving material files for the qorva-mat program: format detection and the unit system of the values.
// The file formats themselves are the library's (load_matbook, write_matbook, load_hdf5, write_hdf5).
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "qorva_mat/material.hpp"
#include "qorva_mat/units.hpp"

namespace qorva_cli {

// A mistake in the command line itself: the program exits with status 1.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A failure while doing what the command line asked: the program exits with status 2.
struct CommandError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

enum class FileFormat { matbook_xml, hdf5 };

// The format of an existing file, from its first bytes (the HDF5 signature, or XML markup).
// Throws CommandError when the file cannot be read or is neither.
FileFormat detect_format(const std::string& path);

// The format a new file gets from its extension: .xml, .h5 or .hdf5 (any case).
// Throws UsageError for any other extension.
FileFormat format_from_extension(const std::string& path);

// The unit systems named on the command line; empty when not given.
struct UnitOptions {
  std::string units;       // the system the output should use
  std::string from_units;  // the system of the values of an HDF5 store without that record
};

struct MaterialFile {
  std::vector<std::shared_ptr<qorva_mat::Material>> materials;
  // The system the values are expressed in; null when nothing says (an HDF5 store without a
  // recorded system whose field units do not agree, and no --from-units).
  std::shared_ptr<qorva_mat::UnitSystem> system;
  FileFormat format = FileFormat::matbook_xml;
};

// The system values are shown in when --units is not given, whatever the file holds.
inline const char* default_units() { return "SI"; }

// Loads `path` with its values in the --units system, SI when not given (Matbook files are
// converted while they load; HDF5 stores are converted through the Matbook path when their
// system differs). A store whose system is unknown is left as stored when --units is not given.
// Throws UsageError for an unknown system name, CommandError for a missing or unreadable file
// and for a store that must be converted but whose system is unknown, and what the library's
// loaders throw. A store is read once in a child process first: one that crashes or hangs the
// HDF5 library there is reported as damaged (CommandError), and this process never opens it.
MaterialFile load_material_file(const std::string& path, const UnitOptions& options);
// The same for one material: only the material named exactly `material` is read (the rest of a
// store stays unread, a Matbook file is parsed but its other materials are not built). When the
// file has no material of exactly that name, when the named one cannot be read, or when a store
// does not record its unit system, the whole file is read as above, so the result and failures
// are those of load_material_file; the material may then be missing (find_material reports it).
MaterialFile load_material_file(const std::string& path, const UnitOptions& options,
                                const std::string& material);

// Writes `file` to `path` in the format of its extension, in `file.system`. An HDF5 store records
// that system in the attribute "unit_system" of its "Materials" group.
// Throws UsageError for an unknown extension and CommandError when the file cannot be written
// or the system is unknown.
void save_material_file(const std::string& path, MaterialFile& file);

// A unit system by name; throws UsageError naming the accepted names.
std::shared_ptr<qorva_mat::UnitSystem> unit_system_by_name(const std::string& name);

}  // namespace qorva_cli
