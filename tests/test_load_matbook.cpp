#include <gtest/gtest.h>

#include <boost/lexical_cast/bad_lexical_cast.hpp>
#include <boost/make_shared.hpp>
#include <boost/property_tree/exceptions.hpp>
#include <boost/property_tree/xml_parser.hpp>

#include <locale>
#include <sstream>

#include "qorva_gil/interpolator.hpp"
#include "qorva_mat/error.hpp"
#include "qorva_mat/load_matbook.hpp"
#include "qorva_mat/log.hpp"
#include "qorva_mat/property_factory.hpp"
#include "tests/comma_locale.hpp"
#include "tests/log_capture.hpp"

using namespace qorva_mat;
using PT = Material::PropertyType;
using materials_t = std::vector<std::shared_ptr<Material>>;

namespace {

std::string data(const std::string& name) { return std::string(QORVA_TEST_DATA_DIR) + "/" + name; }
const std::string kExample = std::string(QORVA_EXAMPLES_DIR) + "/ud_carbon_epoxy.xml";

materials_t load(const std::string& path, std::shared_ptr<UnitSystem> system,
                 const MatbookLoadOptions& options = {}) {
  materials_t materials;
  load_materials(path, materials, system, options);
  return materials;
}

std::shared_ptr<Material> find(const materials_t& materials, const std::string& name) {
  for (const auto& m : materials)
    if (m->name() == name) return m;
  ADD_FAILURE() << "no material " << name;
  return std::make_shared<Material>();
}

std::vector<double> row(const Material& m, PT::type type) {
  return m.at(type).get_dependent_data().at(0);
}
std::vector<double> column(const PropertySet& set, std::size_t j, bool independent = false) {
  std::vector<double> values;
  for (const auto& r : independent ? set.get_independent_data() : set.get_dependent_data())
    values.push_back(r.at(j));
  return values;
}

using qorva_test::LogCapture;

}  // namespace

TEST(LoadMatbook, ConvertsTheExampleIntoTheMpaSystem) {
  materials_t materials;
  EXPECT_EQ(load_materials(kExample, materials, make_unit_system("MPA")), 2u);
  const Material& ud = *find(materials, "UD Carbon/Epoxy T300/914");
  EXPECT_NEAR(row(ud, PT::density)[0], 1.55e-9, 1e-24);
  EXPECT_EQ(ud.get_string_property("Ply Type"), "regular");
  EXPECT_EQ(ud.get_string_property("QORVAHELMTransferID"), "HELM-000101");
  const PropertySet& elasticity = ud.at(PT::engineering_constants);
  EXPECT_EQ(elasticity.get_string_property("Behavior"), "Orthotropic");
  EXPECT_EQ(elasticity.get_independent_names(), std::vector<std::string>{"Temperature"});
  EXPECT_EQ(column(elasticity, 0, true), (std::vector<double>{-40, 22, 80}));
  EXPECT_EQ(column(elasticity, 2), (std::vector<double>{10000, 9000, 7800}));  // E3
  EXPECT_EQ(elasticity.get_defaults(), std::vector<double>{22});
  EXPECT_TRUE(elasticity.is_normalized());
  EXPECT_EQ(row(ud, PT::stress_limits),
            (std::vector<double>{1500, 1200, 50, 250, 50, 250, 70, 70, 40}));
  EXPECT_EQ(row(ud, PT::puck_constants),
            (std::vector<double>{0.35, 0.30, 0.25, 0.25, 0.5, 0.5, 0.8}));
  EXPECT_EQ(ud.at(PT::puck_constants).get_string_property("PuckMaterialClassification"), "carbon");
  const PropertySet& expansion = ud.at(PT::thermal_expansion_coefficients);
  EXPECT_EQ(expansion.get_string_property("Zero-Thermal-Strain Reference Temperature"), "120");
  EXPECT_EQ(column(expansion, 1), (std::vector<double>{26e-6, 28e-6, 31e-6}));
  EXPECT_DOUBLE_EQ(column(ud.at(PT::specific_heat), 0)[1], 900e6);  // J/(kg C) -> mm^2/(s^2 C)
  EXPECT_DOUBLE_EQ(row(ud, PT::thermal_conductivity)[1], 0.7);

  const Material& steel = *find(materials, "Structural Steel S355");
  EXPECT_FALSE(steel.has_string_property("QORVAHELMTransferID"));
  EXPECT_NEAR(row(steel, PT::density)[0], 7.85e-9, 1e-24);
  EXPECT_EQ(steel.at(PT::engineering_constants).get_string_property("Behavior"), "Isotropic");
  EXPECT_EQ(column(steel.at(PT::tensile_yield_strength), 0), (std::vector<double>{355, 300}));
  EXPECT_DOUBLE_EQ(row(steel, PT::specific_heat)[0], 434e6);
}

