// Piecewise-linear interpolation of a table in one variable: the sorted table, its bucket index and the model built on them.
// Duplicate abscissae, clamping to ranges and names are checked by the caller before building; caching and counters live in the model.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "qorva_gil/detail/model.hpp"

namespace qorva_gil {
namespace detail {

// Index i of the last element with xs[i] <= x among xs[0..n), or 0 when x is
// below xs[0] (and for NaN); n must be at least 1. No branches on the data:
// the loop count depends on n only.
inline std::size_t branch_free_search(const double* xs, std::size_t n, double x) {
  const double* base = xs;
  while (n > 1) {
    const std::size_t half = n / 2;
    base = (base[half] <= x) ? base + half : base;
    n -= half;
  }
  return static_cast<std::size_t>(base - xs);
}

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

  // Columns [first, first + count) on interval i at x: exact at the nodes,
  // linear extrapolation from the end intervals.
  void blend(std::size_t i, double x, std::size_t first, std::size_t count, double* out) const {
    const double t = (x - xs_[i]) / (xs_[i + 1] - xs_[i]);
    const double* v = values_.data() + first * n_ + i;
    for (std::size_t c = 0; c < count; ++c, v += n_) out[c] = (1.0 - t) * v[0] + t * v[1];
  }

  // True when every interval's slope is finite, as interior_blend() needs
  // (false only for abscissae closer than about 1e-308 or values near the
  // largest double).
  bool slopes_finite() const { return slopes_finite_; }

  // Column `column` on interval i at a strictly inside x: the node value plus
  // the slope computed in advance times the distance (no divide); exact at
  // the nodes.
  double interior_blend(std::size_t i, double x, std::size_t column) const {
    const std::size_t k = column * n_ + i;  // the product is known before i is
    return values_[k] + (x - xs_[i]) * slopes_[k];
  }

 private:
  // Bucket of x in [xs[0], xs[n-1]]: the same formula builds the index, so
  // both agree. Rounding may give the last x the bucket after the last one,
  // which has an entry of its own.
  std::size_t bucket(double x) const {
    return static_cast<std::size_t>(static_cast<std::int64_t>((x - bucket_origin_) * bucket_scale_));
  }
  void build_buckets();
  void index_buckets(std::size_t buckets);

  std::size_t n_ = 0;
  std::size_t columns_ = 0;
  std::vector<double> xs_;       // n_ sorted abscissae, then span_ times +infinity
  std::vector<double> values_;   // by column: values_[c * n_ + i] is column c at xs_[i]
  std::vector<double> slopes_;   // by column: slopes_[c * n_ + i] is column c's slope on interval i
  bool slopes_finite_ = true;
  double bucket_origin_ = 0.0;   // x where bucket 0 starts
  double bucket_scale_ = 0.0;    // buckets per unit of x
  std::vector<std::uint32_t> start_;  // per bucket: first abscissa its search covers
  std::vector<double> split_;    // span 2 only: per bucket, xs[start + 1]
  std::size_t span_ = 1;         // abscissae every bucket's search covers
};

// Interval of x on `line` through the calling thread's interval cache under
// key `cache_id`: the cached interval when it still holds x (a cell hit),
// otherwise a fresh search whose result is cached (a point located). Where
// the search takes at most three compares it is cheaper to do it than to bet
// on the cache, so the hit is then only selected, without a branch that
// random points would mispredict; longer searches are skipped on a hit.
inline std::size_t cached_interval(const LineTable& line, std::uint64_t cache_id, double x) {
  ThreadState& state = thread_state;
  const std::size_t slot = cache_id & 7u;
  const bool mine = state.interval_model[slot] == cache_id;
  const std::size_t last = mine ? state.interval[slot] : 0;  // another model's interval may not exist here
  std::size_t i;
  bool hit;
  if (line.short_search()) {
    hit = mine & line.holds(last, x);
    const std::size_t fresh = line.interval(x);
    i = hit ? last : fresh;
  } else {
    hit = mine && line.holds(last, x);
    i = hit ? last : line.interval(x);
  }
  state.interval_model[slot] = cache_id;
  state.interval[slot] = i;
  state.statistics.cell_hits += hit;
  state.statistics.located += !hit;
  return i;
}

// Builds the model from a one-dimensional point set with at least two points
// and distinct abscissae (in any order). With `project` true a point beyond
// the ends takes the end value, otherwise the end segment is extrapolated.
// Returns an error text instead of a model for fewer than two points; on
// success `line` of the result is the model's table.
BuildResult build_linear_1d(const PointSet& points, bool project);

}  // namespace detail
}  // namespace qorva_gil
