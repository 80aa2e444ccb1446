#include "tools/report.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <iomanip>
#include <limits>
#include <locale>
#include <sstream>

#include "qorva_mat/matbook_format.hpp"
#include "qorva_mat/property_set.hpp"
#include "qorva_mat/write_matbook.hpp"
#include "tools/text.hpp"
#include "tools/unit_text.hpp"

using qorva_mat::Material;
using qorva_mat::PropertySet;
using qorva_mat::UnitSystem;

namespace qorva_cli {
namespace {

std::string joined(const std::vector<std::string>& names) {
  std::string text;
  for (const auto& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

std::string with_unit(const std::string& name, const std::string& unit) {
  return unit.empty() ? name : name + " [" + unit + "]";
}

std::vector<std::size_t> active_slots(const Material& material) {
  std::vector<std::size_t> slots;
  for (std::size_t j = 0; j < material.property_vec_size(); ++j) {
    if (material.is_property_set_active(j)) slots.push_back(j);
  }
  return slots;
}

// The lowest and highest data value of every independent variable.
std::vector<std::pair<double, double>> data_bounds(const PropertySet& set) {
  const auto data = set.get_independent_data();
  std::vector<std::pair<double, double>> bounds(
      set.get_independent_names().size(),
      {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()});
  for (const auto& row : data) {
    for (std::size_t i = 0; i < row.size() && i < bounds.size(); ++i) {
      bounds[i].first = std::min(bounds[i].first, row[i]);
      bounds[i].second = std::max(bounds[i].second, row[i]);
    }
  }
  return bounds;
}

std::string kind_of(const PropertySet& set) {
  std::string kind;
  for (const auto& key : set.get_string_property_keys()) {
    kind += (kind.empty() ? "" : ", ") + key + "=" + set.get_string_property(key);
  }
  return kind;
}

std::size_t data_points(const PropertySet& set) {
  return set.is_constant() ? 1 : set.get_dependent_data().size();
}

void print_property(std::ostream& out, const PropertySet& set,
                    const std::shared_ptr<UnitSystem>& system) {
  const std::string kind = kind_of(set);
  out << "  " << set.name() << (kind.empty() ? "" : "  (" + kind + ")") << "\n";
  out << "      points       " << data_points(set)
      << (set.is_constant() ? " (constant)" : " (" + set.get_algorithm() + ")") << "\n";
  std::vector<std::string> dependent;
  for (const auto& name : set.get_dependent_names()) {
    dependent.push_back(with_unit(name, dependent_unit(name, system)));
  }
  out << "      dependent    " << joined(dependent) << "\n";
  const auto names = set.get_independent_names();
  const auto ranges = set.get_ranges();
  const auto defaults = set.get_defaults();
  for (std::size_t i = 0; i < names.size(); ++i) {
    out << (i == 0 ? "      independent  " : "                   ")
        << with_unit(names[i], independent_unit(set, i, system));
    if (i < ranges.size()) {
      out << ": range " << format_number(ranges[i].first) << " .. "
          << format_number(ranges[i].second);
    }
    if (i < defaults.size()) out << ", default " << format_number(defaults[i]);
    out << "\n";
  }
}

nlohmann::json property_json(const PropertySet& set, const std::shared_ptr<UnitSystem>& system) {
  nlohmann::json j;
  j["name"] = set.name();
  j["string_properties"] = nlohmann::json::object();
  for (const auto& key : set.get_string_property_keys()) {
    j["string_properties"][key] = set.get_string_property(key);
  }
  j["constant"] = set.is_constant();
  j["points"] = data_points(set);
  j["algorithm"] = set.get_algorithm();
  j["dependent"] = nlohmann::json::array();
  for (const auto& name : set.get_dependent_names()) {
    j["dependent"].push_back({{"name", name}, {"unit", dependent_unit(name, system)}});
  }
  j["independent"] = nlohmann::json::array();
  const auto names = set.get_independent_names();
  const auto ranges = set.get_ranges();
  const auto defaults = set.get_defaults();
  for (std::size_t i = 0; i < names.size(); ++i) {
    nlohmann::json v = {{"name", names[i]}, {"unit", independent_unit(set, i, system)}};
    if (i < ranges.size()) v["range"] = {ranges[i].first, ranges[i].second};
    if (i < defaults.size()) v["default"] = defaults[i];
    j["independent"].push_back(v);
  }
  return j;
}

// The names of `candidates` whose lower-case form is `key`, or whose Matbook file name is (for
// property sets, `file_names`); exact matches are the caller's.
template <typename T, typename Name>
std::vector<T*> folded_matches(const std::vector<T*>& candidates, const std::string& key,
                               Name name) {
  std::vector<T*> found;
  for (T* c : candidates) {
    if (lower(name(*c)) == key) found.push_back(c);
  }
  return found;
}

std::string quoted_names(const std::vector<std::string>& names) {
  std::vector<std::string> quoted;
  quoted.reserve(names.size());
  for (const auto& n : names) quoted.push_back("'" + n + "'");
  return joined(quoted);
}

}  // namespace

std::string format_number(double value) {
  std::ostringstream out;
  out.imbue(std::locale::classic());
  out << std::setprecision(10) << value;
  return out.str();
}

Material& find_material(MaterialFile& file, const std::string& name) {
  std::vector<Material*> all;
  std::vector<std::string> known;
  for (auto& material : file.materials) {
    if (material->name() == name) return *material;
    all.push_back(material.get());
    known.push_back(material->name());
  }
  const auto folded = folded_matches(all, lower(name), [](const Material& m) { return m.name(); });
  if (folded.size() == 1) return *folded.front();
  if (folded.size() > 1) {
    std::vector<std::string> names;
    names.reserve(folded.size());
    for (const Material* m : folded) names.push_back(m->name());
    throw CommandError("material name '" + name + "' is ambiguous: " + quoted_names(names));
  }
  throw CommandError("no material '" + name + "'; the file holds " +
                     (known.empty() ? std::string("no material") : quoted_names(known)));
}

PropertySet& find_property(Material& material, const std::string& name) {
  std::vector<PropertySet*> sets;
  std::vector<std::string> known;
  for (std::size_t j : active_slots(material)) {
    PropertySet& set = material.at(j);
    if (set.name() == name) return set;
    sets.push_back(&set);
    known.push_back(set.name());
  }
  const std::string key = lower(name);
  auto found = folded_matches(sets, key, [](const PropertySet& s) { return s.name(); });
  if (found.empty()) {
    // The Matbook name of the set ("Elasticity" for "Engineering Constants").
    found = folded_matches(sets, key, [](const PropertySet& s) {
      const auto file_name = qorva_mat::Plyx_2_Matbook_string_umap.find(s.name());
      return file_name == qorva_mat::Plyx_2_Matbook_string_umap.end() ? std::string()
                                                                      : file_name->second;
    });
  }
  if (found.size() == 1) return *found.front();
  if (found.size() > 1) {
    std::vector<std::string> names;
    names.reserve(found.size());
    for (const PropertySet* s : found) names.push_back(s->name());
    throw CommandError("property name '" + name + "' of material '" + material.name() +
                       "' is ambiguous: " + quoted_names(names));
  }
  throw CommandError("material '" + material.name() + "' has no property '" + name + "'; it has " +
                     (known.empty() ? std::string("none") : quoted_names(known)));
}

static std::size_t variable_index(const PropertySet& set, const std::string& variable,
                                  const std::string& setting) {
  const auto names = set.get_independent_names();
  const std::size_t index = find_name(names, variable);
  if (index == names.size()) {
    throw CommandError("bad --at value '" + setting + "': '" + set.name() +
                       "' does not depend on '" + variable + "'" +
                       (names.empty() ? std::string(" (it is constant)")
                                      : "; its variables are " + joined(names)));
  }
  return index;
}

qorva_mat::Unit variable_unit(const PropertySet& set, std::size_t i,
                              const std::shared_ptr<UnitSystem>& system) {
  const auto& units = set.field_units();
  if (i >= units.size() || !units[i].system()) return {};
  return system ? units[i].convert_to(system).unit() : units[i];
}

std::pair<std::vector<std::string>, std::vector<double>> parse_point(
    const PropertySet& set, const std::vector<std::string>& settings,
    const std::shared_ptr<UnitSystem>& system) {
  const auto names = set.get_independent_names();
  std::pair<std::vector<std::string>, std::vector<double>> point;
  for (const auto& setting : settings) {
    const auto eq = setting.find('=');
    if (eq == std::string::npos || eq == 0) {
      throw CommandError("bad --at value '" + setting + "': expected VARIABLE=VALUE");
    }
    const std::size_t i = variable_index(set, setting.substr(0, eq), setting);
    point.first.push_back(names[i]);
    try {
      point.second.push_back(value_in_unit(setting.substr(eq + 1), variable_unit(set, i, system)));
    } catch (const std::invalid_argument& e) {
      throw CommandError("bad --at value '" + setting + "': " + e.what());
    }
  }
  return point;
}

std::string dependent_unit(const std::string& variable, const std::shared_ptr<UnitSystem>& system) {
  if (!system) return {};
  const auto category = qorva_mat::unit_map.find(variable);
  if (category == qorva_mat::unit_map.end()) return {};
  return engineer_unit(qorva_mat::detail::category_unit(category->second, system));
}

std::string independent_unit(const PropertySet& set, std::size_t i,
                             const std::shared_ptr<UnitSystem>& system) {
  return engineer_unit(variable_unit(set, i, system));
}

std::vector<std::string> outside_data_warnings(
    const PropertySet& set, const std::pair<std::vector<std::string>, std::vector<double>>& point,
    const std::shared_ptr<UnitSystem>& system) {
  std::vector<std::string> warnings;
  const auto names = set.get_independent_names();
  const auto bounds = data_bounds(set);
  for (std::size_t k = 0; k < point.first.size(); ++k) {
    const auto i = static_cast<std::size_t>(std::find(names.begin(), names.end(), point.first[k]) -
                                            names.begin());
    if (i >= bounds.size() || set.get_independent_data().empty()) continue;
    const double v = point.second[k];
    if (v < bounds[i].first || v > bounds[i].second) {
      std::string unit = independent_unit(set, i, system);
      if (!unit.empty()) unit = " " + unit;
      warnings.push_back(point.first[k] + " = " + format_number(v) + unit +
                         " lies outside the data (" + format_number(bounds[i].first) + " .. " +
                         format_number(bounds[i].second) + unit + ")");
    }
  }
  return warnings;
}

void print_info(std::ostream& out, MaterialFile& file) {
  const std::string system = file.system ? file.system->zepl_type_str() : "unknown units";
  for (const auto& material : file.materials) {
    const auto slots = active_slots(*material);
    out << "Material '" << material->name() << "'  (" << slots.size()
        << " property sets, values in " << system << ")\n";
    for (const auto& key : material->get_string_property_keys()) {
      out << "  " << key << ": " << material->get_string_property(key) << "\n";
    }
    for (std::size_t j : slots) print_property(out, material->at(j), file.system);
    out << "\n";
  }
}

nlohmann::json info_json(MaterialFile& file) {
  nlohmann::json j;
  j["unit_system"] = file.system ? nlohmann::json(file.system->zepl_type_str()) : nlohmann::json();
  j["format"] = file.format == FileFormat::hdf5 ? "hdf5" : "matbook";
  j["materials"] = nlohmann::json::array();
  for (const auto& material : file.materials) {
    nlohmann::json m;
    m["name"] = material->name();
    m["string_properties"] = nlohmann::json::object();
    for (const auto& key : material->get_string_property_keys()) {
      m["string_properties"][key] = material->get_string_property(key);
    }
    m["property_sets"] = nlohmann::json::array();
    for (std::size_t j : active_slots(*material)) {
      m["property_sets"].push_back(property_json(material->at(j), file.system));
    }
    j["materials"].push_back(m);
  }
  return j;
}

QueryResult run_query(MaterialFile& file, Material& material, PropertySet& set,
                      const std::vector<std::string>& settings) {
  QueryResult result;
  result.material = material.name();
  result.property = set.name();
  auto point = parse_point(set, settings, file.system);
  if (!set.is_set_and_ready()) set.update();
  const auto names = set.get_independent_names();
  const auto defaults = set.get_defaults();
  for (std::size_t i = 0; i < names.size(); ++i) {
    const auto given = std::find(point.first.begin(), point.first.end(), names[i]);
    const double value = given != point.first.end()
                             ? point.second[static_cast<std::size_t>(given - point.first.begin())]
                             : (i < defaults.size() ? defaults[i] : 0.0);
    result.point.emplace_back(names[i], value);
    result.point_units.push_back(independent_unit(set, i, file.system));
  }
  result.warnings = outside_data_warnings(set, point, file.system);
  result.dependent = set.get_dependent_names();
  for (const auto& name : result.dependent) {
    result.values.push_back(point.first.empty() ? set.query(name) : set.query(point, name));
    result.units.push_back(dependent_unit(name, file.system));
  }
  return result;
}

void print_query(std::ostream& out, const QueryResult& r) {
  out << r.material << " / " << r.property;
  for (std::size_t i = 0; i < r.point.size(); ++i) {
    out << (i == 0 ? " at " : ", ") << r.point[i].first << " = " << format_number(r.point[i].second)
        << (r.point_units[i].empty() ? "" : " " + r.point_units[i]);
  }
  out << "\n";
  std::size_t width = 0;
  for (const auto& name : r.dependent) width = std::max(width, name.size());
  for (std::size_t k = 0; k < r.dependent.size(); ++k) {
    out << "  " << std::left << std::setw(static_cast<int>(width)) << r.dependent[k] << " = "
        << format_number(r.values[k]) << (r.units[k].empty() ? "" : " " + r.units[k]) << "\n";
  }
}

nlohmann::json query_json(const QueryResult& r, const MaterialFile& file) {
  nlohmann::json j;
  j["material"] = r.material;
  j["property"] = r.property;
  j["unit_system"] = file.system ? nlohmann::json(file.system->zepl_type_str()) : nlohmann::json();
  j["point"] = nlohmann::json::object();
  for (std::size_t i = 0; i < r.point.size(); ++i) {
    j["point"][r.point[i].first] = {{"value", r.point[i].second}, {"unit", r.point_units[i]}};
  }
  j["values"] = nlohmann::json::object();
  for (std::size_t k = 0; k < r.dependent.size(); ++k) {
    j["values"][r.dependent[k]] = {{"value", r.values[k]}, {"unit", r.units[k]}};
  }
  j["warnings"] = r.warnings;
  return j;
}

}  // namespace qorva_cli
