// The engine's one way of comparing and finding variable names, used by every query path.
// Which names a query may use, and the errors for unknown or repeated ones, are left to interpolator.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace qorva_gil {
namespace detail {

// True when the first and the last sizeof(T) bytes of p and q agree (k, the
// length of both, at least sizeof(T)).
template <typename T>
inline bool same_ends(const char* p, const char* q, std::size_t k) {
  T u0, u1, v0, v1;
  std::memcpy(&u0, p, sizeof(T));
  std::memcpy(&u1, p + k - sizeof(T), sizeof(T));
  std::memcpy(&v0, q, sizeof(T));
  std::memcpy(&v1, q + k - sizeof(T), sizeof(T));
  return ((u0 ^ v0) | (u1 ^ v1)) == 0;
}

// Equality of two names, inlined: the names of a query are short and usually
// equal, where a library memcmp call costs more than the compare. Whole words
// at a time, the last load of each size overlapping the one before it, so
// there is no byte loop.
inline bool same_text(const std::string& a, const std::string& b) {
  const std::size_t k = a.size();
  if (k != b.size()) return false;
  const char* p = a.data();
  const char* q = b.data();
  if (k >= 8) {
    std::size_t i = 0;
    for (; i + 16 < k; i += 8)
      if (!same_ends<std::uint64_t>(p + i, q + i, 8)) return false;
    return same_ends<std::uint64_t>(p + i, q + i, k - i);
  }
  if (k >= 4) return same_ends<std::uint32_t>(p, q, k);
  if (k >= 2) return same_ends<std::uint16_t>(p, q, k);
  return k == 0 || p[0] == q[0];
}

// Index of name in names, or names.size() when it is not there.
inline std::size_t find_name(const std::vector<std::string>& names, const std::string& name) {
  std::size_t i = 0;
  while (i < names.size() && !same_text(names[i], name)) ++i;
  return i;
}

// True when a and b hold the same names in the same order.
inline bool same_names(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (!same_text(a[i], b[i])) return false;
  return true;
}

}  // namespace detail
}  // namespace qorva_gil
