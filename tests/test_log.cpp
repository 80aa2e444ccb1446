#include "qorva_mat/log.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include <boost/date_time/posix_time/posix_time.hpp>
#include <boost/log/attributes/current_thread_id.hpp>
#include <boost/log/attributes/named_scope.hpp>
#include <boost/log/exceptions.hpp>
#include <boost/make_shared.hpp>

#include "qorva_mat/error.hpp"
#include "tests/files.hpp"

namespace fs = std::filesystem;

namespace {

const std::regex kFileLine(
    R"(^(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{6}), (0x[0-9a-f]+), (.*)$)");
const std::regex kConsoleLine(
    R"(^\d{4}-[A-Z][a-z]{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{6} (0x[0-9a-f]+): (.*)$)");
const std::regex kStampBar(R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{6}\|(.*)$)");

// Counts what the core and the Sink wrapper do with a frontend.
struct CountingFrontend : boost::log::sinks::basic_sink_frontend {
  CountingFrontend() : basic_sink_frontend(false) {}
  void consume(const boost::log::record_view&) override { ++records; }
  void flush() override { ++flushes; }
  int records = 0, flushes = 0;
};

using qorva_test::read_file;

std::string thread_text() {
  std::ostringstream os;
  os << boost::log::attributes::current_thread_id()
            .get_value()
            .extract_or_throw<boost::log::attributes::current_thread_id::value_type>();
  return os.str();
}

// The lines of `text`, each required to match `prefix`; keeps its last group.
// A second-to-last group, if any, must be the current thread's id.
std::vector<std::string> bodies(const std::string& text, const std::regex& prefix) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    EXPECT_TRUE(std::regex_match(line, m, prefix)) << line;
    if (m.size() > 2) EXPECT_EQ(m[m.size() - 2], thread_text());
    result.push_back(m.empty() ? line : m[m.size() - 1].str());
  }
  return result;
}

std::string scope(const char* name, int line) {
  return std::string(name) + " (" + __FILE__ + " : " + std::to_string(line) + ")";
}

// Every test leaves the core without the library's sinks and with no global filter.
class Log : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_);
    old_clog_ = std::clog.rdbuf(console_.rdbuf());
  }
  void TearDown() override {
    qorva_mat::stop_logging();
    qorva_mat::stop_console_logging();
    for (auto& sink : added_) qorva_mat::remove_sink(sink);
    boost::log::core::get()->reset_filter();
    std::clog.rdbuf(old_clog_);
    fs::remove_all(dir_);
  }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  template <class S>
  boost::shared_ptr<S> add(boost::shared_ptr<S> sink, const char* format) {
    sink->formatter(format);
    qorva_mat::add_sink(sink);
    added_.push_back(sink);
    return sink;
  }

  fs::path dir_ = fs::temp_directory_path() / ("qorva_log_" + std::to_string(::getpid()));
  std::ostringstream console_;
  std::streambuf* old_clog_ = nullptr;
  boost::shared_ptr<std::ostringstream> out_ = boost::make_shared<std::ostringstream>();
  std::vector<boost::shared_ptr<qorva_mat::Sink>> added_;
};

TEST_F(Log, FileLinesCarryLocalTimeThreadAndSeverityFromDebugUp) {
  const auto before = boost::posix_time::microsec_clock::local_time();
  qorva_mat::start_logging(path("run.log"));
  QORVA_LOG(trace) << "hidden";
  QORVA_LOG(debug) << "step " << 1;
  QORVA_LOG(warning) << "careful";
  const auto after = boost::posix_time::microsec_clock::local_time();
  const std::string text = read_file(path("run.log"));  // auto-flushed while still open
  EXPECT_EQ(bodies(text, kFileLine),
            (std::vector<std::string>{"debug: step 1", "warning: careful"}));
  const auto stamp = boost::posix_time::time_from_string(text.substr(0, 26));
  EXPECT_TRUE(before <= stamp && stamp <= after) << text;
}

TEST_F(Log, FileLoggingAppendsAndKeepsItsFirstFileUntilStopped) {
  std::ofstream(path("a.log")) << "2000-01-01 00:00:00.000000, " << thread_text()
                               << ", earlier run\n";
  qorva_mat::start_logging(path("a.log"));
  qorva_mat::start_logging(path("b.log"));
  QORVA_LOG(info) << "one";
  qorva_mat::stop_logging();
  qorva_mat::stop_logging();
  QORVA_LOG(info) << "while off";
  qorva_mat::start_logging(path("b.log"));
  QORVA_LOG(info) << "two";
  qorva_mat::stop_logging();
  EXPECT_EQ(bodies(read_file(path("a.log")), kFileLine),
            (std::vector<std::string>{"earlier run", "info: one"}));
  EXPECT_EQ(bodies(read_file(path("b.log")), kFileLine), std::vector<std::string>{"info: two"});
}

