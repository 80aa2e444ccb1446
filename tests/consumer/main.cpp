// A program using the installed package the way an application would: converts a pressure,
// checks the version, and with the example file (argument 1) and a scratch path (argument 2)
// loads, queries, writes and re-reads materials, using HDF5's own classes alongside.
#include "qorva_mat/qorva_mat.hpp"

#include <cmath>
#include <cstring>
#include <iostream>
#include <memory>
#include <vector>

namespace {

int fail(const char* what) {
  std::cerr << "consumer: " << what << "\n";
  return 1;
}

int use_files(const char* example, const char* store) {
  std::vector<std::shared_ptr<qorva_mat::Material>> materials;
  if (qorva_mat::load_materials(example, materials, qorva_mat::make_unit_system("MPA")) != 2) {
    return fail("the example file does not hold two materials");
  }
  materials[0]->update();
  const double e1 =
      materials[0]->at("Engineering Constants").query({{"Temperature"}, {50.0}}, "E1");
  if (std::fabs(e1 - 133551.7241) > 1e-3) return fail("E1 at 50 C is wrong");
  if (qorva_mat::write_materials_hdf5(store, materials) != 0) return fail("writing HDF5 failed");
  H5::H5File file(store, H5F_ACC_RDONLY);
  if (!file.nameExists("Materials")) return fail("the store has no Materials group");
  file.close();
  std::vector<std::shared_ptr<qorva_mat::Material>> read;
  if (qorva_mat::load_materials_hdf5(store, read) != 0 || read.size() != 2) {
    return fail("reading HDF5 failed");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (std::strcmp(qorva_mat::version(), QORVA_MAT_VERSION_STRING) != 0) {
    return fail("library and header versions differ");
  }
  auto bin = qorva_mat::make_unit_system("BIN");
  auto si = qorva_mat::make_unit_system(qorva_mat::UnitSystem::SI);
  // Unit / Unit gives a Quantity (value = conversion factor); keep its unit.
  qorva_mat::Quantity psi(1.0, (qorva_mat::force(bin) / qorva_mat::length(bin).pow(2)).unit());
  if (std::fabs(psi.convert_to(si, false).value() - 6894.757) > 1e-3) return fail("psi in Pa");
  return argc == 3 ? use_files(argv[1], argv[2]) : 0;
}
