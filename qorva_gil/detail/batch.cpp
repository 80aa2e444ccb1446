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
int severity(status s) {
  return s == ExitStatusEnum::ERROR ? 2 : s == ExitStatusEnum::WARNING ? 1 : 0;
}

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

// Points gathered for the model, which answers them together: each point's
// reduced coordinates, or the error or warning text reduce() gave it.
class Chunk {
 public:
  static constexpr std::size_t kPoints = 64;

  Chunk(const detail::Setup& s, std::size_t count)
      : s_(s),
        dim_(s.active.size()),
        full_(s.independent_names.size()),
        y_(kPoints * dim_),
        answers_(kPoints * count),
        outside_(kPoints) {}

  bool full() const { return size_ == kPoints; }
  bool empty() const { return size_ == 0; }

  // Takes the caller's point `index` with values in the order of the slots;
  // `in_order` when those are every variable in the stored order, so that
  // the values are the whole point as they stand.
  void add(const std::vector<std::size_t>& slots, bool in_order, const double* values,
           std::size_t index) {
    if (in_order && detail::reduce_plain(s_, values, y_.data() + reduced_ * dim_))
      take_reduced(index);
    else
      add_general(slots, values, index, !in_order);
  }

  // Points index, index + 1, ... of a block of m <= kPoints rows that hold
  // every variable in the stored order, for an empty chunk of a setup without
  // dropped variables. The points reduce_plain() takes are reduced in one
  // pass over the block, with the same arithmetic. When that is all of them,
  // the model writes straight into their rows of out and only points outside
  // the data or with values that are no numbers go through conclude();
  // otherwise the points are taken as add() takes them and answer() follows.
  template <class Note>
  void block(const std::vector<std::size_t>& slots, const double* values, std::size_t index,
             std::size_t m, std::size_t first, std::size_t count, std::uint64_t cache_id,
             double* out, const Note& note) {
    bool plain[kPoints];
    if (!reduce_block(values, m, plain)) {
      take_block(slots, values, index, m, plain);
      answer(first, count, cache_id, out, note);
      return;
    }
    out += index * count;
    s_.model->evaluate_many(y_.data(), dim_, m, first, count, out, outside_.data(), cache_id);
    std::string no_note, text;  // finish() leaves them empty for a SUCCESS
    for (std::size_t p = 0; p < m; ++p, out += count) {
      const status result = finish(out, first, count, outside_[p] != 0, no_note, text);
      note(index + p, result, text);
      if (result != ExitStatusEnum::SUCCESS) {
        no_note.clear();
        text.clear();
      }
    }
  }

  // Answers every point taken, in the order taken: their rows of out and,
  // through note(index, status, text), their statuses. Empties the chunk.
  template <class Note>
  void answer(std::size_t first, std::size_t count, std::uint64_t cache_id, double* out,
              const Note& note) {
    s_.model->evaluate_many(y_.data(), dim_, reduced_, first, count, answers_.data(),
                            outside_.data(), cache_id);
    for (std::size_t k = 0, r = 0; k < size_; ++k) {
      Entry& e = entries_[k];
      double* row = out + e.index * count;
      status result = ExitStatusEnum::ERROR;
      if (e.reduced) {
        const double* answer = answers_.data() + r * count;
        std::copy(answer, answer + count, row);
        result = finish(row, first, count, outside_[r] != 0, e.note, e.text);
        ++r;
      } else {
        std::fill(row, row + count, std::numeric_limits<double>::quiet_NaN());
      }
      note(e.index, result, e.text);
    }
    size_ = reduced_ = 0;
  }

 private:
  struct Entry {
    std::size_t index = 0;
    bool reduced = false;
    std::string note, text;
  };

  // The status of a model's answer in row (conclude()'s), the row made NaN for
  // an ERROR. A point inside the data with no note and finite values is a
  // SUCCESS without going through conclude(), which would leave the texts alone.
  status finish(double* row, std::size_t first, std::size_t count, bool outside, std::string& note,
                std::string& text) const {
    bool finite = true;
    for (std::size_t c = 0; c < count; ++c) finite = finite && std::isfinite(row[c]);
    if (finite && !outside && note.empty()) return ExitStatusEnum::SUCCESS;
    const status result = detail::conclude(s_, first, count, row, outside, note, text);
    if (result == ExitStatusEnum::ERROR)
      std::fill(row, row + count, std::numeric_limits<double>::quiet_NaN());
    return result;
  }

  // The next entry, for the caller's point `index`, with no texts.
  Entry& take(std::size_t index) {
    Entry& e = entries_[size_++];
    e.index = index;
    e.reduced = false;
    e.note.clear();
    e.text.clear();
    return e;
  }

  // Takes point `index`, whose model coordinates are row reduced_ of y_.
  void take_reduced(std::size_t index) {
    take(index).reduced = true;
    ++reduced_;
  }

  // Takes point `index` through fill_point() and reduce(), trying
  // reduce_plain() on the filled point first with `try_plain`.
  void add_general(const std::vector<std::size_t>& slots, const double* values, std::size_t index,
                   bool try_plain) {
    Entry& e = take(index);
    double* y = y_.data() + reduced_ * dim_;
    detail::fill_point(s_, slots, values, full_.data());
    e.reduced = (try_plain && detail::reduce_plain(s_, full_.data(), y)) ||
                detail::reduce(s_, full_.data(), y, e.note, e.text);
    if (e.reduced) ++reduced_;
  }

