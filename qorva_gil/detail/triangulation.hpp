// Delaunay triangulations of a point set as plain index tables, from Qhull or from CGAL.
// Locating points and interpolating on the simplices is left to linear_mesh.cpp.
#pragma once

#include <string>
#include <vector>

#include "qorva_gil/detail/model.hpp"

namespace qorva_gil {
namespace detail {

// Simplex s has vertices simplices[s*(dim+1) + j] (indices into the point
// set) and across the facet opposite its vertex j the simplex
// neighbors[s*(dim+1) + j], or -1 on the convex hull. Empty with a non-empty
// `error` when the triangulation failed.
struct Triangulation {
  std::size_t dim = 0;
  std::vector<int> simplices;
  std::vector<int> neighbors;
  std::string error;

  std::size_t size() const { return dim == 0 ? 0 : simplices.size() / (dim + 1); }
};

// Delaunay triangulation with libqhull_r ("d Qt Qbb Qc Qz"). Cospherical
// points (regular grids) are triangulated; sets whose points lie in a
// lower-dimensional subspace give an error with Qhull's own explanation.
Triangulation triangulate_qhull(const PointSet& points);

// Delaunay triangulation with CGAL's exact-predicates kernel
// (Delaunay_triangulation_2 / _3, the dD triangulation above 3 dimensions).
// Degenerate sets give an error.
Triangulation triangulate_cgal(const PointSet& points);

}  // namespace detail
}  // namespace qorva_gil
