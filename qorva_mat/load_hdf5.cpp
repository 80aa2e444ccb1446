#include "qorva_mat/load_hdf5.hpp"

#include <cstring>
#include <functional>
#include <new>
#include <set>

#include "qorva_mat/detail/hdf5_image.hpp"
#include "qorva_mat/error.hpp"
#include "qorva_mat/hdf5_helpers.hpp"
#include "qorva_mat/log.hpp"
#include "qorva_mat/material.hpp"
#include "qorva_mat/property_set.hpp"
#include "qorva_mat/units.hpp"

namespace qorva_mat {

namespace {
// The conditions the store reader reports when a dataset has the wrong shape, as they read in
// its assertion messages.
constexpr const char* kTwoDimensions = "num_dims==2";
constexpr const char* kSpaceTwoDimensions = "dspace.getSimpleExtentNdims()==2";
constexpr const char* kRangePairs = "ncols==2";
constexpr const char* kExponentColumns = "ncols==units::exponent_vec_t::size()";
constexpr const char* kOneSystemPerUnit = "exp_data.size()/ncols==unit_system_data.size()";
}  // namespace

namespace {

// The readers take every element of a dataspace (1 for a scalar, 0 for a null dataspace; for
// rank-1 and (n, 1) data the first extent), counted by detail::checked_element_count so that no
// reader allocates more than the file justifies. They work on identifiers (see detail::Handle).
using detail::checked_element_count;
using detail::Handle;

Handle space_of(hid_t dataset) {
  Handle space(H5Dget_space(dataset), H5Sclose);
  if (!space.valid()) throw H5::DataSetIException("getSpace", "H5Dget_space failed");
  return space;
}

int rank_of(hid_t space) {
  const int rank = H5Sget_simple_extent_ndims(space);
  if (rank < 0) throw H5::DataSpaceIException("getSimpleExtentNdims", "cannot read the rank");
  return rank;
}

void read_whole(hid_t dataset, hid_t memory_type, void* buffer, hid_t transfer = H5P_DEFAULT) {
  if (H5Dread(dataset, memory_type, H5S_ALL, H5S_ALL, transfer, buffer) < 0)
    throw H5::DataSetIException("DataSet::read", "H5Dread failed");
}

std::vector<std::string> read_strings(hid_t dataset, hid_t space) {
  const Handle type(H5Dget_type(dataset), H5Tclose);
  if (!type.valid() || H5Tget_class(type.get()) != H5T_STRING) {
    detail::throw_wrong_type("read_vl_string_dataset", "dataset does not hold strings");
  }
  const std::size_t n = checked_element_count(dataset, space);
  std::vector<std::string> out;
  out.reserve(n);
  if (n == 0) return out;
  const htri_t variable = H5Tis_variable_str(type.get());
  if (variable < 0)
    detail::throw_wrong_type("read_vl_string_dataset", "cannot tell the string type");
  if (variable > 0) {
    std::vector<char*> pointers(n, nullptr);
    const detail::VlenBuffer guard(type.get(), space, pointers.data());
    read_whole(dataset, type.get(), pointers.data(), detail::vlen_transfer_list(n).get());
    for (const char* p : pointers) out.emplace_back(p == nullptr ? "" : p);
    return out;
  }
  const std::size_t size = H5Tget_size(type.get());
  std::vector<char> block(n * size);
  read_whole(dataset, type.get(), block.data());
  for (std::size_t i = 0; i < n; ++i) {
    const char* first = block.data() + i * size;
    out.emplace_back(first, strnlen(first, size));
  }
  return out;
}

// Reads all rows of a variable-length integer dataset and hands each row to `take`.
void read_vl_int_rows(hid_t dataset, const std::function<void(const hvl_t&)>& take) {
  const Handle space = space_of(dataset);
  const Handle type(H5Tvlen_create(H5T_NATIVE_INT), H5Tclose);
  if (!type.valid()) throw H5::DataTypeIException("read_vl_int_dataset", "H5Tvlen_create failed");
  std::vector<hvl_t> rows(checked_element_count(dataset, space.get()), hvl_t{0, nullptr});
  if (rows.empty()) return;
  const detail::VlenBuffer guard(type.get(), space.get(), rows.data());
  read_whole(dataset, type.get(), rows.data(), detail::vlen_transfer_list(rows.size()).get());
  for (const hvl_t& row : rows) take(row);
}

// The datasets of one group, found by name. Listed once when made with `list` true, so that the
// lookups of a whole property group cost one pass over its members; otherwise every lookup lists
// the group itself.
class Members {
 public:
  Members(H5::Group& group, bool list) : group_(group), listed_(list) {
    if (list) links_ = detail::hard_links(group);
  }
  // The matching dataset, open; an invalid handle when there is none.
  Handle find(const std::string& name, bool case_sensitive) const {
    return detail::find_dataset(group_.getId(), listed_ ? links_ : detail::hard_links(group_), name,
                                case_sensitive);
  }
  H5::Group& group() const { return group_; }
  const std::vector<detail::Link>& links() const { return links_; }

