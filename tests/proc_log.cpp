// Host program for the logging tests: emits library records under one host
// setup, named by argv[1], so a test can inspect what reaches stdout and stderr.
#include "qorva_mat/log.hpp"

#include <iostream>
#include <string>

#include <boost/log/utility/setup/console.hpp>
#include <boost/make_shared.hpp>

namespace {

void emit_library_records() {
  QORVA_LOG(trace) << "library trace";
  QORVA_LOG(debug) << "library debug";
  QORVA_LOG(info) << "library info";
  QORVA_LOG(warning) << "library warning";
  QORVA_LOG(error) << "library error";
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "silent") {
    emit_library_records();
  } else if (mode == "host-default") {
    // The host relies on Boost.Log's default sink for its own records.
    BOOST_LOG_TRIVIAL(info) << "host record";
    emit_library_records();
  } else if (mode == "host-sink") {
    auto frontend =
        boost::log::add_console_log(std::cerr, boost::log::keywords::format = "%Message%");
    BOOST_LOG_TRIVIAL(info) << "host record";
    emit_library_records();  // not yet registered with the library
    qorva_mat::add_sink(boost::make_shared<qorva_mat::Sink>(frontend));
    emit_library_records();
  } else if (mode == "console") {
    qorva_mat::start_console_logging();
    emit_library_records();
    qorva_mat::stop_console_logging();
  } else {
    return 2;
  }
  return 0;
}
