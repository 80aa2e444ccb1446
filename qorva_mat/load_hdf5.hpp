// Reading the HDF5 material store: load_materials_hdf5, the named dataset loaders and the variable-length readers.
// The file layout is defined together with write_hdf5.hpp; attribute lookups and type mapping are in hdf5_helpers.hpp.
#pragma once

#include <H5Cpp.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "qorva_mat/file_image.hpp"

namespace qorva_mat {

class Material;
class PropertySet;

// Reads the store at `path` and appends one new Material per "Materials"/"Material<i>" group, in
// increasing group-name order (Material10 before Material2); entries already in `materials` stay.
// The members of a group are listed once, so the time grows linearly with their number.
// Returns 0 on success. Returns 0xFFFFFFFF, after printing the HDF5 error stack to standard error,
// when HDF5 raises any H5::Exception (file, group, attribute, dataset, dataspace, type): a missing
// or unreadable file, no "Materials" group, a dataset of the wrong type, a damaged file that HDF5
// reports as such, or a dataset whose extents need more memory than the file justifies (see
// detail::checked_extents; nothing that large is allocated). After the first HDF5 error the file
// is not read any further, only closed. Materials appended before such a failure stay; the one
// being read is dropped.
// Throws assertion_error when a group lacks a required attribute or dataset or has a wrong shape,
// and passes on the errors of PropertySet::set, set_string_property and make_unit_system.
// What remains: libhdf5 1.10 itself does not survive every damaged file. Crafted or corrupted
// object headers, heaps and B-trees can corrupt memory or loop forever inside HDF5 (reached
// through attribute listing, string attribute reads, member lookup and file close), and the
// library cannot be used reliably in that process afterwards. No check made before reading can
// rule this out. A host that must survive untrusted stores reads them in a separate process
// first, as the qorva-mat program does.
unsigned int load_materials_hdf5(std::string path,
                                 std::vector<std::shared_ptr<Material>>& materials);

// The same from an HDF5 file image in memory (the bytes of a store, e.g. read once by a host and
// handed to many processes): same result, materials and failures as the path form. The bytes are
// read in place, never copied or changed, and must stay valid until the call returns. An image
// without bytes (null data or size 0) or bytes that are no store end in 0xFFFFFFFF like a missing
// or damaged file, with the HDF5 error stack on standard error (an image without bytes is named
// by image.name; HDF5's own messages name the in-memory file "/dev/null/qorva-mat-image-..." it
// opened). The same caution about damaged files applies.
unsigned int load_materials_hdf5(const FileImage& image,
                                 std::vector<std::shared_ptr<Material>>& materials);

// Only the materials named in `names` (exact, byte for byte, as a full load names them; a name
// with non-printable bytes reads with '?' in their place), from the file at `path` or from an
// image: the stored names are read first, every other material is left unread. The materials are
// appended in store order, each equal to the one a full load gives; a name stored several times
// gives every such material. An empty `names` reads nothing and returns 0.
// Throws runtime_error "load_hdf5: no material named '<a>', '<b>' in <path or image.name>." when
// a name is not in the store, before anything is appended. Otherwise results and failures are
// those of the forms without names.
unsigned int load_materials_hdf5(std::string path,
                                 std::vector<std::shared_ptr<Material>>& materials,
                                 const std::vector<std::string>& names);
unsigned int load_materials_hdf5(const FileImage& image,
                                 std::vector<std::shared_ptr<Material>>& materials,
                                 const std::vector<std::string>& names);

// One material from its group: name, string properties and every "Property<j>" group. Throws as
// load_materials_hdf5 does, HDF5 exceptions included.
std::shared_ptr<Material> read_material(H5::Group& group);
// One property set from its group. Throws as load_materials_hdf5 does, HDF5 exceptions included.
std::shared_ptr<PropertySet> read_property_set(H5::Group& group);

// Strings of a string dataset (variable-length, or fixed-length as written by other tools), one
// per element in storage order: as many as the first extent for rank 1 and (n, 1) data, every
// element for other shapes. A null variable-length element gives "". Throws H5::DataTypeIException
// for a dataset that does not hold strings, and HDF5's exception when the read fails.
std::vector<std::string> read_vl_string_dataset(const H5::DataSet& dataset);
// The rows * columns strings of a rank-2 string dataset in storage order. Throws assertion_error
// "Assertion 'num_dims==2' failed. num_dims==2" for another rank, otherwise as read_vl_string_dataset.
std::vector<std::string> read_vl_2d_string_dataset(const H5::DataSet& dataset);
// Replaces `out` with read_vl_string_dataset(dataset); throws what that throws (`out` then unchanged).
void load_string_dataset(const H5::DataSet& dataset, std::vector<std::string>& out);

// Rows of a variable-length integer dataset, one inner vector per element. Throws HDF5's
// exception when the data cannot be read as variable-length ints.
std::vector<std::vector<int>> read_vl_int_dataset(const H5::DataSet& dataset);
// The same rows as one block: returns n + 1 pointers (n = number of rows, stored in `n`) where
// entry i points at row i's first integer and entry n one past the last integer. The pointer array
// and the integer block (entry 0, null when there are no integers) are allocated with the global
// operator new and released by the caller with operator delete. Throws as the form above.
int** read_vl_int_dataset(const H5::DataSet& dataset, std::size_t& n);

// Named loaders: find dataset `name` in `group` without regard to case and read it into `out`;
// return and set `found`. A missing dataset is logged, not thrown; a dataset that HDF5 cannot read
// as the element type throws HDF5's exception (H5::DataSetIException).
// Bytes, element true exactly when the byte is 1. Not found: debug "DataSet <name> not found.", `out` emptied.
bool load_dataset_named(H5::Group& group, const std::string& name, std::vector<bool>& out,
                        bool& found);
// Not found: debug "DataSet <name> not found.", `out` unchanged.
bool load_short_dataset_named(H5::Group& group, const std::string& name, std::vector<short>& out,
                              bool& found);
bool load_double_dataset_named(H5::Group& group, const std::string& name, std::vector<double>& out,
                               bool& found);
// Not found: warning "DataSet <name> missing.", `out` unchanged. Otherwise as load_string_dataset.
bool load_string_dataset_named(H5::Group& group, const std::string& name,
                               std::vector<std::string>& out, bool& found);
// Rank-2 dataset into the flat `out` (storage order) with its extents in `nrows` and `ncols`.
// Not found: warning "Cannot open DataSet <name>", nothing changed. Another rank throws
// assertion_error "Assertion 'dspace.getSimpleExtentNdims()==2' failed. dspace.getSimpleExtentNdims()==2 failed".
// Instantiated for std::vector<short> and std::vector<double>.
template <class C>
bool load_dataset_2d_named(H5::Group& group, const std::string& name, C& out, bool& found,
                           std::size_t& nrows, std::size_t& ncols);

}  // namespace qorva_mat
