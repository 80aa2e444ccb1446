// qorva-mat: look into material files, query and sample properties, convert between Matbook XML and HDF5.
// Exit status: 0 success, 1 a usage error, 2 a failure while carrying out the command.
#include <CLI/CLI.hpp>

#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "qorva_mat/log.hpp"
#include "qorva_mat/version.hpp"
#include "tools/material_files.hpp"
#include "tools/messages.hpp"
#include "tools/report.hpp"
#include "tools/sampling.hpp"

namespace {

using namespace qorva_cli;

struct Arguments {
  std::string file, out, material, property, over, csv, svg;
  std::vector<std::string> at, only;
  UnitOptions units;
  bool json = false;
  bool verbose = false;
  bool quiet = false;
  std::string log_file;
};

void add_unit_options(CLI::App* command, Arguments& a) {
  command->add_option(
      "--units", a.units.units,
      "unit system of the output and of bare numbers in --at: SI, MKS, uMKS, CGS, MPA, "
      "BFT, BIN (SI when not given)");
  command->add_option("--from-units", a.units.from_units,
                      "unit system of the values of an HDF5 store that does not record it");
}

void add_selection(CLI::App* command, Arguments& a) {
  command->add_option("FILE", a.file, "Matbook XML file or HDF5 material store")->required();
  command->add_option("--material", a.material, "material name")->required();
  command->add_option("--property", a.property, "property set name, e.g. \"Engineering Constants\"")
      ->required();
  command->add_option(
      "--at", a.at,
      "VARIABLE=VALUE, repeatable; VALUE is a number in the --units system or a number "
      "with a unit (50C, 323.15K, 122F); other variables take their defaults");
  add_unit_options(command, a);
}

void start_logging_as_asked(const Arguments& a) {
  // The console log shows the library's warnings itself; otherwise they come one line each.
  start_warnings(a.quiet, !a.verbose);
  if (a.verbose) {
    qorva_mat::start_console_logging();
    qorva_mat::set_filter("%Severity% >= debug");
  }
  if (!a.log_file.empty()) qorva_mat::start_logging(a.log_file);
}

MaterialFile load(const Arguments& a) {
  WarningContext context(a.file);
  return load_material_file(a.file, a.units);
}

// Only the material the command names.
MaterialFile load_selected(const Arguments& a) {
  WarningContext context(a.file);
  return load_material_file(a.file, a.units, a.material);
}

int run_info(const Arguments& a) {
  MaterialFile file = load(a);
  if (a.json) {
    std::cout << info_json(file).dump(2) << "\n";
  } else {
    print_info(std::cout, file);
  }
  return 0;
}

int run_query_command(const Arguments& a) {
  MaterialFile file = load_selected(a);
  auto& material = find_material(file, a.material);
  auto& set = find_property(material, a.property);
  const QueryResult result = run_query(file, material, set, a.at);
  for (const auto& warning : result.warnings) warn(warning);
  if (a.json) {
    std::cout << query_json(result, file).dump(2) << "\n";
  } else {
    print_query(std::cout, result);
  }
  return 0;
}

int run_convert(const Arguments& a) {
  format_from_extension(a.out);  // a usage error before any work
  MaterialFile file = load(a);
  save_material_file(a.out, file);
  std::cerr << "qorva-mat: wrote " << file.materials.size() << " material(s) to " << a.out << " in "
            << file.system->zepl_type_str() << "\n";
  return 0;
}

int run_sample(const Arguments& a, bool plot) {
  const SweepSpec sweep_spec = parse_sweep(a.over);
  MaterialFile file = load_selected(a);
  auto& material = find_material(file, a.material);
  auto& set = find_property(material, a.property);
  const Sweep sweep = run_sweep(file, set, sweep_spec, a.at, a.only);
  for (const auto& warning : sweep.warnings) warn(warning);
  const std::string target = plot ? a.svg : a.csv;
  std::ofstream stream;
  if (!target.empty()) {
    stream.open(target, std::ios::binary | std::ios::trunc);
    if (!stream) throw CommandError("cannot write " + target);
  }
  std::ostream& out = target.empty() ? std::cout : stream;
  if (plot) {
    write_svg(out, sweep, material.name() + " / " + set.name());
  } else {
    write_csv(out, sweep);
  }
  out.flush();
  if (!out) throw CommandError("cannot write " + target);
  return 0;
}

// One line naming the file the failure concerns (unless the text already does) and what is wrong.
std::string failure_text(const Arguments& a, const std::exception& e) {
  const std::string text = describe_failure(e);
  const bool named = text.find(a.file) != std::string::npos ||
                     (!a.out.empty() && text.find(a.out) != std::string::npos);
  return named || a.file.empty() ? text : a.file + ": " + text;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"qorva-mat: inspect, query, convert and plot material files"};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("qorva-mat ") + qorva_mat::version(),
                       "print the library version and exit");
  Arguments a;
  app.add_flag("-v,--verbose", a.verbose, "log to the console, debug records included");
  app.add_flag("-q,--quiet", a.quiet, "do not print warnings");
  app.add_option("--log", a.log_file, "append log records to this file");

  auto* info = app.add_subcommand("info", "list the materials and property sets of a file");
  info->add_option("FILE", a.file, "Matbook XML file or HDF5 material store")->required();
  add_unit_options(info, a);
  info->add_flag("--json", a.json, "print JSON");

  auto* query = app.add_subcommand("query", "interpolated values of a property at a point");
  add_selection(query, a);
  query->add_flag("--json", a.json, "print JSON");

  auto* convert =
      app.add_subcommand("convert", "convert between Matbook XML and HDF5 (by OUT's extension)");
  convert->add_option("IN", a.file, "input file")->required();
  convert->add_option("OUT", a.out, "output file: .xml, .h5 or .hdf5")->required();
  add_unit_options(convert, a);

  auto* sample = app.add_subcommand("sample", "a property over one variable, as CSV");
  auto* plot = app.add_subcommand("plot", "a property over one variable, as an SVG chart");
  for (auto* command : {sample, plot}) {
    add_selection(command, a);
    command
        ->add_option("--over", a.over, "VARIABLE=FROM:TO:STEPS; FROM and TO as --at values (20C)")
        ->required();
    command->add_option("--dependent", a.only, "only these dependent variables (repeatable)");
  }
  sample->add_option("--csv", a.csv, "write the CSV here instead of standard output");
  plot->add_option("-o,--output", a.svg, "write the SVG here instead of standard output");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : 1;
  }
  try {
    start_logging_as_asked(a);
    if (*info) return run_info(a);
    if (*query) return run_query_command(a);
    if (*convert) return run_convert(a);
    return run_sample(a, static_cast<bool>(*plot));
  } catch (const UsageError& e) {
    std::cerr << "qorva-mat: " << one_line(e.what()) << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "qorva-mat: error: " << failure_text(a, e) << "\n";
    return 2;
  } catch (...) {
    std::cerr << "qorva-mat: error: unknown failure\n";
    return 2;
  }
}
