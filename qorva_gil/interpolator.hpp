// qorva_gil::Interpolator: one property's names, data table, ranges, defaults and algorithm settings, answering queries.
// It knows nothing of units or materials; callers convert values before handing them over.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace qorva_gil {

// Status returned by every member of Interpolator.
struct ExitStatusEnum {
  enum type {
    SUCCESS = 0,  // the call did what it was asked
    ERROR = 1,    // nothing usable was produced; last_message() says why
    WARNING =
        2,  // a valid answer that deserves notice: a value clamped to its range, a point outside
            // the data (projected or extrapolated), a value given for a variable the data hold
            // at one value only; last_message() says which
  };
  // "SUCCESS", "ERROR", "WARNING", or "Unknown" for any other number.
  static std::string enum_str(int status);
};

// Interpolation algorithms.
struct AlgorithmTypeEnum {
  enum type {
    NEAREST_NEIGHBOR = 1,     // value of the nearest data point (KD-tree)
    RADIAL_BASIS = 3,         // cubic radial basis r^3 plus a linear polynomial
    LINEAR_MULTIVARIATE = 5,  // piecewise linear on a Delaunay triangulation (default)
  };
  // Text of an algorithm type: "KD-tree Nearest Neighbor", "Cubic Radial Basis",
  // "Triangulation-based Linear Multivariate"; "Unknown" for any other value.
  static std::string enum_str(int algorithm);
};

// Tables: `independent_data` has one row per data point and one column per
// independent name; `dependent_data` has one row per data point (or exactly one
// row and no independent data: a constant) and one column per dependent name.
//
// Algorithms (chosen by set_algorithm_type, built by initialize()):
// - LINEAR_MULTIVARIATE: with no independent data the one dependent row is the
//   answer everywhere. Independent variables whose data values are all equal
//   are dropped; with one variable left the table is sorted and interpolated
//   piecewise linearly; with two or more the points are triangulated (Delaunay,
//   Qhull by default, CGAL's exact-predicates triangulation with the option
//   "use_cgal_triangulation") and values are blended with barycentric weights.
// - NEAREST_NEIGHBOR: the dependent row of the closest data point.
// - RADIAL_BASIS: s(x) = sum_j w_j |x - x_j|^3 + c0 + c.x, interpolating every
//   node and reproducing affine data; no shape parameter.
// Distances and triangulations use the raw variable values, or with
// set_is_normalized(true) each variable scaled by its data range to [0, 1]
// (with one variable left scaling changes no answer, and none is applied).
//
// Options (set_/get_algorithm_option; both false by default, kept when the
// algorithm or the flags change):
// - "project_to_convex_hull": a point outside the data is projected onto the
//   convex hull (one variable: onto the end of the table) and interpolated there;
//   when false it is extrapolated linearly from the nearest simplex (interval).
//   Only the linear algorithm uses it.
// - "use_cgal_triangulation": triangulate with CGAL instead of Qhull.
//
// Queries name the independent variables they give, in any order; a variable
// not named takes its default (an error when no defaults are set). Each value is
// clamped to its range when ranges are set (WARNING). A variable dropped because
// its data hold one value accepts any value, with WARNING if it differs from
// that value. A constant engine answers its row for any query point.
//
// Data points must be distinct: two equal rows of independent data make
// initialize() fail, for every algorithm.
//
// Caching (set_is_cached): each thread remembers, per engine, the last point,
// its interval or simplex and its weights; a query at the same point reuses
// them, a nearby one first tries the last simplex. Answers are identical with
// and without caching. In one variable the interval is found in a few
// compares from a bucket index, so the cache mostly counts there (it skips
// only long searches in strongly clustered tables); it pays from two
// variables on. See qorva_gil/statistics.hpp for the counters.
//
// Threads: const members may run concurrently on one engine; non-const members
// need exclusive access. last_message() reports the calling thread's last
// const call on this engine, or else the engine's last non-const call.
class Interpolator {
 public:
  using status = ExitStatusEnum::type;
  using table = std::vector<std::vector<double>>;  // one row per data point
  using ranges = std::vector<std::pair<double, double>>;

  // An empty engine: linear algorithm, no caching, no normalisation, options false.
  Interpolator();
  // A deep, independent copy (built state included; it may be shared read-only).
  Interpolator(const Interpolator& other);
  Interpolator& operator=(const Interpolator& other);
  virtual ~Interpolator();

