#include "qorva_mat/property_set.hpp"

#include <algorithm>
#include <array>
#include <ostream>
#include <sstream>
#include <stdexcept>

#include "qorva_mat/error.hpp"
#include "qorva_mat/log.hpp"
#include "qorva_mat/property_factory.hpp"

namespace qorva_mat {

namespace {

using gil_status = qorva_gil::ExitStatusEnum::type;
using algorithm_type = qorva_gil::AlgorithmTypeEnum::type;

const char* const kNotUpToDate =
    "The material is of variable-type and is not uptodate. Update the material.";

// Turns one vector per variable into one row per point. The first row fixes the column count.
PropertySet::table_t transposed(const PropertySet::table_t& in) {
  PropertySet::table_t out;
  if (in.empty() || in.front().empty()) return out;
  const std::size_t columns = in.front().size();
  out.assign(columns, std::vector<double>(in.size()));
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (in[i].size() < columns) throw std::out_of_range("invalid vector<T> subscript");
    for (std::size_t j = 0; j < columns; ++j) out[j][i] = in[i][j];
  }
  return out;
}

// Engine type for an algorithm name, tried in the order nearest neighbour, linear, radial basis.
algorithm_type algorithm_from_name(const std::string& algorithm) {
  const std::array<algorithm_type, 3> candidates{qorva_gil::AlgorithmTypeEnum::NEAREST_NEIGHBOR,
                                                 qorva_gil::AlgorithmTypeEnum::LINEAR_MULTIVARIATE,
                                                 qorva_gil::AlgorithmTypeEnum::RADIAL_BASIS};
  for (algorithm_type candidate : candidates) {
    if (algorithm == qorva_gil::AlgorithmTypeEnum::enum_str(candidate)) return candidate;
  }
  QORVA_THROW("Unknown algorithm: " + algorithm);
}

template <typename T>
void write_joined(std::ostream& os, const std::vector<T>& values) {
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i != 0) os << ", ";
    os << values[i];
  }
}

}  // namespace

GilOptions::GilOptions()
    : algorithm(qorva_gil::AlgorithmTypeEnum::enum_str(
          qorva_gil::AlgorithmTypeEnum::LINEAR_MULTIVARIATE)) {}
GilOptions::GilOptions(const GilOptions&) = default;
GilOptions::GilOptions(GilOptions&&) noexcept = default;
GilOptions& GilOptions::operator=(const GilOptions&) = default;
GilOptions& GilOptions::operator=(GilOptions&&) noexcept = default;
GilOptions::~GilOptions() = default;

PropertySet::PropertySet(std::string name, const std::vector<std::string>& dependent_names)
    : name_(std::move(name)) {
  check(gil_.set_algorithm_type(qorva_gil::AlgorithmTypeEnum::LINEAR_MULTIVARIATE));
  check(gil_.set_dependent_names(dependent_names));
}

PropertySet::PropertySet(const PropertySet& other) = default;

PropertySet& PropertySet::operator=(const PropertySet& other) {
  if (this == &other) return *this;
  gil_ = other.gil_;
  name_ = other.name_;
  string_properties_ = other.string_properties_;
  field_units_ = other.field_units_;
  return *this;
}

PropertySet::~PropertySet() = default;

std::string PropertySet::name() const { return name_; }

void PropertySet::GIL_message_and_error_handling(gil_status status) const {
  const std::string message = gil_.last_message();
  if (status == qorva_gil::ExitStatusEnum::ERROR) QORVA_THROW("GIL-error:\n" + message);
}

void PropertySet::check(gil_status status) const {
  if (status != qorva_gil::ExitStatusEnum::SUCCESS) GIL_message_and_error_handling(status);
}

void PropertySet::set(const std::vector<std::string>& independent_names,
                      const table_t& independent_data, const ranges_t& ranges,
                      const std::vector<double>& defaults, const table_t& dependent_data,
                      const std::string& algorithm, bool is_cached, bool is_normalized,
                      bool transpose) {
  check(gil_.set_independent_names(independent_names));
  check(gil_.set_independent_data(transpose ? transposed(independent_data) : independent_data));
  check(gil_.set_independent_data_ranges(ranges));
  check(gil_.set_default_independent_values(defaults));
  check(gil_.set_dependent_data(transpose ? transposed(dependent_data) : dependent_data));
  const algorithm_type type = algorithm_from_name(algorithm);
  check(gil_.set_algorithm_type(type));
  check(gil_.set_is_cached(is_cached));
  check(gil_.set_is_normalized(is_normalized));
}

