// specific_query's one-variable shortcut against the general query path: the same tables and points
// must give bit-identical answers, the same status and the same message. The general path is query().
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/test_interpolator_support.hpp"

using namespace gil_test;

namespace {

// Distinct random names of 1 to 40 bytes. Every other long name gets a twin
// that agrees with it in length and in its first and last 8 bytes, so a
// matcher that looks only at those takes the wrong one.
std::vector<std::string> random_names(std::size_t count, std::mt19937_64& rng) {
  std::uniform_int_distribution<int> length(1, 40), letter('a', 'z');
  std::set<std::string> seen;
  std::vector<std::string> names;
  while (names.size() < count) {
    std::string name(static_cast<std::size_t>(length(rng)), 'x');
    for (char& c : name) c = static_cast<char>(letter(rng));
    if (!seen.insert(name).second) continue;
    names.push_back(name);
    if (name.size() >= 17 && names.size() < count && names.size() % 2) {
      name[8] = name[8] == 'a' ? 'b' : 'a';  // a middle byte
      if (seen.insert(name).second) names.push_back(name);
    }
  }
  std::shuffle(names.begin(), names.end(), rng);
  return names;
}

// A name that differs from `name` in one byte: its last one, or a middle one
// for names long enough to have middle bytes.
std::string near_miss(std::string name) {
  char& c = name[name.size() >= 17 ? 8 : name.size() - 1];
  c = c == 'q' ? 'r' : 'q';
  return name;
}

struct Case {
  std::vector<std::string> independent, dependent;
  Table points, values;
  Interpolator::ranges ranges;
};

Case random_case(std::size_t dim, std::size_t columns, std::mt19937_64& rng) {
  Case c;
  const std::vector<std::string> names = random_names(dim + columns, rng);
  c.independent.assign(names.begin(), names.begin() + static_cast<std::ptrdiff_t>(dim));
  c.dependent.assign(names.begin() + static_cast<std::ptrdiff_t>(dim), names.end());
  std::uniform_real_distribution<double> u(-100.0, 300.0);
  const std::size_t n = dim == 1 ? 2 + rng() % 150 : 12 + rng() % 30;
  c.points = dim == 1 ? uniform_points(n, 1, static_cast<unsigned>(rng()), -100.0, 300.0)
                      : grid_points(3, dim);
  for (std::size_t i = c.points.size(); dim > 1 && i < n; ++i)
    c.points.push_back(uniform_points(1, dim, static_cast<unsigned>(rng()))[0]);
  for (std::size_t i = 0; i < c.points.size(); ++i) {
    std::vector<double> row(columns);
    for (double& v : row) v = u(rng);
    c.values.push_back(row);
  }
  if (rng() % 2) {
    for (std::size_t k = 0; k < dim; ++k) {
      const double a = u(rng), b = u(rng);
      c.ranges.push_back({std::min(a, b), std::max(a, b)});
    }
  }
  return c;
}

// Query points: random ones over and beyond the data, every node and the
// double just above it, range bounds, and values that are no numbers.
std::vector<double> probes(const Case& c, std::mt19937_64& rng) {
  std::uniform_real_distribution<double> u(-150.0, 350.0);
  std::vector<double> xs;
  for (int k = 0; k < 150; ++k) xs.push_back(u(rng));
  if (c.independent.size() == 1) {
    for (const auto& p : c.points) {
      xs.push_back(p[0]);
      xs.push_back(std::nextafter(p[0], 1e300));
    }
  }
  for (const auto& r : c.ranges) xs.insert(xs.end(), {r.first, r.second});
  xs.insert(xs.end(), {std::nan(""), std::numeric_limits<double>::infinity()});
  return xs;
}

void expect_same_answers(const Interpolator& g, const Case& c, std::mt19937_64& rng) {
  const std::size_t dim = c.independent.size();
  std::uniform_int_distribution<std::size_t> column(0, c.dependent.size() - 1);
  const std::vector<double> xs = probes(c, rng);
  for (std::size_t q = 0; q < xs.size(); ++q) {
    std::vector<double> point(dim);
    for (std::size_t k = 0; k < dim; ++k) point[k] = k == 0 ? xs[q] : xs[(q * 7 + k) % xs.size()];
    std::vector<double> all;
    const int general = g.query(c.independent, point, all);
    const std::string general_message = g.last_message();
    const std::size_t col = column(rng);
    double r = -1.0;
    ASSERT_EQ(g.specific_query(c.independent, point, c.dependent[col], r), general)
        << general_message;
    EXPECT_EQ(g.last_message(), general_message);
    if (general != ExitStatusEnum::ERROR) {
      EXPECT_EQ(r, all[col]) << "x = " << point[0] << ", column " << c.dependent[col];
    }
  }
  // Names that differ from the stored ones in one byte are unknown to both.
  double r = 0.0;
  std::vector<double> all;
  const std::vector<double> inside(dim, c.points[0][0]);
  const std::string unknown = near_miss(c.dependent[column(rng)]);
  EXPECT_EQ(g.specific_query(c.independent, inside, unknown, r), ExitStatusEnum::ERROR);
  EXPECT_EQ(g.last_message(), "unknown dependent variable '" + unknown + "'");
  std::vector<std::string> names = c.independent;
  names[0] = near_miss(names[0]);
  const int general = g.query(names, inside, all);
  const std::string general_message = g.last_message();
  EXPECT_EQ(general, ExitStatusEnum::ERROR);
  EXPECT_EQ(g.specific_query(names, inside, c.dependent[0], r), general);
  EXPECT_EQ(g.last_message(), general_message);
}

}  // namespace

