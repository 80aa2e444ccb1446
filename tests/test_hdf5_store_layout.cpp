// How the HDF5 store is kept on disk: small objects in their headers, no chunking, and stores written before
// that still load.
#include <gtest/gtest.h>

#include <H5Cpp.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "qorva_mat/load_hdf5.hpp"
#include "qorva_mat/load_matbook.hpp"
#include "qorva_mat/write_hdf5.hpp"
#include "tests/store_materials.hpp"

namespace {

using qorva_mat::Material;
using materials_t = std::vector<std::shared_ptr<Material>>;
namespace fs = std::filesystem;

const std::string kData = QORVA_TEST_DATA_DIR;
const std::string kExample = std::string(QORVA_EXAMPLES_DIR) + "/ud_carbon_epoxy.xml";

H5D_layout_t layout_of(H5::H5File& file, const std::string& path) {
  return file.openDataSet(path).getCreatePlist().getLayout();
}

H5G_storage_type_t link_storage_of(H5::H5File& file, const std::string& path) {
  H5G_info_t info{};
  EXPECT_GE(H5Gget_info_by_name(file.getId(), path.c_str(), &info, H5P_DEFAULT), 0);
  return info.storage_type;
}

TEST(Hdf5StoreLayout, StoreWrittenBeforeTheCompactLayoutStillLoads) {
  // The example converted by the program in SI: the same materials as the example read in SI.
  materials_t expected;
  ASSERT_EQ(qorva_mat::load_materials(kExample, expected, qorva_mat::make_unit_system("SI")), 2u);
  materials_t loaded;
  ASSERT_EQ(qorva_mat::load_materials_hdf5(kData + "/store_before_compact_layout.h5", loaded), 0u);
  qorva_test::expect_same_materials(expected, loaded);
}

TEST(Hdf5StoreLayout, SmallObjectsLiveInTheirHeadersAndLargeTablesAreContiguous) {
  auto material = qorva_test::sample_material();
  // 3000 points of one dependent variable: 24 kB, too large for an object header.
  auto big = std::make_shared<qorva_mat::PropertySet>("Big", std::vector<std::string>{"y"});
  qorva_mat::PropertySet::table_t x, y;
  for (int i = 0; i < 3000; ++i) {
    x.push_back({static_cast<double>(i)});
    y.push_back({0.5 * i});
  }
  big->set({"x"}, x, {{0.0, 2999.0}}, {0.0}, y, qorva_mat::GilOptions(), false);
  big->field_units({qorva_test::unit("SI", {0, 0, 0, 0, 0, 0})});
  material->add_property_set(big);
  materials_t written{material, qorva_test::sample_material()};
  const std::string path = (fs::temp_directory_path() / "qorva_layout_store.h5").string();
  ASSERT_EQ(qorva_mat::write_materials_hdf5(path, written), 0u);
  {
    H5::H5File file(path, H5F_ACC_RDONLY);
    H5F_info2_t info{};
    ASSERT_GE(H5Fget_info2(file.getId(), &info), 0);
    EXPECT_GE(info.super.version, 2u);  // the newest formats, not the 1.6-compatible defaults
    for (const char* dataset :
         {"Materials/Material0/string_property", "Materials/Material0/Property1/dep_data",
          "Materials/Material0/Property1/field_unit_exp",
          "Materials/Material0/Property0/dep_names"}) {
      EXPECT_EQ(layout_of(file, dataset), H5D_COMPACT) << dataset;
    }
    // The set added last (the first slot after the predefined property types).
    EXPECT_EQ(layout_of(file, "Materials/Material0/Property21/dep_data"), H5D_CONTIGUOUS);
    EXPECT_EQ(layout_of(file, "Materials/Material0/Property21/indep_data"), H5D_CONTIGUOUS);
    EXPECT_EQ(link_storage_of(file, "Materials/Material0"), H5G_STORAGE_TYPE_COMPACT);
    EXPECT_EQ(link_storage_of(file, "Materials/Material0/Property1"), H5G_STORAGE_TYPE_COMPACT);
  }
  materials_t loaded;
  ASSERT_EQ(qorva_mat::load_materials_hdf5(path, loaded), 0u);
  fs::remove(path);
  qorva_test::expect_same_materials(written, loaded);
}

}  // namespace