void PropertySet::set(const std::vector<std::string>& independent_names,
                      const table_t& independent_data, const ranges_t& ranges,
                      const std::vector<double>& defaults, const table_t& dependent_data,
                      const GilOptions& options, bool transpose) {
  set(independent_names, independent_data, ranges, defaults, dependent_data, options.algorithm,
      options.is_cached, options.is_normalized, transpose);
  if (options.project_to_convex_hull) {
    check(gil_.set_algorithm_option("project_to_convex_hull", true));
  }
  if (options.use_cgal_triangulation) {
    check(gil_.set_algorithm_option("use_cgal_triangulation", true));
  }
}

void PropertySet::set_const(const std::vector<double>& values) {
  check(gil_.set_dependent_data(table_t{values}));
}

void PropertySet::set_single_const_property(const std::string& name, double value) {
  std::vector<std::string> names;
  check(gil_.get_dependent_names(names));
  table_t data;
  check(gil_.get_dependent_data(data));
  if (data.empty() || data.front().size() != names.size()) {
    check(gil_.set_dependent_data(table_t{std::vector<double>(names.size(), 0.0)}));
  }
  const auto names_it = std::find(names.begin(), names.end(), name);
  QORVA_ASSERT(names_it != names.end(), "property_set: cannot set data for " + name +
                                            ". This property name does not exist.");
  const auto column = static_cast<std::size_t>(names_it - names.begin());
  check(gil_.set_dependent_data(column, std::vector<double>{value}));
}

void PropertySet::set_defaults(const std::vector<double>& defaults) {
  check(gil_.set_default_independent_values(defaults));
}

void PropertySet::set_ranges(const ranges_t& ranges) {
  check(gil_.set_independent_data_ranges(ranges));
}

void PropertySet::reset() { check(gil_.set_dependent_data(table_t{})); }

void PropertySet::update() { check(gil_.initialize()); }

void PropertySet::check_consistency() { check(gil_.check_consistency()); }

std::string PropertySet::get_algorithm() const {
  algorithm_type type = qorva_gil::AlgorithmTypeEnum::LINEAR_MULTIVARIATE;
  check(gil_.get_algorithm_type(type));
  return qorva_gil::AlgorithmTypeEnum::enum_str(type);
}

void PropertySet::set_algorithm_option(const std::string& name, bool value) {
  check(gil_.set_algorithm_option(name, value));
}

bool PropertySet::get_algorithm_bool_option(const std::string& name) const {
  bool value = false;
  check(gil_.get_algorithm_option(name, value));
  return value;
}

void PropertySet::try_set_algorithm_option(const std::string& name, bool value) {
  if (gil_.set_algorithm_option(name, value) != qorva_gil::ExitStatusEnum::SUCCESS) {
    QORVA_LOG(warning) << "Could not set the algorithm option " << name;
  }
}

bool PropertySet::try_get_algorithm_bool_option(const std::string& name, bool default_value) const {
  bool value = false;
  if (gil_.get_algorithm_option(name, value) != qorva_gil::ExitStatusEnum::SUCCESS) {
    QORVA_LOG(warning) << "Could not get the algorithm option " << name;
    return default_value;
  }
  return value;
}

std::vector<std::string> PropertySet::get_independent_names() const {
  std::vector<std::string> names;
  check(gil_.get_independent_names(names));
  return names;
}

std::vector<std::string> PropertySet::get_dependent_names() const {
  std::vector<std::string> names;
  check(gil_.get_dependent_names(names));
  return names;
}

PropertySet::table_t PropertySet::get_independent_data() const {
  table_t data;
  check(gil_.get_independent_data(data));
  return data;
}

PropertySet::table_t PropertySet::get_dependent_data() const {
  table_t data;
  check(gil_.get_dependent_data(data));
  return data;
}

PropertySet::ranges_t PropertySet::get_ranges() const {
  ranges_t ranges;
  check(gil_.get_independent_data_ranges(ranges));
  return ranges;
}

