#include "qorva_mat/hdf5_helpers.hpp"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "qorva_mat/error.hpp"
#include "qorva_mat/log.hpp"

namespace qorva_mat {

namespace {

// --- Error stack capture -------------------------------------------------------------------
// HDF5 clears its error stack on the next API call, and unwinding closes files and groups, so
// by the time a store operation catches an exception the stack is gone. While an operation
// runs, a copy of the stack is taken at the moment a C call fails.
thread_local hid_t captured_stack = H5I_INVALID_HID;
thread_local bool capturing = false;
// True while a store operation runs on this thread: it stops at the first HDF5 error.
thread_local bool in_store_operation = false;

void discard_captured_stack() noexcept {
  if (captured_stack >= 0) {
    H5Eclose_stack(captured_stack);
    captured_stack = H5I_INVALID_HID;
  }
}

herr_t capture_error_stack(hid_t, void*) {
  if (capturing) return 0;
  capturing = true;
  const hid_t copy = H5Eget_current_stack();
  discard_captured_stack();
  captured_stack = copy;
  capturing = false;
  return 0;
}

// Installs the capturing handler for the lifetime of one store operation and restores the
// handler that was active before.
class ErrorStackCapture {
 public:
  ErrorStackCapture() {
    if (H5Eget_auto2(H5E_DEFAULT, &saved_func_, &saved_data_) < 0) {
      saved_func_ = nullptr;
      saved_data_ = nullptr;
    }
    discard_captured_stack();
    H5Eset_auto2(H5E_DEFAULT, capture_error_stack, nullptr);
    in_store_operation = true;
  }
  ~ErrorStackCapture() {
    in_store_operation = false;
    H5Eset_auto2(H5E_DEFAULT, saved_func_, saved_data_);
    discard_captured_stack();
  }
  ErrorStackCapture(const ErrorStackCapture&) = delete;
  ErrorStackCapture& operator=(const ErrorStackCapture&) = delete;

  static void report(const H5::Exception& e) {
    std::fprintf(stderr, "HDF5 error in %s: %s\n", e.getCFuncName(), e.getCDetailMsg());
    if (captured_stack >= 0) {
      H5Eprint2(captured_stack, stderr);
    } else {
      H5::Exception::printErrorStack(stderr, H5E_DEFAULT);
    }
  }

