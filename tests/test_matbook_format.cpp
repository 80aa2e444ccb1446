#include <gtest/gtest.h>

#include <boost/lexical_cast/bad_lexical_cast.hpp>
#include <boost/property_tree/exceptions.hpp>
#include <boost/property_tree/xml_parser.hpp>

#include <cmath>
#include <sstream>

#include "qorva_gil/interpolator.hpp"
#include "qorva_mat/error.hpp"
#include "qorva_mat/matbook_format.hpp"
#include "tests/comma_locale.hpp"

using namespace qorva_mat;
using boost::property_tree::ptree;

namespace {

ptree parse(const std::string& xml) {
  std::istringstream in(xml);
  ptree tree;
  boost::property_tree::read_xml(in, tree);
  return tree;
}

// A PropertyData with the given ParameterValues; ids pa0.. are declared in names().
ptree property_data(const std::string& parameter_values) {
  return parse("<PropertyData property=\"pr0\">" + parameter_values + "</PropertyData>")
      .get_child("PropertyData");
}

matbook_string_umap_t names() {
  return {{"pa0", "Temperature"}, {"pa1", "Degradation Factor"}, {"pa2", "Plastic Strain"},
          {"pa3", "Density"},     {"pa4", "Shear Angle"},        {"pa5", "Options Variable"}};
}

std::string pv(const std::string& id, const std::string& data, const std::string& qualifiers,
               const std::string& format = "float") {
  return "<ParameterValue parameter=\"" + id + "\" format=\"" + format + "\"><Data>" + data +
         "</Data>" + qualifiers + "</ParameterValue>";
}

std::string q(const std::string& name, const std::string& text) {
  return "<Qualifier name=\"" + name + "\">" + text + "</Qualifier>";
}

}  // namespace

TEST(MatbookTables, HoldEveryLibraryNameOnceWithItsFileName) {
  EXPECT_EQ(Plyx_2_Matbook_string_umap.size(), 142u);
  EXPECT_EQ(Plyx_2_Matbook_string_umap.at("Engineering Constants"), "Elasticity");
  EXPECT_EQ(Plyx_2_Matbook_string_umap.at("Larc Constants"), "LaRc03/04 Constants");
  EXPECT_EQ(Plyx_2_Matbook_string_umap.at("Woven Puck Constants 2"), "Puck Constants");
  EXPECT_EQ(Plyx_2_Matbook_string_umap.at("effective_strain"), "Von Mises ");
  EXPECT_EQ(Plyx_2_Matbook_string_umap.at("eSyz"), "Shear YZ");
  EXPECT_EQ(Plyx_2_Matbook_string_umap.at("nu12_2"), "Poisson's Ratio XY");
  EXPECT_EQ(Plyx_2_Matbook_string_umap.at("orientation_2"), "Fiber Angle");
  EXPECT_EQ(Plyx_2_Matbook_string_umap.at("ignored"), "-");
  EXPECT_EQ(Plyx_2_Matbook_string_umap.at("fracture_toughness_mode_1"),
            "Longitudinal Friction Coefficient");
  EXPECT_EQ(Plyx_2_Matbook_string_umap.at("D[*,4]"), "D[*,4]");
  EXPECT_EQ(Plyx_2_Matbook_string_umap.at("adhesive"), "Adhesive");
  EXPECT_EQ(Plyx_2_Matbook_string_umap.count("thin_ply_thickness_limit"), 0u);
  EXPECT_EQ(Plyx_2_Matbook_string_umap.count("k"), 0u);
  try {
    Plyx_2_Matbook_string_umap.at("undefined");
    FAIL() << "no file name for the undefined ply type";
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "Unable to find key in unordered_map.");
  }
}

