// Cost of a QORVA_LOG statement: with no sink registered (the loaders' and queries' usual
// case), with a registered sink whose filter rejects the record, and with a record that is
// formatted and written to a discarding stream. Run with 1 and 4 threads to see contention.
#include <benchmark/benchmark.h>

#include <ostream>

#include <boost/make_shared.hpp>

#include "qorva_mat/log.hpp"

namespace {

// A stream that discards everything written to it.
struct NullBuffer : std::streambuf {
  int overflow(int c) override { return c; }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// Registers a text sink on a discarding stream for the lifetime of the object.
class DiscardingSink {
 public:
  explicit DiscardingSink(const char* filter) {
    sink_->formatter("%TimeStamp%, %ThreadID%, %Severity%: %Message%");
    sink_->filter(filter);
    qorva_mat::add_sink(sink_);
  }
  ~DiscardingSink() { qorva_mat::remove_sink(sink_); }

 private:
  NullBuffer buffer_;
  boost::shared_ptr<std::ostream> stream_ = boost::make_shared<std::ostream>(&buffer_);
  boost::shared_ptr<qorva_mat::TextSink> sink_ = boost::make_shared<qorva_mat::TextSink>(stream_);
};

void BM_RecordWithoutSinks(benchmark::State& state) {
  int i = 0;
  for (auto _ : state) QORVA_LOG(debug) << "query " << ++i;
}
BENCHMARK(BM_RecordWithoutSinks)->Threads(1)->Threads(4);

void BM_RecordRejectedBySinkFilter(benchmark::State& state) {
  static DiscardingSink* sink = nullptr;
  if (state.thread_index() == 0) sink = new DiscardingSink("%Severity% >= error");
  int i = 0;
  for (auto _ : state) QORVA_LOG(debug) << "query " << ++i;
  if (state.thread_index() == 0) delete sink;
}
BENCHMARK(BM_RecordRejectedBySinkFilter)->Threads(1)->Threads(4);

void BM_RecordFormattedAndWritten(benchmark::State& state) {
  static DiscardingSink* sink = nullptr;
  if (state.thread_index() == 0) sink = new DiscardingSink("%Severity% >= trace");
  int i = 0;
  for (auto _ : state) QORVA_LOG(info) << "query " << ++i;
  if (state.thread_index() == 0) delete sink;
}
BENCHMARK(BM_RecordFormattedAndWritten)->Threads(1)->Threads(4);

}  // namespace

BENCHMARK_MAIN();