TEST(FastPath, SpecificQueryAnswersAsTheGeneralPathOnRandomTables) {
  std::mt19937_64 rng(20261207);
  for (int trial = 0; trial < 48; ++trial) {
    const std::size_t dim = 1 + static_cast<std::size_t>(trial % 3);
    const std::size_t columns = trial % 4 == 0 ? 65 + rng() % 16 : 1 + rng() % 8;
    const Case c = random_case(dim, columns, rng);
    Interpolator g;
    g.set_independent_names(c.independent);
    g.set_dependent_names(c.dependent);
    g.set_independent_data(c.points);
    g.set_dependent_data(c.values);
    g.set_independent_data_ranges(c.ranges);
    g.set_is_normalized(trial % 5 == 0);
    for (bool cached : {false, true}) {
      SCOPED_TRACE("trial " + std::to_string(trial) + ", cached " + std::to_string(cached));
      g.set_is_cached(cached);
      ASSERT_EQ(g.initialize(), ExitStatusEnum::SUCCESS) << g.last_message();
      expect_same_answers(g, c, rng);
    }
  }
}

TEST(FastPath, LastMessageFollowsEveryStatusOfTheCallingThread) {
  // A success after a warning clears the thread's message, on the shortcut
  // and on the general path; a non-const error on a ready engine is reported
  // until the thread's next query; another thread's warning is not this one's.
  Interpolator g = engine({{0.0}, {1.0}, {2.0}}, {{0.0}, {10.0}, {20.0}});
  g.set_independent_data_ranges({{0.0, 2.0}});
  ASSERT_EQ(g.initialize(), ExitStatusEnum::SUCCESS);
  std::vector<double> all;
  EXPECT_EQ(g.specific_query({"x0"}, {0.5}, "f", all.emplace_back()), ExitStatusEnum::SUCCESS);
  EXPECT_EQ(g.last_message(), "");
  EXPECT_EQ(g.specific_query({"x0"}, {3.0}, "f", all.emplace_back()), ExitStatusEnum::WARNING);
  EXPECT_NE(g.last_message(), "");
  EXPECT_EQ(g.specific_query({"x0"}, {0.5}, "f", all.emplace_back()), ExitStatusEnum::SUCCESS);
  EXPECT_EQ(g.last_message(), "");
  EXPECT_EQ(g.specific_query({"x0"}, {3.0}, "f", all.emplace_back()), ExitStatusEnum::WARNING);
  EXPECT_EQ(g.query({"x0"}, {1.5}, all), ExitStatusEnum::SUCCESS);
  EXPECT_EQ(g.last_message(), "");
  EXPECT_EQ(g.set_algorithm_option("no such option", true), ExitStatusEnum::ERROR);
  EXPECT_NE(g.last_message(), "");
  double r = 0.0;
  EXPECT_EQ(g.specific_query({"x0"}, {0.5}, "f", r), ExitStatusEnum::SUCCESS);
  EXPECT_EQ(g.last_message(), "");
  Interpolator h = g;  // a copy starts with the engine's message, for every thread
  EXPECT_NE(h.last_message(), "");
  std::thread([&] {
    EXPECT_EQ(g.specific_query({"x0"}, {3.0}, "f", r), ExitStatusEnum::WARNING);
  }).join();
  EXPECT_EQ(g.last_message(), "");
}
