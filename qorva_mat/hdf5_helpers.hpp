// Typed HDF5 helpers: element-type mapping, attribute and dataset creation, name lookups and plain readers.
// The two-dimensional string writer is in write_hdf5.hpp, the named loaders and variable-length readers in load_hdf5.hpp.
#pragma once

#include <H5Cpp.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace qorva_mat {

// HDF5 element type of a C++ value type; the argument's value is ignored. Never throws.
const H5::PredType& get_pred_type(const unsigned char&);
const H5::PredType& get_pred_type(const short&);
const H5::PredType& get_pred_type(const unsigned short&);
const H5::PredType& get_pred_type(const int&);
const H5::PredType& get_pred_type(const unsigned int&);
const H5::PredType& get_pred_type(const unsigned long&);       // NATIVE_ULLONG
const H5::PredType& get_pred_type(const unsigned long long&);  // NATIVE_ULLONG
const H5::PredType& get_pred_type(const double&);
const H5::PredType& get_pred_type(const bool&);  // NATIVE_HBOOL
// Variable-length, NUL-terminated C string type. Throws H5::DataTypeIException if HDF5 cannot
// build the type.
H5::StrType get_pred_type(const std::string&);

// Attribute creation: each creates attribute `name` on `obj`, writes the value and returns the
// attribute. HDF5 failures (for example an attribute of that name already exists) propagate as
// the HDF5 library's exceptions (H5::AttributeIException and relatives).
H5::Attribute create_bool_attribute(H5::H5Object& obj, const std::string& name,
                                    bool value);  // scalar byte 1/0
H5::Attribute create_short_attribute(H5::H5Object& obj, const std::string& name,
                                     const short& value);
H5::Attribute create_int_attribute(H5::H5Object& obj, const std::string& name, const int& value);
H5::Attribute create_uint32_attribute(H5::H5Object& obj, const std::string& name,
                                      const unsigned int& value);
H5::Attribute create_uint64_attribute(H5::H5Object& obj, const std::string& name,
                                      const unsigned long long& value);
H5::Attribute create_double_attribute(H5::H5Object& obj, const std::string& name,
                                      const double& value);
// Scalar fixed-length string of exactly value.size() bytes, no NUL stored. An empty value is
// rejected by HDF5 (string type of size 0): H5::DataTypeIException.
H5::Attribute create_str_attribute(H5::H5Object& obj, const std::string& name,
                                   const std::string& value);
// Variable-length string attribute with a rank-1 dataspace of one element.
H5::Attribute create_vl_str_attribute(H5::H5Object& obj, const std::string& name,
                                      const std::string& value);

// Dataset creation in `group` (a file is a group too). HDF5 failures propagate as the HDF5
// library's exceptions; an empty value list creates the dataset and writes nothing. Datasets of at
// most detail::kCompactDataLimit bytes are stored in their object header (compact layout: no
// separate data block to find and read), larger ones in one contiguous block; never chunked.
// Rank-1 variable-length string dataset, one element per value.
H5::DataSet create_vl_string_dataset(H5::Group& group, const std::string& name,
                                     const std::vector<std::string>& values);
// Rank-2 dataset (nrows, ncols) filled row by row from the flat `data`, written with `type` as
// memory type. Throws assertion_error "Assertion 'nrows_ * ncols_ == data_.size()' failed. Shape
// missmatch" before creating anything when the shape does not fit. Instantiated for short and double.
template <class T>
H5::DataSet create_2d_dataset(H5::Group& group, const std::string& name, const std::vector<T>& data,
                              std::size_t nrows, std::size_t ncols,
                              const H5::DataType& type = get_pred_type(T()));
// (n, 1) dataset of NATIVE_UCHAR bytes, 1 for true and 0 for false.
H5::DataSet create_scalar_bool_dataset(H5::Group& group, const std::string& name,
                                       const std::vector<bool>& values);