 private:
  H5E_auto2_t saved_func_ = nullptr;
  void* saved_data_ = nullptr;
};

struct OperatorDelete {
  void operator()(char* p) const noexcept { ::operator delete(p); }
};
using owned_chars = std::unique_ptr<char, OperatorDelete>;

owned_chars allocate_chars(std::size_t n) {
  return owned_chars(static_cast<char*>(::operator new(n)));
}

owned_chars copy_c_string(const char* text) {
  const std::size_t n = text == nullptr ? 0 : std::strlen(text);
  owned_chars copy = allocate_chars(n + 1);
  if (n > 0) std::memcpy(copy.get(), text, n);
  copy.get()[n] = '\0';
  return copy;
}

// --- Attribute lookup ------------------------------------------------------------------------

template <class Read>
auto find_attribute(H5::H5Object& obj, const std::string& name, bool& found, bool case_sensitive,
                    Read read) -> decltype(read(std::declval<H5::Attribute&>())) {
  using result_t = decltype(read(std::declval<H5::Attribute&>()));
  const std::string key = case_sensitive ? name : detail::ascii_lower(name);
  std::vector<std::string> candidates;
  if (case_sensitive) {
    // Only the attribute of exactly that name can match: asked for directly, not by listing.
    if (name.empty() || name.find('\0') != std::string::npos) {
      found = false;
      return result_t();
    }
    const htri_t exists = H5Aexists(obj.getId(), name.c_str());
    if (exists < 0) throw H5::AttributeIException("get_attribute_names", "H5Aexists failed");
    if (exists > 0) candidates.push_back(name);
  } else {
    candidates = get_attribute_names(obj);
  }
  for (const std::string& stored : candidates) {
    if ((case_sensitive ? stored : detail::ascii_lower(stored)) != key) continue;
    try {
      H5::Attribute attribute = obj.openAttribute(stored);
      result_t value = read(attribute);
      found = true;
      return value;
    } catch (const H5::Exception&) {
      // Inside a store operation the file is not touched again after an HDF5 error: a damaged
      // file can send HDF5 into memory corruption on the next call. Otherwise an unreadable
      // match is skipped, not an error.
      if (in_store_operation && captured_stack >= 0) throw;
      discard_captured_stack();
    }
  }
  found = false;
  return result_t();
}

template <class T>
T read_scalar(H5::Attribute& attribute, const H5::PredType& memory_type) {
  if (attribute.getSpace().getSimpleExtentNpoints() != 1) {
    throw H5::AttributeIException("read_scalar", "attribute does not hold exactly one element");
  }
  T value{};
  attribute.read(memory_type, &value);
  return value;
}

// a * b into `out`; false when the product does not fit.
bool multiply(std::uint64_t a, std::uint64_t b, std::uint64_t& out) {
  return !__builtin_mul_overflow(a, b, &out);
}

// Size of the file that holds `object`. Throws H5::AttributeIException when HDF5 cannot tell.
std::uint64_t file_size_of(hid_t object) {
  const hid_t file = H5Iget_file_id(object);
  hsize_t size = 0;
  const herr_t status = file < 0 ? -1 : H5Fget_filesize(file, &size);
  if (file >= 0) H5Fclose(file);
  if (status < 0) throw H5::AttributeIException("file_size_of", "cannot tell the file size");
  return size;
}

char* read_string_attribute(H5::Attribute& attribute) {
  if (attribute.getTypeClass() != H5T_STRING) {
    throw H5::AttributeIException("get_str_attribute", "attribute is not a string");
  }
  const H5::StrType type = attribute.getStrType();
  // Attribute data live in the object header, inside the file: a dataspace asking for more bytes
  // than the file has is forged, and nothing of that size is allocated.
  const hssize_t n = attribute.getSpace().getSimpleExtentNpoints();
  std::uint64_t bytes = 0;
  if (n < 0 || !multiply(static_cast<std::uint64_t>(n), type.getSize(), bytes) ||
      bytes > file_size_of(attribute.getId())) {
    throw H5::AttributeIException("get_str_attribute", "attribute extents exceed the file");
  }
  if (type.isVariableStr()) {
    const H5::DataSpace space = attribute.getSpace();
    std::vector<char*> strings(static_cast<std::size_t>(n > 0 ? n : 0), nullptr);
    if (strings.empty()) return copy_c_string(nullptr).release();
    const detail::VlenBuffer guard(type, space, strings.data());
    attribute.read(type, static_cast<void*>(strings.data()));
    return copy_c_string(strings[0]).release();
  }
  const std::size_t size = static_cast<std::size_t>(attribute.getStorageSize());
  owned_chars buffer = allocate_chars(size + 1);
  std::memset(buffer.get(), 0, size + 1);
  if (size > 0) attribute.read(type, static_cast<void*>(buffer.get()));
  return buffer.release();
}

herr_t collect_attribute_name(hid_t, const char* name, const H5A_info_t*, void* data) {
  try {
    static_cast<std::vector<std::string>*>(data)->emplace_back(name);
    return 0;
  } catch (...) {
    return -1;
  }
}

H5::DataSpace simple_space(const std::vector<hsize_t>& dims) {
  return H5::DataSpace(static_cast<int>(dims.size()), dims.data());
}

}  // namespace

// --- Type mapping ----------------------------------------------------------------------------

const H5::PredType& get_pred_type(const unsigned char&) { return H5::PredType::NATIVE_UCHAR; }
const H5::PredType& get_pred_type(const short&) { return H5::PredType::NATIVE_SHORT; }
const H5::PredType& get_pred_type(const unsigned short&) { return H5::PredType::NATIVE_USHORT; }
const H5::PredType& get_pred_type(const int&) { return H5::PredType::NATIVE_INT; }
const H5::PredType& get_pred_type(const unsigned int&) { return H5::PredType::NATIVE_UINT; }
const H5::PredType& get_pred_type(const unsigned long&) { return H5::PredType::NATIVE_ULLONG; }
const H5::PredType& get_pred_type(const unsigned long long&) { return H5::PredType::NATIVE_ULLONG; }
const H5::PredType& get_pred_type(const double&) { return H5::PredType::NATIVE_DOUBLE; }
const H5::PredType& get_pred_type(const bool&) { return H5::PredType::NATIVE_HBOOL; }
H5::StrType get_pred_type(const std::string&) {
  return H5::StrType(H5::PredType::C_S1, H5T_VARIABLE);
}

// --- Attribute creation ----------------------------------------------------------------------

namespace {
template <class T>
H5::Attribute create_scalar_attribute(H5::H5Object& obj, const std::string& name, const T& value,
                                      const H5::PredType& type) {
  H5::Attribute attribute = obj.createAttribute(name, type, H5::DataSpace(H5S_SCALAR));
  attribute.write(type, &value);
  return attribute;
}
}  // namespace

H5::Attribute create_bool_attribute(H5::H5Object& obj, const std::string& name, bool value) {
  const unsigned char byte = value ? 1 : 0;
  return create_scalar_attribute(obj, name, byte, H5::PredType::NATIVE_UCHAR);
}
H5::Attribute create_short_attribute(H5::H5Object& obj, const std::string& name,
                                     const short& value) {
  return create_scalar_attribute(obj, name, value, H5::PredType::NATIVE_SHORT);
}
H5::Attribute create_int_attribute(H5::H5Object& obj, const std::string& name, const int& value) {
  return create_scalar_attribute(obj, name, value, H5::PredType::NATIVE_INT);
}
H5::Attribute create_uint32_attribute(H5::H5Object& obj, const std::string& name,
                                      const unsigned int& value) {
  return create_scalar_attribute(obj, name, value, H5::PredType::NATIVE_UINT32);
}
H5::Attribute create_uint64_attribute(H5::H5Object& obj, const std::string& name,
                                      const unsigned long long& value) {
  return create_scalar_attribute(obj, name, value, H5::PredType::NATIVE_UINT64);
}
H5::Attribute create_double_attribute(H5::H5Object& obj, const std::string& name,
                                      const double& value) {
  return create_scalar_attribute(obj, name, value, H5::PredType::NATIVE_DOUBLE);
}

H5::Attribute create_str_attribute(H5::H5Object& obj, const std::string& name,
                                   const std::string& value) {
  const H5::StrType type(H5::PredType::C_S1, value.size());
  H5::Attribute attribute = obj.createAttribute(name, type, H5::DataSpace(H5S_SCALAR));
  attribute.write(type, static_cast<const void*>(value.data()));
  return attribute;
}

H5::Attribute create_vl_str_attribute(H5::H5Object& obj, const std::string& name,
                                      const std::string& value) {
  const H5::StrType type = get_pred_type(value);
  H5::Attribute attribute = obj.createAttribute(name, type, simple_space({1}));
  const char* text = value.c_str();
  attribute.write(type, static_cast<const void*>(&text));
  return attribute;
}

// --- Dataset creation ------------------------------------------------------------------------

H5::DSetCreatPropList detail::dataset_creation_list(std::size_t elements,
                                                    std::size_t element_size) {
  H5::DSetCreatPropList list;
  std::uint64_t bytes = 0;
  if (multiply(elements, element_size, bytes) && bytes <= kCompactDataLimit)
    list.setLayout(H5D_COMPACT);
  // No room reserved for attributes in the object header (the datasets written here have none),
  // and no time stamps, which every write would update.
  if (H5Pset_dset_no_attrs_hint(list.getId(), 1) < 0 ||
      H5Pset_obj_track_times(list.getId(), 0) < 0) {
    throw H5::PropListIException("dataset_creation_list", "cannot set up the creation list");
  }
  return list;
}

H5::DataSet detail::create_vl_strings(H5::Group& group, const std::string& name,
                                      const std::vector<std::string>& values,
                                      const std::vector<hsize_t>& dims) {
  const H5::StrType type = get_pred_type(std::string());
  H5::DataSet dataset = group.createDataSet(
      name, type, simple_space(dims), detail::dataset_creation_list(values.size(), sizeof(hvl_t)));
  if (values.empty()) return dataset;
  std::vector<const char*> pointers;
  pointers.reserve(values.size());
  for (const std::string& value : values) pointers.push_back(value.c_str());
  dataset.write(static_cast<const void*>(pointers.data()), type, H5::DataSpace::ALL,
                H5::DataSpace::ALL, detail::vlen_transfer_list(pointers.size()));
  return dataset;
}

H5::DataSet create_vl_string_dataset(H5::Group& group, const std::string& name,
                                     const std::vector<std::string>& values) {
  return detail::create_vl_strings(group, name, values, {values.size()});
}

namespace {
// What create_2d_dataset reports when the data do not fill the shape.
constexpr const char* kShapeFitsData = "nrows_ * ncols_ == data_.size()";
constexpr const char* kShapeMismatch = "Shape missmatch";
}  // namespace

template <class T>
H5::DataSet create_2d_dataset(H5::Group& group, const std::string& name, const std::vector<T>& data,
                              std::size_t nrows, std::size_t ncols, const H5::DataType& type) {
  QORVA_ASSERT_TEXT(nrows * ncols == data.size(), kShapeFitsData, kShapeMismatch);
  H5::DataSet dataset =
      group.createDataSet(name, type, simple_space({nrows, ncols}),
                          detail::dataset_creation_list(data.size(), type.getSize()));
  if (!data.empty()) dataset.write(static_cast<const void*>(data.data()), type);
  return dataset;
}

template H5::DataSet create_2d_dataset<short>(H5::Group&, const std::string&,
                                              const std::vector<short>&, std::size_t, std::size_t,
                                              const H5::DataType&);
template H5::DataSet create_2d_dataset<double>(H5::Group&, const std::string&,
                                               const std::vector<double>&, std::size_t, std::size_t,
                                               const H5::DataType&);

H5::DataSet create_scalar_bool_dataset(H5::Group& group, const std::string& name,
                                       const std::vector<bool>& values) {
  std::vector<unsigned char> bytes(values.begin(), values.end());
  const H5::PredType& type = H5::PredType::NATIVE_UCHAR;
  H5::DataSet dataset = group.createDataSet(name, type, simple_space({bytes.size(), 1}),
                                            detail::dataset_creation_list(bytes.size(), 1));
  if (!bytes.empty()) dataset.write(static_cast<const void*>(bytes.data()), type);
  return dataset;
}

void create_reference(H5::H5Object& obj, void* ref, const std::string& name) {
  obj.reference(ref, name, H5R_OBJECT);
}

// --- Lookup and reading ----------------------------------------------------------------------

std::vector<std::string> get_attribute_names(H5::H5Object& obj) {
  std::vector<std::string> names;
  if (H5Aiterate2(obj.getId(), H5_INDEX_NAME, H5_ITER_INC, nullptr, collect_attribute_name,
                  &names) < 0) {
    throw H5::AttributeIException("get_attribute_names", "H5Aiterate2 failed");
  }
  return names;
}

bool get_bool_attribute(H5::H5Object& obj, const std::string& name, bool& found,
                        bool case_sensitive) {
  return find_attribute(obj, name, found, case_sensitive, [](H5::Attribute& a) {
    return read_scalar<unsigned char>(a, H5::PredType::NATIVE_UCHAR) == 1;
  });
}
short get_short_attribute(H5::H5Object& obj, const std::string& name, bool& found,
                          bool case_sensitive) {
  return find_attribute(obj, name, found, case_sensitive, [](H5::Attribute& a) {
    return read_scalar<short>(a, H5::PredType::NATIVE_SHORT);
  });
}
int get_int_attribute(H5::H5Object& obj, const std::string& name, bool& found,
                      bool case_sensitive) {
  return find_attribute(obj, name, found, case_sensitive, [](H5::Attribute& a) {
    return read_scalar<int>(a, H5::PredType::NATIVE_INT);
  });
}
unsigned int get_uint32_attribute(H5::H5Object& obj, const std::string& name, bool& found,
                                  bool case_sensitive) {
  return find_attribute(obj, name, found, case_sensitive, [](H5::Attribute& a) {
    return read_scalar<unsigned int>(a, H5::PredType::NATIVE_UINT32);
  });
}
unsigned long long get_uint64_attribute(H5::H5Object& obj, const std::string& name, bool& found,
                                        bool case_sensitive) {
  return find_attribute(obj, name, found, case_sensitive, [](H5::Attribute& a) {
    return read_scalar<unsigned long long>(a, H5::PredType::NATIVE_UINT64);
  });
}
double get_double_attribute(H5::H5Object& obj, const std::string& name, bool& found,
                            bool case_sensitive) {
  return find_attribute(obj, name, found, case_sensitive, [](H5::Attribute& a) {
    return read_scalar<double>(a, H5::PredType::NATIVE_DOUBLE);
  });
}

char* get_str_attribute(H5::H5Object& obj, const std::string& name, bool& found,
                        bool case_sensitive) {
  char* text = find_attribute(obj, name, found, case_sensitive, read_string_attribute);
  return found ? text : copy_c_string(nullptr).release();
}

std::string get_std_str_attribute(H5::H5Object& obj, const std::string& name, bool& found,
                                  bool case_sensitive) {
  const owned_chars buffer(get_str_attribute(obj, name, found, case_sensitive));
  std::string text(buffer.get());
  bool replaced = false;
  for (char& c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte > 0x7E) {
      c = '?';
      replaced = true;
    }
  }
  if (replaced) {
    QORVA_LOG(warning) << "Some special characters in " << text << " of the attribute " << name
                       << " were replaced by '?'.";
  }
  return text;
}

