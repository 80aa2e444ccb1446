// The info and query commands of qorva-mat: choosing a material, a property set and a point, and printing them as text or JSON.
// Loading files is material_files', sampling and plotting sampling's.
#pragma once

#include <nlohmann/json.hpp>

#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "qorva_mat/material.hpp"
#include "qorva_mat/units.hpp"
#include "tools/material_files.hpp"

namespace qorva_cli {

// The material of that name: the exact name, else the one name equal without regard to case.
// Throws CommandError listing the candidates when several differ only in case, and listing the
// known names when none matches.
qorva_mat::Material& find_material(MaterialFile& file, const std::string& name);

// The active property set of that name: the exact name, else the one equal without regard to
// case, else the one whose Matbook property name it is ("Elasticity" for "Engineering
// Constants"). Throws CommandError listing the candidates when a name fits several sets, and
// listing the material's property sets when it fits none.
qorva_mat::PropertySet& find_property(qorva_mat::Material& material, const std::string& name);

// The unit independent variable i of `set` is expressed in, in `system` (the set's own unit when
// `system` is null); a unit without system when the set has none for it. Throws only
// std::bad_alloc.
qorva_mat::Unit variable_unit(const qorva_mat::PropertySet& set, std::size_t i,
                              const std::shared_ptr<qorva_mat::UnitSystem>& system);

// "VAR=VALUE" settings resolved against the set's independent variables, in the order given,
// with the values in `system` (see value_in_unit: a bare number is already in `system`, one with
// a unit symbol is converted). Throws CommandError for a malformed setting, an unknown variable
// (listing the known ones), or a value that is no number or has a unit that does not fit.
std::pair<std::vector<std::string>, std::vector<double>> parse_point(
    const qorva_mat::PropertySet& set, const std::vector<std::string>& settings,
    const std::shared_ptr<qorva_mat::UnitSystem>& system);

// The unit of a dependent variable in `system`, in the engineer's form ("" when dimensionless
// or unknown).
std::string dependent_unit(const std::string& variable,
                           const std::shared_ptr<qorva_mat::UnitSystem>& system);
// The unit of independent variable i in `system`, in the engineer's form ("" when dimensionless
// or unknown).
std::string independent_unit(const qorva_mat::PropertySet& set, std::size_t i,
                             const std::shared_ptr<qorva_mat::UnitSystem>& system);

// The independent variables of `point` lying outside the data, as readable sentences.
std::vector<std::string> outside_data_warnings(
    const qorva_mat::PropertySet& set,
    const std::pair<std::vector<std::string>, std::vector<double>>& point,
    const std::shared_ptr<qorva_mat::UnitSystem>& system);

// A whole file described: one table per material.
void print_info(std::ostream& out, MaterialFile& file);
nlohmann::json info_json(MaterialFile& file);

// The result of one query.
struct QueryResult {
  std::string material;
  std::string property;
  std::vector<std::pair<std::string, double>>
      point;  // every independent variable, defaults included
  std::vector<std::string> point_units;
  std::vector<std::string> dependent;
  std::vector<double> values;
  std::vector<std::string> units;
  std::vector<std::string> warnings;
};

// Brings the set up to date and evaluates every dependent variable at the point.
// Throws what PropertySet::update and query throw.
QueryResult run_query(MaterialFile& file, qorva_mat::Material& material,
                      qorva_mat::PropertySet& set, const std::vector<std::string>& settings);
void print_query(std::ostream& out, const QueryResult& result);
nlohmann::json query_json(const QueryResult& result, const MaterialFile& file);

// Text of a number for people: up to 10 significant digits, independent of the locale.
std::string format_number(double value);

}  // namespace qorva_cli
