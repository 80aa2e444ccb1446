// Writing the HDF5 material store (write_materials_hdf5) and the two-dimensional string dataset writer.
// Reading the store is in load_hdf5.hpp; typed attribute and dataset helpers are in hdf5_helpers.hpp.
#pragma once

#include <H5Cpp.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace qorva_mat {

class Material;
class PropertySet;

// Writes all materials to a new file at `path`, replacing any file there: group "Materials" with
// one group "Material<i>" per entry, i = 0, 1, ... Returns 0 on success. Returns 0xFFFFFFFF, after
// printing the HDF5 error stack (or the reason) to standard error, when HDF5 raises any
// H5::Exception, or when the file cannot be written: a missing folder, no permission, a read-only
// file at `path`, a directory of that name, a full disk or a file-size limit (these also log a
// warning "write_materials_hdf5: cannot write <path>: <reason>" or "... cannot replace ...").
// Other exceptions propagate: assertion_error for a null material, a ragged data table or a field
// unit without unit system, and runtime_error from Material::at.
// The store is built in memory, so HDF5 itself never meets a disk error, and then written with
// detail::replace_file: to a temporary file beside the target (a name within the 255-byte limit)
// that is synced and renamed over `path`; a symbolic link at `path` stays and the file it points
// to is replaced, keeping that file's permissions. On every failure, returned or thrown, no
// temporary file stays and a file previously at `path` is left as it was. Memory: about twice
// the size of the store while it is written.
unsigned int write_materials_hdf5(std::string path,
                                  std::vector<std::shared_ptr<Material>>& materials);

// One material into `group`: attribute "name", dataset "string_property" when there are string
// properties, and a group "Property<j>" per active slot j. Throws as write_materials_hdf5 does,
// HDF5 exceptions included.
void write_material(const Material& material, H5::Group& group);
// One property set into `group` (names, tables, ranges, defaults, field units, algorithm settings).
// Throws as write_materials_hdf5 does, HDF5 exceptions included.
void write_property_set(const PropertySet& set, H5::Group& group);

// Rank-2 variable-length string dataset (nrows, ncols) filled row by row from `values`.
// Throws assertion_error "Assertion 'nrows_ * ncols_ == values_.size()' failed. Shape missmatch"
// before creating anything when the shape does not fit; HDF5 failures propagate as HDF5's exceptions.
H5::DataSet create_vl_string_2d_dataset(H5::Group& group, const std::string& name,
                                        const std::vector<std::string>& values, std::size_t nrows,
                                        std::size_t ncols);

}  // namespace qorva_mat
