// A test helper that collects the library's log records while it is alive.
// Records reach it through the library's own sink registration, as a host's sink would.
#pragma once

#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>

#include <sstream>
#include <string>

#include "qorva_mat/log.hpp"

namespace qorva_test {

// Collects records as "<severity>: <message>" lines.
class LogCapture {
 public:
  LogCapture()
      : stream_(boost::make_shared<std::ostringstream>()),
        sink_(boost::make_shared<qorva_mat::TextSink>(stream_)) {
    sink_->formatter("%Severity%: %Message%");
    sink_->auto_flush(true);
    qorva_mat::add_sink(sink_);
  }
  ~LogCapture() { qorva_mat::remove_sink(sink_); }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::string text() const {
    sink_->flush();
    return stream_->str();
  }

 private:
  boost::shared_ptr<std::ostringstream> stream_;
  boost::shared_ptr<qorva_mat::TextSink> sink_;
};

}  // namespace qorva_test
