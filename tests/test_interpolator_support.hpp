// Helpers shared by the interpolator tests: engines built from tables, analytic test functions and point sets.
// Assertions are left to the tests themselves.
#pragma once

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "qorva_gil/interpolator.hpp"

namespace gil_test {

using qorva_gil::AlgorithmTypeEnum;
using qorva_gil::ExitStatusEnum;
using qorva_gil::Interpolator;
using Table = Interpolator::table;

inline std::vector<std::string> variable_names(std::size_t d) {
  std::vector<std::string> names;
  for (std::size_t k = 0; k < d; ++k) names.push_back("x" + std::to_string(k));
  return names;
}

// Affine test function with distinct slopes and a large offset.
inline double affine(const std::vector<double>& x) {
  double v = 12.5;
  for (std::size_t k = 0; k < x.size(); ++k) v += (0.75 + 0.5 * k) * x[k] * (k % 2 ? -1.0 : 1.0);
  return v;
}

inline Table uniform_points(std::size_t n, std::size_t d, unsigned seed, double lo = 0.0,
                            double hi = 1.0) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> u(lo, hi);
  Table points(n, std::vector<double>(d));
  for (auto& p : points)
    for (auto& c : p) c = u(random);
  return points;
}

// All points of a regular grid with `per_axis` points on [0, 1] in each of d dimensions.
inline Table grid_points(std::size_t per_axis, std::size_t d) {
  Table points;
  std::size_t total = 1;
  for (std::size_t k = 0; k < d; ++k) total *= per_axis;
  for (std::size_t i = 0; i < total; ++i) {
    std::vector<double> p(d);
    std::size_t rest = i;
    for (std::size_t k = 0; k < d; ++k, rest /= per_axis)
      p[k] = static_cast<double>(rest % per_axis) / static_cast<double>(per_axis - 1);
    points.push_back(p);
  }
  return points;
}

template <class F>
Table tabulate(const Table& points, F f) {
  Table values;
  for (const auto& p : points) values.push_back({f(p)});
  return values;
}

// An engine with variables x0.., one dependent "f", given settings; not initialised.
inline Interpolator engine(const Table& points, const Table& values,
                           AlgorithmTypeEnum::type type = AlgorithmTypeEnum::LINEAR_MULTIVARIATE,
                           bool cgal = false, bool project = false) {
  Interpolator g;
  g.set_independent_names(variable_names(points.empty() ? 0 : points[0].size()));
  g.set_dependent_names({"f"});
  g.set_independent_data(points);
  g.set_dependent_data(values);
  g.set_algorithm_type(type);
  g.set_algorithm_option("use_cgal_triangulation", cgal);
  g.set_algorithm_option("project_to_convex_hull", project);
  return g;
}

// specific_query of "f" at x in the stored variable order; status in *status.
inline double at(const Interpolator& g, const std::vector<double>& x, int* status = nullptr) {
  double r = std::nan("");
  const int s = g.specific_query(variable_names(x.size()), x, "f", r);
  if (status) *status = s;
  return r;
}

inline double tolerance(double expected) { return 1e-12 * std::max(1.0, std::abs(expected)); }

}  // namespace gil_test
