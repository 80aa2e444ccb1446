// Shared declarations of the Python extension module qorva_mat._core: the handles the module hands out and
// the functions that register each part. The pure-Python layer (query policy, load/save front ends) is in
// python/qorva_mat/__init__.py.
#pragma once

#include <pybind11/pybind11.h>

#include <memory>

#include "qorva_mat/material.hpp"
#include "qorva_mat/units.hpp"

namespace qorva_py {

// A property set together with the unit system its values are expressed in (null when unknown).
// The set may belong to a material; the handle then keeps the material alive.
struct SetHandle {
  std::shared_ptr<qorva_mat::PropertySet> set;
  std::shared_ptr<qorva_mat::UnitSystem> system;
};

// A material and the unit system its values are expressed in.
struct MaterialHandle {
  std::shared_ptr<qorva_mat::Material> material;
  std::shared_ptr<qorva_mat::UnitSystem> system;
};

// The Python class qorva_mat.Error (a RuntimeError); valid once register_errors has run.
pybind11::handle error_class();

// Each registers its classes and functions on `m`.
void register_errors(pybind11::module_& m);
void register_units(pybind11::module_& m);
void register_logging(pybind11::module_& m);
void register_model(pybind11::module_& m);
void register_files(pybind11::module_& m);

}  // namespace qorva_py
