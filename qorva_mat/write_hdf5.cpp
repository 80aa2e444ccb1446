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
  const detail::Handle dataset =
      detail::create_vl_strings(group.getId(), name, values, {nrows, ncols});
  return H5::DataSet(dataset.get());  // holds its own reference
}

namespace {

// The store's datasets are written through identifiers (no wrapper object per dataset).
void write_strings(H5::Group& group, const std::string& name,
                   const std::vector<std::string>& values) {
  detail::create_vl_strings(group.getId(), name, values, {values.size()});
}

template <class T>
void write_numbers(H5::Group& group, const std::string& name, const std::vector<T>& data,
                   std::size_t nrows, std::size_t ncols, hid_t type) {
  QORVA_ASSERT(nrows * ncols == data.size(), "write_materials_hdf5: table shape mismatch.");
  detail::write_dataset(group.getId(), name, type, {nrows, ncols}, data.data(), data.size());
}

// "string_property": the N keys followed by their N values, as an (N, 2) dataset.
template <class Object>
void write_string_properties(const Object& object, H5::Group& group) {
  std::vector<std::string> items = object.get_string_property_keys();
  const std::size_t count = items.size();
  if (count == 0) return;
  items.reserve(2 * count);
  for (std::size_t k = 0; k < count; ++k) items.push_back(object.get_string_property(items[k]));
  detail::create_vl_strings(group.getId(), "string_property", items, {count, 2});
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
  write_numbers(group, name, flat, ncols, m, H5T_NATIVE_DOUBLE);
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
  write_numbers(group, "field_unit_exp", exponents, u, slots, H5T_NATIVE_SHORT);
  write_strings(group, "field_unit_system", systems);
}

void write_independent_setup(const PropertySet& set, const detail::GilContent& gil,
                             H5::Group& group) {
  write_table(group, "indep_data", gil.independent, "indep_data[j].size()==ncols");
  write_strings(group, "indep_names", gil.independent_names);
  const PropertySet::ranges_t& ranges = gil.ranges;
  std::vector<double> flat_ranges;
  flat_ranges.reserve(2 * ranges.size());
  for (const auto& range : ranges) {
    flat_ranges.push_back(range.first);
    flat_ranges.push_back(range.second);
  }
  write_numbers(group, "ranges", flat_ranges, ranges.size(), 2, H5T_NATIVE_DOUBLE);
  const std::vector<double>& defaults = gil.defaults;
  write_numbers(group, "defaults", defaults, defaults.size(), 1, H5T_NATIVE_DOUBLE);
  write_field_units(group, set.field_units());
}

}  // namespace

void write_property_set(const PropertySet& set, H5::Group& group) {
  detail::write_vl_str_attribute(group.getId(), "name", set.name());
  write_string_properties(set, group);
  const detail::GilContent gil = detail::gil_content(set);
  const bool use_cgal = set.try_get_algorithm_bool_option("use_cgal_triangulation", false);
  const bool project = set.try_get_algorithm_bool_option("project_to_convex_hull", false);
  write_table(group, "dep_data", gil.dependent, "dep_data[j].size()==ncols");
  write_strings(group, "dep_names", gil.dependent_names);
  if (!gil.independent_names.empty()) write_independent_setup(set, gil, group);
  detail::write_vl_str_attribute(group.getId(), "algorithm", gil.algorithm);
  detail::write_bool_attribute(group.getId(), "is_cached", gil.cached);
  detail::write_bool_attribute(group.getId(), "is_normalized", gil.normalized);
  detail::write_bool_attribute(group.getId(), "project_to_convex_hull", project);
  detail::write_bool_attribute(group.getId(), "use_cgal_triangulation", use_cgal);
}

namespace {

// A member group of the store, made with detail::group_creation_list.
H5::Group create_member_group(H5::Group& parent, const std::string& name) {
  const hid_t id = H5Gcreate2(parent.getId(), name.c_str(), H5P_DEFAULT,
                              detail::group_creation_list().get(), H5P_DEFAULT);
  if (id < 0) throw H5::GroupIException("write_materials_hdf5", "cannot create group " + name);
  H5::Group group(id);  // holds its own reference
  H5Gclose(id);
  return group;
}

}  // namespace

void write_material(const Material& material, H5::Group& group) {
  detail::write_vl_str_attribute(group.getId(), "name", material.name());
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