H5::DataSet get_dataset(H5::Group& group, const std::string& name, bool& found,
                        bool case_sensitive) {
  return detail::find_dataset(group, detail::link_names(group), name, found, case_sensitive);
}

hid_t detail::open_member(const H5::Group& group, const std::string& name, H5I_type_t type) {
  const hid_t id = H5Oopen(group.getId(), name.c_str(), H5P_DEFAULT);
  if (id < 0) throw H5::GroupIException("open_member", "cannot open member " + name);
  if (H5Iget_type(id) == type) return id;
  H5Oclose(id);
  return H5I_INVALID_HID;
}

H5::DataSet detail::find_dataset(H5::Group& group, const std::vector<std::string>& members,
                                 const std::string& name, bool& found, bool case_sensitive) {
  const std::string key = case_sensitive ? name : ascii_lower(name);
  for (const std::string& stored : members) {
    if ((case_sensitive ? stored : ascii_lower(stored)) != key) continue;
    const hid_t id = open_member(group, stored, H5I_DATASET);
    if (id < 0) continue;
    H5::DataSet dataset(id);  // holds its own reference
    H5Oclose(id);
    found = true;
    return dataset;
  }
  found = false;
  return H5::DataSet();
}

std::string get_object_name_by_index(const H5::CommonFG& group, int index) {
  const hid_t location = group.getLocId();
  const auto position = static_cast<hsize_t>(index);
  const ssize_t length = index < 0 ? -1
                                   : H5Lget_name_by_idx(location, ".", H5_INDEX_NAME, H5_ITER_INC,
                                                        position, nullptr, 0, H5P_DEFAULT);
  if (length < 0) group.throwException("get_object_name_by_index", "no member at this index");
  std::vector<char> buffer(static_cast<std::size_t>(length) + 1, '\0');
  if (H5Lget_name_by_idx(location, ".", H5_INDEX_NAME, H5_ITER_INC, position, buffer.data(),
                         buffer.size(), H5P_DEFAULT) < 0) {
    group.throwException("get_object_name_by_index", "H5Lget_name_by_idx failed");
  }
  return std::string(buffer.data());
}

