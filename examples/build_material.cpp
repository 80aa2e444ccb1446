// Builds a carbon/epoxy ply in code: temperature-dependent orthotropic elasticity and a constant
// density. Updates it, queries between two table temperatures and prints the result.
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "qorva_mat/material.hpp"
#include "qorva_mat/property_factory.hpp"

int main() {
  using qorva_mat::PropertyFactory;
  try {
    qorva_mat::Material ply;
    ply.name("CFRP UD ply");
    ply.set_string_property(
        "Ply Type", PropertyFactory::PlyTypes::enum_str(PropertyFactory::PlyTypes::regular));

    auto density = PropertyFactory::create_density();
    density->set_const({1.55e-9});  // t/mm^3
    ply.add_property_set(density);

    // One vector per variable (transpose = true): E1 ... nu23 (MPa) at 20 and 120 degrees C.
    auto elasticity = PropertyFactory::create_orthotropic_elasticity();
    const std::vector<std::vector<double>> temperatures{{20.0, 120.0}};
    const std::vector<std::vector<double>> values{{135000, 131000}, {9500, 7900}, {9500, 7900},
                                                  {4800, 3900},     {3200, 2700}, {4800, 3900},
                                                  {0.30, 0.31},     {0.30, 0.31}, {0.48, 0.50}};
    qorva_mat::GilOptions options;
    elasticity->set({"Temperature"}, temperatures, {{20.0, 120.0}}, {20.0}, values, options, true);
    ply.add_property_set(elasticity);

    ply.update();

    const auto at_70 =
        std::make_pair(std::vector<std::string>{"Temperature"}, std::vector<double>{70.0});
    const auto& e = ply.at(qorva_mat::Material::PropertyType::engineering_constants);
    std::cout << ply.name() << " at 70 C: E1 = " << e.query(at_70, "E1")
              << " MPa, E2 = " << e.query(at_70, "E2") << " MPa, nu12 = " << e.query(at_70, "nu12")
              << ", rho = " << ply.at("Density").query("rho") << " t/mm^3\n\n";
    std::cout << *elasticity;
    return 0;
  } catch (const std::exception& error) {
    std::cerr << "build_material: " << error.what() << '\n';
    return 1;
  }
}
