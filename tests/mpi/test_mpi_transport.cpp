// Byte and string broadcasts, the collective outcome, and exceptions carried between ranks.
#include <H5Cpp.h>
#include <gtest/gtest.h>
#include <mpi.h>

#include <boost/lexical_cast.hpp>
#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>
#include <boost/throw_exception.hpp>
#include <boost/tokenizer.hpp>
#include <climits>
#include <cstring>
#include <exception>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <typeinfo>
#include <vector>

#include "qorva_mat/detail/mpi_transport.hpp"
#include "qorva_mat/error.hpp"

namespace {

std::vector<int> bcast_counts;  // counts of the MPI_Bcast calls of this rank, in order

}  // namespace

// The profiling interface lets the test see every broadcast the library makes.
extern "C" int MPI_Bcast(void* buffer, int count, MPI_Datatype type, int root, MPI_Comm comm) {
  bcast_counts.push_back(count);
  return PMPI_Bcast(buffer, count, type, root, comm);
}

namespace {

namespace pt = boost::property_tree;
using qorva_mat::detail::agree_on_outcome;
using qorva_mat::detail::bcast_bytes;
using qorva_mat::detail::bcast_string;
using qorva_mat::detail::encode_exception;
using qorva_mat::detail::rethrow_encoded;

int world_rank() {
  int rank = 0;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  return rank;
}

int world_size() {
  int size = 0;
  MPI_Comm_size(MPI_COMM_WORLD, &size);
  return size;
}

std::vector<char> pattern(std::size_t size) {
  std::vector<char> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + 7) % 251);
  return bytes;
}

TEST(MpiTransport, BytesArriveWholeInPiecesBelowTheLimit) {
  const int root = world_size() - 1;
  struct Case {
    std::size_t size, piece;
    std::vector<int> counts;
  };
  const std::vector<Case> cases{
      {1000, 64, {}}, {128, 64, {64, 64}}, {0, 64, {}}, {5, 0, {1, 1, 1, 1, 1}}, {3, 100, {3}}};
  for (const Case& c : cases) {
    std::vector<int> expected = c.counts;
    if (c.size == 1000) {
      expected.assign(15, 64);
      expected.push_back(1000 - 15 * 64);
    }
    std::vector<char> bytes = world_rank() == root ? pattern(c.size) : std::vector<char>(c.size, 0);
    bcast_counts.clear();
    bcast_bytes(MPI_COMM_WORLD, root, bytes.data(), bytes.size(), c.piece);
    EXPECT_EQ(bytes, pattern(c.size)) << c.size << " bytes in pieces of " << c.piece;
    EXPECT_EQ(bcast_counts, expected) << c.size << " bytes in pieces of " << c.piece;
  }
  EXPECT_LT(qorva_mat::detail::kMaxBcastPiece, static_cast<std::size_t>(INT_MAX));
}

TEST(MpiTransport, StringsReachEveryRankWithTheirSize) {
  for (const std::string& sent : {std::string(), std::string("a\0b", 3), std::string(5000, 'x')}) {
    std::string text = world_rank() == 1 ? sent : std::string("stale text on this rank");
    bcast_string(MPI_COMM_WORLD, 1, text);
    EXPECT_EQ(text, sent);
  }
}

TEST(MpiTransport, SuccessReturnsTheLargestResultOfAllRanks) {
  const unsigned int result = agree_on_outcome(MPI_COMM_WORLD, [] { return 10u + world_rank(); });
  EXPECT_EQ(result, 10u + world_size() - 1);
}

TEST(MpiTransport, OneRanksFailureIsRaisedOnEveryRank) {
  const int failing = world_size() > 2 ? 2 : world_size() - 1;
  const int original_line = __LINE__ + 3;
  const auto work = [&]() -> unsigned int {
    if (world_rank() == failing) {
      QORVA_ASSERT(1 + 1 == 3, "rank " + std::to_string(failing) + " gave up.");
    }
    return 1;
  };
  try {
    agree_on_outcome(MPI_COMM_WORLD, work);
    ADD_FAILURE() << "no exception";
  } catch (const qorva_mat::assertion_error& e) {
    EXPECT_STREQ(
        e.what(),
        ("Assertion '1 + 1 == 3' failed. rank " + std::to_string(failing) + " gave up.").c_str());
    EXPECT_EQ(e.condition(), "1 + 1 == 3");
    EXPECT_STREQ(e.file(), __FILE__);
    EXPECT_EQ(e.line(), original_line);
  }
}

TEST(MpiTransport, TheLowestFailingRankDecidesWhenSeveralFail) {
  const auto work = [&]() -> unsigned int {
    if (world_rank() % 2 == 1) throw std::out_of_range("rank " + std::to_string(world_rank()));
    return 0;
  };
  try {
    agree_on_outcome(MPI_COMM_WORLD, work);
    if (world_size() > 1) ADD_FAILURE() << "no exception";
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "rank 1");
  }
}

// The dynamic type and text of what `f` throws, for the exceptions the codec knows about.
struct Thrown {
  std::string type;
  std::string what;
};

