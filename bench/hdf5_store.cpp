// The HDF5 material store against Matbook XML: reading, writing and file size for 1000 materials, reading one
// material out of 1000, and how the store's load time grows (4000 against 1000). Ends with a table of ratios
// measured in this run. Materials: the two of examples/ud_carbon_epoxy.xml repeated under distinct names.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "qorva_mat/load_hdf5.hpp"
#include "qorva_mat/load_matbook.hpp"
#include "qorva_mat/material.hpp"
#include "qorva_mat/units.hpp"
#include "qorva_mat/write_hdf5.hpp"
#include "qorva_mat/write_matbook.hpp"

namespace {

using qorva_mat::Material;
using materials_t = std::vector<std::shared_ptr<Material>>;
namespace fs = std::filesystem;

const char* const kExample = QORVA_EXAMPLES_DIR "/ud_carbon_epoxy.xml";

std::shared_ptr<qorva_mat::UnitSystem> si() { return qorva_mat::make_unit_system("SI"); }

std::string material_name(int i) { return "Material " + std::to_string(i); }

// `count` materials: copies of the example's materials, each with its own name and transfer id.
materials_t make_materials(int count) {
  materials_t originals;
  qorva_mat::load_materials(kExample, originals, si());
  materials_t materials;
  for (int i = 0; i < count; ++i) {
    auto copy = std::make_shared<Material>(*originals[static_cast<std::size_t>(i) % originals.size()]);
    copy->name(material_name(i));
    copy->set_string_property("QORVAHELMTransferID", "BENCH-" + std::to_string(i));
    materials.push_back(copy);
  }
  return materials;
}

std::string scratch(const std::string& name) { return (fs::temp_directory_path() / ("qorva_bench_" + name)).string(); }

// Files of `count` materials, written once per process and removed at exit.
const std::string& store_file(int count) {
  static std::map<int, std::string> files;
  auto it = files.find(count);
  if (it != files.end()) return it->second;
  const std::string path = scratch("load_" + std::to_string(count) + ".h5");
  materials_t materials = make_materials(count);
  qorva_mat::write_materials_hdf5(path, materials);
  return files.emplace(count, path).first->second;
}

const std::string& xml_file(int count) {
  static std::map<int, std::string> files;
  auto it = files.find(count);
  if (it != files.end()) return it->second;
  const std::string path = scratch("load_" + std::to_string(count) + ".xml");
  materials_t materials = make_materials(count);
  qorva_mat::write_materials(path, materials, si());
  return files.emplace(count, path).first->second;
}

void BM_WriteStore(benchmark::State& state) {
  materials_t materials = make_materials(static_cast<int>(state.range(0)));
  const std::string path = scratch("write.h5");
  for (auto _ : state) {
    if (qorva_mat::write_materials_hdf5(path, materials) != 0) state.SkipWithError("write failed");
  }
  state.counters["file_kB"] = static_cast<double>(fs::file_size(path)) / 1024.0;
  fs::remove(path);
}

void BM_WriteXml(benchmark::State& state) {
  materials_t materials = make_materials(static_cast<int>(state.range(0)));
  const std::string path = scratch("write.xml");
  for (auto _ : state) qorva_mat::write_materials(path, materials, si());
  state.counters["file_kB"] = static_cast<double>(fs::file_size(path)) / 1024.0;
  fs::remove(path);
}

void BM_LoadStore(benchmark::State& state) {
  const std::string& path = store_file(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    materials_t loaded;
    if (qorva_mat::load_materials_hdf5(path, loaded) != 0 || loaded.size() != static_cast<std::size_t>(state.range(0))) {
      state.SkipWithError("load failed");
    }
  }
}

void BM_LoadXml(benchmark::State& state) {
  const std::string& path = xml_file(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    materials_t loaded;
    qorva_mat::load_materials(path, loaded, si());
  }
}

BENCHMARK(BM_WriteStore)->Arg(1000)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteXml)->Arg(1000)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadStore)->Arg(1000)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadXml)->Arg(1000)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadStore)->Arg(4000)->Iterations(2)->Unit(benchmark::kMillisecond);

// Keeps the mean real time of every run for the ratio table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.iterations > 0) seconds_[run.benchmark_name()] = run.real_accumulated_time / run.iterations;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  double seconds(const std::string& name) const {
    auto it = seconds_.find(name);
    return it == seconds_.end() ? 0.0 : it->second;
  }

 private:
  std::map<std::string, double> seconds_;
};

void print_ratio(const char* what, double numerator, double denominator, const char* target) {
  if (numerator <= 0.0 || denominator <= 0.0) return;
  std::printf("  %-34s %8.3f   (wanted %s)\n", what, numerator / denominator, target);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto t = [&reporter](const char* name) { return reporter.seconds(name); };
  const auto size = [](const std::string& path) { return static_cast<double>(fs::file_size(path)); };
  std::printf("\nRatios of this run (1000 materials unless named):\n");
  print_ratio("read store / read XML", t("BM_LoadStore/1000/iterations:3"), t("BM_LoadXml/1000/iterations:3"),
              "<= 1.0");
  print_ratio("write store / write XML", t("BM_WriteStore/1000/iterations:3"), t("BM_WriteXml/1000/iterations:3"),
              "<= 1.0");
  print_ratio("size store / size XML", size(store_file(1000)), size(xml_file(1000)), "<= 1.0");
  print_ratio("one of 1000 / whole store", t("BM_LoadOneOfStore/1000/iterations:3"),
              t("BM_LoadStore/1000/iterations:3"), "<= 0.05");
  print_ratio("load 4000 / load 1000", t("BM_LoadStore/4000/iterations:2"), t("BM_LoadStore/1000/iterations:3"),
              "<= 4.5");
  for (int count : {1000, 4000}) {
    std::remove(store_file(count).c_str());
  }
  std::remove(xml_file(1000).c_str());
  benchmark::Shutdown();
  return 0;
}
