// Piecewise-linear interpolation on a Delaunay triangulation: barycentric weights per simplex,
// point location by a visibility walk started from a uniform grid of start simplices (or from
// the last simplex of this thread when caching), and projection onto or extrapolation from
// the convex hull for points outside it.
#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "qorva_gil/detail/builders.hpp"
#include "qorva_gil/detail/hull_geometry.hpp"
#include "qorva_gil/detail/triangulation.hpp"
#include "qorva_gil/statistics.hpp"

namespace qorva_gil {
namespace detail {
namespace {

constexpr double kInsideTolerance = 1e-12;  // barycentric weights down to -this count as inside
constexpr double kFlatSimplex = 1e-12;      // relative volume below which a simplex is flat

// Layout of a simplex record in `dim` variables (see LinearMesh::records_):
// whole cache lines holding the frame, then ints: the neighbours and the flat
// mark, or the neighbours and the vertices when they fit in as many lines.
constexpr std::size_t kCacheLine = 64;
constexpr std::size_t lines_of(std::size_t bytes) { return (bytes + kCacheLine - 1) / kCacheLine; }
constexpr std::size_t frame_bytes(std::size_t dim) { return (dim + dim * dim) * sizeof(double); }
constexpr bool vertices_fit(std::size_t dim) {
  return lines_of(frame_bytes(dim) + 2 * (dim + 1) * sizeof(int)) ==
         lines_of(frame_bytes(dim) + (dim + 2) * sizeof(int));
}
constexpr std::size_t record_lines(std::size_t dim) {
  return lines_of(frame_bytes(dim) + (vertices_fit(dim) ? 2 * (dim + 1) : dim + 2) * sizeof(int));
}
static_assert(!vertices_fit(2) && record_lines(2) == 1 && vertices_fit(3) && record_lines(3) == 2,
              "a 2-D record is one line, a 3-D record two with its vertices");

class LinearMesh final : public Model {
 public:
  LinearMesh(const PointSet& points, Triangulation t, const MeshOptions& options)
      : points_(points),
        tri_(std::move(t)),
        dim_(points.dim),
        stride_(points.dim + 1),
        project_(options.project_to_hull),
        unrolled_(options.unrolled_walks) {
    prepare_simplices();
    for (std::size_t s = 0; s < tri_.size(); ++s)
      for (std::size_t j = 0; j < stride_; ++j)
        if (tri_.neighbors[s * stride_ + j] < 0 && !flat_[s]) {
          hull_.push_back({static_cast<int>(s), static_cast<int>(j)});
          add_hull_plane(s, j);
        }
    // Without a proper simplex there is nothing to walk; build_linear_mesh refuses such a mesh.
    if (flat_count() < tri_.size()) prepare_grid();
  }

  LinearMesh(const LinearMesh&) = delete;  // first_record_ points into records_
  LinearMesh& operator=(const LinearMesh&) = delete;

  std::size_t simplex_count() const { return tri_.size(); }
  std::size_t flat_count() const {
    return static_cast<std::size_t>(std::count(flat_.begin(), flat_.end(), 1));
  }

  bool evaluate(const double* y, std::size_t first, std::size_t count, double* out,
                std::uint64_t cache_id) const override {
    CacheSlot* cache = cache_id ? &thread_cache_slot(cache_id) : nullptr;
    Scratch scratch(stride_);
    double* weights = scratch.data();
    int simplex;
    bool outside;
    if (cache && cache->has_point && same_point(cache->point.data(), y, dim_)) {
      ++thread_state().statistics.point_hits;
      simplex = static_cast<int>(cache->index);
      outside = cache->outside;
      std::copy(cache->weights.begin(), cache->weights.end(), weights);
    } else {
      outside = locate(y, weights, simplex, cache);
      if (cache) {
        cache->point.assign(y, y + dim_);
        cache->weights.assign(weights, weights + stride_);
        cache->index = simplex;
        cache->outside = outside;
        cache->has_point = true;
      }
    }
    blend(simplex, weights, outside, first, count, out);
    return outside;
  }