TEST(MatbookTables, GiveUnitCategoriesOfTheWriter) {
  EXPECT_EQ(unit_map.size(), 68u);
  EXPECT_EQ(unit_map.at("D[*,3]"), "stress");
  EXPECT_EQ(unit_map.at("G23_2"), "stress");
  EXPECT_EQ(unit_map.count("nu12_1"), 0u);
  EXPECT_EQ(unit_map.count("b"), 0u);
  EXPECT_EQ(unit_map.at("Rinfty"), "stress");
  EXPECT_EQ(unit_map.at("Density"), "density");
  EXPECT_EQ(unit_map.at("K2"), "thermal conductivity");
  EXPECT_EQ(unit_map.at("aZ"), "thermal expansion");
  EXPECT_EQ(unit_map.at("Zero-Thermal-Strain Reference Temperature"), "temperature");
}

TEST(MatbookTables, TranslateAlgorithmNamesBothWays) {
  using A = qorva_gil::AlgorithmTypeEnum;
  EXPECT_EQ(Matbook_algorithm_bimap.size(), 3u);
  EXPECT_EQ(Matbook_algorithm_bimap.left.at("Radial Basis"), A::enum_str(3));
  EXPECT_EQ(Matbook_algorithm_bimap.right.at(A::enum_str(5)), "Linear Multivariate");
  EXPECT_EQ(Matbook_algorithm_bimap.right.at(A::enum_str(1)), "Nearest Neighbor");
}

TEST(DecodeValueList, FollowsTheEscapedListAndLexicalCastRules) {
  EXPECT_EQ(detail::decode_value_list("1, 2,3"), (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(detail::decode_value_list("+1.5e3,-.5,\"4\",7."),
            (std::vector<double>{1500, -0.5, 4, 7}));
  EXPECT_TRUE(detail::decode_value_list("").empty());
  const auto special = detail::decode_value_list("nan,-INF,infinity");
  EXPECT_TRUE(std::isnan(special[0]));
  EXPECT_EQ(special[1], -HUGE_VAL);
  EXPECT_EQ(special[2], HUGE_VAL);
  for (const char* bad : {"1;2", "1,,2", "1,2,", "1e", "2E+", "3-", "+", "--1", "+-1", "0x10",
                          "1\t", "1\n,2", "1 e5x", "1e400", "nanx"})
    EXPECT_THROW(detail::decode_value_list(bad), boost::bad_lexical_cast) << bad;
  EXPECT_EQ(detail::decode_single_value(" 7 850 "), 7850.0);
  EXPECT_THROW(detail::decode_single_value("1,2"), boost::bad_lexical_cast);
}

TEST(DecodeValueList, IgnoresADecimalCommaProcessLocale) {
  const qorva_test::GlobalLocale comma;
  EXPECT_EQ(detail::decode_value_list("1.5,2.25"), (std::vector<double>{1.5, 2.25}));
  EXPECT_EQ(detail::decode_value_list("1,5"), (std::vector<double>{1, 5}));
  EXPECT_THROW(detail::decode_single_value("1.500,5"), boost::bad_lexical_cast);
  const auto records = detail::get_variable_field_tuples(
      property_data(pv("pa0", "20.5,100",
                       q("Field Variable", "T") + q("Default Data", "22.5") +
                           q("Upper Limit", "1.000") + q("Resolution", "1000"))),
      names());
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(std::get<1>(records[0]), (std::vector<double>{20.5, 100}));
  EXPECT_EQ(std::get<3>(records[0]), 22.5);
  EXPECT_EQ(std::get<2>(records[0]).second, 1.0);
  EXPECT_EQ(std::get<4>(records[0]), 1000u);
}

TEST(MatbookVersion, ParsesFourIntegersAndRejectsEverythingElse) {
  EXPECT_EQ(detail::parse_matbook_version("22.1.0.149"),
            (std::array<std::int32_t, 4>{22, 1, 0, 149}));
  EXPECT_EQ(detail::parse_matbook_version("+18.-1.0.60"),
            (std::array<std::int32_t, 4>{18, -1, 0, 60}));
  for (const char* bad :
       {"22.1.0", "22.1.0.149.2", "22..0.1", "a.b.c.d", "22.1.0.1x", "", "1.2.3.99999999999"}) {
    try {
      detail::parse_matbook_version(bad);
      ADD_FAILURE() << bad;
    } catch (const qorva_mat::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()), "matbook_format: version '" + std::string(bad) +
                                           "' is not four dot-separated integers.");
    }
  }
}