// Stores in `ref` (a caller buffer of hobj_ref_t) an object reference to `name` relative to
// `obj`. Throws the HDF5 library's exception when `name` does not exist.
void create_reference(H5::H5Object& obj, void* ref, const std::string& name);

// Names of all attributes of `obj` in increasing name order. Throws H5::AttributeIException when
// HDF5 cannot iterate the attributes.
std::vector<std::string> get_attribute_names(H5::H5Object& obj);

// Attribute lookups. Each finds attribute `name` of `obj` (exact match, or ASCII-case-insensitive
// when `case_sensitive` is false), sets `found` and returns its value. A matching attribute that
// cannot be opened or read as the requested type (or holds more than one element) is skipped;
// inside a store operation (detail::run_hdf5_operation) HDF5's exception propagates instead, so
// that a damaged file is not touched again.
// When nothing is found: `found` false and false / zero. Throws only when the attribute names
// cannot be listed (H5::AttributeIException).
bool get_bool_attribute(H5::H5Object& obj, const std::string& name, bool& found,
                        bool case_sensitive);  // true iff byte == 1
short get_short_attribute(H5::H5Object& obj, const std::string& name, bool& found,
                          bool case_sensitive);
int get_int_attribute(H5::H5Object& obj, const std::string& name, bool& found, bool case_sensitive);
unsigned int get_uint32_attribute(H5::H5Object& obj, const std::string& name, bool& found,
                                  bool case_sensitive);
unsigned long long get_uint64_attribute(H5::H5Object& obj, const std::string& name, bool& found,
                                        bool case_sensitive);
double get_double_attribute(H5::H5Object& obj, const std::string& name, bool& found,
                            bool case_sensitive);
// A new NUL-terminated copy of a fixed- or variable-length string attribute, owned by the caller
// and released with the global operator delete; an empty string (one NUL byte) when not found.
char* get_str_attribute(H5::H5Object& obj, const std::string& name, bool& found,
                        bool case_sensitive);
// As get_str_attribute, with every byte outside 0x20..0x7E replaced by '?' (a warning is logged
// when any was replaced); "" when not found.
std::string get_std_str_attribute(H5::H5Object& obj, const std::string& name, bool& found,
                                  bool case_sensitive);

// The first dataset member of `group` whose name matches (see the attribute lookups), opened
// under its stored name; a default-constructed DataSet with `found` false when none matches.
// Errors while listing members or opening the match propagate as HDF5 exceptions.
H5::DataSet get_dataset(H5::Group& group, const std::string& name, bool& found,
                        bool case_sensitive);
// Name of the member at `index` in increasing name order. Throws H5::GroupIException
// (H5::FileIException for a file) when there is no such member.
std::string get_object_name_by_index(const H5::CommonFG& group, int index);
// Number of elements of the dataset: the product of its extents (1 for a scalar, 0 for a null
// dataspace). Throws H5::DataSetIException / H5::DataSpaceIException for an invalid dataset, and
// H5::DataSpaceIException when the extents are more than the file can hold (detail::checked_extents).
std::size_t get_data_size(const H5::DataSet& dataset);
// All elements converted to int. Throws H5::DataSetIException when HDF5 cannot convert them.
std::vector<int> get_data_int(const H5::DataSet& dataset);

