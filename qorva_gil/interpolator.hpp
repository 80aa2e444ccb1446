// qorva_gil::Interpolator: one property's names, data table, ranges, defaults and algorithm settings, answering queries.
// It knows nothing of units or materials; callers convert values before handing them over.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace qorva_gil {

// Status returned by every member of Interpolator.
struct ExitStatusEnum {
  enum type {
    SUCCESS = 0,  // the call did what it was asked
    ERROR = 1,    // nothing usable was produced; last_message() says why
    WARNING = 2,  // a valid answer that deserves notice (for example a query outside the data)
  };
  static std::string enum_str(int status);
};

// Interpolation algorithms.
struct AlgorithmTypeEnum {
  enum type {
    NEAREST_NEIGHBOR = 1,     // value of the nearest data point
    RADIAL_BASIS = 3,         // radial basis function interpolation
    LINEAR_MULTIVARIATE = 5,  // piecewise linear on a Delaunay triangulation (default)
  };
  // Text of an algorithm type; "Unknown" for values that are none of the above.
  static std::string enum_str(int algorithm);
};

class Interpolator {
 public:
  using status = ExitStatusEnum::type;
  using table = std::vector<std::vector<double>>;  // one row per data point
  using ranges = std::vector<std::pair<double, double>>;

  Interpolator();
  Interpolator(const Interpolator& other);
  Interpolator& operator=(const Interpolator& other);
  virtual ~Interpolator();

  status set_independent_names(const std::vector<std::string>& names);
  status get_independent_names(std::vector<std::string>& names) const;
  status set_dependent_names(const std::vector<std::string>& names);
  status get_dependent_names(std::vector<std::string>& names) const;
  status set_independent_data(const table& data);
  status get_independent_data(table& data) const;
  status set_dependent_data(const table& data);
  status set_dependent_data(std::size_t column, const std::vector<double>& values);
  status get_dependent_data(table& data) const;
  status set_independent_data_ranges(const ranges& r);
  status get_independent_data_ranges(ranges& r) const;
  status set_default_independent_values(const std::vector<double>& defaults);
  status get_default_independent_values(std::vector<double>& defaults) const;
  status set_algorithm_type(AlgorithmTypeEnum::type algorithm);
  status get_algorithm_type(AlgorithmTypeEnum::type& algorithm) const;
  status set_is_cached(bool cached);
  status get_is_cached(bool& cached) const;
  status set_is_normalized(bool normalized);
  status get_is_normalized(bool& normalized) const;
  status set_algorithm_option(const std::string& name, bool value);
  status get_algorithm_option(const std::string& name, bool& value) const;

  status get_independent_data_dimension(std::size_t& dimension) const;
  status get_dependent_data_dimension(std::size_t& dimension) const;

  status is_ready(bool& ready) const;
  status is_constant(bool& constant) const;
  status check_consistency() const;
  status initialize();

  status query(const std::vector<std::string>& names, const std::vector<double>& values,
               std::vector<double>& result) const;
  status default_query(std::vector<double>& result) const;
  status specific_query(const std::vector<std::string>& names, const std::vector<double>& values,
                        const std::string& dependent_name, double& result) const;
  status default_specific_query(const std::string& dependent_name, double& result) const;

  const std::string& last_message() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qorva_gil
