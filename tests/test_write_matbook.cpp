#include "qorva_mat/write_matbook.hpp"

#include <gtest/gtest.h>

#include <boost/lexical_cast/bad_lexical_cast.hpp>
#include <boost/make_shared.hpp>
#include <boost/property_tree/xml_parser.hpp>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "qorva_gil/interpolator.hpp"
#include "qorva_mat/error.hpp"
#include "qorva_mat/load_hdf5.hpp"
#include "qorva_mat/load_matbook.hpp"
#include "qorva_mat/log.hpp"
#include "qorva_mat/material.hpp"
#include "qorva_mat/property_factory.hpp"
#include "qorva_mat/write_hdf5.hpp"
#include "tests/comma_locale.hpp"
#include "tests/files.hpp"
#include "tests/log_capture.hpp"
#include "tests/temp_dir_test.hpp"
#include "tests/what_of.hpp"

namespace {

namespace fs = std::filesystem;
using boost::property_tree::ptree;
using qorva_mat::make_unit_system;
using qorva_mat::Material;
using qorva_mat::PropertyFactory;
using qorva_mat::PropertySet;
using MaterialList = std::vector<std::shared_ptr<Material>>;
using qorva_test::LogCapture;
using qorva_test::read_file;

std::string engine_name(int type) { return qorva_gil::AlgorithmTypeEnum::enum_str(type); }

std::shared_ptr<Material> make_material(const std::string& name) {
  auto material = std::make_shared<Material>();
  material->name(name);
  return material;
}

std::shared_ptr<PropertySet> constant(std::shared_ptr<PropertySet> set,
                                      const std::vector<double>& row) {
  set->set_const(row);
  return set;
}

// A set tabulated over temperature (two points, in the temperature unit of `system`).
std::shared_ptr<PropertySet> over_temperature(std::shared_ptr<PropertySet> set,
                                              const PropertySet::table_t& rows, int algorithm = 5,
                                              const std::string& system = "MPA") {
  set->set({"Temperature"}, {{20.0}, {80.0}}, {{20.0, 80.0}}, {22.0}, rows, engine_name(algorithm),
           false, true, false);
  set->field_units({qorva_mat::temperature(make_unit_system(system))});
  return set;
}

// Multilinear hardening over a dimensionless plastic strain.
std::shared_ptr<PropertySet> plastic_hardening(const std::string& system) {
  auto set = PropertyFactory::create_multilinear_isotropic_hardening();
  set->set({"Plastic Strain"}, {{0.0}, {0.1}}, {{0.0, 0.1}}, {0.0}, {{200.0}, {250.0}},
           engine_name(5), false, false, false);
  set->field_units({qorva_mat::dimensionless(make_unit_system(system))});
  return set;
}

std::shared_ptr<Material> woven_material() {
  auto m = make_material("Fabric");
  m->set_string_property("Ply Type", "woven");
  m->add_property_set(
      constant(PropertyFactory::create_woven_characterization(),
               {0, 90, 60000, 8000, 4000, 3000, 0.3, 55000, 7000, 3500, 2500, 0.28}));
  auto puck1 =
      constant(PropertyFactory::create_woven_puck_1(), {0.3, 0.25, 0.2, 0.2, 0.5, 0.5, 0.8});
  puck1->set_string_property(qorva_mat::ORTHOTROPIC_MATERIAL_PUCK_CLASSIFICATION, "carbon");
  auto puck2 =
      constant(PropertyFactory::create_woven_puck_2(), {0.35, 0.3, 0.25, 0.25, 0.6, 0.6, 0.9});
  puck2->set_string_property(qorva_mat::ORTHOTROPIC_MATERIAL_PUCK_CLASSIFICATION, "ignored");
  m->add_property_set(puck1);
  m->add_property_set(puck2);
  m->add_property_set(
      constant(PropertyFactory::create_woven_stress_limits_1(), {1, 2, 3, 4, 5, 6, 7, 8, 9}));
  m->add_property_set(
      constant(PropertyFactory::create_woven_stress_limits_2(), {9, 8, 7, 6, 5, 4, 3, 2, 1}));
  return m;
}

std::vector<const ptree*> children(const ptree& node, const std::string& key) {
  std::vector<const ptree*> found;
  for (const auto& child : node) {
    if (child.first == key) found.push_back(&child.second);
  }
  return found;
}

std::string qualifier(const ptree& node, const std::string& name) {
  for (const ptree* q : children(node, "Qualifier")) {
    if (q->get<std::string>("<xmlattr>.name") == name) return q->data();
  }
  return "<none>";
}

class WriteMatbook : public qorva_test::TempDirTest {
 protected:
  WriteMatbook() : TempDirTest("qorva_write_matbook_") {}

  std::string write_text(MaterialList materials, const std::string& system = "SI") {
    EXPECT_EQ(qorva_mat::write_materials(path("out.xml"), materials, make_unit_system(system)), 0u);
    return read_file(path("out.xml"));
  }

