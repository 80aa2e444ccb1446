// Collective loads: every rank ends with what a direct load gives, or with the same error.
#include <gtest/gtest.h>
#include <mpi.h>
#include <unistd.h>

#include <algorithm>
#include <boost/lexical_cast.hpp>
#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>
#include <boost/tokenizer.hpp>
#include <cstdio>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "qorva_mat/detail/mpi_transport.hpp"
#include "qorva_mat/error.hpp"
#include "qorva_mat/load_hdf5.hpp"
#include "qorva_mat/load_matbook.hpp"
#include "qorva_mat/mpi/load_bcast.hpp"
#include "qorva_mat/write_hdf5.hpp"

namespace {

namespace pt = boost::property_tree;
using qorva_mat::make_unit_system;
using qorva_mat::MatbookLoadOptions;
using qorva_mat::Material;
using materials_t = std::vector<std::shared_ptr<Material>>;

const std::string kData = QORVA_TEST_DATA_DIR;

int rank_in(MPI_Comm comm) {
  int rank = 0;
  MPI_Comm_rank(comm, &rank);
  return rank;
}

int size_of(MPI_Comm comm) {
  int size = 0;
  MPI_Comm_size(comm, &size);
  return size;
}

template <class Table>
void print_table(std::ostream& os, const Table& rows) {
  for (const auto& row : rows) {
    for (double v : row) os << ' ' << v;
    os << ';';
  }
  os << '\n';
}

// Everything a load puts into the materials, numbers to the last bit.
std::string fingerprint(const materials_t& materials) {
  std::ostringstream os;
  os.precision(17);
  for (const auto& material : materials) {
    os << "material " << material->name() << '\n';
    std::vector<std::string> keys = material->get_string_property_keys();
    std::sort(keys.begin(), keys.end());
    for (const auto& key : keys) os << key << '=' << material->get_string_property(key) << '\n';
    for (std::size_t j = 0; j < material->property_vec_size(); ++j) {
      if (!material->is_property_set_active(j)) continue;
      const qorva_mat::PropertySet& set = material->at(j);
      os << set.to_string();
      print_table(os, set.get_independent_data());
      print_table(os, set.get_dependent_data());
      for (const auto& range : set.get_ranges()) os << range.first << ".." << range.second << ' ';
      for (double d : set.get_defaults()) os << d << ' ';
      os << '\n';
    }
  }
  return os.str();
}

// The most specific of the types the loaders throw, and the text.
std::string kind_of(const std::function<void()>& f) {
  try {
    f();
  } catch (const pt::xml_parser_error& e) {
    return std::string("xml_parser_error: ") + e.what();
  } catch (const pt::ptree_bad_path& e) {
    return std::string("ptree_bad_path: ") + e.what();
  } catch (const pt::ptree_bad_data& e) {
    return std::string("ptree_bad_data: ") + e.what();
  } catch (const boost::escaped_list_error& e) {
    return std::string("escaped_list_error: ") + e.what();
  } catch (const boost::bad_lexical_cast& e) {
    return std::string("bad_lexical_cast: ") + e.what();
  } catch (const qorva_mat::assertion_error& e) {
    return std::string("assertion_error: ") + e.what();
  } catch (const qorva_mat::runtime_error& e) {
    return std::string("qorva_mat::runtime_error: ") + e.what();
  } catch (const std::out_of_range& e) {
    return std::string("out_of_range: ") + e.what();
  } catch (const std::exception& e) {
    return std::string("other: ") + e.what();
  }
  return "no exception";
}

// The root's path; the other ranks pass "" as a solver would.
std::string on_root(MPI_Comm comm, int root, const std::string& path) {
  return rank_in(comm) == root ? path : std::string();
}

void expect_same_as_direct(MPI_Comm comm, int root, const std::string& file,
                           const std::string& system) {
  materials_t direct;
  materials_t shared;
  const unsigned int direct_count =
      qorva_mat::load_materials(file, direct, make_unit_system(system));
  unsigned int count = 0;
  const std::string failure = kind_of([&] {
    count = qorva_mat::load_materials_bcast(comm, on_root(comm, root, file), shared,
                                            make_unit_system(system), root);
  });
  EXPECT_EQ(failure, "no exception") << file;
  EXPECT_EQ(count, direct_count) << file;
  EXPECT_FALSE(shared.empty()) << file;
  EXPECT_EQ(fingerprint(shared), fingerprint(direct))
      << file << " into " << system << " from root " << root;
}

TEST(LoadBcast, EveryRankEndsWithWhatADirectLoadGives) {
  const int last = size_of(MPI_COMM_WORLD) - 1;
  for (const char* name : {"matbook_mechanics.xml", "matbook_units.xml", "matbook_woven.xml",
                           "matbook_transfer.xml"}) {
    expect_same_as_direct(MPI_COMM_WORLD, 0, kData + "/" + name, "MPA");
    expect_same_as_direct(MPI_COMM_WORLD, last, kData + "/" + name, "SI");
  }
  expect_same_as_direct(MPI_COMM_WORLD, 1 % (last + 1),
                        std::string(QORVA_EXAMPLES_DIR) + "/ud_carbon_epoxy.xml", "BIN");
}

TEST(LoadBcast, TheRootsOptionsApplyOnEveryRank) {
  const std::string file = kData + "/matbook_units.xml";
  MatbookLoadOptions strict;
  strict.keep_unit_factors = false;
  strict.extended_unit_symbols = false;
  materials_t direct_strict;
  materials_t direct_default;
  qorva_mat::load_materials(file, direct_strict, make_unit_system("MPA"), strict);
  qorva_mat::load_materials(file, direct_default, make_unit_system("MPA"));
  ASSERT_NE(fingerprint(direct_strict),
            fingerprint(direct_default));  // the options matter for this file
  materials_t shared;
  const bool root = rank_in(MPI_COMM_WORLD) == 0;
  qorva_mat::load_materials_bcast(MPI_COMM_WORLD, root ? file : "", shared, make_unit_system("MPA"),
                                  root ? strict : MatbookLoadOptions());
  EXPECT_EQ(fingerprint(shared), fingerprint(direct_strict));
}

TEST(LoadBcast, WorksWithinSubCommunicatorsAndAlone) {
  MPI_Comm half = MPI_COMM_NULL;
  MPI_Comm_split(MPI_COMM_WORLD, rank_in(MPI_COMM_WORLD) % 2, 0, &half);
  const int root = size_of(half) - 1;
  expect_same_as_direct(half, root, kData + "/matbook_mechanics.xml", "SI");
  MPI_Comm_free(&half);
  expect_same_as_direct(MPI_COMM_SELF, 0, kData + "/matbook_woven.xml", "MPA");
}

TEST(LoadBcast, ARootFailureRaisesTheDirectLoadsErrorOnEveryRank) {
  const int last = size_of(MPI_COMM_WORLD) - 1;
  for (const char* name :
       {"no_such_file.xml", "matbook_bad_truncated.xml", "matbook_bad_version.xml",
        "matbook_bad_isotropic_sizes.xml", "matbook_bad_missing_bulkdetails.xml",
        "matbook_bad_number_list.xml", "matbook_bad_missing_puck_parameter.xml",
        "matbook_bad_unit_power_word.xml", "matbook_bad_trailing_comma.xml"}) {
    const std::string file = kData + "/" + name;
    const std::string direct = kind_of([&] {
      materials_t m;
      qorva_mat::load_materials(file, m, make_unit_system("MPA"));
    });
    EXPECT_NE(direct, "no exception") << name;
    for (int root : {0, last}) {
      const std::string shared = kind_of([&] {
        materials_t m;
        qorva_mat::load_materials_bcast(MPI_COMM_WORLD, on_root(MPI_COMM_WORLD, root, file), m,
                                        make_unit_system("MPA"), root);
      });
      EXPECT_EQ(shared, direct) << name << " from root " << root;
    }
  }
}

TEST(LoadBcast, RefusesBadArgumentsOnEveryRankWithoutCommunicating) {
  const int size = size_of(MPI_COMM_WORLD);
  const auto load = [](MPI_Comm comm, int root) {
    return kind_of([&] {
      materials_t m;
      qorva_mat::load_materials_bcast(comm, kData + "/matbook_woven.xml", m,
                                      make_unit_system("MPA"), root);
    });
  };
  EXPECT_EQ(load(MPI_COMM_WORLD, size),
            "qorva_mat::runtime_error: load_bcast: load_materials_bcast: root " +
                std::to_string(size) + " is not a rank of the communicator (size " +
                std::to_string(size) + ").");
  EXPECT_EQ(load(MPI_COMM_WORLD, -1).substr(0, 55),
            "qorva_mat::runtime_error: load_bcast: load_materials_bc");
  EXPECT_EQ(load(MPI_COMM_NULL, 0),
            "qorva_mat::runtime_error: load_bcast: load_materials_bcast: the communicator is "
            "MPI_COMM_NULL.");
  materials_t m;
  EXPECT_THROW(qorva_mat::load_materials_hdf5_bcast(MPI_COMM_WORLD, "", m, size),
               qorva_mat::runtime_error);
}

// A store written by rank 0 into a temporary folder, named on every rank, removed at the end.
class SharedStore {
 public:
  SharedStore() {
    if (rank_in(MPI_COMM_WORLD) == 0) {
      char folder[] = "/tmp/qorva_mpi_XXXXXX";
      if (mkdtemp(folder)) path_ = std::string(folder) + "/materials.h5";
      materials_t materials;
      qorva_mat::load_materials(std::string(QORVA_EXAMPLES_DIR) + "/ud_carbon_epoxy.xml", materials,
                                make_unit_system("MPA"));
      qorva_mat::write_materials_hdf5(path_, materials);
    }
    qorva_mat::detail::bcast_string(MPI_COMM_WORLD, 0, path_);
  }
  ~SharedStore() {
    MPI_Barrier(MPI_COMM_WORLD);
    if (rank_in(MPI_COMM_WORLD) == 0) {
      std::remove(path_.c_str());
      rmdir(path_.substr(0, path_.rfind('/')).c_str());
    }
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

TEST(LoadBcastStore, EveryRankEndsWithWhatADirectLoadGives) {
  const SharedStore store;
  const int last = size_of(MPI_COMM_WORLD) - 1;
  materials_t direct;
  materials_t shared;
  EXPECT_EQ(qorva_mat::load_materials_hdf5(store.path(), direct), 0u);
  EXPECT_EQ(qorva_mat::load_materials_hdf5_bcast(
                MPI_COMM_WORLD, on_root(MPI_COMM_WORLD, last, store.path()), shared, last),
            0u);
  EXPECT_FALSE(direct.empty());
  EXPECT_EQ(fingerprint(shared), fingerprint(direct));
}

TEST(LoadBcastStore, AnUnreadableOrDamagedStoreFailsOnEveryRank) {
  for (const char* name :
       {"no_such_store.h5", "truncated.h5", "wrong_type.h5", "matbook_woven.xml"}) {
    const std::string file = kData + "/" + name;
    materials_t direct;
    materials_t shared;
    EXPECT_EQ(qorva_mat::load_materials_hdf5(file, direct), 0xFFFFFFFFu) << name;
    EXPECT_EQ(qorva_mat::load_materials_hdf5_bcast(MPI_COMM_WORLD, on_root(MPI_COMM_WORLD, 0, file),
                                                   shared),
              0xFFFFFFFFu)
        << name;
    EXPECT_EQ(fingerprint(shared), fingerprint(direct)) << name;
  }
}

}  // namespace
