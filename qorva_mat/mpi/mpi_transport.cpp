// Broadcasts of bytes and strings, and one outcome for all ranks of a collective load.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <exception>
#include <string>

#include "qorva_mat/detail/mpi_transport.hpp"
#include "qorva_mat/error.hpp"

namespace qorva_mat {
namespace detail {

void check_mpi(int code, const char* operation) {
  if (code == MPI_SUCCESS) return;
  char text[MPI_MAX_ERROR_STRING];
  int length = 0;
  if (MPI_Error_string(code, text, &length) != MPI_SUCCESS) length = 0;
  throw runtime_error(std::string(operation) + ": " +
                      (length > 0 ? std::string(text, static_cast<std::size_t>(length))
                                  : "MPI error " + std::to_string(code)));
}

void bcast_bytes(MPI_Comm comm, int root, void* data, std::size_t size, std::size_t max_piece) {
  const std::size_t piece_limit =
      std::min<std::size_t>(std::max<std::size_t>(max_piece, 1), INT_MAX);
  char* at = static_cast<char*>(data);
  while (size > 0) {
    const std::size_t piece = std::min(size, piece_limit);
    check_mpi(MPI_Bcast(at, static_cast<int>(piece), MPI_BYTE, root, comm), "MPI_Bcast");
    at += piece;
    size -= piece;
  }
}

void bcast_string(MPI_Comm comm, int root, std::string& text) {
  std::uint64_t size = text.size();
  check_mpi(MPI_Bcast(&size, 1, MPI_UINT64_T, root, comm), "MPI_Bcast");
  int rank = 0;
  check_mpi(MPI_Comm_rank(comm, &rank), "MPI_Comm_rank");
  if (rank != root) text.assign(static_cast<std::size_t>(size), '\0');
  bcast_bytes(comm, root, &text[0], text.size());
}

unsigned int agree_on_outcome(MPI_Comm comm, const std::function<unsigned int()>& work) {
  int rank = 0;
  int size = 0;
  check_mpi(MPI_Comm_rank(comm, &rank), "MPI_Comm_rank");
  check_mpi(MPI_Comm_size(comm, &size), "MPI_Comm_size");
  std::exception_ptr failure;
  unsigned int result = 0;
  try {
    result = work();
  } catch (...) {
    failure = std::current_exception();
  }
  // One reduction answers both questions: the lowest failing rank (size when none failed) and,
  // negated so that MIN finds it, the largest result.
  long long outcome[2] = {failure ? rank : size, -static_cast<long long>(result)};
  check_mpi(MPI_Allreduce(MPI_IN_PLACE, outcome, 2, MPI_LONG_LONG, MPI_MIN, comm), "MPI_Allreduce");
  const int failed_rank = static_cast<int>(outcome[0]);
  if (failed_rank == size) return static_cast<unsigned int>(-outcome[1]);
  std::string encoded;
  if (rank == failed_rank) encoded = encode_exception(failure);
  bcast_string(comm, failed_rank, encoded);
  if (rank == failed_rank) std::rethrow_exception(failure);
  rethrow_encoded(encoded);
}

}  // namespace detail
}  // namespace qorva_mat