  // Without caching, points are located kLanes at a time: their walks advance
  // in step, so the loads of one point's next simplex overlap those of the
  // others instead of each walk waiting for its own. Each point walks exactly
  // as locate() would walk it alone, so the answers are evaluate()'s.
  void evaluate_many(const double* y, std::size_t dim, std::size_t n, std::size_t first,
                     std::size_t count, double* out, unsigned char* outside,
                     std::uint64_t cache_id) const override {
    if (cache_id) return Model::evaluate_many(y, dim, n, first, count, out, outside, cache_id);
    // The common dimensions get walks with their loops unrolled; the
    // arithmetic, and so every answer, is that of the general walk.
    static_assert(kFixedDims[0] == 2 && kFixedDims[1] == 3, "one case per fixed dimension");
    switch (unrolled_ ? dim_ : 0) {
      case 2:
        return locate_many<2>(y, dim, n, first, count, out, outside);
      case 3:
        return locate_many<3>(y, dim, n, first, count, out, outside);
      default:
        return locate_many<0>(y, dim, n, first, count, out, outside);
    }
  }

 private:
  static constexpr std::size_t kLanes = 8;
  static constexpr std::size_t kFixedDims[] = {2, 3};

  // evaluate_many() without caching, with walks for dimension D (0: dim_).
  template <std::size_t D>
  void locate_many(const double* y, std::size_t dim, std::size_t n, std::size_t first,
                   std::size_t count, double* out, unsigned char* outside) const {
    Scratch scratch(kLanes * stride_);
    // The grid cells of the next group are found, and their entries asked
    // for, one group ahead.
    std::size_t cells[2][kLanes];
    start_cells<D>(y, dim, std::min(kLanes, n), cells[0]);
    for (std::size_t base = 0, group = 0; base < n; base += kLanes, group ^= 1) {
      const std::size_t lanes = std::min(kLanes, n - base);
      const double* points = y + base * dim;
      if (base + kLanes < n)
        start_cells<D>(points + kLanes * dim, dim, std::min(kLanes, n - base - kLanes),
                       cells[group ^ 1]);
      int simplex[kLanes];
      bool beyond[kLanes];
      walk_lanes<D>(points, dim, lanes, cells[group], scratch.data(), simplex, beyond);
      for (std::size_t l = 0; l < lanes; ++l) {
        const double* p = points + l * dim;
        double* w = scratch.data() + l * stride_;
        settle(p, w, simplex[l], beyond[l]);
        blend<D>(simplex[l], w, beyond[l], first, count, out + (base + l) * count);
        outside[base + l] = beyond[l];
      }
    }
  }

  // Values at weights w in simplex s: extrapolated outside the hull unless
  // projecting, otherwise the weighted vertex values. With D known, the
  // vertices come from the record the walk has just read, when it holds them.
  template <std::size_t D = 0>
  void blend(int s, double* w, bool outside, std::size_t first, std::size_t count,
             double* out) const {
    const int* vertices = tri_.simplices.data() + static_cast<std::size_t>(s) * stride_;
    int copied[D + 1];
    if (D && vertices_fit(D)) {
      std::memcpy(copied,
                  record_ints<D>(record_of<D>(static_cast<std::size_t>(s))) + (D + 1) * sizeof(int),
                  sizeof copied);
      copied[0] = vertex_of_slot(copied[0]);
      vertices = copied;
    }
    if (!outside) snap_to_vertex<D>(w);
    if (outside && !project_) {
      extrapolate(vertices, w, first, count, out);
      return;
    }
    const std::size_t corners = corners_of<D>();
    for (std::size_t c = 0; c < count; ++c) {
      double v = 0.0;
      for (std::size_t j = 0; j < corners; ++j) v += w[j] * points_.row(vertices[j])[first + c];
      out[c] = v;
    }
  }

