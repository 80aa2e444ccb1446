#include "qorva_mat/error.hpp"

namespace qorva_mat {

runtime_error::runtime_error(const std::string& message) : std::runtime_error(message) {}

runtime_error::runtime_error(const std::string& message, const char* function, const char* file,
                             int line)
    : std::runtime_error(message), function_(function), file_(file), line_(line) {}

assertion_error::assertion_error(const std::string& condition, const std::string& message)
    : runtime_error("Assertion '" + condition + "' failed. " + message),
      condition_(condition),
      message_(message) {}

assertion_error::assertion_error(const std::string& condition, const std::string& message,
                                 const char* function, const char* file, int line)
    : runtime_error("Assertion '" + condition + "' failed. " + message, function, file, line),
      condition_(condition),
      message_(message) {}

namespace detail {

void throw_assertion(const char* condition, const std::string& message, const char* function,
                     const char* file, int line) {
  throw assertion_error(condition, message, function, file, line);
}

void throw_runtime(const std::string& message, const char* function, const char* file, int line) {
  throw runtime_error(message, function, file, line);
}

}  // namespace detail
}  // namespace qorva_mat
