// Engine state, constant and one-variable tables, input errors, nearest neighbour, radial basis,
// caching and concurrent queries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <thread>

#include "qorva_gil/statistics.hpp"
#include "tests/test_interpolator_support.hpp"

using namespace gil_test;

namespace {

// Temperature table of two properties, unsorted on purpose.
Interpolator temperature_table() {
  Interpolator g;
  g.set_independent_names({"Temperature"});
  g.set_dependent_names({"E", "nu"});
  g.set_independent_data({{100.0}, {20.0}, {300.0}, {200.0}});
  g.set_dependent_data({{190.0, 0.31}, {210.0, 0.30}, {150.0, 0.35}, {170.0, 0.33}});
  g.set_independent_data_ranges({{0.0, 400.0}});
  g.set_default_independent_values({20.0});
  return g;
}

double query_e(const Interpolator& g, double t, int* status = nullptr) {
  double r = -1.0;
  const int s = g.specific_query({"Temperature"}, {t}, "E", r);
  if (status) *status = s;
  return r;
}

}  // namespace

TEST(InterpolatorState, ChangingTheAlgorithmKeepsTablesOptionsAndFlags) {
  Interpolator g = temperature_table();
  g.set_is_cached(true);
  g.set_algorithm_option("project_to_convex_hull", true);
  ASSERT_EQ(g.initialize(), ExitStatusEnum::SUCCESS) << g.last_message();
  g.set_algorithm_type(AlgorithmTypeEnum::NEAREST_NEIGHBOR);
  ASSERT_EQ(g.initialize(), ExitStatusEnum::SUCCESS) << g.last_message();
  // The table comes back in the order given, whatever order the engine keeps it in.
  Table data;
  g.get_independent_data(data);
  EXPECT_EQ(data, (Table{{100.0}, {20.0}, {300.0}, {200.0}}));
  bool flag = false;
  EXPECT_EQ(g.get_algorithm_option("project_to_convex_hull", flag), ExitStatusEnum::SUCCESS);
  EXPECT_TRUE(flag);
  g.get_is_cached(flag);
  EXPECT_TRUE(flag);
  EXPECT_EQ(query_e(g, 110.0), 190.0);  // the nearest node's value, not the linear 188
}

TEST(InterpolatorState, UnknownOptionsAndTypesAreErrors) {
  Interpolator g;
  bool value = true;
  EXPECT_EQ(g.get_algorithm_option("no_such_option", value), ExitStatusEnum::ERROR);
  EXPECT_NE(g.last_message().find("no_such_option"), std::string::npos);
  EXPECT_EQ(g.set_algorithm_option("no_such_option", true), ExitStatusEnum::ERROR);
  EXPECT_EQ(g.set_algorithm_type(static_cast<AlgorithmTypeEnum::type>(2)), ExitStatusEnum::ERROR);
  AlgorithmTypeEnum::type type;
  g.get_algorithm_type(type);
  EXPECT_EQ(type, AlgorithmTypeEnum::LINEAR_MULTIVARIATE);
  EXPECT_EQ(AlgorithmTypeEnum::enum_str(5), "Triangulation-based Linear Multivariate");
  EXPECT_EQ(AlgorithmTypeEnum::enum_str(4), "Unknown");
  EXPECT_NE(AlgorithmTypeEnum::enum_str(1), AlgorithmTypeEnum::enum_str(3));
}