  // Setters store their argument as given (checks happen in check_consistency()
  // and initialize()), return SUCCESS and make is_ready false, except where an
  // ERROR is listed. Getters copy out exactly what was stored and return SUCCESS.
  status set_independent_names(const std::vector<std::string>& names);
  status get_independent_names(std::vector<std::string>& names) const;
  status set_dependent_names(const std::vector<std::string>& names);
  status get_dependent_names(std::vector<std::string>& names) const;
  status set_independent_data(const table& data);
  status get_independent_data(table& data) const;
  status set_dependent_data(const table& data);
  // Replaces column `column` of the dependent table with `values`, one per row;
  // an empty table first becomes values.size() rows of zeros, short rows are
  // padded with zeros. ERROR (table unchanged) when column is not below the
  // number of dependent names or values.size() differs from the row count.
  status set_dependent_data(std::size_t column, const std::vector<double>& values);
  status get_dependent_data(table& data) const;
  // Lower and upper bound per independent variable; empty means no clamping.
  status set_independent_data_ranges(const ranges& r);
  status get_independent_data_ranges(ranges& r) const;
  // One value per independent variable; empty means every query names all.
  status set_default_independent_values(const std::vector<double>& defaults);
  status get_default_independent_values(std::vector<double>& defaults) const;
  // ERROR (type unchanged) for a value that is not 1, 3 or 5.
  status set_algorithm_type(AlgorithmTypeEnum::type algorithm);
  status get_algorithm_type(AlgorithmTypeEnum::type& algorithm) const;
  status set_is_cached(bool cached);
  status get_is_cached(bool& cached) const;
  status set_is_normalized(bool normalized);
  status get_is_normalized(bool& normalized) const;
  // ERROR for a name other than "project_to_convex_hull" or
  // "use_cgal_triangulation" (value left unchanged).
  status set_algorithm_option(const std::string& name, bool value);
  status get_algorithm_option(const std::string& name, bool& value) const;

  // Number of independent / dependent names. SUCCESS.
  status get_independent_data_dimension(std::size_t& dimension) const;
  status get_dependent_data_dimension(std::size_t& dimension) const;

  // True after a successful initialize() with no setter called since. SUCCESS.
  status is_ready(bool& ready) const;
  // True when the dependent table has one row and there are no independent data. SUCCESS.
  status is_constant(bool& constant) const;
  // ERROR, saying what is wrong, unless: there are dependent names; no name
  // repeats; every row has one finite value per name; the dependent table has
  // one row per independent row (or one row and no independent data); ranges
  // and defaults are empty or one per independent name, with lower <= upper
  // and finite defaults.
  status check_consistency() const;
  // Checks as check_consistency(), rejects equal data points, and builds the
  // algorithm. ERROR (engine not ready) for inconsistent tables, duplicate
  // points, too few points (linear in d varying variables needs d + 1, one
  // variable 2), points in a lower-dimensional subspace (e.g. collinear in
  // two variables), more than 2000 points for the radial basis algorithm, or a
  // failed triangulation or solve. SUCCESS otherwise.
  status initialize();

  // Values of every dependent variable (resized to their number) at the point
  // given by names and values. ERROR (result unspecified) before initialize(),
  // for an unknown or repeated name, names and values of different lengths, a
  // value that is not a finite number or lies too far from the data to map
  // into its coordinates, a missing name without defaults, or an answer that
  // is not finite (extrapolated too far). WARNING as described above.
  status query(const std::vector<std::string>& names, const std::vector<double>& values,
               std::vector<double>& result) const;
  // query() at the default values; ERROR when no defaults are set (and the engine is not constant).
  status default_query(std::vector<double>& result) const;
  // As query(), for one dependent variable; ERROR for an unknown dependent name.
  status specific_query(const std::vector<std::string>& names, const std::vector<double>& values,
                        const std::string& dependent_name, double& result) const;
  status default_specific_query(const std::string& dependent_name, double& result) const;

  // Batch queries at n points given row-major in `points`: point i holds
  // names.size() values in the order of `names` (the same names for every
  // point; variables not named take their defaults). batch_query writes every
  // dependent variable, row-major n x (number of dependent names), to result;
  // batch_specific_query one dependent variable, n values. Names are resolved
  // once per call, and in one variable sorted points walk the table instead of
  // searching it. Each point's values and status (statuses[i], when statuses
  // is not null) are exactly those query() or specific_query() give for that
  // point alone; a point with ERROR reads NaN. An error of the call itself
  // (not initialised, an unknown or repeated name, an unknown dependent name,
  // a variable without value or default) gives every point ERROR. Returns the
  // worst point status (ERROR, then WARNING, then SUCCESS; SUCCESS when n is
  // 0); last_message() then names the first point with that status
  // ("point 3: ...") or gives the error of the call.
  status batch_query(const std::vector<std::string>& names, const double* points, std::size_t n,
                     double* result, status* statuses = nullptr) const;
  status batch_specific_query(const std::vector<std::string>& names, const double* points,
                              std::size_t n, const std::string& dependent_name, double* result,
                              status* statuses = nullptr) const;

  // Text of the last status: empty after SUCCESS, the reason after ERROR or WARNING.
  const std::string& last_message() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qorva_gil
