// Internal building blocks of the interpolator: the point set handed to an algorithm, the model interface and the per-thread query cache.
// Name matching, clamping, defaults and status messages are left to interpolator.cpp; each algorithm lives in its own file.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "qorva_gil/statistics.hpp"

// Marks functions that only the library calls: calls to them from other
// files of the library then go straight to the function, not through the
// procedure linkage table.
#define QORVA_GIL_INTERNAL __attribute__((visibility("hidden")))

namespace qorva_gil {
namespace detail {

// Data points in the coordinates an algorithm works in (constant variables
// dropped, normalisation applied). Row-major: point i is coords[i*dim .. i*dim+dim)
// and its dependent values are values[i*columns .. i*columns+columns).
struct PointSet {
  std::size_t dim = 0;
  std::size_t count = 0;
  std::size_t columns = 0;
  std::vector<double> coords;
  std::vector<double> values;

  const double* point(std::size_t i) const { return coords.data() + i * dim; }
  const double* row(std::size_t i) const { return values.data() + i * columns; }
};

// The smallest axis-aligned box holding a point set.
struct Box {
  std::vector<double> lower, upper;

  explicit Box(const PointSet& points) : lower(points.dim), upper(points.dim) {
    for (std::size_t k = 0; k < points.dim && points.count > 0; ++k) {
      lower[k] = upper[k] = points.coords[k];
      for (std::size_t i = 1; i < points.count; ++i) {
        lower[k] = std::min(lower[k], points.point(i)[k]);
        upper[k] = std::max(upper[k], points.point(i)[k]);
      }
    }
  }
  // True when y (one value per dimension) lies outside the box.
  bool outside(const double* y) const {
    bool out = false;
    for (std::size_t k = 0; k < lower.size(); ++k) out = out || y[k] < lower[k] || y[k] > upper[k];
    return out;
  }
};

// One entry of the per-thread cache: the last point a thread asked one model
// for and what locating it produced. `index` is the model's own handle (an
// interval, a simplex, a data point); `weights` holds whatever the model needs
// to answer again without locating (barycentric weights, or the answers).
struct CacheSlot {
  std::uint64_t model_id = 0;
  bool has_point = false;
  bool outside = false;
  long index = -1;
  std::vector<double> point;
  std::vector<double> weights;
};

// The cache slot of this thread for a model id; a slot that belonged to
// another model is reset first. Never fails.
CacheSlot& thread_cache_slot(std::uint64_t model_id);

// A thread's counters, its cache of one-variable intervals (per direct-mapped
// slot: the model id and the interval it used last) and the message key of
// its last status of a const member (see Interpolator::Impl). Plain data,
// constant-initialised, so reaching it needs no initialisation guard.
struct ThreadState {
  QueryStatistics statistics;
  std::uint64_t interval_model[8] = {};
  std::size_t interval[8] = {};
  std::uint64_t message_key = 0;
};

// The calling thread's state; never fails.
QORVA_GIL_INTERNAL ThreadState& thread_state();

// A process-wide, never repeated identity for a built model.
std::uint64_t next_model_id();

// Scratch space of n doubles for one query: on the stack up to 16, on the heap
// beyond. Not copyable (it may point into itself).
class Scratch {
 public:
  explicit Scratch(std::size_t n) : data_(stack_) {
    if (n > kOnStack) {
      heap_.resize(n);
      data_ = heap_.data();
    }
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  double* data() { return data_; }

 private:
  static constexpr std::size_t kOnStack = 16;
  double stack_[kOnStack];
  std::vector<double> heap_;
  double* data_;
};

// True when the first n coordinates of a and b are identical.
inline bool same_point(const double* a, const double* b, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return false;
  return true;
}

// A built interpolation model. Immutable after construction, so one model may
// answer from many threads at once and be shared by copies of an engine.
class Model {
 public:
  virtual ~Model() = default;
  // Writes the values of dependent columns [first, first + count) at point y
  // (model coordinates) into out. `cache_id` is 0 without caching, otherwise
  // the key of this model's entries in the thread's caches. Returns true when
  // y lies outside the data and the answer was projected or extrapolated;
  // never throws.
  virtual bool evaluate(const double* y, std::size_t first, std::size_t count, double* out,
                        std::uint64_t cache_id) const = 0;
  // evaluate() at n points: y row-major with `dim` values per point, answers
  // row-major n x count in out, evaluate()'s result for point i in outside[i].
  // The answers are evaluate()'s, point by point; a model may locate several
  // points at once to overlap their memory loads. Never throws.
  virtual void evaluate_many(const double* y, std::size_t dim, std::size_t n, std::size_t first,
                             std::size_t count, double* out, unsigned char* outside,
                             std::uint64_t cache_id) const {
    for (std::size_t i = 0; i < n; ++i)
      outside[i] = evaluate(y + i * dim, first, count, out + i * count, cache_id);
  }
};

// Result of building a model: the model, or an error text when the data
// cannot be handled.
class LineTable;
struct BuildResult {
  std::unique_ptr<Model> model;
  std::string error;
  const LineTable* line = nullptr;  // a one-variable linear model's table, owned by the model
};

}  // namespace detail
}  // namespace qorva_gil