std::size_t get_data_size(const H5::DataSet& dataset) {
  return detail::checked_element_count(dataset, dataset.getSpace());
}

std::vector<int> get_data_int(const H5::DataSet& dataset) {
  std::vector<int> values(get_data_size(dataset));
  if (!values.empty()) dataset.read(static_cast<void*>(values.data()), H5::PredType::NATIVE_INT);
  return values;
}

// --- Shared internals ------------------------------------------------------------------------

std::string detail::ascii_lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

namespace {

herr_t collect_hard_link(hid_t, const char* name, const H5L_info_t* info, void* data) {
  if (info->type != H5L_TYPE_HARD) return 0;
  try {
    static_cast<std::vector<std::string>*>(data)->emplace_back(name);
    return 0;
  } catch (...) {
    return -1;
  }
}

// Data this small is read without asking how much of the file can back it: allocating it is
// harmless whatever the file claims, and the question costs more than the read.
constexpr std::uint64_t kAlwaysReadable = 1 << 20;

[[noreturn]] void throw_extents(const H5::DataSet& dataset, const std::string& why) {
  discard_captured_stack();  // the refusal is ours, not a C call's
  std::string name = "(unnamed)";
  try {
    name = dataset.getObjName();
  } catch (const H5::Exception&) {
    discard_captured_stack();
  }
  throw H5::DataSpaceIException("checked_extents", "dataset " + name + ": " + why);
}

// Refuses data kept in external files (they could be any file of the machine) and data of
// `bytes` bytes that the file cannot back: more than its size, or 1032 times it for filtered
// data (deflate's largest ratio). Data of at most kAlwaysReadable bytes is not measured.
void check_storage(const H5::DataSet& dataset, std::uint64_t bytes) {
  const hid_t plist = H5Dget_create_plist(dataset.getId());
  const int external = plist < 0 ? -1 : H5Pget_external_count(plist);
  const int filters = plist < 0 ? -1 : H5Pget_nfilters(plist);
  if (plist >= 0) H5Pclose(plist);
  if (external < 0 || filters < 0)
    throw H5::DataSetIException("checked_extents", "cannot read the creation list");
  if (external > 0) throw_extents(dataset, "data kept in external files is not read");
  if (bytes <= kAlwaysReadable) return;
  constexpr std::uint64_t kLargestCompressionRatio = 1032;
  const std::uint64_t size = file_size_of(dataset.getId());
  std::uint64_t budget = size;
  if (filters > 0 && !multiply(size, kLargestCompressionRatio, budget)) budget = UINT64_MAX;
  if (bytes > budget) {
    throw_extents(dataset,
                  "extents need " + std::to_string(bytes) + " bytes, more than the file holds");
  }
}

}  // namespace