TEST(LoadMatbook, ShiftsTemperaturesAndScalesStressIntoSi) {
  const materials_t materials = load(kExample, make_unit_system("SI"));
  const Material& ud = *materials.at(0);
  const PropertySet& elasticity = ud.at(PT::engineering_constants);
  const auto temperatures = column(elasticity, 0, true);
  EXPECT_DOUBLE_EQ(temperatures[0], 233.15);
  EXPECT_DOUBLE_EQ(elasticity.get_defaults()[0], 295.15);
  EXPECT_DOUBLE_EQ(elasticity.get_ranges()[0].second, 353.15);
  EXPECT_DOUBLE_EQ(column(elasticity, 0)[0], 138e9);
  EXPECT_DOUBLE_EQ(row(ud, PT::density)[0], 1550);
  EXPECT_EQ(ud.at(PT::thermal_expansion_coefficients)
                .get_string_property("Zero-Thermal-Strain Reference Temperature"),
            "393.14999999999998");
  EXPECT_DOUBLE_EQ(row(ud, PT::thermal_conductivity)[0], 7);
}

TEST(LoadMatbook, KeepsValuesAsReadWithoutModelSystem) {
  LogCapture log;
  const materials_t materials = load(kExample, nullptr);
  EXPECT_NE(log.text().find("warning: load_materials_t: Model has no unit system."),
            std::string::npos);
  EXPECT_EQ(row(*materials.at(0), PT::density)[0], 1550);
  const PropertySet& elasticity = materials.at(0)->at(PT::engineering_constants);
  EXPECT_EQ(column(elasticity, 0, true)[0], -40);
  EXPECT_TRUE(elasticity.field_units().at(0).is_temperature());  // the declared unit, C
}

TEST(LoadMatbook, LoadedMaterialAnswersQueriesAfterUpdate) {
  const materials_t materials = load(kExample, make_unit_system("MPA"));
  Material& ud = *materials.at(0);
  ud.update();
  const PropertySet::point_t point{{"Temperature"}, {51.0}};
  EXPECT_NEAR(ud.at(PT::engineering_constants).query(point, "E1"), 133500, 1e-6);
  EXPECT_NEAR(ud.at(PT::engineering_constants).query(point, "nu23"), 0.44, 1e-9);
}

TEST(LoadMatbook, ReadsNumbersIndependentlyOfADecimalCommaLocale) {
  std::locale comma = qorva_test::comma_locale();
  try {
    comma = std::locale("de_DE.UTF-8");
  } catch (const std::runtime_error&) {
  }
  const materials_t reference = load(kExample, make_unit_system("SI"));
  materials_t localised;
  {
    const qorva_test::GlobalLocale global(comma);
    EXPECT_NO_THROW(load_materials(kExample, localised, make_unit_system("SI")));
  }
  ASSERT_EQ(localised.size(), 2u);
  for (PT::type type :
       {PT::engineering_constants, PT::thermal_expansion_coefficients, PT::strain_limits}) {
    EXPECT_EQ(localised[0]->at(type).get_dependent_data(),
              reference[0]->at(type).get_dependent_data());
    EXPECT_EQ(localised[0]->at(type).get_independent_data(),
              reference[0]->at(type).get_independent_data());
  }
  EXPECT_EQ(localised[0]
                ->at(PT::thermal_expansion_coefficients)
                .get_string_property("Zero-Thermal-Strain Reference Temperature"),
            "393.14999999999998");
}

