// Start-up cost of materials in an MPI job: the file read once on rank 0 and broadcast
// (load_materials_bcast, load_materials_hdf5_bcast) against every rank reading it itself.
// Usage: mpirun -np N mpi_load_bench [--copies K] [--repeat R] [--header]
// Rank 0 writes a Matbook file and an HDF5 store of K copies of the example materials into a
// temporary folder. For each way of loading, prints the opens of that file and the bytes read
// from it, summed over all ranks, and the load time of the slowest rank (median of R runs).
// Opens and bytes are counted inside each process: this program defines open/openat/fopen/read/
// pread/close, which the libraries' calls reach first, and counts the calls on descriptors of the
// measured file; rchar (bytes of all read calls, /proc/self/io) is printed alongside. A last line
// times a bare MPI_Bcast of the Matbook file's size, the broadcast's share of the load.
#include <dlfcn.h>
#include <fcntl.h>
#include <mpi.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "qorva_mat/load_hdf5.hpp"
#include "qorva_mat/load_matbook.hpp"
#include "qorva_mat/mpi/load_bcast.hpp"
#include "qorva_mat/write_hdf5.hpp"
#include "qorva_mat/write_matbook.hpp"

namespace {

// ---- counting the file system calls on one file ----
constexpr int kMaxFd = 1 << 16;
std::atomic<bool> tracked[kMaxFd];
std::atomic<bool> counting{false};
std::atomic<long long> opens{0};
std::atomic<long long> bytes_read{0};
char measured[4096];  // the path whose opens and reads are counted

template <class F>
F real(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

void note_open(const char* path, int fd) {
  if (fd < 0 || fd >= kMaxFd || !counting || !path || std::strcmp(path, measured) != 0) return;
  ++opens;
  tracked[fd] = true;
}

void note_read(int fd, long long got) {
  if (got > 0 && fd >= 0 && fd < kMaxFd && tracked[fd]) bytes_read += got;
}

int open_mode(int flags, va_list args) {
  return (flags & (O_CREAT | O_TMPFILE)) ? va_arg(args, int) : 0;
}

}  // namespace

extern "C" {

#define QORVA_COUNTING_OPEN(name)                                         \
  int name(const char* path, int flags, ...) {                            \
    static const auto next = real<int (*)(const char*, int, ...)>(#name); \
    va_list args;                                                         \
    va_start(args, flags);                                                \
    const int fd = next(path, flags, open_mode(flags, args));             \
    va_end(args);                                                         \
    note_open(path, fd);                                                  \
    return fd;                                                            \
  }
QORVA_COUNTING_OPEN(open)
QORVA_COUNTING_OPEN(open64)

#define QORVA_COUNTING_OPENAT(name)                                            \
  int name(int dir, const char* path, int flags, ...) {                        \
    static const auto next = real<int (*)(int, const char*, int, ...)>(#name); \
    va_list args;                                                              \
    va_start(args, flags);                                                     \
    const int fd = next(dir, path, flags, open_mode(flags, args));             \
    va_end(args);                                                              \
    note_open(path, fd);                                                       \
    return fd;                                                                 \
  }
QORVA_COUNTING_OPENAT(openat)
QORVA_COUNTING_OPENAT(openat64)

FILE* fopen(const char* path, const char* mode) {
  static const auto next = real<FILE* (*)(const char*, const char*)>("fopen");
  FILE* file = next(path, mode);
  if (file) note_open(path, fileno(file));
  return file;
}
FILE* fopen64(const char* path, const char* mode) {
  static const auto next = real<FILE* (*)(const char*, const char*)>("fopen64");
  FILE* file = next(path, mode);
  if (file) note_open(path, fileno(file));
  return file;
}

ssize_t read(int fd, void* buffer, size_t size) {
  static const auto next = real<ssize_t (*)(int, void*, size_t)>("read");
  const ssize_t got = next(fd, buffer, size);
  note_read(fd, got);
  return got;
}
ssize_t pread(int fd, void* buffer, size_t size, off_t at) {
  static const auto next = real<ssize_t (*)(int, void*, size_t, off_t)>("pread");
  const ssize_t got = next(fd, buffer, size, at);
  note_read(fd, got);
  return got;
}
ssize_t pread64(int fd, void* buffer, size_t size, off_t at) {
  static const auto next = real<ssize_t (*)(int, void*, size_t, off_t)>("pread64");
  const ssize_t got = next(fd, buffer, size, at);
  note_read(fd, got);
  return got;
}
// fclose closes its descriptor inside libc, past close() above.
int fclose(FILE* file) {
  static const auto next = real<int (*)(FILE*)>("fclose");
  const int fd = file ? fileno(file) : -1;
  if (fd >= 0 && fd < kMaxFd) tracked[fd] = false;
  return next(file);
}
int close(int fd) {
  static const auto next = real<int (*)(int)>("close");
  if (fd >= 0 && fd < kMaxFd) tracked[fd] = false;
  return next(fd);
}

}  // extern "C"

namespace {

using materials_t = std::vector<std::shared_ptr<qorva_mat::Material>>;

long long rchar() {
  std::ifstream io("/proc/self/io");
  std::string key;
  long long value = 0;
  while (io >> key >> value) {
    if (key == "rchar:") return value;
  }
  return -1;
}

struct Files {
  std::string folder, matbook, store;
  long long matbook_size = 0, store_size = 0;
};

// Rank 0 writes `copies` renamed copies of the example materials as a Matbook file and a store.
Files make_files(int copies, int rank) {
  Files files;
  if (rank == 0) {
    char folder[] = "/tmp/qorva_mpi_bench_XXXXXX";
    if (!mkdtemp(folder)) std::abort();
    files.folder = folder;
    files.matbook = files.folder + "/materials.xml";
    files.store = files.folder + "/materials.h5";
    materials_t example;
    qorva_mat::load_materials(std::string(QORVA_EXAMPLES_DIR) + "/ud_carbon_epoxy.xml", example,
                              qorva_mat::make_unit_system("MPA"));
    materials_t many;
    for (int i = 0; i < copies; ++i) {
      for (const auto& material : example) {
        auto copy = std::make_shared<qorva_mat::Material>(*material);
        copy->name(material->name() + " #" + std::to_string(i));
        many.push_back(copy);
      }
    }
    qorva_mat::write_materials(files.matbook, many, qorva_mat::make_unit_system("MPA"));
    qorva_mat::write_materials_hdf5(files.store, many);
    std::ifstream a(files.matbook, std::ios::binary | std::ios::ate),
        b(files.store, std::ios::binary | std::ios::ate);
    files.matbook_size = a.tellg();
    files.store_size = b.tellg();
  }
  for (std::string* text : {&files.folder, &files.matbook, &files.store}) {
    unsigned long long size = text->size();
    MPI_Bcast(&size, 1, MPI_UNSIGNED_LONG_LONG, 0, MPI_COMM_WORLD);
    text->resize(size);
    MPI_Bcast(&(*text)[0], static_cast<int>(size), MPI_CHAR, 0, MPI_COMM_WORLD);
  }
  MPI_Bcast(&files.matbook_size, 1, MPI_LONG_LONG, 0, MPI_COMM_WORLD);
  MPI_Bcast(&files.store_size, 1, MPI_LONG_LONG, 0, MPI_COMM_WORLD);
  return files;
}

struct Way {
  const char* name;
  const std::string* file;
  long long size;
  std::function<void(const std::string& path, materials_t&)> load;
};

// One way of loading, `repeat` times: prints ranks, way, file size, opens and bytes summed over
// the ranks, rchar summed, and the slowest rank's time (median over the runs).
void measure(const Way& way, int repeat, int rank, int ranks) {
  std::vector<double> slowest;
  long long counts[3] = {0, 0, 0};  // opens, bytes, rchar of the first run
  for (int run = 0; run < repeat; ++run) {
    materials_t materials;
    std::snprintf(measured, sizeof measured, "%s", way.file->c_str());
    opens = 0;
    bytes_read = 0;
    for (auto& fd : tracked) fd = false;
    const long long rchar_before = rchar();
    MPI_Barrier(MPI_COMM_WORLD);
    counting = true;
    const double start = MPI_Wtime();
    way.load(*way.file, materials);
    double seconds = MPI_Wtime() - start;
    counting = false;
    const long long rchar_after = rchar();
    if (materials.empty()) std::abort();
    if (run == 0) {
      long long mine[3] = {opens.load(), bytes_read.load(), rchar_after - rchar_before};
      MPI_Reduce(mine, counts, 3, MPI_LONG_LONG, MPI_SUM, 0, MPI_COMM_WORLD);
    }
    MPI_Allreduce(MPI_IN_PLACE, &seconds, 1, MPI_DOUBLE, MPI_MAX, MPI_COMM_WORLD);
    slowest.push_back(seconds);
  }
  std::sort(slowest.begin(), slowest.end());
  if (rank == 0) {
    std::printf("%5d  %-22s %10lld %7lld %12lld %12lld %10.2f\n", ranks, way.name, way.size,
                counts[0], counts[1], counts[2], 1e3 * slowest[slowest.size() / 2]);
  }
}

// The broadcast's own share: MPI_Bcast of as many bytes as the Matbook file holds, one piece as
// load_materials_bcast sends it, timed like the loads (slowest rank, median).
void bcast_alone(long long size, int repeat, int rank, int ranks) {
  std::vector<char> bytes(static_cast<std::size_t>(size), 'x');
  std::vector<double> slowest;
  for (int run = 0; run < repeat; ++run) {
    MPI_Barrier(MPI_COMM_WORLD);
    const double start = MPI_Wtime();
    MPI_Bcast(bytes.data(), static_cast<int>(size), MPI_BYTE, 0, MPI_COMM_WORLD);
    double seconds = MPI_Wtime() - start;
    MPI_Allreduce(MPI_IN_PLACE, &seconds, 1, MPI_DOUBLE, MPI_MAX, MPI_COMM_WORLD);
    slowest.push_back(seconds);
  }
  std::sort(slowest.begin(), slowest.end());
  if (rank == 0) {
    std::printf("%5d  %-22s %10lld %7s %12s %12s %10.2f\n", ranks, "MPI_Bcast of the bytes", size,
                "-", "-", "-", 1e3 * slowest[slowest.size() / 2]);
  }
}

}  // namespace

int main(int argc, char** argv) {
  MPI_Init(&argc, &argv);
  int rank = 0, ranks = 0;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  MPI_Comm_size(MPI_COMM_WORLD, &ranks);
  int copies = 100, repeat = 5;
  bool header = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--copies" && i + 1 < argc)
      copies = std::atoi(argv[++i]);
    else if (arg == "--repeat" && i + 1 < argc)
      repeat = std::max(1, std::atoi(argv[++i]));
    else if (arg == "--header")
      header = true;
  }
  const Files files = make_files(copies, rank);
  const auto mpa = [] { return qorva_mat::make_unit_system("MPA"); };
  const std::vector<Way> ways{
      {"matbook/every-rank", &files.matbook, files.matbook_size,
       [&](const std::string& path, materials_t& m) { qorva_mat::load_materials(path, m, mpa()); }},
      {"matbook/bcast", &files.matbook, files.matbook_size,
       [&](const std::string& path, materials_t& m) {
         qorva_mat::load_materials_bcast(MPI_COMM_WORLD, rank == 0 ? path : std::string(), m,
                                         mpa());
       }},
      {"store/every-rank", &files.store, files.store_size,
       [&](const std::string& path, materials_t& m) { qorva_mat::load_materials_hdf5(path, m); }},
      {"store/bcast", &files.store, files.store_size,
       [&](const std::string& path, materials_t& m) {
         qorva_mat::load_materials_hdf5_bcast(MPI_COMM_WORLD, rank == 0 ? path : std::string(), m);
       }},
  };
  if (header && rank == 0) {
    std::printf("%5s  %-22s %10s %7s %12s %12s %10s\n", "ranks", "load", "file B", "opens",
                "file B read", "rchar B", "time ms");
  }
  for (const Way& way : ways) measure(way, repeat, rank, ranks);
  bcast_alone(files.matbook_size, repeat, rank, ranks);
  MPI_Barrier(MPI_COMM_WORLD);
  if (rank == 0) {
    std::remove(files.matbook.c_str());
    std::remove(files.store.c_str());
    rmdir(files.folder.c_str());
  }
  MPI_Finalize();
  return 0;
}
