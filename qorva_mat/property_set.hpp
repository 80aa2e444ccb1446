// PropertySet: one named material property wrapping an interpolation engine, plus GilOptions.
// Interpolation itself is qorva_gil's; units are stored as given, and materials and catalogue live
// elsewhere.
#pragma once

#include <boost/tuple/tuple.hpp>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

#include "qorva_gil/interpolator.hpp"
#include "qorva_mat/string_properties.hpp"
#include "qorva_mat/units.hpp"

namespace qorva_mat {

// Interpolation settings handed to PropertySet::set in one bundle.
struct GilOptions {
  GilOptions();
  GilOptions(const GilOptions&);
  GilOptions(GilOptions&&) noexcept;
  GilOptions& operator=(const GilOptions&);
  GilOptions& operator=(GilOptions&&) noexcept;
  ~GilOptions();

  std::string algorithm;  // engine name (AlgorithmTypeEnum::enum_str)
  bool is_normalized = false;
  bool is_cached = false;
  bool use_cgal_triangulation = false;  // sent as engine option only when true
  bool project_to_convex_hull = false;  // sent as engine option only when true
};

// One material property: dependent names and values, optionally tabulated over independent
// variables, answered by interpolation. Unless a comment says otherwise, every member that calls
// the engine throws qorva_mat::runtime_error "GIL-error:\n" + engine message when the engine
// reports an error (status 1); warnings (other statuses) are ignored.
class PropertySet {
 public:
  using table_t = std::vector<std::vector<double>>;
  using ranges_t = std::vector<std::pair<double, double>>;
  using point_t = std::pair<std::vector<std::string>, std::vector<double>>;
  using gil_tuple_t =
      boost::tuples::tuple<std::vector<std::string>, table_t, ranges_t, std::vector<double>,
                           std::vector<std::string>, table_t, std::string, bool, bool>;

  // A set with the given dependent names, linear multivariate interpolation and no data.
  PropertySet(std::string name, const std::vector<std::string>& dependent_names);
  // Deep copies: the engine is copied, not shared. Throw only std::bad_alloc.
  PropertySet(const PropertySet& other);
  PropertySet& operator=(const PropertySet& other);
  ~PropertySet();

  std::string name() const;  // never fails

  // Hands names, tables, ranges and defaults to the engine, then the algorithm and flags.
  // With `transpose` the tables are given one vector per variable instead of one per point.
  // Throws runtime_error "Unknown algorithm: <algorithm>" (after storing the data) when
  // `algorithm` is no engine algorithm name, and std::out_of_range "invalid vector<T> subscript"
  // when a transposed table has a row shorter than its first.
  void set(const std::vector<std::string>& independent_names, const table_t& independent_data,
           const ranges_t& ranges, const std::vector<double>& defaults,
           const table_t& dependent_data, const std::string& algorithm, bool is_cached,
           bool is_normalized, bool transpose);
  // As above, then sets the engine options that are true in `options` (false ones are not sent).
  void set(const std::vector<std::string>& independent_names, const table_t& independent_data,
           const ranges_t& ranges, const std::vector<double>& defaults,
           const table_t& dependent_data, const GilOptions& options, bool transpose);
  // Makes the dependent table the single row `values`; nothing else changes.
  void set_const(const std::vector<double>& values);
  // Sets one value of a constant property, starting from a row of zeros when the table is not a
  // single full row. Throws assertion_error "... cannot set data for <name>. This property name
  // does not exist." when `name` is not a dependent name (the zero row stays).
  void set_single_const_property(const std::string& name, double value);
  void set_defaults(const std::vector<double>& defaults);
  void set_ranges(const ranges_t& ranges);
  // Empties the dependent table; names, independent data and settings stay.
  void reset();
  // Initialises the engine on its data; afterwards the set answers queries.
  void update();
  void check_consistency();

  // Engine name of the current algorithm.
  std::string get_algorithm() const;
  void set_algorithm_option(const std::string& name, bool value);
  bool get_algorithm_bool_option(const std::string& name) const;
  // Non-throwing forms: on any engine status other than success they log a warning ("Could not
  // set/get the algorithm option <name>"); the getter then returns `default_value`.
  void try_set_algorithm_option(const std::string& name, bool value);
  bool try_get_algorithm_bool_option(const std::string& name, bool default_value) const;

