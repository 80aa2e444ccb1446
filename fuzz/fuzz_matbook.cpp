// libFuzzer harness: arbitrary bytes as a Matbook XML file for load_materials.
#include "fuzz/fuzz_targets.hpp"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  qorva_fuzz::silence_logging();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qorva_fuzz::run_matbook(data, size);
  return 0;
}
