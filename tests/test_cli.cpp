// Runs the real qorva-mat program and checks what it prints against the library itself.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "qorva_mat/load_matbook.hpp"
#include "qorva_mat/write_hdf5.hpp"

namespace fs = std::filesystem;

namespace {

const std::string kExample = std::string(QORVA_EXAMPLES_DIR) + "/ud_carbon_epoxy.xml";
const std::string kCarbon = "UD Carbon/Epoxy T300/914";

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("qorva-cli-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  Outcome run(const std::string& arguments) {
    const fs::path err = dir_ / "stderr.txt";
    const std::string command = std::string(QORVA_CLI) + " " + arguments + " 2>" + err.string();
    Outcome result;
    FILE* pipe = ::popen(command.c_str(), "r");
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) result.out.append(buffer, n);
    const int raw = ::pclose(pipe);
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.err = slurp(err);
    return result;
  }

  fs::path dir_;
};

std::string quoted(const std::string& text) { return "'" + text + "'"; }

double library_query(const std::string& units, const std::string& property, const std::string& variable,
                     double temperature) {
  std::vector<std::shared_ptr<qorva_mat::Material>> materials;
  qorva_mat::load_materials(kExample, materials, qorva_mat::make_unit_system(units));
  auto& set = materials.at(0)->at(property);
  set.update();
  return set.query({{"Temperature"}, {temperature}}, variable);
}

}  // namespace

TEST_F(Cli, InfoListsEveryMaterialAndItsPropertySetsAsTextAndJson) {
  const Outcome text = run("info " + kExample + " --units MPA");
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_NE(text.out.find("Material 'UD Carbon/Epoxy T300/914'"), std::string::npos);
  EXPECT_NE(text.out.find("Material 'Structural Steel S355'"), std::string::npos);
  EXPECT_NE(text.out.find("E1 [MPa]"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("Temperature [C]"), std::string::npos) << text.out;

  const Outcome json = run("info " + kExample + " --units MPA --json");
  ASSERT_EQ(json.status, 0) << json.err;
  const auto doc = nlohmann::json::parse(json.out);
  EXPECT_EQ(doc["unit_system"], "MPA");
  ASSERT_EQ(doc["materials"].size(), 2u);
  bool found = false;
  for (const auto& set : doc["materials"][0]["property_sets"]) {
    if (set["name"] != "Engineering Constants") continue;
    found = true;
    EXPECT_EQ(set["points"], 3);
    EXPECT_EQ(set["independent"][0]["name"], "Temperature");
    EXPECT_EQ(set["independent"][0]["unit"], "C");
    EXPECT_EQ(set["dependent"][0]["unit"], "MPa");
  }
  EXPECT_TRUE(found);
}

TEST_F(Cli, QueryAnswersWhatTheLibraryAnswersInTheChosenSystem) {
  // the point is given in the output system: 50 C is 323.15 K, and SI stresses are in Pa
  const Outcome si_point = run("query " + kExample + " --material " + quoted(kCarbon) +
                           " --property 'Engineering Constants' --at Temperature=323.15 --json --units SI");
  ASSERT_EQ(si_point.status, 0) << si_point.err;
  const auto si_doc = nlohmann::json::parse(si_point.out);
  EXPECT_EQ(si_doc["values"]["E1"]["unit"], "Pa");
  EXPECT_NEAR(si_doc["values"]["E1"]["value"].get<double>(),
              1e6 * library_query("MPA", "Engineering Constants", "E1", 50.0), 1e-3);
  const Outcome mpa = run("query " + kExample + " --material " + quoted(kCarbon) +
                      " --property 'Engineering Constants' --at Temperature=50 --json --units MPA");
  ASSERT_EQ(mpa.status, 0) << mpa.err;
  const auto doc = nlohmann::json::parse(mpa.out);
  EXPECT_DOUBLE_EQ(doc["values"]["E1"]["value"].get<double>(),
                   library_query("MPA", "Engineering Constants", "E1", 50.0));
  EXPECT_EQ(doc["values"]["E1"]["unit"], "MPa");
  EXPECT_TRUE(doc["warnings"].empty());
  // halfway between the table points 22 C and 80 C: the linear blend
  EXPECT_NEAR(doc["values"]["E1"]["value"].get<double>(), 135000.0 + (50.0 - 22.0) / 58.0 * (132000.0 - 135000.0), 1e-6);

  const Outcome si = run("query " + kExample + " --material " + quoted(kCarbon) +
                     " --property Density --json --units SI");
  ASSERT_EQ(si.status, 0) << si.err;
  EXPECT_DOUBLE_EQ(nlohmann::json::parse(si.out)["values"]["rho"]["value"].get<double>(), 1550.0);
}

TEST_F(Cli, QueryOutsideTheDataWarnsAndUsesDefaultsForMissingVariables) {
  const Outcome r = run("query " + kExample + " --material " + quoted(kCarbon) +
                    " --property 'Engineering Constants' --at Temperature=150 --units MPA");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("warning: Temperature = 150 lies outside the data (-40 .. 80)"), std::string::npos) << r.err;
  const Outcome defaults = run("query " + kExample + " --material " + quoted(kCarbon) +
                           " --property 'Engineering Constants' --units MPA --json");
  ASSERT_EQ(defaults.status, 0) << defaults.err;
  const auto doc = nlohmann::json::parse(defaults.out);
  EXPECT_DOUBLE_EQ(doc["point"]["Temperature"]["value"].get<double>(), 22.0);
  EXPECT_DOUBLE_EQ(doc["values"]["E1"]["value"].get<double>(), 135000.0);
}

