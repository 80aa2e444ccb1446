// A short tour of the unit systems: prints the seven predefined systems and
// converts a pressure, a temperature reading and a density between them.
// Usage: example_units_tour [data-dir]   (the argument is accepted and ignored)
#include <exception>
#include <iomanip>
#include <iostream>
#include <sstream>

#include "qorva_mat/units.hpp"

using namespace qorva_mat;

namespace {

// One line "  <from> (<from_note>)  =  <to> (<to_note>)" with aligned columns.
void show(const Quantity& from, const char* from_note, const Quantity& to, const char* to_note) {
  std::ostringstream left;
  left << std::setprecision(10) << from << " (" << from_note << ")";
  std::cout << "  " << std::left << std::setw(28) << left.str() << "=  " << to << " (" << to_note
            << ")\n";
}

}  // namespace

int main(int /*argc*/, char** /*argv*/) {
  try {
    std::cout << "Predefined unit systems:\n";
    for (auto type : {UnitSystem::SI, UnitSystem::MKS, UnitSystem::uMKS, UnitSystem::CGS,
                      UnitSystem::MPA, UnitSystem::BFT, UnitSystem::BIN}) {
      const auto system = make_unit_system(type);
      std::cout << "  " << std::left << std::setw(5) << system->zepl_type_str() << *system << '\n';
    }

    const auto mpa = make_unit_system("MPA");
    const auto bin = make_unit_system("BIN");
    const auto mks = make_unit_system("MKS");
    const auto si = make_unit_system("SI");

    std::cout << "\nConversions:\n" << std::setprecision(10);
    const Quantity stress(1.0, unit_symbol_map.at("MPa"));
    show(stress, "MPA", stress.convert_to(bin, false), "BIN");

    const Quantity reading(20.0, temperature(mks));
    show(reading, "MKS, reading", reading.convert_to(bin, true), "BIN, reading");
    show(reading, "MKS, change", reading.convert_to(bin, false), "BIN, change");

    const Quantity density(7850.0, (mass(si) / length(si).pow(3)).unit());
    show(density, "SI", density.convert_to(mpa, false), "MPA");
  } catch (const std::exception& e) {
    std::cerr << "units_tour: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
