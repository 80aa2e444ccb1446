// Runs the real qorva-mat program and checks what it prints against the library itself.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <H5Cpp.h>

#include <cctype>

#include "qorva_mat/load_matbook.hpp"
#include "qorva_mat/write_hdf5.hpp"
#include "qorva_mat/write_matbook.hpp"
#include "tests/files.hpp"
#include "tests/temp_dir_test.hpp"
#include "tools/unit_text.hpp"

namespace fs = std::filesystem;

namespace {

using qorva_test::read_file;

const std::string kExample = std::string(QORVA_EXAMPLES_DIR) + "/ud_carbon_epoxy.xml";
const std::string kCarbon = "UD Carbon/Epoxy T300/914";

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

std::string single_quoted(const std::string& text) { return "'" + text + "'"; }

class Cli : public qorva_test::TempDirTest {
 protected:
  Cli() : TempDirTest("qorva-cli-") {}

  Outcome run(const std::string& arguments) {
    const fs::path err = dir_ / "stderr.txt";
    const std::string command = std::string(QORVA_CLI) + " " + arguments + " 2>" + err.string();
    Outcome result;
    FILE* pipe = ::popen(command.c_str(), "r");
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) result.out.append(buffer, n);
    const int raw = ::pclose(pipe);
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.err = read_file(err);
    return result;
  }

  // `command` on the carbon/epoxy material of `file`, followed by `arguments`.
  Outcome on_carbon(const std::string& command, const std::string& file,
                    const std::string& arguments) {
    return run(command + " " + file + " --material " + single_quoted(kCarbon) + " " + arguments);
  }
};

nlohmann::json json_of(const Outcome& outcome) { return nlohmann::json::parse(outcome.out); }

// The value the JSON answer `doc` gives for `variable`.
double value_of(const nlohmann::json& doc, const std::string& variable) {
  return doc["values"][variable]["value"].get<double>();
}

double library_query(const std::string& units, const std::string& property,
                     const std::string& variable, double temperature) {
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
  const auto doc = json_of(json);
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
  const Outcome si_point =
      on_carbon("query", kExample,
                "--property 'Engineering Constants' --at Temperature=323.15 --json --units SI");
  ASSERT_EQ(si_point.status, 0) << si_point.err;
  const auto si_doc = json_of(si_point);
  EXPECT_EQ(si_doc["values"]["E1"]["unit"], "Pa");
  EXPECT_NEAR(value_of(si_doc, "E1"),
              1e6 * library_query("MPA", "Engineering Constants", "E1", 50.0), 1e-3);
  const Outcome mpa =
      on_carbon("query", kExample,
                "--property 'Engineering Constants' --at Temperature=50 --json --units MPA");
  ASSERT_EQ(mpa.status, 0) << mpa.err;
  const auto doc = json_of(mpa);
  EXPECT_DOUBLE_EQ(value_of(doc, "E1"), library_query("MPA", "Engineering Constants", "E1", 50.0));
  EXPECT_EQ(doc["values"]["E1"]["unit"], "MPa");
  EXPECT_TRUE(doc["warnings"].empty());
  // halfway between the table points 22 C and 80 C: the linear blend
  EXPECT_NEAR(value_of(doc, "E1"), 135000.0 + (50.0 - 22.0) / 58.0 * (132000.0 - 135000.0), 1e-6);

  const Outcome si = on_carbon("query", kExample, "--property Density --json --units SI");
  ASSERT_EQ(si.status, 0) << si.err;
  EXPECT_DOUBLE_EQ(value_of(json_of(si), "rho"), 1550.0);
}

TEST_F(Cli, QueryOutsideTheDataWarnsAndUsesDefaultsForMissingVariables) {
  const Outcome r = on_carbon(
      "query", kExample, "--property 'Engineering Constants' --at Temperature=150 --units MPA");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("warning: Temperature = 150 C lies outside the data (-40 .. 80 C)"),
            std::string::npos)
      << r.err;
  const Outcome defaults =
      on_carbon("query", kExample, "--property 'Engineering Constants' --units MPA --json");
  ASSERT_EQ(defaults.status, 0) << defaults.err;
  const auto doc = json_of(defaults);
  EXPECT_DOUBLE_EQ(doc["point"]["Temperature"]["value"].get<double>(), 22.0);
  EXPECT_DOUBLE_EQ(value_of(doc, "E1"), 135000.0);
}

