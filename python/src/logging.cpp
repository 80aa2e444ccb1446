// Sending the library's log records to Python's logging module or to a file.
#include <pybind11/pybind11.h>

#include <boost/log/attributes/value_extraction.hpp>
#include <boost/log/expressions/message.hpp>
#include <boost/log/sinks/basic_sink_backend.hpp>
#include <boost/log/sinks/unlocked_frontend.hpp>
#include <boost/make_shared.hpp>
#include <string>

#include "python/src/bindings.hpp"
#include "qorva_mat/log.hpp"

namespace py = pybind11;
namespace sinks = boost::log::sinks;

namespace qorva_py {
namespace {

int python_level(boost::log::trivial::severity_level severity) {
  switch (severity) {
    case boost::log::trivial::trace:
      return 5;
    case boost::log::trivial::debug:
      return 10;
    case boost::log::trivial::info:
      return 20;
    case boost::log::trivial::warning:
      return 30;
    case boost::log::trivial::error:
      return 40;
    default:
      return 50;
  }
}

// Hands each record to logging.getLogger(name).log(level, message). The frontend takes no lock
// of its own: a record emitted by a thread without the GIL waits for the GIL only, so a thread
// holding the GIL and logging at the same time cannot deadlock with it.
class PythonBackend : public sinks::basic_sink_backend<sinks::concurrent_feeding> {
 public:
  explicit PythonBackend(std::string logger) : logger_(std::move(logger)) {}

  void consume(const boost::log::record_view& record) {
    if (!Py_IsInitialized()) return;
    const auto message = record[boost::log::expressions::smessage];
    const auto severity =
        boost::log::extract<boost::log::trivial::severity_level>("Severity", record);
    const int level = severity ? python_level(*severity) : 20;
    PyGILState_STATE state = PyGILState_Ensure();
    try {
      py::module_::import("logging").attr("getLogger")(logger_).attr("log")(
          level, message ? message->c_str() : "");
    } catch (py::error_already_set&) {
      PyErr_Clear();  // a failing handler must not break the library call that logged
    }
    PyGILState_Release(state);
  }

 private:
  std::string logger_;
};

boost::shared_ptr<qorva_mat::Sink>& python_sink() {
  static boost::shared_ptr<qorva_mat::Sink> sink;
  return sink;
}

void stop_python_logging() {
  auto& sink = python_sink();
  if (!sink) return;
  qorva_mat::remove_sink(sink);
  sink.reset();
}

void start_python_logging(const std::string& logger) {
  stop_python_logging();
  auto frontend = boost::make_shared<sinks::unlocked_sink<PythonBackend>>(
      boost::make_shared<PythonBackend>(logger));
  python_sink() = boost::make_shared<qorva_mat::Sink>(frontend);
  qorva_mat::add_sink(python_sink());
}

}  // namespace

void register_logging(py::module_& m) {
  m.def("log_to_python", &start_python_logging, py::arg("logger") = "qorva_mat",
        "Send the library's log records to logging.getLogger(logger) (replacing an earlier call's "
        "logger). Levels map to DEBUG, INFO, WARNING, ERROR, CRITICAL; trace records use level 5.");
  m.def("stop_log_to_python", &stop_python_logging, "Stop sending records to Python's logging.");
  m.def("log_to_file", &qorva_mat::start_logging, py::arg("path"),
        "Append the library's records of severity debug and above to the file `path`, one line "
        "each, flushed after every record. Does nothing when file logging is already on.");
  m.def("stop_log_to_file", &qorva_mat::stop_logging, "Stop file logging and close the file.");
}

}  // namespace qorva_py
