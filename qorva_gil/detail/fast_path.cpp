// specific_query() with its shortcut for tables in one variable, and the per-thread state of queries.
//
// What the shortcut buys (PropertySet::query on a one-variable table of 10
// points, caching off, measured with callgrind): about 190 instructions per
// query with it, 414 through the general path; in bench_interpolation 20-35
// ns against 53-66 ns per query, run after run on one core. It skips the
// general path's scratch buffers, range and non-finite checks, warning texts
// and the model's virtual call for points strictly inside the data and the
// range, which the table answers alone.
// Everything else, and every status other than an empty SUCCESS, is left to
// the general path, and the table gives both paths the same value at every
// interior point (LineTable::value_at).
//
// The per-thread data are one plain, constant-initialised struct in the
// ordinary TLS model (the library is loaded with dlopen), defined here so
// that the shortcut reaches it without an initialisation guard.
#include "qorva_gil/detail/fast_path.hpp"

#include "qorva_gil/detail/engine_impl.hpp"
#include "qorva_gil/detail/linear_1d.hpp"
#include "qorva_gil/detail/names.hpp"
#include "qorva_gil/statistics.hpp"

namespace qorva_gil {
namespace detail {

namespace {

thread_local ThreadState state;

// The text of the calling thread's last status; touched only when there is
// text to store or clear.
std::string& message_text() {
  static thread_local std::string text;
  return text;
}

}  // namespace

ThreadState& thread_state() { return state; }

void record_success(std::uint64_t message_key) {
  const std::uint64_t key = state.message_key;
  if (key != message_key) {
    if (key & 1u) message_text().clear();
    state.message_key = message_key;
  }
}

void record_message(std::uint64_t message_key, const std::string& text) {
  message_text() = text;
  state.message_key = message_key + (text.empty() ? 0 : 1);
}

const std::string* recorded_message(std::uint64_t message_key) {
  if ((state.message_key & ~std::uint64_t{1}) != message_key) return nullptr;
  return &message_text();
}

// Where the search takes at most three compares it is cheaper to do it than
// to bet on the cache, so the hit is then only selected, without a branch that
// random points would mispredict; longer searches are skipped on a hit.
std::size_t cached_interval(const LineTable& line, std::uint64_t cache_id, double x) {
  const std::size_t slot = cache_id & 7u;
  const bool mine = state.interval_model[slot] == cache_id;
  const std::size_t last =
      mine ? state.interval[slot] : 0;  // another model's interval may not exist here
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

}  // namespace detail

QueryStatistics& thread_query_statistics() { return detail::state.statistics; }

// A table in one variable queried by its name strictly inside the data and
// its range is answered here from the table; anything else takes the
// general path.
Interpolator::status Interpolator::specific_query(const std::vector<std::string>& names,
                                                  const std::vector<double>& values,
                                                  const std::string& dependent_name,
                                                  double& result) const {
  const Impl& m = *impl_;
  const detail::Setup* s = m.line_setup;
  if (s && names.size() == 1 && values.size() == 1) {
    const double x = values[0];
    if (x > s->line_low && x < s->line_high &&
        detail::same_text(names[0], s->independent_names[0])) {
      const std::size_t column = detail::find_name(s->dependent_names, dependent_name);
      if (column != s->dependent_names.size()) {
        const detail::LineTable& line = *s->line;
        const std::size_t i =
            m.cached ? detail::cached_interval(line, s->id, x) : line.interior_interval(x);
        result = line.value_at(i, x, column);
        detail::record_success(m.message_key);
        return ExitStatusEnum::SUCCESS;
      }
    }
  }
  return m.specific_query_general(names, values, dependent_name, result);
}

}  // namespace qorva_gil
