// The state behind qorva_gil::Interpolator and the immutable setup that initialize() builds and queries read.
// Storing tables and answering queries is done in interpolator.cpp, building in interpolator_build.cpp; algorithms live in their own files.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "qorva_gil/detail/model.hpp"

namespace qorva_gil {
namespace detail {

// A name reduced to its length and two machine words of its bytes (the first
// and last 8, 4, 2 or 1 bytes, overlapping for short names), so that two
// names of at most 16 bytes are equal exactly when their keys are. Longer
// names need their middle bytes compared as well (same_middle below).
struct NameKey {
  std::size_t size = 0;
  std::uint64_t head = 0, tail = 0;

  NameKey() = default;
  explicit NameKey(const std::string& name) : size(name.size()) {
    const char* p = name.data();
    if (size >= 8) {
      head = word<std::uint64_t>(p);
      tail = word<std::uint64_t>(p + size - 8);
    } else if (size >= 4) {
      head = word<std::uint32_t>(p);
      tail = word<std::uint32_t>(p + size - 4);
    } else if (size >= 2) {
      head = word<std::uint16_t>(p);
      tail = word<std::uint16_t>(p + size - 2);
    } else if (size == 1) {
      head = static_cast<unsigned char>(p[0]);
    }
  }

  template <typename T>
  static std::uint64_t word(const char* p) {
    T w;
    std::memcpy(&w, p, sizeof w);
    return w;
  }
};

// True when the keys of two names are equal: the names are then equal if
// they have at most 16 bytes, and agree at least in length, first and last 8
// bytes otherwise.
inline bool same_key(const NameKey& key, const NameKey& stored_key) {
  return ((key.size ^ stored_key.size) | (key.head ^ stored_key.head) | (key.tail ^ stored_key.tail)) == 0;
}

// True when the middle bytes of two names with equal keys (see same_key) are
// equal too, so that the names are.
inline bool same_middle(const std::string& name, const std::string& stored) {
  const std::size_t size = name.size();
  for (std::size_t i = 8; i + 8 < size; i += 8)
    if (NameKey::word<std::uint64_t>(name.data() + i) != NameKey::word<std::uint64_t>(stored.data() + i))
      return false;
  return true;
}

// The position of a name in a fixed list of distinct names by a perfect hash
// of its key: one slot to read and one key to compare, with no loop.
class NameIndex {
 public:
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

  // Builds the index; returns false (and find_key() must not be used) for more
  // than 64 names or when no hash tried separates their keys (names longer
  // than 16 bytes that agree in length and in their first and last 8 bytes).
  bool build(const std::vector<std::string>& names);

  // The position whose name has the same key as `key` (see same_key), or
  // npos: the name's position when it has at most 16 bytes.
  std::size_t find_key(const NameKey& key) const {
    const std::size_t at = slots_[slot(key)];
    if (at == kEmpty || !same_key(key, keys_[at])) return npos;
    return at;
  }

 private:
  std::size_t slot(const NameKey& key) const {
    const std::uint64_t mixed = key.head ^ (key.tail * 0x9E3779B97F4A7C15ull) ^ key.size;
    return static_cast<std::size_t>((mixed * multiplier_) >> shift_);
  }

  static constexpr std::uint8_t kEmpty = 255;
  std::vector<NameKey> keys_;
  std::vector<std::uint8_t> slots_;  // position of the name hashed there, or kEmpty
  std::uint64_t multiplier_ = 0;
  unsigned shift_ = 63;
};

// Everything a query needs, fixed at initialize() and never changed after, so
// concurrent queries and copies of the engine can share it.
struct Setup {
  std::vector<std::string> independent_names;
  std::vector<std::string> dependent_names;
  bool constant = false;                  // no independent data: answer `constant_row`
  std::vector<double> constant_row;
  std::vector<double> defaults;           // empty: every variable must be given
  std::vector<std::pair<double, double>> ranges;  // empty: no clamping
  std::vector<std::size_t> active;        // independent variables kept in the model
  std::vector<double> fixed;              // per variable: its only data value, if dropped
  std::vector<char> dropped;
  bool all_active = false;                // nothing dropped: active[k] == k for every variable
  std::vector<double> offset, scale;      // per active variable: y = (x - offset) * scale
  std::unique_ptr<Model> model;
  NameIndex dependent_index;             // of dependent_names, when `line` is set
  // A linear table in one variable with nothing dropped, built on the
  // variable's own values: the model's table, which specific_query() reads
  // directly for points strictly between line_low and line_high (the data's
  // ends narrowed to the variable's range). Null for every other model.
  const LineTable* line = nullptr;
  double line_low = 0.0, line_high = 0.0;
  NameKey line_name_key;                 // the variable's name key, when `line` is set
  std::string outside_note;               // warning text for points outside the data
  std::uint64_t id = 0;
};

// The message key of the engine state the calling thread's last status of a
// const member belongs to, plus 1 when that status has text. Plain data, so
// reading it on every query needs neither an initialisation guard nor a call.
extern thread_local std::uint64_t thread_message_key;
// The text of that status; touched only when there is text to store or clear.
std::string& thread_message_text();

}  // namespace detail
}  // namespace qorva_gil

#include "qorva_gil/interpolator.hpp"

namespace qorva_gil {

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
    const std::uint64_t key = detail::thread_message_key;
    if (key != message_key) {
      if (key & 1u) detail::thread_message_text().clear();
      detail::thread_message_key = message_key;
    }
    return ExitStatusEnum::SUCCESS;
  }
  // After a setter: not ready until the next initialize(); returns SUCCESS.
  status changed();

  // Empty when the stored tables fit together, otherwise what is wrong.
  std::string consistency_error() const;
  // Fills s from the stored tables; returns an error text or "".
  std::string build(detail::Setup& s) const;
  // Answers columns [first, first + count) at the named point (names null:
  // the defaults), or a constant engine's row.
  status evaluate(const std::vector<std::string>* names, const std::vector<double>* values,
                  std::size_t first, std::size_t count, double* out) const;
  // specific_query() of a one-variable table whose answer `value` in column
  // `column` was found by name keys alone, for names longer than 16 bytes:
  // stores it if the names' middle bytes agree too, otherwise takes the
  // general path.
  status specific_query_long_names(const std::vector<std::string>& names, const std::vector<double>& values,
                                   const std::string& dependent_name, double& result, std::size_t column,
                                   double value) const;
  // specific_query() of every case its table path does not take.
  status specific_query_general(const std::vector<std::string>& names, const std::vector<double>& values,
                                const std::string& dependent_name, double& result) const;
};

}  // namespace qorva_gil
