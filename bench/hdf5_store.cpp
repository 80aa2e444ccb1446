// Write and load throughput of the HDF5 material store for lists of realistic materials.
// Each material: string properties, constant density, elasticity over 10 temperatures with field
// units, and strength limits over 2 x 5 (temperature, shear angle) points.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "qorva_mat/load_hdf5.hpp"
#include "qorva_mat/material.hpp"
#include "qorva_mat/property_set.hpp"
#include "qorva_mat/units.hpp"
#include "qorva_mat/write_hdf5.hpp"

namespace {

using qorva_mat::GilOptions;
using qorva_mat::Material;
using qorva_mat::PropertySet;
using materials_t = std::vector<std::shared_ptr<Material>>;

qorva_mat::Unit unit(const char* system, short l, short m, short t, short temp) {
  return qorva_mat::Unit(qorva_mat::make_unit_system(system), qorva_mat::units::exponent_vec_t{{l, m, t, temp, 0, 0}});
}

std::shared_ptr<Material> make_material(int i) {
  auto material = std::make_shared<Material>();
  material->name("Material number " + std::to_string(i));
  material->set_string_property("Ply Type", "regular");
  material->set_string_property("Source", "benchmark");

  auto density = std::make_shared<PropertySet>("Density", std::vector<std::string>{"rho"});
  density->set({}, {}, {}, {}, {{1500.0 + i}}, GilOptions(), false);
  material->add_property_set(density);

  auto elastic = std::make_shared<PropertySet>("Engineering Constants",
                                               std::vector<std::string>{"E1", "E2", "E3", "G12", "G23", "G13", "nu12", "nu23", "nu13"});
  PropertySet::table_t temps, values;
  for (int t = 0; t < 10; ++t) {
    temps.push_back({20.0 + 10.0 * t});
    values.push_back({140000.0 - t, 9000.0, 9000.0, 5000.0, 3000.0, 5000.0, 0.3, 0.4, 0.3});
  }
  elastic->set({"Temperature"}, temps, {{20.0, 110.0}}, {22.0}, values, GilOptions(), false);
  elastic->set_string_property("Behavior", "Orthotropic");
  std::vector<qorva_mat::Unit> units{unit("MKS", 0, 0, 0, 1)};
  for (int k = 0; k < 9; ++k) units.push_back(k < 6 ? unit("MPA", -1, 1, -2, 0) : unit("SI", 0, 0, 0, 0));
  elastic->field_units(units);
  material->add_property_set(elastic);

  auto strength = std::make_shared<PropertySet>("Stress Limits", std::vector<std::string>{"Xt", "Xc", "Yt", "Yc", "S"});
  PropertySet::table_t points, limits;
  for (int t = 0; t < 2; ++t) {
    for (int a = 0; a < 5; ++a) {
      points.push_back({20.0 + 60.0 * t, 0.1 * a});
      limits.push_back({2000.0 - a, 1500.0, 50.0, 200.0, 80.0});
    }
  }
  strength->set({"Temperature", "Shear Angle"}, points, {{20.0, 80.0}, {0.0, 0.4}}, {20.0, 0.0}, limits, GilOptions(), false);
  strength->field_units({unit("BIN", 0, 0, 0, 1), unit("SI", 0, 0, 0, 0)});
  material->add_property_set(strength);
  return material;
}

materials_t make_materials(int count) {
  materials_t materials;
  for (int i = 0; i < count; ++i) materials.push_back(make_material(i));
  return materials;
}

std::string bench_path(const char* name) {
  return (std::filesystem::temp_directory_path() / name).string();
}

void BM_WriteMaterials(benchmark::State& state) {
  materials_t materials = make_materials(static_cast<int>(state.range(0)));
  const std::string path = bench_path("qorva_bench_write.h5");
  for (auto _ : state) {
    if (qorva_mat::write_materials_hdf5(path, materials) != 0) state.SkipWithError("write failed");
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.counters["file_kB"] = static_cast<double>(std::filesystem::file_size(path)) / 1024.0;
  std::filesystem::remove(path);
}

void BM_LoadMaterials(benchmark::State& state) {
  materials_t materials = make_materials(static_cast<int>(state.range(0)));
  const std::string path = bench_path("qorva_bench_load.h5");
  if (qorva_mat::write_materials_hdf5(path, materials) != 0) state.SkipWithError("write failed");
  for (auto _ : state) {
    materials_t loaded;
    loaded.reserve(materials.size());
    if (qorva_mat::load_materials_hdf5(path, loaded) != 0 || loaded.size() != materials.size()) {
      state.SkipWithError("load failed");
    }
    benchmark::DoNotOptimize(loaded.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  std::filesystem::remove(path);
}

BENCHMARK(BM_WriteMaterials)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);
// 1000 and 4000 materials: the load time must grow linearly (members are listed once, not looked
// up by index, which made it quadratic).
BENCHMARK(BM_LoadMaterials)->Arg(100)->Arg(1000)->Arg(4000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
