// Smallest program using the installed package: converts one pressure.
#include "qorva_mat/qorva_mat.hpp"

#include <cmath>

int main() {
  auto bin = qorva_mat::make_unit_system("BIN");
  auto si = qorva_mat::make_unit_system(qorva_mat::UnitSystem::SI);
  // Unit / Unit gives a Quantity (value = conversion factor); keep its unit.
  qorva_mat::Quantity psi(1.0, (qorva_mat::force(bin) / qorva_mat::length(bin).pow(2)).unit());
  const double pa = psi.convert_to(si, false).value();
  return std::fabs(pa - 6894.757) < 1e-3 ? 0 : 1;
}
