// Single-point query latency of qorva_gil::Interpolator and PropertySet, initialize() time, and the floors they are judged against.
// Correctness of the engine is left to the tests; this program only checks that it times answers it agrees with.
//
// Queries are made the way a finite-element solver makes them: one point at a
// time, names and the value vector prepared once, points drawn up front. Two
// access patterns: "random" (uniform in the data box) and "solver" (a slow
// random walk with every point asked twice, as when a solver revisits an
// integration point). After the run the target ratios are printed from the
// median real times (use --benchmark_repetitions=5
// --benchmark_report_aggregates_only=true).

#include <benchmark/benchmark.h>

#include <libqhull_r/libqhull_r.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "qorva_gil/interpolator.hpp"
#include "qorva_gil/statistics.hpp"
#include "qorva_mat/property_set.hpp"

namespace {

using qorva_gil::Interpolator;
using Status = qorva_gil::ExitStatusEnum::type;
using Table = std::vector<std::vector<double>>;

constexpr std::size_t kQueryCount = 8192;  // power of two: the loop index is masked
constexpr std::size_t kQueryMask = kQueryCount - 1;
constexpr double kPi = 3.14159265358979323846;

// Delaunay options for the bare Qhull build, the ones the engine passes for
// its own triangulation.
char kQhullOptions[] = "qhull d Qt Qbb Qc Qz Q12";

const std::vector<std::string> kIndependentNames = {"Temperature", "ShearAngle", "FieldVariable1"};
const std::vector<std::string> kDependentNames = {"E1", "E2", "G12"};
const std::string kQueried =
    "E2";  // the middle column, so the name lookup is not the trivial first hit

// Smooth test functions of a point in the unit box, one per dependent name.
double smooth(std::size_t column, const double* x, std::size_t dim) {
  double s = 0.0;
  for (std::size_t k = 0; k < dim; ++k) {
    const double a = 1.0 + 0.5 * static_cast<double>(k) + 0.25 * static_cast<double>(column);
    s += std::sin(a * kPi * x[k]) + 0.3 * x[k] * x[k];
  }
  return s + static_cast<double>(column);
}

// Data points, row-major (points[i * dim + k]), in the unit box, with their
// three dependent values.
struct Dataset {
  std::size_t dim = 0;
  std::size_t n = 0;
  std::vector<double> points;
  Table independent;  // engine layout: one row per point
  Table dependent;
  // 1-D only: sorted abscissae and the queried column, for the floors.
  std::vector<double> xs;
  std::vector<double> ys;
};

// 1-D: a sorted table with random spacing from 0 to 1. N-D: the corners of
// the unit box plus uniform random points inside, so that every query in the
// box lies inside the convex hull.
Dataset make_dataset(std::size_t dim, std::size_t n) {
  Dataset d;
  d.dim = dim;
  d.n = n;
  std::mt19937_64 rng(1000003u * dim + n);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  if (dim == 1) {
    d.xs.resize(n);
    d.xs[0] = 0.0;
    d.xs[n - 1] = 1.0;
    for (std::size_t i = 1; i + 1 < n; ++i) d.xs[i] = u(rng);
    std::sort(d.xs.begin(), d.xs.end());
    d.points = d.xs;
  } else {
    const std::size_t corners = std::size_t{1} << dim;
    d.points.resize(n * dim);
    for (std::size_t c = 0; c < corners; ++c)
      for (std::size_t k = 0; k < dim; ++k) d.points[c * dim + k] = (c >> k) & 1u ? 1.0 : 0.0;
    for (std::size_t i = corners * dim; i < n * dim; ++i) d.points[i] = u(rng);
  }
  for (std::size_t i = 0; i < n; ++i) {
    const double* x = &d.points[i * dim];
    d.independent.emplace_back(x, x + dim);
    std::vector<double> row;
    for (std::size_t c = 0; c < kDependentNames.size(); ++c) row.push_back(smooth(c, x, dim));
    d.dependent.push_back(row);
  }
  if (dim == 1)
    for (const auto& row : d.dependent) d.ys.push_back(row[1]);
  return d;
}

const Dataset& dataset(std::size_t dim, std::size_t n) {
  static std::map<std::pair<std::size_t, std::size_t>, std::unique_ptr<Dataset>> cache;
  auto& slot = cache[{dim, n}];
  if (!slot) slot = std::make_unique<Dataset>(make_dataset(dim, n));
  return *slot;
}

enum class Pattern { random, solver };

// kQueryCount points, row-major, in the unit box.
std::vector<double> make_queries(std::size_t dim, Pattern pattern) {
  std::mt19937_64 rng(77u + dim);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::vector<double> q(kQueryCount * dim);
  if (pattern == Pattern::random) {
    for (double& v : q) v = u(rng);
    return q;
  }
  // Steps of at most 1e-3 of the range, reflected at the box faces; every
  // point is asked twice in a row.
  std::vector<double> x(dim, 0.5);
  for (std::size_t i = 0; i < kQueryCount; i += 2) {
    for (std::size_t k = 0; k < dim; ++k) {
      double v = x[k] + 2e-3 * (u(rng) - 0.5);
      if (v < 0.0) v = -v;
      if (v > 1.0) v = 2.0 - v;
      x[k] = v;
      q[i * dim + k] = v;
      q[(i + 1) * dim + k] = v;
    }
  }
  return q;
}

std::vector<std::string> names_for(std::size_t dim) {
  return {kIndependentNames.begin(), kIndependentNames.begin() + static_cast<std::ptrdiff_t>(dim)};
}

// A ready engine on the data set; on failure returns null and says why.
std::unique_ptr<Interpolator> make_engine(const Dataset& d, bool cached, std::string& why);

// A ready engine on the data set of dim variables and n points; on failure
// marks the benchmark as skipped with the reason and returns null.
std::unique_ptr<Interpolator> engine_or_skip(benchmark::State& state, std::size_t dim,
                                             std::size_t n, bool cached) {
  std::string why;
  auto g = make_engine(dataset(dim, n), cached, why);
  if (!g) state.SkipWithError(why.c_str());
  return g;
}

std::unique_ptr<Interpolator> make_engine(const Dataset& d, bool cached, std::string& why) {
  auto g = std::make_unique<Interpolator>();
  const Interpolator::ranges ranges(d.dim, {0.0, 1.0});
  const std::vector<double> defaults(d.dim, 0.5);
  const Status steps[] = {
      g->set_independent_names(names_for(d.dim)),
      g->set_dependent_names(kDependentNames),
      g->set_independent_data(d.independent),
      g->set_dependent_data(d.dependent),
      g->set_independent_data_ranges(ranges),
      g->set_default_independent_values(defaults),
      g->set_algorithm_type(qorva_gil::AlgorithmTypeEnum::LINEAR_MULTIVARIATE),
      g->set_is_cached(cached),
      g->initialize(),
  };
  for (Status s : steps) {
    if (s == qorva_gil::ExitStatusEnum::ERROR) {
      why = "engine set-up failed: " + g->last_message();
      return nullptr;
    }
  }
  return g;
}

// ---------------------------------------------------------------- floors (1-D)

// Interval i with xs[i] <= q < xs[i+1], clamped to [0, n-2], by std::upper_bound.
inline std::size_t locate_upper_bound(const std::vector<double>& xs, double q) {
  const auto it = std::upper_bound(xs.begin() + 1, xs.end() - 1, q);
  return static_cast<std::size_t>(it - xs.begin()) - 1;
}

// The same interval by a binary search without data-dependent branches: the
// loop count depends on n only, and the step is a conditional move (a
// multiply by the comparison is slower: 3 cycles in the dependency chain).
inline std::size_t locate_branch_free(const double* xs, std::size_t n, double q) {
  const double* base = xs;
  std::size_t len = n - 1;  // number of intervals still possible
  while (len > 1) {
    const std::size_t half = len / 2;
    base = base[half] <= q ? base + half : base;
    len -= half;
  }
  return static_cast<std::size_t>(base - xs);
}

inline double blend(const double* xs, const double* ys, std::size_t i, double q) {
  const double t = (q - xs[i]) / (xs[i + 1] - xs[i]);
  return ys[i] + t * (ys[i + 1] - ys[i]);
}

void BM_floor_upper_bound(benchmark::State& state, std::size_t n) {
  const Dataset& d = dataset(1, n);
  const std::vector<double> qs = make_queries(1, Pattern::random);
  const double lo = d.xs.front(), hi = d.xs.back();
  std::size_t i = 0;
  for (auto _ : state) {
    const double q = std::min(std::max(qs[i++ & kQueryMask], lo), hi);
    double r = blend(d.xs.data(), d.ys.data(), locate_upper_bound(d.xs, q), q);
    benchmark::DoNotOptimize(r);
  }
}

void BM_floor_branch_free(benchmark::State& state, std::size_t n) {
  const Dataset& d = dataset(1, n);
  const std::vector<double> qs = make_queries(1, Pattern::random);
  const double lo = d.xs.front(), hi = d.xs.back();
  std::size_t i = 0;
  for (auto _ : state) {
    const double q = std::min(std::max(qs[i++ & kQueryMask], lo), hi);
    double r = blend(d.xs.data(), d.ys.data(), locate_branch_free(d.xs.data(), n, q), q);
    benchmark::DoNotOptimize(r);
  }
}

// The branch-free floor with each query waiting for the previous answer
// (q + r * 0.0 cannot be folded away), so successive searches cannot overlap:
// the latency of one search, which a long query path pays in full.
void BM_floor_branch_free_chained(benchmark::State& state, std::size_t n) {
  const Dataset& d = dataset(1, n);
  const std::vector<double> qs = make_queries(1, Pattern::random);
  const double lo = d.xs.front(), hi = d.xs.back();
  std::size_t i = 0;
  double r = 0.0;
  for (auto _ : state) {
    const double q = std::min(std::max(qs[i++ & kQueryMask] + r * 0.0, lo), hi);
    r = blend(d.xs.data(), d.ys.data(), locate_branch_free(d.xs.data(), n, q), q);
    benchmark::DoNotOptimize(r);
  }
}

// ---------------------------------------------------------------- engine queries

void BM_gil_query(benchmark::State& state, std::size_t dim, std::size_t n, bool cached,
                  Pattern pattern) {
  const Dataset& d = dataset(dim, n);
  const auto g = engine_or_skip(state, dim, n, cached);
  if (!g) return;
  std::string why;
  const std::vector<double> qs = make_queries(dim, pattern);
  const std::vector<std::string> names = names_for(dim);
  std::vector<double> values(dim);
  double r = 0.0;

  // One untimed pass: no errors, answers inside the box are not warnings,
  // and in 1-D the engine agrees with the floor it is compared with.
  for (std::size_t i = 0; i < kQueryCount; ++i) {
    std::copy_n(&qs[i * dim], dim, values.begin());
    const Status s = g->specific_query(names, values, kQueried, r);
    if (s != qorva_gil::ExitStatusEnum::SUCCESS || !std::isfinite(r)) {
      why = "query " + std::to_string(i) + " gave status " + std::to_string(s) + ": " +
            g->last_message();
      state.SkipWithError(why.c_str());
      return;
    }
    if (dim == 1) {
      const double ref =
          blend(d.xs.data(), d.ys.data(), locate_branch_free(d.xs.data(), n, values[0]), values[0]);
      if (std::abs(r - ref) > 1e-12 * (1.0 + std::abs(ref))) {
        why = "1-D answer differs from the linear blend at query " + std::to_string(i);
        state.SkipWithError(why.c_str());
        return;
      }
    }
  }

  qorva_gil::thread_query_statistics() = qorva_gil::QueryStatistics{};
  std::size_t i = 0;
  for (auto _ : state) {
    const double* q = &qs[(i++ & kQueryMask) * dim];
    for (std::size_t k = 0; k < dim; ++k) values[k] = q[k];
    const Status s = g->specific_query(names, values, kQueried, r);
    benchmark::DoNotOptimize(s);
    benchmark::DoNotOptimize(r);
  }
  // The engine counts only when caching: share of queries answered from the
  // cache (same point, or the cached interval or simplex), and walk steps per
  // point located from scratch.
  if (cached) {
    const qorva_gil::QueryStatistics st = qorva_gil::thread_query_statistics();
    const double hits = static_cast<double>(st.point_hits + st.cell_hits);
    const double fresh = static_cast<double>(st.located) - static_cast<double>(st.cell_hits);
    state.counters["cache_hits"] = benchmark::Counter(hits, benchmark::Counter::kAvgIterations);
    if (dim > 1 && fresh > 0.0)
      state.counters["walk_steps"] = static_cast<double>(st.walk_steps) / fresh;
  }
}

// batch_specific_query of all kQueryCount points in one call (sorted by the
// first variable or not); the time is reported per point, so it compares
// directly with the single-point cases.
void BM_gil_batch(benchmark::State& state, std::size_t dim, std::size_t n, bool sorted) {
  const auto g = engine_or_skip(state, dim, n, false);
  if (!g) return;
  std::vector<double> qs = make_queries(dim, Pattern::random);
  if (sorted) {
    std::vector<std::vector<double>> rows;
    for (std::size_t i = 0; i < kQueryCount; ++i)
      rows.emplace_back(&qs[i * dim], &qs[i * dim] + dim);
    std::sort(rows.begin(), rows.end());
    for (std::size_t i = 0; i < kQueryCount; ++i)
      std::copy(rows[i].begin(), rows[i].end(), &qs[i * dim]);
  }
  const std::vector<std::string> names = names_for(dim);
  std::vector<double> out(kQueryCount);
  for (auto _ : state) {
    const Status s = g->batch_specific_query(names, qs.data(), kQueryCount, kQueried, out.data());
    benchmark::DoNotOptimize(s);
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["per_point"] = benchmark::Counter(
      static_cast<double>(kQueryCount),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_property_set_query(benchmark::State& state, std::size_t n, bool cached) {
  const Dataset& d = dataset(1, n);
  qorva_mat::PropertySet ps("Elasticity", kDependentNames);
  const std::vector<double> qs = make_queries(1, Pattern::random);
  std::pair<std::vector<std::string>, std::vector<double>> point{names_for(1), {0.5}};
  try {
    ps.set(
        names_for(1), d.independent, {{0.0, 1.0}}, {0.5}, d.dependent,
        qorva_gil::AlgorithmTypeEnum::enum_str(qorva_gil::AlgorithmTypeEnum::LINEAR_MULTIVARIATE),
        cached, false, false);
    ps.update();
    for (std::size_t i = 0; i < kQueryCount; ++i) {
      point.second[0] = qs[i];
      const double r = ps.query(point, kQueried);
      const double ref =
          blend(d.xs.data(), d.ys.data(), locate_branch_free(d.xs.data(), n, qs[i]), qs[i]);
      if (std::abs(r - ref) > 1e-12 * (1.0 + std::abs(ref))) {
        state.SkipWithError("PropertySet answer differs from the linear blend");
        return;
      }
    }
  } catch (const std::exception& e) {
    const std::string why = std::string("property set: ") + e.what();
    state.SkipWithError(why.c_str());
    return;
  }

  std::size_t i = 0;
  for (auto _ : state) {
    point.second[0] = qs[i++ & kQueryMask];
    double r = ps.query(point, kQueried);
    benchmark::DoNotOptimize(r);
  }
}

// ---------------------------------------------------------------- set-up

// initialize() alone: the untimed set_independent_data before it makes the
// engine not ready, so every iteration does the full work.
void BM_gil_initialize(benchmark::State& state, std::size_t dim, std::size_t n) {
  const Dataset& d = dataset(dim, n);
  const auto g = engine_or_skip(state, dim, n, false);
  if (!g) return;
  std::string why;
  for (auto _ : state) {
    state.PauseTiming();
    g->set_independent_data(d.independent);
    state.ResumeTiming();
    const Status s = g->initialize();
    state.PauseTiming();
    bool ready = false;
    g->is_ready(ready);
    if (s == qorva_gil::ExitStatusEnum::ERROR || !ready) {
      why = "initialize failed: " + g->last_message();
      state.SkipWithError(why.c_str());
      return;
    }
    state.ResumeTiming();
  }
}

// Qhull's Delaunay triangulation of the same points, built and freed: the
// least any engine set-up on Qhull can cost.
void BM_qhull_delaunay(benchmark::State& state, std::size_t dim, std::size_t n) {
  const Dataset& d = dataset(dim, n);
  std::vector<coordT> pts(d.points.begin(), d.points.end());
  for (auto _ : state) {
    state.PauseTiming();
    std::copy(d.points.begin(), d.points.end(), pts.begin());  // Qhull may scale its input in place
    state.ResumeTiming();
    qhT qh_storage;
    qhT* qh = &qh_storage;
    qh_zero(qh, stderr);
    const int code = qh_new_qhull(qh, static_cast<int>(dim), static_cast<int>(n), pts.data(), False,
                                  kQhullOptions, nullptr, stderr);
    int simplices = 0;
    if (code == 0) {
      facetT* facet;
      FORALLfacets {
        if (!facet->upperdelaunay) ++simplices;
      }
    }
    qh_freeqhull(qh, !qh_ALL);
    int curlong = 0, totlong = 0;
    qh_memfreeshort(qh, &curlong, &totlong);
    if (code != 0 || simplices == 0) {
      state.SkipWithError("qh_new_qhull failed");
      return;
    }
    benchmark::DoNotOptimize(simplices);
  }
}

// ---------------------------------------------------------------- registration

std::string name_of(const char* family, std::size_t dim, std::size_t n) {
  return std::string(family) + "/" + std::to_string(dim) + "d/n:" + std::to_string(n);
}

std::string query_name(std::size_t dim, std::size_t n, bool cached, Pattern pattern) {
  return name_of("gil_query", dim, n) + "/cache:" + (cached ? "1" : "0") +
         (pattern == Pattern::random ? "/random" : "/solver");
}

void register_all() {
  using benchmark::kMicrosecond;
  using benchmark::kNanosecond;
  for (std::size_t n : {10, 100, 1000}) {
    benchmark::RegisterBenchmark(name_of("floor_upper_bound", 1, n).c_str(), BM_floor_upper_bound,
                                 n)
        ->Unit(kNanosecond);
    benchmark::RegisterBenchmark(name_of("floor_branch_free", 1, n).c_str(), BM_floor_branch_free,
                                 n)
        ->Unit(kNanosecond);
    benchmark::RegisterBenchmark(name_of("floor_branch_free_chained", 1, n).c_str(),
                                 BM_floor_branch_free_chained, n)
        ->Unit(kNanosecond);
    for (bool cached : {false, true}) {
      benchmark::RegisterBenchmark(query_name(1, n, cached, Pattern::random).c_str(), BM_gil_query,
                                   1, n, cached, Pattern::random)
          ->Unit(kNanosecond);
      benchmark::RegisterBenchmark(
          (name_of("property_set_query", 1, n) + "/cache:" + (cached ? "1" : "0")).c_str(),
          BM_property_set_query, n, cached)
          ->Unit(kNanosecond);
    }
  }
  for (std::size_t dim : {2, 3}) {
    for (std::size_t n : {10, 100, 1000, 10000}) {
      for (bool cached : {false, true})
        benchmark::RegisterBenchmark(query_name(dim, n, cached, Pattern::random).c_str(),
                                     BM_gil_query, dim, n, cached, Pattern::random)
            ->Unit(kNanosecond);
    }
  }
  // The solver-like pattern, where caching is meant to pay.
  for (std::size_t dim : {1, 2, 3}) {
    for (bool cached : {false, true})
      benchmark::RegisterBenchmark(query_name(dim, 1000, cached, Pattern::solver).c_str(),
                                   BM_gil_query, dim, std::size_t{1000}, cached, Pattern::solver)
          ->Unit(kNanosecond);
  }
  // Batches of every query point in one call.
  for (std::size_t dim : {1, 2, 3})
    for (bool sorted : {false, true})
      benchmark::RegisterBenchmark(
          (name_of("gil_batch", dim, 1000) + (sorted ? "/sorted" : "/random")).c_str(),
          BM_gil_batch, dim, std::size_t{1000}, sorted)
          ->Unit(kMicrosecond);
  for (std::size_t n : {10, 100, 1000})
    benchmark::RegisterBenchmark(name_of("gil_initialize", 1, n).c_str(), BM_gil_initialize, 1, n)
        ->Unit(kMicrosecond);
  for (std::size_t dim : {2, 3}) {
    for (std::size_t n : {10, 100, 1000, 10000}) {
      benchmark::RegisterBenchmark(name_of("gil_initialize", dim, n).c_str(), BM_gil_initialize,
                                   dim, n)
          ->Unit(kMicrosecond);
      benchmark::RegisterBenchmark(name_of("qhull_delaunay", dim, n).c_str(), BM_qhull_delaunay,
                                   dim, n)
          ->Unit(kMicrosecond);
    }
  }
}

// ---------------------------------------------------------------- ratios

// Console output as usual, and the real and CPU time per iteration of every
// benchmark kept in nanoseconds: the median when repetitions are run, the
// single measurement otherwise.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  struct Times {
    double real = -1.0;
    double cpu = -1.0;
  };

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const double to_ns = 1e9 / benchmark::GetTimeUnitMultiplier(run.time_unit);
      const Times t{run.GetAdjustedRealTime() * to_ns, run.GetAdjustedCPUTime() * to_ns};
      if (run.run_type == Run::RT_Aggregate) {
        if (run.aggregate_name == "median") median_[run.run_name.str()] = t;
      } else {
        single_[run.run_name.str()] = t;
      }
    }
  }

