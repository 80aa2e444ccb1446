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
#include "tools/text.hpp"
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
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
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
      on_line =
          on_line && std::fabs(x[r][i] - fixed[i]) <= 1e-9 * std::max(1.0, std::fabs(fixed[i]));
    }
    if (!on_line) continue;
    sweep.data_x.push_back(x[r][axis]);
    for (std::size_t k = 0; k < columns.size(); ++k) sweep.data_y[k].push_back(y[r][columns[k]]);
  }
}

// The column of the swept variable (exact name, else the one equal without regard to case).
std::size_t sweep_axis(const qorva_mat::PropertySet& set, const std::string& variable) {
  const auto names = set.get_independent_names();
  const std::size_t index = find_name(names, variable);
  if (index == names.size()) {
    std::string known;
    for (const auto& n : names) known += (known.empty() ? "" : ", ") + n;
    throw CommandError(
        "bad --over value: '" + set.name() + "' does not depend on '" + variable + "'" +
        (names.empty() ? std::string(" (it is constant)") : "; its variables are " + known));
  }
  return index;
}

// The drawing area of a chart and the value ranges it shows, with the mapping between them.
struct Chart {
  static constexpr double kWidth = 760, kHeight = 480;
  static constexpr double kLeft = 90, kRight = 190, kTop = 50, kBottom = 70;
  static constexpr double kPlotWidth = kWidth - kLeft - kRight;
  static constexpr double kPlotHeight = kHeight - kTop - kBottom;
  double x0 = 0, x1 = 1, y0 = 0, y1 = 1;
  double y_step = 1;  // tick spacing of the value axis, whose ends are multiples of it

  double px(double x) const { return kLeft + (x - x0) / (x1 - x0) * kPlotWidth; }
  double py(double y) const { return kTop + kPlotHeight - (y - y0) / (y1 - y0) * kPlotHeight; }
};

// The swept range across, and across the finite curve and data values (0 to 1 when there is
// none) widened to whole ticks.
Chart chart_for(const Sweep& sweep) {
  Chart chart;
  chart.x0 = std::min(sweep.x.front(), sweep.x.back());
  chart.x1 = std::max(sweep.x.front(), sweep.x.back());
  double y0 = std::numeric_limits<double>::infinity(), y1 = -y0;
  auto take = [&](double v) {
    if (std::isfinite(v)) {
      y0 = std::min(y0, v);
      y1 = std::max(y1, v);
    }
  };
  for (const auto& c : sweep.y) std::for_each(c.begin(), c.end(), take);
  for (const auto& c : sweep.data_y) std::for_each(c.begin(), c.end(), take);
  if (!std::isfinite(y0)) {
    y0 = 0;
    y1 = 1;
  }
  widen(chart.x0, chart.x1);
  widen(y0, y1);
  chart.y_step = tick_step(y0, y1);
  chart.y0 = std::floor(y0 / chart.y_step) * chart.y_step;
  chart.y1 = std::ceil(y1 / chart.y_step) * chart.y_step;
  return chart;
}

// A tick value, with the rounding residue of a tick at zero shown as 0.
std::string tick_label(double t, double step) {
  return format_number(std::fabs(t) < step * 1e-9 ? 0.0 : t);
}

void write_frame(std::ostream& s, const std::string& title) {
  using C = Chart;
  s << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << C::kWidth << "\" height=\""
    << C::kHeight << "\" font-family=\"sans-serif\" font-size=\"12\">\n"
    << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  s << "<text x=\"" << C::kLeft + C::kPlotWidth / 2
    << "\" y=\"28\" text-anchor=\"middle\" font-size=\"15\">" << svg_escape(title) << "</text>\n";
  s << "<rect x=\"" << C::kLeft << "\" y=\"" << C::kTop << "\" width=\"" << C::kPlotWidth
    << "\" height=\"" << C::kPlotHeight << "\" fill=\"none\" stroke=\"black\"/>\n";
}

// Tick marks and labels below the plot, grid lines and labels across it.
void write_ticks(std::ostream& s, const Chart& chart) {
  using C = Chart;
  const double bottom = C::kTop + C::kPlotHeight;
  const double xs = tick_step(chart.x0, chart.x1);
  for (double t = std::ceil(chart.x0 / xs) * xs; t <= chart.x1 + xs * 1e-9; t += xs) {
    s << "<line x1=\"" << chart.px(t) << "\" y1=\"" << bottom << "\" x2=\"" << chart.px(t)
      << "\" y2=\"" << bottom + 5 << "\" stroke=\"black\"/>"
      << "<text x=\"" << chart.px(t) << "\" y=\"" << bottom + 20 << "\" text-anchor=\"middle\">"
      << tick_label(t, xs) << "</text>\n";
  }
  const double ys = chart.y_step;
  for (double t = chart.y0; t <= chart.y1 + ys * 1e-9; t += ys) {
    s << "<line x1=\"" << C::kLeft - 5 << "\" y1=\"" << chart.py(t) << "\" x2=\""
      << C::kLeft + C::kPlotWidth << "\" y2=\"" << chart.py(t) << "\" stroke=\"#ddd\"/>"
      << "<text x=\"" << C::kLeft - 8 << "\" y=\"" << chart.py(t) + 4 << "\" text-anchor=\"end\">"
      << tick_label(t, ys) << "</text>\n";
  }
}

// "name [unit]", or the name alone without a unit.
std::string with_unit(const std::string& name, const std::string& unit) {
  return unit.empty() ? name : name + " [" + unit + "]";
}

