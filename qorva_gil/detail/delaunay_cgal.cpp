// Delaunay triangulation with CGAL's exact-predicates kernel. Kept in one file: it compiles slowly.
// CGAL's internal consistency checks make debug builds unusably slow; the exact predicates stay.
#ifndef CGAL_NDEBUG
#define CGAL_NDEBUG
#endif
#include <CGAL/Delaunay_triangulation.h>
#include <CGAL/Delaunay_triangulation_2.h>
#include <CGAL/Delaunay_triangulation_3.h>
#include <CGAL/Delaunay_triangulation_cell_base_3.h>
#include <CGAL/Epick_d.h>
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Triangulation_cell_base_with_info_3.h>
#include <CGAL/Triangulation_data_structure.h>
#include <CGAL/Triangulation_face_base_with_info_2.h>
#include <CGAL/Triangulation_full_cell.h>
#include <CGAL/Triangulation_vertex.h>
#include <CGAL/Triangulation_vertex_base_with_info_2.h>
#include <CGAL/Triangulation_vertex_base_with_info_3.h>

#include "qorva_gil/detail/triangulation.hpp"

namespace qorva_gil {
namespace detail {
namespace {

using K = CGAL::Exact_predicates_inexact_constructions_kernel;

using Delaunay2 = CGAL::Delaunay_triangulation_2<
    K, CGAL::Triangulation_data_structure_2<CGAL::Triangulation_vertex_base_with_info_2<int, K>,
                                            CGAL::Triangulation_face_base_with_info_2<int, K>>>;

using Delaunay3 = CGAL::Delaunay_triangulation_3<
    K,
    CGAL::Triangulation_data_structure_3<CGAL::Triangulation_vertex_base_with_info_3<int, K>,
                                         CGAL::Triangulation_cell_base_with_info_3<
                                             int, K, CGAL::Delaunay_triangulation_cell_base_3<K>>>>;

using KD = CGAL::Epick_d<CGAL::Dynamic_dimension_tag>;
using DelaunayD = CGAL::Delaunay_triangulation<
    KD, CGAL::Triangulation_data_structure<CGAL::Dynamic_dimension_tag,
                                           CGAL::Triangulation_vertex<KD, int>,
                                           CGAL::Triangulation_full_cell<KD, int>>>;

std::string degenerate_text(std::size_t dim, int reached) {
  return "the data points lie in a " + std::to_string(reached) + "-dimensional subspace of the " +
         std::to_string(dim) +
         " varying variables (for example all on one line); they cannot be triangulated";
}

// Numbers the finite cells, then copies their vertices and neighbours into t.
template <class Tri, class Cells>
void collect(const Tri& dt, Cells cells, std::size_t dim, Triangulation& t) {
  int count = 0;
  for (auto c : cells) c->info() = count++;
  for (auto c : cells)
    for (std::size_t j = 0; j <= dim; ++j) {
      t.simplices.push_back(c->vertex(static_cast<int>(j))->info());
      const auto n = c->neighbor(static_cast<int>(j));
      t.neighbors.push_back(dt.is_infinite(n) ? -1 : n->info());
    }
}

void triangulate_2(const PointSet& points, Triangulation& t) {
  std::vector<std::pair<K::Point_2, int>> input;
  for (std::size_t i = 0; i < points.count; ++i)
    input.emplace_back(K::Point_2(points.point(i)[0], points.point(i)[1]), static_cast<int>(i));
  Delaunay2 dt(input.begin(), input.end());
  if (dt.dimension() < 2) {
    t.error = degenerate_text(2, dt.dimension());
    return;
  }
  collect(dt, dt.finite_face_handles(), 2, t);
}

void triangulate_3(const PointSet& points, Triangulation& t) {
  std::vector<std::pair<K::Point_3, int>> input;
  for (std::size_t i = 0; i < points.count; ++i)
    input.emplace_back(K::Point_3(points.point(i)[0], points.point(i)[1], points.point(i)[2]),
                       static_cast<int>(i));
  Delaunay3 dt(input.begin(), input.end());
  if (dt.dimension() < 3) {
    t.error = degenerate_text(3, dt.dimension());
    return;
  }
  collect(dt, dt.finite_cell_handles(), 3, t);
}

void triangulate_d(const PointSet& points, Triangulation& t) {
  const int dim = static_cast<int>(points.dim);
  DelaunayD dt(dim);
  DelaunayD::Vertex_handle hint;
  for (std::size_t i = 0; i < points.count; ++i) {
    const DelaunayD::Point p(points.point(i), points.point(i) + dim);
    hint = hint == DelaunayD::Vertex_handle() ? dt.insert(p) : dt.insert(p, hint);
    hint->data() = static_cast<int>(i);
  }
  if (dt.current_dimension() < dim) {
    t.error = degenerate_text(points.dim, dt.current_dimension());
    return;
  }
  int count = 0;
  for (auto c = dt.finite_full_cells_begin(); c != dt.finite_full_cells_end(); ++c)
    c->data() = count++;
  for (auto c = dt.finite_full_cells_begin(); c != dt.finite_full_cells_end(); ++c)
    for (int j = 0; j <= dim; ++j) {
      t.simplices.push_back(c->vertex(j)->data());
      const auto n = c->neighbor(j);
      t.neighbors.push_back(dt.is_infinite(n) ? -1 : n->data());
    }
}

}  // namespace

Triangulation triangulate_cgal(const PointSet& points) {
  Triangulation t;
  t.dim = points.dim;
  if (points.dim == 2)
    triangulate_2(points, t);
  else if (points.dim == 3)
    triangulate_3(points, t);
  else
    triangulate_d(points, t);
  return t;
}

}  // namespace detail
}  // namespace qorva_gil
