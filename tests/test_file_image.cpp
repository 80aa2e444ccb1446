// Loading material files from memory: HDF5 store images and Matbook documents give what their files give.
#include <gtest/gtest.h>

#include <boost/property_tree/exceptions.hpp>
#include <boost/property_tree/xml_parser.hpp>

#include <sys/mman.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "qorva_mat/detail/hdf5_image.hpp"
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
namespace fs = std::filesystem;

constexpr unsigned int kFailed = 0xFFFFFFFFu;
const std::string kData = QORVA_TEST_DATA_DIR;
const std::string kExample = std::string(QORVA_EXAMPLES_DIR) + "/ud_carbon_epoxy.xml";

using qorva_test::read_file;

FileImage image_of(const std::string& bytes, const std::string& name = "<memory>") {
  return FileImage{bytes.data(), bytes.size(), name};
}

using qorva_test::expect_same_materials;

struct Outcome {
  unsigned int status = 0;
  materials_t materials;
  std::string err;
};

template <class Source>
Outcome load_store(const Source& source) {
  Outcome outcome;
  outcome.materials.push_back(std::make_shared<Material>());  // entries already there stay
  ::testing::internal::CaptureStderr();
  outcome.status = qorva_mat::load_materials_hdf5(source, outcome.materials);
  outcome.err = ::testing::internal::GetCapturedStderr();
  return outcome;
}

class FileImageTest : public qorva_test::TempDirTest {
 protected:
  FileImageTest() : TempDirTest("qorva_image_") {}
};

TEST_F(FileImageTest, StoreImageLoadsTheSameMaterialsAsTheFile) {
  materials_t written;
  for (int i = 0; i < 12; ++i) {
    written.push_back(qorva_test::sample_material());
    written.back()->name("Material " + std::to_string(i));
  }
  const std::string file = path("store.h5");
  ASSERT_EQ(qorva_mat::write_materials_hdf5(file, written), 0u);
  for (const std::string& store : {file, kData + "/store_before_compact_layout.h5"}) {
    SCOPED_TRACE(store);
    const std::string bytes = read_file(store);
    const std::string copy = bytes;
    const Outcome from_file = load_store(store);
    const Outcome from_image = load_store(image_of(bytes, store));
    EXPECT_EQ(from_image.status, 0u) << from_image.err;
    expect_same_materials(from_file.materials, from_image.materials);
    EXPECT_EQ(bytes, copy);  // read in place, never written
  }
}

