// Interpolator::batch_query() and batch_specific_query(): many points in one call, names resolved once,
// and a walk along one-variable tables for sorted points. Answers are those of the single-point queries.
#include <algorithm>
#include <cmath>
#include <limits>

#include "qorva_gil/detail/engine_impl.hpp"
#include "qorva_gil/detail/linear_1d.hpp"
#include "qorva_gil/detail/names.hpp"

namespace qorva_gil {

namespace {

using status = Interpolator::status;

// ERROR before WARNING before SUCCESS.
int severity(status s) { return s == ExitStatusEnum::ERROR ? 2 : s == ExitStatusEnum::WARNING ? 1 : 0; }

// The interval of an x strictly inside `line`, starting from the interval of
// the previous point: the same one or the next one for sorted points, a
// fresh search otherwise.
std::size_t walk_interval(const detail::LineTable& line, std::size_t& last, double x) {
  if (!line.holds(last, x)) {
    if (last + 1 < line.intervals() && line.holds(last + 1, x))
      ++last;
    else
      last = line.interior_interval(x);
  }
  return last;
}

}  // namespace

Interpolator::status Interpolator::Impl::evaluate_batch(const std::vector<std::string>& names,
                                                        const double* points, std::size_t n, std::size_t first,
                                                        std::size_t count, double* out, status* statuses) const {
  const auto fail_all = [&](const std::string& text) {
    std::fill(out, out + n * count, std::numeric_limits<double>::quiet_NaN());
    if (statuses) std::fill(statuses, statuses + n, ExitStatusEnum::ERROR);
    return report(ExitStatusEnum::ERROR, text);
  };
  if (!ready) return fail_all(detail::kNotReady);
  const detail::Setup& s = *setup;
  std::vector<std::size_t> slots;
  const std::string error = s.constant ? std::string() : detail::resolve_slots(s, names, slots);
  if (!error.empty()) return fail_all(error);
  const std::size_t width = names.size();
  std::vector<double> full(s.independent_names.size());
  const detail::LineTable* line = s.line && width == 1 ? s.line : nullptr;
  std::size_t last = 0;
  status worst = ExitStatusEnum::SUCCESS;
  std::size_t worst_point = 0;
  std::string worst_text, text;
  for (std::size_t i = 0; i < n; ++i) {
    double* row = out + i * count;
    status result = ExitStatusEnum::SUCCESS;
    if (s.constant) {
      std::copy(s.constant_row.begin() + first, s.constant_row.begin() + first + count, row);
    } else if (line && points[i] > s.line_low && points[i] < s.line_high) {
      const std::size_t k = walk_interval(*line, last, points[i]);
      for (std::size_t c = 0; c < count; ++c) row[c] = line->value_at(k, points[i], first + c);
    } else {
      detail::fill_point(s, slots, points + i * width, full.data());
      text.clear();
      result = answer(s, full.data(), first, count, row, text);
      if (result == ExitStatusEnum::ERROR) std::fill(row, row + count, std::numeric_limits<double>::quiet_NaN());
    }
    if (statuses) statuses[i] = result;
    if (severity(result) > severity(worst)) {
      worst = result;
      worst_point = i;
      worst_text = text;
    }
  }
  if (worst == ExitStatusEnum::SUCCESS) return success();
  return report(worst, "point " + std::to_string(worst_point) + ": " + worst_text);
}

Interpolator::status Interpolator::batch_query(const std::vector<std::string>& names, const double* points,
                                               std::size_t n, double* result, status* statuses) const {
  return impl_->evaluate_batch(names, points, n, 0, impl_->dependent_names.size(), result, statuses);
}

Interpolator::status Interpolator::batch_specific_query(const std::vector<std::string>& names,
                                                        const double* points, std::size_t n,
                                                        const std::string& dependent_name, double* result,
                                                        status* statuses) const {
  const std::size_t column = detail::find_name(impl_->dependent_names, dependent_name);
  if (column == impl_->dependent_names.size()) {
    std::fill(result, result + n, std::numeric_limits<double>::quiet_NaN());
    if (statuses) std::fill(statuses, statuses + n, ExitStatusEnum::ERROR);
    return impl_->report(ExitStatusEnum::ERROR, "unknown dependent variable '" + dependent_name + "'");
  }
  return impl_->evaluate_batch(names, points, n, column, 1, result, statuses);
}

}  // namespace qorva_gil