TEST_F(Cli, FailuresGiveOneLineAndTheDocumentedStatus) {
  std::ofstream(path("garbage.xml")) << "<MatbookData><Materials><MatML_Doc><Material>";
  const std::string carbon = " --material " + single_quoted(kCarbon);
  const struct {
    std::string arguments;
    int status;
    std::string text;  // a part of the message, for status 2
  } cases[] = {
      {"info " + path("nothing.xml"), 2, "no such file"},
      {"query " + kExample + " --material Unobtainium --property Density", 2,
       "'Structural Steel S355'"},
      {"query " + kExample + carbon + " --property Stiffness", 2, "'Engineering Constants'"},
      {"query " + kExample + carbon + " --property 'Engineering Constants' --at Temperature=hot", 2,
       "bad --at value 'Temperature=hot'"},
      {"info " + path("garbage.xml"), 2, ""},
      {"sample " + kExample + carbon + " --property Density --over Temperature=0:1:2", 2,
       "bad --over value: 'Density' does not depend on 'Temperature'"},
      {"frobnicate", 1, ""},
      {"convert " + kExample + " " + path("out.txt"), 1, ""},
      {"info " + kExample + " --units furlongs", 1, ""},
  };
  for (const auto& c : cases) {
    const Outcome r = run(c.arguments);
    EXPECT_EQ(r.status, c.status) << c.arguments;
    if (c.status != 2) continue;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find(c.text), std::string::npos) << r.err;
  }
}

TEST_F(Cli, ConvertsXmlToHdf5AndBackKeepingTheValues) {
  const std::string h5 = (dir_ / "example.h5").string();
  const std::string xml = (dir_ / "back.xml").string();
  ASSERT_EQ(run("convert " + kExample + " " + h5 + " --units MPA").status, 0);
  const Outcome store = run("info " + h5 + " --json");
  ASSERT_EQ(store.status, 0) << store.err;
  EXPECT_EQ(json_of(store)["unit_system"], "SI");  // shown in SI unless asked
  EXPECT_EQ(json_of(store)["format"], "hdf5");

  ASSERT_EQ(run("convert " + h5 + " " + xml).status, 0);
  const std::string query =
      "--property 'Engineering Constants' --at Temperature=50 --json --units MPA";
  const auto direct = json_of(on_carbon("query", kExample, query));
  const auto via_store = json_of(on_carbon("query", h5, query));
  const auto via_xml = json_of(on_carbon("query", xml, query));
  EXPECT_EQ(direct["values"], via_store["values"]);
  EXPECT_EQ(direct["values"], via_xml["values"]);

  // the store read into another system goes through the converting Matbook path
  const auto bin_direct =
      json_of(on_carbon("query", kExample, "--property Density --json --units BIN"));
  const auto bin_store = json_of(on_carbon("query", h5, "--property Density --json --units BIN"));
  EXPECT_NEAR(value_of(bin_store, "rho"), value_of(bin_direct, "rho"),
              1e-12 * value_of(bin_direct, "rho"));
}

TEST_F(Cli, QueryAndSampleReadOnlyTheNamedMaterial) {
  const std::string h5 = (dir_ / "example.h5").string();
  ASSERT_EQ(run("convert " + kExample + " " + h5).status, 0);
  const std::string query = " --property 'Engineering Constants' --at Temperature=50 --json";
  const Outcome intact = on_carbon("query", h5, query);
  ASSERT_EQ(intact.status, 0) << intact.err;
  {
    // The steel (Material1) loses an attribute every property group needs: the store as a whole
    // no longer loads, the carbon alone still does.
    H5::H5File store(h5, H5F_ACC_RDWR);
    H5::Group steel = store.openGroup("Materials/Material1");
    steel.openGroup(steel.getObjnameByIdx(0)).removeAttr("is_cached");
  }
  EXPECT_EQ(run("info " + h5).status, 2);
  const Outcome carbon = on_carbon("query", h5, query);
  ASSERT_EQ(carbon.status, 0) << carbon.err;
  EXPECT_EQ(json_of(carbon), json_of(intact));
  EXPECT_EQ(on_carbon("sample", h5, "--property 'Engineering Constants' --over Temperature=0:80:3")
                .status,
            0);
  // A name that matches only without regard to case falls back to reading everything.
  std::string folded = kCarbon;
  for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(run("query " + kExample + " --material " + single_quoted(folded) + query).status, 0);
  EXPECT_EQ(run("query " + h5 + " --material " + single_quoted(folded) + query).status, 2);
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
  const Outcome accepted =
      on_carbon("query", h5, "--from-units MPA --units SI --property Density --json");
  ASSERT_EQ(accepted.status, 0) << accepted.err;
  EXPECT_NEAR(value_of(json_of(accepted), "rho"), 1550.0, 1e-9);
}

