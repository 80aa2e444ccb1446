// Interpolator::check_consistency() and initialize(): validation of the stored tables and
// construction of the setup (variable reduction, normalisation, the algorithm's model).
#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "qorva_gil/detail/builders.hpp"
#include "qorva_gil/detail/engine_impl.hpp"
#include "qorva_gil/detail/linear_1d.hpp"
#include "qorva_gil/detail/text.hpp"

namespace qorva_gil {

using detail::BuildResult;
using detail::number;
using detail::PointSet;
using detail::quoted;
using detail::Setup;

namespace {

std::string first_duplicate(const std::vector<std::string>& names) {
  for (std::size_t i = 0; i < names.size(); ++i)
    for (std::size_t j = 0; j < i; ++j)
      if (names[j] == names[i]) return names[i];
  return {};
}

// Error text for the first row whose width is not `width` or that holds a
// non-finite value.
std::string table_error(const Interpolator::table& t, std::size_t width, const char* what,
                        const std::vector<std::string>& names) {
  for (std::size_t r = 0; r < t.size(); ++r) {
    if (t[r].size() != width)
      return std::string(what) + " row " + std::to_string(r) + " has " +
             std::to_string(t[r].size()) + " values for " + std::to_string(width) + " names";
    for (std::size_t c = 0; c < width; ++c)
      if (!std::isfinite(t[r][c]))
        return std::string(what) + " row " + std::to_string(r) + ", variable " + quoted(names[c]) +
               " is not a finite number";
  }
  return {};
}

std::string row_text(const std::vector<double>& row) {
  std::string text = "(";
  for (std::size_t i = 0; i < row.size(); ++i) text += (i ? ", " : "") + number(row[i]);
  return text + ")";
}

// Error text naming two equal data points, or "".
std::string duplicate_points(const Interpolator::table& data) {
  std::vector<std::size_t> order(data.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(),
            [&](std::size_t a, std::size_t b) { return data[a] < data[b]; });
  for (std::size_t k = 1; k < order.size(); ++k)
    if (data[order[k]] == data[order[k - 1]]) {
      const std::size_t a = std::min(order[k], order[k - 1]), b = std::max(order[k], order[k - 1]);
      return "data points " + std::to_string(a) + " and " + std::to_string(b) +
             " are the same point " + row_text(data[a]) + "; every point must be given once";
    }
  return {};
}

// The model of a table with a single data point.
class SinglePoint final : public detail::Model {
 public:
  explicit SinglePoint(std::vector<double> row) : row_(std::move(row)) {}
  bool evaluate(const double*, std::size_t first, std::size_t count, double* out,
                std::uint64_t) const override {
    std::copy(row_.begin() + first, row_.begin() + first + count, out);
    return false;
  }

