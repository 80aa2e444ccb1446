// The process-wide logger, QORVA_LOG, the Sink wrappers and the file/console logging switches.
// Where records go is decided by the host; formatting, filtering and writing are Boost.Log's.
#pragma once

#include <atomic>
#include <cstdint>
#include <ostream>
#include <string>

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <boost/log/attributes/named_scope.hpp>
#include <boost/log/core/core.hpp>
#include <boost/log/expressions/filter.hpp>
#include <boost/log/expressions/formatter.hpp>
#include <boost/log/sinks/basic_sink_frontend.hpp>
#include <boost/log/sources/global_logger_storage.hpp>
#include <boost/log/sources/record_ostream.hpp>
#include <boost/log/sources/severity_logger.hpp>
#include <boost/log/trivial.hpp>
#include <boost/log/utility/setup/formatter_parser.hpp>
#include <boost/shared_ptr.hpp>

// How the library's records reach the output
// -------------------------------------------
// Boost.Log prints every record on standard output through a built-in default
// sink while its core holds no sink at all. So that a host which never set up
// logging sees nothing from this library, QORVA_LOG lets a record enter the
// core only while at least one sink is registered through this interface:
// start_logging, start_console_logging or add_sink. Otherwise the record is
// dropped after one relaxed atomic load, without touching the core or the
// logger's lock; that is also why records nobody listens to cost next to nothing.
//
// The library never adds a sink of its own to the core at load, so a host's
// own use of Boost.Log is left exactly as it was (its default-sink output
// included). A host that configures Boost.Log itself and wants the library's
// records hands its frontend to add_sink as well:
//   auto frontend = boost::log::add_file_log("host.log");
//   qorva_mat::add_sink(boost::make_shared<qorva_mat::Sink>(frontend));
// The core keeps a sink only once, so registering a frontend the host already
// added does not duplicate its output. Such a sink must then be removed with
// remove_sink (not only from the core directly), or the library would consider
// it still present; likewise after core::remove_all_sinks. Should no other sink
// be left in the core then, Boost.Log's default sink would print the library's
// records on standard output.

namespace qorva_mat {
namespace detail {

// The one logger every part of the library writes to; get() creates it on
// first use (thread-safe). Its attributes "TimeStamp" (local clock),
// "ThreadID" and "Scope" (the thread's named scopes) belong to this logger
// only, next to the logger's own "Severity". Library code emits through
// QORVA_LOG; a record opened on get() directly bypasses the check described above.
BOOST_LOG_GLOBAL_LOGGER(
    logger, boost::log::sources::severity_logger_mt<boost::log::trivial::severity_level>)

// Number of sinks currently registered through this interface.
extern std::atomic<unsigned> registered_sink_count;

// True when a library record can reach a sink registered through this
// interface; never fails.
inline bool records_wanted() noexcept {
  return registered_sink_count.load(std::memory_order_relaxed) != 0;
}

// Formats a "TimeStamp" placeholder as "%Y-%m-%d %H:%M:%S.%f"; parameters of
// the placeholder (such as format=...) are ignored. Never fails.
class time_stamp_formatter_factory
    : public boost::log::basic_formatter_factory<char, boost::posix_time::ptime> {
 public:
  formatter_type create_formatter(const boost::log::attribute_name& name,
                                  const args_map& args) override;
};

// Formats a "Scope" placeholder as the scope list "%n (%f : %l)", outermost
// first, joined by "->", "..." for a cut list, nothing for an empty one;
// parameters of the placeholder are ignored. Never fails.
class scope_formatter_factory
    : public boost::log::basic_formatter_factory<char, boost::log::attributes::named_scope_list> {
 public:
  formatter_type create_formatter(const boost::log::attribute_name& name,
                                  const args_map& args) override;
};

// Registers the "Severity" filter and formatter factories and the two factories
// above with Boost.Log. Runs once when the library is loaded; later calls do
// nothing. Throws whatever Boost.Log throws on its first run.
void register_log_factories();

}  // namespace detail

// One Boost.Log sink frontend. Copies share the frontend; destroying the last
// copy does not remove the frontend from the core (use remove_sink).
class Sink {
 public:
  explicit Sink(boost::shared_ptr<boost::log::sinks::basic_sink_frontend> impl);
  // Flushes the frontend if it is still held; errors while flushing are swallowed.
  virtual ~Sink();
  Sink(const Sink&) = default;
  Sink& operator=(const Sink&) = default;
  Sink(Sink&&) = default;
  Sink& operator=(Sink&&) = default;

  // Flushes the frontend; does nothing after reset(). Boost.Log errors propagate.
  virtual void flush();
  // Flushes, then releases the frontend: the sink is inert afterwards (a
  // frontend still registered with the core stays there). Boost.Log errors
  // propagate.
  virtual void reset();

  // The frontend, or null after reset().
  boost::shared_ptr<boost::log::sinks::basic_sink_frontend> impl() const { return impl_; }