std::vector<double> PropertySet::get_defaults() const {
  std::vector<double> defaults;
  check(gil_.get_default_independent_values(defaults));
  return defaults;
}

PropertySet::gil_tuple_t PropertySet::get_gil() const {
  gil_tuple_t setup;
  check(gil_.get_independent_names(boost::tuples::get<0>(setup)));
  check(gil_.get_independent_data(boost::tuples::get<1>(setup)));
  check(gil_.get_independent_data_ranges(boost::tuples::get<2>(setup)));
  check(gil_.get_default_independent_values(boost::tuples::get<3>(setup)));
  check(gil_.get_dependent_names(boost::tuples::get<4>(setup)));
  check(gil_.get_dependent_data(boost::tuples::get<5>(setup)));
  boost::tuples::get<6>(setup) = get_algorithm();
  bool cached = false;
  bool normalized = false;
  check(gil_.get_is_cached(cached));
  check(gil_.get_is_normalized(normalized));
  boost::tuples::get<7>(setup) = cached;
  boost::tuples::get<8>(setup) = normalized;
  return setup;
}

bool PropertySet::is_set() const { return !get_dependent_data().empty(); }

bool PropertySet::is_set_and_ready() const {
  bool ready = false;
  check(gil_.is_ready(ready));
  return ready;
}

bool PropertySet::is_constant() const {
  bool constant = false;
  check(gil_.is_constant(constant));
  return constant;
}

bool PropertySet::is_chached() const {
  bool cached = false;
  check(gil_.get_is_cached(cached));
  return cached;
}

bool PropertySet::is_normalized() const {
  bool normalized = false;
  check(gil_.get_is_normalized(normalized));
  return normalized;
}

double PropertySet::query(const point_t& point, const std::string& dependent_name) const {
  double result = 0.0;
  check(gil_.specific_query(point.first, point.second, dependent_name, result));
  return result;
}

double PropertySet::query(const std::string& dependent_name) const {
  double result = 0.0;
  check(gil_.default_specific_query(dependent_name, result));
  return result;
}

void PropertySet::query(std::vector<double>& result) const { check(gil_.default_query(result)); }

void PropertySet::query(const point_t& point, std::vector<double>& result) const {
  check(gil_.query(point.first, point.second, result));
}

void PropertySet::query(const std::vector<std::string>& names, const double* points, std::size_t n,
                        double* result, gil_status* statuses) const {
  const gil_status status = gil_.batch_query(names, points, n, result, statuses);
  if (!statuses) check(status);
}

void PropertySet::query(const std::vector<std::string>& names, const double* points, std::size_t n,
                        const std::string& dependent_name, double* result,
                        gil_status* statuses) const {
  const gil_status status =
      gil_.batch_specific_query(names, points, n, dependent_name, result, statuses);
  if (!statuses) check(status);
}

double PropertySet::py_query(const point_t& point, const std::string& dependent_name) const {
  if (is_set_and_ready()) return query(point, dependent_name);
  QORVA_LOG(warning) << kNotUpToDate;
  return 0.0;
}

double PropertySet::py_query(const std::string& dependent_name) const {
  if (is_set_and_ready()) return query(dependent_name);
  QORVA_LOG(warning) << kNotUpToDate;
  return 0.0;
}

void PropertySet::set_string_property(const std::string& key, const std::string& value) {
  if (key == ORTHOTROPIC_MATERIAL_PUCK_CLASSIFICATION) {
    const std::array<const std::string*, 4> allowed{
        &PUCK_CLASSIFICATION_IGNORED, &PUCK_CLASSIFICATION_MATERIAL_SPECIFIC,
        &PUCK_CLASSIFICATION_GLASS, &PUCK_CLASSIFICATION_CARBON};
    const bool ok =
        std::any_of(allowed.begin(), allowed.end(),
                    [&value](const std::string* candidate) { return value == *candidate; });
    if (!ok) {
      QORVA_THROW("property_set::set_string_property: " + value + " not allowed for " + key +
                  "-type.");
    }
  }
  string_properties_.set(key, value);
}

std::string PropertySet::get_string_property(const std::string& key) const {
  return string_properties_.get(key);
}

bool PropertySet::has_string_property(const std::string& key) const {
  return string_properties_.has(key);
}

