// How qorva-mat shows units (the engineer's form: W/(m K), J/(kg K), kg/m^3, 1/K, MPa, psi) and reads numbers given with a unit.
// The units themselves, their systems and conversions are the library's; its own unit printing is not changed here.
#pragma once

#include <memory>
#include <string>

#include "qorva_mat/units.hpp"

namespace qorva_cli {

// `unit` written as engineers read it: a compound name when the unit has one ("MPa", "psi",
// "N"), else the system's power, energy or force unit pulled out when that shortens the text
// ("W/(m K)", "J/(kg K)", "lbf/ft^2"), the remaining terms ordered length, mass or force, time,
// temperature, currency, angle, and negative powers under one "/" ("kg/m^3", "1/K").
// "" for a dimensionless unit or one without system. Never throws beyond std::bad_alloc.
std::string engineer_unit(const qorva_mat::Unit& unit);

// A value as typed after "VARIABLE=": a number alone, or a number followed (with or without a
// blank) by a symbol of the unit-symbol table ("50C", "323.15 K", "122F", "2 mm"), returned in
// `unit`, the unit of the variable in the system in use. A bare number is taken to be in that
// unit already; a temperature with a unit is converted as a reading (offsets included).
// Throws std::invalid_argument with a one-line reason when the number is malformed, the symbol
// unknown, the symbol's dimension differs from `unit`'s, or `unit` has no system to convert to.
double value_in_unit(const std::string& text, const qorva_mat::Unit& unit);

}  // namespace qorva_cli
