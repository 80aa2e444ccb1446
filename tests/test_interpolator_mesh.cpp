// Linear interpolation on Delaunay triangulations (both back ends): exactness, point location,
// the convex hull options, dropped constant variables, normalisation and caching.
#include <gtest/gtest.h>

#include <algorithm>

#include "qorva_gil/detail/builders.hpp"
#include "qorva_gil/statistics.hpp"
#include "tests/test_interpolator_support.hpp"

using namespace gil_test;

namespace {

class InterpolatorMesh : public ::testing::TestWithParam<bool> {
 protected:
  bool cgal() const { return GetParam(); }
  Interpolator built(const Table& points, const Table& values, bool project = false) const {
    Interpolator g =
        engine(points, values, AlgorithmTypeEnum::LINEAR_MULTIVARIATE, cgal(), project);
    EXPECT_EQ(g.initialize(), ExitStatusEnum::SUCCESS) << g.last_message();
    return g;
  }
};

double wavy(const std::vector<double>& x) {
  double v = 2.0;
  for (std::size_t k = 0; k < x.size(); ++k) v += std::sin(2.0 + 3.0 * x[k] * (k + 1));
  return v;
}

// Barycentric coordinates of q in triangle (a, b, c).
std::vector<double> barycentric(const std::vector<double>& a, const std::vector<double>& b,
                                const std::vector<double>& c, const std::vector<double>& q) {
  const double det = (b[0] - a[0]) * (c[1] - a[1]) - (c[0] - a[0]) * (b[1] - a[1]);
  const double l1 = ((q[0] - a[0]) * (c[1] - a[1]) - (c[0] - a[0]) * (q[1] - a[1])) / det;
  const double l2 = ((b[0] - a[0]) * (q[1] - a[1]) - (q[0] - a[0]) * (b[1] - a[1])) / det;
  return {1.0 - l1 - l2, l1, l2};
}

bool in_circumcircle(const std::vector<double>& a, const std::vector<double>& b,
                     const std::vector<double>& c, const std::vector<double>& d) {
  const double ax = a[0] - d[0], ay = a[1] - d[1], bx = b[0] - d[0], by = b[1] - d[1],
               cx = c[0] - d[0], cy = c[1] - d[1];
  const double det = (ax * ax + ay * ay) * (bx * cy - cx * by) -
                     (bx * bx + by * by) * (ax * cy - cx * ay) +
                     (cx * cx + cy * cy) * (ax * by - bx * ay);
  const double orient = (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]);
  return det * orient > 0.0;
}

// The model's point set of a table, with two dependent columns.
qorva_gil::detail::PointSet point_set(const Table& points) {
  qorva_gil::detail::PointSet set;
  set.dim = points[0].size();
  set.count = points.size();
  set.columns = 2;
  for (const auto& p : points) {
    set.coords.insert(set.coords.end(), p.begin(), p.end());
    set.values.push_back(wavy(p));
    set.values.push_back(-3.0 * wavy(p) + p[0]);
  }
  return set;
}

}  // namespace

// The walks unrolled for 2 and 3 variables, with the vertices read from the
// walk's records, against the general walk: bit-identical answers and
// outside flags, batched and single, inside and outside the hull, on
// scattered points and on grids (whose triangulations hold flat simplices).
TEST_P(InterpolatorMesh, UnrolledWalksAnswerAsTheGeneralWalk) {
  using namespace qorva_gil::detail;
  for (std::size_t d : {2u, 3u})
    for (const Table& points : {uniform_points(60 * d, d, 90 + d), grid_points(5, d)})
      for (bool project : {false, true}) {
        SCOPED_TRACE(::testing::Message()
                     << d << "-D, " << points.size() << " points, project " << project);
        const PointSet set = point_set(points);
        MeshOptions options{project, cgal()};
        const BuildResult unrolled = build_linear_mesh(set, options);
        options.unrolled_walks = false;
        const BuildResult general = build_linear_mesh(set, options);
        ASSERT_TRUE(unrolled.model && general.model) << unrolled.error << general.error;
        Table queries = uniform_points(500, d, 7, -0.3, 1.3);
        queries.insert(queries.end(), points.begin(), points.end());
        std::vector<double> y;
        for (const auto& q : queries) y.insert(y.end(), q.begin(), q.end());
        const std::size_t n = queries.size();
        std::vector<double> many_u(2 * n), many_g(2 * n);
        std::vector<unsigned char> out_u(n), out_g(n);
        unrolled.model->evaluate_many(y.data(), d, n, 0, 2, many_u.data(), out_u.data(), 0);
        general.model->evaluate_many(y.data(), d, n, 0, 2, many_g.data(), out_g.data(), 0);
        EXPECT_EQ(many_u, many_g);
        EXPECT_EQ(out_u, out_g);
        EXPECT_GT(std::count(out_u.begin(), out_u.end(), 1), 0);
        for (std::size_t i = 0; i < n; i += 7) {
          double one_u[2], one_g[2];
          EXPECT_EQ(unrolled.model->evaluate(&y[i * d], 0, 2, one_u, 0), out_g[i] != 0);
          EXPECT_EQ(general.model->evaluate(&y[i * d], 0, 2, one_g, 0), out_g[i] != 0);
          EXPECT_EQ(one_u[0], many_g[2 * i]);
          EXPECT_EQ(one_u[1], many_g[2 * i + 1]);
          EXPECT_EQ(one_g[0], many_g[2 * i]);
        }
      }
}