 private:
  H5::Group& group_;
  bool listed_;
  std::vector<detail::Link> links_;
};

template <class T>
bool load_1d_named(const Members& members, const std::string& name, std::vector<T>& out,
                   bool& found, hid_t memory_type) {
  const Handle dataset = members.find(name, false);
  found = dataset.valid();
  if (!found) {
    QORVA_LOG(debug) << "DataSet " << name << " not found.";
    return false;
  }
  std::vector<T> values(checked_element_count(dataset.get(), space_of(dataset.get()).get()));
  if (!values.empty()) read_whole(dataset.get(), memory_type, values.data());
  out.swap(values);
  return true;
}

}  // namespace

// --- Readers ---------------------------------------------------------------------------------

std::vector<std::string> read_vl_string_dataset(const H5::DataSet& dataset) {
  return read_strings(dataset.getId(), space_of(dataset.getId()).get());
}

namespace {
std::vector<std::string> read_2d_strings(hid_t dataset) {
  const Handle space = space_of(dataset);
  const int num_dims = rank_of(space.get());
  QORVA_ASSERT_TEXT(num_dims == 2, kTwoDimensions, kTwoDimensions);
  return read_strings(dataset, space.get());
}
}  // namespace

std::vector<std::string> read_vl_2d_string_dataset(const H5::DataSet& dataset) {
  return read_2d_strings(dataset.getId());
}

void load_string_dataset(const H5::DataSet& dataset, std::vector<std::string>& out) {
  out = read_vl_string_dataset(dataset);
}

std::vector<std::vector<int>> read_vl_int_dataset(const H5::DataSet& dataset) {
  std::vector<std::vector<int>> out;
  read_vl_int_rows(dataset.getId(), [&out](const hvl_t& row) {
    const int* first = static_cast<const int*>(row.p);
    out.emplace_back(first, first + row.len);
  });
  return out;
}

int** read_vl_int_dataset(const H5::DataSet& dataset, std::size_t& n) {
  const std::vector<std::vector<int>> rows = read_vl_int_dataset(dataset);
  std::size_t total = 0;
  for (const auto& row : rows) total += row.size();
  int* block = total == 0 ? nullptr : static_cast<int*>(::operator new(total * sizeof(int)));
  int** index = nullptr;
  try {
    index = static_cast<int**>(::operator new((rows.size() + 1) * sizeof(int*)));
  } catch (...) {
    ::operator delete(block);
    throw;
  }
  int* next = block;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    index[i] = next;
    if (!rows[i].empty()) std::memcpy(next, rows[i].data(), rows[i].size() * sizeof(int));
    next += rows[i].size();
  }
  index[rows.size()] = next;
  n = rows.size();
  return index;
}

// --- Named loaders ---------------------------------------------------------------------------

bool load_dataset_named(H5::Group& group, const std::string& name, std::vector<bool>& out,
                        bool& found) {
  std::vector<unsigned char> bytes;
  const bool ok = load_1d_named(Members(group, false), name, bytes, found, H5T_NATIVE_UCHAR);
  out.assign(bytes.size(), false);
  for (std::size_t i = 0; i < bytes.size(); ++i) out[i] = bytes[i] == 1;
  return ok;
}

bool load_short_dataset_named(H5::Group& group, const std::string& name, std::vector<short>& out,
                              bool& found) {
  return load_1d_named(Members(group, false), name, out, found, H5T_NATIVE_SHORT);
}

bool load_double_dataset_named(H5::Group& group, const std::string& name, std::vector<double>& out,
                               bool& found) {
  return load_1d_named(Members(group, false), name, out, found, H5T_NATIVE_DOUBLE);
}

