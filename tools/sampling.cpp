#include "tools/sampling.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <iomanip>
#include <limits>
#include <locale>
#include <sstream>

#include "tools/report.hpp"
#include "tools/unit_text.hpp"

namespace qorva_cli {
namespace {

// FROM or TO of a sweep in the unit of the swept variable (see value_in_unit).
double sweep_end(const std::string& text, const qorva_mat::Unit& unit, const std::string& whole) {
  try {
    return value_in_unit(text, unit);
  } catch (const std::invalid_argument& e) {
    throw CommandError("bad --over value '" + whole + "': " + e.what());
  }
}

std::string svg_escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

// Round tick spacing covering [lo, hi] with about five ticks.
double tick_step(double lo, double hi) {
  const double span = hi - lo;
  if (!(span > 0)) return 1.0;
  const double raw = span / 5.0;
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 2.5, 5.0, 10.0}) {
    if (m * magnitude >= raw) return m * magnitude;
  }
  return 10.0 * magnitude;
}

void widen(double& lo, double& hi) {
  if (!(hi > lo)) {
    const double pad = lo == 0.0 ? 1.0 : std::fabs(lo) * 0.05;
    lo -= pad;
    hi += pad;
  }
}

// Data rows whose other independent coordinates equal the fixed point (relative 1e-9).
void collect_data_points(const qorva_mat::PropertySet& set, std::size_t axis,
                         const std::vector<double>& fixed, const std::vector<std::size_t>& columns,
                         Sweep& sweep) {
  const auto x = set.get_independent_data();
  const auto y = set.get_dependent_data();
  for (std::size_t r = 0; r < x.size() && r < y.size(); ++r) {
    bool on_line = true;
    for (std::size_t i = 0; i < x[r].size(); ++i) {
      if (i == axis) continue;
      on_line = on_line && std::fabs(x[r][i] - fixed[i]) <= 1e-9 * std::max(1.0, std::fabs(fixed[i]));
    }
    if (!on_line) continue;
    sweep.data_x.push_back(x[r][axis]);
    for (std::size_t k = 0; k < columns.size(); ++k) sweep.data_y[k].push_back(y[r][columns[k]]);
  }
}

// The column of the swept variable (exact name, else the one equal without regard to case).
std::size_t sweep_axis(const qorva_mat::PropertySet& set, const std::string& variable) {
  const auto names = set.get_independent_names();
  auto lower = [](std::string t) {
    for (auto& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return t;
  };
  auto match = std::find(names.begin(), names.end(), variable);
  if (match == names.end()) {
    match = std::find_if(names.begin(), names.end(),
                         [&](const std::string& n) { return lower(n) == lower(variable); });
  }
  if (match == names.end()) {
    std::string known;
    for (const auto& n : names) known += (known.empty() ? "" : ", ") + n;
    throw CommandError("bad --over value: '" + set.name() + "' does not depend on '" + variable + "'" +
                       (names.empty() ? std::string(" (it is constant)") : "; its variables are " + known));
  }
  return static_cast<std::size_t>(match - names.begin());
}

}  // namespace

SweepSpec parse_sweep(const std::string& text) {
  const auto eq = text.find('=');
  const auto c1 = text.find(':', eq == std::string::npos ? 0 : eq);
  const auto c2 = c1 == std::string::npos ? c1 : text.find(':', c1 + 1);
  if (eq == std::string::npos || eq == 0 || c1 == std::string::npos || c2 == std::string::npos) {
    throw CommandError("bad --over value '" + text + "': expected VARIABLE=FROM:TO:STEPS");
  }
  SweepSpec sweep_spec;
  sweep_spec.text = text;
  sweep_spec.variable = text.substr(0, eq);
  sweep_spec.from = text.substr(eq + 1, c1 - eq - 1);
  sweep_spec.to = text.substr(c1 + 1, c2 - c1 - 1);
  const std::string steps = text.substr(c2 + 1);
  unsigned long n = 0;
  const auto [end, ec] = std::from_chars(steps.data(), steps.data() + steps.size(), n);
  if (steps.empty() || ec != std::errc() || end != steps.data() + steps.size() || n < 2 || n > 100000) {
    throw CommandError("bad --over value '" + text + "': STEPS must be a whole number from 2 to 100000");
  }
  sweep_spec.steps = n;
  return sweep_spec;
}

