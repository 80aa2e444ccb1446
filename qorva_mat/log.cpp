#include "qorva_mat/log.hpp"

#include <algorithm>
#include <ios>
#include <iostream>
#include <limits>
#include <mutex>
#include <vector>

#include <boost/core/null_deleter.hpp>
#include <boost/date_time/posix_time/posix_time.hpp>
#include <boost/log/attributes/clock.hpp>
#include <boost/log/attributes/current_thread_id.hpp>
#include <boost/log/expressions.hpp>
#include <boost/log/keywords/file_name.hpp>
#include <boost/log/keywords/max_files.hpp>
#include <boost/log/keywords/max_size.hpp>
#include <boost/log/keywords/min_free_space.hpp>
#include <boost/log/keywords/open_mode.hpp>
#include <boost/log/keywords/target.hpp>
#include <boost/log/sinks/sync_frontend.hpp>
#include <boost/log/sinks/text_file_backend.hpp>
#include <boost/log/sinks/text_ostream_backend.hpp>
#include <boost/log/support/date_time.hpp>
#include <boost/log/utility/setup/filter_parser.hpp>
#include <boost/make_shared.hpp>

#include "qorva_mat/error.hpp"

namespace qorva_mat {

namespace logging = boost::log;
namespace expr = boost::log::expressions;
namespace sinks = boost::log::sinks;
namespace keywords = boost::log::keywords;
using boost::log::trivial::severity_level;

namespace {

using text_frontend = sinks::synchronous_sink<sinks::text_ostream_backend>;
using file_frontend = sinks::synchronous_sink<sinks::text_file_backend>;

constexpr const char* kTimeStampFormat = "%Y-%m-%d %H:%M:%S.%f";
constexpr const char* kFileFormat = "%TimeStamp%, %ThreadID%, %Severity%: %Message%";

// What start/stop and add/remove keep between calls. Allocated once and never
// destroyed, so that sinks removed from static destructors still find it.
struct LogState {
  std::mutex mutex;                           // guards `frontends`
  std::vector<const sinks::sink*> frontends;  // registered through add_sink
  boost::shared_ptr<LogFileSink> file_sink;   // null while file logging is off
  boost::shared_ptr<TextSink> console_sink;   // null while console logging is off
};

LogState& state() {
  static LogState* const instance = new LogState();
  return *instance;
}

// The named-scope list written by the console format and the "Scope" factory.
auto scope_list(const logging::attribute_name& name) {
  return expr::format_named_scope(name, keywords::format = "%n (%f : %l)",
                                  keywords::delimiter = "->", keywords::incomplete_marker = "...",
                                  keywords::empty_marker = "", keywords::iteration = expr::forward);
}

template <class Frontend>
Frontend& frontend_as(sinks::basic_sink_frontend& frontend) {
  auto* typed = dynamic_cast<Frontend*>(&frontend);
  if (typed == nullptr) {
    QORVA_THROW("log: the sink holds a frontend of another kind.");
  }
  return *typed;
}

// The text behind a const char* overload; a null pointer throws.
std::string text_of(const char* text) {
  if (text == nullptr) {
    QORVA_THROW("log: a filter or format text is null.");
  }
  return text;
}

logging::formatter parse_format(const std::string& format) {
  detail::register_log_factories();
  return logging::parse_formatter(format);
}

boost::shared_ptr<text_frontend> make_text_frontend(const boost::shared_ptr<std::ostream>& stream) {
  if (!stream) {
    QORVA_THROW("log: cannot write to a null stream.");
  }
  auto backend = boost::make_shared<sinks::text_ostream_backend>();
  backend->add_stream(stream);
  return boost::make_shared<text_frontend>(backend);
}

boost::shared_ptr<file_frontend> make_file_frontend(const std::string& file_name) {
  if (file_name.empty()) {
    QORVA_THROW("log: the log file name is empty.");
  }
  auto backend = boost::make_shared<sinks::text_file_backend>(
      keywords::file_name = file_name,
      keywords::open_mode = std::ios_base::out | std::ios_base::app);
  return boost::make_shared<file_frontend>(backend);
}

}  // namespace

namespace detail {

std::atomic<unsigned> registered_sink_count{0};

BOOST_LOG_GLOBAL_LOGGER_INIT(
    logger, boost::log::sources::severity_logger_mt<boost::log::trivial::severity_level>) {
  boost::log::sources::severity_logger_mt<boost::log::trivial::severity_level> lg;
  lg.add_attribute("TimeStamp", boost::log::attributes::local_clock());
  lg.add_attribute("ThreadID", boost::log::attributes::current_thread_id());
  lg.add_attribute("Scope", boost::log::attributes::named_scope());
  return lg;
}

time_stamp_formatter_factory::formatter_type time_stamp_formatter_factory::create_formatter(
    const logging::attribute_name& name, const args_map& /*args*/) {
  return expr::stream << expr::format_date_time<boost::posix_time::ptime>(name, kTimeStampFormat);
}

scope_formatter_factory::formatter_type scope_formatter_factory::create_formatter(
    const logging::attribute_name& name, const args_map& /*args*/) {
  return expr::stream << scope_list(name);
}

void register_log_factories() {
  // Boost.Log keeps its factory registries in lazily created singletons, so this
  // is safe from any static initialiser; the local static makes it run once.
  static const bool registered = [] {
    logging::register_simple_filter_factory<severity_level, char>("Severity");
    logging::register_simple_formatter_factory<severity_level, char>("Severity");
    logging::register_formatter_factory("TimeStamp",
                                        boost::make_shared<time_stamp_formatter_factory>());
    logging::register_formatter_factory("Scope", boost::make_shared<scope_formatter_factory>());
    return true;
  }();
  static_cast<void>(registered);
}

namespace {
// Registers the factories when the library is loaded.
const struct FactoryRegistration {
  FactoryRegistration() { register_log_factories(); }
} factory_registration;
}  // namespace

}  // namespace detail

// ---- Sink ----------------------------------------------------------------

Sink::Sink(boost::shared_ptr<sinks::basic_sink_frontend> impl) : impl_(std::move(impl)) {}

Sink::~Sink() {
  if (impl_) {
    try {
      reset();
    } catch (...) {
      // A destructor cannot report a failed flush.
    }
  }
}

void Sink::flush() {
  if (impl_) {
    impl_->flush();
  }
}

void Sink::reset() {
  flush();
  impl_.reset();
}

sinks::basic_sink_frontend& Sink::frontend() const {
  if (!impl_) {
    QORVA_THROW("log: the sink has been reset.");
  }
  return *impl_;
}

void Sink::filter(const logging::filter& filter) { frontend().set_filter(filter); }

void Sink::filter(const std::string& filter) {
  sinks::basic_sink_frontend& target = frontend();
  detail::register_log_factories();
  target.set_filter(logging::parse_filter(filter));
}

void Sink::filter(const char* filter) { this->filter(text_of(filter)); }

void Sink::reset_filter() { frontend().reset_filter(); }

// ---- TextSink ------------------------------------------------------------

TextSink::TextSink(const boost::shared_ptr<std::ostream>& stream)
    : Sink(make_text_frontend(stream)) {}

void TextSink::formatter(const logging::formatter& format) {
  frontend_as<text_frontend>(frontend()).set_formatter(format);
}

void TextSink::formatter(const std::string& format) {
  text_frontend& target = frontend_as<text_frontend>(frontend());
  target.set_formatter(parse_format(format));
}

void TextSink::formatter(const char* format) { formatter(text_of(format)); }

void TextSink::reset_formatter() { frontend_as<text_frontend>(frontend()).reset_formatter(); }

void TextSink::auto_flush(bool enable) {
  frontend_as<text_frontend>(frontend()).locked_backend()->auto_flush(enable);
}

// ---- LogFileSink ---------------------------------------------------------

LogFileSink::LogFileSink(const std::string& file_name) : Sink(make_file_frontend(file_name)) {}

void LogFileSink::formatter(const logging::formatter& format) {
  frontend_as<file_frontend>(frontend()).set_formatter(format);
}

void LogFileSink::formatter(const std::string& format) {
  file_frontend& target = frontend_as<file_frontend>(frontend());
  target.set_formatter(parse_format(format));
}

void LogFileSink::formatter(const char* format) { formatter(text_of(format)); }

void LogFileSink::reset_formatter() { frontend_as<file_frontend>(frontend()).reset_formatter(); }

void LogFileSink::auto_flush(bool enable) {
  frontend_as<file_frontend>(frontend()).locked_backend()->auto_flush(enable);
}

void LogFileSink::rotation_size(unsigned int bytes) {
  frontend_as<file_frontend>(frontend()).locked_backend()->set_rotation_size(bytes);
}

void LogFileSink::rotation_interval(boost::posix_time::time_duration interval) {
  file_frontend& target = frontend_as<file_frontend>(frontend());
  QORVA_ASSERT(!interval.is_special() && interval.total_seconds() > 0,
               "log: the rotation interval must be at least one second.");
  target.locked_backend()->set_time_based_rotation(
      sinks::file::rotation_at_time_interval(interval));
}

std::uint64_t LogFileSink::scan_for_files(const std::string& target, bool update_counter) {
  file_frontend& sink = frontend_as<file_frontend>(frontend());
  auto backend = sink.locked_backend();
  backend->set_file_collector(sinks::file::make_collector(
      keywords::target = target, keywords::max_size = (std::numeric_limits<std::uintmax_t>::max)(),
      keywords::min_free_space = 0,
      keywords::max_files = (std::numeric_limits<std::uintmax_t>::max)()));
  return backend->scan_for_files(sinks::file::scan_matching, update_counter);
}

// ---- Free functions ------------------------------------------------------

// The by-value parameters of add_sink and remove_sink are the public signatures.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
void add_sink(boost::shared_ptr<Sink> sink) {
  boost::shared_ptr<sinks::basic_sink_frontend> frontend = sink ? sink->impl() : nullptr;
  if (!frontend) {
    QORVA_THROW("log: cannot add a null or reset sink.");
  }
  LogState& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  logging::core::get()->add_sink(frontend);
  // Counted only once the core holds the sink, so a record let through always finds it.
  if (std::find(s.frontends.begin(), s.frontends.end(), frontend.get()) == s.frontends.end()) {
    s.frontends.push_back(frontend.get());
    detail::registered_sink_count.store(static_cast<unsigned>(s.frontends.size()),
                                        std::memory_order_release);
  }
}

// NOLINTNEXTLINE(performance-unnecessary-value-param)
void remove_sink(boost::shared_ptr<Sink> sink) {
  boost::shared_ptr<sinks::basic_sink_frontend> frontend = sink ? sink->impl() : nullptr;
  if (!frontend) {
    return;
  }
  LogState& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  auto it = std::find(s.frontends.begin(), s.frontends.end(), frontend.get());
  if (it != s.frontends.end()) {
    s.frontends.erase(it);
    detail::registered_sink_count.store(static_cast<unsigned>(s.frontends.size()),
                                        std::memory_order_release);
  }
  logging::core::get()->remove_sink(frontend);
}

void start_logging(std::string file_name) {
  LogState& s = state();
  if (s.file_sink) {
    return;
  }
  auto sink = boost::make_shared<LogFileSink>(file_name);
  sink->formatter(kFileFormat);
  sink->filter(expr::attr<severity_level>("Severity") >= boost::log::trivial::debug);
  sink->auto_flush(true);
  add_sink(sink);
  s.file_sink = sink;
}

void stop_logging() {
  LogState& s = state();
  if (!s.file_sink) {
    return;
  }
  remove_sink(s.file_sink);
  s.file_sink.reset();
}

void start_console_logging() {
  LogState& s = state();
  if (s.console_sink) {
    return;
  }
  auto sink = boost::make_shared<TextSink>(
      boost::shared_ptr<std::ostream>(&std::clog, boost::null_deleter()));
  sink->formatter(
      expr::stream << expr::attr<boost::posix_time::ptime>("TimeStamp") << " "
                   << expr::attr<logging::attributes::current_thread_id::value_type>("ThreadID")
                   << ": <" << expr::attr<severity_level>("Severity") << "> " << expr::smessage
                   << " - " << scope_list("Scope"));
  add_sink(sink);
  s.console_sink = sink;
}

void stop_console_logging() {
  LogState& s = state();
  if (!s.console_sink) {
    return;
  }
  remove_sink(s.console_sink);
  s.console_sink.reset();
}

void set_filter(const std::string& filter) {
  detail::register_log_factories();
  logging::core::get()->set_filter(logging::parse_filter(filter));
}

void set_filter(const char* filter) { set_filter(text_of(filter)); }

void set_filter(const logging::filter& filter) { logging::core::get()->set_filter(filter); }

}  // namespace qorva_mat
