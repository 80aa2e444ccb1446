// libFuzzer harness: a small interpolation table, its settings and queries decoded from bytes.
#include "fuzz/fuzz_targets.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!qorva_fuzz::run_engine(data, size)) __builtin_trap();  // a non-finite answer without ERROR
  return 0;
}
