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

// Property lists and types that the calls of one store operation share instead of making their
// own: first the variable-length transfer lists by buffer size (1 KiB << k), then the slots of
// SharedSlot. Released when the operation ends.
constexpr int kTransferSizes = 11;
constexpr int kSharedSlots = kTransferSizes + 6;
thread_local hid_t shared_ids[kSharedSlots] = {};  // 0: empty (HDF5 never hands out 0)

void release_shared_ids() noexcept {
  for (hid_t& id : shared_ids) {
    if (id > 0) H5Idec_ref(id);
    id = 0;
  }
}

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
    release_shared_ids();
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

// Data this small is read without asking how much of the file can back it: allocating it is
// harmless whatever the file claims, and the question costs more than the read.
constexpr std::uint64_t kAlwaysReadable = 1 << 20;

template <class Read>
auto find_attribute(H5::H5Object& obj, const std::string& name, bool& found, bool case_sensitive,
                    Read read) -> decltype(read(hid_t{})) {
  using result_t = decltype(read(hid_t{}));
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
      const detail::Handle attribute(H5Aopen(obj.getId(), stored.c_str(), H5P_DEFAULT), H5Aclose);
      if (!attribute.valid())
        throw H5::AttributeIException("openAttribute", "cannot open attribute " + stored);
      result_t value = read(attribute.get());
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

// Number of elements of an attribute's dataspace. Throws H5::AttributeIException when HDF5
// cannot tell.
hssize_t attribute_elements(hid_t attribute) {
  const detail::Handle space(H5Aget_space(attribute), H5Sclose);
  const hssize_t n = space.valid() ? H5Sget_simple_extent_npoints(space.get()) : -1;
  if (n < 0) throw H5::AttributeIException("getSpace", "cannot read the attribute's dataspace");
  return n;
}

template <class T>
T read_scalar(hid_t attribute, hid_t memory_type) {
  if (attribute_elements(attribute) != 1) {
    throw H5::AttributeIException("read_scalar", "attribute does not hold exactly one element");
  }
  T value{};
  if (H5Aread(attribute, memory_type, &value) < 0)
    throw H5::AttributeIException("read_scalar", "H5Aread failed");
  return value;
}

char* read_string_attribute(hid_t attribute) {
  const detail::Handle type(H5Aget_type(attribute), H5Tclose);
  if (!type.valid() || H5Tget_class(type.get()) != H5T_STRING) {
    throw H5::AttributeIException("get_str_attribute", "attribute is not a string");
  }
  // Attribute data live in the object header, inside the file: a dataspace asking for more bytes
  // than the file has is forged, and nothing of that size is allocated.
  const hssize_t n = attribute_elements(attribute);
  std::uint64_t bytes = 0;
  if (!multiply(static_cast<std::uint64_t>(n), H5Tget_size(type.get()), bytes) ||
      (bytes > kAlwaysReadable && bytes > file_size_of(attribute))) {
    throw H5::AttributeIException("get_str_attribute", "attribute extents exceed the file");
  }
  const htri_t variable = H5Tis_variable_str(type.get());
  if (variable < 0) throw H5::AttributeIException("get_str_attribute", "H5Tis_variable_str failed");
  if (variable > 0) {
    if (n == 0) return copy_c_string(nullptr).release();
    const detail::Handle space(H5Aget_space(attribute), H5Sclose);
    std::vector<char*> strings(static_cast<std::size_t>(n), nullptr);
    const detail::VlenBuffer guard(type.get(), space.get(), strings.data());
    if (H5Aread(attribute, type.get(), strings.data()) < 0)
      throw H5::AttributeIException("get_str_attribute", "H5Aread failed");
    return copy_c_string(strings[0]).release();
  }
  const auto size = static_cast<std::size_t>(H5Aget_storage_size(attribute));
  owned_chars buffer = allocate_chars(size + 1);
  std::memset(buffer.get(), 0, size + 1);
  if (size > 0 && H5Aread(attribute, type.get(), buffer.get()) < 0)
    throw H5::AttributeIException("get_str_attribute", "H5Aread failed");
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
  return H5::Attribute(detail::write_bool_attribute(obj.getId(), name, value).get());
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
  return H5::Attribute(detail::write_vl_str_attribute(obj.getId(), name, value).get());
}

// --- Writers on identifiers ------------------------------------------------------------------

namespace {

// Identifiers shared by the calls of one store operation, after the transfer lists.
enum SharedSlot {
  kCompactCreation = kTransferSizes,
  kContiguousCreation,
  kGroupCreation,
  kVlString,
  kScalarSpace,
  kOneElementSpace
};

herr_t release_reference(hid_t id) { return H5Idec_ref(id) < 0 ? -1 : 0; }

// Inside a store operation: the identifier of `slot`, made by `make` the first time; the handle
// holds one more reference. Outside one: a new identifier from `make` every time.
template <class Make>
detail::Handle shared_in_operation(int slot, Make make) {
  hid_t& shared = shared_ids[slot];
  if (in_store_operation && shared > 0 && H5Iinc_ref(shared) >= 0)
    return detail::Handle(shared, release_reference);
  detail::Handle made = make();
  if (in_store_operation && shared == 0 && H5Iinc_ref(made.get()) >= 0) shared = made.get();
  return made;
}

detail::Handle simple_space_id(const std::vector<hsize_t>& dims) {
  detail::Handle space(dims.empty()
                           ? H5Screate(H5S_SCALAR)
                           : H5Screate_simple(static_cast<int>(dims.size()), dims.data(), nullptr),
                       H5Sclose);
  if (!space.valid()) throw H5::DataSpaceIException("DataSpace", "cannot create the dataspace");
  return space;
}

// The dataspace of extents `dims`; the scalar one and the one of a single element (every
// attribute of the store) are shared within a store operation.
detail::Handle space_of(const std::vector<hsize_t>& dims) {
  const auto make = [&dims] { return simple_space_id(dims); };
  if (dims.empty()) return shared_in_operation(kScalarSpace, make);
  if (dims.size() == 1 && dims[0] == 1) return shared_in_operation(kOneElementSpace, make);
  return make();
}

}  // namespace

detail::Handle detail::dataset_creation_list(std::size_t elements, std::size_t element_size) {
  std::uint64_t bytes = 0;
  const bool compact = multiply(elements, element_size, bytes) && bytes <= kCompactDataLimit;
  return shared_in_operation(compact ? kCompactCreation : kContiguousCreation, [compact] {
    Handle list(H5Pcreate(H5P_DATASET_CREATE), H5Pclose);
    // No room reserved for attributes in the object header (the datasets written here have
    // none), and no time stamps, which every write would update.
    if (!list.valid() || (compact && H5Pset_layout(list.get(), H5D_COMPACT) < 0) ||
        H5Pset_dset_no_attrs_hint(list.get(), 1) < 0 || H5Pset_obj_track_times(list.get(), 0) < 0) {
      throw H5::PropListIException("dataset_creation_list", "cannot set up the creation list");
    }
    return list;
  });
}

detail::Handle detail::group_creation_list() {
  return shared_in_operation(kGroupCreation, [] {
    Handle list(H5Pcreate(H5P_GROUP_CREATE), H5Pclose);
    if (!list.valid() || H5Pset_link_phase_change(list.get(), 32, 24) < 0 ||
        H5Pset_est_link_info(list.get(), 10, 12) < 0 || H5Pset_obj_track_times(list.get(), 0) < 0) {
      throw H5::PropListIException("group_creation_list", "cannot set up the creation list");
    }
    return list;
  });
}

detail::Handle detail::vl_string_type() {
  return shared_in_operation(kVlString, [] {
    Handle type(H5Tcopy(H5T_C_S1), H5Tclose);
    if (!type.valid() || H5Tset_size(type.get(), H5T_VARIABLE) < 0)
      throw H5::DataTypeIException("vl_string_type", "cannot make the string type");
    return type;
  });
}

detail::Handle detail::write_dataset(hid_t location, const std::string& name, hid_t type,
                                     const std::vector<hsize_t>& dims, const void* data,
                                     std::size_t elements) {
  const std::size_t stored = H5Tis_variable_str(type) > 0 ? sizeof(hvl_t) : H5Tget_size(type);
  Handle dataset(H5Dcreate2(location, name.c_str(), type, simple_space_id(dims).get(), H5P_DEFAULT,
                            dataset_creation_list(elements, stored).get(), H5P_DEFAULT),
                 H5Dclose);
  if (!dataset.valid()) throw H5::DataSetIException("createDataSet", "cannot create " + name);
  if (elements == 0) return dataset;
  const bool variable = H5Tis_variable_str(type) > 0;
  const Handle transfer = variable ? vlen_transfer_list(elements) : Handle();
  if (H5Dwrite(dataset.get(), type, H5S_ALL, H5S_ALL, variable ? transfer.get() : H5P_DEFAULT,
               data) < 0) {
    throw H5::DataSetIException("DataSet::write", "cannot write " + name);
  }
  return dataset;
}

detail::Handle detail::write_attribute(hid_t location, const std::string& name, hid_t type,
                                       const std::vector<hsize_t>& dims, const void* data) {
  Handle attribute(
      H5Acreate2(location, name.c_str(), type, space_of(dims).get(), H5P_DEFAULT, H5P_DEFAULT),
      H5Aclose);
  if (!attribute.valid())
    throw H5::AttributeIException("createAttribute", "cannot create attribute " + name);
  if (H5Awrite(attribute.get(), type, data) < 0)
    throw H5::AttributeIException("Attribute::write", "cannot write attribute " + name);
  return attribute;
}

detail::Handle detail::write_vl_str_attribute(hid_t location, const std::string& name,
                                              const std::string& value) {
  const char* text = value.c_str();
  return write_attribute(location, name, vl_string_type().get(), {1}, &text);
}

detail::Handle detail::write_bool_attribute(hid_t location, const std::string& name, bool value) {
  const unsigned char byte = value ? 1 : 0;
  return write_attribute(location, name, H5T_NATIVE_UCHAR, {}, &byte);
}

// --- Dataset creation ------------------------------------------------------------------------

detail::Handle detail::create_vl_strings(hid_t location, const std::string& name,
                                         const std::vector<std::string>& values,
                                         const std::vector<hsize_t>& dims) {
  std::vector<const char*> pointers;
  pointers.reserve(values.size());
  for (const std::string& value : values) pointers.push_back(value.c_str());
  return write_dataset(location, name, vl_string_type().get(), dims, pointers.data(),
                       pointers.size());
}

H5::DataSet create_vl_string_dataset(H5::Group& group, const std::string& name,
                                     const std::vector<std::string>& values) {
  const detail::Handle dataset =
      detail::create_vl_strings(group.getId(), name, values, {values.size()});
  return H5::DataSet(dataset.get());  // holds its own reference
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
  const detail::Handle dataset = detail::write_dataset(group.getId(), name, type.getId(),
                                                       {nrows, ncols}, data.data(), data.size());
  return H5::DataSet(dataset.get());  // holds its own reference
}

template H5::DataSet create_2d_dataset<short>(H5::Group&, const std::string&,
                                              const std::vector<short>&, std::size_t, std::size_t,
                                              const H5::DataType&);
template H5::DataSet create_2d_dataset<double>(H5::Group&, const std::string&,
                                               const std::vector<double>&, std::size_t, std::size_t,
                                               const H5::DataType&);

H5::DataSet create_scalar_bool_dataset(H5::Group& group, const std::string& name,
                                       const std::vector<bool>& values) {
  const std::vector<unsigned char> bytes(values.begin(), values.end());
  const detail::Handle dataset = detail::write_dataset(
      group.getId(), name, H5T_NATIVE_UCHAR, {bytes.size(), 1}, bytes.data(), bytes.size());
  return H5::DataSet(dataset.get());  // holds its own reference
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
  return find_attribute(obj, name, found, case_sensitive, [](hid_t a) {
    return read_scalar<unsigned char>(a, H5T_NATIVE_UCHAR) == 1;
  });
}
short get_short_attribute(H5::H5Object& obj, const std::string& name, bool& found,
                          bool case_sensitive) {
  return find_attribute(obj, name, found, case_sensitive,
                        [](hid_t a) { return read_scalar<short>(a, H5T_NATIVE_SHORT); });
}
int get_int_attribute(H5::H5Object& obj, const std::string& name, bool& found,
                      bool case_sensitive) {
  return find_attribute(obj, name, found, case_sensitive,
                        [](hid_t a) { return read_scalar<int>(a, H5T_NATIVE_INT); });
}
unsigned int get_uint32_attribute(H5::H5Object& obj, const std::string& name, bool& found,
                                  bool case_sensitive) {
  return find_attribute(obj, name, found, case_sensitive,
                        [](hid_t a) { return read_scalar<unsigned int>(a, H5T_NATIVE_UINT32); });
}
unsigned long long get_uint64_attribute(H5::H5Object& obj, const std::string& name, bool& found,
                                        bool case_sensitive) {
  return find_attribute(obj, name, found, case_sensitive, [](hid_t a) {
    return read_scalar<unsigned long long>(a, H5T_NATIVE_UINT64);
  });
}
double get_double_attribute(H5::H5Object& obj, const std::string& name, bool& found,
                            bool case_sensitive) {
  return find_attribute(obj, name, found, case_sensitive,
                        [](hid_t a) { return read_scalar<double>(a, H5T_NATIVE_DOUBLE); });
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
  const detail::Handle id =
      detail::find_dataset(group.getId(), detail::hard_links(group), name, case_sensitive);
  found = id.valid();
  if (!found) return H5::DataSet();
  return H5::DataSet(id.get());  // holds its own reference
}

detail::Handle detail::open_member(hid_t group, const Link& link, H5I_type_t type) {
  Handle id(H5Oopen_by_addr(group, link.address), H5Oclose);
  if (!id.valid()) throw H5::GroupIException("open_member", "cannot open member " + link.name);
  if (H5Iget_type(id.get()) != type) id.reset();
  return id;
}

detail::Handle detail::find_dataset(hid_t group, const std::vector<Link>& members,
                                    const std::string& name, bool case_sensitive) {
  const std::string key = case_sensitive ? name : ascii_lower(name);
  for (const Link& link : members) {
    if ((case_sensitive ? link.name : ascii_lower(link.name)) != key) continue;
    Handle id = open_member(group, link, H5I_DATASET);
    if (id.valid()) return id;
  }
  return Handle();
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
    static_cast<std::vector<detail::Link>*>(data)->push_back(detail::Link{name, info->u.address});
    return 0;
  } catch (...) {
    return -1;
  }
}

