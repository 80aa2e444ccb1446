#include "qorva_mat/write_hdf5.hpp"

#include "qorva_mat/detail/gil_content.hpp"
#include "qorva_mat/detail/hdf5_image.hpp"
#include "qorva_mat/detail/replace_file.hpp"
#include "qorva_mat/error.hpp"
#include "qorva_mat/hdf5_helpers.hpp"
#include "qorva_mat/log.hpp"
#include "qorva_mat/material.hpp"
#include "qorva_mat/property_set.hpp"
#include "qorva_mat/units.hpp"

namespace qorva_mat {

namespace {
// What create_vl_string_2d_dataset reports when the values do not fill the shape.
constexpr const char* kShapeFitsValues = "nrows_ * ncols_ == values_.size()";
constexpr const char* kShapeMismatch = "Shape missmatch";
}  // namespace

H5::DataSet create_vl_string_2d_dataset(H5::Group& group, const std::string& name,
                                        const std::vector<std::string>& values, std::size_t nrows,
                                        std::size_t ncols) {
  QORVA_ASSERT_TEXT(nrows * ncols == values.size(), kShapeFitsValues, kShapeMismatch);
  return detail::create_vl_strings(group, name, values, {nrows, ncols});
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
      throw assertion_error(check_expression, check_expression + " failed", __func__, __FILE__,
                            __LINE__);
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

void write_independent_setup(const PropertySet& set, const detail::GilContent& gil,
                             H5::Group& group) {
  write_table(group, "indep_data", gil.independent, "indep_data[j].size()==ncols");
  create_vl_string_dataset(group, "indep_names", gil.independent_names);
  const PropertySet::ranges_t& ranges = gil.ranges;
  std::vector<double> flat_ranges;
  flat_ranges.reserve(2 * ranges.size());
  for (const auto& range : ranges) {
    flat_ranges.push_back(range.first);
    flat_ranges.push_back(range.second);
  }
  create_2d_dataset<double>(group, "ranges", flat_ranges, ranges.size(), 2);
  const std::vector<double>& defaults = gil.defaults;
  create_2d_dataset<double>(group, "defaults", defaults, defaults.size(), 1);
  write_field_units(group, set.field_units());
}

}  // namespace

void write_property_set(const PropertySet& set, H5::Group& group) {
  create_vl_str_attribute(group, "name", set.name());
  write_string_properties(set, group);
  const detail::GilContent gil = detail::gil_content(set);
  const bool use_cgal = set.try_get_algorithm_bool_option("use_cgal_triangulation", false);
  const bool project = set.try_get_algorithm_bool_option("project_to_convex_hull", false);
  write_table(group, "dep_data", gil.dependent, "dep_data[j].size()==ncols");
  create_vl_string_dataset(group, "dep_names", gil.dependent_names);
  if (!gil.independent_names.empty()) write_independent_setup(set, gil, group);
  create_vl_str_attribute(group, "algorithm", gil.algorithm);
  create_bool_attribute(group, "is_cached", gil.cached);
  create_bool_attribute(group, "is_normalized", gil.normalized);
  create_bool_attribute(group, "project_to_convex_hull", project);
  create_bool_attribute(group, "use_cgal_triangulation", use_cgal);
}

namespace {

// A group whose links stay in its object header up to 32 members (HDF5 moves them to a separate
// heap and B-tree after 8 by default; a material holds up to 21, a property set up to 9), without
// time stamps, which every new member and attribute would update.
H5::Group create_member_group(H5::Group& parent, const std::string& name) {
  const hid_t gcpl = H5Pcreate(H5P_GROUP_CREATE);
  hid_t id = H5I_INVALID_HID;
  if (gcpl >= 0 && H5Pset_link_phase_change(gcpl, 32, 24) >= 0 &&
      H5Pset_est_link_info(gcpl, 10, 12) >= 0 && H5Pset_obj_track_times(gcpl, 0) >= 0) {
    id = H5Gcreate2(parent.getId(), name.c_str(), H5P_DEFAULT, gcpl, H5P_DEFAULT);
  }
  if (gcpl >= 0) H5Pclose(gcpl);
  if (id < 0) throw H5::GroupIException("write_materials_hdf5", "cannot create group " + name);
  H5::Group group(id);  // holds its own reference
  H5Gclose(id);
  return group;
}

}  // namespace

void write_material(const Material& material, H5::Group& group) {
  create_vl_str_attribute(group, "name", material.name());
  write_string_properties(material, group);
  for (std::size_t j = 0; j < material.property_vec_size(); ++j) {
    if (!material.is_property_set_active(j)) continue;
    H5::Group property_group = create_member_group(group, "Property" + std::to_string(j));
    write_property_set(material.at(j), property_group);
  }
}

namespace {

// The whole store as the bytes of an HDF5 file, built in memory (HDF5's core driver without a
// backing file). HDF5 then never sees a failing disk: a failed close after a write error leaves
// HDF5 1.10 with a half-closed file that its handle's destructor and the library's exit code
// close again and crash on. The disk is written by replace_file, which reports its own errors.
std::string store_image(const std::vector<std::shared_ptr<Material>>& materials) {
  const std::string name = detail::in_memory_file_name("store");
  H5::FileAccPropList access;
  constexpr std::size_t kGrowth = 1 << 20;
  access.setCore(kGrowth, false);
  // The newest object formats: links and attributes kept in the object headers, smaller headers.
  access.setLibverBounds(H5F_LIBVER_LATEST, H5F_LIBVER_LATEST);
  H5::H5File file(name, H5F_ACC_TRUNC, H5::FileCreatPropList::DEFAULT, access);
  {
    H5::Group materials_group = file.createGroup("Materials");
    for (std::size_t i = 0; i < materials.size(); ++i) {
      QORVA_ASSERT(materials[i] != nullptr, "write_materials_hdf5: material pointer is null.");
      H5::Group material_group =
          create_member_group(materials_group, "Material" + std::to_string(i));
      write_material(*materials[i], material_group);
    }
  }
  file.flush(H5F_SCOPE_GLOBAL);
  const ssize_t size = H5Fget_file_image(file.getId(), nullptr, 0);
  if (size < 0) throw H5::FileIException("write_materials_hdf5", "H5Fget_file_image failed");
  std::string image(static_cast<std::size_t>(size), '\0');
  if (H5Fget_file_image(file.getId(), &image[0], image.size()) != size) {
    throw H5::FileIException("write_materials_hdf5", "H5Fget_file_image failed");
  }
  detail::renew_superblock_checksum(image);
  file.close();
  return image;
}

}  // namespace

unsigned int write_materials_hdf5(std::string path,
                                  std::vector<std::shared_ptr<Material>>& materials) {
  return detail::run_hdf5_operation([&] {
    const std::string image = store_image(materials);
    try {
      detail::replace_file(path, image, "write_materials_hdf5");
    } catch (const runtime_error& e) {
      throw H5::FileIException("write_materials_hdf5", e.what());
    }
  });
}

}  // namespace qorva_mat
