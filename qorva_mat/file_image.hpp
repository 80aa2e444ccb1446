// FileImage: the bytes of a material file held by the caller, for the loaders that read memory instead of a path.
// Reading the bytes is left to load_matbook.hpp (a Matbook document) and load_hdf5.hpp (an HDF5 store image).
#pragma once

#include <cstddef>
#include <string>

namespace qorva_mat {

// A file's bytes held by the caller, for the loaders that read memory instead of a path.
// `name` only appears in messages (e.g. "<memory>" or the original path). Not owning: the bytes
// must stay valid and unchanged until the loader returns; the loaders never write to them.
struct FileImage {
  const void* data = nullptr;
  std::size_t size = 0;
  std::string name = "<memory>";
};

}  // namespace qorva_mat
