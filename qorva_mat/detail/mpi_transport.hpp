// Internal pieces of the MPI component: byte and string broadcasts, one outcome for all ranks, and
// exceptions turned into bytes and back. What is loaded, and from where, is left to mpi/load_bcast.
#pragma once

#include <mpi.h>

#include <cstddef>
#include <exception>
#include <functional>
#include <string>

namespace qorva_mat {
namespace detail {

// Largest piece one MPI_Bcast carries: MPI counts are int, so a piece stays well below 2 GiB.
constexpr std::size_t kMaxBcastPiece = std::size_t(1) << 30;

// Throws qorva_mat::runtime_error "<operation>: <MPI's error text>" unless `code` is MPI_SUCCESS
// (only reached when the communicator's error handler returns instead of aborting).
void check_mpi(int code, const char* operation);

// Sends `size` bytes at `data` from `root` to every rank of `comm`, in pieces of at most
// `max_piece` bytes (0 counts as 1); every rank passes the same size and room for it. Throws as
// check_mpi.
void bcast_bytes(MPI_Comm comm, int root, void* data, std::size_t size,
                 std::size_t max_piece = kMaxBcastPiece);

// Replaces `text` on every rank but `root` by root's `text`: its size first, then its bytes.
// Throws as check_mpi, and std::bad_alloc when a rank cannot hold the text (that rank alone:
// use only for texts that are small).
void bcast_string(MPI_Comm comm, int root, std::string& text);

// Runs `work` on every rank of `comm` and makes the outcome collective: when every rank
// succeeds, returns the largest result of all ranks; when any rank throws, every rank throws the
// exception of the lowest failing rank (that rank rethrows its own, the others a rebuilt one,
// see encode_exception). Nothing the work did is undone. Throws as check_mpi.
unsigned int agree_on_outcome(MPI_Comm comm, const std::function<unsigned int()>& work);

// `error` (not null) as bytes from which rethrow_encoded rebuilds an exception in another process:
// the same type and what() for the library's own errors, the Boost property-tree, lexical-cast and
// tokenizer errors the loaders pass on, HDF5's H5::Exception and the standard exceptions of
// <stdexcept> and <new>. Other std::exception types become std::runtime_error with their what(),
// anything else a qorva_mat::runtime_error saying so.
std::string encode_exception(const std::exception_ptr& error);

// Throws the exception `encoded` describes. Throws qorva_mat::runtime_error "mpi: malformed
// exception record." when `encoded` did not come from encode_exception.
[[noreturn]] void rethrow_encoded(const std::string& encoded);

}  // namespace detail
}  // namespace qorva_mat
