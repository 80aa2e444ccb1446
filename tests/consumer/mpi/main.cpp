// Loads the Matbook file named on the command line through the installed MPI component and
// checks that materials arrived; run as a single process (MPI's singleton start).
#include <iostream>
#include <memory>
#include <vector>

#include "qorva_mat/mpi/load_bcast.hpp"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  MPI_Init(&argc, &argv);
  int status = 1;
  try {
    std::vector<std::shared_ptr<qorva_mat::Material>> materials;
    const unsigned int count = qorva_mat::load_materials_bcast(MPI_COMM_WORLD, argv[1], materials,
                                                               qorva_mat::make_unit_system("MPA"));
    std::cout << count << " materials\n";
    status = count > 0 && materials.size() == count ? 0 : 1;
  } catch (const std::exception& error) {
    std::cerr << error.what() << '\n';
  }
  MPI_Finalize();
  return status;
}