  // walk() for `lanes` points at once, one step of every unfinished walk per
  // round, each from its grid start; simplex[l] is -1 where the walk did not
  // settle. Weights go to w + l * stride_.
  template <std::size_t D>
  void walk_lanes(const double* y, std::size_t dim, std::size_t lanes, const std::size_t* cells,
                  double* w, int* simplex, bool* outside) const {
    bool done[kLanes];
    std::size_t left = lanes;
    for (std::size_t l = 0; l < lanes; ++l) {
      simplex[l] = grid_[cells[l]];
      fetch<D>(simplex[l]);
      outside[l] = false;
      done[l] = false;
    }
    for (std::size_t step = 0; step < walk_limit_ && left > 0; ++step)
      for (std::size_t l = 0; l < lanes; ++l) {
        if (done[l]) continue;
        const int next = walk_step<D>(y + l * dim, simplex[l], w + l * stride_, step, outside[l]);
        if (next == simplex[l] || next < 0) {
          done[l] = true;
          --left;
        } else {
          fetch<D>(next);
        }
        simplex[l] = next;
      }
    for (std::size_t l = 0; l < lanes; ++l)
      if (!done[l]) simplex[l] = -1;
  }

  // The grid cells of `lanes` points, their grid entries asked for ahead of use.
  template <std::size_t D>
  void start_cells(const double* y, std::size_t dim, std::size_t lanes, std::size_t* cells) const {
    for (std::size_t l = 0; l < lanes; ++l) {
      cells[l] = grid_cell<D>(y + l * dim);
      __builtin_prefetch(grid_.data() + cells[l]);
    }
  }

  // Asks for the record of simplex s ahead of its use.
  template <std::size_t D = 0>
  void fetch(int s) const {
    const char* record = reinterpret_cast<const char*>(record_of<D>(static_cast<std::size_t>(s)));
    const std::size_t bytes = record_doubles<D>() * sizeof(double);
    for (std::size_t line = 0; line < bytes; line += kCacheLine) __builtin_prefetch(record + line);
  }

  // One step of a walk at simplex s: s itself when y lies in it, or when its
  // facet towards y is on the hull (outside = true); -1 when a flat simplex
  // has no neighbour; otherwise the next simplex.
  template <std::size_t D = 0>
  int walk_step(const double* y, int s, double* w, std::size_t step, bool& outside) const {
    const double* record = record_of<D>(static_cast<std::size_t>(s));
    if (record_int<D>(record, corners_of<D>()) < 0)
      return first_neighbor(s, step);  // flat: no weights, pass through
    const std::size_t j = barycentric_in<D>(record, y, w);
    if (w[j] >= -kInsideTolerance) return s;
    const int next = record_int<D>(record, j);
    if (next >= 0) return next;
    outside = true;
    return s;
  }

  // At a data point the weights are one and zeros up to rounding; making them
  // exact returns the node's values exactly.
  template <std::size_t D = 0>
  void snap_to_vertex(double* weights) const {
    const std::size_t corners = corners_of<D>();
    for (std::size_t j = 0; j < corners; ++j)
      if (weights[j] > 1.0 - 1e-12) {
        std::fill(weights, weights + corners, 0.0);
        weights[j] = 1.0;
        return;
      }
  }

  // Extrapolated weights are large and of both signs; anchoring the sum at the
  // vertex of largest weight keeps the values' common offset out of the
  // cancellation (the weights sum to one).
  void extrapolate(const int* vertices, const double* weights, std::size_t first, std::size_t count,
                   double* out) const {
    const std::size_t anchor =
        static_cast<std::size_t>(std::max_element(weights, weights + stride_) - weights);
    for (std::size_t c = 0; c < count; ++c) {
      const double base = points_.row(vertices[anchor])[first + c];
      double v = 0.0;
      for (std::size_t j = 0; j < stride_; ++j)
        if (j != anchor) v += weights[j] * (points_.row(vertices[j])[first + c] - base);
      out[c] = base + v;
    }
  }