  // Median if there is one, else the single run; negative when not measured.
  Times times(const std::string& name) const {
    auto it = median_.find(name);
    if (it != median_.end()) return it->second;
    it = single_.find(name);
    return it != single_.end() ? it->second : Times{};
  }

 private:
  std::map<std::string, Times> median_;
  std::map<std::string, Times> single_;
};

// One line: both real times, their ratio, the verdict against the target
// (none when target is 0), and the ratio of CPU times, which is the steadier
// of the two when other programs share the cores.
void print_ratio(const RatioReporter& rep, const std::string& label, const std::string& num,
                 const std::string& den, double target) {
  const RatioReporter::Times a = rep.times(num), b = rep.times(den);
  if (a.real < 0.0 || b.real <= 0.0) {
    std::printf("  %-60s not measured in this run\n", label.c_str());
    return;
  }
  const double ratio = a.real / b.real;
  std::printf("  %-60s %11.1f / %11.1f ns = %6.2f (cpu %6.2f)", label.c_str(), a.real, b.real,
              ratio, b.cpu > 0.0 ? a.cpu / b.cpu : 0.0);
  if (target > 0.0) std::printf("  target <= %.1f: %s", target, ratio <= target ? "met" : "MISSED");
  std::printf("\n");
}

void print_ratios(const RatioReporter& rep) {
  // The targets are for the engine's default, queries without caching;
  // caching is for repeated and nearby points, and its cost on random points
  // is listed for information below.
  std::printf("\nTarget ratios (median real time per call)\n");
  for (std::size_t n : {10, 100, 1000}) {
    const std::string floor = name_of("floor_branch_free", 1, n);
    print_ratio(rep, "1-D specific_query / branch-free floor, n=" + std::to_string(n),
                query_name(1, n, false, Pattern::random), floor, 2.0);
    print_ratio(rep, "1-D PropertySet::query / branch-free floor, n=" + std::to_string(n),
                name_of("property_set_query", 1, n) + "/cache:0", floor, 3.0);
  }
  for (std::size_t dim : {2, 3})
    print_ratio(
        rep, std::to_string(dim) + "-D specific_query n=1000 / 1-D branch-free floor n=1000",
        query_name(dim, 1000, false, Pattern::random), name_of("floor_branch_free", 1, 1000), 10.0);
  print_ratio(rep, "2-D initialize() n=10000 / bare Qhull Delaunay",
              name_of("gil_initialize", 2, 10000), name_of("qhull_delaunay", 2, 10000), 1.5);

  std::printf("\nFor information\n");
  for (std::size_t n : {10, 100, 1000}) {
    const std::string floor = name_of("floor_branch_free", 1, n);
    print_ratio(rep, "1-D specific_query, cached, random points / floor, n=" + std::to_string(n),
                query_name(1, n, true, Pattern::random), floor, 0.0);
    print_ratio(rep,
                "1-D PropertySet::query, cached, random points / floor, n=" + std::to_string(n),
                name_of("property_set_query", 1, n) + "/cache:1", floor, 0.0);
  }
  for (std::size_t n : {10, 100, 1000})
    print_ratio(rep, "1-D upper_bound floor / branch-free floor, n=" + std::to_string(n),
                name_of("floor_upper_bound", 1, n), name_of("floor_branch_free", 1, n), 0.0);
  for (std::size_t n : {10, 100, 1000})
    print_ratio(rep, "1-D specific_query / chained branch-free floor, n=" + std::to_string(n),
                query_name(1, n, false, Pattern::random),
                name_of("floor_branch_free_chained", 1, n), 0.0);
  print_ratio(rep, "3-D initialize() n=10000 / bare Qhull Delaunay",
              name_of("gil_initialize", 3, 10000), name_of("qhull_delaunay", 3, 10000), 0.0);
  for (std::size_t dim : {1, 2, 3})
    print_ratio(rep, std::to_string(dim) + "-D n=1000 solver pattern, cached / uncached",
                query_name(dim, 1000, true, Pattern::solver),
                query_name(dim, 1000, false, Pattern::solver), 0.0);
  for (std::size_t dim : {2, 3})
    print_ratio(rep, std::to_string(dim) + "-D n=1000 random pattern, cached / uncached",
                query_name(dim, 1000, true, Pattern::random),
                query_name(dim, 1000, false, Pattern::random), 0.0);
  // A batch call answers kQueryCount points: per point, against one single query.
  for (std::size_t dim : {1, 2, 3}) {
    for (const char* order : {"random", "sorted"}) {
      const RatioReporter::Times batch = rep.times(name_of("gil_batch", dim, 1000) + "/" + order);
      const RatioReporter::Times single = rep.times(query_name(dim, 1000, false, Pattern::random));
      if (batch.real < 0.0 || single.real <= 0.0) continue;
      const double per_point = batch.real / static_cast<double>(kQueryCount);
      std::printf(
          "  %d-D n=1000 batch of %zu %s points, per point / single query   %8.1f / %8.1f ns = "
          "%6.2f\n",
          static_cast<int>(dim), kQueryCount, order, per_point, single.real,
          per_point / single.real);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  register_all();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  print_ratios(reporter);
  benchmark::Shutdown();
  return 0;
}
