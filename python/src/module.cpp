// The extension module qorva_mat._core: exception mapping and module assembly.
#include <H5Cpp.h>
#include <pybind11/pybind11.h>

#include <boost/lexical_cast.hpp>
#include <boost/property_tree/ptree.hpp>
#include <stdexcept>

#include "python/src/bindings.hpp"
#include "qorva_mat/error.hpp"
#include "tools/material_files.hpp"

namespace py = pybind11;

namespace qorva_py {
namespace {
PyObject* error_type = nullptr;

void set_error(const char* text) { PyErr_SetString(error_type, text); }
}  // namespace

py::handle error_class() { return error_type; }

void register_errors(py::module_& m) {
  error_type = PyErr_NewExceptionWithDoc(
      "qorva_mat.Error", "An error reported by the qorva_mat library; the text is the library's.",
      PyExc_RuntimeError, nullptr);
  m.add_object("Error", py::handle(error_type));
  // Bad arguments become ValueError, failures of the library or of a file become Error.
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const qorva_cli::UsageError& e) {
      PyErr_SetString(PyExc_ValueError, e.what());
    } catch (const qorva_cli::CommandError& e) {
      set_error(e.what());
    } catch (const qorva_mat::runtime_error& e) {
      set_error(e.what());
    } catch (const boost::property_tree::ptree_error& e) {
      set_error(e.what());
    } catch (const boost::bad_lexical_cast& e) {
      set_error(e.what());
    } catch (const std::out_of_range& e) {
      set_error(e.what());
    } catch (const H5::Exception& e) {
      set_error(("HDF5: " + e.getDetailMsg()).c_str());
    }
  });
}

}  // namespace qorva_py

PYBIND11_MODULE(_core, m) {
  m.doc() = "Compiled part of qorva_mat; use the package qorva_mat instead.";
  m.attr("__version__") = QORVA_VERSION;
  qorva_py::register_errors(m);
  qorva_py::register_units(m);
  qorva_py::register_logging(m);
  qorva_py::register_model(m);
  qorva_py::register_files(m);
}