TEST_F(Cli, FailuresGiveOneLineAndTheDocumentedStatus) {
  const Outcome missing = run("info " + (dir_ / "nothing.xml").string());
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(std::count(missing.err.begin(), missing.err.end(), '\n'), 1) << missing.err;
  EXPECT_NE(missing.err.find("no such file"), std::string::npos);

  const Outcome material = run("query " + kExample + " --material Unobtainium --property Density");
  EXPECT_EQ(material.status, 2);
  EXPECT_NE(material.err.find("'Structural Steel S355'"), std::string::npos) << material.err;

  const Outcome property = run("query " + kExample + " --material " + quoted(kCarbon) + " --property Stiffness");
  EXPECT_EQ(property.status, 2);
  EXPECT_NE(property.err.find("'Engineering Constants'"), std::string::npos) << property.err;

  const Outcome at = run("query " + kExample + " --material " + quoted(kCarbon) +
                     " --property 'Engineering Constants' --at Temperature=hot");
  EXPECT_EQ(at.status, 2);
  EXPECT_NE(at.err.find("bad --at value 'Temperature=hot'"), std::string::npos) << at.err;

  const fs::path garbage = dir_ / "garbage.xml";
  std::ofstream(garbage) << "<MatbookData><Materials><MatML_Doc><Material>";
  const Outcome malformed = run("info " + garbage.string());
  EXPECT_EQ(malformed.status, 2);
  EXPECT_EQ(std::count(malformed.err.begin(), malformed.err.end(), '\n'), 1) << malformed.err;

  const Outcome over = run("sample " + kExample + " --material " + quoted(kCarbon) +
                          " --property Density --over Temperature=0:1:2");
  EXPECT_EQ(over.status, 2);
  EXPECT_NE(over.err.find("bad --over value: 'Density' does not depend on 'Temperature'"), std::string::npos)
      << over.err;

  EXPECT_EQ(run("frobnicate").status, 1);
  EXPECT_EQ(run("convert " + kExample + " " + (dir_ / "out.txt").string()).status, 1);
  EXPECT_EQ(run("info " + kExample + " --units furlongs").status, 1);
}