Sweep run_sweep(const MaterialFile& file, qorva_mat::PropertySet& set, const SweepSpec& sweep_spec,
                const std::vector<std::string>& settings, const std::vector<std::string>& only) {
  auto point = parse_point(set, settings, file.system);
  const auto names = set.get_independent_names();
  const std::size_t axis = sweep_axis(set, sweep_spec.variable);
  const qorva_mat::Unit unit = variable_unit(set, axis, file.system);
  const double from = sweep_end(sweep_spec.from, unit, sweep_spec.text);
  const double to = sweep_end(sweep_spec.to, unit, sweep_spec.text);
  Sweep sweep;
  sweep.variable = names[axis];
  sweep.variable_unit = independent_unit(set, axis, file.system);
  const auto all = set.get_dependent_names();
  std::vector<std::size_t> columns;
  for (const auto& name : only.empty() ? all : only) {
    const auto it = std::find(all.begin(), all.end(), name);
    if (it == all.end()) {
      throw CommandError("'" + set.name() + "' has no dependent variable '" + name + "'");
    }
    columns.push_back(static_cast<std::size_t>(it - all.begin()));
    sweep.dependent.push_back(name);
    sweep.units.push_back(dependent_unit(name, file.system));
  }
  if (!set.is_set_and_ready()) set.update();
  // The full point: the swept variable replaced, the others as given or at their defaults.
  std::vector<double> fixed = set.get_defaults();
  fixed.resize(names.size(), 0.0);
  for (std::size_t k = 0; k < point.first.size(); ++k) {
    fixed[static_cast<std::size_t>(std::find(names.begin(), names.end(), point.first[k]) - names.begin())] =
        point.second[k];
  }
  std::pair<std::vector<std::string>, std::vector<double>> query{names, fixed};
  sweep.y.assign(columns.size(), {});
  sweep.data_y.assign(columns.size(), {});
  for (std::size_t s = 0; s < sweep_spec.steps; ++s) {
    const double t = static_cast<double>(s) / static_cast<double>(sweep_spec.steps - 1);
    const double x = s + 1 == sweep_spec.steps ? to : from + t * (to - from);
    query.second[axis] = x;
    sweep.x.push_back(x);
    for (std::size_t k = 0; k < columns.size(); ++k) sweep.y[k].push_back(set.query(query, sweep.dependent[k]));
  }
  query.second[axis] = from;
  sweep.warnings = outside_data_warnings(set, query, file.system);
  query.second[axis] = to;
  for (auto& w : outside_data_warnings(set, query, file.system)) {
    if (std::find(sweep.warnings.begin(), sweep.warnings.end(), w) == sweep.warnings.end()) sweep.warnings.push_back(w);
  }
  collect_data_points(set, axis, fixed, columns, sweep);
  return sweep;
}

void write_csv(std::ostream& out, const Sweep& sweep) {
  auto head = [](const std::string& n, const std::string& u) { return u.empty() ? n : n + " [" + u + "]"; };
  out << head(sweep.variable, sweep.variable_unit);
  for (std::size_t k = 0; k < sweep.dependent.size(); ++k) out << "," << head(sweep.dependent[k], sweep.units[k]);
  out << "\n";
  std::ostringstream line;
  line.imbue(std::locale::classic());
  line << std::setprecision(17);
  for (std::size_t s = 0; s < sweep.x.size(); ++s) {
    line.str("");
    line << sweep.x[s];
    for (const auto& column : sweep.y) line << "," << column[s];
    out << line.str() << "\n";
  }
}

