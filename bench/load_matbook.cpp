// Loading a large Matbook file: 1000 materials with ten temperature-dependent property sets
// each, generated into a temporary directory. Reports bytes/s and materials/s for the whole
// load, and the XML parse alone so that the mapping share can be told apart.
#include <benchmark/benchmark.h>

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "qorva_mat/load_matbook.hpp"

namespace {

constexpr int kMaterials = 1000;
constexpr int kPoints = 5;

struct Kind {
  const char* property;
  const char* behavior;  // "" for none
  std::vector<const char*> parameters;
  const char* unit;  // unit symbols of the parameters, "" for none
};

const std::vector<Kind>& kinds() {
  static const std::vector<Kind> k{
      {"Density", "", {"Density"}, "kg:1,m:-3"},
      {"Elasticity",
       "Orthotropic",
       {"Young's Modulus X direction", "Young's Modulus Y direction", "Young's Modulus Z direction",
        "Shear Modulus XY", "Shear Modulus YZ", "Shear Modulus XZ", "Poisson's Ratio XY",
        "Poisson's Ratio XZ", "Poisson's Ratio YZ"},
       "MPa:1"},
      {"Stress Limits",
       "Orthotropic",
       {"Tensile X direction", "Compressive X direction", "Tensile Y direction",
        "Compressive Y direction", "Tensile Z direction", "Compressive Z direction", "Shear XY",
        "Shear XZ", "Shear YZ"},
       "MPa:1"},
      {"Strain Limits",
       "Orthotropic",
       {"Tensile X direction", "Compressive X direction", "Tensile Y direction",
        "Compressive Y direction", "Tensile Z direction", "Compressive Z direction", "Shear XY",
        "Shear XZ", "Shear YZ"},
       ""},
      {"Coefficient of Thermal Expansion",
       "Orthotropic",
       {"Coefficient of Thermal Expansion X direction",
        "Coefficient of Thermal Expansion Y direction",
        "Coefficient of Thermal Expansion Z direction"},
       "C:-1"},
      {"Tensile Yield Strength", "", {"Tensile Yield Strength"}, "MPa:1"},
      {"Thermal Conductivity",
       "Orthotropic",
       {"Thermal Conductivity X direction", "Thermal Conductivity Y direction",
        "Thermal Conductivity Z direction"},
       "W:1,m:-1,C:-1"},
      {"Specific Heat", "", {"Specific Heat"}, "J:1,kg:-1,C:-1"},
      {"Fabric Fiber Angle", "", {"Fabric Fiber Angle"}, "radian:1"},
      {"Hill Yield Criterion",
       "",
       {"Yield stress ratio in X direction", "Yield stress ratio in Y direction",
        "Yield stress ratio in Z direction", "Yield stress ratio in XY direction",
        "Yield stress ratio in YZ direction", "Yield stress ratio in XZ direction"},
       ""}};
  return k;
}

void write_units(std::ostream& os, const std::string& units_text) {
  if (units_text.empty()) return;
  os << "<Units>";
  std::istringstream in(units_text);
  std::string factor;
  while (std::getline(in, factor, ',')) {
    const auto colon = factor.find(':');
    os << "<Unit power=\"" << factor.substr(colon + 1) << "\"><Name>" << factor.substr(0, colon)
       << "</Name></Unit>";
  }
  os << "</Units>";
}

// Metadata ids: "prK" for kind K, "paK_J" for its parameter J, "pa_T" and "pa_O" shared.
std::string metadata() {
  std::ostringstream os;
  os << "<Metadata>\n";
  os << "<ParameterDetails "
        "id=\"pa_T\"><Name>Temperature</Name><Units><Unit><Name>C</Name></Unit></Units></"
        "ParameterDetails>\n";
  os << "<ParameterDetails id=\"pa_O\"><Name>Options Variable</Name></ParameterDetails>\n";
  for (std::size_t k = 0; k < kinds().size(); ++k) {
    os << "<PropertyDetails id=\"pr" << k << "\"><Name>" << kinds()[k].property
       << "</Name></PropertyDetails>\n";
    for (std::size_t j = 0; j < kinds()[k].parameters.size(); ++j) {
      os << "<ParameterDetails id=\"pa" << k << "_" << j << "\"><Name>" << kinds()[k].parameters[j]
         << "</Name>";
      write_units(os, kinds()[k].unit);
      os << "</ParameterDetails>\n";
    }
  }
  os << "</Metadata>\n";
  return os.str();
}

std::string list(double base, double step) {
  std::ostringstream os;
  os.precision(17);
  for (int i = 0; i < kPoints; ++i) os << (i ? "," : "") << base + step * i;
  return os.str();
}

void write_property(std::ostream& os, std::size_t k, int material) {
  const Kind& kind = kinds()[k];
  os << "<PropertyData property=\"pr" << k << "\"><Data format=\"string\">-</Data>";
  if (*kind.behavior) os << "<Qualifier name=\"Behavior\">" << kind.behavior << "</Qualifier>";
  os << "\n<ParameterValue parameter=\"pa_O\" format=\"string\"><Data>Interpolation Options</Data>"
        "<Qualifier name=\"AlgorithmType\">Linear Multivariate "
        "(Qhull)</Qualifier></ParameterValue>\n";
  for (std::size_t j = 0; j < kind.parameters.size(); ++j)
    os << "<ParameterValue parameter=\"pa" << k << "_" << j << "\" format=\"float\"><Data>"
       << list(1000.0 + material + 10.0 * j, -1.5) << "</Data><Qualifier name=\"Variable Type\">"
       << "Dependent,Dependent,Dependent,Dependent,Dependent</Qualifier></ParameterValue>\n";
  os << "<ParameterValue parameter=\"pa_T\" format=\"float\"><Data>" << list(-40.0, 40.0)
     << "</Data><Qualifier name=\"Variable Type\">Independent,Independent,Independent,Independent,"
        "Independent</Qualifier><Qualifier name=\"Field Variable\">Temperature</Qualifier>"
        "<Qualifier name=\"Default Data\">22</Qualifier></ParameterValue>\n</PropertyData>\n";
}

// The generated file, written once per process.
const std::string& benchmark_file() {
  static const std::string path = [] {
    const auto dir = std::filesystem::temp_directory_path() / "qorva_bench_load_matbook";
    std::filesystem::create_directories(dir);
    const std::string file = (dir / "materials.xml").string();
    std::ofstream os(file);
    os << "<MatbookData version=\"22.1.0.149\"><Materials><MatML_Doc>\n";
    for (int m = 0; m < kMaterials; ++m) {
      os << "<Material><BulkDetails><Name>Material " << m << "</Name>\n";
      for (std::size_t k = 0; k < kinds().size(); ++k) write_property(os, k, m);
      os << "</BulkDetails></Material>\n";
    }
    os << metadata() << "</MatML_Doc></Materials></MatbookData>\n";
    return file;
  }();
  return path;
}

void report(benchmark::State& state) {
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(std::filesystem::file_size(benchmark_file())));
  state.SetItemsProcessed(state.iterations() * kMaterials);  // items = materials
}

