// Per-thread counters of the engine's point location, for tests and benchmarks that want to see the cache work.
// The counters never influence an answer; resetting and reading them is left to the caller.
#pragma once

#include <cstdint>

namespace qorva_gil {

// Counts of the current thread's queries on engines with caching on, since the
// last reset (queries without caching are not counted, to keep them lean).
struct QueryStatistics {
  std::uint64_t located = 0;     // points located in an interval, simplex or KD-tree
  std::uint64_t point_hits = 0;  // cached: same point as the last query, nothing located
  std::uint64_t cell_hits = 0;   // cached: the last interval or simplex still contained the point
  std::uint64_t walk_steps = 0;  // simplex-to-simplex steps of the triangulation walk
  std::uint64_t full_scans = 0;  // walks that gave up and scanned every simplex
};

// The calling thread's counters; never fails. Reset with `= QueryStatistics{}`.
QueryStatistics& thread_query_statistics();

}  // namespace qorva_gil