TEST(InterpolatorState, EverySetterClearsReadiness) {
  Interpolator g = temperature_table();
  const std::vector<std::function<void(Interpolator&)>> setters = {
      [](Interpolator& e) { e.set_independent_names({"Temperature"}); },
      [](Interpolator& e) {
        e.set_dependent_names({"E", "nu"});
      },
      [](Interpolator& e) {
        e.set_independent_data({{100.0}, {20.0}, {300.0}, {200.0}});
      },
      [](Interpolator& e) {
        e.set_dependent_data(1, {0.3, 0.3, 0.3, 0.3});
      },
      [](Interpolator& e) {
        e.set_independent_data_ranges({{0.0, 500.0}});
      },
      [](Interpolator& e) { e.set_default_independent_values({30.0}); },
      [](Interpolator& e) { e.set_algorithm_type(AlgorithmTypeEnum::RADIAL_BASIS); },
      [](Interpolator& e) { e.set_is_cached(true); },
      [](Interpolator& e) { e.set_is_normalized(true); },
      [](Interpolator& e) { e.set_algorithm_option("use_cgal_triangulation", true); },
  };
  for (const auto& set : setters) {
    ASSERT_EQ(g.initialize(), ExitStatusEnum::SUCCESS) << g.last_message();
    bool ready = false;
    g.is_ready(ready);
    ASSERT_TRUE(ready);
    set(g);
    g.is_ready(ready);
    EXPECT_FALSE(ready);
    double r = 0.0;
    EXPECT_EQ(g.specific_query({"Temperature"}, {50.0}, "E", r), ExitStatusEnum::ERROR);
    EXPECT_NE(g.last_message().find("initialize"), std::string::npos);
  }
}

TEST(InterpolatorConstant, OneRowWithoutIndependentDataIsConstant) {
  Interpolator g;
  g.set_dependent_names({"a", "b", "c"});
  bool constant = true;
  g.is_constant(constant);
  EXPECT_FALSE(constant);
  g.set_dependent_data({{0.0, 0.0, 0.0}});
  g.set_dependent_data(1, {7.0});
  g.is_constant(constant);
  EXPECT_TRUE(constant);
  Table data;
  g.get_dependent_data(data);
  EXPECT_EQ(data, (Table{{0.0, 7.0, 0.0}}));
  EXPECT_EQ(g.set_dependent_data(3, {1.0}), ExitStatusEnum::ERROR);
  EXPECT_EQ(g.set_dependent_data(0, {1.0, 2.0}), ExitStatusEnum::ERROR);
  ASSERT_EQ(g.initialize(), ExitStatusEnum::SUCCESS) << g.last_message();
  std::vector<double> all;
  EXPECT_EQ(g.default_query(all), ExitStatusEnum::SUCCESS);
  EXPECT_EQ(all, (std::vector<double>{0.0, 7.0, 0.0}));
  double b = 0.0;
  // A constant answers whatever point it is asked at.
  EXPECT_EQ(g.specific_query({"Temperature"}, {500.0}, "b", b), ExitStatusEnum::SUCCESS);
  EXPECT_EQ(b, 7.0);
  EXPECT_EQ(g.default_specific_query("d", b), ExitStatusEnum::ERROR);
  EXPECT_NE(g.last_message().find("'d'"), std::string::npos);
}

TEST(Interpolator1D, InterpolatesUnsortedTableLinearly) {
  Interpolator g = temperature_table();
  ASSERT_EQ(g.initialize(), ExitStatusEnum::SUCCESS) << g.last_message();
  const Table nodes = {{20.0, 210.0}, {100.0, 190.0}, {200.0, 170.0}, {300.0, 150.0}};
  for (const auto& n : nodes) EXPECT_EQ(query_e(g, n[0]), n[1]);
  for (double t = 20.0; t <= 300.0; t += 3.7) {
    const std::size_t i = t < 100.0 ? 0 : t < 200.0 ? 1 : 2;
    const double s = (t - nodes[i][0]) / (nodes[i + 1][0] - nodes[i][0]);
    int status = -1;
    EXPECT_NEAR(query_e(g, t, &status), nodes[i][1] + s * (nodes[i + 1][1] - nodes[i][1]),
                1e-12 * 210);
    EXPECT_EQ(status, ExitStatusEnum::SUCCESS);
  }
  std::vector<double> both;
  EXPECT_EQ(g.query({"Temperature"}, {150.0}, both), ExitStatusEnum::SUCCESS);
  ASSERT_EQ(both.size(), 2u);
  EXPECT_NEAR(both[0], 180.0, 1e-12);
  EXPECT_NEAR(both[1], 0.32, 1e-14);
  EXPECT_EQ(g.default_query(both), ExitStatusEnum::SUCCESS);
  EXPECT_EQ(both[0], 210.0);
}