TEST_P(InterpolatorMesh, ReproducesAffineDataOnScatteredPoints) {
  for (std::size_t d : {2u, 3u, 4u}) {
    const Table points = uniform_points(25 * d, d, 40 + d);
    Interpolator g = built(points, tabulate(points, affine));
    // Inside and outside the hull: extrapolation of affine data is exact as well.
    for (const auto& q : uniform_points(300, d, 41, -0.2, 1.2))
      EXPECT_NEAR(at(g, q), affine(q), tolerance(affine(q)));
  }
}

TEST_P(InterpolatorMesh, ReproducesAffineDataOnRegularGrids) {
  const std::pair<std::size_t, std::size_t> grids[] = {{7, 2}, {5, 3}, {3, 4}};
  for (const auto& [per_axis, d] : grids) {
    const Table points = grid_points(per_axis, d);
    Interpolator g = built(points, tabulate(points, affine));
    int status = -1;
    for (const auto& q : uniform_points(300, d, 17)) {
      EXPECT_NEAR(at(g, q, &status), affine(q), tolerance(affine(q))) << "dimension " << d;
      EXPECT_EQ(status, ExitStatusEnum::SUCCESS);
    }
    // Grid lines and nodes are where ties between simplices occur.
    for (const auto& p : points) {
      std::vector<double> q = p;
      q[0] = std::min(1.0, q[0] + 0.5 / (per_axis - 1));
      EXPECT_NEAR(at(g, q), affine(q), tolerance(affine(q)));
    }
  }
}

TEST_P(InterpolatorMesh, ReturnsNodeValuesAtNodes) {
  for (std::size_t d : {2u, 3u, 4u}) {
    for (const Table& points : {uniform_points(30 * d, d, 5 + d), grid_points(d < 4 ? 4 : 3, d)}) {
      Interpolator g = built(points, tabulate(points, wavy));
      for (const auto& p : points) EXPECT_EQ(at(g, p), wavy(p));
    }
  }
}

TEST_P(InterpolatorMesh, MatchesBruteForceDelaunayInTwoDimensions) {
  const Table points = uniform_points(30, 2, 123);
  Interpolator g = built(points, tabulate(points, wavy));
  std::size_t checked = 0;
  for (const auto& q : uniform_points(200, 2, 321)) {
    // The Delaunay triangle holding q: no data point inside its circumcircle.
    for (std::size_t a = 0; a < points.size(); ++a)
      for (std::size_t b = a + 1; b < points.size(); ++b)
        for (std::size_t c = b + 1; c < points.size(); ++c) {
          const auto w = barycentric(points[a], points[b], points[c], q);
          if (*std::min_element(w.begin(), w.end()) < 1e-9) continue;
          bool empty = true;
          for (std::size_t e = 0; e < points.size() && empty; ++e)
            empty = e == a || e == b || e == c ||
                    !in_circumcircle(points[a], points[b], points[c], points[e]);
          if (!empty) continue;
          const double expected =
              w[0] * wavy(points[a]) + w[1] * wavy(points[b]) + w[2] * wavy(points[c]);
          EXPECT_NEAR(at(g, q), expected, 1e-12);
          ++checked;
        }
  }
  EXPECT_GT(checked, 100u);
}

