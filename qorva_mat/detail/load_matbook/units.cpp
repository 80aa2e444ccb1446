// Declared units of a Matbook load and the conversion of values into the model system.
#include <boost/property_tree/ptree.hpp>

#include <algorithm>
#include <locale>
#include <sstream>

#include "qorva_mat/detail/load_matbook/rules.hpp"
#include "qorva_mat/detail/matbook_names.hpp"
#include "qorva_mat/error.hpp"
#include "qorva_mat/log.hpp"

namespace qorva_mat {
namespace detail {
namespace {

using boost::property_tree::ptree;

// Unit names that the library's own writer declares but the unit-symbol table lacks.
const std::unordered_map<std::string, Unit>& writer_symbol_table() {
  static const std::unordered_map<std::string, Unit> table = [] {
    const auto bin = make_unit_system(UnitSystem::BIN);
    return std::unordered_map<std::string, Unit>{{"t", mass(make_unit_system(UnitSystem::MPA))},
                                                 {"lbf", force(bin)},
                                                 {"psi", (force(bin) * length(bin).pow(-2)).unit()},
                                                 {"uN", force(make_unit_system(UnitSystem::uMKS))},
                                                 {"dyn", force(make_unit_system(UnitSystem::CGS))}};
  }();
  return table;
}

const Unit* find_symbol(const std::string& symbol, bool extended) {
  const auto& known = units::detail::unit_symbol_table();
  if (auto it = known.find(symbol); it != known.end()) return &it->second;
  if (extended) {
    const auto& writer = writer_symbol_table();
    if (auto it = writer.find(symbol); it != writer.end()) return &it->second;
  }
  return nullptr;
}

// The attribute "power" of a Unit element: 1 when absent, else a whole number of the short range
// ("+2", " -3 " included). Anything else throws ptree_bad_data naming the text, the symbol and
// the declaration.
short unit_power(const ptree& unit, const std::string& symbol, const std::string& id) {
  const auto text = unit.get_optional<std::string>("<xmlattr>.power");
  if (!text) return 1;
  using translator_t = boost::property_tree::stream_translator<char, std::char_traits<char>,
                                                               std::allocator<char>, short>;
  if (const auto power = translator_t(std::locale::classic()).get_value(*text)) return *power;
  throw boost::property_tree::ptree_bad_data("load_matbook: the power '" + *text +
                                                 "' of the unit '" + symbol + "' declared for " +
                                                 id + " is not an integer.",
                                             *text);
}

// Product of the factors, left to right; the numeric factor is accumulated separately.
Quantity product(const std::vector<Unit>& factors) {
  Quantity q(1.0, factors.front());
  for (std::size_t i = 1; i < factors.size(); ++i) q *= Quantity(1.0, factors[i]);
  return q;
}

std::string number_text(double value) {
  std::ostringstream os;
  os.imbue(std::locale::classic());
  os << value;
  return os.str();
}

}  // namespace

// The by-value parameter is the public signature.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
double convert_value(double value, const Unit& unit, std::shared_ptr<UnitSystem> model) {
  if (!model || model->type() == UnitSystem::UNDEFINED || unit.is_dimensionless()) return value;
  return Quantity(value, unit).convert_to(model, unit.is_temperature()).value();
}

MatbookUnits::MatbookUnits(std::shared_ptr<UnitSystem> model, const MatbookLoadOptions& options)
    : model_(std::move(model)),
      options_(options),
      mpa_dimensionless_(dimensionless(make_unit_system(UnitSystem::MPA))) {}

bool MatbookUnits::converts() const { return model_ && model_->type() != UnitSystem::UNDEFINED; }

void MatbookUnits::declare(const std::string& id, const std::string& name, const ptree& details) {
  Declared declared;
  bool unknown = false;
  std::string unknown_to_all;  // symbols not even the writer's names explain
  for (const auto& units : details) {
    if (units.first != "Units") continue;
    for (const auto& unit : units.second) {
      if (unit.first != "Unit") continue;
      const std::string symbol = unit.second.get<std::string>("Name");
      const short power = unit_power(unit.second, symbol, id);
      if (const Unit* u = find_symbol(symbol, options_.extended_unit_symbols)) {
        declared.factors.push_back(u->pow(power));
      } else {
        QORVA_LOG(debug) << "  - The unit `" << symbol << "` is ignored because its unknown.";
        unknown = true;
        if (!find_symbol(symbol, true))
          unknown_to_all += (unknown_to_all.empty() ? "'" : ", '") + symbol + "'";
      }
    }
  }
  if (unknown) {
    QORVA_LOG(debug) << "  - The units for the property " << id
                     << " are ignored because of unknown data. No conversion is done.";
    if (!options_.extended_unit_symbols) warn_about_writer_symbols(id, name, details);
    if (!unknown_to_all.empty() && converts()) {
      QORVA_LOG(warning) << "load_matbook: the unit declaration of " << id << " (" << name
                         << ") uses the unknown unit symbol " << unknown_to_all
                         << ": its values are read without conversion.";
    }
    return;
  }
  if (declared.factors.empty()) return;
  const Quantity q = product(declared.factors);
  declared.unit = q.unit();
  declared.factor = q.value();
  if (!options_.keep_unit_factors) warn_about_dropped_factor(id, name, declared);
  declared_[id] = std::move(declared);
}

void MatbookUnits::warn_about_dropped_factor(const std::string& id, const std::string& name,
                                             const Declared& declared) const {
  if (declared.factor == 1.0 || !converts()) return;
  QORVA_LOG(warning) << "load_matbook: the unit declaration of " << id << " (" << name
                     << ") has the numeric factor " << number_text(declared.factor)
                     << ", which is dropped: its values are off by that factor. "
                     << "MatbookLoadOptions::keep_unit_factors applies it.";
}

void MatbookUnits::warn_about_writer_symbols(const std::string& id, const std::string& name,
                                             const ptree& details) const {
  if (!converts()) return;
  std::vector<Unit> factors;
  std::string writer_symbols;
  for (const auto& units : details) {
    if (units.first != "Units") continue;
    for (const auto& unit : units.second) {
      if (unit.first != "Unit") continue;
      const std::string symbol = unit.second.get<std::string>("Name");
      const Unit* u = find_symbol(symbol, true);
      if (!u) return;  // a truly unknown symbol: nothing the extended table would fix
      if (!find_symbol(symbol, false))
        writer_symbols += (writer_symbols.empty() ? "" : ", ") + symbol;
      factors.push_back(u->pow(unit_power(unit.second, symbol, id)));
    }
  }
  const Quantity q = product(factors);
  const double at_one = convert_value(q.value(), q.unit(), model_);
  const double at_zero = convert_value(0.0, q.unit(), model_);
  if (at_one == 1.0 && at_zero == 0.0) return;  // the conversion would change nothing
  QORVA_LOG(warning) << "load_matbook: the unit declaration of " << id << " (" << name << ") uses "
                     << writer_symbols
                     << ", written by this library but not in the unit-symbol table: its values "
                     << "are not converted. MatbookLoadOptions::extended_unit_symbols reads it.";
}

const Unit& MatbookUnits::unit_of(const std::string& id) const {
  auto it = declared_.find(id);
  return it == declared_.end() ? mpa_dimensionless_ : it->second.unit;
}

double MatbookUnits::linear_factor(const Declared& declared) const {
  const double kept = options_.keep_unit_factors ? declared.factor : 1.0;
  if (declared.unit.is_dimensionless()) return kept;
  return kept * Quantity(1.0, declared.unit).convert_to(model_, false).value();
}

double MatbookUnits::convert(double value, const std::string& id) const {
  auto it = declared_.find(id);
  if (it == declared_.end() || !converts()) return value;
  const Declared& d = it->second;
  if (d.unit.is_temperature()) {
    const double kept = options_.keep_unit_factors ? d.factor : 1.0;
    return convert_value(value * kept, d.unit, model_);
  }
  return value * linear_factor(d);
}

std::vector<double> MatbookUnits::convert(const std::vector<double>& values,
                                          const std::string& id) const {
  auto it = declared_.find(id);
  if (it == declared_.end() || !converts() || values.empty()) return values;
  std::vector<double> result(values.size());
  if (it->second.unit.is_temperature()) {
    std::transform(values.begin(), values.end(), result.begin(),
                   [&](double v) { return convert(v, id); });
  } else {
    const double f = linear_factor(it->second);
    std::transform(values.begin(), values.end(), result.begin(), [f](double v) { return v * f; });
  }
  return result;
}

std::vector<field_variable_t> MatbookUnits::converted_field_variables(
    const ptree& property_data, const matbook_string_umap_t& names) const {
  std::vector<field_variable_t> records = get_variable_field_tuples(property_data, names);
  for (auto& r : records) {
    auto& [name, values, range, fallback, resolution, id, unit] = r;
    (void)resolution;
    const Unit& declared = unit_of(id);
    const auto description = declared.description();
    if (name == "Shear Angle" && !description.empty() && description.begin()->first == "radian") {
      for (double& v : values) v *= kDegreesPerRadian;
      range.first *= kDegreesPerRadian;
      range.second *= kDegreesPerRadian;
      fallback *= kDegreesPerRadian;
      unit = model_ ? dimensionless(model_) : mpa_dimensionless_;
    } else if (!model_) {
      unit = declared;  // no model: the declared unit, values as read
    } else {
      unit = declared.convert_to(model_).unit();
      values = convert(values, id);
      range = {convert(range.first, id), convert(range.second, id)};
      fallback = convert(fallback, id);
    }
  }
  return records;
}

}  // namespace detail
}  // namespace qorva_mat