TEST(MatbookVersion, UpgradesAlgorithmNamesOnlyBefore22_1_0_149) {
  const std::string body =
      "\"><Materials><MatML_Doc><Material><BulkDetails><PropertyData property=\"pr0\">" +
      pv("pa5", "Interpolation Options", q("AlgorithmType", "Linear Multivariate"), "string") +
      pv("pa5", "x", q("AlgorithmType", "Linear Multivariate (CGAL)"), "string") +
      "</PropertyData></BulkDetails></Material></MatML_Doc></Materials></MatbookData>";
  ptree old_doc = parse("<MatbookData version=\"22.1.0.148" + body);
  EXPECT_EQ(detail::upgrade_algorithm_names(old_doc), 2u);
  const ptree& pd =
      old_doc.get_child("MatbookData.Materials.MatML_Doc.Material.BulkDetails.PropertyData");
  auto it = pd.begin();
  ++it;  // past <xmlattr>
  EXPECT_EQ(it->second.get<std::string>("Qualifier"), "Linear Multivariate (Qhull)");
  EXPECT_EQ((++it)->second.get<std::string>("Qualifier"), "Linear Multivariate");
  ptree new_doc = parse("<MatbookData version=\"22.1.0.149" + body);
  EXPECT_EQ(detail::upgrade_algorithm_names(new_doc), 0u);
}

TEST(FieldVariables, ApplyDefaultsLimitsResolutionAndTheTemperatureSentinel) {
  const std::string sentinel = "7.88860905221012e-31";
  const auto records = detail::get_variable_field_tuples(
      property_data(pv("pa0", sentinel + "," + sentinel, q("Field Variable", "Temperature")) +
                    pv("pa3", "1,2", q("Variable Type", "Dependent,Dependent")) +
                    pv("pa1", "3,1,2",
                       q("Field Variable", "x") + q("Lower Limit", "Program Controlled") +
                           q("Resolution", "12")) +
                    pv("pa2", "0,0.1", q("Variable Type", "Independent,Independent")) +
                    pv("pa4", "0,1", q("Variable Type", "Independent,Independent")) +
                    pv("pa0", "", q("Variable Type", "Independent")) +
                    pv("pa0", "20,80",
                       q("Variable Type", "Independent,Independent") +
                           q("Default Data", "Program Controlled")) +
                    pv("pa5", "Interpolation Options", "", "string")),
      names());
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(detail::matbook_sentinel(), 7.88860905221012e-31);
  EXPECT_EQ(std::get<0>(records[0]), "Degradation Factor");
  EXPECT_EQ(std::get<2>(records[0]), std::make_pair(1.0, 3.0));
  EXPECT_EQ(std::get<3>(records[0]), 1.0);
  EXPECT_EQ(std::get<4>(records[0]), 12u);
  EXPECT_EQ(std::get<5>(records[0]), "pa1");
  EXPECT_TRUE(std::get<6>(records[0]).is_dimensionless());
  EXPECT_EQ(std::get<0>(records[1]), "Plastic Strain");
  EXPECT_EQ(std::get<3>(records[1]), 0.0);
  EXPECT_EQ(std::get<4>(records[1]), 1000000u);
  EXPECT_EQ(std::get<0>(records[2]), "Temperature");
  EXPECT_EQ(std::get<3>(records[2]), 22.0);
  EXPECT_EQ(std::get<2>(records[2]), std::make_pair(20.0, 80.0));
}

