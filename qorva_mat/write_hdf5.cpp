#include "qorva_mat/write_hdf5.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>
#include <utility>

#include "qorva_mat/error.hpp"
#include "qorva_mat/hdf5_helpers.hpp"
#include "qorva_mat/log.hpp"
#include "qorva_mat/material.hpp"
#include "qorva_mat/property_set.hpp"
#include "qorva_mat/units.hpp"

namespace qorva_mat {

H5::DataSet create_vl_string_2d_dataset(H5::Group& group, const std::string& name,
                                        const std::vector<std::string>& values_, std::size_t nrows_,
                                        std::size_t ncols_) {
  QORVA_ASSERT(nrows_ * ncols_ == values_.size(), "Shape missmatch");
  return detail::create_vl_strings(group, name, values_, {nrows_, ncols_});
}

namespace {

// "string_property": the N keys followed by their N values, as an (N, 2) dataset.
template <class Object>
void write_string_properties(const Object& object, H5::Group& group) {
  std::vector<std::string> items = object.get_string_property_keys();
  const std::size_t count = items.size();
  if (count == 0) return;
  items.reserve(2 * count);
  for (std::size_t k = 0; k < count; ++k) items.push_back(object.get_string_property(items[k]));
  create_vl_string_2d_dataset(group, "string_property", items, count, 2);
}

// A table of m sequences of n values as an (n, m) dataset: element (r, c) = sequence c, value r.
void write_table(H5::Group& group, const std::string& name, const PropertySet::table_t& table,
                 const std::string& check_expression) {
  const std::size_t m = table.size();
  const std::size_t ncols = m == 0 ? 0 : table[0].size();
  for (std::size_t j = 0; j < m; ++j) {
    if (table[j].size() != ncols) {
      throw assertion_error(check_expression, check_expression + " failed", __func__, __FILE__, __LINE__);
    }
  }
  std::vector<double> flat(ncols * m);
  for (std::size_t r = 0; r < ncols; ++r) {
    for (std::size_t c = 0; c < m; ++c) flat[r * m + c] = table[c][r];
  }
  create_2d_dataset<double>(group, name, flat, ncols, m, H5::PredType::NATIVE_DOUBLE);
}

// Exponents stored exponent by exponent: flat position t * u + s is exponent t of field unit s.
void write_field_units(H5::Group& group, const std::vector<Unit>& field_units) {
  const std::size_t u = field_units.size();
  const std::size_t slots = units::exponent_vec_t::size();
  std::vector<short> exponents(slots * u);
  std::vector<std::string> systems;
  systems.reserve(u);
  for (std::size_t s = 0; s < u; ++s) {
    const Unit& unit = field_units[s];
    QORVA_ASSERT(unit.system() != nullptr, "write_property_set: field unit without unit system.");
    for (std::size_t t = 0; t < slots; ++t) exponents[t * u + s] = unit.unit_exp()[t];
    systems.push_back(unit.system()->zepl_type_str());
  }
  create_2d_dataset<short>(group, "field_unit_exp", exponents, u, slots);
  create_vl_string_dataset(group, "field_unit_system", systems);
}

void write_independent_setup(const PropertySet& set, const PropertySet::gil_tuple_t& gil, H5::Group& group) {
  write_table(group, "indep_data", boost::tuples::get<1>(gil), "indep_data[j].size()==ncols");
  create_vl_string_dataset(group, "indep_names", boost::tuples::get<0>(gil));
  const PropertySet::ranges_t& ranges = boost::tuples::get<2>(gil);
  std::vector<double> flat_ranges;
  flat_ranges.reserve(2 * ranges.size());
  for (const auto& range : ranges) {
    flat_ranges.push_back(range.first);
    flat_ranges.push_back(range.second);
  }
  create_2d_dataset<double>(group, "ranges", flat_ranges, ranges.size(), 2);
  const std::vector<double>& defaults = boost::tuples::get<3>(gil);
  create_2d_dataset<double>(group, "defaults", defaults, defaults.size(), 1);
  write_field_units(group, set.field_units());
}

}  // namespace

void write_property_set(const PropertySet& set, H5::Group& group) {
  create_vl_str_attribute(group, "name", set.name());
  write_string_properties(set, group);
  const PropertySet::gil_tuple_t gil = set.get_gil();
  const bool use_cgal = set.try_get_algorithm_bool_option("use_cgal_triangulation", false);
  const bool project = set.try_get_algorithm_bool_option("project_to_convex_hull", false);
  write_table(group, "dep_data", boost::tuples::get<5>(gil), "dep_data[j].size()==ncols");
  create_vl_string_dataset(group, "dep_names", boost::tuples::get<4>(gil));
  if (!boost::tuples::get<0>(gil).empty()) write_independent_setup(set, gil, group);
  create_vl_str_attribute(group, "algorithm", boost::tuples::get<6>(gil));
  create_bool_attribute(group, "is_cached", boost::tuples::get<7>(gil));
  create_bool_attribute(group, "is_normalized", boost::tuples::get<8>(gil));
  create_bool_attribute(group, "project_to_convex_hull", project);
  create_bool_attribute(group, "use_cgal_triangulation", use_cgal);
}

void write_material(const Material& material, H5::Group& group) {
  create_vl_str_attribute(group, "name", material.name());
  write_string_properties(material, group);
  for (std::size_t j = 0; j < material.property_vec_size(); ++j) {
    if (!material.is_property_set_active(j)) continue;
    H5::Group property_group = group.createGroup("Property" + std::to_string(j));
    write_property_set(material.at(j), property_group);
  }
}

namespace {

namespace fs = std::filesystem;

// The file a path stands for: a symbolic link is followed, so the link stays and the file it
// points to is replaced.
std::string resolve_target(const std::string& path) {
  std::error_code error;
  const fs::path p(path);
  if (!fs::is_symlink(p, error)) return path;
  const fs::path resolved = fs::weakly_canonical(p, error);
  return error ? path : resolved.string();
}

// "<name>.tmp-<pid>-<random>" beside `target`, a name no other writer picks at the same time.
// The target's part is shortened when the whole name would exceed 255 bytes, the usual limit of
// one file name.
std::string temporary_name(const std::string& target) {
  static std::atomic<unsigned long long> serial{0};
  std::random_device device;
  const unsigned long long bits =
      ((static_cast<unsigned long long>(device()) << 32) | device()) ^ serial.fetch_add(1);
  char suffix[64];
  std::snprintf(suffix, sizeof suffix, ".tmp-%ld-%016llx", static_cast<long>(::getpid()), bits);
  const fs::path p(target);
  std::string name = p.filename().string();
  constexpr std::size_t kMaxName = 255;
  const std::size_t suffix_size = std::strlen(suffix);
  if (name.size() + suffix_size > kMaxName) name.resize(kMaxName - suffix_size);
  return (p.parent_path() / (name + suffix)).string();
}

// Removes the temporary file when it goes out of scope, unless it was renamed into place.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::string name) : name_(std::move(name)) {}
  ~TemporaryFile() {
    std::error_code ignored;
    if (!renamed_) fs::remove(name_, ignored);
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  const std::string& name() const { return name_; }
  void renamed() { renamed_ = true; }

 private:
  std::string name_;
  bool renamed_ = false;
};

// The checks an in-place truncating open would have made on the target: a name that is no file
// name, or an existing file this process may not write, fails as HDF5's own open would.
void check_target(const std::string& path, const std::string& target) {
  if (fs::path(target).filename().empty()) {
    throw H5::FileIException("write_materials_hdf5", "unable to create file: no file name in '" + path + "'");
  }
  if (::access(target.c_str(), F_OK) == 0 && ::access(target.c_str(), W_OK) != 0) {
    const int error = errno;
    throw H5::FileIException("write_materials_hdf5",
                             "unable to open file for writing: name = '" + path + "', " + std::strerror(error));
  }
}

// Forces the closed file's content to the disk, so that a crash after the rename cannot leave an
// empty store behind. Returns 0 or the errno of the failing call.
int sync_file(const std::string& name) {
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  int error = ::fsync(fd) == 0 ? 0 : errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  return error;
}

}  // namespace

unsigned int write_materials_hdf5(std::string path, std::vector<std::shared_ptr<Material>>& materials) {
  // The store is written to a temporary file beside the target and renamed over it only once the
  // file is complete and closed, so a failed write leaves a previous store untouched.
  const std::string target = resolve_target(path);
  TemporaryFile temporary(temporary_name(target));
  const unsigned int result = detail::run_hdf5_operation([&] {
    check_target(path, target);
    H5::H5File file(temporary.name(), H5F_ACC_EXCL);
    {
      H5::Group materials_group = file.createGroup("Materials");
      for (std::size_t i = 0; i < materials.size(); ++i) {
        QORVA_ASSERT(materials[i] != nullptr, "write_materials_hdf5: material pointer is null.");
        H5::Group material_group = materials_group.createGroup("Material" + std::to_string(i));
        write_material(*materials[i], material_group);
      }
    }
    file.close();
  });
  if (result != 0) return result;

  if (const int error = sync_file(temporary.name())) {
    QORVA_LOG(warning) << "write_materials_hdf5: cannot write " << path << ": "
                       << std::error_code(error, std::generic_category()).message();
    return 0xFFFFFFFFu;
  }
  std::error_code error;
  // A replaced file keeps its permissions.
  const fs::file_status old_status = fs::status(target, error);
  if (!error && fs::is_regular_file(old_status)) {
    fs::permissions(temporary.name(), old_status.permissions(), error);
  }
  error.clear();
  fs::rename(temporary.name(), target, error);
  if (error) {
    QORVA_LOG(warning) << "write_materials_hdf5: cannot replace " << path << ": " << error.message();
    return 0xFFFFFFFFu;
  }
  temporary.renamed();
  return 0;
}

}  // namespace qorva_mat
