// libFuzzer harness: arbitrary bytes as an HDF5 material store for load_materials_hdf5.
// libhdf5 itself is not instrumented: coverage counts only our code.
#include "fuzz/fuzz_targets.hpp"

// libhdf5 asks malloc for sizes read from the file and handles a null result; without this the
// sanitizer would stop at such a request. libhdf5 also leaks on some error paths, which are not
// ours to fix (our own leaks are caught by the test suite).
extern "C" const char* __asan_default_options() {
  return "allocator_may_return_null=1:detect_leaks=0";
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  qorva_fuzz::silence_logging();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qorva_fuzz::run_hdf5_store(data, size);
  return 0;
}
