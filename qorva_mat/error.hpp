// The library's two exception classes and the assertion macro that throws them.
// What a failure means, and its message text, is decided by the code that throws.
#pragma once

#include <stdexcept>
#include <string>

namespace qorva_mat {

// Every failure the library reports itself derives from this class; what()
// is the message alone. function(), file() and line() name the throw site
// when it was recorded (empty/0 otherwise) and never enter the text.
class runtime_error : public std::runtime_error {
 public:
  explicit runtime_error(const std::string& message);
  runtime_error(const std::string& message, const char* function, const char* file, int line);

  const char* function() const noexcept { return function_; }
  const char* file() const noexcept { return file_; }
  int line() const noexcept { return line_; }

 private:
  const char* function_ = "";
  const char* file_ = "";
  int line_ = 0;
};

// A failed check: what() is "Assertion '<condition>' failed. <message>".
class assertion_error : public runtime_error {
 public:
  assertion_error(const std::string& condition, const std::string& message);
  assertion_error(const std::string& condition, const std::string& message, const char* function,
                  const char* file, int line);

  const std::string& condition() const noexcept { return condition_; }
  const std::string& message() const noexcept { return message_; }

 private:
  std::string condition_;
  std::string message_;
};

namespace detail {
[[noreturn]] void throw_assertion(const char* condition, const std::string& message,
                                  const char* function, const char* file, int line);
[[noreturn]] void throw_runtime(const std::string& message, const char* function, const char* file,
                                int line);
}  // namespace detail

}  // namespace qorva_mat

// Throws qorva_mat::assertion_error when `cond` is false, reporting `text` (a
// const char*) as the failed condition. For checks whose reported condition is
// a fixed text: keep it as a named constant beside the check, so the code may
// use its own names and layout. `msg` is anything convertible to std::string
// and is evaluated only when the check fails.
#define QORVA_ASSERT_TEXT(cond, text, msg)                                               \
  do {                                                                                   \
    if (!(cond)) {                                                                       \
      ::qorva_mat::detail::throw_assertion((text), (msg), __func__, __FILE__, __LINE__); \
    }                                                                                    \
  } while (false)

// Throws qorva_mat::assertion_error when `cond` is false. The condition text is
// taken exactly as written; `msg` is evaluated only when the check fails.
#define QORVA_ASSERT(cond, msg) QORVA_ASSERT_TEXT(cond, #cond, msg)

// Throws qorva_mat::runtime_error with `msg` as its whole text.
#define QORVA_THROW(msg) ::qorva_mat::detail::throw_runtime((msg), __func__, __FILE__, __LINE__)
