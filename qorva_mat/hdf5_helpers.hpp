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

// An HDF5 identifier owned by its holder and closed with `close` (H5Dclose, H5Sclose, H5Tclose,
// H5Aclose, H5Pclose, H5Oclose ...) when the holder goes; a failing close is ignored. The reading
// code works on identifiers: each C++ wrapper object costs several library calls of its own.
class Handle {
 public:
  Handle() = default;
  Handle(hid_t id, herr_t (*close)(hid_t)) : id_(id), close_(close) {}
  ~Handle() { reset(); }
  Handle(Handle&& other) noexcept : id_(other.id_), close_(other.close_) {
    other.id_ = H5I_INVALID_HID;
  }
  Handle& operator=(Handle&& other) noexcept;
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  hid_t get() const { return id_; }
  bool valid() const { return id_ >= 0; }
  void reset() noexcept;

 private:
  hid_t id_ = H5I_INVALID_HID;
  herr_t (*close_)(hid_t) = nullptr;
};

// Largest dataset (in stored bytes; a variable-length string counts 16) kept in its object header.
constexpr std::size_t kCompactDataLimit = std::size_t{16} * 1024;

// Dataset creation list for `elements` stored elements of `element_size` bytes each: compact
// layout up to kCompactDataLimit bytes, HDF5's default (contiguous) above, an object header
// without room for attributes (they can still be added; the header then grows) and without time
// stamps. Inside a store operation the two lists are made once and shared (see
// vlen_transfer_list). Throws H5::PropListIException when HDF5 rejects the list.
Handle dataset_creation_list(std::size_t elements, std::size_t element_size);

// Group creation list for the store's member groups: links kept in the object header up to 32
// members (HDF5 moves them to a separate heap and B-tree after 8 by default; a material holds up
// to 21, a property set up to 9), room for 10 links of 12 characters, no time stamps (which
// every new member and attribute would update). Shared within a store operation. Throws
// H5::PropListIException when HDF5 rejects the list.
Handle group_creation_list();

// The variable-length, NUL-terminated C string type as an identifier (get_pred_type of a string),
// shared within a store operation. Throws H5::DataTypeIException when HDF5 cannot build it.
Handle vl_string_type();

// The writers behind the public creators above, on identifiers: each creates the object in
// `location`, writes `data` (memory type `type`) and returns it open. `dims` are the extents
// (none: a scalar). HDF5 failures throw H5::DataSetIException or H5::AttributeIException.
Handle write_dataset(hid_t location, const std::string& name, hid_t type,
                     const std::vector<hsize_t>& dims, const void* data, std::size_t elements);
Handle write_attribute(hid_t location, const std::string& name, hid_t type,
                       const std::vector<hsize_t>& dims, const void* data);
// A variable-length string attribute of one element (rank 1), as create_vl_str_attribute.
Handle write_vl_str_attribute(hid_t location, const std::string& name, const std::string& value);
// A scalar byte attribute, 1 for true and 0 for false, as create_bool_attribute.
Handle write_bool_attribute(hid_t location, const std::string& name, bool value);

// Lower-cases ASCII letters A-Z; every other byte stays. Never throws.
std::string ascii_lower(std::string text);

// A hard link of a group: the member's name and the address of its object header.
struct Link {
  std::string name;
  haddr_t address;
};

// The members of `group` that are hard links, in increasing name order, listed in one pass over
// the group (a lookup by index costs a walk of the name index each time). Soft and external links
// are left out. Throws H5::GroupIException when HDF5 cannot list the members.
std::vector<Link> hard_links(const H5::Group& group);
// Their names only.
std::vector<std::string> link_names(const H5::Group& group);

// Opens the object `link` of a hard_links listing of `group` (by its address: no second lookup of
// the name) and returns it when it is an object of `type` (H5I_GROUP, H5I_DATASET); an invalid
// handle, with nothing left open, when it is another kind. Throws H5::GroupIException when it
// cannot be opened.
Handle open_member(hid_t group, const Link& link, H5I_type_t type);

// get_dataset over `members`, a hard_links listing of `group` made once for several lookups: the
// first matching member (in the listing's order) that is a dataset, as an open identifier; an
// invalid handle when none matches. Throws H5::GroupIException when a matching member cannot be
// opened.
Handle find_dataset(hid_t group, const std::vector<Link>& members, const std::string& name,
                    bool case_sensitive);

// The extents of `space`, a dataspace of `dataset`, once they are known to fit the file: their
// product (each zero extent counted as one) times the stored element size must not overflow and
// must not exceed the file's size, or 1032 times it for filtered (compressed) data, deflate's
// largest ratio, unless it is at most 1 MiB. Data kept in external files is refused. So no reader
// allocates more than the file justifies. Throws H5::DataSpaceIException naming the dataset when a
// check fails, and H5::DataSetIException when the dataset cannot be inspected. A scalar space has
// no extents, a null space the one extent 0.
std::vector<hsize_t> checked_extents(hid_t dataset, hid_t space);
inline std::vector<hsize_t> checked_extents(const H5::DataSet& dataset,
                                            const H5::DataSpace& space) {
  return checked_extents(dataset.getId(), space.getId());
}

// Number of elements of checked extents: 1 for a scalar space, otherwise their product; 0 for a
// null dataspace. Throws as checked_extents.
std::size_t checked_element_count(hid_t dataset, hid_t space);
inline std::size_t checked_element_count(const H5::DataSet& dataset, const H5::DataSpace& space) {
  return checked_element_count(dataset.getId(), space.getId());
}

// Creates a variable-length string dataset of extents `dims` holding `values` in storage order
// (their count must equal the product of `dims`; the callers check it). HDF5 failures propagate.
Handle create_vl_strings(hid_t location, const std::string& name,
                         const std::vector<std::string>& values, const std::vector<hsize_t>& dims);

// Gives the variable-length buffers HDF5 allocated in `buffer` back when it goes out of scope
// (every path, failing ones included). `type` and `space` (identifiers) must stay open as long as
// the guard. Never throws.
class VlenBuffer {
 public:
  VlenBuffer(hid_t type, hid_t space, void* buffer) : type_(type), space_(space), buffer_(buffer) {}
  VlenBuffer(const H5::DataType& type, const H5::DataSpace& space, void* buffer)
      : VlenBuffer(type.getId(), space.getId(), buffer) {}
  ~VlenBuffer();
  VlenBuffer(const VlenBuffer&) = delete;
  VlenBuffer& operator=(const VlenBuffer&) = delete;

 private:
  hid_t type_;
  hid_t space_;
  void* buffer_;
};

// Transfer property list for reading or writing `elements` variable-length elements: HDF5's
// defaults except a type-conversion buffer sized to the data. (The default 1 MiB buffer is
// allocated and zeroed on every variable-length transfer, which dominates the cost of small
// string datasets.) The file content does not depend on it. Inside a store operation
// (run_hdf5_operation) the lists are made once per buffer size and shared; the handle then holds
// one more reference. Throws H5::PropListIException when HDF5 rejects the list.
Handle vlen_transfer_list(std::size_t elements);

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
