// Test helpers for files and programs: a file's bytes, a folder's entries, a command's output,
// a limit on the size of files.
// What the contents must be is left to each test.
#pragma once

#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace qorva_test {

// The bytes of `path`; "" when it cannot be opened.
inline std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The names in `dir`, sorted.
inline std::vector<std::string> entries_of(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// What `command` (run by the shell) writes to its standard output; "" when it cannot start.
inline std::string output_of(const std::string& command) {
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  std::array<char, 4096> buffer{};
  while (const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe))
    output.append(buffer.data(), n);
  ::pclose(pipe);
  return output;
}

// While alive, no file of this process can grow beyond `bytes` (as on a full disk). The first
// write past the limit fails with EFBIG and lifts the limit again through SIGXFSZ; hit() tells
// whether that happened since the limit was set.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    hit_ = 0;
    getrlimit(RLIMIT_FSIZE, &saved_limit_);
    old_handler_ = std::signal(SIGXFSZ, lift);
    rlimit limit = saved_limit_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_limit_);
    std::signal(SIGXFSZ, old_handler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  static bool hit() { return hit_ != 0; }

 private:
  static void lift(int) {
    setrlimit(RLIMIT_FSIZE, &saved_limit_);
    hit_ = 1;
  }

  static inline rlimit saved_limit_{};
  static inline volatile std::sig_atomic_t hit_ = 0;
  void (*old_handler_)(int) = SIG_DFL;
};

}  // namespace qorva_test
