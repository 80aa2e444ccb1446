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

namespace fs = std::filesystem;

namespace {

const std::regex kFileLine(R"(^(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{6}), (0x[0-9a-f]+), (\w+): (.*)$)");
const std::regex kStampPrefix(R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{6}\|)");

// Counts what the core and the Sink wrapper do with a frontend.
struct CountingFrontend : boost::log::sinks::basic_sink_frontend {
  CountingFrontend() : basic_sink_frontend(false) {}
  void consume(const boost::log::record_view&) override { ++records; }
  void flush() override { ++flushes; }
  int records = 0;
  int flushes = 0;
};

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string current_thread_text() {
  using id_type = boost::log::attributes::current_thread_id::value_type;
  std::ostringstream os;
  os << boost::log::attributes::current_thread_id().get_value().extract_or_throw<id_type>();
  return os.str();
}

std::string scope_text(const char* name, int line) {
  return std::string(name) + " (" + __FILE__ + " : " + std::to_string(line) + ")";
}

// Every test leaves the core without the library's sinks and with no global filter.
class Log : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("qorva_log_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
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
  boost::shared_ptr<qorva_mat::TextSink> text_sink(const char* format) {
    auto sink = boost::make_shared<qorva_mat::TextSink>(out_);
    sink->formatter(format);
    qorva_mat::add_sink(sink);
    added_.push_back(sink);
    return sink;
  }

  fs::path dir_;
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

  const auto lines = lines_of(read_file(path("run.log")));  // auto-flushed, still open
  ASSERT_EQ(lines.size(), 2u);
  const std::vector<std::pair<std::string, std::string>> expected = {{"debug", "step 1"}, {"warning", "careful"}};
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[i], m, kFileLine)) << lines[i];
    const auto stamp = boost::posix_time::time_from_string(m[1]);
    EXPECT_TRUE(before <= stamp && stamp <= after) << m[1];
    EXPECT_EQ(m[2], current_thread_text());
    EXPECT_EQ(m[3], expected[i].first);
    EXPECT_EQ(m[4], expected[i].second);
  }
}

TEST_F(Log, FileLoggingAppendsAndKeepsItsFirstFileUntilStopped) {
  std::ofstream(path("a.log")) << "earlier run\n";
  qorva_mat::start_logging(path("a.log"));
  qorva_mat::start_logging(path("b.log"));
  QORVA_LOG(info) << "one";
  qorva_mat::stop_logging();
  qorva_mat::stop_logging();
  QORVA_LOG(info) << "while off";
  qorva_mat::start_logging(path("b.log"));
  QORVA_LOG(info) << "two";
  qorva_mat::stop_logging();

  const auto a = lines_of(read_file(path("a.log")));
  ASSERT_EQ(a.size(), 2u);
  EXPECT_EQ(a[0], "earlier run");
  EXPECT_TRUE(std::regex_search(a[1], std::regex(", info: one$")));
  const auto b = lines_of(read_file(path("b.log")));
  ASSERT_EQ(b.size(), 1u);
  EXPECT_TRUE(std::regex_search(b[0], std::regex(", info: two$")));
}

TEST_F(Log, ConsoleShowsTraceWithScopesAndGlobalFilterAppliesToEverySink) {
  qorva_mat::start_console_logging();
  qorva_mat::start_console_logging();  // still one sink: each record once
  qorva_mat::start_logging(path("run.log"));
  int outer = 0, inner = 0;
  {
    BOOST_LOG_NAMED_SCOPE("outer"); outer = __LINE__;
    BOOST_LOG_NAMED_SCOPE("inner"); inner = __LINE__;
    QORVA_LOG(trace) << "deep";
  }
  QORVA_LOG(info) << "flat";
  qorva_mat::set_filter("%Severity% >= warning");
  QORVA_LOG(info) << "dropped";
  QORVA_LOG(error) << "kept";
  qorva_mat::stop_console_logging();
  QORVA_LOG(error) << "file only";

  const std::regex console_line(R"(^\d{4}-[A-Z][a-z]{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{6} (0x[0-9a-f]+): (.*)$)");
  const auto lines = lines_of(console_.str());
  const std::vector<std::string> expected = {
      "<trace> deep - " + scope_text("outer", outer) + "->" + scope_text("inner", inner), "<info> flat - ",
      "<error> kept - "};
  ASSERT_EQ(lines.size(), expected.size()) << console_.str();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[i], m, console_line)) << lines[i];
    EXPECT_EQ(m[1], current_thread_text());
    EXPECT_EQ(m[2], expected[i]);
  }
  const auto file = lines_of(read_file(path("run.log")));
  ASSERT_EQ(file.size(), 3u);
  EXPECT_TRUE(std::regex_search(file[0], std::regex(", info: flat$")));
  EXPECT_TRUE(std::regex_search(file[1], std::regex(", error: kept$")));
  EXPECT_TRUE(std::regex_search(file[2], std::regex(", error: file only$")));
}