 private:
  std::vector<double> row_;
};

}  // namespace

namespace {

// Names: some dependent ones, none repeated.
std::string names_error(const std::vector<std::string>& independent,
                        const std::vector<std::string>& dependent) {
  if (dependent.empty()) return "no dependent names are set";
  std::string dup = first_duplicate(independent);
  if (!dup.empty()) return "independent name " + quoted(dup) + " is given twice";
  dup = first_duplicate(dependent);
  if (!dup.empty()) return "dependent name " + quoted(dup) + " is given twice";
  return {};
}

// Row counts: one dependent row per independent row, or one row and no independent data.
std::string rows_error(const Interpolator::table& independent, const Interpolator::table& dependent,
                       std::size_t independent_names) {
  if (independent.empty() && dependent.size() != 1)
    return "dependent data have " + std::to_string(dependent.size()) +
           " rows but there are no independent data (a constant property has exactly one row)";
  if (!independent.empty() && independent_names == 0)
    return "independent data are set but no independent names";
  if (!independent.empty() && independent.size() != dependent.size())
    return "independent data have " + std::to_string(independent.size()) +
           " rows but dependent data have " + std::to_string(dependent.size());
  return {};
}

// Ranges and defaults: empty or one per name, ordered bounds, finite defaults.
std::string limits_error(const Interpolator::ranges& ranges, const std::vector<double>& defaults,
                         const std::vector<std::string>& names) {
  const std::size_t ni = names.size();
  if (!ranges.empty() && ranges.size() != ni)
    return std::to_string(ranges.size()) + " ranges given for " + std::to_string(ni) +
           " independent names";
  for (std::size_t i = 0; i < ranges.size(); ++i)
    if (!(ranges[i].first <= ranges[i].second))
      return "range of " + quoted(names[i]) + " is [" + number(ranges[i].first) + ", " +
             number(ranges[i].second) + "]: its lower bound must not exceed its upper bound";
  if (!defaults.empty() && defaults.size() != ni)
    return std::to_string(defaults.size()) + " default values given for " + std::to_string(ni) +
           " independent names";
  for (std::size_t i = 0; i < defaults.size(); ++i)
    if (!std::isfinite(defaults[i]))
      return "default value of " + quoted(names[i]) + " is " +
             (std::isnan(defaults[i]) ? std::string("NaN") : number(defaults[i])) +
             ", not a finite number";
  return {};
}

}  // namespace

std::string Interpolator::Impl::consistency_error() const {
  std::string error = names_error(independent_names, dependent_names);
  if (error.empty() && dependent_data.empty()) error = "no dependent data are set";
  if (error.empty())
    error = table_error(dependent_data, dependent_names.size(), "dependent data", dependent_names);
  if (error.empty())
    error = table_error(independent_data, independent_names.size(), "independent data",
                        independent_names);
  if (error.empty()) error = rows_error(independent_data, dependent_data, independent_names.size());
  if (error.empty()) error = limits_error(data_ranges, defaults, independent_names);
  return error;
}

namespace {

// Which variables vary, and how each is scaled into model coordinates.
void reduce_variables(const Interpolator::table& data, bool normalized, Setup& s) {
  const std::size_t n = s.independent_names.size();
  s.dropped.assign(n, 0);
  s.fixed.assign(n, 0.0);
  for (std::size_t i = 0; i < n; ++i) {
    double lo = data[0][i], hi = data[0][i];
    for (const auto& row : data) {
      lo = std::min(lo, row[i]);
      hi = std::max(hi, row[i]);
    }
    if (lo == hi) {
      s.dropped[i] = 1;
      s.fixed[i] = lo;
      continue;
    }
    s.active.push_back(i);
    const bool scaled = normalized && std::isfinite(hi - lo);  // a wider span is left as it is
    s.offset.push_back(scaled ? lo : 0.0);
    s.scale.push_back(scaled ? 1.0 / (hi - lo) : 1.0);
  }
  s.all_active = s.active.size() == n;
  // Scaling one variable changes no interpolant in it: keep its own values.
  if (s.active.size() == 1) {
    s.offset[0] = 0.0;
    s.scale[0] = 1.0;
  }
}

// Variables left unscaled whose values are of extreme magnitude (beyond 2^256
// or below 2^-256) are multiplied by one power of two that brings the largest
// near 1, so that squared distances and kernel values neither overflow nor
// vanish. Multiplying by a power of two is exact and changes the answer of no
// algorithm; a one-variable linear table needs none (its arithmetic never
// squares) and keeps its own values for the query shortcut.
void scale_extreme_magnitudes(const Interpolator::table& data, bool linear, Setup& s) {
  if (linear && s.active.size() == 1) return;
  const auto plain = [&s](std::size_t k) { return s.offset[k] == 0.0 && s.scale[k] == 1.0; };
  double largest = 0.0;
  for (const auto& row : data)
    for (std::size_t k = 0; k < s.active.size(); ++k)
      if (plain(k)) largest = std::max(largest, std::abs(row[s.active[k]]));
  if (largest == 0.0 || (largest < 0x1p256 && largest >= 0x1p-256)) return;
  int exponent = 0;
  std::frexp(largest, &exponent);
  const double factor = std::ldexp(1.0, -std::max(exponent, -1022));
  for (std::size_t k = 0; k < s.active.size(); ++k)
    if (plain(k)) s.scale[k] = factor;
}

}  // namespace

std::string Interpolator::Impl::build(Setup& s) const {
  s.independent_names = independent_names;
  s.dependent_names = dependent_names;
  s.defaults = defaults;
  s.ranges = data_ranges;
  s.id = detail::next_model_id();
  if (independent_data.empty()) {
    s.constant = true;
    s.constant_row = dependent_data.front();
    return {};
  }
  std::string error = duplicate_points(independent_data);
  if (!error.empty()) return error;
  reduce_variables(independent_data, normalized, s);
  scale_extreme_magnitudes(independent_data, algorithm == AlgorithmTypeEnum::LINEAR_MULTIVARIATE,
                           s);
  PointSet points;
  points.dim = s.active.size();
  points.count = independent_data.size();
  points.columns = dependent_names.size();
  for (std::size_t r = 0; r < points.count; ++r) {
    for (std::size_t k = 0; k < points.dim; ++k)
      points.coords.push_back((independent_data[r][s.active[k]] - s.offset[k]) * s.scale[k]);
    points.values.insert(points.values.end(), dependent_data[r].begin(), dependent_data[r].end());
  }
  BuildResult built;
  if (points.dim == 0) {
    built.model = std::make_unique<SinglePoint>(dependent_data.front());
  } else if (algorithm == AlgorithmTypeEnum::NEAREST_NEIGHBOR) {
    built = detail::build_nearest(points);
    s.outside_note =
        "the point lies outside the bounding box of the data; the nearest data point was used";
  } else if (algorithm == AlgorithmTypeEnum::RADIAL_BASIS) {
    built = detail::build_radial_basis(points);
    s.outside_note =
        "the point lies outside the bounding box of the data; the radial basis function was "
        "extrapolated";
  } else if (points.dim == 1) {
    built = detail::build_linear_1d(points, project_to_hull);
    s.outside_note = project_to_hull
                         ? "the point lies outside the data range; the end value was used"
                         : "the point lies outside the data range and was extrapolated linearly";
  } else {
    built = detail::build_linear_mesh(points, {project_to_hull, use_cgal});
    s.outside_note =
        project_to_hull
            ? "the point lies outside the convex hull of the data and was projected onto it"
            : "the point lies outside the convex hull of the data and was extrapolated linearly "
              "from the nearest simplex";
  }
  s.model = std::move(built.model);
  if (built.line && s.all_active && built.line->slopes_finite()) {
    s.line = built.line;
    s.line_low = s.ranges.empty() ? s.line->front() : std::max(s.ranges[0].first, s.line->front());
    s.line_high = s.ranges.empty() ? s.line->back() : std::min(s.ranges[0].second, s.line->back());
  }
  return built.error;
}

Interpolator::status Interpolator::check_consistency() const {
  const std::string error = impl_->consistency_error();
  if (!error.empty()) return impl_->report(ExitStatusEnum::ERROR, "check_consistency: " + error);
  return impl_->success();
}

Interpolator::status Interpolator::initialize() {
  Impl& m = *impl_;
  m.ready = false;
  m.setup.reset();
  m.line_setup = nullptr;
  std::string error = m.consistency_error();
  auto setup = std::make_shared<Setup>();
  if (error.empty()) error = m.build(*setup);
  if (!error.empty()) return m.record(ExitStatusEnum::ERROR, "initialize: " + error);
  m.line_setup = setup->line ? setup.get() : nullptr;
  m.setup = std::move(setup);
  m.ready = true;
  return m.record(ExitStatusEnum::SUCCESS, std::string());
}

}  // namespace qorva_gil
