// Loading and saving material files for Python, and property sets built from tables.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <unistd.h>
#include <filesystem>
#include <random>

#include "python/src/bindings.hpp"
#include "qorva_mat/load_matbook.hpp"
#include "tools/material_files.hpp"

namespace py = pybind11;
namespace fs = std::filesystem;
using qorva_mat::PropertySet;

namespace qorva_py {
namespace {

// A fresh file name in the temporary directory.
std::string scratch_name(const std::string& extension) {
  std::random_device rd;
  const std::string name =
      "qorva-mat-py-" + std::to_string(::getpid()) + "-" + std::to_string(rd()) + extension;
  return (fs::temp_directory_path() / name).string();
}

std::vector<MaterialHandle> load(const std::string& path, const std::string& units,
                                 const std::string& from_units) {
  qorva_cli::MaterialFile file;
  {
    py::gil_scoped_release unlocked;
    file = qorva_cli::load_material_file(path, {units, from_units});
    for (auto& material : file.materials) material->update();
  }
  std::vector<MaterialHandle> handles;
  for (auto& material : file.materials) handles.push_back({material, file.system});
  return handles;
}

void save(const std::vector<MaterialHandle>& handles, const std::string& path,
          const std::string& units) {
  qorva_cli::format_from_extension(path);  // an unknown extension fails before anything is written
  qorva_cli::MaterialFile file;
  for (const auto& h : handles) {
    if (!h.system)
      throw py::value_error("the unit system of material '" + h.material->name() +
                            "' is not known");
    if (file.system && file.system->type() != h.system->type()) {
      throw py::value_error("the materials are expressed in different unit systems (" +
                            file.system->zepl_type_str() + ", " + h.system->zepl_type_str() +
                            "); save them separately");
    }
    file.system = h.system;
    file.materials.push_back(h.material);
  }
  if (!file.system) file.system = qorva_cli::unit_system_by_name(units.empty() ? "SI" : units);
  py::gil_scoped_release unlocked;
  if (!units.empty() && qorva_cli::unit_system_by_name(units)->type() != file.system->type()) {
    // Converted as the program's convert command does: a store that records its system, read
    // back in the target system.
    const std::string scratch = scratch_name(".h5");
    std::shared_ptr<void> remove_scratch(nullptr, [&scratch](void*) {
      std::error_code ignored;
      fs::remove(scratch, ignored);
    });
    qorva_cli::save_material_file(scratch, file);
    file = qorva_cli::load_material_file(scratch, {units, ""});
  }
  qorva_cli::save_material_file(path, file);
}

std::string algorithm_name(const std::string& algorithm) {
  using qorva_gil::AlgorithmTypeEnum;
  if (algorithm == "linear")
    return AlgorithmTypeEnum::enum_str(AlgorithmTypeEnum::LINEAR_MULTIVARIATE);
  if (algorithm == "nearest")
    return AlgorithmTypeEnum::enum_str(AlgorithmTypeEnum::NEAREST_NEIGHBOR);
  if (algorithm == "radial_basis")
    return AlgorithmTypeEnum::enum_str(AlgorithmTypeEnum::RADIAL_BASIS);
  throw py::value_error("unknown algorithm '" + algorithm +
                        "'; use 'linear', 'nearest' or 'radial_basis'");
}

// Columns are one vector per variable; the package's from_table checks names and shapes first.
SetHandle from_columns(const std::string& name, const std::vector<std::string>& independent_names,
                       const PropertySet::table_t& independent,
                       const std::vector<std::string>& dependent_names,
                       const PropertySet::table_t& dependent, const std::string& algorithm,
                       const PropertySet::ranges_t& ranges, const std::vector<double>& defaults,
                       bool normalized, bool cached,
                       const std::shared_ptr<qorva_mat::UnitSystem>& units) {
  const std::string engine_algorithm = algorithm_name(algorithm);
  auto set = std::make_shared<PropertySet>(name, dependent_names);
  if (independent_names.empty()) {
    std::vector<double> row;
    for (const auto& column : dependent) row.push_back(column.at(0));
    set->set({}, {}, {}, {}, {row}, engine_algorithm, cached, normalized, false);
  } else {
    set->set(independent_names, independent, ranges, defaults, dependent, engine_algorithm, cached,
             normalized, true);
  }
  {
    py::gil_scoped_release unlocked;
    set->update();
  }
  return {set, units};
}

}  // namespace

void register_files(py::module_& m) {
  m.def("_load", &load, py::arg("path"), py::arg("units"), py::arg("from_units"));
  m.def("_save", &save, py::arg("materials"), py::arg("path"), py::arg("units"));
  m.def("_from_columns", &from_columns);
}

}  // namespace qorva_py