namespace {

// Queries a one-variable table at its nodes, just above them and at random
// points, cached and not, and compares every column with the linear blend of
// the bracketing nodes found by std::upper_bound (exact at the nodes).
void expect_brute_force_answers(const std::vector<std::string>& columns, std::vector<double> xs,
                                std::mt19937_64& rng) {
  const std::string name = "a_long_temperature_name";
  Table in, out;
  for (double x : xs) {
    in.push_back({x});
    out.push_back({std::sin(x / 40.0), x * x, -3.0 * x + 1.0, std::cos(x)});
  }
  const auto value = [&](double at, std::size_t c) {
    return out[std::find_if(in.begin(), in.end(), [&](const auto& r) { return r[0] == at; }) -
               in.begin()][c];
  };
  std::sort(xs.begin(), xs.end());
  std::vector<double> probes = xs;
  std::uniform_real_distribution<double> inside(xs.front(), xs.back());
  for (int k = 0; k < 200; ++k) probes.push_back(inside(rng));
  for (std::size_t i = 0; i + 1 < xs.size(); ++i)
    probes.push_back(std::nextafter(xs[i], xs[i + 1]));
  Interpolator g;
  g.set_independent_names({name});
  g.set_dependent_names(columns);
  g.set_independent_data(in);
  g.set_dependent_data(out);
  for (bool cached : {false, true}) {
    g.set_is_cached(cached);
    ASSERT_EQ(g.initialize(), ExitStatusEnum::SUCCESS) << g.last_message();
    for (double x : probes) {
      const std::size_t i = std::min<std::size_t>(
          std::upper_bound(xs.begin(), xs.end(), x) - xs.begin() - 1, xs.size() - 2);
      const double t = (x - xs[i]) / (xs[i + 1] - xs[i]);
      std::vector<double> all;
      ASSERT_EQ(g.query({name}, {x}, all), ExitStatusEnum::SUCCESS);
      for (std::size_t c = 0; c < columns.size(); ++c) {
        const double v0 = value(xs[i], c), v1 = value(xs[i + 1], c);
        const double tolerance = 1e-12 * (std::abs(v0) + std::abs(v1));
        double r = 0.0;
        ASSERT_EQ(g.specific_query({name}, {x}, columns[c], r), ExitStatusEnum::SUCCESS);
        if (x == xs[i])
          EXPECT_EQ(r, v0) << "node " << x << ", column " << columns[c];
        else
          EXPECT_NEAR(r, v0 + t * (v1 - v0), tolerance)
              << "x " << x << ", " << columns[c] << ", cached " << cached;
        EXPECT_NEAR(all[c], r, tolerance);
      }
    }
    double r = 0.0;
    EXPECT_EQ(g.specific_query({name}, {xs[1]}, "lamina_property_Z_strength", r),
              ExitStatusEnum::ERROR);
    EXPECT_EQ(g.specific_query({"a_long_tempERature_name"}, {xs[1]}, "E", r),
              ExitStatusEnum::ERROR);
  }
}

}  // namespace

TEST(Interpolator1D, MatchesBruteForceInEveryColumnOnRandomTables) {
  // Long names that agree in length and in their first and last 8 bytes, so
  // that a match on those alone takes the wrong column: two columns, then one
  // column and the unknown name asked for above.
  const std::vector<std::vector<std::string>> column_sets = {
      {"E", "lamina_property_X_strength", "lamina_property_Y_strength", "nu12"},
      {"E", "lamina_property_X_strength", "nu12_in_the_plane_of_the_ply", "nu12"}};
  std::mt19937_64 rng(42);
  std::uniform_real_distribution<double> u(-50.0, 400.0);
  for (const auto& columns : column_sets) {
    for (std::size_t n : {2, 3, 10, 57, 1000}) {
      std::vector<double> random(n), regular(n);
      for (std::size_t i = 0; i < n; ++i) {
        random[i] = u(rng);
        regular[i] = 25.0 * static_cast<double>(i) - 50.0;
      }
      expect_brute_force_answers(columns, random, rng);
      expect_brute_force_answers(columns, regular, rng);
    }
  }
}

