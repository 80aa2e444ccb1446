// Interpolator: storage of the caller's tables and settings, initialize(), and the query front end
// (name matching, defaults, clamping, variable reduction and status messages).
#include "qorva_gil/interpolator.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <numeric>

#include "qorva_gil/detail/builders.hpp"
#include "qorva_gil/detail/engine_impl.hpp"
#include "qorva_gil/detail/names.hpp"
#include "qorva_gil/detail/text.hpp"
#include "qorva_gil/statistics.hpp"

namespace qorva_gil {

using detail::CacheSlot;
using detail::find_name;
using detail::same_names;
using detail::Setup;

namespace detail {

std::uint64_t next_model_id() {
  static std::atomic<std::uint64_t> counter{0};
  return ++counter;
}

namespace {

// A thread's cache slots: a few, direct-mapped, so a thread alternating
// between the properties of one material keeps each one's entry.
struct ThreadCache {
  CacheSlot slots[8];
};

ThreadCache& thread_cache() {
  static thread_local ThreadCache cache;
  return cache;
}

}  // namespace

CacheSlot& thread_cache_slot(std::uint64_t model_id) {
  CacheSlot& slot = thread_cache().slots[model_id & 7u];
  if (slot.model_id != model_id) {
    slot.model_id = model_id;
    slot.has_point = false;
    slot.outside = false;
    slot.index = -1;
  }
  return slot;
}

std::string resolve_slots(const Setup& s, const std::vector<std::string>& names,
                          std::vector<std::size_t>& slots) {
  const std::size_t n = s.independent_names.size();
  std::vector<char> given(n, 0);
  slots.resize(names.size());
  for (std::size_t q = 0; q < names.size(); ++q) {
    const std::size_t i = find_name(s.independent_names, names[q]);
    if (i == n) return "unknown independent variable '" + names[q] + "' in the query";
    if (given[i]) return "independent variable '" + names[q] + "' is given twice in the query";
    given[i] = 1;
    slots[q] = i;
  }
  for (std::size_t i = 0; i < n; ++i)
    if (!given[i] && s.defaults.empty())
      return "no value given for '" + s.independent_names[i] + "' and no default values are set";
  return {};
}

void fill_point(const Setup& s, const std::vector<std::size_t>& slots, const double* values,
                double* full) {
  // With every variable given the defaults would all be overwritten.
  if (!s.defaults.empty() && slots.size() < s.independent_names.size())
    std::copy(s.defaults.begin(), s.defaults.end(), full);
  for (std::size_t q = 0; q < slots.size(); ++q) full[slots[q]] = values[q];
}

}  // namespace detail

using detail::number;
using detail::quoted;

std::string ExitStatusEnum::enum_str(int status) {
  switch (status) {
    case SUCCESS:
      return "SUCCESS";
    case ERROR:
      return "ERROR";
    case WARNING:
      return "WARNING";
    default:
      return "Unknown";
  }
}

std::string AlgorithmTypeEnum::enum_str(int algorithm) {
  switch (algorithm) {
    case NEAREST_NEIGHBOR:
      return "KD-tree Nearest Neighbor";
    case RADIAL_BASIS:
      return "Cubic Radial Basis";
    case LINEAR_MULTIVARIATE:
      return "Triangulation-based Linear Multivariate";
    default:
      return "Unknown";
  }
}

Interpolator::status Interpolator::Impl::record(status s, std::string text) {
  message = std::move(text);
  message_key = next_key();
  return s;
}

Interpolator::status Interpolator::Impl::report(status s, const std::string& text) const {
  detail::record_message(message_key, text);
  return s;
}

Interpolator::status Interpolator::Impl::changed() {
  ready = false;
  setup.reset();
  line_setup = nullptr;
  return record(ExitStatusEnum::SUCCESS, std::string());
}

std::uint64_t Interpolator::Impl::next_key() {
  static std::atomic<std::uint64_t> counter{0};
  return counter.fetch_add(2, std::memory_order_relaxed) + 2;
}

// ---------------------------------------------------------------------------
// Construction and state

Interpolator::Interpolator() : impl_(std::make_unique<Impl>()) {}

Interpolator::Interpolator(const Interpolator& other)
    : impl_(std::make_unique<Impl>(*other.impl_)) {
  impl_->message_key = Impl::next_key();
}

Interpolator& Interpolator::operator=(const Interpolator& other) {
  if (this != &other) {
    auto copy = std::make_unique<Impl>(*other.impl_);
    copy->message_key = Impl::next_key();
    impl_ = std::move(copy);
  }
  return *this;
}

Interpolator::~Interpolator() = default;

Interpolator::status Interpolator::set_independent_names(const std::vector<std::string>& names) {
  impl_->independent_names = names;
  return impl_->changed();
}
Interpolator::status Interpolator::get_independent_names(std::vector<std::string>& names) const {
  names = impl_->independent_names;
  return impl_->success();
}
Interpolator::status Interpolator::set_dependent_names(const std::vector<std::string>& names) {
  impl_->dependent_names = names;
  return impl_->changed();
}
Interpolator::status Interpolator::get_dependent_names(std::vector<std::string>& names) const {
  names = impl_->dependent_names;
  return impl_->success();
}
Interpolator::status Interpolator::set_independent_data(const table& data) {
  impl_->independent_data = data;
  return impl_->changed();
}
Interpolator::status Interpolator::get_independent_data(table& data) const {
  data = impl_->independent_data;
  return impl_->success();
}
Interpolator::status Interpolator::set_dependent_data(const table& data) {
  impl_->dependent_data = data;
  return impl_->changed();
}

Interpolator::status Interpolator::set_dependent_data(std::size_t column,
                                                      const std::vector<double>& values) {
  Impl& m = *impl_;
  const std::size_t width = m.dependent_names.size();
  if (column >= width)
    return m.record(ExitStatusEnum::ERROR, "set_dependent_data: column " + std::to_string(column) +
                                               " does not exist; there are " +
                                               std::to_string(width) + " dependent names");
  if (m.dependent_data.empty())
    m.dependent_data.assign(values.size(), std::vector<double>(width, 0.0));
  if (m.dependent_data.size() != values.size())
    return m.record(ExitStatusEnum::ERROR, "set_dependent_data: " + std::to_string(values.size()) +
                                               " values given for a table of " +
                                               std::to_string(m.dependent_data.size()) + " rows");
  for (std::size_t r = 0; r < values.size(); ++r) {
    if (m.dependent_data[r].size() < width) m.dependent_data[r].resize(width, 0.0);
    m.dependent_data[r][column] = values[r];
  }
  return m.changed();
}

Interpolator::status Interpolator::get_dependent_data(table& data) const {
  data = impl_->dependent_data;
  return impl_->success();
}
Interpolator::status Interpolator::set_independent_data_ranges(const ranges& r) {
  impl_->data_ranges = r;
  return impl_->changed();
}
Interpolator::status Interpolator::get_independent_data_ranges(ranges& r) const {
  r = impl_->data_ranges;
  return impl_->success();
}
Interpolator::status Interpolator::set_default_independent_values(
    const std::vector<double>& defaults) {
  impl_->defaults = defaults;
  return impl_->changed();
}
Interpolator::status Interpolator::get_default_independent_values(
    std::vector<double>& defaults) const {
  defaults = impl_->defaults;
  return impl_->success();
}

Interpolator::status Interpolator::set_algorithm_type(AlgorithmTypeEnum::type algorithm) {
  if (algorithm != AlgorithmTypeEnum::NEAREST_NEIGHBOR &&
      algorithm != AlgorithmTypeEnum::RADIAL_BASIS &&
      algorithm != AlgorithmTypeEnum::LINEAR_MULTIVARIATE)
    return impl_->record(ExitStatusEnum::ERROR, "set_algorithm_type: unknown algorithm type " +
                                                    std::to_string(static_cast<int>(algorithm)));
  impl_->algorithm = algorithm;
  return impl_->changed();
}
Interpolator::status Interpolator::get_algorithm_type(AlgorithmTypeEnum::type& algorithm) const {
  algorithm = impl_->algorithm;
  return impl_->success();
}
Interpolator::status Interpolator::set_is_cached(bool cached) {
  impl_->cached = cached;
  return impl_->changed();
}
Interpolator::status Interpolator::get_is_cached(bool& cached) const {
  cached = impl_->cached;
  return impl_->success();
}
Interpolator::status Interpolator::set_is_normalized(bool normalized) {
  impl_->normalized = normalized;
  return impl_->changed();
}
Interpolator::status Interpolator::get_is_normalized(bool& normalized) const {
  normalized = impl_->normalized;
  return impl_->success();
}

Interpolator::status Interpolator::set_algorithm_option(const std::string& name, bool value) {
  if (name == "project_to_convex_hull")
    impl_->project_to_hull = value;
  else if (name == "use_cgal_triangulation")
    impl_->use_cgal = value;
  else
    return impl_->record(ExitStatusEnum::ERROR,
                         "set_algorithm_option: unknown option " + quoted(name));
  return impl_->changed();
}

Interpolator::status Interpolator::get_algorithm_option(const std::string& name,
                                                        bool& value) const {
  if (name == "project_to_convex_hull")
    value = impl_->project_to_hull;
  else if (name == "use_cgal_triangulation")
    value = impl_->use_cgal;
  else
    return impl_->report(ExitStatusEnum::ERROR,
                         "get_algorithm_option: unknown option " + quoted(name));
  return impl_->success();
}

Interpolator::status Interpolator::get_independent_data_dimension(std::size_t& dimension) const {
  dimension = impl_->independent_names.size();
  return impl_->success();
}
Interpolator::status Interpolator::get_dependent_data_dimension(std::size_t& dimension) const {
  dimension = impl_->dependent_names.size();
  return impl_->success();
}
Interpolator::status Interpolator::is_ready(bool& ready) const {
  ready = impl_->ready;
  return impl_->success();
}
Interpolator::status Interpolator::is_constant(bool& constant) const {
  constant = impl_->dependent_data.size() == 1 && impl_->independent_data.empty();
  return impl_->success();
}

const std::string& Interpolator::last_message() const {
  const std::string* recorded = detail::recorded_message(impl_->message_key);
  return recorded ? *recorded : impl_->message;
}

// ---------------------------------------------------------------------------
// Queries

namespace {

// Fills full[0..n) from a query whose names are not the stored names in
// order: given values by name, defaults for the rest. Returns an error text.
std::string resolve_names(const Setup& s, const std::vector<std::string>& names,
                          const std::vector<double>& values, double* full) {
  if (names.size() != values.size())
    return "query gives " + std::to_string(names.size()) + " names but " +
           std::to_string(values.size()) + " values";
  std::vector<std::size_t> slots;
  std::string error = detail::resolve_slots(s, names, slots);
  if (error.empty()) detail::fill_point(s, slots, values.data(), full);
  return error;
}

}  // namespace

namespace detail {

bool reduce(const Setup& s, double* full, double* y, std::string& note, std::string& error) {
  const std::size_t n = s.independent_names.size();
  for (std::size_t i = 0; i < n; ++i) {
    double& x = full[i];
    if (!std::isfinite(x)) {
      error = "the value of " + quoted(s.independent_names[i]) + " is " +
              (std::isnan(x) ? "NaN" : number(x)) + ", not a finite number";
      return false;
    }
    if (!s.ranges.empty() && !(x >= s.ranges[i].first && x <= s.ranges[i].second)) {
      const double c = std::min(std::max(x, s.ranges[i].first), s.ranges[i].second);
      note += (note.empty() ? "" : "; ") + quoted(s.independent_names[i]) + " = " + number(x) +
              " lies outside its range [" + number(s.ranges[i].first) + ", " +
              number(s.ranges[i].second) + "] and was clamped to " + number(c);
      x = c;
    }
    if (s.dropped[i] && x != s.fixed[i])
      note += (note.empty() ? "" : "; ") + std::string("the data hold ") +
              quoted(s.independent_names[i]) + " only at " + number(s.fixed[i]) + "; the value " +
              number(x) + " was not used";
  }
  for (std::size_t k = 0; k < s.active.size(); ++k) {
    y[k] = (full[s.active[k]] - s.offset[k]) * s.scale[k];
    if (!std::isfinite(y[k])) {
      error = "the value of " + quoted(s.independent_names[s.active[k]]) + " = " +
              number(full[s.active[k]]) + " lies too far from the data to be interpolated";
      return false;
    }
  }
  return true;
}

bool reduce_plain(const Setup& s, const double* full, double* y) {
  if (!s.all_active) return false;
  const bool ranged = !s.ranges.empty();
  for (std::size_t k = 0; k < s.active.size(); ++k) {
    const double x = full[k];
    if (ranged && !(x >= s.ranges[k].first && x <= s.ranges[k].second)) return false;
    // As in reduce(): a finite y also means that x is finite.
    y[k] = (x - s.offset[k]) * s.scale[k];
    if (!std::isfinite(y[k])) return false;
  }
  return true;
}

}  // namespace detail

Interpolator::status Interpolator::Impl::answer(const Setup& s, double* full, std::size_t first,
                                                std::size_t count, double* out,
                                                std::string& text) const {
  detail::Scratch scratch(s.independent_names.size());
  double* y = scratch.data();
  std::string note;
  if (!detail::reduce(s, full, y, note, text)) return ExitStatusEnum::ERROR;
  const bool outside = s.model->evaluate(y, first, count, out, cached ? s.id : 0);
  return detail::conclude(s, first, count, out, outside, note, text);
}

ExitStatusEnum::type detail::conclude(const Setup& s, std::size_t first, std::size_t count,
                                      const double* out, bool outside, std::string& note,
                                      std::string& text) {
  if (outside) note += (note.empty() ? "" : "; ") + s.outside_note;
  for (std::size_t c = 0; c < count; ++c) {
    if (!std::isfinite(out[c])) {
      text = "the value of " + quoted(s.dependent_names[first + c]) +
             " at this point is not a finite number: the point lies too far outside the data";
      return ExitStatusEnum::ERROR;
    }
  }
  if (note.empty()) return ExitStatusEnum::SUCCESS;
  text = std::move(note);
  return ExitStatusEnum::WARNING;
}

Interpolator::status Interpolator::Impl::evaluate(const std::vector<std::string>* names,
                                                  const std::vector<double>* values,
                                                  std::size_t first, std::size_t count,
                                                  double* out) const {
  if (!ready) return report(ExitStatusEnum::ERROR, detail::kNotReady);
  const Setup& s = *setup;
  if (s.constant) {
    std::copy(s.constant_row.begin() + first, s.constant_row.begin() + first + count, out);
    return success();
  }
  const std::size_t n = s.independent_names.size();
  detail::Scratch scratch(n);
  double* full = scratch.data();
  if (!names) {
    if (n > 0 && s.defaults.empty())
      return report(ExitStatusEnum::ERROR, "no default values are set");
    std::copy(s.defaults.begin(), s.defaults.end(), full);
  } else if (values->size() == n && same_names(*names, s.independent_names)) {
    std::copy(values->begin(), values->end(), full);
  } else {
    const std::string error = resolve_names(s, *names, *values, full);
    if (!error.empty()) return report(ExitStatusEnum::ERROR, error);
  }
  std::string text;
  const status result = answer(s, full, first, count, out, text);
  return result == ExitStatusEnum::SUCCESS ? success() : report(result, text);
}

Interpolator::status Interpolator::query(const std::vector<std::string>& names,
                                         const std::vector<double>& values,
                                         std::vector<double>& result) const {
  const std::size_t count = impl_->ready ? impl_->setup->dependent_names.size() : 0;
  result.resize(count);
  return impl_->evaluate(&names, &values, 0, count, result.data());
}

Interpolator::status Interpolator::default_query(std::vector<double>& result) const {
  const std::size_t count = impl_->ready ? impl_->setup->dependent_names.size() : 0;
  result.resize(count);
  return impl_->evaluate(nullptr, nullptr, 0, count, result.data());
}

Interpolator::status Interpolator::Impl::specific_query_general(
    const std::vector<std::string>& names, const std::vector<double>& values,
    const std::string& dependent_name, double& result) const {
  const std::size_t column = find_name(dependent_names, dependent_name);
  if (column == dependent_names.size())
    return report(ExitStatusEnum::ERROR, "unknown dependent variable " + quoted(dependent_name));
  return evaluate(&names, &values, column, 1, &result);
}

Interpolator::status Interpolator::default_specific_query(const std::string& dependent_name,
                                                          double& result) const {
  const std::size_t column = find_name(impl_->dependent_names, dependent_name);
  if (column == impl_->dependent_names.size())
    return impl_->report(ExitStatusEnum::ERROR,
                         "unknown dependent variable " + quoted(dependent_name));
  return impl_->evaluate(nullptr, nullptr, column, 1, &result);
}

}  // namespace qorva_gil