TEST(LoadMatbook, AppliesTheUnitRulesOfDeclarations) {
  LogCapture log;
  const materials_t materials = load(data("matbook_units.xml"), make_unit_system("MPA"));
  EXPECT_NEAR(row(*find(materials, "Steel"), PT::density)[0], 7.85e-9, 1e-24);
  EXPECT_NE(log.text().find("warning: Only constant density supported using the Data field in "
                            "PropertyData. The first value is taken."),
            std::string::npos);
  const PropertySet& alloy = find(materials, "Alloy")->at(PT::density);
  EXPECT_NEAR(column(alloy, 0)[1], 2.65e-9, 1e-24);
  EXPECT_EQ(column(alloy, 0, true), (std::vector<double>{20, 120}));
  const Material& fabric = *find(materials, "Fabric");
  const PropertySet& sheared = fabric.at(PT::engineering_constants);
  EXPECT_EQ(sheared.get_independent_names(), std::vector<std::string>{"Shear Angle"});
  EXPECT_EQ(column(sheared, 0, true), (std::vector<double>{0, 57.29577951308232}));
  EXPECT_TRUE(sheared.field_units()[0].is_dimensionless());
  EXPECT_EQ(column(sheared, 0), (std::vector<double>{1000, 900}));  // "mm"^-2 first: MPa kept
  EXPECT_DOUBLE_EQ(row(fabric, PT::fabric_fiber_angle)[0], 28.64788975654116);
  // One unknown symbol ("furlong") leaves the whole declaration unconverted.
  EXPECT_EQ(row(*find(materials, "Unknown"), PT::density)[0], 7850);
  EXPECT_NE(log.text().find("debug:   - The unit `furlong` is ignored because its unknown."),
            std::string::npos);
  EXPECT_NE(log.text().find("debug:   - The units for the property pr4 are ignored because of "
                            "unknown data. No conversion is done."),
            std::string::npos);
  EXPECT_NE(log.text().find("debug:   - Ignoring Unknown Property"), std::string::npos);
}

TEST(LoadMatbook, ReadsFailureConstantsAndDegradationFields) {
  const materials_t si = load(data("matbook_units.xml"), make_unit_system("SI"));
  const Material& failure = *find(si, "Failure");
  EXPECT_EQ(row(failure, PT::larc_constants)[0], 53);
  EXPECT_DOUBLE_EQ(row(failure, PT::larc_constants)[4], 0.0007);
  EXPECT_EQ(row(failure, PT::tsai_wu_constants), (std::vector<double>{-1, -0.5, 0}));
  const materials_t none = load(data("matbook_units.xml"), nullptr);
  EXPECT_EQ(row(*find(none, "Failure"), PT::larc_constants)[4], 0);
  EXPECT_DOUBLE_EQ(row(*find(load(data("matbook_units.xml"), make_unit_system("BIN")), "Failure"),
                       PT::larc_constants)[4],
                   0.7 * 0.001 / 0.0254);

  const Material& degradation = *find(si, "Degradation");
  const PropertySet& yield = degradation.at(PT::tensile_yield_strength);
  EXPECT_EQ(yield.get_independent_names(),
            std::vector<std::string>{"Degradation Factor"});  // sentinel T dropped
  EXPECT_EQ(yield.get_defaults(), std::vector<double>{1.0});
  EXPECT_DOUBLE_EQ(column(yield, 0)[0], 300e6);
  const PropertySet& elastic = degradation.at(PT::engineering_constants);
  EXPECT_EQ(elastic.get_algorithm(), qorva_gil::AlgorithmTypeEnum::enum_str(1));
  EXPECT_DOUBLE_EQ(elastic.get_ranges()[0].first,
                   274.15);  // "Program Controlled": smallest of 3, 1, 2 (C)
  EXPECT_DOUBLE_EQ(elastic.get_ranges()[0].second, 773.15);
}