namespace {

bool load_strings_named(const Members& members, const std::string& name,
                        std::vector<std::string>& out, bool& found) {
  const Handle dataset = members.find(name, false);
  found = dataset.valid();
  if (!found) {
    QORVA_LOG(warning) << "DataSet " << name << " missing.";
    return false;
  }
  out = read_strings(dataset.get(), space_of(dataset.get()).get());
  return true;
}

hid_t memory_type_of(const short&) { return H5T_NATIVE_SHORT; }
hid_t memory_type_of(const double&) { return H5T_NATIVE_DOUBLE; }

template <class C>
bool load_2d_named(const Members& members, const std::string& name, C& out, bool& found,
                   std::size_t& nrows, std::size_t& ncols) {
  const Handle dataset = members.find(name, false);
  found = dataset.valid();
  if (!found) {
    QORVA_LOG(warning) << "Cannot open DataSet " << name;
    return false;
  }
  const Handle dspace = space_of(dataset.get());
  QORVA_ASSERT_TEXT(rank_of(dspace.get()) == 2, kSpaceTwoDimensions,
                    std::string(kSpaceTwoDimensions) + " failed");
  const std::vector<hsize_t> dims = detail::checked_extents(dataset.get(), dspace.get());
  C values(static_cast<std::size_t>(dims[0] * dims[1]));
  if (!values.empty())
    read_whole(dataset.get(), memory_type_of(typename C::value_type()), values.data());
  out.swap(values);
  nrows = static_cast<std::size_t>(dims[0]);
  ncols = static_cast<std::size_t>(dims[1]);
  return true;
}

}  // namespace

bool load_string_dataset_named(H5::Group& group, const std::string& name,
                               std::vector<std::string>& out, bool& found) {
  return load_strings_named(Members(group, false), name, out, found);
}

template <class C>
bool load_dataset_2d_named(H5::Group& group, const std::string& name, C& out, bool& found,
                           std::size_t& nrows, std::size_t& ncols) {
  return load_2d_named(Members(group, false), name, out, found, nrows, ncols);
}

template bool load_dataset_2d_named<std::vector<short>>(H5::Group&, const std::string&,
                                                        std::vector<short>&, bool&, std::size_t&,
                                                        std::size_t&);
template bool load_dataset_2d_named<std::vector<double>>(H5::Group&, const std::string&,
                                                         std::vector<double>&, bool&, std::size_t&,
                                                         std::size_t&);

// --- Material store --------------------------------------------------------------------------

