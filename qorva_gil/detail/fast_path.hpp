// The query shortcut for linear tables in one variable, and the per-thread state that every query touches.
// The general query path (name resolution, defaults, clamping, warnings) stays in interpolator.cpp; the shortcut answers only what that path would answer identically.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "qorva_gil/detail/model.hpp"

namespace qorva_gil {
namespace detail {

struct Setup;
class LineTable;

// Records that the calling thread's last status of a const member of the
// engine state `message_key` is an empty SUCCESS. Never fails.
QORVA_GIL_INTERNAL void record_success(std::uint64_t message_key);

// Records the calling thread's last status text of a const member of the
// engine state `message_key` (empty: no text). Never fails except for the
// allocation of a longer text.
QORVA_GIL_INTERNAL void record_message(std::uint64_t message_key, const std::string& text);

// The calling thread's last status text of the engine state `message_key`,
// or null when the thread's last status of a const member belongs to another
// engine state.
QORVA_GIL_INTERNAL const std::string* recorded_message(std::uint64_t message_key);

// Interval of x on `line` through the calling thread's interval cache under
// key `cache_id`: the cached interval when it still holds x (a cell hit),
// otherwise a fresh search whose result is cached (a point located). Never
// fails.
QORVA_GIL_INTERNAL std::size_t cached_interval(const LineTable& line, std::uint64_t cache_id,
                                               double x);

}  // namespace detail
}  // namespace qorva_gil