TEST(LoadMatbook, CorrectsFactorsAndWriterSymbolsByDefaultAndWarnsWhenToldNotTo) {
  const std::string file = data("matbook_units.xml");
  MatbookLoadOptions strict;
  strict.keep_unit_factors = false;
  strict.extended_unit_symbols = false;
  {
    LogCapture log;
    const materials_t plain = load(file, make_unit_system("MPA"), strict);
    const Material& hazard = *find(plain, "Hazard");
    EXPECT_DOUBLE_EQ(column(hazard.at(PT::engineering_constants), 0)[0], 0.001);  // 1000 read as Pa
    EXPECT_EQ(row(hazard, PT::density)[0], 1.55e-9);  // "t" not converted
    EXPECT_NE(
        log.text().find("warning: load_matbook: the unit declaration of pa2 (Young's Modulus) "
                        "has the numeric factor 1e+06"),
        std::string::npos);
    EXPECT_EQ(log.text().find("declaration of pa13"), std::string::npos);
    EXPECT_EQ(log.text().find("declaration of pr3"),
              std::string::npos);  // MPA into MPA changes nothing
  }
  {
    LogCapture log;
    const materials_t plain_si = load(file, make_unit_system("SI"), strict);
    EXPECT_EQ(row(*find(plain_si, "Hazard"), PT::density)[0], 1.55e-9);
    EXPECT_NE(
        log.text().find("warning: load_matbook: the unit declaration of pr3 (Density) uses t,"),
        std::string::npos);
  }
  // The overload without options and default options both correct, and nothing is warned about.
  LogCapture log;
  materials_t fixed;
  load_materials(file, fixed, make_unit_system("SI"));
  const Material& hazard = *find(fixed, "Hazard");
  EXPECT_DOUBLE_EQ(column(hazard.at(PT::engineering_constants), 0)[0], 1e9);
  EXPECT_DOUBLE_EQ(row(hazard, PT::density)[0], 1550);
  EXPECT_EQ(row(*find(fixed, "Unknown"), PT::density)[0], 7850);  // truly unknown stays unconverted
  // only the truly unknown symbol is still warned about
  EXPECT_NE(
      log.text().find(
          "warning: load_matbook: the unit declaration of pr4 (Density) uses the unknown unit "
          "symbol 'furlong': its values are read without conversion."),
      std::string::npos)
      << log.text();
  EXPECT_EQ(log.text().find("has the numeric factor"), std::string::npos) << log.text();
  EXPECT_EQ(log.text().find("written by this library"), std::string::npos) << log.text();
  const materials_t with_defaults = load(file, make_unit_system("SI"), MatbookLoadOptions{});
  EXPECT_EQ(row(*find(with_defaults, "Hazard"), PT::density)[0], row(hazard, PT::density)[0]);
}

TEST(LoadMatbook, UpgradesAlgorithmNamesOfOldFiles) {
  for (const char* file : {"matbook_algorithms_old.xml", "matbook_algorithms_new.xml"}) {
    const bool old = std::string(file).find("old") != std::string::npos;
    const materials_t materials = load(data(file), make_unit_system("MPA"));
    const Material& m = *materials.at(0);
    EXPECT_EQ(m.at(PT::density).get_algorithm(), qorva_gil::AlgorithmTypeEnum::enum_str(5));
    EXPECT_EQ(m.at(PT::density).try_get_algorithm_bool_option("use_cgal_triangulation", false),
              !old)
        << file;
    const PropertySet& heat = m.at(PT::specific_heat);
    EXPECT_EQ(heat.try_get_algorithm_bool_option("use_cgal_triangulation", false), old) << file;
    EXPECT_TRUE(heat.try_get_algorithm_bool_option("project_to_convex_hull", false));
    EXPECT_TRUE(heat.is_chached());
    EXPECT_FALSE(heat.is_normalized());  // given after the options entry
  }
}

TEST(LoadMatbook, MatchesMaterialsByTransferIdOrName) {
  materials_t materials;
  EXPECT_EQ(load_materials(data("matbook_empty.xml"), materials, make_unit_system("MPA")), 0u);
  EXPECT_TRUE(materials.empty());
  EXPECT_EQ(load_materials(data("matbook_transfer.xml"), materials, make_unit_system("MPA")), 3u);
  ASSERT_EQ(materials.size(), 2u);
  EXPECT_EQ(row(*materials[0], PT::density)[0], 3);  // the second "A" updated the first
  EXPECT_EQ(materials[1]->get_string_property("QORVAHELMTransferID"), "T-1");
  EXPECT_EQ(materials[1]->get_string_property("Description"), "second");

  auto renamed = std::make_shared<Material>();
  renamed->name("X");
  renamed->set_string_property("QORVAHELMTransferID", "T-1");
  materials_t by_id{renamed};
  load_materials(data("matbook_transfer.xml"), by_id, make_unit_system("MPA"));
  ASSERT_EQ(by_id.size(), 2u);
  EXPECT_EQ(by_id[0]->name(), "X");
  EXPECT_EQ(row(*by_id[0], PT::density)[0], 2);

  // An earlier material of the same name wins over a later one with the right transfer id.
  auto same_name = std::make_shared<Material>();
  same_name->name("B");
  auto by_transfer = std::make_shared<Material>(*renamed);
  by_transfer->delete_property_set("Density");
  materials_t name_first{same_name, by_transfer};
  load_materials(data("matbook_transfer.xml"), name_first, make_unit_system("MPA"));
  EXPECT_EQ(row(*same_name, PT::density)[0], 2);
  EXPECT_EQ(same_name->get_string_property("QORVAHELMTransferID"), "T-1");
  EXPECT_FALSE(by_transfer->is_property_set_active(std::string("Density")));
}

