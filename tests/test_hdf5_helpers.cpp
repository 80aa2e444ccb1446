// Tests of the HDF5 helper layer: typed attributes and datasets, lookups, readers and named loaders.
#include <gtest/gtest.h>

#include <boost/log/expressions.hpp>
#include <boost/log/trivial.hpp>
#include <boost/make_shared.hpp>

#include <filesystem>
#include <functional>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "qorva_mat/error.hpp"
#include "qorva_mat/hdf5_helpers.hpp"
#include "qorva_mat/load_hdf5.hpp"
#include "qorva_mat/log.hpp"
#include "qorva_mat/write_hdf5.hpp"
#include "tests/log_capture.hpp"
#include "tests/what_of.hpp"

namespace {

namespace logging = boost::log;
using qorva_mat::assertion_error;

using qorva_test::LogCapture;
using qorva_test::what_of;

class Hdf5Helpers : public ::testing::Test {
 protected:
  void SetUp() override {
    H5::Exception::dontPrint();
    path_ = std::filesystem::temp_directory_path() /
            ("qorva_helpers_" +
             std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".h5");
    file_ = H5::H5File(path_.string(), H5F_ACC_TRUNC);
    group_ = file_.createGroup("g");
  }
  void TearDown() override {
    group_.close();
    file_.close();
    std::filesystem::remove(path_);
  }