TEST_P(InterpolatorMesh, InterpolantOfConvexFunctionLiesAboveItAndBelowNodes) {
  const Table points = uniform_points(400, 3, 77);
  auto bowl = [](const std::vector<double>& x) { return x[0] * x[0] + x[1] * x[1] + x[2] * x[2]; };
  Interpolator g = built(points, tabulate(points, bowl));
  for (const auto& q : uniform_points(300, 3, 78, 0.3, 0.7)) {
    const double v = at(g, q);
    EXPECT_GE(v, bowl(q) - 1e-12);
    EXPECT_LE(v, bowl(q) + 0.15);  // a coarse bound on the linear interpolation error here
  }
}

TEST_P(InterpolatorMesh, ProjectsOntoOrExtrapolatesFromTheHull) {
  const Table square = grid_points(3, 2);  // nodes at 0, 0.5, 1
  int status = -1;
  Interpolator projecting = built(square, tabulate(square, wavy), true);
  // (1.5, 0.25) projects to (1, 0.25), halfway between the nodes (1, 0) and (1, 0.5).
  EXPECT_NEAR(at(projecting, {1.5, 0.25}, &status), 0.5 * (wavy({1.0, 0.0}) + wavy({1.0, 0.5})),
              1e-12);
  EXPECT_EQ(status, ExitStatusEnum::WARNING);
  EXPECT_NE(projecting.last_message().find("projected"), std::string::npos);
  // Beyond a corner the nearest hull point is the corner itself.
  EXPECT_NEAR(at(projecting, {-0.5, 1.7}), wavy({0.0, 1.0}), 1e-12);
  Interpolator extrapolating = built(square, tabulate(square, affine), false);
  for (const std::vector<double>& q : {std::vector<double>{1.5, 0.25}, {-0.5, 1.7}, {0.3, -2.0}}) {
    EXPECT_NEAR(at(extrapolating, q, &status), affine(q), tolerance(affine(q)));
    EXPECT_EQ(status, ExitStatusEnum::WARNING);
  }
  EXPECT_NE(extrapolating.last_message().find("extrapolated"), std::string::npos);
  // A cube: outside one face, the projection lands on that face.
  const Table cube = grid_points(2, 3);
  Interpolator box = built(cube, tabulate(cube, affine), true);
  EXPECT_NEAR(at(box, {0.25, 0.5, 3.0}), affine({0.25, 0.5, 1.0}), 1e-12);
}

TEST_P(InterpolatorMesh, DegenerateInputsAreErrors) {
  const struct {
    Table points;
    std::string reason;
  } cases[] = {
      {{{0.0, 0.0}, {1.0, 1.0}, {2.0, 2.0}, {3.0, 3.0}}, "subspace"},
      {{{0.0, 0.0, 0.0}, {1.0, 0.0, 0.0}, {0.0, 1.0, 1.0}}, "needs at least 4 data points, got 3"},
      {{{0.0, 0.0, 0.0}, {1.0, 0.0, 1.0}, {0.0, 1.0, 1.0}, {1.0, 1.0, 2.0}, {2.0, 3.0, 5.0}},
       "subspace"},
      {{{0.0, 0.0}, {1.0, 0.0}, {0.0, 1.0}, {1.0, 0.0}}, "same point"},
  };
  for (const auto& c : cases) {
    Interpolator g = engine(c.points, tabulate(c.points, affine),
                            AlgorithmTypeEnum::LINEAR_MULTIVARIATE, cgal());
    EXPECT_EQ(g.initialize(), ExitStatusEnum::ERROR);
    EXPECT_NE(g.last_message().find(c.reason), std::string::npos) << g.last_message();
    double r = 0.0;
    EXPECT_EQ(g.specific_query({"x0"}, {0.5}, "f", r), ExitStatusEnum::ERROR);
  }
}

