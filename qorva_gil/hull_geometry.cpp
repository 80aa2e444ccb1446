// Closest point on a simplex by trying the affine hull of every face: the closest point lies in
// the relative interior of exactly one face, where its affine coordinates are all positive.
#include "qorva_gil/hull_geometry.hpp"

#include <Eigen/Dense>
#include <limits>

namespace qorva_gil {
namespace detail {

double closest_point_on_simplex(const std::vector<const double*>& corners, std::size_t dim, const double* y,
                                double* out) {
  const std::size_t m = corners.size();
  const Eigen::Map<const Eigen::VectorXd> target(y, static_cast<Eigen::Index>(dim));
  double best = std::numeric_limits<double>::infinity();
  std::vector<std::size_t> face;
  for (unsigned mask = 1; mask < (1u << m); ++mask) {
    face.clear();
    for (std::size_t i = 0; i < m; ++i)
      if (mask & (1u << i)) face.push_back(i);
    const Eigen::Map<const Eigen::VectorXd> origin(corners[face[0]], static_cast<Eigen::Index>(dim));
    const auto k = static_cast<Eigen::Index>(face.size() - 1);
    Eigen::MatrixXd edges(static_cast<Eigen::Index>(dim), k);
    for (Eigen::Index j = 0; j < k; ++j)
      edges.col(j) = Eigen::Map<const Eigen::VectorXd>(corners[face[j + 1]], static_cast<Eigen::Index>(dim)) - origin;
    Eigen::VectorXd point = origin;
    if (k > 0) {
      const Eigen::LDLT<Eigen::MatrixXd> gram(edges.transpose() * edges);
      if (gram.info() != Eigen::Success || gram.vectorD().minCoeff() <= 1e-14 * gram.vectorD().maxCoeff())
        continue;
      const Eigen::VectorXd a = gram.solve(edges.transpose() * (target - origin));
      if (a.minCoeff() < 0.0 || a.sum() > 1.0) continue;
      point += edges * a;
    }
    const double d2 = (target - point).squaredNorm();
    if (d2 < best) {
      best = d2;
      std::copy(point.data(), point.data() + dim, out);
    }
  }
  return best;
}

}  // namespace detail
}  // namespace qorva_gil
