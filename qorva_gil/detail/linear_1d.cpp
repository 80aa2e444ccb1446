// Piecewise-linear interpolation in one variable: building the table and its bucket index, and the model over it.
#include "qorva_gil/detail/linear_1d.hpp"

#include "qorva_gil/detail/fast_path.hpp"

#include <cmath>
#include <limits>
#include <numeric>
#include <string>

#include "qorva_gil/statistics.hpp"

namespace qorva_gil {
namespace detail {

LineTable::LineTable(const PointSet& points) : n_(points.count), columns_(points.columns) {
  std::vector<std::size_t> order(n_);
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(),
            [&](std::size_t a, std::size_t b) { return points.coords[a] < points.coords[b]; });
  xs_.reserve(n_ + 1);
  values_.resize(n_ * columns_);
  for (std::size_t i = 0; i < n_; ++i) {
    xs_.push_back(points.coords[order[i]]);
    for (std::size_t c = 0; c < columns_; ++c) values_[c * n_ + i] = points.row(order[i])[c];
  }
  slopes_.assign(n_ * columns_, 0.0);
  for (std::size_t i = 0; i + 1 < n_; ++i) {
    const double width = xs_[i + 1] - xs_[i];
    slopes_finite_ = slopes_finite_ && std::isfinite(width);  // wider than the largest double
    const double inverse_width = 1.0 / width;
    for (std::size_t c = 0; c < columns_; ++c) {
      const std::size_t k = c * n_ + i;
      slopes_[k] = (values_[k + 1] - values_[k]) * inverse_width;
      slopes_finite_ = slopes_finite_ && std::isfinite(slopes_[k]);
    }
  }
  build_buckets();
}

void LineTable::build_buckets() {
  // Bucket of an abscissa: monotone in x, which is all the search relies on.
  // Abscissae of earlier buckets lie below any x of bucket b, those of later
  // buckets above it, so x's interval starts at the last abscissa before
  // bucket b or inside it, and ends before bucket b + 1 starts. Small tables
  // get up to 8 buckets per abscissa (at most 1024) until no bucket holds
  // two abscissae, so that one compare settles every x.
  for (std::size_t m = 2 * n_;; m *= 2) {
    index_buckets(m);
    if (span_ <= 2 || 2 * m > std::max<std::size_t>(2 * n_, std::min<std::size_t>(8 * n_, 1024)))
      break;
  }
  xs_.insert(xs_.end(), span_, std::numeric_limits<double>::infinity());
  if (span_ == 2) {
    split_.resize(start_.size());
    for (std::size_t b = 0; b < start_.size(); ++b) split_[b] = xs_[start_[b] + 1];
  }
}

// Buckets 0 .. m-1 cover the data range; entry m, for an x that rounding
// puts past the last bucket, repeats the last one.
void LineTable::index_buckets(std::size_t m) {
  bucket_origin_ = xs_[0];
  bucket_scale_ = static_cast<double>(m) / (xs_[n_ - 1] - xs_[0]);
  if (!std::isfinite(bucket_scale_) || bucket_scale_ == 0.0) {
    // A range too narrow or too wide for finite buckets: one bucket, whose
    // search covers the whole table, measured from an origin that keeps
    // x - origin finite.
    bucket_origin_ = xs_[0] / 2 + xs_[n_ - 1] / 2;
    bucket_scale_ = 0.0;
  }
  std::vector<std::size_t> first(m + 2, n_);  // first abscissa in bucket b or later
  std::size_t b = 0;
  for (std::size_t i = 0; i < n_; ++i)
    for (const std::size_t own = std::min(bucket(xs_[i]), m - 1); b <= own; ++b) first[b] = i;
  start_.resize(m + 1);
  span_ = 1;
  for (b = 0; b < m; ++b) {
    const std::size_t start = first[b] == 0 ? 0 : first[b] - 1;
    start_[b] = static_cast<std::uint32_t>(start);
    span_ = std::max(span_, first[b + 1] - start);
  }
  start_[m] = start_[m - 1];
}

namespace {

class Linear1D final : public Model {
 public:
  Linear1D(const PointSet& points, bool project) : table_(points), project_(project) {}

  bool evaluate(const double* y, std::size_t first, std::size_t count, double* out,
                std::uint64_t cache_id) const override {
    double x = y[0];
    const bool outside = !(x >= table_.front() && x <= table_.back());
    if (outside && project_) x = std::min(std::max(x, table_.front()), table_.back());
    const std::size_t i = cache_id ? cached_interval(table_, cache_id, x) : table_.interval(x);
    table_.blend(i, x, first, count, out);
    return outside;
  }

  const LineTable& table() const { return table_; }

 private:
  LineTable table_;
  bool project_;
};

}  // namespace

BuildResult build_linear_1d(const PointSet& points, bool project) {
  BuildResult result;
  if (points.count < 2) {
    result.error = "linear interpolation in one variable needs at least 2 data points, got " +
                   std::to_string(points.count);
    return result;
  }
  if (points.count > std::numeric_limits<std::uint32_t>::max() / 4) {
    result.error = "linear interpolation in one variable takes at most " +
                   std::to_string(std::numeric_limits<std::uint32_t>::max() / 4) +
                   " data points, got " + std::to_string(points.count);
    return result;
  }
  auto model = std::make_unique<Linear1D>(points, project);
  result.line = &model->table();
  result.model = std::move(model);
  return result;
}

}  // namespace detail
}  // namespace qorva_gil