TEST_F(Log, ConsoleShowsTraceWithScopesAndGlobalFilterAppliesToEverySink) {
  qorva_mat::start_console_logging();
  qorva_mat::start_console_logging();  // still one sink: each record once
  qorva_mat::start_logging(path("run.log"));
  int outer = 0, inner = 0;
  {
    BOOST_LOG_NAMED_SCOPE("outer");
    outer = __LINE__ - 1;  // the line of the scope above
    BOOST_LOG_NAMED_SCOPE("inner");
    inner = __LINE__ - 1;  // the line of the scope above
    QORVA_LOG(trace) << "deep";
  }
  QORVA_LOG(info) << "flat";
  qorva_mat::set_filter("%Severity% >= warning");
  QORVA_LOG(info) << "dropped";
  QORVA_LOG(error) << "kept";
  qorva_mat::stop_console_logging();
  QORVA_LOG(error) << "file only";
  EXPECT_EQ(bodies(console_.str(), kConsoleLine),
            (std::vector<std::string>{
                "<trace> deep - " + scope("outer", outer) + "->" + scope("inner", inner),
                "<info> flat - ", "<error> kept - "}));
  EXPECT_EQ(bodies(read_file(path("run.log")), kFileLine),
            (std::vector<std::string>{"info: flat", "error: kept", "error: file only"}));
}

TEST_F(Log, FormatAndFilterTextsUseTheLibraryFactories) {
  auto sink = add(boost::make_shared<qorva_mat::TextSink>(out_),
                  "%TimeStamp(format=\"%H\")%|%Severity%|%Scope%|%Message%");
  QORVA_LOG(info) << "none";
  int line = 0;
  {
    BOOST_LOG_NAMED_SCOPE("only");
    line = __LINE__ - 1;  // the line of the scope above
    QORVA_LOG(warning) << "scoped";
  }
  sink->filter("%Severity% = error");
  QORVA_LOG(warning) << "filtered";
  QORVA_LOG(error) << "passed";
  EXPECT_EQ(bodies(out_->str(), kStampBar),
            (std::vector<std::string>{"info||none", "warning|" + scope("only", line) + "|scoped",
                                      "error||passed"}));
  out_->str("");
  sink->reset_filter();
  sink->reset_formatter();
  QORVA_LOG(debug) << "plain";
  EXPECT_EQ(out_->str(), "plain\n");
  EXPECT_THROW(qorva_mat::set_filter("%Severity% >="), boost::log::parse_error);
  EXPECT_THROW(sink->formatter("%Message"), boost::log::parse_error);
  EXPECT_THROW(sink->filter(static_cast<const char*>(nullptr)), qorva_mat::runtime_error);
}

TEST_F(Log, RecordsEnterTheCoreOnlyThroughSinksRegisteredWithTheLibrary) {
  auto frontend = boost::make_shared<CountingFrontend>();
  boost::log::core::get()->add_sink(frontend);  // a host sink the library does not know
  int evaluated = 0;
  auto text = [&] { return ++evaluated; };
  QORVA_LOG(error) << text();
  auto sink = boost::make_shared<qorva_mat::Sink>(frontend);
  qorva_mat::add_sink(sink);
  qorva_mat::add_sink(sink);  // the core keeps it once
  QORVA_LOG(error) << text();
  qorva_mat::remove_sink(sink);
  QORVA_LOG(error) << text();
  EXPECT_EQ(frontend->records, 1);
  EXPECT_EQ(evaluated, 1);
  EXPECT_THROW(qorva_mat::add_sink(nullptr), qorva_mat::runtime_error);
  sink->reset();
  EXPECT_THROW(qorva_mat::add_sink(sink), qorva_mat::runtime_error);
}

