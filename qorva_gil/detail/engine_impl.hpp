// The state behind qorva_gil::Interpolator and the immutable setup that initialize() builds and queries read.
// Storing tables and answering queries is done in interpolator.cpp, building in
// detail/interpolator_build.cpp; algorithms live in their own files under detail/.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "qorva_gil/detail/fast_path.hpp"
#include "qorva_gil/detail/model.hpp"

namespace qorva_gil {
namespace detail {

// Status text of a query before initialize().
inline const char* const kNotReady = "query before initialize(): the engine is not ready";

// Everything a query needs, fixed at initialize() and never changed after, so
// concurrent queries and copies of the engine can share it.
struct Setup {
  std::vector<std::string> independent_names;
  std::vector<std::string> dependent_names;
  bool constant = false;  // no independent data: answer `constant_row`
  std::vector<double> constant_row;
  std::vector<double> defaults;                   // empty: every variable must be given
  std::vector<std::pair<double, double>> ranges;  // empty: no clamping
  std::vector<std::size_t> active;                // independent variables kept in the model
  std::vector<double> fixed;                      // per variable: its only data value, if dropped
  std::vector<char> dropped;
  bool all_active = false;            // nothing dropped: active[k] == k for every variable
  std::vector<double> offset, scale;  // per active variable: y = (x - offset) * scale
  std::unique_ptr<Model> model;
  // A linear table in one variable with nothing dropped, built on the
  // variable's own values: the model's table, which specific_query() reads
  // directly for points strictly between line_low and line_high (the data's
  // ends narrowed to the variable's range). Null for every other model.
  const LineTable* line = nullptr;
  double line_low = 0.0, line_high = 0.0;
  std::string outside_note;  // warning text for points outside the data
  std::uint64_t id = 0;
};

// Where the value of each query name goes among the independent variables
// (slots[q] for names[q]). Returns an error text for an unknown or repeated
// name, or a variable left without a value when no defaults are set; "" when
// the names are usable.
std::string resolve_slots(const Setup& s, const std::vector<std::string>& names,
                          std::vector<std::size_t>& slots);
// full[] of one point: the defaults, overwritten by values[q] at slots[q].
void fill_point(const Setup& s, const std::vector<std::size_t>& slots, const double* values,
                double* full);
// Clamps full[] to the ranges and maps it to model coordinates y[] (one per
// active variable). Returns false with an error text in `error` for a value
// that is not a finite number or that maps to none; appends warnings to note.
bool reduce(const Setup& s, double* full, double* y, std::string& note, std::string& error);
// reduce() of the common point, for batches: true, with y[] as reduce() gives
// it, when nothing is dropped and every value is finite and inside its range,
// so that reduce() would neither clamp nor note anything; false otherwise
// (y[] then unspecified), and the point goes to reduce().
bool reduce_plain(const Setup& s, const double* full, double* y);

}  // namespace detail
}  // namespace qorva_gil

#include "qorva_gil/interpolator.hpp"

namespace qorva_gil {

namespace detail {
// The status of a model's answer `out` (columns [first, first + count)) after
// reduce() left `note`: ERROR when a value is not finite, WARNING when there
// is a note or the point was outside the data, SUCCESS otherwise; the reason
// goes to text.
ExitStatusEnum::type conclude(const Setup& s, std::size_t first, std::size_t count,
                              const double* out, bool outside, std::string& note,
                              std::string& text);
}  // namespace detail

// The state behind an Interpolator: the caller's tables and settings exactly
// as stored, and the setup built from them by initialize().
struct Interpolator::Impl {
  std::vector<std::string> independent_names;
  std::vector<std::string> dependent_names;
  table independent_data;
  table dependent_data;
  ranges data_ranges;
  std::vector<double> defaults;
  AlgorithmTypeEnum::type algorithm = AlgorithmTypeEnum::LINEAR_MULTIVARIATE;
  bool cached = false;
  bool normalized = false;
  bool project_to_hull = false;
  bool use_cgal = false;

  bool ready = false;
  std::shared_ptr<const detail::Setup> setup;  // built by initialize(); shared by copies
  const detail::Setup* line_setup = nullptr;   // the setup, when ready with a table in one variable

  // Identifies this engine's state of messages: a fresh even number for every
  // engine, copy and message of a non-const member, never reused. A thread's
  // status of a const member is recorded under it (plus 1 when it has text).
  std::uint64_t message_key = next_key();
  std::string message;

  static std::uint64_t next_key();
  // Status of a non-const member: stores the text for every thread.
  status record(status s, std::string text);
  // Status of a const member: the text goes to the calling thread only.
  status report(status s, const std::string& text) const;
  // The calling thread's last status becomes an empty SUCCESS of this engine.
  status success() const {
    detail::record_success(message_key);
    return ExitStatusEnum::SUCCESS;
  }
  // After a setter: not ready until the next initialize(); returns SUCCESS.
  status changed();

  // Empty when the stored tables fit together, otherwise what is wrong.
  std::string consistency_error() const;
  // Fills s from the stored tables; returns an error text or "".
  std::string build(detail::Setup& s) const;
  // Answers columns [first, first + count) at full[] (a value for every
  // independent variable, in the stored order; clamped in place): SUCCESS, or
  // WARNING or ERROR with the reason in text. Never records a status.
  status answer(const detail::Setup& s, double* full, std::size_t first, std::size_t count,
                double* out, std::string& text) const;
  // Answers columns [first, first + count) at the named point (names null:
  // the defaults), or a constant engine's row.
  status evaluate(const std::vector<std::string>* names, const std::vector<double>* values,
                  std::size_t first, std::size_t count, double* out) const;
  // Batch query of columns [first, first + count) at n points (see
  // Interpolator::batch_query); names resolved once.
  status evaluate_batch(const std::vector<std::string>& names, const double* points, std::size_t n,
                        std::size_t first, std::size_t count, double* out, status* statuses) const;
  // specific_query() of every case its table path does not take.
  status specific_query_general(const std::vector<std::string>& names,
                                const std::vector<double>& values,
                                const std::string& dependent_name, double& result) const;
};

}  // namespace qorva_gil