TEST(Interpolator1D, AnswersOnTablesTooNarrowOrTooWideForTheBucketIndex) {
  // Abscissae so close that buckets per unit of x overflow to infinity, and so
  // far apart that the range itself does; values at x, at 3/4 of the way
  // between the first two nodes and at 1/4 between the next two.
  const std::vector<std::vector<double>> cases = {{0.0, 4e-310, 1e-309, 3e-310, 5.5e-310},
                                                  {-1.6e308, 0.0, 1.6e308, -4e307, 4e307}};
  for (const auto& c : cases) {
    Interpolator g;
    g.set_independent_names({"x"});
    g.set_dependent_names({"y"});
    g.set_independent_data({{c[0]}, {c[1]}, {c[2]}});
    g.set_dependent_data({{1.0}, {3.0}, {2.0}});
    for (bool cached : {false, true}) {
      g.set_is_cached(cached);
      ASSERT_EQ(g.initialize(), ExitStatusEnum::SUCCESS) << g.last_message();
      double r = 0.0;
      ASSERT_EQ(g.specific_query({"x"}, {c[3]}, "y", r), ExitStatusEnum::SUCCESS)
          << g.last_message();
      EXPECT_NEAR(r, 2.5, 1e-12) << c[3];  // subnormal abscissae keep few digits
      ASSERT_EQ(g.specific_query({"x"}, {c[4]}, "y", r), ExitStatusEnum::SUCCESS)
          << g.last_message();
      EXPECT_NEAR(r, 2.75, 1e-12) << c[4];
      ASSERT_EQ(g.specific_query({"x"}, {c[1]}, "y", r), ExitStatusEnum::SUCCESS)
          << g.last_message();
      EXPECT_EQ(r, 3.0);
    }
  }
}

TEST(Interpolator1D, FindsTheRightIntervalInUnevenlySpacedTables) {
  // Dense clusters, long gaps and nearly equal abscissae, so many intervals
  // share a stretch of the range and long stretches hold none; a curved
  // value column makes an answer from a wrong interval visible.
  std::vector<double> xs = {-1.0, 0.0, 1e-9, 2e-9, 1e-3, 0.5, 0.5 + 1e-12, 1000.0};
  for (int i = 0; i < 40; ++i) xs.push_back(1.0 + 0.001 * i);
  for (int i = 1; i <= 20; ++i) xs.push_back(std::pow(1.7, i));
  std::sort(xs.begin(), xs.end());
  xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
  Table in, out;
  for (auto it = xs.rbegin(); it != xs.rend(); ++it) {  // given in descending order
    in.push_back({*it});
    out.push_back({std::sin(*it) + *it * *it});
  }
  Interpolator g;
  g.set_independent_names({"x"});
  g.set_dependent_names({"y"});
  g.set_independent_data(in);
  g.set_dependent_data(out);
  for (bool cached : {false, true}) {
    g.set_is_cached(cached);
    ASSERT_EQ(g.initialize(), ExitStatusEnum::SUCCESS) << g.last_message();
    for (std::size_t i = 0; i + 1 < xs.size(); ++i) {
      const double a = xs[i], b = xs[i + 1];
      const double fa = std::sin(a) + a * a, fb = std::sin(b) + b * b;
      for (double x :
           {a, std::nextafter(a, b), a + 0.25 * (b - a), a + 0.5 * (b - a), std::nextafter(b, a)}) {
        double r = 0.0;
        ASSERT_EQ(g.specific_query({"x"}, {x}, "y", r), ExitStatusEnum::SUCCESS) << x;
        const double expected = fa + (x - a) / (b - a) * (fb - fa);
        EXPECT_NEAR(r, expected, 1e-9 * (std::abs(fa) + std::abs(fb)))
            << "cached " << cached << ", x = " << x;
      }
    }
    double r = 0.0;
    ASSERT_EQ(g.specific_query({"x"}, {xs.back()}, "y", r), ExitStatusEnum::SUCCESS);
    EXPECT_EQ(r, std::sin(xs.back()) + xs.back() * xs.back());
  }
}

