// A test helper returning the text of the exception a call throws.
// What the text must be is left to each test.
#pragma once

#include <string>

#include "qorva_mat/error.hpp"

namespace qorva_test {

// what() of the exception of type E that f throws, or "no exception".
template <typename E = qorva_mat::runtime_error, typename F>
std::string what_of(F&& f) {
  try {
    f();
  } catch (const E& e) {
    return e.what();
  }
  return "no exception";
}

}  // namespace qorva_test
