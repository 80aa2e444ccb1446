// Piecewise-linear interpolation in one variable.
#include "qorva_gil/linear_1d.hpp"

#include <algorithm>
#include <cstdint>
#include <numeric>

#include "qorva_gil/statistics.hpp"

namespace qorva_gil {
namespace detail {
namespace {

class Linear1D final : public Model {
 public:
  Linear1D(const PointSet& points, bool project) : columns_(points.columns), project_(project) {
    std::vector<std::size_t> order(points.count);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return points.coords[a] < points.coords[b]; });
    xs_.reserve(points.count);
    values_.reserve(points.count * columns_);
    for (std::size_t i : order) {
      xs_.push_back(points.coords[i]);
      values_.insert(values_.end(), points.row(i), points.row(i) + columns_);
    }
    build_buckets();
  }

  bool evaluate(const double* y, std::size_t first, std::size_t count, double* out,
                CacheSlot* cache) const override {
    double x = y[0];
    const std::size_t n = xs_.size();
    const bool outside = !(x >= xs_[0] && x <= xs_[n - 1]);
    if (outside && project_) x = std::min(std::max(x, xs_[0]), xs_[n - 1]);
    const std::size_t i = locate(x, cache);
    const double t = (x - xs_[i]) / (xs_[i + 1] - xs_[i]);
    const double* v0 = values_.data() + i * columns_ + first;
    const double* v1 = v0 + columns_;
    for (std::size_t c = 0; c < count; ++c) out[c] = (1.0 - t) * v0[c] + t * v1[c];
    return outside;
  }

 private:
  // Interval [xs[i], xs[i+1]] used for x: the one holding it, or the end
  // interval for points beyond the ends.
  std::size_t locate(double x, CacheSlot* cache) const {
    const std::size_t last = xs_.size() - 2;
    if (cache && cache->index >= 0) {
      const std::size_t k = static_cast<std::size_t>(cache->index);
      if ((x >= xs_[k] || k == 0) && (x < xs_[k + 1] || k == last)) {
        ++cache->statistics->cell_hits;
        return k;
      }
    }
    const std::size_t i = std::min(search(x), last);
    if (cache) {
      cache->index = static_cast<long>(i);
      ++cache->statistics->located;
    }
    return i;
  }

  // Bucket of x >= xs[0] on a uniform grid over the data range. Monotone in
  // x, which is all the search below relies on.
  std::size_t bucket(double x) const {
    const double t = (x - xs_[0]) * bucket_scale_;
    const std::size_t last = first_.size() - 2;
    return t < static_cast<double>(last) ? static_cast<std::size_t>(t) : last;
  }

  // first_[b]: the first abscissa whose bucket is b or later (n if none).
  void build_buckets() {
    const std::size_t n = xs_.size();
    if (n > UINT32_MAX / 4) return;  // no index: search the whole table
    const std::size_t m = 2 * n;
    bucket_scale_ = static_cast<double>(m) / (xs_[n - 1] - xs_[0]);
    first_.assign(m + 1, static_cast<std::uint32_t>(n));
    std::size_t c = 0;
    for (std::size_t i = 0; i < n; ++i)
      for (const std::size_t b = bucket(xs_[i]); c <= b; ++c) first_[c] = static_cast<std::uint32_t>(i);
  }

  // Same answer as branch_free_search over all of xs_. Inside the data the
  // bucket of x bounds the answer: abscissae of earlier buckets are below x,
  // those of later buckets above it, so only x's bucket and the abscissa
  // before it need searching.
  std::size_t search(double x) const {
    if (first_.empty() || !(x > xs_[0] && x < xs_.back())) return branch_free_search(xs_.data(), xs_.size(), x);
    const std::size_t b = bucket(x);
    const std::size_t lo = first_[b] == 0 ? 0 : first_[b] - 1;
    return lo + branch_free_search(xs_.data() + lo, first_[b + 1] - lo, x);
  }

  std::size_t columns_;
  bool project_;
  std::vector<double> xs_;
  std::vector<double> values_;
  double bucket_scale_ = 0.0;
  std::vector<std::uint32_t> first_;
};

}  // namespace

BuildResult build_linear_1d(const PointSet& points, bool project) {
  BuildResult result;
  if (points.count < 2) {
    result.error = "linear interpolation in one variable needs at least 2 data points, got " +
                   std::to_string(points.count);
    return result;
  }
  result.model = std::make_unique<Linear1D>(points, project);
  return result;
}

}  // namespace detail
}  // namespace qorva_gil