std::vector<std::string> PropertySet::get_string_property_keys() const {
  return string_properties_.keys();
}

void PropertySet::field_units(const std::vector<Unit>& units) { field_units_ = units; }

const std::vector<Unit>& PropertySet::field_units() const { return field_units_; }

namespace {

// Everything the text dump shows, read from the engine without the status rule.
struct EngineSnapshot {
  std::vector<std::string> independent_names;
  std::vector<std::string> dependent_names;
  PropertySet::table_t independent_data;
  PropertySet::table_t dependent_data;
  PropertySet::ranges_t ranges;
  std::vector<double> defaults;
  std::size_t independent_dimension = 0;
  std::size_t dependent_dimension = 0;
  bool ready = false;
  bool normalized = false;
  bool cached = false;
  algorithm_type algorithm = qorva_gil::AlgorithmTypeEnum::LINEAR_MULTIVARIATE;

  explicit EngineSnapshot(const qorva_gil::Interpolator& gil) {
    gil.get_independent_names(independent_names);
    gil.get_dependent_names(dependent_names);
    gil.get_independent_data(independent_data);
    gil.get_dependent_data(dependent_data);
    gil.get_independent_data_ranges(ranges);
    gil.get_default_independent_values(defaults);
    gil.get_independent_data_dimension(independent_dimension);
    gil.get_dependent_data_dimension(dependent_dimension);
    gil.is_ready(ready);
    gil.get_is_normalized(normalized);
    gil.get_is_cached(cached);
    gil.get_algorithm_type(algorithm);
  }
};

void write_setup(std::ostream& os, const EngineSnapshot& gil) {
  os << ">>> GIL-setup:" << std::endl << "    ----------" << std::endl << std::endl;
  if (gil.ready) {
    os << "    GIL is ready with " << gil.independent_dimension << " independent and "
       << gil.dependent_dimension << " dependent data dimensions." << std::endl;
  } else {
    os << "    GIL is not ready." << std::endl;
  }
  os << std::endl << "    Options:" << std::endl;
  os << "    - Algorithm: " << qorva_gil::AlgorithmTypeEnum::enum_str(gil.algorithm) << std::endl;
  os << "    - Caching: " << (gil.cached ? "on" : "off") << std::endl;
  os << "    - Normalization: " << (gil.normalized ? "on" : "off") << std::endl;
  os << std::endl;
}

void write_data(std::ostream& os, const EngineSnapshot& gil) {
  os << "    Data:" << std::endl << "    * Independent names, default, and range:" << std::endl;
  for (std::size_t i = 0; i < gil.independent_names.size(); ++i) {
    os << "      " << gil.independent_names[i] << ", ";
    if (gil.defaults.size() > i) os << gil.defaults[i];
    os << ", ";
    if (gil.ranges.size() > i) os << gil.ranges[i].first << ", " << gil.ranges[i].second;
    os << std::endl;
  }
  os << std::endl << "    * Dependent names:" << std::endl;
  for (const std::string& name : gil.dependent_names) os << "      " << name << std::endl;
  os << std::endl << "    * Independent data  ->  dependent data:" << std::endl;
  for (std::size_t r = 0; r < gil.independent_data.size(); ++r) {
    if (r >= gil.dependent_data.size()) throw std::out_of_range("invalid vector<T> subscript");
    os << "      (";
    write_joined(os, gil.independent_data[r]);
    os << ")  ->  (";
    write_joined(os, gil.dependent_data[r]);
    os << ")" << std::endl;
  }
  os << std::endl;
}

}  // namespace

std::string PropertySet::to_string() const {
  const EngineSnapshot gil(gil_);
  std::ostringstream os;
  os << ">>> GIL-wrapper string-properties" << std::endl
     << "    -----------------------------" << std::endl
     << std::endl;
  for (const auto& entry : string_properties_) {
    os << "    " << entry.first << ": " << entry.second << std::endl;
  }
  os << std::endl << std::endl;
  write_setup(os, gil);
  write_data(os, gil);
  os << ">>> end-------" << std::endl;
  return os.str();
}

std::ostream& operator<<(std::ostream& os, const PropertySet& set) {
  return os << set.to_string() << std::endl;
}

}  // namespace qorva_mat