  // Barycentric weights of y in simplex s; returns the index of the smallest.
  std::size_t barycentric(std::size_t s, const double* y, double* w) const {
    return barycentric_in(record_of(s), y, w);
  }
  // D is the dimension when known at compile time, 0 for dim_.
  template <std::size_t D = 0>
  std::size_t barycentric_in(const double* origin, const double* y, double* w) const {
    const std::size_t dim = dim_of<D>();
    const double* inverse = origin + dim;
    double rest = 1.0;
    std::size_t lowest = 0;
    // With D known the offsets y - origin are taken once; they are the same
    // numbers either way.
    double offsets[D ? D : 1];
    for (std::size_t k = 0; k < D; ++k) offsets[k] = y[k] - origin[k];
    for (std::size_t j = 0; j < dim; ++j) {
      double v = 0.0;
      for (std::size_t k = 0; k < dim; ++k)
        v += inverse[j * dim + k] * (D ? offsets[k] : y[k] - origin[k]);
      w[j + 1] = v;
      rest -= v;
    }
    w[0] = rest;
    for (std::size_t j = 1; j <= dim; ++j)
      if (w[j] < w[lowest]) lowest = j;
    return lowest;
  }

  // Walks from simplex s towards y. Returns the simplex holding y, or the hull
  // simplex through whose outer facet the walk left (outside = true), or -1
  // when the walk did not settle.
  int walk(const double* y, int s, double* w, bool& outside, std::size_t& step) const {
    switch (unrolled_ ? dim_ : 0) {
      case 2:
        return walk_from<2>(y, s, w, outside, step);
      case 3:
        return walk_from<3>(y, s, w, outside, step);
      default:
        return walk_from<0>(y, s, w, outside, step);
    }
  }
  template <std::size_t D>
  int walk_from(const double* y, int s, double* w, bool& outside, std::size_t& step) const {
    outside = false;
    for (step = 0; step < walk_limit_; ++step) {
      const int next = walk_step<D>(y, s, w, step, outside);
      if (next == s || next < 0) return next;
      s = next;
    }
    return -1;
  }

  int first_neighbor(int s, std::size_t step) const {
    for (std::size_t k = 0; k < stride_; ++k) {
      const int n = tri_.neighbors[static_cast<std::size_t>(s) * stride_ + (k + step) % stride_];
      if (n >= 0) return n;
    }
    return -1;
  }

  // Finds the simplex for y and its weights (projected or extrapolated for
  // points outside the hull). Returns true for points outside.
  bool locate(const double* y, double* w, int& simplex, CacheSlot* cache) const {
    bool outside = false;
    if (cache) {
      ++thread_state().statistics.located;
      if (cache->index >= 0 && !flat_[static_cast<std::size_t>(cache->index)]) {
        const std::size_t j = barycentric(static_cast<std::size_t>(cache->index), y, w);
        if (w[j] >= -kInsideTolerance) {
          ++thread_state().statistics.cell_hits;
          simplex = static_cast<int>(cache->index);
          return false;
        }
      }
    }
    std::size_t steps = 0;
    simplex = walk(y, grid_[grid_cell(y)], w, outside, steps);
    if (cache) {
      thread_state().statistics.walk_steps += steps;
      if (simplex < 0) ++thread_state().statistics.full_scans;
    }
    settle(y, w, simplex, outside);
    return outside;
  }

  // After a walk: a point whose walk failed (simplex -1) is located by a
  // scan, and a point outside gets the weights of its nearest hull facet.
  void settle(const double* y, double* w, int& simplex, bool& outside) const {
    if (simplex < 0) simplex = scan(y, w, outside);
    if (outside) outside_weights(y, w, simplex);
  }

