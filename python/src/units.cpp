// Python classes UnitSystem, Unit and Quantity and the unit functions of qorva_mat.
#include <pybind11/operators.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <sstream>

#include "python/src/bindings.hpp"
#include "qorva_mat/error.hpp"

namespace py = pybind11;
using qorva_mat::Quantity;
using qorva_mat::Unit;
using qorva_mat::UnitSystem;
using SystemPtr = std::shared_ptr<UnitSystem>;

namespace qorva_py {
namespace {

template <class T>
std::string printed(const T& value) {
  std::ostringstream out;
  out.precision(17);
  out << value;
  return out.str();
}

SystemPtr system_by_name(const std::string& name) {
  try {
    return qorva_mat::make_unit_system(name);
  } catch (const qorva_mat::runtime_error&) {
    throw py::value_error("unknown unit system '" + name +
                          "'; the predefined systems are SI, MKS, uMKS, CGS, MPA, BFT, BIN");
  }
}

// Products and quotients with the class itself and with numbers (giving quantities), and equality.
template <class Class>
void add_arithmetic(Class& cls) {
  cls.def(py::self * py::self)
      .def(py::self / py::self)
      .def(py::self * double())
      .def(double() * py::self)
      .def(py::self / double())
      .def(py::self == py::self)
      .def(py::self != py::self);
}

using NameGetter = std::string (UnitSystem::*)() const;
using FactorGetter = double (UnitSystem::*)() const;

void bind_system(py::module_& m) {
  py::class_<UnitSystem, SystemPtr> cls(
      m, "UnitSystem", "A predefined unit system: UnitSystem('MPA'). Names are case-insensitive.");
  // Unit names, and the size of each unit in metre, kilogram, newton, second and kelvin.
  for (const auto& [attribute, getter] : std::initializer_list<std::pair<const char*, NameGetter>>{
           {"length", &UnitSystem::length_name},
           {"mass", &UnitSystem::mass_name},
           {"force", &UnitSystem::force_name},
           {"time", &UnitSystem::time_name},
           {"temperature", &UnitSystem::temperature_name},
           {"currency", &UnitSystem::currency_name}}) {
    cls.def_property_readonly(attribute, getter);
  }
  for (const auto& [attribute, getter] :
       std::initializer_list<std::pair<const char*, FactorGetter>>{
           {"length_factor", &UnitSystem::length_conv},
           {"mass_factor", &UnitSystem::mass_conv},
           {"force_factor", &UnitSystem::force_conv},
           {"time_factor", &UnitSystem::time_conv},
           {"temperature_factor", &UnitSystem::temperature_conv}}) {
    cls.def_property_readonly(attribute, getter);
  }
  cls.def(py::init(&system_by_name), py::arg("name") = "SI",
          "The predefined system of that name; ValueError for other names.")
      .def_property_readonly("name", &UnitSystem::zepl_type_str, "'SI', 'MPA', ...")
      .def_property_readonly("force_based",
                             [](const UnitSystem& s) {
                               return s.base_units() ==
                                      qorva_mat::units::LENGTH_FORCE_TIME_TEMP_CUR;
                             })
      .def_property_readonly("temperature_offset",
                             py::overload_cast<>(&UnitSystem::temperature_offset, py::const_))
      .def(py::self == py::self)
      .def(py::self != py::self)
      .def("__hash__", [](const UnitSystem& s) { return py::hash(py::str(s.zepl_type_str())); })
      .def("__str__", &printed<UnitSystem>)
      .def("__repr__",
           [](const UnitSystem& s) { return "UnitSystem('" + s.zepl_type_str() + "')"; });
  m.attr("UNIT_SYSTEMS") = py::make_tuple("SI", "MKS", "uMKS", "CGS", "MPA", "BFT", "BIN");
}

void bind_unit(py::module_& m) {
  py::class_<Unit> unit(m, "Unit", "A unit: a unit system and six dimension exponents.");
  add_arithmetic(unit);
  unit.def_property_readonly("system", &Unit::system)
      .def_property_readonly(
          "exponents",
          [](const Unit& u) {
            const auto& e = u.unit_exp();
            return py::make_tuple(e[0], e[1], e[2], e[3], e[4], e[5]);
          },
          "(length, mass or force, time, temperature, currency, angle)")
      .def_property_readonly("is_length", &Unit::is_length)
      .def_property_readonly("is_mass", &Unit::is_mass)
      .def_property_readonly("is_force", &Unit::is_force)
      .def_property_readonly("is_time", &Unit::is_time)
      .def_property_readonly("is_temperature", &Unit::is_temperature)
      .def_property_readonly("is_dimensionless", &Unit::is_dimensionless)
      .def("__pow__", &Unit::pow)
      .def("convert_to", &Unit::convert_to, py::arg("system"),
           "This unit in `system`: a Quantity whose value is the conversion factor.")
      .def("conversion_factor", &Unit::conversion_factor, py::arg("other"),
           "The number a value in this unit is multiplied by to express it in `other`; Error when "
           "the units are not compatible.")
      .def("__str__", &printed<Unit>)
      .def("__repr__", [](const Unit& u) { return "<Unit " + printed(u) + ">"; });
  m.def(
      "unit",
      [](const std::string& symbol) {
        const auto found = qorva_mat::unit_symbol_map.find(symbol);
        if (found == qorva_mat::unit_symbol_map.end()) {
          throw py::key_error("unknown unit symbol '" + symbol + "'");
        }
        return found->second;
      },
      py::arg("symbol"), "The unit of a file symbol ('MPa', 'mm', 'C', ...); KeyError for others.");
  m.def("length", &qorva_mat::length, py::arg("system"));
  m.def("mass", &qorva_mat::mass, py::arg("system"));
  m.def("force", &qorva_mat::force, py::arg("system"));
  m.def("time", &qorva_mat::time, py::arg("system"));
  m.def("temperature", &qorva_mat::temperature, py::arg("system"));
  m.def("angle", &qorva_mat::angle, py::arg("system"));
  m.def("dimensionless", &qorva_mat::dimensionless, py::arg("system"));
}

void bind_quantity(py::module_& m) {
  py::class_<Quantity> quantity(m, "Quantity", "A value with a unit.");
  add_arithmetic(quantity);
  quantity.def(py::init<double, const Unit&>(), py::arg("value"), py::arg("unit"))
      .def_property_readonly("value", &Quantity::value)
      .def_property_readonly("unit", &Quantity::unit)
      .def("convert_to", &Quantity::convert_to, py::arg("system"), py::arg("absolute") = false,
           "This quantity in `system`. With absolute=True a temperature is converted as a reading "
           "(offsets included); Error for other units then.")
      .def("__pow__", &Quantity::pow)
      .def("__float__", &Quantity::value)
      .def("__str__", &printed<Quantity>)
      .def("__repr__", [](const Quantity& q) { return "<Quantity " + printed(q) + ">"; });
}

}  // namespace

void register_units(py::module_& m) {
  bind_system(m);
  bind_unit(m);
  bind_quantity(m);
}

}  // namespace qorva_py
