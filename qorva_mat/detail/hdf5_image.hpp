// HDF5 files that live in memory: opening a caller's file image read-only without copying it, and
// naming in-memory files. What the files hold is left to load_hdf5 and write_hdf5.
#pragma once

#include <H5Cpp.h>

#include <string>

#include "qorva_mat/file_image.hpp"

namespace qorva_mat {
namespace detail {

// A file name for HDF5's core driver that no other open file of this process shares (HDF5 takes
// two in-memory files of one name for the same file) and that names no file on disk: it lies
// below /dev/null, which is not a directory. Never throws except std::bad_alloc.
std::string in_memory_file_name(const char* purpose);

// Opens `image` read-only through HDF5's core driver, reading the caller's bytes in place: they
// are neither copied nor written nor released. `image` must outlive the returned file and every
// object opened from it (HDF5 reads the bytes until the file is closed).
// Throws H5::FileIException for an image without data (null or size 0) and HDF5's exception when
// the bytes are no HDF5 file or are damaged where HDF5 opens it.
H5::H5File open_file_image(const FileImage& image);

// Reads the file at `path` whole into `bytes` when it is a regular file of at most `limit` bytes;
// false (and `bytes` empty) when it is not, or cannot be opened or read: the caller then lets HDF5
// open the path and report. Throws only std::bad_alloc.
bool read_small_file(const std::string& path, std::size_t limit, std::string& bytes);

// Recomputes the checksum of a version-2 or -3 superblock at the start of `image` (an image from
// H5Fget_file_image of a file open for writing): HDF5 1.10 clears the superblock's "open for
// writing" flag in the copy but keeps the checksum computed with the flag set, and then refuses
// the image. Other images are left as they are. Never throws.
void renew_superblock_checksum(std::string& image);

}  // namespace detail
}  // namespace qorva_mat
