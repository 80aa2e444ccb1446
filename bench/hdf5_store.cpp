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
    auto copy =
        std::make_shared<Material>(*originals[static_cast<std::size_t>(i) % originals.size()]);
    copy->name(material_name(i));
    copy->set_string_property("QORVAHELMTransferID", "BENCH-" + std::to_string(i));
    materials.push_back(copy);
  }
  return materials;
}

std::string scratch(const std::string& name) {
  return (fs::temp_directory_path() / ("qorva_bench_" + name)).string();
}

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
    if (qorva_mat::load_materials_hdf5(path, loaded) != 0 ||
        loaded.size() != static_cast<std::size_t>(state.range(0))) {
      state.SkipWithError("load failed");
    }
  }
}

// The middle material of the store, by name.
void BM_LoadOneOfStore(benchmark::State& state) {
  const std::string& path = store_file(static_cast<int>(state.range(0)));
  const std::vector<std::string> names{material_name(static_cast<int>(state.range(0)) / 2)};
  for (auto _ : state) {
    materials_t loaded;
    if (qorva_mat::load_materials_hdf5(path, loaded, names) != 0 || loaded.size() != 1) {
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
BENCHMARK(BM_LoadOneOfStore)->Arg(1000)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadXml)->Arg(1000)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadStore)->Arg(4000)->Iterations(2)->Unit(benchmark::kMillisecond);

// Keeps the mean CPU and real time of every run for the ratio table, by the run's name without
// its "/iterations:N" part.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  struct Times {
    double cpu = 0.0;
    double real = 0.0;
  };
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.iterations <= 0) continue;
      std::string name = run.benchmark_name();
      name = name.substr(0, name.find("/iterations:"));
      const auto n = static_cast<double>(run.iterations);
      times_[name] = Times{run.cpu_accumulated_time / n, run.real_accumulated_time / n};
    }
    ConsoleReporter::ReportRuns(runs);
  }
  Times times(const std::string& name) const {
    auto it = times_.find(name);
    return it == times_.end() ? Times{} : it->second;
  }

 private:
  std::map<std::string, Times> times_;
};

// A ratio by CPU time (steady on a shared machine) and by wall-clock time.
void print_ratio(const char* what, RatioReporter::Times numerator, RatioReporter::Times denominator,
                 const char* target) {
  if (numerator.cpu <= 0.0 || denominator.cpu <= 0.0 || denominator.real <= 0.0) return;
  std::printf("  %-28s %8.3f %8.3f   (wanted %s)\n", what, numerator.cpu / denominator.cpu,
              numerator.real / denominator.real, target);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto t = [&reporter](const char* name) { return reporter.times(name); };
  const auto size = [](const std::string& path) {
    const auto bytes = static_cast<double>(fs::file_size(path));
    return RatioReporter::Times{bytes, bytes};
  };
  std::printf("\nRatios of this run (1000 materials unless named)   by CPU  by wall clock\n");
  print_ratio("read store / read XML", t("BM_LoadStore/1000"), t("BM_LoadXml/1000"), "<= 1.0");
  print_ratio("write store / write XML", t("BM_WriteStore/1000"), t("BM_WriteXml/1000"), "<= 1.0");
  print_ratio("size store / size XML", size(store_file(1000)), size(xml_file(1000)), "<= 1.0");
  print_ratio("one of 1000 / whole store", t("BM_LoadOneOfStore/1000"), t("BM_LoadStore/1000"),
              "<= 0.05");
  print_ratio("load 4000 / load 1000", t("BM_LoadStore/4000"), t("BM_LoadStore/1000"), "<= 4.5");
  for (int count : {1000, 4000}) {
    std::remove(store_file(count).c_str());
  }
  std::remove(xml_file(1000).c_str());
  benchmark::Shutdown();
  return 0;
}