  // Locates y by trying every simplex; used only when a walk fails.
  int scan(const double* y, double* w, bool& outside) const {
    int best = -1;
    double best_low = -std::numeric_limits<double>::infinity();
    for (std::size_t s = 0; s < tri_.size(); ++s) {
      if (flat_[s]) continue;
      const double low = w[barycentric(s, y, w)];
      if (low > best_low) {
        best_low = low;
        best = static_cast<int>(s);
      }
    }
    if (best < 0) {
      // Every weight is NaN: y is too large for the simplices' frames. The
      // first proper simplex answers with NaN weights, which the query
      // reports as an error.
      best = static_cast<int>(std::find(flat_.begin(), flat_.end(), 0) - flat_.begin());
      std::fill(w, w + stride_, std::numeric_limits<double>::quiet_NaN());
      outside = true;
      return best;
    }
    barycentric(static_cast<std::size_t>(best), y, w);
    outside = best_low < -kInsideTolerance;
    return best;
  }

  // Weights for a point outside the hull: in the simplex of the nearest hull
  // facet, at the nearest hull point (projection) or at y (extrapolation).
  // The nearest point of a convex hull lies on a facet that y is beyond, so
  // only those are measured, nearest hyperplane first.
  void outside_weights(const double* y, double* w, int& simplex) const {
    std::vector<std::pair<double, std::size_t>> order;
    for (std::size_t i = 0; i < hull_.size(); ++i) {
      const double* plane = hull_planes_.data() + i * stride_;
      double beyond = -plane[dim_];
      for (std::size_t k = 0; k < dim_; ++k) beyond += plane[k] * y[k];
      if (beyond > 0.0) order.push_back({beyond * beyond, i});
    }
    if (order.empty())  // only when rounding hides which facets face y: try them all
      for (std::size_t i = 0; i < hull_.size(); ++i) order.push_back({0.0, i});
    std::sort(order.begin(), order.end());
    double best = std::numeric_limits<double>::infinity();
    std::vector<double> nearest(dim_), candidate(dim_);
    std::vector<const double*> corners(dim_);
    for (const auto& [bound, i] : order) {
      if (bound > best) break;
      const auto [s, opposite] = hull_[i];
      for (std::size_t j = 0, c = 0; j < stride_; ++j)
        if (static_cast<int>(j) != opposite)
          corners[c++] = points_.point(tri_.simplices[static_cast<std::size_t>(s) * stride_ + j]);
      const double d2 = closest_point_on_simplex(corners, dim_, y, candidate.data());
      if (d2 < best) {
        best = d2;
        simplex = s;
        nearest = candidate;
      }
    }
    if (!project_) {
      barycentric(static_cast<std::size_t>(simplex), y, w);
      return;
    }
    barycentric(static_cast<std::size_t>(simplex), nearest.data(), w);
    double total = 0.0;
    for (std::size_t j = 0; j < stride_; ++j) total += (w[j] = std::max(w[j], 0.0));
    for (std::size_t j = 0; j < stride_; ++j) w[j] /= total;
  }

  // Outer unit normal n and offset c of the hull facet opposite vertex j of
  // simplex s, so that n.y - c is how far y lies beyond it. The weight of
  // vertex j is g.(y - origin) + (j == 0) with g its gradient, and n = -g/|g|.
  void add_hull_plane(std::size_t s, std::size_t j) {
    const double* origin = record_of(s);
    const double* inverse = origin + dim_;
    std::vector<double> g(dim_, 0.0);
    for (std::size_t k = 0; k < dim_; ++k) {
      if (j > 0)
        g[k] = inverse[(j - 1) * dim_ + k];
      else
        for (std::size_t r = 0; r < dim_; ++r) g[k] -= inverse[r * dim_ + k];
    }
    double norm = 0.0, along = 0.0;
    for (std::size_t k = 0; k < dim_; ++k) norm += g[k] * g[k];
    norm = std::sqrt(norm);
    for (std::size_t k = 0; k < dim_; ++k) {
      hull_planes_.push_back(-g[k] / norm);
      along += g[k] * origin[k];
    }
    hull_planes_.push_back(((j == 0 ? 1.0 : 0.0) - along) / norm);
  }