TEST_P(InterpolatorMesh, ConstantVariableIsDroppedFromTheTriangulation) {
  // A temperature x shear x field table given at one temperature only.
  Table points, values;
  for (const auto& p : uniform_points(40, 2, 9)) {
    points.push_back({23.0, p[0], p[1]});
    values.push_back({affine(p)});
  }
  Interpolator g = engine(points, values, AlgorithmTypeEnum::LINEAR_MULTIVARIATE, cgal());
  g.set_independent_names({"T", "shear", "fv"});
  ASSERT_EQ(g.initialize(), ExitStatusEnum::SUCCESS) << g.last_message();
  double r = 0.0;
  EXPECT_EQ(g.specific_query({"fv", "shear", "T"}, {0.5, 0.4, 23.0}, "f", r),
            ExitStatusEnum::SUCCESS);
  EXPECT_NEAR(r, affine({0.4, 0.5}), 1e-12);
  EXPECT_EQ(g.specific_query({"fv", "shear", "T"}, {0.5, 0.4, 80.0}, "f", r),
            ExitStatusEnum::WARNING);
  EXPECT_NEAR(r, affine({0.4, 0.5}), 1e-12);
}

TEST_P(InterpolatorMesh, NormalisationChangesWhichTrianglesAreUsed) {
  // In scaled coordinates (x, y / 1000) the quadrilateral A B C D is split along
  // B-D; in raw coordinates the stretched shape is split along A-C.
  const Table raw = {{0.0, 300.0}, {0.6, 0.0}, {1.0, 700.0}, {0.4, 1000.0}};
  Table scaled;
  for (const auto& p : raw) scaled.push_back({p[0], p[1] / 1000.0});
  auto f = [](const std::vector<double>& s) { return s[0] * s[1]; };
  Table values;
  for (const auto& s : scaled) values.push_back({f(s)});
  const std::vector<double> q = {0.5, 0.5};
  auto split = [&](std::size_t a, std::size_t b, std::size_t c, std::size_t e) {
    auto w = barycentric(scaled[a], scaled[b], scaled[c], q);
    if (*std::min_element(w.begin(), w.end()) < 0) {
      w = barycentric(scaled[a], scaled[c], scaled[e], q);
      return w[0] * values[a][0] + w[1] * values[c][0] + w[2] * values[e][0];
    }
    return w[0] * values[a][0] + w[1] * values[b][0] + w[2] * values[c][0];
  };
  const double along_bd = split(1, 2, 3, 0), along_ac = split(0, 1, 2, 3);
  ASSERT_GT(std::abs(along_bd - along_ac), 1e-3);
  Interpolator g = engine(raw, values, AlgorithmTypeEnum::LINEAR_MULTIVARIATE, cgal());
  ASSERT_EQ(g.initialize(), ExitStatusEnum::SUCCESS);
  EXPECT_NEAR(at(g, {0.5, 500.0}), along_ac, 1e-12);
  g.set_is_normalized(true);
  ASSERT_EQ(g.initialize(), ExitStatusEnum::SUCCESS);
  EXPECT_NEAR(at(g, {0.5, 500.0}), along_bd, 1e-12);
}

TEST_P(InterpolatorMesh, CacheReusesLastPointAndSimplex) {
  const Table points = uniform_points(2000, 2, 1);
  Interpolator plain = built(points, tabulate(points, wavy));
  Interpolator cached =
      engine(points, tabulate(points, wavy), AlgorithmTypeEnum::LINEAR_MULTIVARIATE, cgal());
  cached.set_is_cached(true);
  ASSERT_EQ(cached.initialize(), ExitStatusEnum::SUCCESS);
  auto& stats = qorva_gil::thread_query_statistics();
  stats = {};
  const std::vector<double> q = {0.4, 0.6};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(at(cached, q), at(plain, q));
  EXPECT_EQ(stats.located, 1u);
  EXPECT_EQ(stats.point_hits, 9u);
  // Tiny steps stay in the same triangle most of the time.
  for (int i = 1; i <= 100; ++i) {
    const std::vector<double> p = {0.4 + 1e-7 * i, 0.6};
    EXPECT_EQ(at(cached, p), at(plain, p));
  }
  EXPECT_GT(stats.cell_hits, 90u);
  // Random points: every answer as without cache, and no walk fell back to a full scan.
  for (const auto& p : uniform_points(2000, 2, 2)) EXPECT_NEAR(at(cached, p), at(plain, p), 1e-14);
  EXPECT_EQ(stats.full_scans, 0u);
  EXPECT_LT(stats.walk_steps, 5u * stats.located);
}

INSTANTIATE_TEST_SUITE_P(Backends, InterpolatorMesh, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "CGAL" : "Qhull";
                         });
