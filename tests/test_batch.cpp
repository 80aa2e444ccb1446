// Batch queries of the engine and of PropertySet against the single-point queries they must equal,
// value for value and status for status, and the errors of the call itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "qorva_mat/error.hpp"
#include "qorva_mat/property_set.hpp"
#include "tests/test_interpolator_support.hpp"

using namespace gil_test;
using Status = Interpolator::status;

namespace {

// Points in the order of `names` (a permutation of a subset of the stored
// variables): random ones in [low, high] (by default over and beyond the data
// and its ranges), a sorted run, and values that are no numbers.
std::vector<double> batch_points(std::size_t width, std::size_t count, std::mt19937_64& rng,
                                 double low = -0.3, double high = 1.3) {
  std::uniform_real_distribution<double> u(low, high);
  std::vector<double> points(width * count);
  for (double& v : points) v = u(rng);
  if (width == 1)
    std::sort(points.begin(), points.begin() + static_cast<std::ptrdiff_t>(count / 2));
  points[0] = std::nan("");
  if (count > 3) points[width * 3] = -std::numeric_limits<double>::infinity();
  return points;
}

// Every point of a batch against query() and specific_query() of that point.
void expect_batch_equals_single_queries(const Interpolator& g,
                                        const std::vector<std::string>& names,
                                        const std::vector<double>& points, std::size_t columns) {
  const std::size_t width = names.size(), count = points.size() / width;
  std::vector<double> all(count * columns), one(count);
  std::vector<Status> all_status(count), one_status(count);
  const Status worst = g.batch_query(names, points.data(), count, all.data(), all_status.data());
  const std::string worst_message = g.last_message();
  g.batch_specific_query(names, points.data(), count, "f1", one.data(), one_status.data());
  Status expected_worst = ExitStatusEnum::SUCCESS;
  std::string expected_message;
  for (std::size_t i = 0; i < count; ++i) {
    const std::vector<double> point(points.begin() + static_cast<std::ptrdiff_t>(i * width),
                                    points.begin() + static_cast<std::ptrdiff_t>((i + 1) * width));
    std::vector<double> single;
    const Status status = g.query(names, point, single);
    double value = 0.0;
    EXPECT_EQ(g.specific_query(names, point, "f1", value), status);
    EXPECT_EQ(all_status[i], status) << "point " << i;
    EXPECT_EQ(one_status[i], status) << "point " << i;
    if (status == ExitStatusEnum::ERROR) {
      EXPECT_TRUE(std::isnan(one[i]));
    } else {
      EXPECT_EQ(one[i], value) << "point " << i;
      for (std::size_t c = 0; c < columns; ++c)
        EXPECT_EQ(all[i * columns + c], single[c]) << "point " << i;
    }
    const bool worse =
        status == ExitStatusEnum::ERROR
            ? expected_worst != ExitStatusEnum::ERROR
            : status == ExitStatusEnum::WARNING && expected_worst == ExitStatusEnum::SUCCESS;
    if (worse) {
      expected_worst = status;
      expected_message = "point " + std::to_string(i) + ": " + g.last_message();
    }
  }
  EXPECT_EQ(worst, expected_worst);
  EXPECT_EQ(worst_message, expected_message);
}

}  // namespace

TEST(BatchQuery, EqualsSingleQueriesPointByPointForEveryAlgorithm) {
  std::mt19937_64 rng(99);
  // Two and three variables take the linear mesh's unrolled walks, four its general one.
  for (std::size_t d : {1u, 2u, 3u, 4u}) {
    const Table points = uniform_points(d == 1 ? 40 : 25, d, static_cast<unsigned>(d));
    Table values;
    for (const auto& p : points) values.push_back({affine(p), std::sin(5.0 * p[0]), p[0] * p[0]});
    for (auto type : {AlgorithmTypeEnum::LINEAR_MULTIVARIATE, AlgorithmTypeEnum::NEAREST_NEIGHBOR,
                      AlgorithmTypeEnum::RADIAL_BASIS}) {
      Interpolator g = engine(points, values, type);
      g.set_dependent_names({"f0", "f1", "f2"});
      g.set_independent_data_ranges(Interpolator::ranges(d, {-0.1, 1.1}));
      g.set_default_independent_values(std::vector<double>(d, 0.25));
      for (bool cached : {false, true}) {
        g.set_is_cached(cached);
        ASSERT_EQ(g.initialize(), ExitStatusEnum::SUCCESS) << g.last_message();
        SCOPED_TRACE("d " + std::to_string(d) + ", type " + std::to_string(type));
        // Every variable in stored order, then the last one left to its default and the rest reversed.
        std::vector<std::string> names = variable_names(d);
        expect_batch_equals_single_queries(g, names, batch_points(d, 203, rng),
                                           3);  // several chunks, a partial one
        // Inside the ranges, so that whole chunks need no clamping; some points
        // still lie outside the data.
        expect_batch_equals_single_queries(g, names, batch_points(d, 203, rng, -0.1, 1.1), 3);
        names.pop_back();
        std::reverse(names.begin(), names.end());
        if (!names.empty())
          expect_batch_equals_single_queries(g, names, batch_points(names.size(), 64, rng), 3);
      }
    }
  }
}