TEST(LoadMatbook, AssemblesWovenSetsFromBothDataSets) {
  const materials_t materials = load(data("matbook_woven.xml"), make_unit_system("MPA"));
  const Material& fabric = *materials.at(0);
  EXPECT_EQ(fabric.get_string_property("Ply Type"), "woven");
  EXPECT_EQ(
      row(fabric, PT::woven_characterization),
      (std::vector<double>{0, 90, 50000, 25000, 3001, 2501, 0.11, 60000, 30000, 3002, 2502, 0.12}));
  EXPECT_EQ(row(fabric, PT::woven_stress_limits_1),
            (std::vector<double>{10, 11, 12, 13, 14, 15, 16, 17, 18}));
  EXPECT_FALSE(fabric.is_property_set_active(PT::stress_limits));
  // Data set 1 has its additional constants before the Puck constants: positions 4-6 survive.
  EXPECT_EQ(row(fabric, PT::woven_puck_constants_1),
            (std::vector<double>{0.3, 0.31, 0.32, 0.33, 0.6, 0.7, 0.81}));
  EXPECT_EQ(fabric.at(PT::woven_puck_constants_1).get_string_property("PuckMaterialClassification"),
            "glass");
  EXPECT_EQ(fabric.at(PT::woven_puck_constants_2).get_string_property("PuckMaterialClassification"),
            "ignored");
  EXPECT_FALSE(fabric.is_property_set_active(PT::puck_constants));
}

TEST(LoadMatbook, MapsAnisotropicColumnsHardeningHillAndIsotropicKinds) {
  LogCapture log;
  const materials_t materials = load(data("matbook_mechanics.xml"), make_unit_system("MPA"));
  const std::vector<double> d = row(*find(materials, "Aniso"), PT::engineering_constants);
  const auto& names = PropertyFactory::get_anisotropic_elasticity_names();
  ASSERT_EQ(d.size(), 21u);
  for (std::size_t i = 0; i < 21; ++i) {
    const double expected =
        10 * (names[i][2] - '0') + (names[i][4] - '0');  // "D[r,c]" held r*10+c MPa
    EXPECT_DOUBLE_EQ(d[i], expected) << names[i];
  }
  const PropertySet& multilinear = find(materials, "Multilinear")->at(PT::isotropic_hardening);
  EXPECT_EQ(multilinear.get_independent_names(), std::vector<std::string>{"Plastic Strain"});
  EXPECT_EQ(column(multilinear, 0, true), (std::vector<double>{0, 0.01, 0.05}));
  EXPECT_EQ(column(multilinear, 0), (std::vector<double>{250, 300, 320}));
  EXPECT_NE(log.text().find("debug:   - Ignoring Isotropic Hardening - Bilinear - unknown"),
            std::string::npos);
  const Material& plastic = *find(materials, "Plastic");
  const PropertySet& voce = plastic.at(PT::isotropic_hardening);
  EXPECT_EQ(voce.get_string_property("Behavior"), "Voce Law");
  EXPECT_EQ(column(voce, 3), (std::vector<double>{12, 11}));
  EXPECT_DOUBLE_EQ(column(voce, 0, true)[1], 100);  // 373.15 K in C
  EXPECT_NE(log.text().find("debug:   - Set Isotropic Hardening - Multilinear - unknown"),
            std::string::npos);
  EXPECT_EQ(row(plastic, PT::hill_yield_criterion), (std::vector<double>(6, 1.0)));
  EXPECT_EQ(row(plastic, PT::strain_limits), std::vector<double>{0.02});
  EXPECT_EQ(row(plastic, PT::tensile_yield_strength), std::vector<double>{355});
  EXPECT_DOUBLE_EQ(column(plastic.at(PT::specific_heat), 0)[1], 500e6);
  EXPECT_EQ(row(plastic, PT::thermal_conductivity), std::vector<double>{45});
  EXPECT_FALSE(find(materials, "Hill ignored")->is_property_set_active(PT::hill_yield_criterion));
}

// A file the loader must refuse with an exception of one type whose message starts with `text`.
struct BadFile {
  const char* file;
  std::size_t materials_after;  // "Keep", then what was read before the failure
  bool (*is_expected)(const std::exception&);
  std::string text;
};

