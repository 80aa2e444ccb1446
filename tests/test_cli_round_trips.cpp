// Every file this library and the qorva-mat program write, read back in every predefined unit
// system, gives the values of a direct load into that system.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "qorva_mat/load_matbook.hpp"
#include "qorva_mat/write_matbook.hpp"
#include "tools/material_files.hpp"

namespace fs = std::filesystem;
using qorva_mat::Material;
using qorva_mat::PropertySet;
using qorva_mat::Unit;
using qorva_mat::UnitSystem;
using MaterialList = std::vector<std::shared_ptr<Material>>;

namespace {

const std::vector<std::string> kSystems{"SI", "MKS", "uMKS", "CGS", "MPA", "BFT", "BIN"};
const std::string kExample = std::string(QORVA_EXAMPLES_DIR) + "/ud_carbon_epoxy.xml";

// Test data that hold, between them, every property kind a Matbook file carries. The material
// "Unknown" of matbook_units.xml declares a unit no reader knows; its values are deliberately
// left unconverted, so it cannot survive a trip through another system and is left out.
const std::vector<std::string> kSources{kExample,
                                        std::string(QORVA_TEST_DATA_DIR) + "/matbook_mechanics.xml",
                                        std::string(QORVA_TEST_DATA_DIR) + "/matbook_woven.xml",
                                        std::string(QORVA_TEST_DATA_DIR) + "/matbook_units.xml"};

MaterialList load_sources(const std::string& system) {
  MaterialList materials;
  for (const auto& file : kSources)
    qorva_mat::load_materials(file, materials, qorva_mat::make_unit_system(system));
  materials.erase(std::remove_if(materials.begin(), materials.end(),
                                 [](const auto& m) { return m->name() == "Unknown"; }),
                  materials.end());
  return materials;
}

// A temperature reading in kelvin; any other value unchanged. Temperatures are compared as
// readings, so that 0 C against -1e-14 C is not taken for a relative error of 1.
double kelvin(double value, const UnitSystem& s) {
  return (value - s.temperature_offset()) * s.temperature_conv();
}
double comparable(double value, const Unit& unit) {
  return unit.system() && unit.is_temperature() ? kelvin(value, *unit.system()) : value;
}

double number(const std::string& text) {
  std::istringstream in(text);
  in.imbue(std::locale::classic());
  double value = NAN;
  in >> value;
  return value;
}

void expect_close(double expected, double actual, const std::string& what) {
  const double tolerance = 1e-12 * std::max(std::abs(expected), std::abs(actual));
  EXPECT_TRUE(std::abs(expected - actual) <= tolerance ||
              (std::isnan(expected) && std::isnan(actual)))
      << what << ": expected " << expected << ", got " << actual;
}

const char* const kReferenceTemperature = "Zero-Thermal-Strain Reference Temperature";

// Same names, algorithm, field units, string properties and values; independent values, limits
// and defaults that are temperatures are compared in kelvin, as is the reference temperature
// (a reading in the temperature unit of `system`).
void expect_same_set(const PropertySet& a, const PropertySet& b, const UnitSystem& system,
                     const std::string& at) {
  ASSERT_EQ(a.get_independent_names(), b.get_independent_names()) << at;
  ASSERT_EQ(a.get_dependent_names(), b.get_dependent_names()) << at;
  EXPECT_EQ(a.get_algorithm(), b.get_algorithm()) << at;
  const auto& units = a.field_units();
  ASSERT_EQ(units.size(), b.field_units().size()) << at;
  for (std::size_t i = 0; i < units.size(); ++i)
    EXPECT_TRUE(units[i] == b.field_units()[i]) << at << " unit " << i;
  auto in = [&](double v, std::size_t i) { return i < units.size() ? comparable(v, units[i]) : v; };
  const auto xa = a.get_independent_data(), xb = b.get_independent_data();
  const auto ya = a.get_dependent_data(), yb = b.get_dependent_data();
  ASSERT_EQ(xa.size(), xb.size()) << at;
  ASSERT_EQ(ya.size(), yb.size()) << at;
  for (std::size_t r = 0; r < xa.size(); ++r) {
    ASSERT_EQ(xa[r].size(), xb[r].size()) << at;
    for (std::size_t i = 0; i < xa[r].size(); ++i)
      expect_close(in(xa[r][i], i), in(xb[r][i], i), at + " point");
  }
  for (std::size_t r = 0; r < ya.size(); ++r) {
    ASSERT_EQ(ya[r].size(), yb[r].size()) << at;
    for (std::size_t k = 0; k < ya[r].size(); ++k)
      expect_close(ya[r][k], yb[r][k], at + " " + a.get_dependent_names()[k]);
  }
  const auto ra = a.get_ranges(), rb = b.get_ranges();
  const auto da = a.get_defaults(), db = b.get_defaults();
  ASSERT_EQ(ra.size(), rb.size()) << at;
  ASSERT_EQ(da.size(), db.size()) << at;
  // A hardening table's variables carry only their variable type in the file: the reader gives
  // them 22 as default and the data's bounds as limits, in the units of the file read.
  const bool carried = a.name() != "Isotropic Hardening";
  for (std::size_t i = 0; carried && i < ra.size(); ++i) {
    expect_close(in(ra[i].first, i), in(rb[i].first, i), at + " lower limit");
    expect_close(in(ra[i].second, i), in(rb[i].second, i), at + " upper limit");
  }
  for (std::size_t i = 0; carried && i < da.size(); ++i)
    expect_close(in(da[i], i), in(db[i], i), at + " default");
  for (const auto& key : a.get_string_property_keys()) {
    ASSERT_TRUE(b.has_string_property(key)) << at << " " << key;
    if (key == kReferenceTemperature) {
      expect_close(kelvin(number(a.get_string_property(key)), system),
                   kelvin(number(b.get_string_property(key)), system), at + " " + key);
    } else {
      EXPECT_EQ(a.get_string_property(key), b.get_string_property(key)) << at << " " << key;
    }
  }
}

// `actual` holds the materials of `expected` (in any order: stores keep them in name order) with
// the same sets and values (relative 1e-12), both in `system`.
void expect_same_materials(const MaterialList& expected, const MaterialList& actual,
                           const UnitSystem& system, const std::string& where) {
  ASSERT_EQ(expected.size(), actual.size()) << where;
  for (const auto& material : expected) {
    const Material& a = *material;
    const std::string at = where + " / " + a.name();
    const auto found = std::find_if(actual.begin(), actual.end(),
                                    [&](const auto& m) { return m->name() == a.name(); });
    ASSERT_NE(found, actual.end()) << at;
    const Material& b = **found;
    for (const auto& key : a.get_string_property_keys())
      EXPECT_EQ(a.get_string_property(key),
                b.has_string_property(key) ? b.get_string_property(key) : "<none>")
          << at;
    for (std::size_t j = 0; j < a.property_vec_size(); ++j) {
      ASSERT_EQ(a.is_property_set_active(j), b.is_property_set_active(j)) << at << " slot " << j;
      if (a.is_property_set_active(j))
        expect_same_set(a.at(j), b.at(j), system, at + " / " + a.at(j).name());
    }
  }
}

// What `qorva-mat ARGUMENTS` exits with; its output is dropped.
int run_program(const std::string& arguments) {
  const int raw =
      std::system((std::string(QORVA_CLI) + " " + arguments + " > /dev/null 2>&1").c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

MaterialList load_example(const std::string& system) {
  MaterialList materials;
  qorva_mat::load_materials(kExample, materials, qorva_mat::make_unit_system(system));
  return materials;
}

// One case per system the files are written in, so that the cases spread over the test jobs;
// each loads the sources into every system once and compares the trips with that.
class UnitRoundTrip : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(name.begin(), name.end(), '/', '-');
    dir_ =
        fs::temp_directory_path() / ("qorva-round-trip-" + std::to_string(::getpid()) + "-" + name);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  // The sources loaded into `system`, once.
  MaterialList& direct(const std::string& system) {
    auto found = direct_.find(system);
    if (found == direct_.end()) found = direct_.emplace(system, load_sources(system)).first;
    return found->second;
  }

  std::map<std::string, MaterialList> direct_;
  fs::path dir_;
};

TEST_P(UnitRoundTrip, FilesWrittenInOneSystemReadBackIntoEverySystem) {
  const std::string from = GetParam();
  // Matbook XML written by the library, read with default options.
  const std::string file = path("in.xml");
  ASSERT_EQ(qorva_mat::write_materials(file, direct(from), qorva_mat::make_unit_system(from)), 0u);
  for (const auto& into : kSystems) {
    const auto system = qorva_mat::make_unit_system(into);
    MaterialList read;
    qorva_mat::load_materials(file, read, system);
    expect_same_materials(direct(into), read, *system,
                          "written in " + from + ", read into " + into);
  }
  // An HDF5 store, read into each system by the program's own code.
  const std::string store = path("in.h5");
  qorva_cli::MaterialFile written;
  written.materials = direct(from);
  written.system = qorva_mat::make_unit_system(from);
  qorva_cli::save_material_file(store, written);
  for (const auto& into : kSystems) {
    qorva_cli::UnitOptions options;
    options.units = into;
    const qorva_cli::MaterialFile read = qorva_cli::load_material_file(store, options);
    ASSERT_EQ(read.system->type(), qorva_mat::make_unit_system(into)->type());
    expect_same_materials(direct(into), read.materials, *read.system,
                          "stored in " + from + ", read into " + into);
  }
}

TEST_P(UnitRoundTrip, ExampleConvertedByTheProgramReadsBackIntoEverySystem) {
  const std::string from = GetParam();
  const std::string xml = path("example.xml");
  const std::string store = path("example.h5");
  ASSERT_EQ(run_program("convert '" + kExample + "' '" + xml + "' --units " + from), 0);
  ASSERT_EQ(run_program("convert '" + kExample + "' '" + store + "' --units " + from), 0);
  for (const auto& into : kSystems) {
    const MaterialList direct = load_example(into);
    qorva_cli::UnitOptions options;
    options.units = into;
    for (const auto& file : {xml, store}) {
      const qorva_cli::MaterialFile read = qorva_cli::load_material_file(file, options);
      expect_same_materials(
          direct, read.materials, *read.system,
          fs::path(file).filename().string() + " written in " + from + ", read into " + into);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(WrittenIn, UnitRoundTrip, ::testing::ValuesIn(kSystems),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param;
                         });

}  // namespace
