// What qorva-mat says on standard error: warnings (one line each, each only once, silenced by -q) and the one-line text of a failure.
// The library's own log records reach the warnings through a sink registered here; the log itself is the library's.
#pragma once

#include <exception>
#include <string>

namespace qorva_cli {

// With `library_records`, starts passing the library's warning records to warn(); with `quiet`
// nothing is printed at all. Call once, before loading anything. Throws what registering a log
// sink throws.
void start_warnings(bool quiet, bool library_records);

// While alive, warnings are prefixed with "<path>: " (the file being loaded).
class WarningContext {
 public:
  explicit WarningContext(const std::string& path);
  ~WarningContext();
  WarningContext(const WarningContext&) = delete;
  WarningContext& operator=(const WarningContext&) = delete;

 private:
  std::string previous_;
};

// Prints "qorva-mat: warning: <text>" on one line (line breaks and indentation of the text
// folded) unless the same text was printed before or warnings are silenced. Never throws.
void warn(const std::string& text);

// One line describing `failure` for a person: property-tree, XML, number-format and engine
// errors are put in words ("the element 'BulkDetails' is missing", no "GIL-error:" prefix),
// line breaks folded. Never throws beyond std::bad_alloc.
std::string describe_failure(const std::exception& failure);

// `text` on one line: line breaks become "; ", runs of blanks one blank, no blanks at the ends.
std::string one_line(const std::string& text);

}  // namespace qorva_cli