TEST(BatchQuery, ErrorsOfTheCallMarkEveryPoint) {
  const Table points = uniform_points(10, 2, 3);
  Interpolator g = engine(points, tabulate(points, affine));
  const std::vector<double> xs = {0.5, 0.5, 0.2, 0.7};
  std::vector<double> out(2, 0.0);
  std::vector<Status> statuses(2, ExitStatusEnum::SUCCESS);
  const auto expect_all_errors = [&](const std::vector<std::string>& names,
                                     const std::string& dependent, const std::string& message) {
    const Status s =
        dependent.empty()
            ? g.batch_query(names, xs.data(), 2, out.data(), statuses.data())
            : g.batch_specific_query(names, xs.data(), 2, dependent, out.data(), statuses.data());
    EXPECT_EQ(s, ExitStatusEnum::ERROR);
    EXPECT_EQ(g.last_message(), message);
    for (std::size_t i = 0; i < 2; ++i) {
      EXPECT_EQ(statuses[i], ExitStatusEnum::ERROR);
      EXPECT_TRUE(std::isnan(out[i]));
    }
  };
  expect_all_errors({"x0", "x1"}, "", "query before initialize(): the engine is not ready");
  ASSERT_EQ(g.initialize(), ExitStatusEnum::SUCCESS);
  expect_all_errors({"x0", "y"}, "", "unknown independent variable 'y' in the query");
  expect_all_errors({"x1", "x1"}, "", "independent variable 'x1' is given twice in the query");
  expect_all_errors({"x0"}, "", "no value given for 'x1' and no default values are set");
  expect_all_errors({"x0", "x1"}, "g", "unknown dependent variable 'g'");
  EXPECT_EQ(g.batch_query({"x0", "x1"}, xs.data(), 0, out.data()), ExitStatusEnum::SUCCESS);
}

TEST(BatchQuery, PropertySetThrowsOnlyWithoutStatuses) {
  qorva_mat::PropertySet set("Elasticity", {"E", "nu"});
  set.set({"Temperature"}, {{20.0}, {100.0}}, {}, {20.0}, {{200.0, 0.3}, {180.0, 0.32}},
          qorva_gil::AlgorithmTypeEnum::enum_str(AlgorithmTypeEnum::LINEAR_MULTIVARIATE), false,
          false, false);
  set.update();
  const std::vector<double> ts = {20.0, 60.0, std::nan(""), 100.0};
  std::vector<double> e(4), both(8);
  std::vector<Status> statuses(4);
  set.query({"Temperature"}, ts.data(), 4, "E", e.data(), statuses.data());
  EXPECT_EQ(e[1], 190.0);
  EXPECT_EQ(statuses[2], ExitStatusEnum::ERROR);
  EXPECT_EQ(statuses[3], ExitStatusEnum::SUCCESS);
  try {
    set.query({"Temperature"}, ts.data(), 4, both.data());
    FAIL() << "a point with status 1 must throw";
  } catch (const qorva_mat::runtime_error& error) {
    EXPECT_EQ(std::string(error.what()),
              "GIL-error:\npoint 2: the value of 'Temperature' is NaN, not a finite number");
  }
  EXPECT_EQ(both[3], 0.31);
  EXPECT_EQ(both[6], 180.0);
}
