// Radial basis model: s(x) = sum_j w_j |x - x_j|^3 + c_0 + c . x, solved once with Eigen.
// The cubic kernel is conditionally positive definite of order 2 in every dimension, so with
// the linear term the system is regular for distinct points that determine a linear function,
// the nodes are interpolated and affine data are reproduced; it needs no shape parameter.
#include <Eigen/Dense>
#include <algorithm>
#include <cmath>

#include "qorva_gil/detail/builders.hpp"
#include "qorva_gil/statistics.hpp"

namespace qorva_gil {
namespace detail {
namespace {

class RadialBasis final : public Model {
 public:
  RadialBasis(const PointSet& points, std::vector<double> weights, std::vector<double> linear)
      : points_(points), weights_(std::move(weights)), linear_(std::move(linear)), box_(points) {}

  bool evaluate(const double* y, std::size_t first, std::size_t count, double* out,
                std::uint64_t cache_id) const override {
    CacheSlot* cache = cache_id ? &thread_cache_slot(cache_id) : nullptr;
    const std::size_t dim = points_.dim, m = points_.columns;
    const bool outside = box_.outside(y);
    if (cache && cache->has_point && same_point(cache->point.data(), y, dim)) {
      ++thread_state().statistics.point_hits;
      std::copy(cache->weights.begin() + first, cache->weights.begin() + first + count, out);
      return outside;
    }
    if (cache) {  // answer every column, so the next query at this point needs nothing
      cache->weights.resize(m);
      sum(y, 0, m, cache->weights.data());
      cache->point.assign(y, y + dim);
      cache->has_point = true;
      ++thread_state().statistics.located;
      std::copy(cache->weights.begin() + first, cache->weights.begin() + first + count, out);
    } else {
      sum(y, first, count, out);
    }
    return outside;
  }

 private:
  void sum(const double* y, std::size_t first, std::size_t count, double* out) const {
    const std::size_t dim = points_.dim, m = points_.columns;
    for (std::size_t c = 0; c < count; ++c) {
      const double* a = linear_.data() + (first + c) * (dim + 1);
      double v = a[0];
      for (std::size_t k = 0; k < dim; ++k) v += a[k + 1] * y[k];
      out[c] = v;
    }
    for (std::size_t j = 0; j < points_.count; ++j) {
      const double* p = points_.point(j);
      double r2 = 0.0;
      for (std::size_t k = 0; k < dim; ++k) r2 += (y[k] - p[k]) * (y[k] - p[k]);
      const double phi = r2 * std::sqrt(r2);
      const double* w = weights_.data() + j * m + first;
      for (std::size_t c = 0; c < count; ++c) out[c] += w[c] * phi;
    }
  }

  PointSet points_;
  std::vector<double> weights_;  // count x columns
  std::vector<double> linear_;   // columns x (dim + 1): constant, then one slope per variable
  Box box_;                      // of the data points
};

}  // namespace

BuildResult build_radial_basis(const PointSet& points) {
  BuildResult result;
  const std::size_t n = points.count, d = points.dim, m = points.columns;
  if (n > kMaxRadialBasisPoints) {
    result.error =
        "radial basis interpolation takes at most " + std::to_string(kMaxRadialBasisPoints) +
        " data points (its system grows with the square of their number and its solution with the "
        "cube), got " +
        std::to_string(n) + "; use linear or nearest-neighbour interpolation";
    return result;
  }
  Eigen::MatrixXd poly(n, d + 1);
  for (std::size_t i = 0; i < n; ++i) {
    poly(i, 0) = 1.0;
    for (std::size_t k = 0; k < d; ++k) poly(i, k + 1) = points.point(i)[k];
  }
  if (n < d + 1 ||
      static_cast<std::size_t>(Eigen::ColPivHouseholderQR<Eigen::MatrixXd>(poly).rank()) < d + 1) {
    result.error = "radial basis interpolation in " + std::to_string(d) +
                   " variables needs data points that span all of them (at least " +
                   std::to_string(d + 1) + " points, not all in a lower-dimensional subspace)";
    return result;
  }
  Eigen::MatrixXd system = Eigen::MatrixXd::Zero(n + d + 1, n + d + 1);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < n; ++j) {
      double r2 = 0.0;
      for (std::size_t k = 0; k < d; ++k)
        r2 += std::pow(points.point(i)[k] - points.point(j)[k], 2);
      system(i, j) = r2 * std::sqrt(r2);
    }
  system.topRightCorner(n, d + 1) = poly;
  system.bottomLeftCorner(d + 1, n) = poly.transpose();
  Eigen::MatrixXd rhs = Eigen::MatrixXd::Zero(n + d + 1, m);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t c = 0; c < m; ++c) rhs(i, c) = points.row(i)[c];
  const Eigen::MatrixXd solution = Eigen::PartialPivLU<Eigen::MatrixXd>(system).solve(rhs);
  if (!solution.allFinite()) {
    result.error = "the radial basis system could not be solved";
    return result;
  }
  std::vector<double> weights(n * m), linear(m * (d + 1));
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t c = 0; c < m; ++c) weights[i * m + c] = solution(i, c);
  for (std::size_t c = 0; c < m; ++c)
    for (std::size_t k = 0; k <= d; ++k) linear[c * (d + 1) + k] = solution(n + k, c);
  result.model = std::make_unique<RadialBasis>(points, std::move(weights), std::move(linear));
  return result;
}

}  // namespace detail
}  // namespace qorva_gil
