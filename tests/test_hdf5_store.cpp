// Tests of the HDF5 material store: round trips, the file layout as other HDF5 tools see it, and bad files.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "qorva_mat/error.hpp"
#include "qorva_mat/hdf5_helpers.hpp"
#include "qorva_mat/load_hdf5.hpp"
#include "qorva_mat/log.hpp"
#include "qorva_mat/material.hpp"
#include "qorva_mat/property_set.hpp"
#include "qorva_mat/units.hpp"
#include "qorva_mat/write_hdf5.hpp"
#include "tests/files.hpp"
#include "tests/log_capture.hpp"
#include "tests/store_materials.hpp"
#include "tests/temp_dir_test.hpp"

namespace {

using qorva_mat::GilOptions;
using qorva_mat::Material;
using qorva_mat::PropertySet;
using qorva_mat::Unit;
using qorva_test::constant_set;
using qorva_test::entries_of;
using qorva_test::expect_same_material;
using qorva_test::expect_same_property_set;
using qorva_test::FileSizeLimit;
using qorva_test::output_of;
using qorva_test::read_file;
using qorva_test::sample_material;
using qorva_test::strength_over_two_variables;
using qorva_test::unit;
using materials_t = std::vector<std::shared_ptr<Material>>;
namespace fs = std::filesystem;

constexpr unsigned int kFailed = 0xFFFFFFFFu;
const std::string kData = QORVA_TEST_DATA_DIR;

// A Python interpreter that has h5py, or "" when there is none.
std::string python_with_h5py() {
  for (const char* candidate : {"python3", "/usr/bin/python3"}) {
    const std::string probe = std::string(candidate) + " -c 'import h5py' > /dev/null 2>&1";
    if (std::system(probe.c_str()) == 0) return candidate;
  }
  return "";
}

class Hdf5Store : public qorva_test::TempDirTest {
 protected:
  Hdf5Store() : TempDirTest("qorva_store_") {}
};

TEST_F(Hdf5Store, RoundTripsConstantAndTabularPropertiesWithFieldUnits) {
  materials_t written{sample_material()};
  auto second = std::make_shared<Material>();
  second->name("empty one");
  written.push_back(second);
  ASSERT_EQ(qorva_mat::write_materials_hdf5(path("store.h5"), written), 0u);

  materials_t loaded{std::make_shared<Material>()};  // entries already there stay
  ASSERT_EQ(qorva_mat::load_materials_hdf5(path("store.h5"), loaded), 0u);
  ASSERT_EQ(loaded.size(), 3u);
  expect_same_material(*written[0], *loaded[1]);
  expect_same_material(*written[1], *loaded[2]);
}

// Files, groups, datasets, types and attributes the HDF5 library holds open (the predefined types
// included, a constant count).
ssize_t open_objects() { return H5Fget_obj_count(H5F_OBJ_ALL, H5F_OBJ_ALL); }

TEST_F(Hdf5Store, WritesAndLoadsLeaveNoObjectOpenAlsoWhenTheyFail) {
  materials_t written{sample_material(), sample_material()};
  const ssize_t before = open_objects();
  ASSERT_EQ(qorva_mat::write_materials_hdf5(path("store.h5"), written), 0u);
  materials_t loaded;
  ASSERT_EQ(qorva_mat::load_materials_hdf5(path("store.h5"), loaded), 0u);
  const std::vector<std::string> one{loaded[0]->name()};
  ASSERT_EQ(qorva_mat::load_materials_hdf5(path("store.h5"), loaded, one), 0u);
  EXPECT_EQ(open_objects(), before);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(qorva_mat::load_materials_hdf5(kData + "/wrong_type.h5", loaded), kFailed);
  EXPECT_EQ(qorva_mat::load_materials_hdf5(kData + "/hostile/external_dep_data.h5", loaded),
            kFailed);
  ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(open_objects(), before);
}

TEST_F(Hdf5Store, MaterialsComeBackInGroupNameOrder) {
  materials_t written;
  for (int i = 0; i < 12; ++i) {
    written.push_back(std::make_shared<Material>());
    written.back()->name("m" + std::to_string(i));
  }
  ASSERT_EQ(qorva_mat::write_materials_hdf5(path("twelve.h5"), written), 0u);
  materials_t loaded;
  ASSERT_EQ(qorva_mat::load_materials_hdf5(path("twelve.h5"), loaded), 0u);
  std::vector<std::string> names;
  for (const auto& m : loaded) names.push_back(m->name());
  EXPECT_EQ(names, (std::vector<std::string>{"m0", "m1", "m10", "m11", "m2", "m3", "m4", "m5", "m6",
                                             "m7", "m8", "m9"}));
}

TEST_F(Hdf5Store, EmptyListGivesEmptyMaterialsGroupAndWriteReplacesOldFile) {
  materials_t two{sample_material(), sample_material()};
  ASSERT_EQ(qorva_mat::write_materials_hdf5(path("s.h5"), two), 0u);
  materials_t none;
  ASSERT_EQ(qorva_mat::write_materials_hdf5(path("s.h5"), none), 0u);
  {
    H5::H5File file(path("s.h5"), H5F_ACC_RDONLY);
    EXPECT_EQ(file.openGroup("Materials").getNumObjs(), 0u);
  }
  materials_t loaded;
  EXPECT_EQ(qorva_mat::load_materials_hdf5(path("s.h5"), loaded), 0u);
  EXPECT_TRUE(loaded.empty());
}

TEST_F(Hdf5Store, InactiveSlotsLeaveGapsInPropertyGroupNumbers) {
  auto material = sample_material();
  material->delete_property_set("Engineering Constants");
  materials_t written{material};
  ASSERT_EQ(qorva_mat::write_materials_hdf5(path("gaps.h5"), written), 0u);
  {
    H5::H5File file(path("gaps.h5"), H5F_ACC_RDONLY);
    H5::Group group = file.openGroup("Materials/Material0");
    std::vector<std::string> members;
    for (hsize_t i = 0; i < group.getNumObjs(); ++i) members.push_back(group.getObjnameByIdx(i));
    EXPECT_EQ(members, (std::vector<std::string>{"Property0", "Property2", "Property20",
                                                 "string_property"}));
  }
  materials_t loaded;
  ASSERT_EQ(qorva_mat::load_materials_hdf5(path("gaps.h5"), loaded), 0u);
  ASSERT_EQ(loaded.size(), 1u);
  EXPECT_FALSE(loaded[0]->is_property_set_active(std::size_t(1)));
  expect_same_property_set(material->at("Stress Limits"), loaded[0]->at("Stress Limits"));
  expect_same_property_set(material->at("My Own Data"), loaded[0]->at("My Own Data"));
}

TEST_F(Hdf5Store, RawLayoutFollowsTableExponentAndStringPropertyRules) {
  auto material = std::make_shared<Material>();
  material->name("raw");
  material->set_string_property("a", "x");
  auto set = std::make_shared<PropertySet>("Density", std::vector<std::string>{"rho"});
  set->set({"Temperature"}, {{1.0}, {2.0}, {3.0}}, {{0.0, 5.0}}, {1.5}, {{10.0}, {20.0}, {30.0}},
           GilOptions(), false);
  set->field_units({unit("SI", {1, 0, 0, 0, 0, 0}), unit("MKS", {0, 1, 0, 0, 0, 0})});
  material->add_property_set(set);
  materials_t written{material};
  ASSERT_EQ(qorva_mat::write_materials_hdf5(path("raw.h5"), written), 0u);

  H5::H5File file(path("raw.h5"), H5F_ACC_RDONLY);
  H5::Group property = file.openGroup("Materials/Material0/Property0");
  std::vector<double> dep;
  bool found = false;
  std::size_t nrows = 0, ncols = 0;
  qorva_mat::load_dataset_2d_named(property, "dep_data", dep, found, nrows, ncols);
  EXPECT_EQ(nrows, 1u);  // one row per variable, one column per data point
  EXPECT_EQ(ncols, 3u);
  EXPECT_EQ(dep, (std::vector<double>{10.0, 20.0, 30.0}));
  std::vector<short> exps;
  qorva_mat::load_dataset_2d_named(property, "field_unit_exp", exps, found, nrows, ncols);
  EXPECT_EQ(nrows, 2u);
  EXPECT_EQ(ncols, 6u);
  EXPECT_EQ(exps, (std::vector<short>{1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}));
  H5::Group group = file.openGroup("Materials/Material0");
  EXPECT_EQ(qorva_mat::read_vl_2d_string_dataset(group.openDataSet("string_property")),
            (std::vector<std::string>{"a", "x"}));
}

TEST_F(Hdf5Store, WrittenFileIsReadByH5dump) {
  if (std::system("h5dump --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "h5dump not installed";
  materials_t written{sample_material()};
  ASSERT_EQ(qorva_mat::write_materials_hdf5(path("dump.h5"), written), 0u);
  const std::string dump = output_of("h5dump " + path("dump.h5") + " 2>&1");
  for (const char* expected : {
           "GROUP \"Material0\"",
           "GROUP \"Property1\"",
           "DATASET \"field_unit_exp\"",
           "H5T_STD_I16LE",
           "DATASPACE  SIMPLE { ( 3, 6 ) / ( 3, 6 ) }",
           "\"Steel S235\"",
           "\"Triangulation-based Linear Multivariate\"",
           "STRSIZE H5T_VARIABLE;",
           "(0,0): 20, 100, 200",
           "\"MKS\", \"MPA\", \"SI\"",
           "\"Ply Type\"",
       }) {
    EXPECT_NE(dump.find(expected), std::string::npos) << expected << "\n" << dump.substr(0, 2000);
  }
}

TEST_F(Hdf5Store, WrittenFileIsReadByIndependentH5pyReader) {
  const std::string python = python_with_h5py();
  if (python.empty()) GTEST_SKIP() << "python3 with h5py not available";
  materials_t written{sample_material()};
  ASSERT_EQ(qorva_mat::write_materials_hdf5(path("py.h5"), written), 0u);
  // The reader asserts element types and shapes, rebuilds tables and units by the layout rules
  // and prints one line per item.
  const std::string output = "\n" + output_of(python + " " + kData + "/make_h5py_store.py check " +
                                              path("py.h5") + " 2>&1; echo rc=$?");
  for (const char* line :
       {"Material0/name=Steel S235",
        "Material0/string/Ply Type=isotropic",
        "Material0/Property0/dep=7850",
        "Material0/Property1/name=Engineering Constants",
        "Material0/Property1/string/Behavior=Isotropic",
        "Material0/Property1/dep_names=E,nu",
        "Material0/Property1/dep=210000 0.29999999999999999;200000 0.31;190000 0.32000000000000001",
        "Material0/Property1/indep=20;100;200",
        "Material0/Property1/ranges=-50 400",
        "Material0/Property1/defaults=22",
        "Material0/Property1/units=MKS:0,0,0,1,0,0;MPA:-1,1,-2,0,0,0;SI:0,0,0,0,0,0",
        "Material0/Property1/algorithm=Triangulation-based Linear Multivariate",
        "Material0/Property1/"
        "flags=is_cached:1,is_normalized:0,project_to_convex_hull:1,use_cgal_triangulation:0",
        "Material0/Property2/indep_names=Temperature,Shear Angle",
        "Material0/Property2/indep=20 0;20 0.5;80 0;80 0.5",
        "Material0/Property2/ranges=0 100;0 1",
        "Material0/Property2/units=BIN:0,0,0,1,0,0;CGS:0,0,0,0,0,1;BIN:-2,1,0,0,0,0",
        "Material0/Property2/algorithm=KD-tree Nearest Neighbor",
        "Material0/Property2/"
        "flags=is_cached:0,is_normalized:1,project_to_convex_hull:0,use_cgal_triangulation:1",
        "Material0/Property20/name=My Own Data",
        "Material0/Property20/dep=1 -2 3.5",
        "rc=0"}) {
    EXPECT_NE(output.find("\n" + std::string(line) + "\n"), std::string::npos) << line << output;
  }
}

TEST_F(Hdf5Store, LoadsStoreMadeByH5pyFromTheLayout) {
  const std::string python = python_with_h5py();
  if (python.empty()) GTEST_SKIP() << "python3 with h5py not available";
  const std::string made = path("made.h5");
  ASSERT_EQ(std::system((python + " " + kData + "/make_h5py_store.py make " + made).c_str()), 0);
  materials_t loaded;
  ASSERT_EQ(qorva_mat::load_materials_hdf5(made, loaded), 0u);
  ASSERT_EQ(loaded.size(), 2u);  // Material10 before Material2; "Material" and a dataset skipped
  EXPECT_EQ(loaded[0]->name(), "h5py steel");
  EXPECT_EQ(loaded[1]->name(), "h5py epoxy");
  EXPECT_EQ(loaded[0]->get_string_property("Ply Type"), "isotropic");
  EXPECT_EQ(loaded[0]->get_string_property("Source"), "h5py");

  const PropertySet& elastic = loaded[0]->at("Engineering Constants");
  EXPECT_EQ(elastic.get_string_property("Behavior"), "Isotropic");
  EXPECT_EQ(elastic.get_dependent_names(), (std::vector<std::string>{"E", "nu"}));
  EXPECT_EQ(elastic.get_dependent_data(),
            (PropertySet::table_t{{210000.0, 0.3}, {190000.0, 0.31}}));
  EXPECT_EQ(elastic.get_independent_data(), (PropertySet::table_t{{20.0}, {100.0}}));
  EXPECT_EQ(elastic.get_ranges(), (PropertySet::ranges_t{{-50.0, 400.0}}));
  EXPECT_EQ(elastic.get_defaults(), std::vector<double>{22.0});
  EXPECT_EQ(elastic.get_algorithm(),
            "Triangulation-based Linear Multivariate");  // renamed from Qhull-based
  EXPECT_TRUE(elastic.is_chached());
  EXPECT_FALSE(elastic.get_algorithm_bool_option("project_to_convex_hull"));
  ASSERT_EQ(elastic.field_units().size(), 2u);
  EXPECT_EQ(elastic.field_units()[0].system()->zepl_type_str(), "MKS");
  EXPECT_TRUE(elastic.field_units()[0].is_temperature());
  EXPECT_EQ(elastic.field_units()[1].system()->zepl_type_str(), "MPA");
  EXPECT_EQ(elastic.field_units()[1].unit_exp(),
            (qorva_mat::units::exponent_vec_t{{-1, 1, -2, 0, 0, 0}}));
  EXPECT_EQ(loaded[1]->at("Density").get_dependent_data(), (PropertySet::table_t{{1200.0}}));
}

unsigned int load_capturing_stderr(const std::string& file, materials_t& materials,
                                   std::string& err) {
  ::testing::internal::CaptureStderr();
  const unsigned int result = qorva_mat::load_materials_hdf5(file, materials);
  err = ::testing::internal::GetCapturedStderr();
  return result;
}

TEST_F(Hdf5Store, BadFilesEndInErrorCodeWithErrorStackAndKeepTheVector) {
  for (const std::string& file : {path("does_not_exist.h5"), kData + "/no_materials.h5",
                                  kData + "/truncated.h5", kData + "/make_h5py_store.py"}) {
    SCOPED_TRACE(file);
    materials_t materials{std::make_shared<Material>()};
    std::string err;
    EXPECT_EQ(load_capturing_stderr(file, materials, err), kFailed);
    EXPECT_EQ(materials.size(), 1u);
    EXPECT_NE(err.find("HDF5"), std::string::npos) << err;
  }
}

TEST_F(Hdf5Store, WrongDatasetTypeEndsInErrorCodeAfterEarlierMaterials) {
  materials_t materials;
  std::string err;
  EXPECT_EQ(load_capturing_stderr(kData + "/wrong_type.h5", materials, err), kFailed);
  ASSERT_EQ(materials.size(), 1u);  // Material0 was complete; the broken Material1 is dropped
  EXPECT_EQ(materials[0]->name(), "good");
  EXPECT_NE(err.find("read_vl_string_dataset"), std::string::npos) << err;
}

TEST_F(Hdf5Store, MissingPiecesOfAPropertyGroupAreHandledAsDocumented) {
  materials_t written{sample_material()};
  ASSERT_EQ(qorva_mat::write_materials_hdf5(path("edit.h5"), written), 0u);
  {
    H5::H5File file(path("edit.h5"), H5F_ACC_RDWR);
    H5::Group elastic = file.openGroup("Materials/Material0/Property1");
    elastic.removeAttr("project_to_convex_hull");
    elastic.unlink("indep_data");  // "ranges" and "defaults" stay behind
  }
  materials_t loaded;
  ASSERT_EQ(qorva_mat::load_materials_hdf5(path("edit.h5"), loaded), 0u);
  const PropertySet& elastic = loaded.at(0)->at("Engineering Constants");
  EXPECT_TRUE(elastic.get_independent_names().empty());
  EXPECT_TRUE(elastic.get_ranges().empty());
  EXPECT_TRUE(elastic.field_units().empty());
  EXPECT_FALSE(elastic.get_algorithm_bool_option("project_to_convex_hull"));

  {
    H5::H5File file(path("edit.h5"), H5F_ACC_RDWR);
    file.openGroup("Materials/Material0/Property2").removeAttr("is_cached");
  }
  materials_t again;
  try {
    qorva_mat::load_materials_hdf5(path("edit.h5"), again);
    FAIL() << "no assertion_error";
  } catch (const qorva_mat::assertion_error& e) {
    EXPECT_STREQ(
        e.what(),
        "Assertion 'found' failed. read_property_set: property set is_cached attribute not found.");
  }
  EXPECT_TRUE(again.empty());
}

// --- Replacing a store safely --------------------------------------------------------------------

using qorva_test::LogCapture;

TEST_F(Hdf5Store, WriteThatThrowsHalfwayKeepsPreviousStoreAndLeavesNoTemporaryFile) {
  materials_t good{sample_material()};
  ASSERT_EQ(qorva_mat::write_materials_hdf5(path("store.h5"), good), 0u);
  const std::string before = read_file(path("store.h5"));
  ASSERT_FALSE(before.empty());

  // The writer gets as far as this material's second property set before it rejects its field units.
  auto unitless = std::make_shared<Material>();
  unitless->name("unitless");
  unitless->add_property_set(constant_set("Density", {"rho"}, {1000.0}));
  auto broken = strength_over_two_variables();
  broken->field_units({Unit(), Unit(), Unit()});
  unitless->add_property_set(broken);
  const std::vector<std::pair<std::string, materials_t>> cases{
      {"null material after a complete one", {sample_material(), nullptr}},
      {"field unit without unit system in a late property set", {sample_material(), unitless}},
  };
  for (const auto& [label, materials] : cases) {
    SCOPED_TRACE(label);
    materials_t list = materials;
    EXPECT_THROW(qorva_mat::write_materials_hdf5(path("store.h5"), list),
                 qorva_mat::assertion_error);
    EXPECT_TRUE(read_file(path("store.h5")) == before) << "the previous store was changed";
    EXPECT_EQ(entries_of(dir_), std::vector<std::string>{"store.h5"});
  }
  materials_t loaded;
  ASSERT_EQ(qorva_mat::load_materials_hdf5(path("store.h5"), loaded), 0u);
  ASSERT_EQ(loaded.size(), 1u);
  expect_same_material(*good[0], *loaded[0]);
}

TEST_F(Hdf5Store, WriteThatHitsAFileSizeLimitKeepsPreviousStoreAndLeavesNoTemporaryFile) {
  materials_t good{sample_material()};
  ASSERT_EQ(qorva_mat::write_materials_hdf5(path("store.h5"), good), 0u);
  const std::string before = read_file(path("store.h5"));

  // A second material whose 100000 dependent values (800 kB of raw data) do not fit under the
  // file size limit.
  std::vector<std::string> names;
  for (int i = 0; i < 100000; ++i) names.push_back("v" + std::to_string(i));
  auto big = std::make_shared<Material>();
  big->name("big");
  big->add_property_set(constant_set("Many", names, std::vector<double>(names.size(), 1.5)));
  materials_t too_big{sample_material(), big};
  ::testing::internal::CaptureStderr();
  unsigned int result = 0;
  {
    const FileSizeLimit limit(256 * 1024);
    result = qorva_mat::write_materials_hdf5(path("store.h5"), too_big);
    EXPECT_TRUE(FileSizeLimit::hit());
  }
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(result, kFailed);
  EXPECT_NE(err.find("cannot write " + path("store.h5") + ": File too large"), std::string::npos)
      << err;
  EXPECT_TRUE(read_file(path("store.h5")) == before) << "the previous store was changed";
  EXPECT_EQ(entries_of(dir_), std::vector<std::string>{"store.h5"});

  // Without the limit the same list is written and replaces the store.
  ASSERT_EQ(qorva_mat::write_materials_hdf5(path("store.h5"), too_big), 0u);
  materials_t loaded;
  ASSERT_EQ(qorva_mat::load_materials_hdf5(path("store.h5"), loaded), 0u);
  ASSERT_EQ(loaded.size(), 2u);
  EXPECT_EQ(loaded[1]->at("Many").get_dependent_names().size(), names.size());
  EXPECT_EQ(entries_of(dir_), std::vector<std::string>{"store.h5"});
}

TEST_F(Hdf5Store, SuccessfulWriteReplacesTheFileThroughLinksKeepingPermissions) {
  materials_t first{sample_material(), sample_material()};
  ASSERT_EQ(qorva_mat::write_materials_hdf5(path("store.h5"), first), 0u);
  fs::permissions(path("store.h5"),
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink("store.h5", path("link.h5"));

  auto replacement = std::make_shared<Material>();
  replacement->name("replacement");
  materials_t second{replacement};
  ASSERT_EQ(qorva_mat::write_materials_hdf5(path("link.h5"), second), 0u);
  EXPECT_TRUE(fs::is_symlink(path("link.h5")));
  EXPECT_EQ(fs::status(path("store.h5")).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  materials_t loaded;
  ASSERT_EQ(qorva_mat::load_materials_hdf5(path("store.h5"), loaded), 0u);
  ASSERT_EQ(loaded.size(), 1u);
  EXPECT_EQ(loaded[0]->name(), "replacement");
  EXPECT_EQ(entries_of(dir_), (std::vector<std::string>{"link.h5", "store.h5"}));

  // A name close to the 255-byte limit is still writable: the temporary name is shortened.
  const std::string long_name = std::string(250, 'n') + ".h5";
  ASSERT_EQ(qorva_mat::write_materials_hdf5(path(long_name), second), 0u);
  EXPECT_EQ(entries_of(dir_), (std::vector<std::string>{"link.h5", long_name, "store.h5"}));
}

TEST_F(Hdf5Store, FailuresToCreateOrReplaceReturnErrorCodeAndLeaveNoTemporaryFile) {
  materials_t good{sample_material()};
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(qorva_mat::write_materials_hdf5(path("no_such_dir/x.h5"), good), kFailed);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("HDF5"), std::string::npos);

  // A directory in the way: the file is written, the rename over the directory fails.
  fs::create_directories(path("taken.h5"));
  std::ofstream(path("taken.h5/inside")) << "keep";
  const LogCapture log;
  EXPECT_EQ(qorva_mat::write_materials_hdf5(path("taken.h5"), good), kFailed);
  EXPECT_NE(log.text().find("warning: write_materials_hdf5: cannot replace " + path("taken.h5")),
            std::string::npos)
      << log.text();
  EXPECT_EQ(read_file(path("taken.h5/inside")), "keep");
  EXPECT_EQ(entries_of(dir_), std::vector<std::string>{"taken.h5"});
}

TEST_F(Hdf5Store, ReadOnlyStoreIsNotReplaced) {
  materials_t good{sample_material()};
  ASSERT_EQ(qorva_mat::write_materials_hdf5(path("store.h5"), good), 0u);
  fs::permissions(path("store.h5"),
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  if (::access(path("store.h5").c_str(), W_OK) == 0)
    GTEST_SKIP() << "this user may write read-only files";
  const std::string before = read_file(path("store.h5"));
  materials_t none;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(qorva_mat::write_materials_hdf5(path("store.h5"), none), kFailed);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("HDF5"), std::string::npos);
  EXPECT_TRUE(read_file(path("store.h5")) == before);
  EXPECT_EQ(entries_of(dir_), std::vector<std::string>{"store.h5"});
}

TEST_F(Hdf5Store, RejectsExtentsTheFileCannotHold) {
  // Stores of 10 kB whose datasets declare 2^32 x 2^32, 25000 x 25000, 0 x 2^41 and 10^9
  // elements: each is refused before anything is allocated for it (an allocation of that size
  // would end the sanitizer build, or take gigabytes and minutes).
  for (const char* name : {"extents_4g_by_4g.h5", "extents_5g_values.h5", "extents_0_by_2e12.h5",
                           "extents_names_1e9.h5"}) {
    SCOPED_TRACE(name);
    materials_t materials;
    std::string err;
    EXPECT_EQ(load_capturing_stderr(kData + "/hostile/" + name, materials, err), kFailed);
    EXPECT_TRUE(materials.empty());
    EXPECT_TRUE(err.find("more than the file holds") != std::string::npos ||
                err.find("extents overflow") != std::string::npos)
        << err;
  }
}

TEST_F(Hdf5Store, RefusesDataKeptInExternalFiles) {
  // The table of this store lives in /etc/hostname: HDF5 would read it if asked.
  materials_t materials;
  std::string err;
  EXPECT_EQ(load_capturing_stderr(kData + "/hostile/external_dep_data.h5", materials, err),
            kFailed);
  EXPECT_TRUE(materials.empty());
  EXPECT_NE(err.find("dep_data: data kept in external files is not read"), std::string::npos)
      << err;
}

// Runs `body` in a child process and returns its wait status: a crash there, also one in the
// HDF5 library's own exit handlers, cannot take the test program down.
template <class Body>
int status_of_child(Body body) {
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    body();
    std::exit(::testing::Test::HasFailure() ? 1 : 0);
  }
  int status = -1;
  ::waitpid(child, &status, 0);
  return status;
}

TEST_F(Hdf5Store, WriteOntoAFullDiskFailsAtEveryPointAndTheProcessGoesOn) {
  materials_t good{sample_material()};
  ASSERT_EQ(qorva_mat::write_materials_hdf5(path("store.h5"), good), 0u);
  const std::string before = read_file(path("store.h5"));
  materials_t bigger{sample_material(), sample_material(), sample_material()};
  // The disk fills up at every point of the file; the limit stays, as a full disk does.
  const int status = status_of_child([&] {
    std::signal(SIGXFSZ, SIG_IGN);
    std::freopen("/dev/null", "w", stderr);  // the reports; gtest's own go to standard output
    for (rlim_t limit = 0; limit < before.size(); limit += 997) {
      rlimit small{limit, RLIM_INFINITY};
      setrlimit(RLIMIT_FSIZE, &small);
      EXPECT_EQ(qorva_mat::write_materials_hdf5(path("store.h5"), bigger), kFailed) << limit;
    }
    rlimit none{RLIM_INFINITY, RLIM_INFINITY};
    setrlimit(RLIMIT_FSIZE, &none);
    materials_t loaded;
    EXPECT_EQ(qorva_mat::load_materials_hdf5(path("store.h5"), loaded), 0u);
    EXPECT_EQ(loaded.size(), 1u);
  });
  ASSERT_TRUE(WIFEXITED(status)) << "the child died from signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(read_file(path("store.h5")) == before);
  EXPECT_EQ(entries_of(dir_), std::vector<std::string>{"store.h5"});
}

}  // namespace