[[noreturn]] void throw_extents(hid_t dataset, const std::string& why) {
  discard_captured_stack();  // the refusal is ours, not a C call's
  std::string name = "(unnamed)";
  char buffer[256] = {};
  const ssize_t length = H5Iget_name(dataset, buffer, sizeof buffer);
  if (length > 0) name.assign(buffer, strnlen(buffer, sizeof buffer));
  discard_captured_stack();
  throw H5::DataSpaceIException("checked_extents", "dataset " + name + ": " + why);
}

// Header message types of the HDF5 file format that the storage check looks for.
constexpr unsigned kExternalFilesMessage = 0x0007;
constexpr unsigned kFilterPipelineMessage = 0x000B;

// Refuses data kept in external files (they could be any file of the machine) and data of
// `bytes` bytes that the file cannot back: more than its size, or 1032 times it for filtered
// data (deflate's largest ratio). Data of at most kAlwaysReadable bytes is not measured. The
// messages present in the object header tell both (copying the creation list would cost more
// than reading a small dataset).
void check_storage(hid_t dataset, std::uint64_t bytes) {
  H5O_info_t info{};
  if (H5Oget_info2(dataset, &info, H5O_INFO_HDR) < 0)
    throw H5::DataSetIException("checked_extents", "cannot read the object header");
  const std::uint64_t present = info.hdr.mesg.present;
  if ((present >> kExternalFilesMessage & 1U) != 0)
    throw_extents(dataset, "data kept in external files is not read");
  if (bytes <= kAlwaysReadable) return;
  constexpr std::uint64_t kLargestCompressionRatio = 1032;
  const std::uint64_t size = file_size_of(dataset);
  std::uint64_t budget = size;
  const bool filtered = (present >> kFilterPipelineMessage & 1U) != 0;
  if (filtered && !multiply(size, kLargestCompressionRatio, budget)) budget = UINT64_MAX;
  if (bytes > budget) {
    throw_extents(dataset,
                  "extents need " + std::to_string(bytes) + " bytes, more than the file holds");
  }
}

