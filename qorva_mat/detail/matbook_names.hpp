// Constants and name lists that the Matbook reader and writer both use.
// Name tables and value decoding are matbook_format's; what the values mean, the loader's and writer's.
#pragma once

#include <string>
#include <vector>

namespace qorva_mat {
namespace detail {

// Degrees per radian: files hold shear angles in radians, property sets in degrees.
inline constexpr double kDegreesPerRadian = 57.29577951308232;

// String property of a material that carries its transfer id between file and library.
inline constexpr char kTransferIdKey[] = "QORVAHELMTransferID";

// The nine strength directions, in the order of the limit property sets' variables:
// "Tensile X direction", "Compressive X direction", ... "Shear XY", "Shear XZ", "Shear YZ".
// Never throws (apart from std::bad_alloc on the first call).
const std::vector<std::string>& direction_names();

// The six column names "D[*,1]" to "D[*,6]" of the anisotropic stiffness matrix.
const std::vector<std::string>& anisotropic_column_names();

}  // namespace detail
}  // namespace qorva_mat