std::vector<std::string> detail::link_names(const H5::Group& group) {
  std::vector<std::string> names;
  hsize_t position = 0;
  if (H5Literate(group.getId(), H5_INDEX_NAME, H5_ITER_INC, &position, collect_hard_link, &names) <
      0) {
    throw H5::GroupIException("link_names", "H5Literate failed");
  }
  return names;
}

std::vector<hsize_t> detail::checked_extents(const H5::DataSet& dataset,
                                             const H5::DataSpace& space) {
  if (space.getSimpleExtentType() == H5S_NULL) return {0};
  const int rank = space.getSimpleExtentNdims();
  std::vector<hsize_t> dims(static_cast<std::size_t>(rank > 0 ? rank : 0));
  if (rank > 0) space.getSimpleExtentDims(dims.data());
  std::uint64_t bytes = dataset.getDataType().getSize();
  for (const hsize_t d : dims) {
    if (!multiply(bytes, d == 0 ? 1 : d, bytes)) throw_extents(dataset, "extents overflow");
  }
  check_storage(dataset, bytes);
  return dims;
}

std::size_t detail::checked_element_count(const H5::DataSet& dataset, const H5::DataSpace& space) {
  std::size_t count = 1;
  for (const hsize_t d : checked_extents(dataset, space)) count *= static_cast<std::size_t>(d);
  return count;
}

