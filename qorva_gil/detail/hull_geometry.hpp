// Closest point of a simplex to a point, for projecting onto and extrapolating from the convex hull.
// Choosing which hull facets to try is left to the caller.
#pragma once

#include <cstddef>
#include <vector>

namespace qorva_gil {
namespace detail {

// Closest point to y (dim coordinates) of the simplex spanned by the given
// corners (1 to dim + 1 points of dim coordinates, at most 12), written to out. Returns
// the squared distance; never fails (flat faces are skipped, a corner is
// always a candidate).
double closest_point_on_simplex(const std::vector<const double*>& corners, std::size_t dim,
                                const double* y, double* out);

}  // namespace detail
}  // namespace qorva_gil