// Stored size of one element of `dataset`. Throws H5::DataSetIException when HDF5 cannot tell.
std::size_t stored_element_size(hid_t dataset) {
  const detail::Handle type(H5Dget_type(dataset), H5Tclose);
  const std::size_t size = type.valid() ? H5Tget_size(type.get()) : 0;
  if (size == 0) throw H5::DataSetIException("checked_extents", "cannot read the element type");
  return size;
}

}  // namespace

std::vector<detail::Link> detail::hard_links(const H5::Group& group) {
  std::vector<Link> links;
  hsize_t position = 0;
  if (H5Literate(group.getId(), H5_INDEX_NAME, H5_ITER_INC, &position, collect_hard_link, &links) <
      0) {
    throw H5::GroupIException("link_names", "H5Literate failed");
  }
  return links;
}

std::vector<std::string> detail::link_names(const H5::Group& group) {
  std::vector<std::string> names;
  for (Link& link : hard_links(group)) names.push_back(std::move(link.name));
  return names;
}

std::vector<hsize_t> detail::checked_extents(hid_t dataset, hid_t space) {
  hsize_t extents[H5S_MAX_RANK] = {};
  const int rank = H5Sget_simple_extent_dims(space, extents, nullptr);
  if (rank < 0) throw H5::DataSpaceIException("checked_extents", "cannot read the extents");
  if (rank == 0 && H5Sget_simple_extent_type(space) == H5S_NULL) return {0};
  std::vector<hsize_t> dims(extents, extents + rank);
  std::uint64_t bytes = stored_element_size(dataset);
  for (const hsize_t d : dims) {
    if (!multiply(bytes, d == 0 ? 1 : d, bytes)) throw_extents(dataset, "extents overflow");
  }
  check_storage(dataset, bytes);
  return dims;
}