TEST_F(Cli, ConvertsXmlToHdf5AndBackKeepingTheValues) {
  const std::string h5 = (dir_ / "example.h5").string();
  const std::string xml = (dir_ / "back.xml").string();
  ASSERT_EQ(run("convert " + kExample + " " + h5 + " --units MPA").status, 0);
  const Outcome store = run("info " + h5 + " --json");
  ASSERT_EQ(store.status, 0) << store.err;
  EXPECT_EQ(nlohmann::json::parse(store.out)["unit_system"], "MPA");
  EXPECT_EQ(nlohmann::json::parse(store.out)["format"], "hdf5");

  ASSERT_EQ(run("convert " + h5 + " " + xml).status, 0);
  const std::string query = " --material " + quoted(kCarbon) +
                            " --property 'Engineering Constants' --at Temperature=50 --json --units MPA";
  const auto direct = nlohmann::json::parse(run("query " + kExample + query).out);
  const auto via_store = nlohmann::json::parse(run("query " + h5 + query).out);
  const auto via_xml = nlohmann::json::parse(run("query " + xml + query).out);
  EXPECT_EQ(direct["values"], via_store["values"]);
  EXPECT_EQ(direct["values"], via_xml["values"]);

  // the store read into another system goes through the converting Matbook path
  const auto bin_direct = nlohmann::json::parse(run("query " + kExample + " --material " + quoted(kCarbon) +
                                                    " --property Density --json --units BIN").out);
  const auto bin_store = nlohmann::json::parse(run("query " + h5 + " --material " + quoted(kCarbon) +
                                                   " --property Density --json --units BIN").out);
  EXPECT_NEAR(bin_store["values"]["rho"]["value"].get<double>(), bin_direct["values"]["rho"]["value"].get<double>(),
              1e-12 * bin_direct["values"]["rho"]["value"].get<double>());
}

TEST_F(Cli, StoreWithoutRecordedSystemNeedsFromUnitsToConvert) {
  std::vector<std::shared_ptr<qorva_mat::Material>> materials;
  qorva_mat::load_materials(kExample, materials, qorva_mat::make_unit_system("MPA"));
  // field units of two systems: the store itself no longer tells which system its values use
  bool other = false;
  for (auto& m : materials) {
    for (std::size_t j = 0; j < m->property_vec_size(); ++j) {
      if (!m->is_property_set_active(j) || m->at(j).field_units().empty()) continue;
      auto system = qorva_mat::make_unit_system(other ? "MKS" : "MPA");
      m->at(j).field_units({qorva_mat::temperature(system)});
      other = !other;
    }
  }
  const std::string h5 = (dir_ / "bare.h5").string();
  ASSERT_EQ(qorva_mat::write_materials_hdf5(h5, materials), 0u);
  const Outcome refused = run("convert " + h5 + " " + (dir_ / "out.xml").string() + " --units SI");
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("--from-units"), std::string::npos) << refused.err;
  const Outcome accepted = run("query " + h5 + " --from-units MPA --units SI --material " + quoted(kCarbon) +
                           " --property Density --json");
  ASSERT_EQ(accepted.status, 0) << accepted.err;
  EXPECT_NEAR(nlohmann::json::parse(accepted.out)["values"]["rho"]["value"].get<double>(), 1550.0, 1e-9);
}

TEST_F(Cli, SampleAndPlotFollowTheQueries) {
  const std::string csv = (dir_ / "e1.csv").string();
  const Outcome sample = run("sample " + kExample + " --material " + quoted(kCarbon) +
                         " --property 'Engineering Constants' --over Temperature=-40:80:7 --dependent E1 --units MPA --csv " + csv);
  ASSERT_EQ(sample.status, 0) << sample.err;
  std::istringstream lines(slurp(csv));
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, "Temperature [C],E1 [MPa]");
  int rows = 0;
  while (std::getline(lines, line)) {
    const double t = std::stod(line.substr(0, line.find(',')));
    const double e1 = std::stod(line.substr(line.find(',') + 1));
    EXPECT_NEAR(e1, library_query("MPA", "Engineering Constants", "E1", t), 1e-9 * e1) << line;
    ++rows;
  }
  EXPECT_EQ(rows, 7);

  const std::string svg = (dir_ / "e1.svg").string();
  const Outcome plot = run("plot " + kExample + " --material " + quoted(kCarbon) +
                       " --property 'Engineering Constants' --over Temperature=-40:80:50 --dependent E1 --dependent E2 --units MPA -o " + svg);
  ASSERT_EQ(plot.status, 0) << plot.err;
  const std::string chart = slurp(svg);
  EXPECT_EQ(chart.rfind("<svg", 0), 0u);
  auto count = [&](const std::string& what) {
    std::size_t n = 0;
    for (auto p = chart.find(what); p != std::string::npos; p = chart.find(what, p + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("<polyline"), 2u);
  EXPECT_EQ(count("<circle"), 2u * 3u + 1u);  // three table points per curve, one legend marker
  EXPECT_NE(chart.find("Temperature [C]"), std::string::npos);
  EXPECT_NE(chart.find("E2 [MPa]"), std::string::npos);
}
