// Loading only the named materials of an HDF5 store or a Matbook file: the same materials a full load gives, the
// others left unread, and the failure for a name the file does not hold.
#include <gtest/gtest.h>

#include <H5Cpp.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "qorva_mat/error.hpp"
#include "qorva_mat/file_image.hpp"
#include "qorva_mat/load_hdf5.hpp"
#include "qorva_mat/load_matbook.hpp"
#include "qorva_mat/write_hdf5.hpp"
#include "tests/files.hpp"
#include "tests/store_materials.hpp"
#include "tests/temp_dir_test.hpp"

namespace {

using qorva_mat::FileImage;
using qorva_mat::Material;
using materials_t = std::vector<std::shared_ptr<Material>>;
using names_t = std::vector<std::string>;
namespace fs = std::filesystem;

const std::string kData = QORVA_TEST_DATA_DIR;
const std::string kExample = std::string(QORVA_EXAMPLES_DIR) + "/ud_carbon_epoxy.xml";
const std::string kCarbon = "UD Carbon/Epoxy T300/914";
const std::string kSteel = "Structural Steel S355";

using qorva_test::read_file;

const Material& named(const materials_t& materials, const std::string& name) {
  for (const auto& material : materials) {
    if (material->name() == name) return *material;
  }
  throw std::runtime_error("no " + name);
}

std::string thrown_by(const std::function<void()>& body) {
  try {
    body();
  } catch (const qorva_mat::runtime_error& e) {
    return e.what();
  }
  return "nothing";
}

class MaterialSelection : public qorva_test::TempDirTest {
 protected:
  MaterialSelection() : TempDirTest("qorva_selection_") {}

  // Twelve materials "Material 0" ... "Material 11" that differ in their density; two more named "Twin".
  std::string twelve_and_twins() {
    materials_t written;
    for (int i = 0; i < 14; ++i) {
      auto material = qorva_test::sample_material();
      material->name(i < 12 ? "Material " + std::to_string(i) : "Twin");
      material->add_property_set(qorva_test::constant_set("Density", {"rho"}, {1000.0 + i}));
      written.push_back(material);
    }
    const std::string file = path("store.h5");
    EXPECT_EQ(qorva_mat::write_materials_hdf5(file, written), 0u);
    return file;
  }
};

TEST_F(MaterialSelection, NamedStoreMaterialsEqualThoseOfAFullLoadInStoreOrder) {
  const std::string file = twelve_and_twins();
  materials_t all;
  ASSERT_EQ(qorva_mat::load_materials_hdf5(file, all), 0u);
  const std::string bytes = read_file(file);
  for (bool from_image : {false, true}) {
    SCOPED_TRACE(from_image ? "image" : "file");
    materials_t some{std::make_shared<Material>()};
    const names_t names{"Material 3", "Twin", "Material 10"};
    const unsigned int status = from_image ? qorva_mat::load_materials_hdf5(
                                                 FileImage{bytes.data(), bytes.size()}, some, names)
                                           : qorva_mat::load_materials_hdf5(file, some, names);
    ASSERT_EQ(status, 0u);
    // Group order: Material10 < Material12 < Material13 < Material3; both twins come.
    ASSERT_EQ(some.size(), 5u);
    const names_t order{"Material 10", "Twin", "Twin", "Material 3"};
    for (std::size_t i = 0; i < order.size(); ++i) EXPECT_EQ(some[i + 1]->name(), order[i]);
    qorva_test::expect_same_material(named(all, "Material 10"), *some[1]);
    qorva_test::expect_same_material(*all[4], *some[2]);  // group Material12
    qorva_test::expect_same_material(*all[5], *some[3]);  // group Material13
    qorva_test::expect_same_material(named(all, "Material 3"), *some[4]);
  }
  materials_t none;
  EXPECT_EQ(qorva_mat::load_materials_hdf5(file, none, names_t{}), 0u);
  EXPECT_TRUE(none.empty());
}

TEST_F(MaterialSelection, StoreWrittenBeforeTheCompactLayoutServesOneMaterial) {
  const std::string file = kData + "/store_before_compact_layout.h5";
  materials_t all;
  materials_t one;
  ASSERT_EQ(qorva_mat::load_materials_hdf5(file, all), 0u);
  ASSERT_EQ(qorva_mat::load_materials_hdf5(file, one, {kSteel}), 0u);
  ASSERT_EQ(one.size(), 1u);
  qorva_test::expect_same_material(named(all, kSteel), *one[0]);
}

TEST_F(MaterialSelection, UnlistedStoreMaterialsAreNotRead) {
  const std::string file = twelve_and_twins();
  {
    // Break "Material 5": its first property group loses a required attribute.
    H5::H5File store(file, H5F_ACC_RDWR);
    H5::Group property = store.openGroup("Materials/Material5/Property0");
    property.removeAttr("is_cached");
  }
  materials_t all;
  EXPECT_THROW(qorva_mat::load_materials_hdf5(file, all), qorva_mat::assertion_error);
  materials_t one;
  EXPECT_EQ(qorva_mat::load_materials_hdf5(file, one, {"Material 6"}), 0u);
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0]->name(), "Material 6");
}

TEST_F(MaterialSelection, MissingNamesThrowBeforeAnythingIsAppended) {
  const std::string file = twelve_and_twins();
  materials_t materials{std::make_shared<Material>()};
  EXPECT_EQ(thrown_by([&] {
              qorva_mat::load_materials_hdf5(file, materials, {"Material 1", "material 2", "Nope"});
            }),
            "load_hdf5: no material named 'material 2', 'Nope' in " + file + ".");
  const std::string bytes = read_file(file);
  EXPECT_EQ(thrown_by([&] {
              qorva_mat::load_materials_hdf5(FileImage{bytes.data(), bytes.size(), "image"},
                                             materials, {"Nope"});
            }),
            "load_hdf5: no material named 'Nope' in image.");
  EXPECT_EQ(materials.size(), 1u);

  EXPECT_EQ(thrown_by([&] {
              qorva_mat::load_materials(kExample, materials, qorva_mat::make_unit_system("SI"), {},
                                        {kCarbon, "Steel"});
            }),
            "load_matbook: no material named 'Steel' in " + kExample + ".");
  EXPECT_EQ(materials.size(), 1u);
}

TEST_F(MaterialSelection, NamedMatbookMaterialEqualsTheFullLoadsAndOthersAreNotBuilt) {
  const auto mpa = qorva_mat::make_unit_system("MPA");
  materials_t all;
  ASSERT_EQ(qorva_mat::load_materials(kExample, all, mpa), 2u);
  materials_t one;
  EXPECT_EQ(qorva_mat::load_materials(kExample, one, mpa, {}, {kSteel}), 1u);
  ASSERT_EQ(one.size(), 1u);
  qorva_test::expect_same_material(named(all, kSteel), *one[0]);

  // The steel's yield strengths made unreadable: a full load fails, the carbon alone still loads.
  std::string text = read_file(kExample);
  const std::string good = "<Data>355,300</Data>";
  ASSERT_NE(text.find(good), std::string::npos);
  text.replace(text.find(good), good.size(), "<Data>355,x</Data>");
  const FileImage broken{text.data(), text.size(), "broken.xml"};
  materials_t failed;
  EXPECT_ANY_THROW(qorva_mat::load_materials(broken, failed, mpa));
  materials_t carbon;
  EXPECT_EQ(qorva_mat::load_materials(broken, carbon, mpa, {}, {kCarbon}), 1u);
  ASSERT_EQ(carbon.size(), 1u);
  qorva_test::expect_same_material(named(all, kCarbon), *carbon[0]);
}

}  // namespace
