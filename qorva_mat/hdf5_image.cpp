#include "qorva_mat/detail/hdf5_image.hpp"

#include <unistd.h>

#include <atomic>

namespace qorva_mat {
namespace detail {

namespace {

// The core driver asks for a buffer and a copy of the image whenever the access list is set,
// copied or opened. These callbacks hand it the caller's bytes every time and refuse anything
// that would write to them, so a read-only open costs no copy. `udata` is the FileImage.
void* share_image(std::size_t size, H5FD_file_image_op_t op, void* udata) {
  const auto* image = static_cast<const FileImage*>(udata);
  const bool sharing = op == H5FD_FILE_IMAGE_OP_PROPERTY_LIST_SET ||
                       op == H5FD_FILE_IMAGE_OP_PROPERTY_LIST_COPY || op == H5FD_FILE_IMAGE_OP_FILE_OPEN;
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

}  // namespace

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
  H5FD_file_image_callbacks_t callbacks{share_image, copy_nothing,  refuse_resize,
                                        release_nothing, share_udata, free_nothing,
                                        const_cast<FileImage*>(&image)};
  if (H5Pset_file_image_callbacks(access.getId(), &callbacks) < 0 ||
      H5Pset_file_image(access.getId(), const_cast<void*>(image.data), image.size) < 0) {
    throw H5::FileIException("open_file_image", "HDF5 refused the file image " + image.name);
  }
  return H5::H5File(in_memory_file_name("image"), H5F_ACC_RDONLY, H5::FileCreatPropList::DEFAULT, access);
}

}  // namespace detail
}  // namespace qorva_mat