  // Fresh copies of the engine's contents.
  std::vector<std::string> get_independent_names() const;
  std::vector<std::string> get_dependent_names() const;
  table_t get_independent_data() const;
  table_t get_dependent_data() const;
  ranges_t get_ranges() const;
  std::vector<double> get_defaults() const;
  // The whole setup: independent names, independent data, ranges, defaults, dependent names,
  // dependent data, algorithm name, caching flag, normalisation flag.
  gil_tuple_t get_gil() const;

  bool is_set() const;            // the dependent table has at least one row
  bool is_set_and_ready() const;  // update() has succeeded on the current data
  bool is_constant() const;
  bool is_chached() const;  // caching flag (the name is part of the interface)
  bool is_normalized() const;

  // Queries without a readiness check; a result the engine does not write reads 0.0.
  double query(const point_t& point, const std::string& dependent_name) const;
  double query(const std::string& dependent_name) const;  // at the defaults
  void query(std::vector<double>& result) const;          // all dependents at the defaults
  void query(const point_t& point, std::vector<double>& result) const;
  // Batch queries at n points, row-major in `points` (point i: names.size() values in the order
  // of `names`): every dependent variable, row-major n x get_dependent_names().size(), or the
  // named one, n values, written to result. Each point answers exactly as the single query of
  // that point would. Without `statuses` the call throws runtime_error "GIL-error:\n" + the
  // engine's message ("point i: ...") when any point has engine status 1 (result then holds NaN
  // there and the other points' values). With `statuses` (n entries) each point's engine status
  // is stored there (0 success, 1 error: NaN, 2 warning) and nothing throws for them.
  void query(const std::vector<std::string>& names, const double* points, std::size_t n,
             double* result, qorva_gil::ExitStatusEnum::type* statuses = nullptr) const;
  void query(const std::vector<std::string>& names, const double* points, std::size_t n,
             const std::string& dependent_name, double* result,
             qorva_gil::ExitStatusEnum::type* statuses = nullptr) const;
  // As the double-returning queries, but a set that is not ready logs a warning and returns 0.0
  // instead of querying; engine errors of a ready set still throw.
  double py_query(const point_t& point, const std::string& dependent_name) const;
  double py_query(const std::string& dependent_name) const;

  // Throws runtime_error when key "PuckMaterialClassification" gets a value other than
  // "ignored", "material-specific", "glass" or "carbon"; the map is then unchanged.
  void set_string_property(const std::string& key, const std::string& value);
  // Throws std::out_of_range "invalid unordered_map<K, T> key" for a missing key.
  std::string get_string_property(const std::string& key) const;
  // Never fail (beyond std::bad_alloc); the keys come in the map's own order.
  bool has_string_property(const std::string& key) const;
  std::vector<std::string> get_string_property_keys() const;

  // Units of the fields, stored and returned unchanged; never fail beyond std::bad_alloc.
  void field_units(const std::vector<Unit>& units);
  const std::vector<Unit>& field_units() const;

  // Multi-line dump of string properties, engine setup and data; engine statuses are not checked
  // here, the dump shows whatever the engine returns. Throws std::out_of_range
  // "invalid vector<T> subscript" when the dependent table has fewer rows than the independent.
  std::string to_string() const;

 private:
  // Throws runtime_error for engine status 1; other statuses are dropped.
  void GIL_message_and_error_handling(qorva_gil::ExitStatusEnum::type status) const;
  // Applies GIL_message_and_error_handling to any status other than success.
  void check(qorva_gil::ExitStatusEnum::type status) const;

  qorva_gil::Interpolator gil_;
  std::string name_;
  StringProperties string_properties_;
  std::vector<Unit> field_units_;
};

// Writes to_string() and std::endl; throws what to_string() throws.
std::ostream& operator<<(std::ostream& os, const PropertySet& set);

}  // namespace qorva_mat