TEST_F(Cli, SampleAndPlotFollowTheQueries) {
  const std::string csv = (dir_ / "e1.csv").string();
  const Outcome sample = on_carbon("sample", kExample,
                                   "--property 'Engineering Constants' --over Temperature=-40:80:7 "
                                   "--dependent E1 --units MPA --csv " +
                                       csv);
  ASSERT_EQ(sample.status, 0) << sample.err;
  std::istringstream lines(read_file(csv));
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

  // The ends of a sweep may carry units: -40 C .. 80 C is -40 F .. 176 F.
  const Outcome with_units = on_carbon(
      "sample", kExample,
      "--property Elasticity --over Temperature=-40C:353.15K:2 --dependent E1 --units BIN");
  ASSERT_EQ(with_units.status, 0) << with_units.err;
  std::istringstream rows_bin(with_units.out);
  std::getline(rows_bin, line);
  EXPECT_EQ(line, "Temperature [F],E1 [psi]");
  for (const double expected : {-40.0, 176.0}) {
    ASSERT_TRUE(std::getline(rows_bin, line));
    EXPECT_NEAR(std::stod(line.substr(0, line.find(','))), expected, 1e-9) << line;
  }

  const std::string svg = (dir_ / "e1.svg").string();
  const Outcome plot = on_carbon("plot", kExample,
                                 "--property 'Engineering Constants' --over Temperature=-40:80:50 "
                                 "--dependent E1 --dependent E2 --units MPA -o " +
                                     svg);
  ASSERT_EQ(plot.status, 0) << plot.err;
  const std::string chart = read_file(svg);
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

TEST_F(Cli, ExampleConvertedIntoAnotherSystemQueriesRightFromXmlAndStore) {
  // The trip that once gave E1 = 19370039.92 MPa: written in BIN, read back in MPA.
  const double expected = library_query("MPA", "Engineering Constants", "E1", 50.0);
  EXPECT_NEAR(expected, 133551.7241, 1e-4);
  for (const std::string out : {"ex_bin.xml", "ex_bin.h5"}) {
    const std::string file = (dir_ / out).string();
    ASSERT_EQ(run("convert " + kExample + " " + file + " --units BIN").status, 0);
    const Outcome r = on_carbon(
        "query", file, "--property 'Engineering Constants' --at Temperature=50 --units MPA --json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NEAR(value_of(json_of(r), "E1"), expected, 1e-12 * expected) << out;
    EXPECT_EQ(r.err, "") << out;
  }
}

TEST_F(Cli, AtWithAUnitNamesTheSamePointInEverySystemAndFileKind) {
  const std::string h5 = (dir_ / "mpa.h5").string();
  ASSERT_EQ(run("convert " + kExample + " " + h5 + " --units MPA").status, 0);
  // 50 C written four ways, queried in three systems, from the XML file and from the MPA store.
  struct Case {
    std::string file, units, at;
    double point;  // 50 C in the system of the output
  };
  const std::vector<Case> cases{
      {kExample, "SI", "Temperature=50C", 323.15},
      {kExample, "MPA", "Temperature=323.15K", 50.0},
      {kExample, "BIN", "'Temperature=50 C'", 122.0},
      {h5, "BIN", "Temperature=122F", 122.0},
      {h5, "SI", "temperature=50C", 323.15},
      {h5, "MPA", "Temperature=50", 50.0}};  // a bare number is in --units
  const double e1_mpa = library_query("MPA", "Engineering Constants", "E1", 50.0);
  for (const Case& c : cases) {
    const Outcome r = on_carbon(
        "query", c.file, "--property Elasticity --at " + c.at + " --units " + c.units + " --json");
    ASSERT_EQ(r.status, 0) << c.at << ": " << r.err;
    const auto doc = json_of(r);
    EXPECT_NEAR(doc["point"]["Temperature"]["value"].get<double>(), c.point, 1e-9)
        << c.units << " " << c.at;
    const auto system = qorva_mat::make_unit_system(c.units);
    const auto mpa = qorva_mat::make_unit_system("MPA");
    const double factor =
        qorva_mat::conversion_factor(qorva_mat::detail::category_unit("stress", mpa),
                                     qorva_mat::detail::category_unit("stress", system));
    EXPECT_NEAR(value_of(doc, "E1"), e1_mpa * factor, 1e-9 * e1_mpa * factor)
        << c.units << " " << c.at;
  }
  const Outcome length = on_carbon("query", kExample, "--property Elasticity --at Temperature=5mm");
  EXPECT_EQ(length.status, 2);
  EXPECT_NE(
      length.err.find(
          "bad --at value 'Temperature=5mm': 'mm' is no temperature unit; the variable is in K"),
      std::string::npos)
      << length.err;
}

TEST_F(Cli, WarningsReachStandardErrorOnceEachUnlessQuiet) {
  const std::string file = std::string(QORVA_TEST_DATA_DIR) + "/matbook_units.xml";
  const Outcome r = run("info " + file + " --units MPA");
  ASSERT_EQ(r.status, 0) << r.err;
  std::istringstream lines(r.err);
  std::vector<std::string> seen;
  for (std::string line; std::getline(lines, line);) {
    EXPECT_EQ(line.rfind("qorva-mat: warning: " + file + ": ", 0), 0u) << line;
    EXPECT_EQ(std::count(seen.begin(), seen.end(), line), 0) << "repeated: " << line;
    seen.push_back(line);
  }
  EXPECT_NE(
      r.err.find("uses the unknown unit symbol 'furlong': its values are read without conversion."),
      std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find(": Only constant density supported"), std::string::npos) << r.err;
  const Outcome quiet = run("-q info " + file + " --units MPA");
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.err, "");
  EXPECT_EQ(quiet.out, r.out);
}

TEST_F(Cli, EveryFailureIsOneLineNamingTheFile) {
  const std::string data = QORVA_TEST_DATA_DIR;
  const std::vector<std::pair<std::string, std::string>> cases{
      {data + "/matbook_bad_missing_version.xml",
       "the required attribute 'version' of the element 'MatbookData' is missing"},
      {data + "/matbook_bad_missing_bulkdetails.xml",
       "the required element 'BulkDetails' is missing"},
      {data + "/matbook_bad_unit_power_fraction.xml",
       "the power '1.5' of the unit 'm' declared for pr0 is not an integer"},
      {data + "/matbook_bad_limit_text.xml", "a text where a number is needed is not one: 'cold'"},
      {data + "/matbook_bad_truncated.xml", "line 14: unexpected end of data"}};
  for (const auto& [file, reason] : cases) {
    const Outcome r = run("info " + file);
    EXPECT_EQ(r.status, 2) << file;
    EXPECT_EQ(r.err.rfind("qorva-mat: error: " + file + ": ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
  // An engine failure: no "GIL-error:" and no line break of its own.
  const std::string twice = data + "/matbook_bad_duplicate_points.xml";
  const Outcome engine = run("query " + twice + " --material Twice --property Density");
  EXPECT_EQ(engine.status, 2);
  EXPECT_EQ(engine.err.rfind("qorva-mat: error: " + twice + ": interpolation: ", 0), 0u)
      << engine.err;
  EXPECT_EQ(engine.err.find("GIL-error"), std::string::npos) << engine.err;
  EXPECT_EQ(std::count(engine.err.begin(), engine.err.end(), '\n'), 1) << engine.err;
}

TEST_F(Cli, MaterialAndPropertyNamesMatchWithoutCaseAndByMatbookName) {
  const Outcome folded = run("query " + kExample +
                             " --material 'ud carbon/epoxy t300/914' --property elasticity "
                             "--at Temperature=50C --units MPA --json");
  ASSERT_EQ(folded.status, 0) << folded.err;
  EXPECT_EQ(json_of(folded)["property"], "Engineering Constants");
  const Outcome cte =
      on_carbon("query", kExample, "--property 'Coefficient of Thermal Expansion' --json");
  ASSERT_EQ(cte.status, 0) << cte.err;
  EXPECT_EQ(json_of(cte)["property"], "Thermal Expansion Coefficients");

  // "Puck Constants" is the Matbook name of both woven Puck sets.
  const std::string woven = std::string(QORVA_TEST_DATA_DIR) + "/matbook_woven.xml";
  const Outcome puck =
      run("query " + woven + " --material 'Glass Fabric' --property 'Puck Constants'");
  EXPECT_EQ(puck.status, 2);
  EXPECT_NE(puck.err.find("property name 'Puck Constants' of material 'Glass Fabric' is ambiguous: "
                          "'Woven Puck Constants 1', 'Woven Puck Constants 2'"),
            std::string::npos)
      << puck.err;

  std::vector<std::shared_ptr<qorva_mat::Material>> materials;
  qorva_mat::load_materials(kExample, materials, qorva_mat::make_unit_system("SI"));
  auto copy = std::make_shared<qorva_mat::Material>(*materials[0]);
  copy->name("ud carbon/epoxy T300/914");
  copy->set_string_property("QORVAHELMTransferID",
                            "HELM-2");  // else it would be read into the first
  materials.push_back(copy);
  const std::string file = (dir_ / "cases.xml").string();
  qorva_mat::write_materials(file, materials, qorva_mat::make_unit_system("SI"));
  EXPECT_EQ(on_carbon("query", file, "--property Density").status, 0);
  const Outcome ambiguous =
      run("query " + file + " --material 'UD CARBON/EPOXY T300/914' --property Density");
  EXPECT_EQ(ambiguous.status, 2);
  EXPECT_NE(ambiguous.err.find("material name 'UD CARBON/EPOXY T300/914' is ambiguous: '" +
                               kCarbon + "', 'ud carbon/epoxy T300/914'"),
            std::string::npos)
      << ambiguous.err;
}

TEST(UnitText, ShowsUnitsInTheEngineersForm) {
  using qorva_cli::engineer_unit;
  using qorva_mat::detail::category_unit;
  const std::map<std::string, std::vector<std::string>> expected{
      // density, stress, thermal expansion, thermal conductivity, specific heat
      {"SI", {"kg/m^3", "Pa", "1/K", "W/(m K)", "J/(kg K)"}},
      {"MKS", {"kg/m^3", "Pa", "1/C", "W/(m C)", "J/(kg C)"}},
      {"MPA", {"t/mm^3", "MPa", "1/C", "N/(s C)", "N mm/(t C)"}},
      {"CGS", {"g/cm^3", "dyn/cm^2", "1/C", "dyn/(s C)", "dyn cm/(g C)"}},
      {"BFT", {"slug/ft^3", "lbf/ft^2", "1/F", "lbf/(s F)", "lbf ft/(slug F)"}},
      {"BIN", {"lbf s^2/in^4", "psi", "1/F", "lbf/(s F)", "in^2/(s^2 F)"}}};
  const std::vector<std::string> categories{"density", "stress", "thermal expansion",
                                            "thermal conductivity", "specific heat"};
  for (const auto& [name, forms] : expected) {
    const auto system = qorva_mat::make_unit_system(name);
    for (std::size_t k = 0; k < categories.size(); ++k)
      EXPECT_EQ(engineer_unit(category_unit(categories[k], system)), forms[k])
          << name << " " << categories[k];
  }
  EXPECT_EQ(engineer_unit(qorva_mat::dimensionless(qorva_mat::make_unit_system("SI"))), "");
  EXPECT_EQ(engineer_unit(qorva_mat::Unit()), "");
  // the library's own printing is untouched
  std::ostringstream printed;
  printed << category_unit("thermal conductivity", qorva_mat::make_unit_system("SI"));
  EXPECT_EQ(printed.str(), "K^(-1) kg m s^(-3)");
}

TEST(UnitText, ReadsNumbersWithUnitsIntoTheVariablesUnit) {
  using qorva_cli::value_in_unit;
  const auto bin = qorva_mat::make_unit_system("BIN");
  const auto si = qorva_mat::make_unit_system("SI");
  EXPECT_NEAR(value_in_unit("50C", qorva_mat::temperature(bin)), 122.0, 1e-12);
  EXPECT_NEAR(value_in_unit(" 323.15 K ", qorva_mat::temperature(bin)), 122.0, 1e-12);
  EXPECT_NEAR(value_in_unit("122F", qorva_mat::temperature(si)), 323.15, 1e-12);
  EXPECT_EQ(value_in_unit("7", qorva_mat::temperature(si)), 7.0);  // bare: already in the unit
  EXPECT_NEAR(value_in_unit("2 mm", qorva_mat::length(si)), 0.002, 1e-18);
  EXPECT_NEAR(
      value_in_unit("1MPa", (qorva_mat::force(bin) * qorva_mat::length(bin).pow(-2)).unit()),
      145.03773773, 1e-6);
  EXPECT_THROW(value_in_unit("1 m", qorva_mat::time(si)), std::invalid_argument);
  EXPECT_THROW(value_in_unit("1 parsec", qorva_mat::length(si)), std::invalid_argument);
  EXPECT_THROW(value_in_unit("1 m", qorva_mat::Unit()), std::invalid_argument);
  EXPECT_THROW(value_in_unit("warm", qorva_mat::temperature(si)), std::invalid_argument);
  EXPECT_THROW(value_in_unit("", qorva_mat::temperature(si)), std::invalid_argument);
}
