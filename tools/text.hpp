// Small text helpers of the qorva-mat commands: case folding for matching names the user typed.
// Parsing numbers and units is unit_text's; what a name means is the command's.
#pragma once

#include <string>

namespace qorva_cli {

// `text` with ASCII letters A-Z folded to a-z; every other byte unchanged, whatever the
// process locale. Never throws (apart from std::bad_alloc).
inline std::string lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

}  // namespace qorva_cli