  std::filesystem::path path_;
  H5::H5File file_;
  H5::Group group_;
};

TEST_F(Hdf5Helpers, AttributesRoundTripWithTheirStorageForms) {
  qorva_mat::create_bool_attribute(group_, "b", true);
  qorva_mat::create_short_attribute(group_, "s", -7);
  qorva_mat::create_int_attribute(group_, "i", -70000);
  qorva_mat::create_uint32_attribute(group_, "u32", 4000000000u);
  qorva_mat::create_uint64_attribute(group_, "u64", 18000000000000000000ULL);
  qorva_mat::create_double_attribute(group_, "d", 2.5);
  const H5::Attribute fixed = qorva_mat::create_str_attribute(group_, "fs", "fixed");
  const H5::Attribute variable = qorva_mat::create_vl_str_attribute(group_, "vs", "variable text");

  EXPECT_EQ(fixed.getSpace().getSimpleExtentType(), H5S_SCALAR);
  EXPECT_EQ(fixed.getStrType().getSize(), 5u);
  EXPECT_EQ(variable.getSpace().getSimpleExtentNdims(), 1);
  EXPECT_EQ(variable.getSpace().getSimpleExtentNpoints(), 1);
  EXPECT_EQ(group_.openAttribute("b").getDataType(), H5::PredType::NATIVE_UCHAR);

  bool found = false;
  EXPECT_TRUE(qorva_mat::get_bool_attribute(group_, "b", found, true));
  EXPECT_TRUE(found);
  EXPECT_EQ(qorva_mat::get_short_attribute(group_, "s", found, true), -7);
  EXPECT_EQ(qorva_mat::get_int_attribute(group_, "i", found, true), -70000);
  EXPECT_EQ(qorva_mat::get_uint32_attribute(group_, "u32", found, true), 4000000000u);
  EXPECT_EQ(qorva_mat::get_uint64_attribute(group_, "u64", found, true), 18000000000000000000ULL);
  EXPECT_EQ(qorva_mat::get_double_attribute(group_, "d", found, true), 2.5);
  EXPECT_EQ(qorva_mat::get_std_str_attribute(group_, "fs", found, true), "fixed");
  EXPECT_EQ(qorva_mat::get_std_str_attribute(group_, "vs", found, true), "variable text");
  EXPECT_TRUE(found);
}

TEST_F(Hdf5Helpers, LookupCaseRuleAndMissingAttributes) {
  qorva_mat::create_int_attribute(group_, "Name", 42);
  bool found = true;
  EXPECT_EQ(qorva_mat::get_int_attribute(group_, "NAME", found, false), 42);
  EXPECT_TRUE(found);
  EXPECT_EQ(qorva_mat::get_int_attribute(group_, "NAME", found, true), 0);
  EXPECT_FALSE(found);

  char* missing = qorva_mat::get_str_attribute(group_, "nothing", found, false);
  EXPECT_FALSE(found);
  ASSERT_NE(missing, nullptr);
  EXPECT_EQ(missing[0], '\0');
  ::operator delete(missing);
  EXPECT_EQ(qorva_mat::get_std_str_attribute(group_, "nothing", found, false), "");
}

TEST_F(Hdf5Helpers, UnreadableMatchIsSkippedForTheNextReadableOne) {
  qorva_mat::create_vl_str_attribute(group_, "Value", "not a number");
  qorva_mat::create_double_attribute(group_, "value", 1.25);
  bool found = false;
  EXPECT_EQ(qorva_mat::get_double_attribute(group_, "VALUE", found, false), 1.25);
  EXPECT_TRUE(found);
  // A string attribute alone cannot be read as a number: reported as not found.
  EXPECT_EQ(qorva_mat::get_double_attribute(group_, "Value", found, true), 0.0);
  EXPECT_FALSE(found);
  // An array attribute never overruns the single value it is read into.
  const hsize_t three = 3;
  group_.createAttribute("arr", H5::PredType::NATIVE_DOUBLE, H5::DataSpace(1, &three));
  EXPECT_EQ(qorva_mat::get_double_attribute(group_, "arr", found, true), 0.0);
  EXPECT_FALSE(found);
}

TEST_F(Hdf5Helpers, InsideAStoreOperationAnUnreadableMatchEndsTheOperation) {
  // A string read as a number fails inside HDF5: a store operation does not touch the file again.
  qorva_mat::create_vl_str_attribute(group_, "Value", "not a number");
  qorva_mat::create_double_attribute(group_, "value", 1.25);
  bool found = false;
  ::testing::internal::CaptureStderr();
  const unsigned int result = qorva_mat::detail::run_hdf5_operation(
      [&] { qorva_mat::get_double_attribute(group_, "VALUE", found, false); });
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(result, 0xFFFFFFFFu);
  EXPECT_NE(err.find("HDF5 error in"), std::string::npos) << err;
  // Refusals of our own (more than one element) are still skipped there.
  const hsize_t three = 3;
  group_.createAttribute("arr", H5::PredType::NATIVE_DOUBLE, H5::DataSpace(1, &three));
  EXPECT_EQ(qorva_mat::detail::run_hdf5_operation(
                [&] { qorva_mat::get_double_attribute(group_, "arr", found, true); }),
            0u);
  EXPECT_FALSE(found);
}

TEST_F(Hdf5Helpers, EveryHdf5ExceptionClassEndsAStoreOperationWithTheFailureValue) {
  const std::vector<std::function<void()>> throws{
      [] { throw H5::GroupIException("g", "group failure"); },
      [] { throw H5::AttributeIException("a", "attribute failure"); },
      [] { throw H5::PropListIException("p", "property list failure"); },
      [] { throw H5::FileIException("f", "file failure"); },
  };
  for (const auto& body : throws) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(qorva_mat::detail::run_hdf5_operation(body), 0xFFFFFFFFu);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find(" failure"), std::string::npos);
  }
  EXPECT_THROW(
      qorva_mat::detail::run_hdf5_operation([] { throw qorva_mat::runtime_error("ours"); }),
      qorva_mat::runtime_error);
}

TEST_F(Hdf5Helpers, BoolAttributeIsTrueOnlyForByteOne) {
  const unsigned char two = 2;
  group_.createAttribute("flag", H5::PredType::NATIVE_UCHAR, H5::DataSpace(H5S_SCALAR))
      .write(H5::PredType::NATIVE_UCHAR, &two);
  bool found = false;
  EXPECT_FALSE(qorva_mat::get_bool_attribute(group_, "flag", found, true));
  EXPECT_TRUE(found);
}

TEST_F(Hdf5Helpers, NonPrintableCharactersAreReplacedWithWarning) {
  qorva_mat::create_vl_str_attribute(group_, "label", std::string("a\xE9"));
  LogCapture log;
  bool found = false;
  EXPECT_EQ(qorva_mat::get_std_str_attribute(group_, "label", found, true), "a?");
  EXPECT_EQ(
      log.text(),
      "warning: Some special characters in a? of the attribute label were replaced by '?'.\n");
}

TEST_F(Hdf5Helpers, HdfRejectionsOfAttributesPropagate) {
  EXPECT_THROW(qorva_mat::create_str_attribute(group_, "empty", ""), H5::Exception);
  qorva_mat::create_int_attribute(group_, "dup", 1);
  EXPECT_THROW(qorva_mat::create_int_attribute(group_, "dup", 2), H5::AttributeIException);
}