detail::VlenBuffer::~VlenBuffer() {
  try {
    H5::DataSet::vlenReclaim(buffer_, type_, space_);
  } catch (const H5::Exception&) {
    discard_captured_stack();  // nothing to recover: the buffer is lost either way
  }
}

H5::DSetMemXferPropList detail::vlen_transfer_list(std::size_t elements) {
  // 32 bytes cover the larger of a memory element (pointer or hvl_t) and a file element of a
  // variable-length type; HDF5 strip-mines larger transfers through the buffer anyway.
  constexpr std::size_t kBytesPerElement = 32;
  constexpr std::size_t kMinimum = 1024;
  constexpr std::size_t kMaximum = std::size_t{1024} * 1024;
  const std::size_t wanted =
      elements > kMaximum / kBytesPerElement ? kMaximum : elements * kBytesPerElement;
  H5::DSetMemXferPropList list;
  list.setBuffer(wanted < kMinimum ? kMinimum : (wanted > kMaximum ? kMaximum : wanted), nullptr,
                 nullptr);
  return list;
}

void detail::throw_wrong_type(const std::string& function, const std::string& message) {
  discard_captured_stack();  // the failure is ours, not a C call's
  throw H5::DataTypeIException(function, message);
}

unsigned int detail::run_hdf5_operation(const std::function<void()>& body) {
  H5::Exception::dontPrint();
  H5check();
  H5::H5Library::open();
  const ErrorStackCapture capture;
  try {
    body();
    return 0;
  } catch (const H5::Exception& e) {
    // Every HDF5 class (file, group, attribute, dataset, ...) ends the operation the same way.
    ErrorStackCapture::report(e);
  }
  return 0xFFFFFFFFu;
}

}  // namespace qorva_mat
