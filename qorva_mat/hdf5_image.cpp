#include "qorva_mat/detail/hdf5_image.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace qorva_mat {
namespace detail {

namespace {

// The core driver asks for a buffer and a copy of the image whenever the access list is set,
// copied or opened. These callbacks hand it the caller's bytes every time and refuse anything
// that would write to them, so a read-only open costs no copy. `udata` is the FileImage.
void* share_image(std::size_t size, H5FD_file_image_op_t op, void* udata) {
  const auto* image = static_cast<const FileImage*>(udata);
  const bool sharing = op == H5FD_FILE_IMAGE_OP_PROPERTY_LIST_SET ||
                       op == H5FD_FILE_IMAGE_OP_PROPERTY_LIST_COPY ||
                       op == H5FD_FILE_IMAGE_OP_FILE_OPEN;
  if (!sharing || size != image->size) return nullptr;
  return const_cast<void*>(image->data);
}

void* copy_nothing(void* dest, const void* src, std::size_t, H5FD_file_image_op_t, void*) {
  return dest == src ? dest : nullptr;  // both are the caller's bytes; anything else is refused
}

void* refuse_resize(void*, std::size_t, H5FD_file_image_op_t, void*) { return nullptr; }
herr_t release_nothing(void*, H5FD_file_image_op_t, void*) { return 0; }
void* share_udata(void* udata) { return udata; }
herr_t free_nothing(void*) { return 0; }

std::uint32_t rotate(std::uint32_t x, int k) { return (x << k) | (x >> (32 - k)); }

std::uint32_t little_endian_word(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// Bob Jenkins' lookup3 hash (hashlittle, initial value 0), HDF5's metadata checksum.
std::uint32_t metadata_checksum(const unsigned char* data, std::size_t length) {
  std::uint32_t a = 0xdeadbeefu + static_cast<std::uint32_t>(length);
  std::uint32_t b = a;
  std::uint32_t c = a;
  for (; length > 12; length -= 12, data += 12) {
    a += little_endian_word(data);
    b += little_endian_word(data + 4);
    c += little_endian_word(data + 8);
    a -= c;
    a ^= rotate(c, 4);
    c += b;
    b -= a;
    b ^= rotate(a, 6);
    a += c;
    c -= b;
    c ^= rotate(b, 8);
    b += a;
    a -= c;
    a ^= rotate(c, 16);
    c += b;
    b -= a;
    b ^= rotate(a, 19);
    a += c;
    c -= b;
    c ^= rotate(b, 4);
    b += a;
  }
  if (length == 0) return c;
  unsigned char tail[12] = {};
  std::memcpy(tail, data, length);
  a += little_endian_word(tail);
  b += little_endian_word(tail + 4);
  c += little_endian_word(tail + 8);
  c ^= b;
  c -= rotate(b, 14);
  a ^= c;
  a -= rotate(c, 11);
  b ^= a;
  b -= rotate(a, 25);
  c ^= b;
  c -= rotate(b, 16);
  a ^= c;
  a -= rotate(c, 4);
  b ^= a;
  b -= rotate(a, 14);
  c ^= b;
  c -= rotate(b, 24);
  return c;
}

}  // namespace

void renew_superblock_checksum(std::string& image) {
  // Version 2 and 3 superblocks: signature (8), version, offset size, length size, status flags,
  // four addresses of `offset size` bytes, then the checksum of everything before it.
  if (image.size() < 12) return;
  const auto* bytes = reinterpret_cast<const unsigned char*>(image.data());
  const unsigned version = bytes[8];
  const std::size_t covered = 12 + 4 * static_cast<std::size_t>(bytes[9]);
  if ((version != 2 && version != 3) || image.size() < covered + 4) return;
  const std::uint32_t sum = metadata_checksum(bytes, covered);
  for (int i = 0; i < 4; ++i) image[covered + i] = static_cast<char>((sum >> (8 * i)) & 0xFF);
}

bool read_small_file(const std::string& path, std::size_t limit, std::string& bytes) {
  bytes.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  bool whole = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0 &&
               static_cast<std::uint64_t>(info.st_size) <= limit;
  if (whole) {
    bytes.resize(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    while (whole && done < bytes.size()) {
      const ssize_t n = ::read(fd, &bytes[done], bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0)
        whole = false;  // an error, or the file shrank while it was read
      else
        done += static_cast<std::size_t>(n);
    }
  }
  ::close(fd);
  if (!whole) bytes.clear();
  return whole;
}

std::string in_memory_file_name(const char* purpose) {
  static std::atomic<unsigned long long> serial{0};
  return std::string("/dev/null/qorva-mat-") + purpose + "-" + std::to_string(::getpid()) + "-" +
         std::to_string(serial.fetch_add(1));
}

H5::H5File open_file_image(const FileImage& image) {
  if (image.data == nullptr || image.size == 0) {
    throw H5::FileIException("open_file_image", "the file image " + image.name + " holds no bytes");
  }
  H5::FileAccPropList access;
  access.setCore(1 << 16, false);
  H5FD_file_image_callbacks_t callbacks{share_image,
                                        copy_nothing,
                                        refuse_resize,
                                        release_nothing,
                                        share_udata,
                                        free_nothing,
                                        const_cast<FileImage*>(&image)};
  if (H5Pset_file_image_callbacks(access.getId(), &callbacks) < 0 ||
      H5Pset_file_image(access.getId(), const_cast<void*>(image.data), image.size) < 0) {
    throw H5::FileIException("open_file_image", "HDF5 refused the file image " + image.name);
  }
  return H5::H5File(in_memory_file_name("image"), H5F_ACC_RDONLY, H5::FileCreatPropList::DEFAULT,
                    access);
}

}  // namespace detail
}  // namespace qorva_mat