TEST_F(Hdf5Helpers, ShapeMismatchThrowsBeforeCreatingAnything) {
  const std::vector<double> six(6, 1.0);
  EXPECT_EQ(what_of<assertion_error>(
                [&] { qorva_mat::create_2d_dataset<double>(group_, "t", six, 2, 2); }),
            "Assertion 'nrows_ * ncols_ == data_.size()' failed. Shape missmatch");
  EXPECT_EQ(what_of<assertion_error>([&] {
              qorva_mat::create_vl_string_2d_dataset(group_, "s", {"a", "b", "c"}, 2, 2);
            }),
            "Assertion 'nrows_ * ncols_ == values_.size()' failed. Shape missmatch");
  EXPECT_EQ(group_.getNumObjs(), 0u);
}

TEST_F(Hdf5Helpers, StringDatasetsKeepStorageOrder) {
  const H5::DataSet table =
      qorva_mat::create_vl_string_2d_dataset(group_, "table", {"a", "b", "c", "d"}, 2, 2);
  hsize_t dims[2] = {0, 0};
  table.getSpace().getSimpleExtentDims(dims);
  EXPECT_EQ(dims[0], 2u);
  EXPECT_EQ(dims[1], 2u);
  EXPECT_EQ(qorva_mat::read_vl_2d_string_dataset(table),
            (std::vector<std::string>{"a", "b", "c", "d"}));

  const H5::DataSet list = qorva_mat::create_vl_string_dataset(group_, "list", {"x", "", "z"});
  EXPECT_EQ(qorva_mat::read_vl_string_dataset(list), (std::vector<std::string>{"x", "", "z"}));
  EXPECT_EQ(what_of<assertion_error>([&] { qorva_mat::read_vl_2d_string_dataset(list); }),
            "Assertion 'num_dims==2' failed. num_dims==2");

  const H5::DataSet none = qorva_mat::create_vl_string_dataset(group_, "none", {});
  EXPECT_TRUE(qorva_mat::read_vl_string_dataset(none).empty());
}

TEST_F(Hdf5Helpers, StringReaderAcceptsFixedLengthAndRejectsNumbers) {
  const H5::StrType fixed(H5::PredType::C_S1, 4);
  const hsize_t two = 2;
  H5::DataSet words = group_.createDataSet("words", fixed, H5::DataSpace(1, &two));
  words.write("abcdxy\0\0", fixed);
  EXPECT_EQ(qorva_mat::read_vl_string_dataset(words), (std::vector<std::string>{"abcd", "xy"}));

  const H5::DataSet numbers =
      qorva_mat::create_2d_dataset<double>(group_, "numbers", {1.0, 2.0}, 2, 1);
  EXPECT_THROW(qorva_mat::read_vl_string_dataset(numbers), H5::DataTypeIException);
}