std::size_t detail::checked_element_count(hid_t dataset, hid_t space) {
  std::size_t count = 1;
  for (const hsize_t d : checked_extents(dataset, space)) count *= static_cast<std::size_t>(d);
  return count;
}

detail::VlenBuffer::~VlenBuffer() {
  if (H5Dvlen_reclaim(type_, space_, H5P_DEFAULT, buffer_) < 0) {
    discard_captured_stack();  // nothing to recover: the buffer is lost either way
  }
}

detail::Handle& detail::Handle::operator=(Handle&& other) noexcept {
  if (this != &other) {
    reset();
    id_ = other.id_;
    close_ = other.close_;
    other.id_ = H5I_INVALID_HID;
  }
  return *this;
}

void detail::Handle::reset() noexcept {
  if (id_ >= 0 && close_ != nullptr) close_(id_);
  id_ = H5I_INVALID_HID;
}

detail::Handle detail::vlen_transfer_list(std::size_t elements) {
  // 32 bytes cover the larger of a memory element (pointer or hvl_t) and a file element of a
  // variable-length type; HDF5 strip-mines larger transfers through the buffer anyway.
  constexpr std::size_t kBytesPerElement = 32;
  constexpr std::size_t kMinimum = 1024;
  int size_class = 0;
  while (size_class + 1 < kTransferSizes &&
         (kMinimum << size_class) / kBytesPerElement < elements) {
    ++size_class;
  }
  return shared_in_operation(size_class, [size_class] {
    Handle list(H5Pcreate(H5P_DATASET_XFER), H5Pclose);
    if (!list.valid() || H5Pset_buffer(list.get(), kMinimum << size_class, nullptr, nullptr) < 0)
      throw H5::PropListIException("vlen_transfer_list", "cannot set up the transfer list");
    return list;
  });
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
