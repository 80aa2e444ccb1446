// Decoding of Matbook texts: numbers, value lists, qualifiers, versions, field variables and
// interpolation options.
#include <boost/algorithm/string/predicate.hpp>
#include <boost/lexical_cast/bad_lexical_cast.hpp>
#include <boost/property_tree/ptree.hpp>
#include <boost/tokenizer.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <locale>
#include <typeinfo>

#include "qorva_gil/interpolator.hpp"
#include "qorva_mat/error.hpp"
#include "qorva_mat/matbook_format.hpp"

namespace qorva_mat {
namespace detail {
namespace {

using boost::property_tree::ptree;

const char* const kProgramControlled = "Program Controlled";

[[noreturn]] void throw_bad_number() {
  throw boost::bad_lexical_cast(typeid(std::string), typeid(double));
}

// "nan", "nan(...)", "inf" and "infinity" in any letter case, as lexical_cast accepts them.
bool parse_inf_nan(const std::string& body, bool negative, double& value) {
  const std::string lower = [&] {
    std::string s = body;
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  }();
  if (lower.compare(0, 3, "nan") == 0 &&
      (lower.size() == 3 || (lower.size() >= 5 && lower[3] == '(' && lower.back() == ')'))) {
    value = std::numeric_limits<double>::quiet_NaN();
  } else if (lower == "inf" || lower == "infinity") {
    value = std::numeric_limits<double>::infinity();
  } else {
    return false;
  }
  if (negative) value = -value;
  return true;
}

// Reads a qualifier text as T through the property tree's translator with the classic locale, so
// that a host program's decimal-comma locale cannot change the number. Throws ptree_bad_data.
template <class T>
T qualifier_number(const ptree& qualifier) {
  using translator_t = boost::property_tree::stream_translator<char, std::char_traits<char>,
                                                               std::allocator<char>, T>;
  return qualifier.get_value<T>(translator_t(std::locale::classic()));
}

// The qualifiers of one ParameterValue (a later one of the same name wins).
struct ParameterQualifiers {
  explicit ParameterQualifiers(const ptree& pv) {
    for (const auto& child : pv)
      if (child.first == "Qualifier")
        nodes[child.second.get<std::string>("<xmlattr>.name")] = &child.second;
  }
  const ptree* find(const std::string& name) const {
    auto it = nodes.find(name);
    return it == nodes.end() ? nullptr : it->second;
  }
  // The qualifier's node unless it is absent or "Program Controlled".
  const ptree* explicit_value(const std::string& name) const {
    const ptree* q = find(name);
    return (q && q->data() != kProgramControlled) ? q : nullptr;
  }
  boost::unordered_map<std::string, const ptree*> nodes;
};

double default_field_value(const std::string& name) {
  if (name == "Temperature") return 22.0;
  if (name == "Degradation Factor") return 1.0;
  return 0.0;
}

bool is_field_variable(const std::string& name, const ParameterQualifiers& q) {
  if (q.find("Field Variable")) return true;
  const ptree* type = q.find("Variable Type");
  return type && type->data().find("Independent") != std::string::npos &&
         (name == "Temperature" || name == "Plastic Strain");
}

bool all_sentinel(const std::vector<double>& values) {
  const double sentinel = matbook_sentinel();
  return std::all_of(values.begin(), values.end(), [&](double v) { return v == sentinel; });
}

std::pair<double, double> field_limits(const std::string& name, const std::string& id,
                                       const std::vector<double>& values,
                                       const ParameterQualifiers& q) {
  const ptree* lower = q.explicit_value("Lower Limit");
  const ptree* upper = q.explicit_value("Upper Limit");
  if ((!lower || !upper) && values.empty())
    QORVA_THROW("get_variable_field_tuples: Parameter " + name + " (" + id +
                ") has no values to take its limits from.");
  const auto minmax = std::minmax_element(values.begin(), values.end());
  return {lower ? qualifier_number<double>(*lower) : *minmax.first,
          upper ? qualifier_number<double>(*upper) : *minmax.second};
}

std::size_t field_resolution(const ParameterQualifiers& q) {
  const ptree* resolution = q.explicit_value("Resolution");
  if (!resolution) return 1000000;
  if (resolution->data().find('-') != std::string::npos)  // a stream would wrap it silently
    BOOST_PROPERTY_TREE_THROW(boost::property_tree::ptree_bad_data(
        std::string("conversion of data to type \"") + typeid(std::size_t).name() + "\" failed",
        resolution->data()));
  return qualifier_number<std::size_t>(*resolution);
}

}  // namespace

double parse_matbook_double(const std::string& text) {
  // boost::lexical_cast reads floating-point numbers through a stream in the global locale; a
  // decimal-comma host locale would turn "1.5" into an error and "1,5" into 1.5. The same rules
  // are applied here on std::from_chars, which never looks at a locale.
  if (text.empty()) throw_bad_number();
  const bool negative = text[0] == '-';
  const std::size_t start = (negative || text[0] == '+') ? 1 : 0;
  if (start == text.size() || text[start] == '+' || text[start] == '-') throw_bad_number();
  double value = 0.0;
  if (parse_inf_nan(text.substr(start), negative, value)) return value;
  const char* first = text.data() + start;
  const char* last = text.data() + text.size();
  const auto result = std::from_chars(first, last, value, std::chars_format::general);
  if (result.ec != std::errc() || result.ptr != last) throw_bad_number();
  // from_chars accepts "inf"/"nan" spellings that the check above already handled; anything
  // else it accepts is a plain decimal number.
  return negative ? -value : value;
}

std::vector<double> decode_value_list(const std::string& text) {
  std::string compact;
  compact.reserve(text.size());
  std::remove_copy(text.begin(), text.end(), std::back_inserter(compact), ' ');
  using tokenizer_t = boost::tokenizer<boost::escaped_list_separator<char>>;
  const tokenizer_t tokens(compact, boost::escaped_list_separator<char>('\\', ',', '"'));
  std::vector<double> values;
  for (const auto& token : tokens) values.push_back(parse_matbook_double(token));
  return values;
}

double decode_single_value(const std::string& text) {
  std::string compact;
  std::remove_copy(text.begin(), text.end(), std::back_inserter(compact), ' ');
  return parse_matbook_double(compact);
}

matbook_string_umap_t read_qualifiers(const ptree& node) {
  matbook_string_umap_t qualifiers;
  for (const auto& child : node)
    if (child.first == "Qualifier")
      qualifiers[child.second.get<std::string>("<xmlattr>.name")] = child.second.data();
  return qualifiers;
}

std::string library_ply_type(const std::string& file_name) {
  static const boost::unordered_map<std::string, std::string> types{
      {"Regular", "regular"},
      {"Woven", "woven"},
      {"Orthotropic Homogeneous Core", "orthotropic_homogeneous_core"},
      {"Isotropic Homogeneous Core", "isotropic_homogeneous_core"},
      {"Honeycomb Core", "honeycomb_core"},
      {"Isotropic", "isotropic"},
      {"Adhesive", "adhesive"}};
  auto it = types.find(file_name);
  return it == types.end() ? std::string() : it->second;
}

std::array<std::int32_t, 4> parse_matbook_version(const std::string& text) {
  std::array<std::int32_t, 4> version{};
  std::size_t begin = 0;
  for (std::size_t part = 0; part < 4; ++part) {
    const std::size_t dot = part < 3 ? text.find('.', begin) : text.size();
    if (dot == std::string::npos) break;
    const char* first = text.data() + begin;
    const char* last = text.data() + dot;
    if (first != last && *first == '+' && last - first > 1 && first[1] != '-') ++first;
    const auto result = std::from_chars(first, last, version[part]);
    if (first == last || result.ec != std::errc() || result.ptr != last) break;
    if (part == 3) return version;
    begin = dot + 1;
  }
  QORVA_THROW("matbook_format: version '" + text + "' is not four dot-separated integers.");
}

std::size_t upgrade_algorithm_names(ptree& document) {
  const std::array<std::int32_t, 4> first_new{22, 1, 0, 149};
  if (!(parse_matbook_version(document.get<std::string>("MatbookData.<xmlattr>.version")) <
        first_new))
    return 0;
  std::size_t rewritten = 0;
  for (auto& material : document.get_child("MatbookData.Materials.MatML_Doc")) {
    if (material.first != "Material") continue;
    auto bulk = material.second.get_child_optional("BulkDetails");
    if (!bulk) continue;  // reported when the material itself is read
    for (auto& property : *bulk) {
      if (property.first != "PropertyData") continue;
      for (auto& pv : property.second) {
        if (pv.first != "ParameterValue") continue;
        for (auto& q : pv.second) {
          if (q.first != "Qualifier" ||
              q.second.get<std::string>("<xmlattr>.name") != "AlgorithmType")
            continue;
          if (q.second.data() == "Linear Multivariate") {
            q.second.data() = "Linear Multivariate (Qhull)";
          } else if (q.second.data() == "Linear Multivariate (CGAL)") {
            q.second.data() = "Linear Multivariate";
          } else {
            continue;
          }
          ++rewritten;
        }
      }
    }
  }
  return rewritten;
}

std::vector<field_variable_t> get_variable_field_tuples(const ptree& property_data,
                                                        const matbook_string_umap_t& names) {
  std::vector<field_variable_t> records;
  for (const auto& child : property_data) {
    if (child.first != "ParameterValue") continue;
    const ptree& pv = child.second;
    if (pv.get<std::string>("<xmlattr>.format", "unknown") != "float") continue;
    const std::string id = pv.get<std::string>("<xmlattr>.parameter");
    auto name_it = names.find(id);
    if (name_it == names.end())
      QORVA_THROW("get_variable_field_tuples: Parameter ID " + id +
                  " not found in the property names.");
    const std::string& name = name_it->second;
    const ParameterQualifiers q(pv);
    if (!is_field_variable(name, q)) continue;
    const auto data = pv.get_child_optional("Data");
    std::vector<double> values = data ? decode_value_list(data->data()) : std::vector<double>();
    if (name == "Temperature" && all_sentinel(values)) continue;
    const ptree* default_data = q.explicit_value("Default Data");
    const double fallback =
        default_data ? qualifier_number<double>(*default_data) : default_field_value(name);
    auto limits = field_limits(name, id, values, q);
    records.emplace_back(name, std::move(values), limits, fallback, field_resolution(q), id,
                         dimensionless(make_unit_system(UnitSystem::MPA)));
  }
  return records;
}

GilOptions read_interpolation_options(const ptree& property_data) {
  GilOptions options;
  const matbook_algorithm_bimap_t& algorithms = algorithm_name_table();
  const std::string linear = qorva_gil::AlgorithmTypeEnum::enum_str(5);
  for (const auto& child : property_data) {
    if (child.first != "ParameterValue") continue;
    const ptree& pv = child.second;
    if (pv.get<std::string>("<xmlattr>.format", "unknown") != "string") continue;
    for (const auto& q : read_qualifiers(pv)) {
      if (q.first == "AlgorithmType") {
        if (q.second == "Linear Multivariate (Qhull)") {
          options.algorithm = linear;
          options.use_cgal_triangulation = false;
        } else if (auto it = algorithms.left.find(q.second); it != algorithms.left.end()) {
          options.algorithm = it->second;
          if (it->second == linear) options.use_cgal_triangulation = true;
        }
      } else if (q.first == "Normalized" && q.second == "True") {
        options.is_normalized = true;
      } else if (q.first == "Cached" && q.second == "True") {
        options.is_cached = true;
      } else if (q.first == "ExtrapolationType" && q.second == "Projection to the Convex Hull") {
        options.project_to_convex_hull = true;
      }
    }
    if (pv.get<std::string>("Data", "") == "Interpolation Options") break;
  }
  return options;
}

}  // namespace detail
}  // namespace qorva_mat
