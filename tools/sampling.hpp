// The sample and plot commands of qorva-mat: a property evaluated over one variable, as CSV or as an SVG chart.
// Choosing the material, property and point is report's.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "qorva_mat/property_set.hpp"
#include "tools/material_files.hpp"

namespace qorva_cli {

struct SweepSpec {
  std::string text;  // as given, for messages
  std::string variable;
  std::string from, to;  // a number, or a number with a unit symbol ("20C")
  std::size_t steps = 0;
};

// Parses "VAR=FROM:TO:STEPS" (STEPS >= 2 points, FROM and TO included); FROM and TO are read as
// --at values are, when the variable's unit is known (run_sweep).
// Throws CommandError when the text has another form.
SweepSpec parse_sweep(const std::string& text);

struct Sweep {
  std::string variable;
  std::string variable_unit;
  std::vector<double> x;
  std::vector<std::string> dependent;
  std::vector<std::string> units;
  std::vector<std::vector<double>> y;  // one row per dependent variable
  // Data points of the set lying on the swept line (other variables at the fixed point).
  std::vector<double> data_x;
  std::vector<std::vector<double>> data_y;  // one row per dependent variable
  std::vector<std::string> warnings;
};

// Brings the set up to date and evaluates the chosen dependent variables (all when `only` is
// empty) over the sweep, the other independent variables at `settings` or their defaults.
// Throws CommandError for an unknown variable or dependent name, and what the queries throw.
Sweep run_sweep(const MaterialFile& file, qorva_mat::PropertySet& set, const SweepSpec& sweep_spec,
                const std::vector<std::string>& settings, const std::vector<std::string>& only);

// One header line (names with units in brackets), then one line per sample.
void write_csv(std::ostream& out, const Sweep& sweep);

// An SVG chart: one polyline per dependent variable, the data points marked, axes with ticks and
// units, a legend. Variables of very different size share the chart; plot them one at a time
// (the `only` list) to see each in full.
void write_svg(std::ostream& out, const Sweep& sweep, const std::string& title);

}  // namespace qorva_cli