namespace detail {

// Largest dataset (in stored bytes; a variable-length string counts 16) kept in its object header.
constexpr std::size_t kCompactDataLimit = std::size_t{16} * 1024;

// Dataset creation list for `elements` stored elements of `element_size` bytes each: compact
// layout up to kCompactDataLimit bytes, HDF5's default (contiguous) above, an object header
// without room for attributes (they can still be added; the header then grows) and without time
// stamps. Throws
// H5::PropListIException when HDF5 rejects the list.
H5::DSetCreatPropList dataset_creation_list(std::size_t elements, std::size_t element_size);

// Lower-cases ASCII letters A-Z; every other byte stays. Never throws.
std::string ascii_lower(std::string text);

// Names of the members of `group` that are hard links, in increasing name order, listed in one
// pass over the group (a lookup by index costs a walk of the name index each time). Soft and
// external links are left out. Throws H5::GroupIException when HDF5 cannot list the members.
std::vector<std::string> link_names(const H5::Group& group);

// Opens member `name` of `group` once and returns its identifier (the caller closes it with
// H5Oclose) when it is an object of `type` (H5I_GROUP, H5I_DATASET); H5I_INVALID_HID, with
// nothing left open, when it is another kind. Throws H5::GroupIException when it cannot be opened.
hid_t open_member(const H5::Group& group, const std::string& name, H5I_type_t type);

// get_dataset over `members`, a link_names listing of `group` made once for several lookups: the
// first matching member (in the listing's order) that is a dataset. Throws as get_dataset, and
// H5::GroupIException when HDF5 cannot tell a matching member's type.
H5::DataSet find_dataset(H5::Group& group, const std::vector<std::string>& members,
                         const std::string& name, bool& found, bool case_sensitive);

// The extents of `space`, a dataspace of `dataset`, once they are known to fit the file: their
// product (each zero extent counted as one) times the stored element size must not overflow and
// must not exceed the file's size, or 1032 times it for filtered (compressed) data, deflate's
// largest ratio, unless it is at most 1 MiB. Data kept in external files is refused. So no reader allocates more than the
// file justifies. Throws H5::DataSpaceIException naming the dataset when a check fails, and
// HDF5's exception when the dataset cannot be inspected. A scalar space has no extents, a null
// space the one extent 0.
std::vector<hsize_t> checked_extents(const H5::DataSet& dataset, const H5::DataSpace& space);

// Number of elements of checked extents: 1 for a scalar space, otherwise their product; 0 for a
// null dataspace. Throws as checked_extents.
std::size_t checked_element_count(const H5::DataSet& dataset, const H5::DataSpace& space);

// Creates a variable-length string dataset of extents `dims` holding `values` in storage order
// (their count must equal the product of `dims`; the callers check it). HDF5 failures propagate.
H5::DataSet create_vl_strings(H5::Group& group, const std::string& name,
                              const std::vector<std::string>& values,
                              const std::vector<hsize_t>& dims);

// Gives the variable-length buffers HDF5 allocated in `buffer` back when it goes out of scope
// (every path, failing ones included). `type` and `space` must outlive the guard. Never throws.
class VlenBuffer {
 public:
  VlenBuffer(const H5::DataType& type, const H5::DataSpace& space, void* buffer)
      : type_(type), space_(space), buffer_(buffer) {}
  ~VlenBuffer();
  VlenBuffer(const VlenBuffer&) = delete;
  VlenBuffer& operator=(const VlenBuffer&) = delete;

 private:
  const H5::DataType& type_;
  const H5::DataSpace& space_;
  void* buffer_;
};

// Transfer property list for reading or writing `elements` variable-length elements: HDF5's
// defaults except a type-conversion buffer sized to the data. (The default 1 MiB buffer is
// allocated and zeroed on every variable-length transfer, which dominates the cost of small
// string datasets.) The file content does not depend on it. Throws H5::PropListIException when
// HDF5 rejects the list.
H5::DSetMemXferPropList vlen_transfer_list(std::size_t elements);

// Throws an H5::DataTypeIException naming `function` for data of a type the caller cannot use.
[[noreturn]] void throw_wrong_type(const std::string& function, const std::string& message);

// Runs `body` as one store operation: switches off HDF5's automatic error printing, checks the
// library version and initialises it. Any H5::Exception thrown by `body` (file, group,
// attribute, dataset, dataspace, type or property-list class alike) is reported on standard
// error with the HDF5 error stack of the failing call and turned into the result 0xFFFFFFFF;
// every other exception propagates. Returns 0 when `body` returns normally.
unsigned int run_hdf5_operation(const std::function<void()>& body);

}  // namespace detail

}  // namespace qorva_mat