TEST(Interpolator1D, ClampsToRangeThenExtrapolatesOrProjects) {
  Interpolator g = temperature_table();
  g.set_independent_data_ranges({{-100.0, 350.0}});
  ASSERT_EQ(g.initialize(), ExitStatusEnum::SUCCESS);
  int status = -1;
  // 500 is clamped to 350, then extrapolated along the last segment.
  EXPECT_NEAR(query_e(g, 500.0, &status), 140.0, 1e-12);
  EXPECT_EQ(status, ExitStatusEnum::WARNING);
  EXPECT_NE(g.last_message().find("clamped to 350"), std::string::npos);
  EXPECT_NEAR(query_e(g, -100.0, &status), 240.0, 1e-12);
  EXPECT_EQ(status, ExitStatusEnum::WARNING);
  g.set_algorithm_option("project_to_convex_hull", true);
  ASSERT_EQ(g.initialize(), ExitStatusEnum::SUCCESS);
  EXPECT_EQ(query_e(g, 500.0, &status), 150.0);
  EXPECT_EQ(status, ExitStatusEnum::WARNING);
  EXPECT_EQ(query_e(g, 0.0, &status), 210.0);
}

TEST(Interpolator1D, NamesInAnyOrderAndDefaultsForMissingOnes) {
  Interpolator g;
  g.set_independent_names({"T", "shear", "fv1"});
  g.set_dependent_names({"f"});
  Table x, y;
  for (double t : {0.0, 1.0, 2.0})
    for (double a : {0.0, 10.0}) {
      x.push_back({t, a, 5.0});  // fv1 constant: dropped
      y.push_back({3.0 * t - 0.5 * a});
    }
  g.set_independent_data(x);
  g.set_dependent_data(y);
  g.set_default_independent_values({1.5, 4.0, 5.0});
  ASSERT_EQ(g.initialize(), ExitStatusEnum::SUCCESS) << g.last_message();
  double r = 0.0;
  EXPECT_EQ(g.specific_query({"shear", "T"}, {6.0, 0.5}, "f", r), ExitStatusEnum::SUCCESS);
  EXPECT_NEAR(r, 1.5 - 3.0, 1e-12);
  EXPECT_EQ(g.specific_query({"shear"}, {2.0}, "f", r), ExitStatusEnum::SUCCESS);
  EXPECT_NEAR(r, 4.5 - 1.0, 1e-12);
  EXPECT_EQ(g.default_specific_query("f", r), ExitStatusEnum::SUCCESS);
  EXPECT_NEAR(r, 4.5 - 2.0, 1e-12);
  // The dropped variable is accepted but a different value is a warning.
  EXPECT_EQ(g.specific_query({"fv1", "T", "shear"}, {7.0, 1.0, 0.0}, "f", r),
            ExitStatusEnum::WARNING);
  EXPECT_NEAR(r, 3.0, 1e-12);
  EXPECT_NE(g.last_message().find("'fv1'"), std::string::npos);
}