TEST_F(Log, FormatAndFilterTextsUseTheLibraryFactories) {
  auto sink = text_sink("%TimeStamp(format=\"%H\")%|%Severity%|%Scope%|%Message%");
  QORVA_LOG(info) << "none";
  int line = 0;
  {
    BOOST_LOG_NAMED_SCOPE("only"); line = __LINE__;
    QORVA_LOG(warning) << "scoped";
  }
  sink->filter("%Severity% = error");
  QORVA_LOG(warning) << "filtered";
  QORVA_LOG(error) << "passed";
  sink->reset_filter();
  sink->reset_formatter();
  QORVA_LOG(debug) << "plain";

  const auto lines = lines_of(out_->str());
  ASSERT_EQ(lines.size(), 4u) << out_->str();
  const std::vector<std::string> expected = {"info||none", "warning|" + scope_text("only", line) + "|scoped",
                                             "error||passed"};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    std::smatch m;
    ASSERT_TRUE(std::regex_search(lines[i], m, kStampPrefix)) << lines[i];
    EXPECT_EQ(m.suffix().str(), expected[i]);
  }
  EXPECT_EQ(lines[3], "plain");

  EXPECT_THROW(qorva_mat::set_filter("%Severity% >="), boost::log::parse_error);
  EXPECT_THROW(sink->formatter("%Message"), boost::log::parse_error);
  EXPECT_THROW(sink->filter(static_cast<const char*>(nullptr)), qorva_mat::runtime_error);
}

TEST_F(Log, RecordsEnterTheCoreOnlyThroughSinksRegisteredWithTheLibrary) {
  auto frontend = boost::make_shared<CountingFrontend>();
  boost::log::core::get()->add_sink(frontend);  // a host sink the library does not know
  int evaluated = 0;
  auto text = [&] { ++evaluated; return "x"; };
  QORVA_LOG(error) << text();
  EXPECT_EQ(frontend->records, 0);
  EXPECT_EQ(evaluated, 0);

  auto sink = boost::make_shared<qorva_mat::Sink>(frontend);
  qorva_mat::add_sink(sink);
  qorva_mat::add_sink(sink);
  QORVA_LOG(error) << text();
  EXPECT_EQ(frontend->records, 1);
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
    EXPECT_EQ(copy.impl(), first.impl());
  }
  EXPECT_EQ(frontend->flushes, 2);
  {
    qorva_mat::Sink sink(frontend);
    sink.reset();
    sink.reset();
    EXPECT_EQ(frontend->flushes, 3);
    EXPECT_FALSE(sink.impl());
    try {
      sink.reset_filter();
      FAIL() << "an inert sink accepted a filter";
    } catch (const qorva_mat::runtime_error& e) {
      EXPECT_STREQ(e.what(), "log: the sink has been reset.");
    }
  }
  EXPECT_EQ(frontend->flushes, 3);
}

