// Entry points that build each algorithm's model from a prepared point set.
// Checking names, tables, duplicates and NaN is left to the caller (interpolator.cpp); each builder checks only what its algorithm needs.
#pragma once

#include "qorva_gil/detail/model.hpp"

namespace qorva_gil {
namespace detail {

// Options of the triangulation-based linear model.
struct MeshOptions {
  bool project_to_hull = false;  // outside points: project onto the hull (true) or extrapolate
  bool use_cgal = false;         // triangulate with CGAL instead of Qhull
  // Walks in 2 and 3 variables with their loops unrolled (same answers); false
  // takes the general walk, which tests compare them with.
  bool unrolled_walks = true;
};

// Piecewise-linear model on a Delaunay triangulation of points (dim >= 2).
// Returns an error text for fewer than dim + 1 points, points in a
// lower-dimensional subspace, or a failed triangulation.
BuildResult build_linear_mesh(const PointSet& points, const MeshOptions& options);

// Nearest-neighbour model over a KD-tree (dim >= 1). Returns an error text for
// an empty point set.
BuildResult build_nearest(const PointSet& points);

// Most data points a radial basis model takes: its dense system of n + dim + 1
// unknowns needs about 32 MB and a second or so to solve at this size.
constexpr std::size_t kMaxRadialBasisPoints = 2000;

// Radial basis model: cubic kernel r^3 plus a linear polynomial (dim >= 1).
// Returns an error text when there are more than kMaxRadialBasisPoints points,
// when the points do not determine the linear part (fewer than dim + 1
// points, or all in a lower-dimensional subspace) or the system cannot be
// solved.
BuildResult build_radial_basis(const PointSet& points);

}  // namespace detail
}  // namespace qorva_gil
