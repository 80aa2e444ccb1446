// Loads the example carbon/epoxy ply in an MPI job: rank 0 reads the Matbook file, every rank gets
// the materials by broadcast, updates them and queries E1 at a temperature of its own.
// Usage: mpirun -np 4 example_mpi_bcast_materials [data-dir | file.xml]
// Rank 0 prints one line per rank, in rank order, gathered from the ranks.
#include <mpi.h>

#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "qorva_mat/material.hpp"
#include "qorva_mat/mpi/load_bcast.hpp"

namespace {

const char* const kPly = "UD Carbon/Epoxy T300/914";

std::string file_of(int argc, char** argv) {
  const std::string arg = argc > 1 ? argv[1] : "examples";
  if (arg.size() > 4 && arg.compare(arg.size() - 4, 4, ".xml") == 0) return arg;
  return arg + "/ud_carbon_epoxy.xml";
}

// E1 in MPa of the ply at `celsius`; throws what the load or the query throws.
double e1_at(MPI_Comm comm, const std::string& path_on_root, double celsius) {
  std::vector<std::shared_ptr<qorva_mat::Material>> materials;
  qorva_mat::load_materials_bcast(comm, path_on_root, materials,
                                  qorva_mat::make_unit_system("MPA"));
  for (const auto& material : materials) {
    if (material->name() != kPly) continue;
    material->update();
    const auto point =
        std::make_pair(std::vector<std::string>{"Temperature"}, std::vector<double>{celsius});
    return material->at(qorva_mat::Material::PropertyType::engineering_constants)
        .query(point, "E1");
  }
  throw std::runtime_error(std::string("no material named ") + kPly);
}

}  // namespace

int main(int argc, char** argv) {
  MPI_Init(&argc, &argv);
  int rank = 0;
  int size = 0;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  MPI_Comm_size(MPI_COMM_WORLD, &size);
  const std::string path =
      rank == 0 ? file_of(argc, argv) : std::string();  // only rank 0 names the file
  const double celsius = 20.0 + 10.0 * rank;
  int status = 0;
  double e1 = 0.0;
  try {
    e1 = e1_at(MPI_COMM_WORLD, path, celsius);
  } catch (const std::exception& error) {
    // The same error reaches every rank; rank 0 reports it once.
    if (rank == 0) std::cerr << "example_mpi_bcast_materials: " << error.what() << '\n';
    status = 1;
  }
  std::vector<double> all(static_cast<std::size_t>(size));
  MPI_Gather(&e1, 1, MPI_DOUBLE, all.data(), 1, MPI_DOUBLE, 0, MPI_COMM_WORLD);
  if (rank == 0 && status == 0) {
    std::cout << kPly << ", read once on rank 0 and broadcast to " << size << " ranks:\n";
    for (int r = 0; r < size; ++r) {
      std::printf("  rank %d: E1(%g C) = %.1f MPa\n", r, 20.0 + 10.0 * r,
                  all[static_cast<std::size_t>(r)]);
    }
  }
  MPI_Finalize();
  return status;
}