template <typename E>
bool is(const std::exception& e) {
  return dynamic_cast<const E*>(&e) != nullptr;
}

TEST(LoadMatbook, RaisesTheDocumentedErrorAndKeepsEarlierMaterials) {
  using boost::bad_lexical_cast;
  using boost::property_tree::ptree_bad_data;
  using boost::property_tree::ptree_bad_path;
  using boost::property_tree::xml_parser_error;
  const std::string iso =
      "Assertion 'E.size() == nu.size()' failed. load_matbook: Construct isotropic material, "
      "inconsistent input.";
  const std::string ortho =
      "Assertion 'E1.size() == E2.size() && E2.size() == G12.size() && G12.size() == G23.size() && "
      "G23.size() == nu12.size() && nu12.size() == E3.size() && G31.size() == nu23.size() && "
      "nu23.size() == nu13.size()' failed. load_matbook: Construct orthotropic material, "
      "inconsistent input.";
  const std::string woven =
      "Assertion 'E1.size() == 1 && G12.size() == 1 && nu12.size() == 1 && E2.size() == 1 && "
      "G23.size() == 1' failed. load_matbook: Woven specification is only possible with constant "
      "data.";
  const std::vector<BadFile> cases{
      {"matbook_bad_number_list.xml", 3, is<bad_lexical_cast>, ""},
      {"matbook_bad_trailing_comma.xml", 3, is<bad_lexical_cast>, ""},
      {"matbook_bad_version.xml", 1, is<runtime_error>,
       "matbook_format: version '22.1.x.0' is not four dot-separated integers."},
      {"matbook_bad_version_short.xml", 1, is<runtime_error>,
       "matbook_format: version '22.1.0' is not"},
      {"matbook_bad_isotropic_sizes.xml", 3, is<assertion_error>, iso},
      {"matbook_bad_orthotropic_sizes.xml", 3, is<assertion_error>, ortho},
      {"matbook_bad_woven_table.xml", 3, is<assertion_error>, woven},
      {"matbook_bad_undeclared_parameter.xml", 3, is<runtime_error>,
       "get_variable_field_tuples: Parameter ID pa99 not found in the property names."},
      {"matbook_bad_missing_puck_parameter.xml", 3, is<std::out_of_range>,
       "Unable to find key in unordered_map."},
      {"matbook_bad_point_count.xml", 3, is<assertion_error>,
       "Assertion 'points_agree' failed. load_matbook: Elasticity (pr1): field variables"},
      {"matbook_bad_limit_text.xml", 3, is<ptree_bad_data>, "conversion of data to type"},
      {"matbook_bad_unit_power_word.xml", 1, is<ptree_bad_data>,
       "load_matbook: the power 'two' of the unit 'm' declared for pr0 is not an integer."},
      {"matbook_bad_unit_power_fraction.xml", 1, is<ptree_bad_data>,
       "load_matbook: the power '1.5' of the unit 'm'"},
      {"matbook_bad_unit_power_empty.xml", 1, is<ptree_bad_data>,
       "load_matbook: the power '' of the unit 'm'"},
      {"matbook_bad_missing_bulkdetails.xml", 2, is<ptree_bad_path>, "No such node (BulkDetails)"},
      {"matbook_bad_truncated.xml", 1, is<xml_parser_error>, ""},
      {"matbook_no_such_file.xml", 1, is<xml_parser_error>, ""},
  };
  for (const BadFile& c : cases) {
    auto keep = std::make_shared<Material>();
    keep->name("Keep");
    keep->add_property_set(PropertyFactory::create_density());
    materials_t materials{keep};
    try {
      load_materials(data(c.file), materials, make_unit_system("MPA"));
      ADD_FAILURE() << c.file << " loaded";
    } catch (const std::exception& e) {
      EXPECT_TRUE(c.is_expected(e)) << c.file << ": " << e.what();
      EXPECT_EQ(std::string(e.what()).substr(0, c.text.size()), c.text) << c.file;
    }
    ASSERT_EQ(materials.size(), c.materials_after) << c.file;
    EXPECT_EQ(materials[0], keep);
    EXPECT_TRUE(keep->is_property_set_active(PT::density));
    if (c.materials_after > 1) {
      EXPECT_EQ(materials[1]->name(), "Good");
      EXPECT_EQ(row(*materials[1], PT::density)[0], 1000);
    }
  }
}