TEST_F(Hdf5Helpers, DatasetLookupSkipsGroupsAndFollowsCaseRule) {
  group_.createGroup("data");
  qorva_mat::create_2d_dataset<short>(group_, "Data", {1, 2, 3}, 1, 3);
  bool found = false;
  H5::DataSet dataset = qorva_mat::get_dataset(group_, "DATA", found, false);
  EXPECT_TRUE(found);
  EXPECT_EQ(qorva_mat::get_data_int(dataset), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(qorva_mat::get_data_size(dataset), 3u);
  qorva_mat::get_dataset(group_, "data", found, true);
  EXPECT_FALSE(found);
}

TEST_F(Hdf5Helpers, MemberNamesFollowNameOrder) {
  for (const char* name : {"Material2", "Material10", "Material1"}) group_.createGroup(name);
  EXPECT_EQ(qorva_mat::get_object_name_by_index(group_, 0), "Material1");
  EXPECT_EQ(qorva_mat::get_object_name_by_index(group_, 1), "Material10");
  EXPECT_EQ(qorva_mat::get_object_name_by_index(group_, 2), "Material2");
  EXPECT_THROW(qorva_mat::get_object_name_by_index(group_, 3), H5::GroupIException);
  EXPECT_THROW(qorva_mat::get_object_name_by_index(file_, 7), H5::FileIException);
}

TEST_F(Hdf5Helpers, BooleanDatasetsStoreBytesAndReadOnlyOneAsTrue) {
  const H5::DataSet flags =
      qorva_mat::create_scalar_bool_dataset(group_, "flags", {true, false, true});
  EXPECT_EQ(flags.getSpace().getSimpleExtentNdims(), 2);
  EXPECT_EQ(qorva_mat::get_data_int(flags), (std::vector<int>{1, 0, 1}));

  const std::vector<unsigned char> bytes{1, 0, 2};
  const hsize_t three = 3;
  group_.createDataSet("bytes", H5::PredType::NATIVE_UCHAR, H5::DataSpace(1, &three))
      .write(bytes.data(), H5::PredType::NATIVE_UCHAR);
  std::vector<bool> out;
  bool found = false;
  EXPECT_TRUE(qorva_mat::load_dataset_named(group_, "BYTES", out, found));
  EXPECT_EQ(out, (std::vector<bool>{true, false, false}));
}

TEST_F(Hdf5Helpers, MissingDatasetsAreLoggedAndLeaveOutputAsDocumented) {
  group_.createGroup("grp");
  LogCapture log;
  bool found = true;
  std::vector<bool> flags{true};
  std::vector<short> shorts{7};
  std::vector<double> doubles{1.5};
  std::vector<std::string> strings{"kept"};
  std::size_t nrows = 9;
  std::size_t ncols = 9;
  EXPECT_FALSE(qorva_mat::load_dataset_named(group_, "a", flags, found));
  EXPECT_FALSE(qorva_mat::load_short_dataset_named(group_, "b", shorts, found));
  EXPECT_FALSE(qorva_mat::load_double_dataset_named(group_, "c", doubles, found));
  EXPECT_FALSE(qorva_mat::load_string_dataset_named(group_, "d", strings, found));
  EXPECT_FALSE(qorva_mat::load_dataset_2d_named(group_, "grp", doubles, found, nrows, ncols));
  EXPECT_FALSE(found);
  EXPECT_TRUE(flags.empty());
  EXPECT_EQ(shorts, std::vector<short>{7});
  EXPECT_EQ(doubles, std::vector<double>{1.5});
  EXPECT_EQ(strings, std::vector<std::string>{"kept"});
  EXPECT_EQ(nrows, 9u);
  EXPECT_EQ(
      log.text(),
      "debug: DataSet a not found.\ndebug: DataSet b not found.\ndebug: DataSet c not found.\n"
      "warning: DataSet d missing.\nwarning: Cannot open DataSet grp\n");
}

TEST_F(Hdf5Helpers, TwoDimensionalLoaderReturnsShapeAndRejectsOtherRanks) {
  qorva_mat::create_2d_dataset<double>(group_, "m", {1, 2, 3, 4, 5, 6}, 2, 3);
  qorva_mat::create_vl_string_dataset(group_, "rank1", {"x"});
  std::vector<double> out;
  bool found = false;
  std::size_t nrows = 0;
  std::size_t ncols = 0;
  EXPECT_TRUE(qorva_mat::load_dataset_2d_named(group_, "M", out, found, nrows, ncols));
  EXPECT_EQ(out, (std::vector<double>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(nrows, 2u);
  EXPECT_EQ(ncols, 3u);
  std::vector<short> shorts;
  EXPECT_EQ(what_of<assertion_error>([&] {
              qorva_mat::load_dataset_2d_named(group_, "rank1", shorts, found, nrows, ncols);
            }),
            "Assertion 'dspace.getSimpleExtentNdims()==2' failed. dspace.getSimpleExtentNdims()==2 "
            "failed");
  // A string dataset cannot be read as numbers: HDF5's exception, not garbage.
  EXPECT_THROW(qorva_mat::load_double_dataset_named(group_, "rank1", out, found),
               H5::DataSetIException);
}

TEST_F(Hdf5Helpers, VariableLengthIntegerRowsInBothForms) {
  const H5::VarLenType type(H5::PredType::NATIVE_INT);
  int first[] = {1, 2};
  int second[] = {3};
  hvl_t rows[2] = {{2, first}, {1, second}};
  const hsize_t two = 2;
  const H5::DataSet dataset = group_.createDataSet("vl", type, H5::DataSpace(1, &two));
  dataset.write(rows, type);

  EXPECT_EQ(qorva_mat::read_vl_int_dataset(dataset), (std::vector<std::vector<int>>{{1, 2}, {3}}));
  std::size_t n = 0;
  int** index = qorva_mat::read_vl_int_dataset(dataset, n);
  ASSERT_EQ(n, 2u);
  EXPECT_EQ(index[2] - index[0], 3);
  EXPECT_EQ(index[1] - index[0], 2);
  EXPECT_EQ(index[1][0], 3);
  ::operator delete(index[0]);
  ::operator delete(index);
}

TEST_F(Hdf5Helpers, StorageCheckTellsFilteredAndExternalDataFromTheHeader) {
  // 2000 x 200 zeros (3.2 MB) deflated into a file of a few kB: above the file's size but within
  // deflate's ratio, so readable; the same extents unfiltered would be refused (nothing written).
  const hsize_t dims[2] = {2000, 200};
  const hsize_t chunk[2] = {100, 200};
  H5::DSetCreatPropList deflated;
  deflated.setChunk(2, chunk);
  deflated.setDeflate(9);
  std::vector<double> zeros(2000 * 200, 0.0);
  group_.createDataSet("deflated", H5::PredType::NATIVE_DOUBLE, H5::DataSpace(2, dims), deflated)
      .write(zeros.data(), H5::PredType::NATIVE_DOUBLE);
  H5::DSetCreatPropList outside;
  outside.setExternal("/etc/hostname", 0, 8);
  const hsize_t one = 1;
  group_.createDataSet("outside", H5::PredType::NATIVE_DOUBLE, H5::DataSpace(1, &one), outside);
  file_.flush(H5F_SCOPE_GLOBAL);

  const H5::DataSet packed = group_.openDataSet("deflated");
  EXPECT_EQ(qorva_mat::detail::checked_extents(packed, packed.getSpace()),
            (std::vector<hsize_t>{2000, 200}));
  const H5::DataSet external = group_.openDataSet("outside");
  try {
    qorva_mat::detail::checked_extents(external, external.getSpace());
    ADD_FAILURE() << "external data accepted";
  } catch (const H5::DataSpaceIException& e) {
    EXPECT_NE(e.getDetailMsg().find("/g/outside: data kept in external files"), std::string::npos)
        << e.getDetailMsg();
  }
}

TEST_F(Hdf5Helpers, TransferListsAreSizedToTheDataAndSharedOnlyWithinAnOperation) {
  const auto buffer_of = [](const qorva_mat::detail::Handle& list) {
    return H5Pget_buffer(list.get(), nullptr, nullptr);
  };
  EXPECT_EQ(buffer_of(qorva_mat::detail::vlen_transfer_list(3)), 1024u);
  EXPECT_EQ(buffer_of(qorva_mat::detail::vlen_transfer_list(33)), 2048u);
  EXPECT_EQ(buffer_of(qorva_mat::detail::vlen_transfer_list(std::size_t{1} << 40)), 1u << 20);
  const qorva_mat::detail::Handle own = qorva_mat::detail::vlen_transfer_list(3);
  EXPECT_NE(own.get(), qorva_mat::detail::vlen_transfer_list(3).get());  // each caller its own
  hid_t first = H5I_INVALID_HID;
  hid_t second = H5I_INVALID_HID;
  EXPECT_EQ(qorva_mat::detail::run_hdf5_operation([&] {
              const qorva_mat::detail::Handle a = qorva_mat::detail::vlen_transfer_list(3);
              first = a.get();
              EXPECT_EQ(H5Iis_valid(first), 1);
              second = qorva_mat::detail::vlen_transfer_list(4).get();
            }),
            0u);
  EXPECT_EQ(first, second);          // the same list, kept open between the two uses
  EXPECT_NE(H5Iis_valid(first), 1);  // released when the operation ends
}

TEST_F(Hdf5Helpers, ReferencePointsAtTheNamedObject) {
  group_.createGroup("target");
  hobj_ref_t ref = 0;
  qorva_mat::create_reference(group_, &ref, "target");
  H5::Group resolved(group_, &ref);
  EXPECT_EQ(resolved.getObjName(), "/g/target");
  EXPECT_THROW(qorva_mat::create_reference(group_, &ref, "absent"), H5::Exception);
}

}  // namespace