TEST(Sink, FlushesOnDestructionOnlyWhileItHoldsTheFrontend) {
  auto frontend = boost::make_shared<CountingFrontend>();
  {
    qorva_mat::Sink first(frontend);
    qorva_mat::Sink copy(first);
  }
  EXPECT_EQ(frontend->flushes, 2);
  {
    qorva_mat::Sink sink(frontend);
    sink.reset();
    sink.reset();
    EXPECT_FALSE(sink.impl());
    EXPECT_THROW(sink.reset_filter(), qorva_mat::runtime_error);
  }
  EXPECT_EQ(frontend->flushes, 3);
}

TEST_F(Log, FileSinkRotatesBySizeAndScanningContinuesTheCounter) {
  const std::string pattern = path("part_%N.log");
  auto sink = add(boost::make_shared<qorva_mat::LogFileSink>(pattern), "%Message%");
  sink->rotation_size(100);
  std::string written;
  for (char c = 'a'; c < 'f'; ++c) {
    QORVA_LOG(info) << std::string(60, c);
    written += std::string(60, c) + "\n";
  }
  qorva_mat::remove_sink(sink);
  sink->reset();  // flushes and drops the last reference to the frontend: closes the file
  const auto files = static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), {}));
  ASSERT_GE(files, 2u);
  std::string joined;
  for (std::size_t i = 0; i < files; ++i)
    joined += read_file(path("part_" + std::to_string(i) + ".log"));
  EXPECT_EQ(joined, written);

  auto next = add(boost::make_shared<qorva_mat::LogFileSink>(pattern), "%Message%");
  EXPECT_EQ(next->scan_for_files(dir_.string(), true), files);
  EXPECT_THROW(next->rotation_interval(boost::posix_time::milliseconds(500)),
               qorva_mat::assertion_error);
  QORVA_LOG(info) << "after scan";
  next->flush();
  EXPECT_EQ(read_file(path("part_" + std::to_string(files) + ".log")), "after scan\n");
}

TEST_F(Log, ConcurrentRecordsArriveWholeAndOnce) {
  qorva_mat::start_logging(path("threads.log"));
  constexpr int kThreads = 8, kRecords = 1000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kRecords; ++i)
        QORVA_LOG(info) << "t=" << t << " i=" << i << ' ' << std::string(80, 'x');
    });
  }
  for (auto& thread : threads) thread.join();
  const std::regex line(R"(^\S+ \S+, (0x[0-9a-f]+), info: t=(\d+) i=(\d+) x{80}$)");
  std::set<std::pair<int, int>> seen;
  std::map<int, std::set<std::string>> ids;  // writer thread -> thread ids in its lines
  std::istringstream in(read_file(path("threads.log")));
  for (std::string text; std::getline(in, text);) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(text, m, line)) << text;
    EXPECT_TRUE(seen.emplace(std::stoi(m[2]), std::stoi(m[3])).second) << text;
    ids[std::stoi(m[2])].insert(m[1]);
  }
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kRecords));
  for (const auto& [t, set] : ids) EXPECT_EQ(set.size(), 1u) << "thread " << t;
}

// Runs the helper program in `mode`; returns "<exit status>|<stdout>|<stderr>".
std::string run_host(const std::string& mode) {
  const fs::path exe = fs::read_symlink("/proc/self/exe").parent_path() / "proc_log";
  const fs::path out =
      fs::temp_directory_path() / ("qorva_proc_" + std::to_string(::getpid()) + ".out");
  const fs::path err = fs::path(out).replace_extension(".err");
  const int status = std::system(
      ("'" + exe.string() + "' " + mode + " >'" + out.string() + "' 2>'" + err.string() + "'")
          .c_str());
  const std::string result = std::to_string(status) + "|" + read_file(out) + "|" + read_file(err);
  fs::remove(out);
  fs::remove(err);
  return result;
}

TEST(LogHost, LibraryStaysSilentUntilASinkIsRegisteredAndNeverUsesStdout) {
  EXPECT_EQ(run_host("silent"), "0||");
  const std::string host_default =
      run_host("host-default");  // Boost's default sink still serves the host
  EXPECT_TRUE(std::regex_match(host_default, std::regex(R"(0\|\[[^\n]*\] +host record\n\|)")))
      << host_default;
  EXPECT_EQ(run_host("host-sink"),
            "0||host record\nlibrary trace\nlibrary debug\nlibrary info\nlibrary warning\nlibrary "
            "error\n");
  const std::string console = run_host("console");
  EXPECT_TRUE(std::regex_match(
      console, std::regex(R"(0\|\|(\S+ \S+ 0x[0-9a-f]+: <\w+> library \w+ - \n){5})")))
      << console;
}

}  // namespace
