// Closest point on a simplex by trying the affine hull of every face: the closest point lies in
// the relative interior of exactly one face, where its affine coordinates are all positive.
// Small fixed buffers keep the search free of allocations (it runs per query outside the hull).
#include "qorva_gil/detail/hull_geometry.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace qorva_gil {
namespace detail {
namespace {

constexpr std::size_t kMaxCorners = 12;  // faces of simplices up to 11 dimensions

// Solves the k x k system g a = b in place by Gaussian elimination with
// partial pivoting; returns false when g is (numerically) singular.
bool solve(double* g, double* b, std::size_t k) {
  double largest = 0.0;
  for (std::size_t i = 0; i < k * k; ++i) largest = std::max(largest, std::abs(g[i]));
  for (std::size_t c = 0; c < k; ++c) {
    std::size_t p = c;
    for (std::size_t r = c + 1; r < k; ++r)
      if (std::abs(g[r * k + c]) > std::abs(g[p * k + c])) p = r;
    if (!(std::abs(g[p * k + c]) > 1e-14 * largest)) return false;
    for (std::size_t j = 0; j < k; ++j) std::swap(g[c * k + j], g[p * k + j]);
    std::swap(b[c], b[p]);
    for (std::size_t r = c + 1; r < k; ++r) {
      const double f = g[r * k + c] / g[c * k + c];
      for (std::size_t j = c; j < k; ++j) g[r * k + j] -= f * g[c * k + j];
      b[r] -= f * b[c];
    }
  }
  for (std::size_t c = k; c-- > 0;) {
    for (std::size_t j = c + 1; j < k; ++j) b[c] -= g[c * k + j] * b[j];
    b[c] /= g[c * k + c];
  }
  return true;
}

double dot(const double* a, const double* b, const double* origin, std::size_t dim) {
  double v = 0.0;
  for (std::size_t i = 0; i < dim; ++i) v += (a[i] - origin[i]) * (b[i] - origin[i]);
  return v;
}

}  // namespace

double closest_point_on_simplex(const std::vector<const double*>& corners, std::size_t dim,
                                const double* y, double* out) {
  const std::size_t m = std::min(corners.size(), kMaxCorners);
  double best = std::numeric_limits<double>::infinity();
  std::size_t face[kMaxCorners];
  double gram[kMaxCorners * kMaxCorners], a[kMaxCorners];
  std::vector<double> point(dim);
  // The whole simplex first: when y projects into it, no face can be closer.
  const unsigned all = (1u << m) - 1;
  for (unsigned step = 0; step < std::max(all, 1u); ++step) {
    const unsigned mask = step == 0 ? all : step;
    std::size_t n = 0;
    for (std::size_t i = 0; i < m; ++i)
      if (mask & (1u << i)) face[n++] = i;
    const double* origin = corners[face[0]];
    const std::size_t k = n - 1;
    for (std::size_t r = 0; r < k; ++r) {
      for (std::size_t c = 0; c < k; ++c)
        gram[r * k + c] = dot(corners[face[r + 1]], corners[face[c + 1]], origin, dim);
      a[r] = dot(corners[face[r + 1]], y, origin, dim);
    }
    if (k > 0 && !solve(gram, a, k)) continue;
    double total = 0.0, low = 0.0;
    for (std::size_t r = 0; r < k; ++r) total += a[r], low = std::min(low, a[r]);
    if (low < 0.0 || total > 1.0) continue;
    double d2 = 0.0;
    for (std::size_t i = 0; i < dim; ++i) {
      point[i] = origin[i];
      for (std::size_t r = 0; r < k; ++r) point[i] += a[r] * (corners[face[r + 1]][i] - origin[i]);
      d2 += (y[i] - point[i]) * (y[i] - point[i]);
    }
    if (d2 < best) {
      best = d2;
      std::copy(point.begin(), point.end(), out);
    }
    if (step == 0) return best;
  }
  return best;
}

}  // namespace detail
}  // namespace qorva_gil
