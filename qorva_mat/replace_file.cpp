#include "qorva_mat/detail/replace_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#include "qorva_mat/error.hpp"
#include "qorva_mat/log.hpp"

namespace qorva_mat {
namespace detail {

namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail(const std::string& who, const char* what, const std::string& path,
                       int error) {
  const std::string message = who + ": cannot " + what + " " + path + ": " +
                              std::error_code(error, std::generic_category()).message();
  QORVA_LOG(warning) << message;
  throw runtime_error(message);
}

// The file a path stands for: a symbolic link is followed, so the link stays and the file it
// points to is replaced.
std::string resolve_target(const std::string& path) {
  std::error_code error;
  const fs::path p(path);
  if (!fs::is_symlink(p, error)) return path;
  const fs::path resolved = fs::weakly_canonical(p, error);
  return error ? path : resolved.string();
}

bool write_all(int fd, const std::string& bytes) {
  const char* data = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t written = ::write(fd, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    left -= static_cast<std::size_t>(written);
  }
  return true;
}

// Creates a new temporary file beside `target` holding `bytes`, synced; returns its name, or ""
// with errno set (nothing left behind).
std::string write_temporary(const std::string& target, const std::string& bytes) {
  int fd = -1;
  std::string name;
  for (unsigned attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    name = temporary_name_beside(target);
    fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return "";
  }
  if (fd < 0) return "";
  // A replaced file keeps its permissions.
  struct stat old_state;
  if (::stat(target.c_str(), &old_state) == 0 && S_ISREG(old_state.st_mode)) {
    ::fchmod(fd, old_state.st_mode & 07777);
  }
  int error = write_all(fd, bytes) && ::fsync(fd) == 0 ? 0 : errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error != 0) {
    ::unlink(name.c_str());
    errno = error;
    return "";
  }
  return name;
}

}  // namespace

std::string temporary_name_beside(const std::string& target) {
  static std::atomic<unsigned long long> serial{0};
  std::random_device device;
  const unsigned long long bits =
      ((static_cast<unsigned long long>(device()) << 32) | device()) ^ serial.fetch_add(1);
  char suffix[64];
  std::snprintf(suffix, sizeof suffix, ".tmp-%ld-%016llx", static_cast<long>(::getpid()), bits);
  const fs::path p(target);
  std::string name = p.filename().string();
  constexpr std::size_t kMaxName = 255;
  const std::size_t suffix_size = std::strlen(suffix);
  if (name.size() + suffix_size > kMaxName) name.resize(kMaxName - suffix_size);
  return (p.parent_path() / (name + suffix)).string();
}

void replace_file(const std::string& path, const std::string& bytes, const std::string& who) {
  if (path.empty()) fail(who, "write", path, ENOENT);
  const std::string target = resolve_target(path);
  if (fs::path(target).filename().empty()) fail(who, "write", path, EISDIR);
  if (::access(target.c_str(), F_OK) == 0 && ::access(target.c_str(), W_OK) != 0)
    fail(who, "write", path, errno);
  const std::string temporary = write_temporary(target, bytes);
  if (temporary.empty()) fail(who, "write", path, errno);
  if (::rename(temporary.c_str(), target.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    fail(who, "replace", path, error);
  }
}

}  // namespace detail
}  // namespace qorva_mat
