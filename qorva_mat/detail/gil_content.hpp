// The engine content of a property set under field names, as the library's file writers read it.
// The public form stays PropertySet::get_gil()'s tuple; the writers decide what to do with it.
#pragma once

#include <boost/tuple/tuple.hpp>

#include <string>
#include <utility>
#include <vector>

#include "qorva_mat/property_set.hpp"

namespace qorva_mat {
namespace detail {

struct GilContent {
  std::vector<std::string> independent_names;
  PropertySet::table_t independent;  // one row per data point, one column per variable
  PropertySet::ranges_t ranges;      // (lower, upper) per independent variable
  std::vector<double> defaults;      // one per independent variable
  std::vector<std::string> dependent_names;
  PropertySet::table_t dependent;  // one row per data point, one column per dependent name
  std::string algorithm;           // engine name (AlgorithmTypeEnum::enum_str)
  bool cached = false;
  bool normalized = false;

  // Whether the first dependent row holds one value per dependent name.
  bool constants_match_names() const {
    return !dependent.empty() && dependent.front().size() == dependent_names.size();
  }
};

// The content of `set`, field by field from get_gil(). Throws what get_gil() throws.
inline GilContent gil_content(const PropertySet& set) {
  PropertySet::gil_tuple_t gil = set.get_gil();
  GilContent content;
  content.independent_names = std::move(boost::tuples::get<0>(gil));
  content.independent = std::move(boost::tuples::get<1>(gil));
  content.ranges = std::move(boost::tuples::get<2>(gil));
  content.defaults = std::move(boost::tuples::get<3>(gil));
  content.dependent_names = std::move(boost::tuples::get<4>(gil));
  content.dependent = std::move(boost::tuples::get<5>(gil));
  content.algorithm = std::move(boost::tuples::get<6>(gil));
  content.cached = boost::tuples::get<7>(gil);
  content.normalized = boost::tuples::get<8>(gil);
  return content;
}

}  // namespace detail
}  // namespace qorva_mat