TEST_F(Log, FileSinkRotatesBySizeAndScanningContinuesTheCounter) {
  const std::string pattern = path("part_%N.log");
  auto sink = boost::make_shared<qorva_mat::LogFileSink>(pattern);
  sink->formatter("%Message%");
  sink->rotation_size(100);
  qorva_mat::add_sink(sink);
  std::string written;
  for (char c = 'a'; c < 'f'; ++c) {
    QORVA_LOG(info) << std::string(60, c);
    written += std::string(60, c) + "\n";
  }
  qorva_mat::remove_sink(sink);
  sink.reset();  // closes the last file

  std::map<std::string, std::string> parts;
  for (const auto& entry : fs::directory_iterator(dir_)) parts[entry.path().filename()] = read_file(entry.path());
  ASSERT_GE(parts.size(), 2u);
  std::string joined;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const std::string& part = parts["part_" + std::to_string(i) + ".log"];
    EXPECT_LE(part.size(), 100u);
    joined += part;
  }
  EXPECT_EQ(joined, written);

  auto next = boost::make_shared<qorva_mat::LogFileSink>(pattern);
  next->formatter("%Message%");
  EXPECT_EQ(next->scan_for_files(dir_.string(), true), parts.size());
  EXPECT_THROW(next->rotation_interval(boost::posix_time::milliseconds(500)), qorva_mat::assertion_error);
  EXPECT_NO_THROW(next->rotation_interval(boost::posix_time::hours(1)));
  qorva_mat::add_sink(next);
  QORVA_LOG(info) << "after scan";
  qorva_mat::remove_sink(next);
  next.reset();
  EXPECT_EQ(read_file(path("part_" + std::to_string(parts.size()) + ".log")), "after scan\n");
}

TEST_F(Log, ConcurrentRecordsArriveWholeAndOnce) {
  qorva_mat::start_logging(path("threads.log"));
  constexpr int kThreads = 8, kRecords = 1000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kRecords; ++i) QORVA_LOG(info) << "t=" << t << " i=" << i << ' ' << std::string(80, 'x');
    });
  }
  for (auto& thread : threads) thread.join();

  const std::regex message(R"(^t=(\d+) i=(\d+) x{80}$)");
  std::set<std::pair<int, int>> seen;
  std::map<int, std::set<std::string>> ids;
  for (const auto& line : lines_of(read_file(path("threads.log")))) {
    std::smatch m, n;
    ASSERT_TRUE(std::regex_match(line, m, kFileLine)) << line;
    const std::string text = m[4];
    ASSERT_TRUE(std::regex_match(text, n, message)) << line;
    EXPECT_TRUE(seen.emplace(std::stoi(n[1]), std::stoi(n[2])).second) << line;
    ids[std::stoi(n[1])].insert(m[2]);
  }
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kRecords));
  std::set<std::string> distinct;
  for (const auto& [t, set] : ids) {
    EXPECT_EQ(set.size(), 1u) << "thread " << t;
    distinct.insert(set.begin(), set.end());
  }
  EXPECT_EQ(distinct.size(), static_cast<std::size_t>(kThreads));
}

// Runs the helper program in `mode`; returns {exit status, stdout, stderr}.
std::tuple<int, std::string, std::string> run_host(const std::string& mode) {
  const fs::path exe = fs::read_symlink("/proc/self/exe").parent_path() / "proc_log";
  const fs::path out = fs::temp_directory_path() / ("qorva_proc_" + std::to_string(::getpid()) + ".out");
  const fs::path err = fs::path(out).replace_extension(".err");
  const std::string command = "'" + exe.string() + "' " + mode + " >'" + out.string() + "' 2>'" + err.string() + "'";
  const int status = std::system(command.c_str());
  auto result = std::make_tuple(status, read_file(out), read_file(err));
  fs::remove(out);
  fs::remove(err);
  return result;
}

TEST(LogHost, UnconfiguredHostSeesNothingAndKeepsItsOwnDefaultOutput) {
  auto [status, out, err] = run_host("silent");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out, "");
  EXPECT_EQ(err, "");

  std::tie(status, out, err) = run_host("host-default");
  EXPECT_EQ(status, 0);
  EXPECT_NE(out.find("host record"), std::string::npos);
  EXPECT_EQ(out.find("library"), std::string::npos) << out;
  EXPECT_EQ(err, "");
}

TEST(LogHost, HostSinksGetLibraryRecordsOnceRegisteredAndConsoleUsesStderr) {
  auto [status, out, err] = run_host("host-sink");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out, "");
  EXPECT_EQ(err, "host record\nlibrary trace\nlibrary debug\nlibrary info\nlibrary warning\nlibrary error\n");

  std::tie(status, out, err) = run_host("console");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out, "");
  EXPECT_EQ(lines_of(err).size(), 5u) << err;
  EXPECT_NE(err.find(": <warning> library warning - \n"), std::string::npos) << err;
}

}  // namespace