  ptree write_doc(MaterialList materials, const std::string& system = "SI") {
    std::istringstream text(write_text(std::move(materials), system));
    ptree doc;
    boost::property_tree::read_xml(text, doc);
    return doc;
  }
};

const ptree& bulk(const ptree& doc, std::size_t material = 0) {
  return children(doc.get_child("MatbookData.Materials.MatML_Doc"), "Material")
      .at(material)
      ->get_child("BulkDetails");
}

// Name of the declaration `id` and its units as "name^power" terms (or "Unitless").
std::pair<std::string, std::string> declaration(const ptree& doc, const std::string& id) {
  for (const auto& d : doc.get_child("MatbookData.Materials.MatML_Doc.Metadata")) {
    if (d.second.get<std::string>("<xmlattr>.id") != id) continue;
    std::string units = d.second.count("Unitless") ? "Unitless" : "";
    for (const ptree* u : children(d.second.get_child("Units", ptree()), "Unit")) {
      units += (units.empty() ? "" : " ") + u->get<std::string>("Name") + "^" +
               u->get<std::string>("<xmlattr>.power", "1");
    }
    return {d.second.get<std::string>("Name"), units};
  }
  return {"<undeclared " + id + ">", ""};
}

// Declaration of the parameter (or, with attribute "property", the property) that `node` refers to.
std::pair<std::string, std::string> declaration_of(const ptree& doc, const ptree& node,
                                                   const std::string& attribute = "parameter") {
  return declaration(doc, node.get<std::string>("<xmlattr>." + attribute));
}

std::string parameter_name(const ptree& doc, const ptree& value) {
  return declaration_of(doc, value).first;
}

// what() of the E that writing `list` in SI throws, or "no exception".
template <typename E = qorva_mat::runtime_error>
std::string write_error(const std::string& file, MaterialList list) {
  return qorva_test::what_of<E>(
      [&] { qorva_mat::write_materials(file, list, make_unit_system("SI")); });
}

TEST_F(WriteMatbook, EmptyListWritesSkeletonWithoutDeclarationLine) {
  EXPECT_EQ(write_text({}),
            "<MatbookData version=\"18.0.0.60\" versiondate=\"29.08.2016 15:02:00\">\n"
            "  <Materials>\n    <MatML_Doc>\n      <Metadata/>\n    </MatML_Doc>\n  </Materials>\n"
            "  <QORVAHELMTransferData>\n    <Materials/>\n  </QORVAHELMTransferData>\n"
            "</MatbookData>\n");
}

TEST_F(WriteMatbook, ConstantDensityDocumentIsExact) {
  auto m = make_material("Steel");
  m->set_string_property("Description", "plain");
  m->set_string_property("QORVAHELMTransferID", "42");
  m->add_property_set(constant(PropertyFactory::create_density(), {0.1}));
  const std::string density_unit =
      "          <Units>\n            <Unit>\n              <Name>kg</Name>\n            </Unit>\n"
      "            <Unit power=\"-3\">\n              <Name>m</Name>\n            </Unit>\n"
      "          </Units>\n";
  EXPECT_EQ(write_text({m}),
            "<MatbookData version=\"18.0.0.60\" versiondate=\"29.08.2016 15:02:00\">\n"
            "  <Materials>\n    <MatML_Doc>\n      <Material>\n        <BulkDetails>\n"
            "          <Name>Steel</Name>\n          <Description>plain</Description>\n"
            "          <PropertyData property=\"pr0\">\n"
            "            <Data format=\"string\">-</Data>\n"
            "            <ParameterValue format=\"float\" parameter=\"pa0\">\n"
            "              <Data>0.10000000000000001</Data>\n"
            "            </ParameterValue>\n          </PropertyData>\n"
            "        </BulkDetails>\n      </Material>\n      <Metadata>\n"
            "        <PropertyDetails id=\"pr0\">\n          <Name>Density</Name>\n" +
                density_unit +
                "        </PropertyDetails>\n        <ParameterDetails id=\"pa0\">\n"
                "          <Name>Density</Name>\n" +
                density_unit +
                "        </ParameterDetails>\n      </Metadata>\n    </MatML_Doc>\n  </Materials>\n"
                "  <QORVAHELMTransferData>\n    <Materials>\n      <Material>\n"
                "        <Name>Steel</Name>\n        <DataTransferID>42</DataTransferID>\n"
                "        <PreviousTransferIDs/>\n      </Material>\n    </Materials>\n"
                "  </QORVAHELMTransferData>\n</MatbookData>\n");
}

TEST_F(WriteMatbook, DeclarationsAreSharedAcrossMaterialsAndSlotsFromTwentyAreSkipped) {
  auto a = make_material("A");
  a->add_property_set(constant(PropertyFactory::create_density(), {1.0}));
  auto b = make_material("B");
  b->add_property_set(constant(PropertyFactory::create_isotropic_elasticity(), {2.0, 0.3}));
  b->add_property_set(constant(PropertyFactory::create_density(), {3.0}));
  b->add_property_set(
      constant(std::make_shared<PropertySet>("Extra", std::vector<std::string>{"rho"}), {4.0}));
  const ptree doc = write_doc({a, b});
  EXPECT_EQ(bulk(doc, 0).get<std::string>("PropertyData.<xmlattr>.property"), "pr0");
  const auto data_b = children(bulk(doc, 1), "PropertyData");
  ASSERT_EQ(data_b.size(), 2u);  // "Extra" sits in slot 20
  EXPECT_EQ(data_b[0]->get<std::string>("<xmlattr>.property"), "pr0");
  EXPECT_EQ(data_b[1]->get<std::string>("<xmlattr>.property"), "pr1");
  EXPECT_EQ(declaration(doc, "pr1").first, "Elasticity");
  EXPECT_EQ(
      children(doc.get_child("MatbookData.Materials.MatML_Doc.Metadata"), "PropertyDetails").size(),
      2u);
  EXPECT_EQ(declaration(doc, "pa2"),
            std::make_pair(std::string("Poisson's Ratio"), std::string("Unitless")));
}

TEST_F(WriteMatbook, UnitCategoriesFollowTheUnitSystem) {
  auto m = make_material("M");
  m->add_property_set(constant(PropertyFactory::create_density(), {1.0}));
  m->add_property_set(constant(PropertyFactory::create_isotropic_elasticity(), {2.0, 0.3}));
  m->add_property_set(
      constant(PropertyFactory::create_isotropic_secant_thermal_expansion_coefficients(), {1e-5}));
  m->add_property_set(constant(PropertyFactory::create_isotropic_thermal_conductivity(), {40.0}));
  m->add_property_set(constant(PropertyFactory::create_specific_heat(), {400.0}));
  const std::map<std::string, std::vector<std::string>> expected = {
      {"SI", {"kg^1 m^-3", "Pa^1", "K^-1", "K^-1 kg^1 m^1 s^-3", "K^-1 m^2 s^-2"}},
      {"MPA", {"mm^-3 t^1", "MPa^1", "C^-1", "C^-1 mm^1 s^-3 t^1", "C^-1 mm^2 s^-2"}},
      {"BIN", {"in^-4 lbf^1 s^2", "psi^1", "F^-1", "F^-1 lbf^1 s^-1", "F^-1 in^2 s^-2"}}};
  for (const auto& [system, units] : expected) {
    const ptree doc = write_doc({m}, system);
    // pa0 rho, pa1 E, pa2 nu, pa3 a, pa4 K, pa5 cp
    const std::vector<std::string> ids = {"pa0", "pa1", "pa3", "pa4", "pa5"};
    for (std::size_t i = 0; i < ids.size(); ++i) {
      EXPECT_EQ(declaration(doc, ids[i]).second, units[i]) << system << " " << ids[i];
    }
  }
}

TEST_F(WriteMatbook, TableWritesOptionsDependentsAndFieldVariables) {
  auto m = make_material("M");
  auto e = over_temperature(PropertyFactory::create_isotropic_elasticity(),
                            {{70000, 0.3}, {0.1, 0.31}}, 1);
  e->set_algorithm_option("project_to_convex_hull", true);
  m->add_property_set(e);
  const ptree doc = write_doc({m}, "MPA");
  const auto values = children(bulk(doc).get_child("PropertyData"), "ParameterValue");
  ASSERT_EQ(values.size(), 4u);
  const ptree& options = *values[0];
  EXPECT_EQ(options.get<std::string>("<xmlattr>.format"), "string");
  EXPECT_EQ(parameter_name(doc, options), "Options Variable");
  EXPECT_EQ(options.get<std::string>("Data"), "Interpolation Options");
  EXPECT_EQ(qualifier(options, "AlgorithmType"), "Nearest Neighbor");
  EXPECT_EQ(qualifier(options, "Normalized"), "True");
  EXPECT_EQ(qualifier(options, "Cached"), "False");
  EXPECT_EQ(qualifier(options, "ExtrapolationType"), "Projection to the Convex Hull");
  EXPECT_EQ(parameter_name(doc, *values[1]), "Young's Modulus");
  EXPECT_EQ(qualifier(*values[1], "Variable Type"), "Dependent,Dependent");
  const ptree& temperature = *values[3];
  EXPECT_EQ(declaration_of(doc, temperature),
            std::make_pair(std::string("Temperature"), std::string("C^1")));
  const std::vector<std::string> order = {"Variable Type", "Field Variable", "Default Data",
                                          "Field Units",   "Upper Limit",    "Lower Limit"};
  const auto qualifiers = children(temperature, "Qualifier");
  ASSERT_EQ(qualifiers.size(), order.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    EXPECT_EQ(qualifiers[i]->get<std::string>("<xmlattr>.name"), order[i]);
  }
  EXPECT_EQ(qualifier(temperature, "Variable Type"), "Independent,Independent");
  EXPECT_EQ(qualifier(temperature, "Field Units"), "C");
}

TEST_F(WriteMatbook, AnglesAreWrittenInRadiansAndPlasticStrainUnitless) {
  auto m = make_material("M");
  auto e = PropertyFactory::create_isotropic_elasticity();
  e->set({"Shear Angle"}, {{0.0}, {45.0}}, {{0.0, 45.0}}, {45.0}, {{1.0, 0.3}, {2.0, 0.3}},
         engine_name(5), false, false, false);
  e->field_units({qorva_mat::dimensionless(make_unit_system("MPA"))});
  m->add_property_set(e);
  m->add_property_set(constant(PropertyFactory::create_fabric_fiber_angle(), {45.0}));
  m->add_property_set(plastic_hardening("MPA"));
  const ptree doc = write_doc({m}, "MPA");
  const auto data = children(bulk(doc), "PropertyData");
  const ptree& shear = *children(*data.at(0), "ParameterValue").at(3);
  EXPECT_EQ(declaration_of(doc, shear).second, "radian^1");
  EXPECT_EQ(qualifier(shear, "Field Units"), "");
  EXPECT_EQ(shear.get<std::string>("Data"), "0,0.78539816339744828");
  EXPECT_EQ(qualifier(shear, "Default Data"), "0.78539816339744828");
  const ptree& phi = data.at(1)->get_child("ParameterValue");
  EXPECT_EQ(phi.get<std::string>("Data"), "0.78539816339744828");
  EXPECT_EQ(declaration_of(doc, phi).second, "radian^1");
  // The plastic strain of a hardening table carries only its variable type.
  const auto hardening = children(*data.at(2), "ParameterValue");
  ASSERT_EQ(hardening.size(), 2u);
  EXPECT_EQ(parameter_name(doc, *hardening[0]), "Stress");
  EXPECT_EQ(children(*hardening[1], "Qualifier").size(), 1u);
  EXPECT_EQ(declaration_of(doc, *hardening[1]).second, "Unitless");
}

TEST_F(WriteMatbook, PlyTypeIsFirstPropertyUnlessUndefined) {
  auto regular = make_material("R");
  regular->set_string_property("Ply Type", "regular");
  regular->add_property_set(constant(PropertyFactory::create_density(), {1.0}));
  auto undefined = make_material("U");
  undefined->set_string_property("Ply Type", "undefined");
  const ptree doc = write_doc({regular, undefined});
  const ptree& ply = bulk(doc, 0).get_child("PropertyData");
  EXPECT_EQ(declaration_of(doc, ply, "property").first, "Ply Type");
  EXPECT_EQ(qualifier(ply, "source"), "Plyx");
  EXPECT_EQ(qualifier(ply, "Type"), "Regular");
  EXPECT_EQ(bulk(doc, 1).count("PropertyData"), 0u);
}

TEST_F(WriteMatbook, ReferenceTemperatureGetsItsOwnPropertyDataAndMustBeANumber) {
  auto m = make_material("M");
  auto cte = constant(PropertyFactory::create_orthotropic_secant_thermal_expansion_coefficients(),
                      {1e-6, 2e-5, 3e-5});
  cte->set_string_property("Zero-Thermal-Strain Reference Temperature", "20.5");
  m->add_property_set(cte);
  const ptree doc = write_doc({m}, "MPA");
  const auto data = children(bulk(doc), "PropertyData");
  ASSERT_EQ(data.size(), 2u);
  EXPECT_EQ(declaration_of(doc, *data[0], "property").second, "Unitless");
  const auto values = children(*data[0], "ParameterValue");
  ASSERT_EQ(values.size(), 2u);
  EXPECT_EQ(declaration_of(doc, *values[0]).second, "C^1");
  EXPECT_EQ(qualifier(*data[1], "Zero-Thermal-Strain Reference Temperature"), "<none>");

  cte->set_string_property("Zero-Thermal-Strain Reference Temperature", "20 C");
  EXPECT_NE(write_error<boost::bad_lexical_cast>(path("bad.xml"), {m}), "no exception");
  EXPECT_FALSE(fs::exists(path("bad.xml")));
}

TEST_F(WriteMatbook, AnisotropicColumnsCarryTheSentinelAboveTheDiagonal) {
  std::vector<double> d(21);
  for (std::size_t i = 0; i < d.size(); ++i) d[i] = 100.0 + static_cast<double>(i);
  auto m = make_material("M");
  m->add_property_set(constant(PropertyFactory::create_anisotropic_elasticity(), d));
  const ptree doc = write_doc({m});
  const ptree& data = bulk(doc).get_child("PropertyData");
  EXPECT_EQ(qualifier(data, "Behavior"), "Anisotropic");
  const auto columns = children(data, "ParameterValue");
  ASSERT_EQ(columns.size(), 6u);
  const std::string s = "7.8886090522101198e-31";
  EXPECT_EQ(columns[0]->get<std::string>("Data"), "100,101,102,103,104,105");
  EXPECT_EQ(columns[1]->get<std::string>("Data"), s + ",106,107,108,109,110");
  EXPECT_EQ(columns[5]->get<std::string>("Data"),
            s + "," + s + "," + s + "," + s + "," + s + ",120");
  EXPECT_EQ(declaration_of(doc, *columns[5]),
            std::make_pair(std::string("D[*,6]"), std::string("Pa^1")));
}

TEST_F(WriteMatbook, WovenMaterialWritesTwoDataSetsOfFiveProperties) {
  const ptree doc = write_doc({woven_material()});
  const auto data = children(bulk(doc), "PropertyData");
  ASSERT_EQ(data.size(), 11u);  // ply type + 2 x 5
  const std::vector<std::string> names = {"Orthotropic Elasticity", "Stress Limits",
                                          "Puck Constants", "Additional Puck Constants",
                                          "Fiber Angle"};
  for (std::size_t i = 0; i < 10; ++i) {
    const ptree& d = *data[i + 1];
    EXPECT_EQ(declaration_of(doc, d, "property").first, names[i % 5]);
    EXPECT_EQ(qualifier(d, "Data Set"), i < 5 ? "1" : "2");
    EXPECT_EQ(qualifier(d, "Data Set Information"),
              "minOccurrences::2$$maxOccurrences::2$$Name::Unidirectional");
    EXPECT_EQ(d.get<std::string>("ParameterValue.Data"), "Woven Specification for Puck");
  }
  const auto elasticity = children(*data[1], "ParameterValue");
  ASSERT_EQ(elasticity.size(), 10u);
  EXPECT_EQ(parameter_name(doc, *elasticity[9]), "Poisson's Ratio YZ");
  EXPECT_EQ(elasticity[9]->get<std::string>("Data"), "0.33333333333333326");
  EXPECT_EQ(elasticity[6]->get<std::string>("Data"), "8000");  // E3 = E2
  EXPECT_EQ(qualifier(*data[3], "Material Classification"), "Carbon");
  EXPECT_EQ(qualifier(*data[8], "Material Classification"), "<none>");
}

TEST_F(WriteMatbook, WovenWithoutStressLimitsFailsBeforeTouchingTheFile) {
  { std::ofstream(path("out.xml")) << "old"; }
  auto missing = woven_material();
  missing->delete_property_set("Woven Stress Limits 1");
  EXPECT_EQ(write_error(path("out.xml"), {missing}),
            "Property 9 is not available for material Fabric.");
  auto unset = woven_material();
  unset->add_property_set(PropertyFactory::create_woven_stress_limits_1());
  EXPECT_EQ(
      write_error<qorva_mat::assertion_error>(path("out.xml"), {unset}),
      "Assertion 'sl_gil_wrapper.is_set()' failed. write_matbook: GIL not set for Puck for Woven.");
  EXPECT_EQ(read_file(path("out.xml")), "old");
}

TEST_F(WriteMatbook, UnmappedVariableNameFailsWithItsName) {
  auto m = make_material("M");
  m->add_property_set(
      over_temperature(PropertyFactory::create_larc(), {{1, 2, 3, 4, 5}, {1, 2, 3, 4, 6}}));
  EXPECT_EQ(write_error<qorva_mat::assertion_error>(path("out.xml"), {m}),
            "Assertion 'Plyx_2_Matbook_string_umap.find(name_) != "
            "Plyx_2_Matbook_string_umap.end()' failed. "
            "thin_ply_thickness_limit not found in Plyx_2_Matbook_string_umap");
}

TEST_F(WriteMatbook, SpecialCharactersStayWellFormedXml) {
  auto m = make_material("A&B <1> 'x' \"y\"");
  m->set_string_property("Description", "carbon & epoxy ]]> end");
  auto e = constant(PropertyFactory::create_isotropic_elasticity(), {1.0, 0.3});
  e->set_string_property("Note\"s", " ");
  m->add_property_set(e);
  const std::string text = write_text({m});
  EXPECT_NE(text.find("<Name>A&amp;B &lt;1> 'x' \"y\"</Name>"), std::string::npos);
  EXPECT_NE(text.find("carbon &amp; epoxy ]]&gt; end"), std::string::npos);
  EXPECT_NE(text.find("<Qualifier name=\"Note&quot;s\">&#32;</Qualifier>"), std::string::npos);
  std::istringstream in(text);
  ptree doc;
  ASSERT_NO_THROW(boost::property_tree::read_xml(in, doc));
  EXPECT_EQ(bulk(doc).get<std::string>("Name"), "A&B <1> 'x' \"y\"");
  EXPECT_EQ(qualifier(bulk(doc).get_child("PropertyData"), "Note\"s"), " ");
  if (std::system("command -v xmllint > /dev/null 2>&1") != 0)
    GTEST_SKIP() << "xmllint not installed";
  EXPECT_EQ(std::system(("xmllint --noout '" + path("out.xml") + "'").c_str()), 0);
}

TEST_F(WriteMatbook, NumbersIgnoreTheGlobalLocale) {
  auto m = make_material("M");
  auto cte =
      over_temperature(PropertyFactory::create_isotropic_secant_thermal_expansion_coefficients(),
                       {{0.1}, {12345.5}});
  cte->set_string_property("Zero-Thermal-Strain Reference Temperature", "1234.5");
  m->add_property_set(cte);
  std::string text;
  {
    const qorva_test::GlobalLocale comma;
    text = write_text({m}, "MPA");
  }
  EXPECT_NE(text.find("<Data>0.10000000000000001,12345.5</Data>"), std::string::npos);
  EXPECT_NE(text.find("<Data>1234.5</Data>"), std::string::npos);
  EXPECT_NE(text.find("<Qualifier name=\"Default Data\">22</Qualifier>"), std::string::npos);
}

TEST_F(WriteMatbook, FailuresToWriteThrowNamingThePathAndLeaveNothingBehind) {
  { std::ofstream(path("readonly.xml")) << "old content"; }
  fs::permissions(path("readonly.xml"), fs::perms::owner_read);
  fs::create_directories(path("taken.xml"));
  MaterialList list{make_material("M")};
  const LogCapture log;
  EXPECT_EQ(
      write_error(path("missing/dir/out.xml"), list),
      "write_matbook: cannot write " + path("missing/dir/out.xml") + ": No such file or directory");
  EXPECT_EQ(write_error(path("taken.xml"), list),
            "write_matbook: cannot replace " + path("taken.xml") + ": Is a directory");
  if (::access(path("readonly.xml").c_str(), W_OK) != 0) {  // root may write read-only files
    EXPECT_EQ(write_error(path("readonly.xml"), list),
              "write_matbook: cannot write " + path("readonly.xml") + ": Permission denied");
  }
  EXPECT_NE(log.text().find("warning: write_matbook: cannot write " + path("missing/dir/out.xml")),
            std::string::npos)
      << log.text();
  EXPECT_EQ(read_file(path("readonly.xml")), "old content");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2);
}