Thrown thrown_by(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return {typeid(e).name(), e.what()};
  } catch (const H5::Exception& e) {
    return {typeid(e).name(), e.getFuncName() + " | " + e.getDetailMsg()};
  } catch (...) {
    return {"unknown", ""};
  }
  return {"none", ""};
}

Thrown round_trip(const std::function<void()>& f) {
  std::exception_ptr error;
  try {
    f();
  } catch (...) {
    error = std::current_exception();
  }
  const std::string encoded = encode_exception(error);
  return thrown_by([&] { rethrow_encoded(encoded); });
}

TEST(ExceptionCodec, RebuildsTheLoadersErrorsWithTypeAndText) {
  const std::vector<std::function<void()>> throwers{
      [] { boost::throw_exception(pt::xml_parser_error("no element found", "dir/a b.xml", 17)); },
      [] {
        boost::throw_exception(pt::ptree_bad_path("No such node", pt::ptree::path_type("a.b")));
      },
      [] {
        boost::throw_exception(
            pt::ptree_bad_path("No such node", pt::ptree::path_type("a (1).b)")));
      },
      [] {
        boost::throw_exception(
            pt::ptree_bad_data("conversion of data to type \"d\" failed", std::string("x")));
      },
      [] { boost::throw_exception(boost::escaped_list_error("unknown escape sequence")); },
      [] { boost::throw_exception(boost::bad_lexical_cast()); },
      [] {
        throw qorva_mat::runtime_error(
            "matbook_format: version '1.2' is not four dot-separated integers.");
      },
      [] {
        throw qorva_mat::assertion_error("a == b", "load_matbook: size mismatch.", "f", "x.cpp", 3);
      },
      [] { throw std::out_of_range("Unable to find key in unordered_map."); },
      [] { throw std::invalid_argument("stoi"); },
      [] { throw std::length_error("vector::_M_default_append"); },
      [] { throw std::logic_error("logic"); },
      [] { throw std::overflow_error("overflow"); },
      [] { throw std::runtime_error("plain"); },
      [] { throw std::bad_alloc(); },
      [] { throw H5::Exception("H5File::openFile", "unable to open file"); },
  };
  for (const auto& thrower : throwers) {
    const Thrown original = thrown_by(thrower);
    const Thrown rebuilt = round_trip(thrower);
    EXPECT_EQ(rebuilt.type, original.type) << original.what;
    EXPECT_EQ(rebuilt.what, original.what);
  }
}

TEST(ExceptionCodec, KeepsTheDetailsOfParserAndLibraryErrors) {
  try {
    rethrow_encoded(
        encode_exception(std::make_exception_ptr(pt::xml_parser_error("unclosed", "file.xml", 4))));
  } catch (const pt::xml_parser_error& e) {
    EXPECT_EQ(e.message(), "unclosed");
    EXPECT_EQ(e.filename(), "file.xml");
    EXPECT_EQ(e.line(), 4u);
  }
  try {
    rethrow_encoded(encode_exception(
        std::make_exception_ptr(pt::ptree_bad_path("No such node", pt::ptree::path_type("x.y")))));
  } catch (const pt::ptree_bad_path& e) {
    EXPECT_STREQ(e.what(), "No such node (x.y)");
    EXPECT_EQ(e.path<pt::ptree::path_type>().dump(), "x.y");
  }
  try {
    rethrow_encoded(
        encode_exception(std::make_exception_ptr(qorva_mat::runtime_error("m", "fn", "f.cpp", 9))));
  } catch (const qorva_mat::runtime_error& e) {
    EXPECT_STREQ(e.function(), "fn");
    EXPECT_STREQ(e.file(), "f.cpp");
    EXPECT_EQ(e.line(), 9);
  }
}

TEST(ExceptionCodec, OtherExceptionsKeepTheirTextOrSayWhatTheyWere) {
  struct Custom : std::exception {
    const char* what() const noexcept override { return "custom failure"; }
  };
  const Thrown custom = round_trip([] { throw Custom(); });
  EXPECT_EQ(custom.type, typeid(std::runtime_error).name());
  EXPECT_EQ(custom.what, "custom failure");
  const Thrown number = round_trip([] { throw 42; });
  EXPECT_EQ(number.type, typeid(qorva_mat::runtime_error).name());
  EXPECT_EQ(number.what,
            "exception_codec: a rank failed with an exception that is not a std::exception.");
}

TEST(ExceptionCodec, RefusesMalformedRecords) {
  for (const std::string& bad :
       {std::string(), std::string("x\n"), std::string("0\n"), std::string("1\n9:abc"),
        std::string("1\n3:abcd"), std::string("1\n5:bogus"), std::string("2\n3:abc"),
        std::string("1\n16:assertion_error"), std::string("2\n12:runtime_error1:x")}) {
    const Thrown t = thrown_by([&] { rethrow_encoded(bad); });
    EXPECT_EQ(t.what, "exception_codec: malformed exception record.") << bad;
  }
}

}  // namespace