namespace {

// Visits, in increasing name order, every member group of `members` whose name is `prefix`
// followed by at least one more character, with its member name. Each member is opened once, and
// skipped when it is no group.
void visit_member_groups(const Members& members, const std::string& prefix,
                         const std::function<void(H5::Group&, const std::string&)>& visit) {
  for (const detail::Link& link : members.links()) {
    const std::string& name = link.name;
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
    const Handle id = detail::open_member(members.group().getId(), link, H5I_GROUP);
    if (!id.valid()) continue;
    H5::Group member(id.get());  // holds its own reference
    visit(member, name);
  }
}

void visit_groups(const Members& members, const std::string& prefix,
                  const std::function<void(H5::Group&)>& visit) {
  visit_member_groups(members, prefix,
                      [&visit](H5::Group& member, const std::string&) { visit(member); });
}

// The material name stored in `group`, as the material gets it.
std::string material_name(H5::Group& group) {
  bool found = false;
  std::string name = get_std_str_attribute(group, "name", found, true);
  QORVA_ASSERT(found, "read_material: material name attribute not found.");
  return name;
}

// Pairs item t with item t + T/2 of the stored "string_property" rows and hands them to `set`.
void read_string_properties(
    const Members& members,
    const std::function<void(const std::string&, const std::string&)>& set) {
  const Handle dataset = members.find("string_property", true);
  if (!dataset.valid()) return;
  const std::vector<std::string> items = read_2d_strings(dataset.get());
  const std::size_t half = items.size() / 2;
  if (items.size() <= 1) return;
  for (std::size_t t = 0; t < half; ++t) set(items[t], items[t + half]);
}

// A stored (n, m) table back into m sequences of n values: sequence c, value r = element (r, c).
PropertySet::table_t rebuild_table(const std::vector<double>& flat, std::size_t nrows,
                                   std::size_t ncols) {
  PropertySet::table_t table(ncols, std::vector<double>(nrows));
  for (std::size_t r = 0; r < nrows; ++r) {
    for (std::size_t c = 0; c < ncols; ++c) table[c][r] = flat[r * ncols + c];
  }
  return table;
}

PropertySet::table_t read_table(const Members& group, const std::string& name,
                                const std::string& missing) {
  std::vector<double> flat;
  bool found = false;
  std::size_t nrows = 0;
  std::size_t ncols = 0;
  load_2d_named(group, name, flat, found, nrows, ncols);
  QORVA_ASSERT(found, missing);
  return rebuild_table(flat, nrows, ncols);
}

PropertySet::ranges_t read_ranges(const Members& group) {
  std::vector<double> flat;
  bool found = false;
  std::size_t nrows = 0;
  std::size_t ncols = 0;
  load_2d_named(group, "ranges", flat, found, nrows, ncols);
  QORVA_ASSERT(found, "ranges not found");
  QORVA_ASSERT_TEXT(ncols == 2, kRangePairs, std::string(kRangePairs) + " failed");
  PropertySet::ranges_t ranges;
  for (std::size_t r = 0; r + 1 < flat.size(); r += 2) ranges.emplace_back(flat[r], flat[r + 1]);
  return ranges;
}

// Field units from the exponent-by-exponent "field_unit_exp" and the names in "field_unit_system".
std::vector<Unit> read_field_units(const Members& group) {
  std::vector<short> exp_data;
  bool found = false;
  std::size_t nrows = 0;
  std::size_t ncols = 0;
  load_2d_named(group, "field_unit_exp", exp_data, found, nrows, ncols);
  QORVA_ASSERT(found, "field_unit_exp not found");
  QORVA_ASSERT_TEXT(ncols == units::exponent_vec_t::size(), kExponentColumns, kExponentColumns);
  std::vector<std::string> unit_system_data;
  load_strings_named(group, "field_unit_system", unit_system_data, found);
  QORVA_ASSERT(found, "field_unit_system not found");
  QORVA_ASSERT_TEXT(exp_data.size() / ncols == unit_system_data.size(), kOneSystemPerUnit,
                    kOneSystemPerUnit);
  const std::size_t count = unit_system_data.size();
  std::vector<Unit> field_units;
  field_units.reserve(count);
  for (std::size_t s = 0; s < count; ++s) {
    units::exponent_vec_t exponents{};
    for (std::size_t t = 0; t < ncols; ++t) exponents[t] = exp_data[t * count + s];
    field_units.emplace_back(make_unit_system(unit_system_data[s]), exponents);
  }
  return field_units;
}

struct IndependentSetup {
  std::vector<std::string> names;
  PropertySet::table_t data;
  PropertySet::ranges_t ranges;
  std::vector<double> defaults;
  std::vector<Unit> field_units;
};

IndependentSetup read_independent_setup(const Members& group) {
  IndependentSetup setup;
  setup.data = read_table(group, "indep_data", "indep_data not found");
  bool found = false;
  load_strings_named(group, "indep_names", setup.names, found);
  QORVA_ASSERT(found, "indep_names not found");
  setup.ranges = read_ranges(group);
  load_1d_named(group, "defaults", setup.defaults, found, H5T_NATIVE_DOUBLE);
  QORVA_ASSERT(found, "defaults not found");
  setup.field_units = read_field_units(group);
  return setup;
}

GilOptions read_gil_options(H5::Group& group) {
  GilOptions options;
  bool found = false;
  std::string algorithm = get_std_str_attribute(group, "algorithm", found, true);
  QORVA_ASSERT(found, "read_property_set: property set algorithm attribute not found.");
  if (algorithm == "Qhull-based Linear Multivariate")
    algorithm = "Triangulation-based Linear Multivariate";
  options.algorithm = algorithm;
  options.is_cached = get_bool_attribute(group, "is_cached", found, true);
  QORVA_ASSERT(found, "read_property_set: property set is_cached attribute not found.");
  options.is_normalized = get_bool_attribute(group, "is_normalized", found, true);
  QORVA_ASSERT(found, "read_property_set: property set is_normalized attribute not found.");
  const bool project = get_bool_attribute(group, "project_to_convex_hull", found, true);
  if (found) options.project_to_convex_hull = project;
  const bool cgal = get_bool_attribute(group, "use_cgal_triangulation", found, true);
  if (found) options.use_cgal_triangulation = cgal;
  return options;
}

}  // namespace

std::shared_ptr<PropertySet> read_property_set(H5::Group& group) {
  bool found = false;
  std::string name = get_std_str_attribute(group, "name", found, true);
  QORVA_ASSERT(found, "read_property_set: property set name attribute not found.");
  const Members members(group, true);
  const PropertySet::table_t dep_data = read_table(members, "dep_data", "dep_data not found");
  std::vector<std::string> dep_names;
  load_strings_named(members, "dep_names", dep_names, found);
  QORVA_ASSERT(found, "dep_names not found");

  auto set = std::make_shared<PropertySet>(name, dep_names);
  read_string_properties(members, [&set](const std::string& key, const std::string& value) {
    set->set_string_property(key, value);
  });
  IndependentSetup independent;
  const htri_t has_independent = H5Lexists(group.getId(), "indep_data", H5P_DEFAULT);
  if (has_independent < 0) throw H5::GroupIException("read_property_set", "H5Lexists failed");
  if (has_independent > 0) {
    independent = read_independent_setup(members);
    set->field_units(independent.field_units);
  }
  const GilOptions options = read_gil_options(group);
  set->set(independent.names, independent.data, independent.ranges, independent.defaults, dep_data,
           options, false);
  return set;
}

