// Collective loading: the root reads the file's bytes once, every rank loads from memory.
#include "qorva_mat/mpi/load_bcast.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <boost/property_tree/xml_parser.hpp>
#include <boost/throw_exception.hpp>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "qorva_mat/detail/mpi_transport.hpp"
#include "qorva_mat/error.hpp"
#include "qorva_mat/file_image.hpp"
#include "qorva_mat/load_hdf5.hpp"
#include "qorva_mat/log.hpp"

namespace qorva_mat {
namespace {

// What the root found when reading the file; sent to every rank ahead of the bytes.
enum class ReadStatus : std::uint64_t { ok = 0, cannot_open = 1, read_error = 2, threw = 3 };

struct SharedFile {
  ReadStatus status = ReadStatus::ok;
  std::vector<char> bytes;
  std::string name;    // the root's path, so that every rank's messages name the file alike
  std::string reason;  // why the root could not read it
  std::uint64_t flags = 0;
};

// The whole file with one open and reads until its end; `reason` is errno's text on failure.
ReadStatus read_whole_file(const std::string& path, std::vector<char>& bytes, std::string& reason) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    reason = std::strerror(errno);
    return ReadStatus::cannot_open;
  }
  struct stat info {};
  if (::fstat(fd, &info) == 0 && info.st_size > 0)
    bytes.reserve(static_cast<std::size_t>(info.st_size));
  ReadStatus status = ReadStatus::ok;
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      reason = std::strerror(errno);
      status = ReadStatus::read_error;
      break;
    }
    bytes.insert(bytes.end(), buffer, buffer + got);
  }
  ::close(fd);
  return status;
}

void check_arguments(MPI_Comm comm, int root, const char* function) {
  int initialized = 0;
  int finalized = 0;
  MPI_Initialized(&initialized);
  MPI_Finalized(&finalized);
  const std::string where = std::string("load_bcast: ") + function + ": ";
  if (!initialized || finalized) throw runtime_error(where + "MPI is not running.");
  if (comm == MPI_COMM_NULL) throw runtime_error(where + "the communicator is MPI_COMM_NULL.");
  int inter = 0;
  detail::check_mpi(MPI_Comm_test_inter(comm, &inter), "MPI_Comm_test_inter");
  if (inter) throw runtime_error(where + "an inter-communicator has no single root.");
  int size = 0;
  detail::check_mpi(MPI_Comm_size(comm, &size), "MPI_Comm_size");
  if (root < 0 || root >= size) {
    throw runtime_error(where + "root " + std::to_string(root) +
                        " is not a rank of the communicator (size " + std::to_string(size) + ").");
  }
}

// Every rank but the root makes room for `size` bytes; when any rank cannot, all throw bad_alloc
// before the bytes are sent, so nobody waits for a rank that left.
void make_room(MPI_Comm comm, bool is_root, std::uint64_t size, std::vector<char>& bytes) {
  int failed = 0;
  if (!is_root) {
    try {
      bytes.resize(static_cast<std::size_t>(size));
    } catch (const std::exception&) {
      failed = 1;
    }
  }
  detail::check_mpi(MPI_Allreduce(MPI_IN_PLACE, &failed, 1, MPI_INT, MPI_MAX, comm),
                    "MPI_Allreduce");
  if (failed) throw std::bad_alloc();
}

// Root: reads `path`; every rank: ends with the root's status, path, flags and bytes. An exception
// on the root while reading is raised on every rank.
SharedFile share_file(MPI_Comm comm, int root, const std::string& path, std::uint64_t flags) {
  int rank = 0;
  detail::check_mpi(MPI_Comm_rank(comm, &rank), "MPI_Comm_rank");
  SharedFile file;
  std::exception_ptr failure;
  if (rank == root) {
    file.name = path;
    try {
      file.status = read_whole_file(path, file.bytes, file.reason);
    } catch (...) {
      failure = std::current_exception();
      file.status = ReadStatus::threw;
      file.reason = detail::encode_exception(failure);
    }
  }
  std::uint64_t header[3] = {static_cast<std::uint64_t>(file.status), file.bytes.size(), flags};
  detail::check_mpi(MPI_Bcast(header, 3, MPI_UINT64_T, root, comm), "MPI_Bcast");
  file.status = static_cast<ReadStatus>(header[0]);
  file.flags = header[2];
  detail::bcast_string(comm, root, file.name);
  if (file.status != ReadStatus::ok) {
    detail::bcast_string(comm, root, file.reason);
    if (failure) std::rethrow_exception(failure);
    if (file.status == ReadStatus::threw) detail::rethrow_encoded(file.reason);
    return file;
  }
  make_room(comm, rank == root, header[1], file.bytes);
  detail::bcast_bytes(comm, root, file.bytes.data(), file.bytes.size());
  QORVA_LOG(debug) << "load_bcast: rank " << rank << " holds the " << file.bytes.size()
                   << " bytes of " << file.name << " read on rank " << root << ".";
  return file;
}

FileImage image_of(const SharedFile& file) {
  static const char empty = '\0';  // an empty file still has an address
  return FileImage{file.bytes.empty() ? &empty : file.bytes.data(), file.bytes.size(), file.name};
}

std::uint64_t flags_of(const MatbookLoadOptions& options) {
  return (options.keep_unit_factors ? 1u : 0u) | (options.extended_unit_symbols ? 2u : 0u);
}

MatbookLoadOptions options_of(std::uint64_t flags) {
  MatbookLoadOptions options;
  options.keep_unit_factors = (flags & 1u) != 0;
  options.extended_unit_symbols = (flags & 2u) != 0;
  return options;
}

}  // namespace

unsigned int load_materials_bcast(MPI_Comm comm, const std::string& path_on_root,
                                  std::vector<std::shared_ptr<Material>>& materials,
                                  std::shared_ptr<UnitSystem> unit_system, int root) {
  return load_materials_bcast(comm, path_on_root, materials, std::move(unit_system),
                              MatbookLoadOptions(), root);
}

unsigned int load_materials_bcast(MPI_Comm comm, const std::string& path_on_root,
                                  std::vector<std::shared_ptr<Material>>& materials,
                                  std::shared_ptr<UnitSystem> unit_system,
                                  const MatbookLoadOptions& options, int root) {
  check_arguments(comm, root, "load_materials_bcast");
  const SharedFile file = share_file(comm, root, path_on_root, flags_of(options));
  if (file.status != ReadStatus::ok) {
    // What the XML reader raises for the same file, so a direct load and this one fail alike.
    boost::throw_exception(boost::property_tree::xml_parser_error(
        file.status == ReadStatus::cannot_open ? "cannot open file" : "read error", file.name, 0));
  }
  const MatbookLoadOptions used = options_of(file.flags);
  return detail::agree_on_outcome(
      comm, [&] { return load_materials(image_of(file), materials, unit_system, used); });
}

unsigned int load_materials_hdf5_bcast(MPI_Comm comm, const std::string& path_on_root,
                                       std::vector<std::shared_ptr<Material>>& materials,
                                       int root) {
  check_arguments(comm, root, "load_materials_hdf5_bcast");
  const SharedFile file = share_file(comm, root, path_on_root, 0);
  if (file.status != ReadStatus::ok) {
    QORVA_LOG(warning) << "load_materials_hdf5_bcast: cannot read " << file.name << " on rank "
                       << root << ": " << file.reason;
    return 0xFFFFFFFFu;
  }
  return detail::agree_on_outcome(comm,
                                  [&] { return load_materials_hdf5(image_of(file), materials); });
}

}  // namespace qorva_mat