  // Replace this sink's own filter. The text form is parsed with Boost.Log's
  // filter parser and throws boost::log::parse_error (or the factories'
  // errors) when it cannot be parsed. All throw qorva_mat::runtime_error after
  // reset() and for a null text.
  void filter(const boost::log::filter& filter);
  void filter(const std::string& filter);
  void filter(const char* filter);
  // Restores the accept-all filter; throws qorva_mat::runtime_error after reset().
  void reset_filter();

 protected:
  // The frontend; throws qorva_mat::runtime_error "log: the sink has been reset." when it is null.
  boost::log::sinks::basic_sink_frontend& frontend() const;

 private:
  boost::shared_ptr<boost::log::sinks::basic_sink_frontend> impl_;
};

// A synchronous sink writing formatted records to a stream.
class TextSink : public Sink {
 public:
  // Writes to `stream`, which the sink keeps alive. Throws qorva_mat::runtime_error
  // "log: cannot write to a null stream." when `stream` is null.
  explicit TextSink(const boost::shared_ptr<std::ostream>& stream);

  // Set the record format. The text form is parsed with Boost.Log's formatter
  // parser (using the library's factories) and throws boost::log::parse_error
  // when it cannot be parsed. All throw qorva_mat::runtime_error after reset()
  // and for a null text.
  void formatter(const std::string& format);
  void formatter(const char* format);
  void formatter(const boost::log::formatter& format);
  // Restores Boost.Log's default formatter (the message alone); throws
  // qorva_mat::runtime_error after reset().
  void reset_formatter();
  // Flush the stream after every record or not; throws qorva_mat::runtime_error after reset().
  void auto_flush(bool enable);
};

// A synchronous sink appending formatted records to a file.
class LogFileSink : public Sink {
 public:
  // `file_name` is a Boost.Log file name pattern; the file is opened in append
  // mode when the first record arrives (an unopenable file throws then, from the
  // logging statement). No rotation, no auto-flush, no target directory.
  // Throws qorva_mat::runtime_error "log: the log file name is empty." for "".
  explicit LogFileSink(const std::string& file_name);

  // As for TextSink; all throw qorva_mat::runtime_error after reset().
  void formatter(const std::string& format);
  void formatter(const char* format);
  void formatter(const boost::log::formatter& format);
  void reset_formatter();
  void auto_flush(bool enable);

  // Starts a new file whenever the current one reaches `bytes` bytes.
  // Throws qorva_mat::runtime_error after reset().
  void rotation_size(unsigned int bytes);
  // Starts a new file every `interval`. Throws qorva_mat::assertion_error when
  // `interval` is special or shorter than one second, and
  // qorva_mat::runtime_error after reset().
  void rotation_interval(boost::posix_time::time_duration interval);
  // Collects rotated files in the directory `target` (no size, space or count
  // limits), scans it for files matching this sink's name pattern, updates the
  // file counter from them when `update_counter` is true, and returns how many
  // were found. Filesystem errors propagate as Boost's exceptions; throws
  // qorva_mat::runtime_error after reset().
  std::uint64_t scan_for_files(const std::string& target, bool update_counter);
};

// Starts appending records of severity debug and above to `file_name` in the
// format "YYYY-MM-DD HH:MM:SS.ffffff, <thread id>, <severity>: <message>",
// flushed after every record. Does nothing if file logging is already on (the
// new name is ignored). The file is opened by the first record; an unopenable
// file throws then.
void start_logging(std::string file_name);
// Stops file logging and closes the file once no copy of its sink is left; does
// nothing if it is off. Never fails.
void stop_logging();
// Starts writing every record to std::clog as
// "<time stamp> <thread id>: <<severity>> <message> - <scopes>". Does nothing if
// console logging is already on. Never fails except for std::bad_alloc.
void start_console_logging();
// Stops console logging; does nothing if it is off. Never fails.
void stop_console_logging();

// Registers sink->impl() with the Boost.Log core and lets the library's records
// through to it. Throws qorva_mat::runtime_error "log: cannot add a null or
// reset sink." when `sink` or its frontend is null.
void add_sink(boost::shared_ptr<Sink> sink);
// Unregisters sink->impl() from the core. Does nothing for a null or reset sink
// or one that is not registered. Never fails.
void remove_sink(boost::shared_ptr<Sink> sink);

// Installs the core's global filter, which applies to every sink. The text form
// is parsed with Boost.Log's filter parser ("%Severity% >= warning") and throws
// boost::log::parse_error (or the factories' errors) when it cannot be parsed;
// a null text throws qorva_mat::runtime_error.
void set_filter(const std::string& filter);
void set_filter(const char* filter);
void set_filter(const boost::log::filter& filter);

}  // namespace qorva_mat

// Emits one record at the given trivial severity (trace, debug, info, warning,
// error, fatal): QORVA_LOG(warning) << "text";  The streamed expressions are
// not evaluated when the record cannot reach a sink. An exception from a sink
// (for example an unopenable log file) propagates from the statement.
#define QORVA_LOG(severity)                                                               \
  for (bool qorva_log_wanted_ = ::qorva_mat::detail::records_wanted(); qorva_log_wanted_; \
       qorva_log_wanted_ = false)                                                         \
  BOOST_LOG_SEV(::qorva_mat::detail::logger::get(), ::boost::log::trivial::severity)