std::shared_ptr<Material> read_material(H5::Group& group) {
  auto material = std::make_shared<Material>();
  material->name(material_name(group));
  const Members members(group, true);
  read_string_properties(members, [&material](const std::string& key, const std::string& value) {
    material->set_string_property(key, value);
  });
  visit_groups(members, "Property", [&material](H5::Group& property_group) {
    material->add_property_set(read_property_set(property_group));
  });
  return material;
}

namespace {

// The stored names (as a full load gives them) that are not among `found`, quoted and comma-separated.
std::string missing_names(const std::vector<std::string>& names,
                          const std::set<std::string>& found) {
  std::string missing;
  for (const std::string& name : names) {
    if (found.count(name) != 0) continue;
    missing += (missing.empty() ? "'" : ", '") + name + "'";
  }
  return missing;
}

// Appends the materials of an opened store to `materials`: all of them, or, when `names` is given,
// those whose name is listed (after checking that every listed name is there).
void read_store(H5::H5File& file, std::vector<std::shared_ptr<Material>>& materials,
                const std::vector<std::string>* names, const std::string& source) {
  {
    // Opened through the file: a missing group then raises H5::FileIException.
    H5::Group materials_group = file.openGroup("Materials");
    const Members members(materials_group, true);
    if (names == nullptr) {
      visit_groups(members, "Material", [&materials](H5::Group& material_group) {
        materials.push_back(read_material(material_group));
      });
    } else {
      const std::set<std::string> wanted(names->begin(), names->end());
      std::vector<std::string> chosen;
      std::set<std::string> found;
      visit_member_groups(members, "Material",
                          [&](H5::Group& material_group, const std::string& member) {
                            const std::string name = material_name(material_group);
                            if (wanted.count(name) == 0) return;
                            chosen.push_back(member);
                            found.insert(name);
                          });
      if (found.size() != wanted.size()) {
        throw runtime_error("load_hdf5: no material named " + missing_names(*names, found) +
                            " in " + source + ".");
      }
      for (const std::string& member : chosen) {
        H5::Group material_group = materials_group.openGroup(member);
        materials.push_back(read_material(material_group));
      }
    }
  }
  file.close();
}

}  // namespace

namespace {

// Stores up to this size are read whole and opened from memory: HDF5 then copies its metadata
// blocks from there instead of asking the system for each one. Larger ones are opened by HDF5.
constexpr std::size_t kReadWholeLimit = std::size_t{64} << 20;

// Reads the store at `path`, from memory when it is small enough (see kReadWholeLimit).
void read_store_file(const std::string& path, std::vector<std::shared_ptr<Material>>& materials,
                     const std::vector<std::string>* names) {
  std::string bytes;
  if (detail::read_small_file(path, kReadWholeLimit, bytes)) {
    const FileImage image{bytes.data(), bytes.size(), path};
    H5::H5File file = detail::open_file_image(image);
    read_store(file, materials, names, path);
  } else {
    H5::H5File file(path, H5F_ACC_RDONLY);
    read_store(file, materials, names, path);
  }
}

}  // namespace

unsigned int load_materials_hdf5(std::string path,
                                 std::vector<std::shared_ptr<Material>>& materials) {
  return detail::run_hdf5_operation([&] { read_store_file(path, materials, nullptr); });
}

unsigned int load_materials_hdf5(const FileImage& image,
                                 std::vector<std::shared_ptr<Material>>& materials) {
  return detail::run_hdf5_operation([&] {
    H5::H5File file = detail::open_file_image(image);
    read_store(file, materials, nullptr, image.name);
  });
}

unsigned int load_materials_hdf5(std::string path,
                                 std::vector<std::shared_ptr<Material>>& materials,
                                 const std::vector<std::string>& names) {
  return detail::run_hdf5_operation([&] { read_store_file(path, materials, &names); });
}

unsigned int load_materials_hdf5(const FileImage& image,
                                 std::vector<std::shared_ptr<Material>>& materials,
                                 const std::vector<std::string>& names) {
  return detail::run_hdf5_operation([&] {
    H5::H5File file = detail::open_file_image(image);
    read_store(file, materials, &names, image.name);
  });
}

}  // namespace qorva_mat
