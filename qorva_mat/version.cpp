#include "qorva_mat/version.hpp"

namespace qorva_mat {

const char* version() noexcept { return QORVA_MAT_VERSION_STRING; }

}  // namespace qorva_mat