TEST(FieldVariables, RejectUndeclaredIdsAndUnusableQualifiers) {
  try {
    detail::get_variable_field_tuples(property_data(pv("pa9", "1", "")), names());
    FAIL();
  } catch (const qorva_mat::runtime_error& e) {
    EXPECT_STREQ(e.what(),
                 "get_variable_field_tuples: Parameter ID pa9 not found in the property names.");
  }
  EXPECT_THROW(detail::get_variable_field_tuples(
                   property_data(pv("pa1", "", q("Field Variable", "x"))), names()),
               qorva_mat::runtime_error);
  const auto explicit_limits = detail::get_variable_field_tuples(
      property_data(
          pv("pa1", "", q("Field Variable", "x") + q("Lower Limit", "0") + q("Upper Limit", "1"))),
      names());
  EXPECT_EQ(std::get<2>(explicit_limits.at(0)), std::make_pair(0.0, 1.0));
  for (const char* bad : {"cold", "-5", "1.5"})
    EXPECT_THROW(
        detail::get_variable_field_tuples(
            property_data(pv("pa0", "1",
                             q("Field Variable", "T") + q("Resolution", bad) +
                                 q("Default Data", bad == std::string("1.5") ? "1" : bad))),
            names()),
        boost::property_tree::ptree_bad_data)
        << bad;
}

TEST(InterpolationOptions, GatherStringParametersUpToTheOptionsEntry) {
  const auto read = [](const std::string& pvs) {
    return detail::read_interpolation_options(property_data(pvs));
  };
  const GilOptions defaults = read("");
  EXPECT_EQ(defaults.algorithm, qorva_gil::AlgorithmTypeEnum::enum_str(5));
  EXPECT_FALSE(defaults.is_cached || defaults.is_normalized || defaults.use_cgal_triangulation ||
               defaults.project_to_convex_hull);
  const GilOptions gathered = read(
      pv("pa5", "x", q("Cached", "True") + q("AlgorithmType", "Linear Multivariate"), "string") +
      pv("pa5", "Interpolation Options",
         q("AlgorithmType", "Nearest Neighbor") + q("Normalized", "True") +
             q("ExtrapolationType", "Projection to the Convex Hull"),
         "string") +
      pv("pa5", "after", q("AlgorithmType", "Radial Basis"), "string") +
      pv("pa5", "1", q("AlgorithmType", "Radial Basis")));
  EXPECT_EQ(gathered.algorithm, qorva_gil::AlgorithmTypeEnum::enum_str(1));
  EXPECT_TRUE(gathered.is_cached && gathered.is_normalized && gathered.project_to_convex_hull);
  EXPECT_TRUE(gathered.use_cgal_triangulation);
  const GilOptions qhull = read(
      pv("pa5", "Interpolation Options",
         q("AlgorithmType", "Linear Multivariate (Qhull)") + q("Normalized", "true"), "string"));
  EXPECT_EQ(qhull.algorithm, qorva_gil::AlgorithmTypeEnum::enum_str(5));
  EXPECT_FALSE(qhull.use_cgal_triangulation || qhull.is_normalized);
  EXPECT_EQ(
      read(pv("pa5", "Interpolation Options", q("AlgorithmType", "Kriging"), "string")).algorithm,
      qorva_gil::AlgorithmTypeEnum::enum_str(5));
}

TEST(Qualifiers, KeepTheLastOfOneNameAndNeedANameAttribute) {
  const auto qualifiers = detail::read_qualifiers(property_data(
      q("Behavior", "Isotropic") + q("Behavior", "Orthotropic") + q("Data Set", "2")));
  EXPECT_EQ(qualifiers.size(), 2u);
  EXPECT_EQ(qualifiers.at("Behavior"), "Orthotropic");
  EXPECT_THROW(detail::read_qualifiers(property_data("<Qualifier>x</Qualifier>")),
               boost::property_tree::ptree_bad_path);
  EXPECT_EQ(detail::library_ply_type("Honeycomb Core"), "honeycomb_core");
  EXPECT_EQ(detail::library_ply_type("regular"), "");
}