void write_svg(std::ostream& out, const Sweep& sweep, const std::string& title) {
  const double W = 760, H = 480, left = 90, right = 190, top = 50, bottom = 70;
  const double pw = W - left - right, ph = H - top - bottom;
  double x0 = sweep.x.front(), x1 = sweep.x.back();
  if (x0 > x1) std::swap(x0, x1);
  double y0 = std::numeric_limits<double>::infinity(), y1 = -y0;
  auto take = [&](double v) { if (std::isfinite(v)) { y0 = std::min(y0, v); y1 = std::max(y1, v); } };
  for (const auto& c : sweep.y) std::for_each(c.begin(), c.end(), take);
  for (const auto& c : sweep.data_y) std::for_each(c.begin(), c.end(), take);
  if (!std::isfinite(y0)) { y0 = 0; y1 = 1; }
  widen(x0, x1);
  widen(y0, y1);
  const double ys = tick_step(y0, y1);
  y0 = std::floor(y0 / ys) * ys;
  y1 = std::ceil(y1 / ys) * ys;
  auto px = [&](double x) { return left + (x - x0) / (x1 - x0) * pw; };
  auto py = [&](double y) { return top + ph - (y - y0) / (y1 - y0) * ph; };
  static const char* colours[] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e",
                                  "#17becf", "#8c564b", "#e377c2", "#7f7f7f", "#bcbd22"};
  std::ostringstream s;
  s.imbue(std::locale::classic());
  s << std::setprecision(6);
  s << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << W << "\" height=\"" << H
    << "\" font-family=\"sans-serif\" font-size=\"12\">\n<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  s << "<text x=\"" << left + pw / 2 << "\" y=\"28\" text-anchor=\"middle\" font-size=\"15\">" << svg_escape(title) << "</text>\n";
  s << "<rect x=\"" << left << "\" y=\"" << top << "\" width=\"" << pw << "\" height=\"" << ph
    << "\" fill=\"none\" stroke=\"black\"/>\n";
  const double xs = tick_step(x0, x1);
  for (double t = std::ceil(x0 / xs) * xs; t <= x1 + xs * 1e-9; t += xs) {
    s << "<line x1=\"" << px(t) << "\" y1=\"" << top + ph << "\" x2=\"" << px(t) << "\" y2=\"" << top + ph + 5 << "\" stroke=\"black\"/>"
      << "<text x=\"" << px(t) << "\" y=\"" << top + ph + 20 << "\" text-anchor=\"middle\">" << format_number(std::fabs(t) < xs * 1e-9 ? 0.0 : t) << "</text>\n";
  }
  for (double t = y0; t <= y1 + ys * 1e-9; t += ys) {
    s << "<line x1=\"" << left - 5 << "\" y1=\"" << py(t) << "\" x2=\"" << left + pw << "\" y2=\"" << py(t) << "\" stroke=\"#ddd\"/>"
      << "<text x=\"" << left - 8 << "\" y=\"" << py(t) + 4 << "\" text-anchor=\"end\">" << format_number(std::fabs(t) < ys * 1e-9 ? 0.0 : t) << "</text>\n";
  }
  const std::string xlabel = sweep.variable + (sweep.variable_unit.empty() ? "" : " [" + sweep.variable_unit + "]");
  s << "<text x=\"" << left + pw / 2 << "\" y=\"" << H - 25 << "\" text-anchor=\"middle\">" << svg_escape(xlabel) << "</text>\n";
  std::string ylabel;
  for (std::size_t k = 0; k < sweep.units.size(); ++k) {
    if (!sweep.units[k].empty() && ylabel.find("[" + sweep.units[k] + "]") == std::string::npos) {
      ylabel += (ylabel.empty() ? "" : " ") + ("[" + sweep.units[k] + "]");
    }
  }
  s << "<text transform=\"translate(22," << top + ph / 2 << ") rotate(-90)\" text-anchor=\"middle\">"
    << svg_escape(ylabel.empty() ? "value" : "value " + ylabel) << "</text>\n";
  for (std::size_t k = 0; k < sweep.y.size(); ++k) {
    const char* colour = colours[k % 10];
    s << "<polyline fill=\"none\" stroke=\"" << colour << "\" stroke-width=\"2\" points=\"";
    for (std::size_t i = 0; i < sweep.x.size(); ++i) {
      if (std::isfinite(sweep.y[k][i])) s << px(sweep.x[i]) << "," << py(sweep.y[k][i]) << " ";
    }
    s << "\"/>\n";
    for (std::size_t i = 0; i < sweep.data_x.size(); ++i) {
      if (sweep.data_x[i] < x0 || sweep.data_x[i] > x1 || !std::isfinite(sweep.data_y[k][i])) continue;
      s << "<circle cx=\"" << px(sweep.data_x[i]) << "\" cy=\"" << py(sweep.data_y[k][i]) << "\" r=\"4\" fill=\"white\" stroke=\""
        << colour << "\" stroke-width=\"2\"/>\n";
    }
    const double ly = top + 10 + 20 * static_cast<double>(k);
    s << "<line x1=\"" << left + pw + 15 << "\" y1=\"" << ly << "\" x2=\"" << left + pw + 40 << "\" y2=\"" << ly
      << "\" stroke=\"" << colour << "\" stroke-width=\"2\"/><text x=\"" << left + pw + 46 << "\" y=\"" << ly + 4 << "\">"
      << svg_escape(sweep.dependent[k] + (sweep.units[k].empty() ? "" : " [" + sweep.units[k] + "]")) << "</text>\n";
  }
  const double ly = top + 10 + 20 * static_cast<double>(sweep.y.size());
  s << "<circle cx=\"" << left + pw + 27 << "\" cy=\"" << ly << "\" r=\"4\" fill=\"white\" stroke=\"black\" stroke-width=\"2\"/>"
    << "<text x=\"" << left + pw + 46 << "\" y=\"" << ly + 4 << "\">data points</text>\n</svg>\n";
  out << s.str();
}

}  // namespace qorva_cli