void BM_LoadMatbookIntoMpa(benchmark::State& state) {
  const auto system = qorva_mat::make_unit_system("MPA");
  for (auto _ : state) {
    std::vector<std::shared_ptr<qorva_mat::Material>> materials;
    benchmark::DoNotOptimize(qorva_mat::load_materials(benchmark_file(), materials, system));
  }
  report(state);
}
BENCHMARK(BM_LoadMatbookIntoMpa)->Unit(benchmark::kMillisecond);

void BM_LoadMatbookWithoutConversion(benchmark::State& state) {
  for (auto _ : state) {
    std::vector<std::shared_ptr<qorva_mat::Material>> materials;
    benchmark::DoNotOptimize(qorva_mat::load_materials(benchmark_file(), materials, nullptr));
  }
  report(state);
}
BENCHMARK(BM_LoadMatbookWithoutConversion)->Unit(benchmark::kMillisecond);

// The XML parse alone: the rest of a load is metadata, mapping and conversion.
void BM_ParseMatbookXmlOnly(benchmark::State& state) {
  for (auto _ : state) {
    boost::property_tree::ptree tree;
    boost::property_tree::read_xml(benchmark_file(), tree);
    benchmark::DoNotOptimize(tree);
  }
  report(state);
}
BENCHMARK(BM_ParseMatbookXmlOnly)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
