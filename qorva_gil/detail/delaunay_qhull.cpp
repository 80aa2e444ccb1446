// Delaunay triangulation through libqhull_r, the reentrant Qhull C library.
#include <cstdio>
#include <cstdlib>

#include "qorva_gil/detail/triangulation.hpp"

extern "C" {
#include <libqhull_r/qhull_ra.h>
}

namespace qorva_gil {
namespace detail {
namespace {

// Text written to a memory stream, so Qhull's error report can enter a message.
class MemoryStream {
 public:
  MemoryStream() : file_(open_memstream(&buffer_, &size_)) {}
  ~MemoryStream() {
    if (file_) std::fclose(file_);
    std::free(buffer_);
  }
  MemoryStream(const MemoryStream&) = delete;
  MemoryStream& operator=(const MemoryStream&) = delete;
  FILE* file() const { return file_; }
  std::string text() {
    if (!file_) return {};
    std::fflush(file_);
    return std::string(buffer_, size_);
  }

 private:
  char* buffer_ = nullptr;
  std::size_t size_ = 0;
  FILE* file_;
};

// First line of Qhull's report that names the problem.
std::string qhull_reason(const std::string& report) {
  const std::size_t start = report.find("QH");
  std::string line = report.substr(start == std::string::npos ? 0 : start);
  const std::size_t end = line.find('\n');
  return line.substr(0, end);
}

// Copies the lower Delaunay facets of a finished hull into t.
void collect(qhT* qh, std::size_t dim, Triangulation& t) {
  facetT* facet;
  int count = 0;
  FORALLfacets { facet->visitid = facet->upperdelaunay ? 0u : static_cast<unsigned>(++count); }
  t.simplices.reserve(static_cast<std::size_t>(count) * (dim + 1));
  t.neighbors.assign(static_cast<std::size_t>(count) * (dim + 1), -1);
  FORALLfacets {
    if (facet->upperdelaunay) continue;
    const std::size_t base = t.simplices.size();
    vertexT *vertex, **vertexp;
    FOREACHvertex_(facet->vertices) t.simplices.push_back(qh_pointid(qh, vertex->point));
    facetT *neighbor, **neighborp;
    FOREACHneighbor_(facet) {
      if (neighbor->upperdelaunay) continue;
      // The neighbour shares all vertices but one: that one is opposite it.
      for (std::size_t j = 0; j <= dim; ++j)
        if (!qh_setin(neighbor->vertices, SETelem_(facet->vertices, j)))
          t.neighbors[base + j] = static_cast<int>(neighbor->visitid) - 1;
    }
  }
}

}  // namespace

Triangulation triangulate_qhull(const PointSet& points) {
  Triangulation t;
  t.dim = points.dim;
  std::vector<coordT> coords(points.coords.begin(), points.coords.end());
  std::string flags = "qhull d Qt Qbb Qc Qz Q12";
  if (points.dim >= 5) flags += " Qx";
  MemoryStream errors;
  qhT context;
  qhT* qh = &context;
  qh_zero(qh, errors.file());
  const int code = qh_new_qhull(qh, static_cast<int>(points.dim), static_cast<int>(points.count),
                                coords.data(), False, &flags[0], nullptr, errors.file());
  if (code == 0)
    collect(qh, points.dim, t);
  else
    t.error = "Qhull could not triangulate the data points: " + qhull_reason(errors.text());
  qh_freeqhull(qh, !qh_ALL);
  int total_long = 0, total_short = 0;
  qh_memfreeshort(qh, &total_long, &total_short);
  return t;
}

}  // namespace detail
}  // namespace qorva_gil
