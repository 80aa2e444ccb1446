// libFuzzer harness: arbitrary bytes as an HDF5 material store for load_materials_hdf5.
// libhdf5 itself is not instrumented: coverage counts only our code.
#include "fuzz/fuzz_targets.hpp"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  qorva_fuzz::silence_logging();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qorva_fuzz::run_hdf5_store(data, size);
  return 0;
}
