// Replays every input the fuzzers (and reviews) found harmful, kept under tests/data/fuzz/<harness>/,
// through the same code the harnesses run; a crash or sanitizer report here is a regression.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/fuzz_targets.hpp"

namespace {

namespace fs = std::filesystem;

// The kept inputs of one harness, in name order.
std::vector<fs::path> reproducers(const std::string& harness) {
  std::vector<fs::path> files;
  const fs::path dir = fs::path(QORVA_TEST_DATA_DIR) / "fuzz" / harness;
  if (fs::is_directory(dir)) {
    for (const auto& entry : fs::directory_iterator(dir)) {
      if (entry.is_regular_file()) files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<std::uint8_t> bytes_of(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in),
                                   std::istreambuf_iterator<char>());
}

TEST(FuzzReproducers, MatbookInputsEndInDocumentedErrors) {
  for (const fs::path& file : reproducers("fuzz_matbook")) {
    SCOPED_TRACE(file.string());
    const auto data = bytes_of(file);
    qorva_fuzz::run_matbook(data.data(), data.size());
  }
}

TEST(FuzzReproducers, DamagedStoresEndInTheFailureValue) {
  // Only inputs that fail inside our code live here; stores that crash libhdf5 itself are
  // replayed through the qorva-mat program, which reads them in a child process.
  for (const fs::path& file : reproducers("fuzz_hdf5_store")) {
    SCOPED_TRACE(file.string());
    const auto data = bytes_of(file);
    ::testing::internal::CaptureStderr();
    qorva_fuzz::run_hdf5_store(data.data(), data.size());  // a crash or sanitizer report fails
    ::testing::internal::GetCapturedStderr();
  }
}

TEST(FuzzReproducers, EngineAnswersAreFiniteOrAnError) {
  for (const fs::path& file : reproducers("fuzz_engine")) {
    SCOPED_TRACE(file.string());
    const auto data = bytes_of(file);
    EXPECT_TRUE(qorva_fuzz::run_engine(data.data(), data.size()));
  }
}

}  // namespace
