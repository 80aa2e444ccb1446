// Starts MPI around the Google Test run of the MPI component's tests. Every rank runs every test;
// rank 0 prints the usual report, the other ranks print only their failures, marked with the rank.
#include <gtest/gtest.h>
#include <mpi.h>

#include <iostream>

// MPI unloads its plugins at MPI_Finalize, and the leak checker, which runs at exit, can then
// name neither their frames nor their libraries. Keeping them mapped lets the suppressions in
// mpi_lsan.supp match MPI's own leaks by library while ours are still reported.
extern "C" int dlclose(void*) { return 0; }

namespace {

class RankFailurePrinter : public testing::EmptyTestEventListener {
 public:
  explicit RankFailurePrinter(int rank) : rank_(rank) {}
  void OnTestPartResult(const testing::TestPartResult& result) override {
    if (!result.failed()) return;
    std::cerr << "[rank " << rank_ << "] " << (result.file_name() ? result.file_name() : "?") << ':'
              << result.line_number() << ": " << result.summary() << std::endl;
  }

 private:
  int rank_;
};

}  // namespace

int main(int argc, char** argv) {
  MPI_Init(&argc, &argv);
  testing::InitGoogleTest(&argc, argv);
  int rank = 0;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  if (rank != 0) {
    testing::TestEventListeners& listeners = testing::UnitTest::GetInstance()->listeners();
    delete listeners.Release(listeners.default_result_printer());
    listeners.Append(new RankFailurePrinter(rank));
  }
  const int failed = RUN_ALL_TESTS();
  MPI_Finalize();
  return failed;
}
