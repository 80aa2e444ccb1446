// A test fixture with a fresh folder of its own, named after the running test, removed afterwards.
// What goes into the folder is left to each test.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <utility>

namespace qorva_test {

class TempDirTest : public ::testing::Test {
 protected:
  // `prefix` starts the folder name; the process id and the test's name follow, so parallel runs
  // of the same test never share a folder.
  explicit TempDirTest(std::string prefix) : prefix_(std::move(prefix)) {}

  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           (prefix_ + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  std::filesystem::path dir_;

 private:
  std::string prefix_;
};

}  // namespace qorva_test