TEST_F(WriteMatbook, FailedWriteKeepsTheOldFileAndLeavesNoTemporary) {
  { std::ofstream(path("out.xml")) << "old content"; }
  auto m = make_material("M");
  std::vector<double> d(21, 1.0);
  m->add_property_set(constant(PropertyFactory::create_anisotropic_elasticity(), d));
  MaterialList list{m};
  std::string error;
  {
    const qorva_test::FileSizeLimit limit(100);  // as on a full disk
    error = write_error(path("out.xml"), list);
    EXPECT_TRUE(qorva_test::FileSizeLimit::hit());
  }
  EXPECT_EQ(error, "write_matbook: cannot write " + path("out.xml") + ": File too large");
  EXPECT_EQ(read_file(path("out.xml")), "old content");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(WriteMatbook, FileNamesUpToTheNameLimitCanBeWritten) {
  // The temporary name beside the target is shortened to fit the 255-byte limit.
  MaterialList list{make_material("M")};
  for (const std::size_t length : {250u, 255u}) {
    const std::string name = std::string(length - 4, 'n') + ".xml";
    EXPECT_EQ(qorva_mat::write_materials(path(name), list, make_unit_system("SI")), 0u);
    EXPECT_NE(read_file(path(name)).find("<Name>M</Name>"), std::string::npos);
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2);
}

TEST_F(WriteMatbook, SaveReplacesTheFileBehindASymbolicLinkAndKeepsItsMode) {
  { std::ofstream(path("real.xml")) << "old"; }
  fs::permissions(path("real.xml"),
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink(path("real.xml"), path("link.xml"));
  MaterialList list{make_material("M")};
  qorva_mat::write_materials(path("link.xml"), list, make_unit_system("SI"));
  EXPECT_TRUE(fs::is_symlink(path("link.xml")));
  EXPECT_NE(read_file(path("real.xml")).find("<Name>M</Name>"), std::string::npos);
  EXPECT_EQ(fs::status(path("real.xml")).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

// One material of every kind the file can carry, with field units in `system`.
MaterialList materials_of_every_kind(const std::string& system) {
  using F = PropertyFactory;
  auto laminate = make_material("Laminate");
  laminate->set_string_property("Ply Type", "regular");
  laminate->set_string_property("Description", "UD tape");
  laminate->set_string_property("QORVAHELMTransferID", "T-1");
  laminate->add_property_set(constant(F::create_density(), {1.6e-9}));
  auto ortho = over_temperature(F::create_orthotropic_elasticity(),
                                {{140000, 9000, 9000, 5000, 3000, 5000, 0.3, 0.3, 0.45},
                                 {130000, 8000, 8000, 4500, 2800, 4500, 0.31, 0.31, 0.46}},
                                5, system);
  ortho->set_algorithm_option("use_cgal_triangulation", true);
  laminate->add_property_set(ortho);
  laminate->add_property_set(
      constant(F::create_orthotropic_stress_limits(), {1, 2, 3, 4, 5, 6, 7, 8, 9}));
  laminate->add_property_set(
      constant(F::create_orthotropic_strain_limits(), {.1, .2, .3, .4, .5, .6, .7, .8, .9}));
  auto puck = constant(F::create_puck(), {0.3, 0.25, 0.2, 0.2, 0.5, 0.5, 0.8});
  puck->set_string_property(qorva_mat::ORTHOTROPIC_MATERIAL_PUCK_CLASSIFICATION, "glass");
  laminate->add_property_set(puck);
  auto cte =
      constant(F::create_orthotropic_secant_thermal_expansion_coefficients(), {1e-6, 2e-5, 3e-5});
  cte->set_string_property("Zero-Thermal-Strain Reference Temperature", "25");
  laminate->add_property_set(cte);
  laminate->add_property_set(constant(F::create_tsai_wu(), {-0.5, -0.4, -0.3}));
  // The reader sets the thin-ply thickness limit to 0.7 mm.
  const double thin_ply =
      0.7 * qorva_mat::conversion_factor(qorva_mat::length(make_unit_system("MPA")),
                                         qorva_mat::length(make_unit_system(system)));
  laminate->add_property_set(constant(F::create_larc(), {53, 1, 0.5, 0.3, thin_ply}));
  laminate->add_property_set(constant(F::create_orthotropic_thermal_conductivity(), {5, 0.5, 0.6}));
  laminate->add_property_set(constant(F::create_specific_heat(), {9e8}));
  laminate->add_property_set(constant(F::create_fabric_fiber_angle(), {45}));
  laminate->add_property_set(
      constant(F::create_hill_yield_criterion(), {1, 1.1, 1.2, 1.3, 1.4, 1.5}));
  laminate->add_property_set(plastic_hardening(system));

  auto metal = make_material("Metal");
  metal->set_string_property("Ply Type", "isotropic");
  auto iso =
      over_temperature(F::create_isotropic_elasticity(), {{70000, 0.3}, {65000, 0.31}}, 3, system);
  iso->set_algorithm_option("project_to_convex_hull", true);
  metal->add_property_set(iso);
  metal->add_property_set(constant(F::create_isotropic_strain_limit(), {0.02}));
  metal->add_property_set(constant(F::create_tensile_yield_strength(), {250}));
  metal->add_property_set(
      over_temperature(F::create_isotropic_secant_thermal_expansion_coefficients(),
                       {{2.3e-5}, {2.4e-5}}, 5, system));
  metal->add_property_set(constant(F::create_isotropic_thermal_conductivity(), {160}));
  metal->add_property_set(constant(F::create_voce_isotropic_hardening(), {250, 100, 80, 15}));

  auto aniso = make_material("Aniso");
  std::vector<double> d(21);
  for (std::size_t i = 0; i < d.size(); ++i) d[i] = 1000.0 / static_cast<double>(i + 3);
  aniso->add_property_set(constant(F::create_anisotropic_elasticity(), d));
  auto ignored = make_material("Ignored Puck");
  auto plain_puck = constant(F::create_puck(), {0.3, 0.25, 0.2, 0.2, 0.5, 0.5, 0.8});
  plain_puck->set_string_property(qorva_mat::ORTHOTROPIC_MATERIAL_PUCK_CLASSIFICATION, "ignored");
  ignored->add_property_set(plain_puck);
  return {laminate, metal, aniso, ignored, woven_material()};
}

std::map<std::string, std::string> string_properties(const PropertySet& set) {
  std::map<std::string, std::string> map;
  for (const auto& key : set.get_string_property_keys()) map[key] = set.get_string_property(key);
  return map;
}

// Every value of `a` and `b` equal up to `tolerance` relative to its size.
void expect_near(const PropertySet::table_t& a, const PropertySet::table_t& b, double tolerance) {
  ASSERT_EQ(a.size(), b.size());
  for (std::size_t r = 0; r < a.size(); ++r) {
    ASSERT_EQ(a[r].size(), b[r].size()) << "row " << r;
    for (std::size_t c = 0; c < a[r].size(); ++c)
      EXPECT_NEAR(a[r][c], b[r][c], tolerance * std::max(1.0, std::abs(a[r][c]))) << r << "," << c;
  }
}

// Defaults followed by the lower and upper ends of the ranges.
PropertySet::table_t setup_of(const PropertySet::gil_tuple_t& gil) {
  PropertySet::table_t setup{boost::tuples::get<3>(gil)};
  for (const auto& range : boost::tuples::get<2>(gil)) setup.push_back({range.first, range.second});
  return setup;
}

// Independent values pass through an absolute temperature conversion on load; in degrees
// Fahrenheit that goes through kelvin and may change the last bits (22 F comes back as
// 22.000000000000057). The fiber angle goes from degrees to radians and back.
void expect_same_set(const PropertySet& a, const PropertySet& b, bool exact_independents) {
  SCOPED_TRACE(a.name());
  using boost::tuples::get;
  const auto ga = a.get_gil();
  const auto gb = b.get_gil();
  EXPECT_EQ(string_properties(a), string_properties(b));
  EXPECT_EQ(get<0>(ga), get<0>(gb));
  const double tolerance = exact_independents ? 0.0 : 1e-12;
  expect_near(get<1>(ga), get<1>(gb), tolerance);
  expect_near(setup_of(ga), setup_of(gb), tolerance);
  EXPECT_EQ(get<4>(ga), get<4>(gb));
  expect_near(get<5>(ga), get<5>(gb), a.name() == "Fabric Fiber Angle" ? 1e-15 : 0.0);
  EXPECT_EQ(get<6>(ga), get<6>(gb));
  EXPECT_EQ(get<7>(ga), get<7>(gb));
  EXPECT_EQ(get<8>(ga), get<8>(gb));
  for (const char* option : {"use_cgal_triangulation", "project_to_convex_hull"}) {
    EXPECT_EQ(a.try_get_algorithm_bool_option(option, false),
              b.try_get_algorithm_bool_option(option, false))
        << option;
  }
}

void expect_same_materials(const MaterialList& written, const MaterialList& loaded,
                           bool exact_independents) {
  ASSERT_EQ(written.size(), loaded.size());
  for (std::size_t i = 0; i < written.size(); ++i) {
    const Material& a = *written[i];
    const Material& b = *loaded[i];
    SCOPED_TRACE(a.name());
    EXPECT_EQ(a.name(), b.name());
    for (const auto& key : a.get_string_property_keys()) {
      EXPECT_EQ(a.get_string_property(key),
                b.has_string_property(key) ? b.get_string_property(key) : "<none>");
    }
    for (std::size_t j = 0; j < Material::PropertyType::count; ++j) {
      EXPECT_EQ(a.is_property_set_active(j), b.is_property_set_active(j)) << "slot " << j;
      if (a.is_property_set_active(j) && b.is_property_set_active(j)) {
        expect_same_set(a.at(j), b.at(j), exact_independents);
      }
    }
  }
}

class MatbookRoundTrip : public WriteMatbook, public ::testing::WithParamInterface<std::string> {};

TEST_P(MatbookRoundTrip, LoadGivesBackEveryKind) {
  MaterialList written = materials_of_every_kind(GetParam());
  const auto system = make_unit_system(GetParam());
  ASSERT_EQ(qorva_mat::write_materials(path("all.xml"), written, system), 0u);
  if (std::system("command -v xmllint > /dev/null 2>&1") == 0) {
    EXPECT_EQ(std::system(("xmllint --noout '" + path("all.xml") + "'").c_str()), 0);
  }
  MaterialList loaded;
  EXPECT_EQ(qorva_mat::load_materials(path("all.xml"), loaded, system), written.size());
  expect_same_materials(written, loaded, GetParam() != "BIN");
}

INSTANTIATE_TEST_SUITE_P(Systems, MatbookRoundTrip, ::testing::Values("SI", "MPA", "BIN"));

TEST_F(WriteMatbook, WarnsWhenTheDeclaredSystemIsNotTheOneTheFieldUnitsAreIn) {
  MaterialList materials = materials_of_every_kind("MPA");
  {
    qorva_test::LogCapture log;
    qorva_mat::write_materials(path("mpa.xml"), materials, make_unit_system("MPA"));
    EXPECT_EQ(log.text().find("warning:"), std::string::npos) << log.text();
  }
  qorva_test::LogCapture log;
  qorva_mat::write_materials(path("bin.xml"), materials, make_unit_system("BIN"));
  const std::string text = log.text();
  EXPECT_NE(text.find("warning: write_matbook: " + path("bin.xml") +
                      ": Laminate / Engineering Constants has field units in MPA, but the file "
                      "declares BIN units"),
            std::string::npos)
      << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
}

// Sorts the Qualifier children of every PropertyData by name, as string properties come in no
// fixed order.
void sort_property_qualifiers(ptree& node) {
  for (auto& child : node) {
    if (child.first != "PropertyData") {
      sort_property_qualifiers(child.second);
      continue;
    }
    ptree sorted;
    std::vector<ptree> qualifiers;
    for (const auto& c : child.second) {
      if (c.first == "Qualifier") qualifiers.push_back(c.second);
    }
    std::sort(qualifiers.begin(), qualifiers.end(), [](const ptree& x, const ptree& y) {
      return x.get<std::string>("<xmlattr>.name") < y.get<std::string>("<xmlattr>.name");
    });
    std::size_t next = 0;
    for (auto& c : child.second) {
      if (c.first == "Qualifier") c.second = qualifiers[next++];
    }
  }
}

TEST_F(WriteMatbook, XmlThroughHdf5GivesTheSameDocument) {
  MaterialList original = materials_of_every_kind("MPA");
  const auto system = make_unit_system("MPA");
  qorva_mat::write_materials(path("first.xml"), original, system);
  MaterialList from_xml;
  qorva_mat::load_materials(path("first.xml"), from_xml, system);
  ASSERT_EQ(qorva_mat::write_materials_hdf5(path("store.h5"), from_xml), 0u);
  MaterialList from_hdf5;
  ASSERT_EQ(qorva_mat::load_materials_hdf5(path("store.h5"), from_hdf5), 0u);
  const auto document = [&](MaterialList list, const std::string& name) {
    qorva_mat::write_materials(path(name), list, system);
    ptree doc;
    boost::property_tree::read_xml(path(name), doc);
    sort_property_qualifiers(doc);
    return doc;
  };
  const auto text = [](const ptree& doc) {
    std::ostringstream out;
    boost::property_tree::write_xml(out, doc);
    return out.str();
  };
  EXPECT_EQ(text(document(from_xml, "direct.xml")), text(document(from_hdf5, "via_hdf5.xml")));
}

}  // namespace
