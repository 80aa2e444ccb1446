// Small text helpers of the qorva-mat commands: case folding for matching names the user typed.
// Parsing numbers and units is unit_text's; what a name means is the command's.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace qorva_cli {

// `text` with ASCII letters A-Z folded to a-z; every other byte unchanged, whatever the
// process locale. Never throws (apart from std::bad_alloc).
inline std::string lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

// Position of `wanted` in `names`: the exact name, else the first name equal to it without regard
// to ASCII case; names.size() when there is neither. Never throws (apart from std::bad_alloc).
inline std::size_t find_name(const std::vector<std::string>& names, const std::string& wanted) {
  for (std::size_t i = 0; i < names.size(); ++i)
    if (names[i] == wanted) return i;
  const std::string folded = lower(wanted);
  for (std::size_t i = 0; i < names.size(); ++i)
    if (lower(names[i]) == folded) return i;
  return names.size();
}

}  // namespace qorva_cli
