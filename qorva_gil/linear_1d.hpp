// Piecewise-linear interpolation of a table in one variable, located by a branch-free binary search.
// Duplicate abscissae, clamping to ranges and names are checked by the caller before building.
#pragma once

#include "qorva_gil/model.hpp"

namespace qorva_gil {
namespace detail {

// Builds the model from a one-dimensional point set with at least two points
// and distinct abscissae (in any order). With `project` true a point beyond
// the ends takes the end value, otherwise the end segment is extrapolated.
// Returns an error text instead of a model for fewer than two points.
BuildResult build_linear_1d(const PointSet& points, bool project);

// Index i of the last element with xs[i] <= x among xs[0..n), or 0 when x is
// below xs[0] (and for NaN); n must be at least 1. No branches on the data.
inline std::size_t branch_free_search(const double* xs, std::size_t n, double x) {
  const double* base = xs;
  while (n > 1) {
    const std::size_t half = n / 2;
    base = (base[half] <= x) ? base + half : base;
    n -= half;
  }
  return static_cast<std::size_t>(base - xs);
}

}  // namespace detail
}  // namespace qorva_gil
