// StringProperties: lookups with the library's failure text for a missing key.
#include "qorva_mat/string_properties.hpp"

#include <stdexcept>

namespace qorva_mat {

void StringProperties::set(const std::string& key, const std::string& value) {
  values_[key] = value;
}

const std::string& StringProperties::get(const std::string& key) const {
  const auto it = values_.find(key);
  if (it == values_.end()) throw std::out_of_range("invalid unordered_map<K, T> key");
  return it->second;
}

bool StringProperties::has(const std::string& key) const { return values_.count(key) != 0; }

std::vector<std::string> StringProperties::keys() const {
  std::vector<std::string> keys;
  keys.reserve(values_.size());
  for (const auto& entry : values_) keys.push_back(entry.first);
  return keys;
}

}  // namespace qorva_mat