// The swept variable below the plot; "value" and every distinct unit up the side.
void write_axis_labels(std::ostream& s, const Sweep& sweep) {
  using C = Chart;
  s << "<text x=\"" << C::kLeft + C::kPlotWidth / 2 << "\" y=\"" << C::kHeight - 25
    << "\" text-anchor=\"middle\">" << svg_escape(with_unit(sweep.variable, sweep.variable_unit))
    << "</text>\n";
  std::string units;
  for (const std::string& unit : sweep.units) {
    if (!unit.empty() && units.find("[" + unit + "]") == std::string::npos) {
      units += (units.empty() ? "" : " ") + ("[" + unit + "]");
    }
  }
  s << "<text transform=\"translate(22," << C::kTop + C::kPlotHeight / 2
    << ") rotate(-90)\" text-anchor=\"middle\">"
    << svg_escape(units.empty() ? "value" : "value " + units) << "</text>\n";
}

// Curve k, its table points inside the swept range, and its legend entry.
void write_series(std::ostream& s, const Sweep& sweep, const Chart& chart, std::size_t k) {
  using C = Chart;
  static const char* const kColours[] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e",
                                         "#17becf", "#8c564b", "#e377c2", "#7f7f7f", "#bcbd22"};
  const char* colour = kColours[k % 10];
  s << "<polyline fill=\"none\" stroke=\"" << colour << "\" stroke-width=\"2\" points=\"";
  for (std::size_t i = 0; i < sweep.x.size(); ++i) {
    if (std::isfinite(sweep.y[k][i]))
      s << chart.px(sweep.x[i]) << "," << chart.py(sweep.y[k][i]) << " ";
  }
  s << "\"/>\n";
  for (std::size_t i = 0; i < sweep.data_x.size(); ++i) {
    const double x = sweep.data_x[i], y = sweep.data_y[k][i];
    if (x < chart.x0 || x > chart.x1 || !std::isfinite(y)) continue;
    s << "<circle cx=\"" << chart.px(x) << "\" cy=\"" << chart.py(y)
      << "\" r=\"4\" fill=\"white\" stroke=\"" << colour << "\" stroke-width=\"2\"/>\n";
  }
  const double ly = C::kTop + 10 + 20 * static_cast<double>(k);
  const double lx = C::kLeft + C::kPlotWidth;
  s << "<line x1=\"" << lx + 15 << "\" y1=\"" << ly << "\" x2=\"" << lx + 40 << "\" y2=\"" << ly
    << "\" stroke=\"" << colour << "\" stroke-width=\"2\"/><text x=\"" << lx + 46 << "\" y=\""
    << ly + 4 << "\">" << svg_escape(with_unit(sweep.dependent[k], sweep.units[k])) << "</text>\n";
}

// The legend's marker for table points, below the curves' entries, and the closing tag.
void write_legend_end(std::ostream& s, std::size_t curves) {
  using C = Chart;
  const double ly = C::kTop + 10 + 20 * static_cast<double>(curves);
  const double lx = C::kLeft + C::kPlotWidth;
  s << "<circle cx=\"" << lx + 27 << "\" cy=\"" << ly
    << "\" r=\"4\" fill=\"white\" stroke=\"black\" stroke-width=\"2\"/>"
    << "<text x=\"" << lx + 46 << "\" y=\"" << ly + 4 << "\">data points</text>\n</svg>\n";
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
  if (steps.empty() || ec != std::errc() || end != steps.data() + steps.size() || n < 2 ||
      n > 100000) {
    throw CommandError("bad --over value '" + text +
                       "': STEPS must be a whole number from 2 to 100000");
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
    fixed[static_cast<std::size_t>(std::find(names.begin(), names.end(), point.first[k]) -
                                   names.begin())] = point.second[k];
  }
  std::pair<std::vector<std::string>, std::vector<double>> query{names, fixed};
  sweep.y.assign(columns.size(), {});
  sweep.data_y.assign(columns.size(), {});
  for (std::size_t s = 0; s < sweep_spec.steps; ++s) {
    const double t = static_cast<double>(s) / static_cast<double>(sweep_spec.steps - 1);
    const double x = s + 1 == sweep_spec.steps ? to : from + t * (to - from);
    query.second[axis] = x;
    sweep.x.push_back(x);
    for (std::size_t k = 0; k < columns.size(); ++k)
      sweep.y[k].push_back(set.query(query, sweep.dependent[k]));
  }
  query.second[axis] = from;
  sweep.warnings = outside_data_warnings(set, query, file.system);
  query.second[axis] = to;
  for (auto& w : outside_data_warnings(set, query, file.system)) {
    if (std::find(sweep.warnings.begin(), sweep.warnings.end(), w) == sweep.warnings.end())
      sweep.warnings.push_back(w);
  }
  collect_data_points(set, axis, fixed, columns, sweep);
  return sweep;
}

void write_csv(std::ostream& out, const Sweep& sweep) {
  out << with_unit(sweep.variable, sweep.variable_unit);
  for (std::size_t k = 0; k < sweep.dependent.size(); ++k) {
    out << "," << with_unit(sweep.dependent[k], sweep.units[k]);
  }
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
  const Chart chart = chart_for(sweep);
  std::ostringstream s;
  s.imbue(std::locale::classic());
  s << std::setprecision(6);
  write_frame(s, title);
  write_ticks(s, chart);
  write_axis_labels(s, sweep);
  for (std::size_t k = 0; k < sweep.y.size(); ++k) write_series(s, sweep, chart, k);
  write_legend_end(s, sweep.y.size());
  out << s.str();
}

}  // namespace qorva_cli