TEST_F(FileImageTest, StoreImageIsReadFromReadOnlyMemoryAndCanBeLoadedTwiceAtOnce) {
  materials_t written{qorva_test::sample_material()};
  const std::string file = path("store.h5");
  ASSERT_EQ(qorva_mat::write_materials_hdf5(file, written), 0u);
  const std::string bytes = read_file(file);
  // A page the process may not write: any write into the caller's bytes would crash here.
  void* page =
      ::mmap(nullptr, bytes.size(), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(page, MAP_FAILED);
  std::memcpy(page, bytes.data(), bytes.size());
  ASSERT_EQ(::mprotect(page, bytes.size(), PROT_READ), 0);
  const FileImage image{page, bytes.size(), "read-only"};
  materials_t first;
  materials_t second;
  EXPECT_EQ(qorva_mat::load_materials_hdf5(image, first), 0u);
  EXPECT_EQ(qorva_mat::load_materials_hdf5(image, second), 0u);
  ::munmap(page, bytes.size());
  expect_same_materials(written, first);
  expect_same_materials(written, second);
}

TEST_F(FileImageTest, DamagedOrEmptyStoreImagesFailLikeTheirFiles) {
  for (const std::string name :
       {"truncated.h5", "no_materials.h5", "wrong_type.h5", "make_h5py_store.py",
        "hostile/extents_4g_by_4g.h5", "hostile/extents_names_1e9.h5"}) {
    SCOPED_TRACE(name);
    const std::string bytes = read_file(kData + "/" + name);
    const Outcome from_file = load_store(kData + "/" + name);
    const Outcome from_image = load_store(image_of(bytes));
    ASSERT_EQ(from_file.status, kFailed);
    EXPECT_EQ(from_image.status, kFailed);
    EXPECT_NE(from_image.err.find("HDF5"), std::string::npos) << from_image.err;
    expect_same_materials(from_file.materials, from_image.materials);  // earlier ones stay
  }
  const std::string nothing;
  for (const FileImage& empty :
       {FileImage{}, FileImage{nothing.data(), 0, "empty"}, FileImage{nullptr, 64, "null"}}) {
    const Outcome outcome = load_store(empty);
    EXPECT_EQ(outcome.status, kFailed);
    EXPECT_EQ(outcome.materials.size(), 1u);
    EXPECT_NE(outcome.err.find("holds no bytes"), std::string::npos) << outcome.err;
  }
}

TEST_F(FileImageTest, SmallFilesAreReadWholeAndOthersLeftToHdf5) {
  const std::string store = read_file(kData + "/store_before_compact_layout.h5");
  const std::string copy = path("copy.h5");
  std::ofstream(copy, std::ios::binary) << store;
  std::string bytes = "stale";
  EXPECT_TRUE(qorva_mat::detail::read_small_file(copy, store.size(), bytes));
  EXPECT_EQ(bytes, store);
  // One byte over the limit, a folder, a missing file and an empty file: not read, nothing kept.
  EXPECT_FALSE(qorva_mat::detail::read_small_file(copy, store.size() - 1, bytes));
  EXPECT_TRUE(bytes.empty());
  EXPECT_FALSE(qorva_mat::detail::read_small_file(dir_.string(), 1 << 20, bytes));
  EXPECT_FALSE(qorva_mat::detail::read_small_file(path("absent.h5"), 1 << 20, bytes));
  std::ofstream(path("empty.h5")).close();
  EXPECT_FALSE(qorva_mat::detail::read_small_file(path("empty.h5"), 1 << 20, bytes));
}

TEST_F(FileImageTest, MatbookDocumentLoadsTheSameMaterialsAsTheFile) {
  const std::string bytes = read_file(kExample);
  for (const char* system : {"MPA", "SI"}) {
    SCOPED_TRACE(system);
    materials_t from_file;
    materials_t from_image;
    EXPECT_EQ(qorva_mat::load_materials(kExample, from_file, qorva_mat::make_unit_system(system)),
              2u);
    EXPECT_EQ(
        qorva_mat::load_materials(image_of(bytes), from_image, qorva_mat::make_unit_system(system)),
        2u);
    expect_same_materials(from_file, from_image);
  }
  // With the corrections off the values differ from the default load, the same way for both forms.
  const qorva_mat::MatbookLoadOptions strict{false, false};
  const std::string units = read_file(kData + "/matbook_units.xml");
  materials_t strict_file;
  materials_t strict_image;
  qorva_mat::load_materials(kData + "/matbook_units.xml", strict_file,
                            qorva_mat::make_unit_system("SI"), strict);
  qorva_mat::load_materials(image_of(units), strict_image, qorva_mat::make_unit_system("SI"),
                            strict);
  expect_same_materials(strict_file, strict_image);
}

// What a load throws: its type and text, for comparing the two forms.
template <class Source>
std::string failure_of(const Source& source) {
  materials_t materials;
  try {
    qorva_mat::load_materials(source, materials, qorva_mat::make_unit_system("SI"));
  } catch (const boost::property_tree::xml_parser_error& e) {
    return "xml_parser_error " + e.message() + " @" + e.filename() + ":" + std::to_string(e.line());
  } catch (const std::exception& e) {
    return std::string("other ") + e.what();
  }
  return "no failure";
}

TEST_F(FileImageTest, DamagedMatbookDocumentsFailLikeTheirFilesNamingTheImage) {
  for (const std::string name : {"matbook_bad_truncated.xml", "hostile/matbook_nested_30000.xml",
                                 "matbook_bad_missing_bulkdetails.xml",
                                 "matbook_bad_number_list.xml", "matbook_bad_version.xml"}) {
    SCOPED_TRACE(name);
    const std::string file = kData + "/" + name;
    std::string expected = failure_of(file);
    ASSERT_NE(expected, "no failure");
    if (expected.find(file) != std::string::npos)
      expected.replace(expected.find(file), file.size(), "doc.xml");
    EXPECT_EQ(failure_of(image_of(read_file(file), "doc.xml")), expected);
  }
  const std::string empty_file = path("empty.xml");
  std::ofstream(empty_file).close();
  EXPECT_EQ(failure_of(FileImage{}), failure_of(empty_file));
  EXPECT_EQ(failure_of(FileImage{nullptr, 3, "null"}),
            "other load_matbook: the file image null has no data.");
}

}  // namespace
