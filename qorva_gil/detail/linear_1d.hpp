// Piecewise-linear interpolation of a table in one variable: the sorted table, its bucket index and the model built on them.
// Duplicate abscissae, clamping to ranges and names are checked by the caller before building; caching and counters live in the model.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "qorva_gil/detail/model.hpp"

namespace qorva_gil {
namespace detail {

// A table in one variable sorted by abscissa, immutable after construction.
// Inline, so that a query front end can answer from it without a call.
//
// Locating x: a uniform grid of buckets over the data range (2n, or up to 8n
// for small tables) records for each bucket the abscissa where its search
// starts. Every bucket's search covers the same number of abscissae (`span_`,
// the widest bucket's need), so the search loop runs the same number of times
// for every x and its branch is always predicted; the table is padded with
// +infinity so that the fixed-length search never reads past it. When no
// bucket holds two abscissae (span 2) each bucket also keeps the one abscissa
// that decides between its two intervals, so locating x takes one compare.
class LineTable {
 public:
  // points: one dimension, at least 2 points, distinct abscissae in any order.
  explicit LineTable(const PointSet& points);

  std::size_t intervals() const { return n_ - 1; }
  double front() const { return xs_[0]; }
  double back() const { return xs_[n_ - 1]; }

  // True when x lies strictly between the first and the last abscissa (false
  // for NaN): the only points interior_interval() accepts.
  bool strictly_inside(double x) const { return x > xs_[0] && x < xs_[n_ - 1]; }

  // Interval i (xs[i] <= x < xs[i+1]) of a strictly inside x.
  std::size_t interior_interval(double x) const {
    const std::size_t b = bucket(x);
    if (span_ == 2) return start_[b] + (split_[b] <= x ? 1 : 0);
    const double* base = xs_.data() + start_[b];
    for (std::size_t len = span_; len > 1;) {
      const std::size_t half = len / 2;
      base = (base[half] <= x) ? base + half : base;
      len -= half;
    }
    return static_cast<std::size_t>(base - xs_.data());
  }

  // Interval used for any x: the one holding it, the first one below the data
  // (and for NaN), the last one from the last abscissa on.
  std::size_t interval(double x) const {
    if (strictly_inside(x)) return interior_interval(x);
    return x >= xs_[n_ - 1] ? n_ - 2 : 0;
  }

  // True when interval i still holds x (the end intervals hold everything
  // beyond their end).
  bool holds(std::size_t i, double x) const {
    return ((x >= xs_[i]) | (i == 0)) & ((x < xs_[i + 1]) | (i == n_ - 2));
  }

  // True when interior_interval() settles every x with at most three compares.
  bool short_search() const { return span_ <= 8; }

  // Column `column` on interval i at x: the node value plus the slope
  // computed in advance times the distance (no divide). Exact at xs[i]; needs
  // slopes_finite(). The one formula both query paths use inside the data.
  double value_at(std::size_t i, double x, std::size_t column) const {
    const std::size_t k = column * n_ + i;  // the product is known before i is
    return values_[k] + (x - xs_[i]) * slopes_[k];
  }

  // Columns [first, first + count) on interval i at x: value_at() (exact at
  // both nodes of the interval), linear extrapolation from the end intervals.
  // Tables whose slopes overflow blend the two node values instead.
  void blend(std::size_t i, double x, std::size_t first, std::size_t count, double* out) const {
    const double* v = values_.data() + first * n_ + i;
    if (!slopes_finite_) {
      const double t = fraction(i, x);
      for (std::size_t c = 0; c < count; ++c, v += n_) {
        const double rise = v[1] - v[0];
        out[c] = std::isfinite(rise) ? v[0] + t * rise : (1.0 - t) * v[0] + t * v[1];
      }
    } else if (x == xs_[i + 1]) {
      for (std::size_t c = 0; c < count; ++c, v += n_) out[c] = v[1];
    } else {
      for (std::size_t c = 0; c < count; ++c) out[c] = value_at(i, x, first + c);
    }
  }

  // Where x lies on interval i, as a fraction of its width. Halves are
  // subtracted where the width itself is not a finite double.
  double fraction(std::size_t i, double x) const {
    const double width = xs_[i + 1] - xs_[i];
    if (std::isfinite(width)) return (x - xs_[i]) / width;
    return (0.5 * x - 0.5 * xs_[i]) / (0.5 * xs_[i + 1] - 0.5 * xs_[i]);
  }

  // True when every interval's width and slope are finite, as value_at()
  // needs (false only for abscissae closer than about 1e-308 or further apart
  // than the largest double, or values near the largest double).
  bool slopes_finite() const { return slopes_finite_; }

 private:
  // Bucket of x in [xs[0], xs[n-1]]: the same formula builds the index, so
  // both agree. Rounding may give the last x the bucket after the last one,
  // which has an entry of its own.
  std::size_t bucket(double x) const {
    return static_cast<std::size_t>(
        static_cast<std::int64_t>((x - bucket_origin_) * bucket_scale_));
  }
  void build_buckets();
  void index_buckets(std::size_t m);  // m buckets

  std::size_t n_ = 0;
  std::size_t columns_ = 0;
  std::vector<double> xs_;      // n_ sorted abscissae, then span_ times +infinity
  std::vector<double> values_;  // by column: values_[c * n_ + i] is column c at xs_[i]
  std::vector<double> slopes_;  // by column: slopes_[c * n_ + i] is column c's slope on interval i
  bool slopes_finite_ = true;
  double bucket_origin_ = 0.0;        // x where bucket 0 starts
  double bucket_scale_ = 0.0;         // buckets per unit of x
  std::vector<std::uint32_t> start_;  // per bucket: first abscissa its search covers
  std::vector<double> split_;         // span 2 only: per bucket, xs[start + 1]
  std::size_t span_ = 1;              // abscissae every bucket's search covers
};

// Builds the model from a one-dimensional point set with at least two points
// and distinct abscissae (in any order). With `project` true a point beyond
// the ends takes the end value, otherwise the end segment is extrapolated.
// Returns an error text instead of a model for fewer than two points; on
// success `line` of the result is the model's table.
BuildResult build_linear_1d(const PointSet& points, bool project);

}  // namespace detail
}  // namespace qorva_gil