  // Model coordinates of m points in stored order into y_, row p for point p;
  // plain[p] tells whether reduce_plain() takes the point. Returns true when
  // it takes every one.
  bool reduce_block(const double* values, std::size_t m, bool* plain) {
    double* y = y_.data();
    std::fill(plain, plain + m, true);
    const bool ranged = !s_.ranges.empty();
    for (std::size_t k = 0; k < dim_; ++k) {
      const double offset = s_.offset[k], scale = s_.scale[k];
      const double low = ranged ? s_.ranges[k].first : -std::numeric_limits<double>::infinity();
      const double high = ranged ? s_.ranges[k].second : std::numeric_limits<double>::infinity();
      for (std::size_t p = 0; p < m; ++p) {
        const double x = values[p * dim_ + k];
        const double v = (x - offset) * scale;
        y[p * dim_ + k] = v;
        plain[p] &= std::isfinite(v) & (x >= low) & (x <= high);  // no branches
      }
    }
    return std::all_of(plain, plain + m, [](bool b) { return b; });
  }

  // add() of the points of a block after reduce_block(), keeping the rows it
  // reduced: the others go through add().
  void take_block(const std::vector<std::size_t>& slots, const double* values, std::size_t index,
                  std::size_t m, const bool* plain) {
    double* y = y_.data();
    for (std::size_t p = 0; p < m; ++p) {
      if (!plain[p]) {
        // reduce_plain() would not take it either; writes y at row reduced_ <= p.
        add_general(slots, values + p * dim_, index + p, false);
        continue;
      }
      if (reduced_ != p) std::copy(y + p * dim_, y + (p + 1) * dim_, y + reduced_ * dim_);
      take_reduced(index + p);
    }
  }

  const detail::Setup& s_;
  std::size_t dim_;
  std::vector<double> full_, y_, answers_;
  std::vector<unsigned char> outside_;
  Entry entries_[kPoints];
  std::size_t size_ = 0, reduced_ = 0;
};

}  // namespace

Interpolator::status Interpolator::Impl::evaluate_batch(const std::vector<std::string>& names,
                                                        const double* points, std::size_t n,
                                                        std::size_t first, std::size_t count,
                                                        double* out, status* statuses) const {
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
  const detail::LineTable* line = s.line && width == 1 ? s.line : nullptr;
  bool in_order = width == s.independent_names.size();
  for (std::size_t q = 0; q < slots.size(); ++q) in_order = in_order && slots[q] == q;
  Chunk chunk(s, count);
  std::size_t last = 0;
  status worst = ExitStatusEnum::SUCCESS;
  std::size_t worst_point = 0;
  std::string worst_text;
  const auto note = [&](std::size_t i, status result, const std::string& text) {
    if (statuses) statuses[i] = result;
    // Points may be noted out of order (chunked ones later): the first by index wins.
    if (severity(result) > severity(worst) ||
        (result == worst && result != ExitStatusEnum::SUCCESS && i < worst_point)) {
      worst = result;
      worst_point = i;
      worst_text = text;
    }
  };
  std::size_t i = 0;
  if (!s.constant && !line && in_order && s.all_active)
    for (; i < n; i += Chunk::kPoints)  // every point goes to the model
      chunk.block(slots, points + i * width, i, std::min(Chunk::kPoints, n - i), first, count,
                  cached ? s.id : 0, out, note);
  for (; i < n; ++i) {
    double* row = out + i * count;
    if (s.constant) {
      std::copy(s.constant_row.begin() + first, s.constant_row.begin() + first + count, row);
      note(i, ExitStatusEnum::SUCCESS, std::string());
    } else if (line && points[i] > s.line_low && points[i] < s.line_high) {
      const std::size_t k = walk_interval(*line, last, points[i]);
      for (std::size_t c = 0; c < count; ++c) row[c] = line->value_at(k, points[i], first + c);
      note(i, ExitStatusEnum::SUCCESS, std::string());
    } else {
      chunk.add(slots, in_order, points + i * width, i);
    }
    if (chunk.full() || (i + 1 == n && !chunk.empty()))
      chunk.answer(first, count, cached ? s.id : 0, out, note);
  }
  if (worst == ExitStatusEnum::SUCCESS) return success();
  return report(worst, "point " + std::to_string(worst_point) + ": " + worst_text);
}

Interpolator::status Interpolator::batch_query(const std::vector<std::string>& names,
                                               const double* points, std::size_t n, double* result,
                                               status* statuses) const {
  return impl_->evaluate_batch(names, points, n, 0, impl_->dependent_names.size(), result,
                               statuses);
}

Interpolator::status Interpolator::batch_specific_query(const std::vector<std::string>& names,
                                                        const double* points, std::size_t n,
                                                        const std::string& dependent_name,
                                                        double* result, status* statuses) const {
  const std::size_t column = detail::find_name(impl_->dependent_names, dependent_name);
  if (column == impl_->dependent_names.size()) {
    std::fill(result, result + n, std::numeric_limits<double>::quiet_NaN());
    if (statuses) std::fill(statuses, statuses + n, ExitStatusEnum::ERROR);
    return impl_->report(ExitStatusEnum::ERROR,
                         "unknown dependent variable '" + dependent_name + "'");
  }
  return impl_->evaluate_batch(names, points, n, column, 1, result, statuses);
}

}  // namespace qorva_gil
