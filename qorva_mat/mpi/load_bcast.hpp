// Collective loading for MPI programs: one rank reads a material file, every rank of the communicator gets its materials.
// Parsing is load_matbook.hpp's and load_hdf5.hpp's (from memory); starting and ending MPI is the caller's.
#pragma once

#include <mpi.h>

#include <memory>
#include <string>
#include <vector>

#include "qorva_mat/load_matbook.hpp"
#include "qorva_mat/material.hpp"
#include "qorva_mat/units.hpp"

namespace qorva_mat {

// Collective over `comm` (every rank calls it with the same `root`): rank `root` reads the Matbook
// file `path_on_root` once, with one open, and broadcasts its path, size and bytes (in pieces
// below MPI's 2 GiB count limit); then every rank loads the materials from those bytes into its
// own `materials` and `unit_system`, exactly as load_materials(path, ...) on that file would.
// `path_on_root` is read on the root only; other ranks may pass "". The corrections of the root's
// `options` apply on every rank. Returns the number of Material elements of the file.
// The outcome is the same on every rank: when loading fails anywhere, every rank throws the
// exception of the lowest failing rank, with the same type and what(), so no rank is left waiting
// in a later collective call. A file the root cannot open throws
// boost::property_tree::xml_parser_error "<path>: cannot open file" (a failed read: "read error")
// on every rank; a damaged file throws whatever load_materials throws for it, with messages that
// name `path_on_root`. Exceptions of other types than the loaders' arrive as std::runtime_error
// with the same what(). As with load_materials nothing is rolled back.
// Throws qorva_mat::runtime_error before any communication when MPI is not running, `comm` is
// MPI_COMM_NULL or an inter-communicator, or `root` is not a rank of `comm` (so every rank throws
// when all pass the same arguments); "<MPI function>: <MPI's text>" when an MPI call fails on a
// communicator whose error handler returns (with the default handler MPI aborts the job).
unsigned int load_materials_bcast(MPI_Comm comm, const std::string& path_on_root,
                                  std::vector<std::shared_ptr<Material>>& materials,
                                  std::shared_ptr<UnitSystem> unit_system, int root = 0);
unsigned int load_materials_bcast(MPI_Comm comm, const std::string& path_on_root,
                                  std::vector<std::shared_ptr<Material>>& materials,
                                  std::shared_ptr<UnitSystem> unit_system,
                                  const MatbookLoadOptions& options, int root = 0);

// The same for an HDF5 material store: rank `root` reads the store `path_on_root` once, and every
// rank appends its materials as load_materials_hdf5(path, materials) would. Returns 0 on every
// rank on success, and 0xFFFFFFFF on every rank when the root cannot read the file (a warning
// naming the path and the reason is logged on every rank) or when the store fails to load on any
// rank (HDF5's error stack then goes to the standard error of each rank where it failed). Other
// failures throw as load_materials_bcast does.
unsigned int load_materials_hdf5_bcast(MPI_Comm comm, const std::string& path_on_root,
                                       std::vector<std::shared_ptr<Material>>& materials,
                                       int root = 0);

}  // namespace qorva_mat