  void prepare_simplices();
  template <class Matrix>
  void prepare_frames();
  void prepare_grid();
  template <std::size_t D = 0>
  std::size_t grid_cell(const double* y) const {
    std::size_t cell = 0;
    for (std::size_t k = dim_of<D>(); k-- > 0;) {
      const double f = (y[k] - grid_lower_[k]) * grid_inverse_[k];
      // Clamped as a double first: a far point's f does not fit an integer.
      const double clamped = std::min(f > 0.0 ? f : 0.0, grid_last_);
      cell = cell * grid_cells_ + static_cast<std::size_t>(clamped);
    }
    return cell;
  }

  PointSet points_;
  Triangulation tri_;
  std::size_t dim_, stride_;
  bool project_, unrolled_;
  // Per simplex, what a walk step reads, in one record of whole cache lines:
  // the frame (vertex 0, then the inverse of the edge matrix, row-major),
  // then as ints the neighbours and at slot stride_ the flat mark, negative
  // for a flat simplex. When they fit in the same number of lines
  // (vertices_fit()), the vertices follow the neighbours, with the flat
  // mark folded into the first (see vertex_of_slot()). Records start at
  // first_record_ (cache-line aligned, inside records_) and are record_
  // doubles apart.
  std::vector<double> records_;
  double* first_record_ = nullptr;
  std::size_t record_ = 0;
  // The dimension, a simplex's vertex count and the record size, fixed when D is known.
  template <std::size_t D>
  std::size_t dim_of() const {
    return D ? D : dim_;
  }
  template <std::size_t D>
  std::size_t corners_of() const {
    return D ? D + 1 : stride_;
  }
  template <std::size_t D>
  std::size_t record_doubles() const {
    return D ? record_lines(D) * kCacheLine / sizeof(double) : record_;
  }
  template <std::size_t D = 0>
  const double* record_of(std::size_t s) const {
    return first_record_ + s * record_doubles<D>();
  }
  template <std::size_t D = 0>
  const char* record_ints(const double* record) const {
    const std::size_t dim = dim_of<D>();
    return reinterpret_cast<const char*>(record + dim + dim * dim);
  }
  // Int k after the frame of a record: neighbour k (k < stride_), or the slot described above.
  template <std::size_t D = 0>
  int record_int(const double* record, std::size_t k) const {
    int v;
    std::memcpy(&v, record_ints<D>(record) + k * sizeof(int), sizeof v);
    return v;
  }
  // A flat simplex's first vertex v is kept as -1 - v.
  static int vertex_of_slot(int slot) { return slot < 0 ? -1 - slot : slot; }
  void set_record_int(std::size_t s, std::size_t k, int v) {
    std::memcpy(
        reinterpret_cast<char*>(first_record_ + s * record_ + dim_ + dim_ * dim_) + k * sizeof(int),
        &v, sizeof v);
  }
  std::vector<char> flat_;
  std::vector<std::pair<int, int>> hull_;  // (simplex, local vertex opposite the hull facet)
  std::vector<double> hull_planes_;        // per hull facet: see add_hull_plane()
  std::size_t grid_cells_ = 1;             // per dimension
  double grid_last_ = 0.0;                 // grid_cells_ - 1
  std::vector<double> grid_lower_, grid_inverse_;
  std::vector<int> grid_;                      // start simplex per grid cell
  std::size_t walk_limit_ = tri_.size() + 16;  // steps before a walk counts as failed
};

void LinearMesh::prepare_simplices() {
  // Small matrices live on the stack: this runs once per simplex.
  using Small = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, 0, 12, 12>;
  if (dim_ <= 12)
    prepare_frames<Small>();
  else
    prepare_frames<Eigen::MatrixXd>();
}

template <class Matrix>
void LinearMesh::prepare_frames() {
  const std::size_t n = tri_.size();
  constexpr std::size_t kLine = kCacheLine / sizeof(double);  // doubles per cache line
  record_ = record_lines(dim_) * kLine;
  records_.assign(n * record_ + kLine, 0.0);
  const std::size_t skip =
      (kCacheLine - reinterpret_cast<std::uintptr_t>(records_.data()) % kCacheLine) % kCacheLine;
  first_record_ = records_.data() + skip / sizeof(double);
  flat_.assign(n, 0);
  Matrix edges(dim_, dim_);
  for (std::size_t s = 0; s < n; ++s) {
    const double* origin = points_.point(tri_.simplices[s * stride_]);
    double lengths = 1.0;
    for (std::size_t j = 0; j < dim_; ++j) {
      const double* p = points_.point(tri_.simplices[s * stride_ + j + 1]);
      for (std::size_t k = 0; k < dim_; ++k) edges(k, j) = p[k] - origin[k];
      lengths *= edges.col(j).norm();
    }
    double* frame = first_record_ + s * record_;
    std::copy(origin, origin + dim_, frame);
    for (std::size_t j = 0; j < stride_; ++j) set_record_int(s, j, tri_.neighbors[s * stride_ + j]);
    if (vertices_fit(dim_))
      for (std::size_t j = 0; j < stride_; ++j)
        set_record_int(s, stride_ + j, tri_.simplices[s * stride_ + j]);
    const Eigen::PartialPivLU<Matrix> lu(edges);
    if (!(std::abs(lu.determinant()) > kFlatSimplex * lengths)) {
      flat_[s] = 1;
      set_record_int(s, stride_, -1 - record_int(record_of(s), stride_));
      continue;
    }
    const Matrix inverse = lu.inverse();
    for (std::size_t j = 0; j < dim_; ++j)
      for (std::size_t k = 0; k < dim_; ++k) frame[dim_ + j * dim_ + k] = inverse(j, k);
  }
}

void LinearMesh::prepare_grid() {
  grid_lower_.assign(dim_, std::numeric_limits<double>::infinity());
  std::vector<double> upper(dim_, -std::numeric_limits<double>::infinity());
  for (std::size_t i = 0; i < points_.count; ++i)
    for (std::size_t k = 0; k < dim_; ++k) {
      grid_lower_[k] = std::min(grid_lower_[k], points_.point(i)[k]);
      upper[k] = std::max(upper[k], points_.point(i)[k]);
    }
  // About 32 cells per simplex: a walk from the cell's start then ends in its
  // first simplex for most points. In two variables 8 keep building the grid
  // small next to the triangulation, and walks there are short anyway.
  const double per_simplex = dim_ == 2 ? 8.0 : 32.0;
  const double target = std::min(per_simplex * static_cast<double>(tri_.size()), 4e6);
  grid_cells_ = std::max<std::size_t>(1, static_cast<std::size_t>(std::pow(target, 1.0 / dim_)));
  grid_last_ = static_cast<double>(grid_cells_ - 1);
  grid_inverse_.resize(dim_);
  for (std::size_t k = 0; k < dim_; ++k)
    grid_inverse_[k] = grid_cells_ / (upper[k] - grid_lower_[k]);
  std::size_t total = 1;
  for (std::size_t k = 0; k < dim_; ++k) total *= grid_cells_;
  grid_.assign(total, 0);
  // Each cell's start is where a walk to its centre ends, walking from the
  // start of the cell one step back along the last index that changed.
  // starts[k] holds the start of the last cell whose indices below k are all
  // zero; index[] counts the cells, index[0] fastest, as grid_cell() does.
  std::vector<double> centre(dim_), w(stride_);
  std::vector<std::size_t> index(dim_, 0);
  int start = static_cast<int>(std::find(flat_.begin(), flat_.end(), 0) - flat_.begin());
  std::vector<int> starts(dim_, start);
  for (std::size_t cell = 0; cell < total; ++cell) {
    for (std::size_t k = 0; k < dim_; ++k)
      centre[k] = grid_lower_[k] + (static_cast<double>(index[k]) + 0.5) / grid_inverse_[k];
    bool outside = false;
    std::size_t steps = 0;
    const int found = walk(centre.data(), start, w.data(), outside, steps);
    if (found >= 0) start = found;
    grid_[cell] = start;
    for (std::size_t k = 0; k < dim_; ++k) {
      starts[k] = start;
      if (index[k] != 0) break;
    }
    std::size_t k = 0;
    while (k < dim_ && ++index[k] == grid_cells_) index[k++] = 0;
    if (k < dim_) start = starts[k];
  }
}

// True when the points have no extent in some direction: their correlation
// matrix (scale-free, so very different variable ranges do not matter) is
// numerically singular.
bool spans_fewer_dimensions(const PointSet& points) {
  const std::size_t d = points.dim;
  std::vector<double> mean(d, 0.0);
  for (std::size_t i = 0; i < points.count; ++i)
    for (std::size_t k = 0; k < d; ++k)
      mean[k] += points.point(i)[k] / static_cast<double>(points.count);
  Eigen::MatrixXd scatter =
      Eigen::MatrixXd::Zero(static_cast<Eigen::Index>(d), static_cast<Eigen::Index>(d));
  for (std::size_t i = 0; i < points.count; ++i)
    for (std::size_t a = 0; a < d; ++a)
      for (std::size_t b = 0; b <= a; ++b)
        scatter(a, b) += (points.point(i)[a] - mean[a]) * (points.point(i)[b] - mean[b]);
  scatter = scatter.selfadjointView<Eigen::Lower>();
  const Eigen::VectorXd scale = scatter.diagonal().cwiseSqrt().cwiseInverse();
  const Eigen::MatrixXd correlation = scale.asDiagonal() * scatter * scale.asDiagonal();
  const Eigen::VectorXd eigen =
      Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd>(correlation).eigenvalues();
  return !(eigen.minCoeff() > 1e-10);
}

}  // namespace

BuildResult build_linear_mesh(const PointSet& points, const MeshOptions& options) {
  BuildResult result;
  const std::size_t d = points.dim;
  if (points.count < d + 1) {
    result.error = "linear interpolation in " + std::to_string(d) + " variables needs at least " +
                   std::to_string(d + 1) + " data points, got " + std::to_string(points.count);
    return result;
  }
  if (spans_fewer_dimensions(points)) {
    result.error = "the data points lie in a lower-dimensional subspace of the " +
                   std::to_string(d) +
                   " varying variables (for example all on one line); they cannot be triangulated";
    return result;
  }
  Triangulation t = options.use_cgal ? triangulate_cgal(points) : triangulate_qhull(points);
  if (!t.error.empty()) {
    result.error = t.error;
    return result;
  }
  std::vector<char> used(points.count, 0);
  for (int v : t.simplices) used[static_cast<std::size_t>(v)] = 1;
  const auto missing = std::find(used.begin(), used.end(), 0);
  if (t.size() == 0 || missing != used.end()) {
    result.error = t.size() == 0
                       ? "the triangulation of the data points is empty"
                       : "data point " + std::to_string(missing - used.begin()) +
                             " is not a vertex of the triangulation (too close to another point)";
    return result;
  }
  auto mesh = std::make_unique<LinearMesh>(points, std::move(t), options);
  if (mesh->flat_count() == mesh->simplex_count()) {
    result.error = "the data points lie in a lower-dimensional subspace; every simplex is flat";
    return result;
  }
  result.model = std::move(mesh);
  return result;
}

}  // namespace detail
}  // namespace qorva_gil
