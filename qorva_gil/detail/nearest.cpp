// Nearest-neighbour model: the value of the closest data point, found with a nanoflann KD-tree.
#include <algorithm>
#include <cmath>
#include <limits>
#include <nanoflann.hpp>

#include "qorva_gil/detail/builders.hpp"
#include "qorva_gil/statistics.hpp"

namespace qorva_gil {
namespace detail {
namespace {

// nanoflann's view of a point set.
struct PointCloud {
  const PointSet* points;
  std::size_t kdtree_get_point_count() const { return points->count; }
  double kdtree_get_pt(std::size_t i, std::size_t k) const {
    return points->coords[i * points->dim + k];
  }
  template <class Box>
  bool kdtree_get_bbox(Box&) const {
    return false;
  }
};

using Tree = nanoflann::KDTreeSingleIndexAdaptor<nanoflann::L2_Simple_Adaptor<double, PointCloud>,
                                                 PointCloud, -1, std::size_t>;

class Nearest final : public Model {
 public:
  explicit Nearest(const PointSet& points)
      : points_(points),
        cloud_{&points_},
        tree_(points_.dim, cloud_, nanoflann::KDTreeSingleIndexAdaptorParams(10)),
        box_(points) {
    tree_.buildIndex();
  }
  Nearest(const Nearest&) = delete;
  Nearest& operator=(const Nearest&) = delete;

  bool evaluate(const double* y, std::size_t first, std::size_t count, double* out,
                std::uint64_t cache_id) const override {
    CacheSlot* cache = cache_id ? &thread_cache_slot(cache_id) : nullptr;
    const std::size_t dim = points_.dim;
    const bool outside = box_.outside(y);
    std::size_t index = 0;
    if (cache && cache->has_point && same_point(cache->point.data(), y, dim)) {
      index = static_cast<std::size_t>(cache->index);
      ++thread_state().statistics.point_hits;
    } else {
      double distance = 0.0;
      tree_.knnSearch(y, 1, &index, &distance);
      if (!(distance < std::numeric_limits<double>::infinity())) index = far_nearest(y);
      if (cache) {
        cache->point.assign(y, y + dim);
        cache->has_point = true;
        cache->index = static_cast<long>(index);
        ++thread_state().statistics.located;
      }
    }
    std::copy(points_.row(index) + first, points_.row(index) + first + count, out);
    return outside;
  }

 private:
  // The nearest data point to a y so far away that squared distances
  // overflow. With c the centre of the data's box, R = |y - c| and u the unit
  // vector from c towards y, |y - p|^2 = R^2 - 2R u.(p - c) + |p - c|^2, so
  // the nearest p has the least |p - c|^2 / (2R) - u.(p - c): finite terms.
  std::size_t far_nearest(const double* y) const {
    const std::size_t dim = points_.dim;
    std::vector<double> centre(dim), u(dim);
    double largest = 0.0;
    for (std::size_t k = 0; k < dim; ++k) {
      centre[k] = 0.5 * box_.lower[k] + 0.5 * box_.upper[k];
      u[k] = 0.5 * y[k] - 0.5 * centre[k];  // half of y - c, which cannot overflow
      largest = std::max(largest, std::abs(u[k]));
    }
    double norm = 0.0;
    for (std::size_t k = 0; k < dim; ++k) norm += (u[k] /= largest) * u[k];
    norm = std::sqrt(norm);
    for (double& v : u) v /= norm;
    const double inverse_2r = 0.25 / largest / norm;  // R = 2 * largest * norm
    std::size_t best = 0;
    double best_score = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < points_.count; ++i) {
      double square = 0.0, along = 0.0;
      for (std::size_t k = 0; k < dim; ++k) {
        const double d = points_.point(i)[k] - centre[k];
        square += d * d;
        along += u[k] * d;
      }
      const double score = square * inverse_2r - along;
      if (score < best_score) {
        best_score = score;
        best = i;
      }
    }
    return best;
  }

  PointSet points_;
  PointCloud cloud_;
  Tree tree_;
  Box box_;  // of the data points
};

}  // namespace

BuildResult build_nearest(const PointSet& points) {
  BuildResult result;
  if (points.count == 0 || points.dim == 0) {
    result.error = "nearest-neighbour interpolation needs at least one data point";
    return result;
  }
  result.model = std::make_unique<Nearest>(points);
  return result;
}

}  // namespace detail
}  // namespace qorva_gil
