// StringProperties: the key -> text map that materials and property sets carry beside their data.
// Which keys or values are allowed is left to the owner (PropertySet restricts one key).
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

namespace qorva_mat {

class StringProperties {
 public:
  using map_t = std::unordered_map<std::string, std::string>;

  // Sets or replaces the value of `key`. Throws only std::bad_alloc.
  void set(const std::string& key, const std::string& value);
  // The value of `key`. Throws std::out_of_range "invalid unordered_map<K, T> key" for a missing
  // key.
  const std::string& get(const std::string& key) const;
  // Never fail (beyond std::bad_alloc); the keys come in the map's own order.
  bool has(const std::string& key) const;
  std::vector<std::string> keys() const;

  // Key/value pairs in the map's own order.
  map_t::const_iterator begin() const { return values_.begin(); }
  map_t::const_iterator end() const { return values_.end(); }

  void swap(StringProperties& other) noexcept { values_.swap(other.values_); }

 private:
  map_t values_;
};

}  // namespace qorva_mat