TEST(InterpolatorErrors, BadQueriesGiveStatusOneWithReason) {
  Interpolator g = temperature_table();
  double r = 0.0;
  EXPECT_EQ(g.specific_query({"Temperature"}, {50.0}, "E", r), ExitStatusEnum::ERROR);
  ASSERT_EQ(g.initialize(), ExitStatusEnum::SUCCESS);
  const struct {
    std::vector<std::string> names;
    std::vector<double> values;
    std::string dependent, reason;
  } cases[] = {
      {{"Temp"}, {50.0}, "E", "unknown independent variable 'Temp'"},
      {{"Temperature"}, {50.0}, "G", "unknown dependent variable 'G'"},
      {{"Temperature"}, {50.0, 1.0}, "E", "1 names but 2 values"},
      {{"Temperature", "Temperature"}, {50.0, 60.0}, "E", "given twice"},
      {{"Temperature"}, {std::nan("")}, "E", "NaN"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(g.specific_query(c.names, c.values, c.dependent, r), ExitStatusEnum::ERROR)
        << c.reason;
    EXPECT_NE(g.last_message().find(c.reason), std::string::npos) << g.last_message();
  }
  g.set_default_independent_values({});
  ASSERT_EQ(g.initialize(), ExitStatusEnum::SUCCESS);
  EXPECT_EQ(g.default_specific_query("E", r), ExitStatusEnum::ERROR);
  EXPECT_EQ(g.specific_query({}, {}, "E", r), ExitStatusEnum::ERROR);
  EXPECT_NE(g.last_message().find("no value given for 'Temperature'"), std::string::npos);
}

TEST(InterpolatorErrors, BadTablesFailToInitialize) {
  const struct {
    Table x, y;
    std::string reason;
  } cases[] = {
      {{{1.0}, {2.0}}, {{1.0}}, "independent data have 2 rows but dependent data have 1"},
      {{{1.0}, {2.0, 3.0}}, {{1.0}, {2.0}}, "independent data row 1 has 2 values for 1 names"},
      {{{1.0}, {1.0}, {2.0}}, {{1.0}, {2.0}, {3.0}}, "data points 0 and 1 are the same point"},
      {{{1.0}, {std::nan("")}}, {{1.0}, {2.0}}, "not a finite number"},
      {{{1.0}, {2.0}}, {{1.0}, {std::nan("")}}, "dependent data row 1"},
      {{}, {{1.0}, {2.0}}, "no independent data"},
  };
  for (const auto& c : cases) {
    Interpolator g;
    g.set_independent_names({"x0"});
    g.set_dependent_names({"f"});
    g.set_independent_data(c.x);
    g.set_dependent_data(c.y);
    EXPECT_EQ(g.initialize(), ExitStatusEnum::ERROR);
    EXPECT_NE(g.last_message().find(c.reason), std::string::npos) << g.last_message();
    bool ready = true;
    g.is_ready(ready);
    EXPECT_FALSE(ready);
  }
  Interpolator g = temperature_table();
  g.set_independent_data_ranges({{5.0, 1.0}});
  EXPECT_EQ(g.check_consistency(), ExitStatusEnum::ERROR);
  EXPECT_NE(g.last_message().find("lower bound"), std::string::npos);
}

TEST(InterpolatorNearest, ReturnsValueOfNearestNodeLikeBruteForceAtAnyScale) {
  // Coordinates near 1e300 or 1e-300 overflow or lose their squared
  // distances; queries 1e300 times the data's size away from it do so at any
  // scale. The brute force works in long double, where neither happens.
  for (double scale : {1.0, 1e300, 1e-300}) {
    for (std::size_t d : {1u, 2u, 3u}) {
      Table points = uniform_points(200, d, 7 + d);
      Table values;
      for (std::size_t i = 0; i < points.size(); ++i) values.push_back({static_cast<double>(i)});
      for (auto& p : points)
        for (double& c : p) c *= scale;
      Interpolator g = engine(points, values, AlgorithmTypeEnum::NEAREST_NEIGHBOR);
      ASSERT_EQ(g.initialize(), ExitStatusEnum::SUCCESS) << g.last_message();
      Table queries = uniform_points(60, d, 99, -0.2, 1.2);
      for (const auto& q : uniform_points(20, d, 98, -1.0, 1.0)) {
        queries.push_back(q);
        for (double& c : queries.back()) c *= std::min(1e300, 1e308 / scale);
      }
      for (auto q : queries) {
        for (double& c : q) c *= scale;
        std::size_t best = 0;
        long double best_d2 = 1e4000L;
        for (std::size_t i = 0; i < points.size(); ++i) {
          long double d2 = 0.0L;
          for (std::size_t k = 0; k < d; ++k)
            d2 += std::pow(static_cast<long double>(q[k]) - points[i][k], 2);
          if (d2 < best_d2) best_d2 = d2, best = i;
        }
        int status = -1;
        EXPECT_EQ(at(g, q, &status), static_cast<double>(best))
            << "scale " << scale << ", q[0] " << q[0];
        EXPECT_NE(status, ExitStatusEnum::ERROR);
      }
    }
  }
}

TEST(InterpolatorErrors, InfiniteAndHugeValuesEndInAnErrorOrAFiniteAnswer) {
  const double inf = std::numeric_limits<double>::infinity();
  for (std::size_t d : {1u, 2u, 3u}) {
    const Table points = uniform_points(30, d, 11 + d);
    for (auto type : {AlgorithmTypeEnum::LINEAR_MULTIVARIATE, AlgorithmTypeEnum::NEAREST_NEIGHBOR,
                      AlgorithmTypeEnum::RADIAL_BASIS}) {
      for (bool project : {false, true}) {
        Interpolator g = engine(points, tabulate(points, affine), type, false, project);
        ASSERT_EQ(g.initialize(), ExitStatusEnum::SUCCESS) << g.last_message();
        for (double v : {inf, -inf, 2e300, -1e308, 1e308}) {
          for (std::size_t k = 0; k < d; ++k) {
            std::vector<double> q(d, 0.5);
            q[k] = v;
            int status = -1;
            const double r = at(g, q, &status);
            if (std::isinf(v)) {
              EXPECT_EQ(status, ExitStatusEnum::ERROR) << v;
              EXPECT_NE(g.last_message().find("not a finite number"), std::string::npos)
                  << g.last_message();
            } else {
              EXPECT_TRUE(status == ExitStatusEnum::ERROR ||
                          (status == ExitStatusEnum::WARNING && std::isfinite(r)))
                  << "type " << type << ", d " << d << ", value " << v << ": " << status << " "
                  << r;
            }
          }
        }
        g.set_default_independent_values(std::vector<double>(d, inf));
        EXPECT_EQ(g.initialize(), ExitStatusEnum::ERROR);
        EXPECT_NE(g.last_message().find("not a finite number"), std::string::npos)
            << g.last_message();
      }
    }
  }
}

TEST(Interpolator1D, TableWiderThanTheLargestDoubleInterpolatesAndExtrapolates) {
  Interpolator g = engine({{-1e308}, {1e308}}, {{0.0}, {1.0}});
  for (bool cached : {false, true}) {
    g.set_is_cached(cached);
    ASSERT_EQ(g.initialize(), ExitStatusEnum::SUCCESS);
    int status = -1;
    EXPECT_EQ(at(g, {0.0}, &status), 0.5);
    EXPECT_EQ(status, ExitStatusEnum::SUCCESS);
    EXPECT_EQ(at(g, {5e307}, &status), 0.75);
    EXPECT_EQ(at(g, {-1e308}, &status), 0.0);
    EXPECT_EQ(at(g, {1e308}, &status), 1.0);
    EXPECT_EQ(at(g, {-1.5e308}, &status), -0.25);
    EXPECT_EQ(status, ExitStatusEnum::WARNING);
  }
}

TEST(InterpolatorRadialBasis, RefusesMoreDataPointsThanItsCap) {
  const Table points = uniform_points(2001, 2, 5);
  Interpolator g = engine(points, tabulate(points, affine), AlgorithmTypeEnum::RADIAL_BASIS);
  EXPECT_EQ(g.initialize(), ExitStatusEnum::ERROR);
  EXPECT_NE(g.last_message().find("takes at most 2000 data points"), std::string::npos)
      << g.last_message();
}

TEST(InterpolatorRadialBasis, InterpolatesNodesAndReproducesAffineData) {
  for (std::size_t d : {1u, 2u, 3u}) {
    const Table points = uniform_points(40, d, 3 + d);
    auto smooth = [](const std::vector<double>& x) { return std::sin(3.0 * x[0]) + affine(x); };
    Interpolator g = engine(points, tabulate(points, smooth), AlgorithmTypeEnum::RADIAL_BASIS);
    ASSERT_EQ(g.initialize(), ExitStatusEnum::SUCCESS) << g.last_message();
    for (const auto& p : points) EXPECT_NEAR(at(g, p), smooth(p), 1e-9);
    Interpolator h = engine(points, tabulate(points, affine), AlgorithmTypeEnum::RADIAL_BASIS);
    ASSERT_EQ(h.initialize(), ExitStatusEnum::SUCCESS);
    for (const auto& q : uniform_points(20, d, 5)) EXPECT_NEAR(at(h, q), affine(q), 1e-9);
  }
  // Collinear points cannot determine the linear part in two variables.
  Interpolator g = engine({{0.0, 0.0}, {1.0, 1.0}, {2.0, 2.0}}, {{1.0}, {2.0}, {3.0}},
                          AlgorithmTypeEnum::RADIAL_BASIS);
  EXPECT_EQ(g.initialize(), ExitStatusEnum::ERROR);
}

TEST(InterpolatorCopy, CopyIsIndependent) {
  Interpolator g = temperature_table();
  ASSERT_EQ(g.initialize(), ExitStatusEnum::SUCCESS);
  Interpolator copy(g);
  copy.set_dependent_data({{1.0, 0.0}, {1.0, 0.0}, {1.0, 0.0}, {1.0, 0.0}});
  ASSERT_EQ(copy.initialize(), ExitStatusEnum::SUCCESS);
  EXPECT_EQ(query_e(copy, 150.0), 1.0);
  EXPECT_NEAR(query_e(g, 150.0), 180.0, 1e-12);
  Interpolator assigned;
  assigned = copy;
  copy.set_is_cached(true);
  bool flag = true;
  assigned.get_is_cached(flag);
  EXPECT_FALSE(flag);
  EXPECT_EQ(query_e(assigned, 150.0), 1.0);
}

TEST(InterpolatorCache, RepeatedAndNearbyQueriesSkipTheSearch) {
  Interpolator g = temperature_table();
  g.set_is_cached(true);
  ASSERT_EQ(g.initialize(), ExitStatusEnum::SUCCESS);
  auto& stats = qorva_gil::thread_query_statistics();
  stats = {};
  for (double t = 20.0; t < 100.0; t += 1.0)
    EXPECT_NEAR(query_e(g, t), 210.0 - (t - 20.0) / 4.0, 1e-12);
  EXPECT_EQ(stats.located, 1u);
  EXPECT_EQ(stats.cell_hits, 79u);
  EXPECT_NEAR(query_e(g, 250.0), 160.0, 1e-12);
  EXPECT_EQ(stats.located, 2u);
  // Without caching nothing is counted and answers are the same.
  g.set_is_cached(false);
  ASSERT_EQ(g.initialize(), ExitStatusEnum::SUCCESS);
  stats = {};
  EXPECT_NEAR(query_e(g, 250.0), 160.0, 1e-12);
  EXPECT_EQ(stats.located + stats.cell_hits, 0u);
}

TEST(InterpolatorConcurrency, ThreadsQueryOneEngineAndGetEveryAnswerRight) {
  for (bool cached : {false, true}) {
    Interpolator line = temperature_table();
    line.set_is_cached(cached);
    ASSERT_EQ(line.initialize(), ExitStatusEnum::SUCCESS);
    const Table points = uniform_points(300, 2, 11);
    Interpolator plane = engine(points, tabulate(points, affine));
    plane.set_is_cached(cached);
    ASSERT_EQ(plane.initialize(), ExitStatusEnum::SUCCESS);
    std::vector<int> failures(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
      threads.emplace_back([&, t] {
        const Table queries = uniform_points(2000, 2, 100 + t, 0.2, 0.8);
        for (std::size_t i = 0; i < queries.size(); ++i) {
          const double temperature = 20.0 + 2.8 * queries[i][0] * 100.0;
          double e = 0.0;
          if (line.specific_query({"Temperature"}, {temperature}, "E", e) != 0) ++failures[t];
          const double expected = temperature < 100   ? 210 - (temperature - 20) / 4
                                  : temperature < 200 ? 190 - (temperature - 100) / 5
                                                      : 170 - (temperature - 200) / 5;
          if (std::abs(e - expected) > 1e-10) ++failures[t];
          if (std::abs(at(plane, queries[i]) - affine(queries[i])) > 1e-10) ++failures[t];
          // Each thread sees its own status text.
          if (i % 100 == 0) {
            double r = 0.0;
            line.specific_query({"Temperature"}, {1000.0 + t}, "E", r);
            if (line.last_message().find(std::to_string(1000 + t)) == std::string::npos)
              ++failures[t];
          }
        }
      });
    for (auto& th : threads) th.join();
    for (int t = 0; t < 4; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t << " cached " << cached;
  }
}
