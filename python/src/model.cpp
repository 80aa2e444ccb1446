// Python classes Material and PropertySet: names, tables, string properties, units and the
// compiled batch query that the package's query() front end calls.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <map>

#include "python/src/bindings.hpp"
#include "tools/report.hpp"

namespace py = pybind11;
using qorva_mat::Material;
using qorva_mat::PropertySet;

namespace qorva_py {
namespace {

std::string joined(const std::vector<std::string>& names) {
  std::string text;
  for (const auto& name : names) text += (text.empty() ? "'" : ", '") + name + "'";
  return text.empty() ? "(none)" : text;
}

bool contains(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

std::vector<std::string> set_names(const Material& material) {
  std::vector<std::string> names;
  for (std::size_t j = 0; j < material.property_vec_size(); ++j) {
    if (material.is_property_set_active(j)) names.push_back(material.at(j).name());
  }
  return names;
}

SetHandle set_of(const MaterialHandle& h, const std::string& name) {
  const auto names = set_names(*h.material);
  if (!contains(names, name)) {
    throw py::key_error("'" + name + "' is not a property set of material '" + h.material->name() +
                        "'; its sets are " + joined(names));
  }
  // The handle shares ownership of the material, which holds the set.
  return {std::shared_ptr<PropertySet>(h.material, &h.material->at(name)), h.system};
}

std::string unit_of(const SetHandle& h, const std::string& variable) {
  if (contains(h.set->get_dependent_names(), variable))
    return qorva_cli::dependent_unit(variable, h.system);
  const auto independent = h.set->get_independent_names();
  const auto at = std::find(independent.begin(), independent.end(), variable);
  if (at == independent.end()) {
    throw py::key_error("'" + variable + "' is not a variable of '" + h.set->name() +
                        "'; its variables are " + joined(h.set->get_dependent_names()) + " and " +
                        joined(independent));
  }
  return qorva_cli::independent_unit(*h.set, static_cast<std::size_t>(at - independent.begin()),
                                     h.system);
}

py::dict string_properties(const std::vector<std::string>& keys,
                           const std::function<std::string(const std::string&)>& get) {
  py::dict d;
  for (const auto& key : keys) d[py::str(key)] = get(key);
  return d;
}

// {independent name: convert(value)} for the leading independent variables that have a value.
template <class Values, class Convert>
py::dict by_variable(const PropertySet& set, const Values& values, Convert convert) {
  py::dict d;
  const auto names = set.get_independent_names();
  for (std::size_t i = 0; i < names.size() && i < values.size(); ++i)
    d[py::str(names[i])] = convert(values[i]);
  return d;
}

using Column = py::array_t<double, py::array::c_style | py::array::forcecast>;

// Rows the batch query is given at a time when the points need a row-major
// copy (more than one column): the copy stays small and in cache.
constexpr std::size_t kBatchRows = 4096;

// How many points of a query ended in ERROR or WARNING, and the first in ERROR (-1: none).
struct StatusCount {
  std::size_t errors = 0, warnings = 0;
  std::ptrdiff_t first_error = -1;

  // Counts the statuses of points start, start + 1, ..., start + n - 1.
  void add(const qorva_gil::ExitStatusEnum::type* status, std::size_t n, std::size_t start) {
    std::size_t failed = 0;
    for (std::size_t r = 0; r < n; ++r) {  // no branches: most points succeed
      warnings += status[r] == qorva_gil::ExitStatusEnum::WARNING;
      failed += status[r] == qorva_gil::ExitStatusEnum::ERROR;
    }
    if (failed && errors == 0)
      first_error = std::find(status, status + n, qorva_gil::ExitStatusEnum::ERROR) - status +
                    static_cast<std::ptrdiff_t>(start);
    errors += failed;
  }
};

// The points as one 1-D column of `count` values per name. Returns (values: count, or count x m
// for every dependent variable; errors; warnings; the first point in error or -1), counting the
// points' statuses with `count_statuses`; without it an engine error raises Error with the
// engine's text. ValueError when the columns do not fit the names and count.
py::tuple query_batch(const SetHandle& h, const std::vector<std::string>& names,
                      const std::vector<Column>& columns, std::size_t count,
                      const py::object& dependent, bool count_statuses) {
  const std::size_t d = names.size();
  const bool fits =
      columns.size() == d && std::all_of(columns.begin(), columns.end(), [&](const Column& c) {
        return c.ndim() == 1 && static_cast<std::size_t>(c.shape(0)) == count;
      });
  if (!fits) {
    throw py::value_error("the points must be " + std::to_string(d) + " columns of " +
                          std::to_string(count) + " values");
  }
  const bool one = !dependent.is_none();
  const std::string name = one ? dependent.cast<std::string>() : std::string();
  const auto m = one ? std::size_t{1} : h.set->get_dependent_names().size();
  const auto rows = static_cast<py::ssize_t>(count);
  py::array_t<double> values =
      one ? py::array_t<double>({rows}) : py::array_t<double>({rows, static_cast<py::ssize_t>(m)});
  double* out = values.mutable_data();
  std::vector<const double*> in;
  for (const auto& c : columns) in.push_back(c.data());
  StatusCount counted;
  {
    py::gil_scoped_release unlocked;
    // One column is already the row-major block: the query reads it whole.
    const std::size_t step = d > 1 ? kBatchRows : std::max<std::size_t>(count, 1);
    const std::size_t most = std::min(count, step);
    std::vector<double> block(d > 1 ? most * d : 0);
    std::vector<qorva_gil::ExitStatusEnum::type> statuses(count_statuses ? most : 0);
    auto* status = count_statuses ? statuses.data() : nullptr;
    for (std::size_t start = 0; start < count; start += step) {
      const std::size_t n = std::min(step, count - start);
      for (std::size_t r = 0; r < n && d > 1; ++r)
        for (std::size_t k = 0; k < d; ++k) block[r * d + k] = in[k][start + r];
      const double* points = d > 1 ? block.data() : d == 1 ? in[0] + start : nullptr;
      if (one) {
        h.set->query(names, points, n, name, out + start, status);
      } else {
        h.set->query(names, points, n, out + start * m, status);
      }
      if (status) counted.add(status, n, start);
    }
  }
  return py::make_tuple(values, counted.errors, counted.warnings, counted.first_error);
}

void bind_set(py::module_& m) {
  py::class_<SetHandle>(m, "PropertySet",
                        "One material property: dependent variables tabulated over "
                        "independent variables, answered by interpolation.")
      .def_property_readonly("name", [](const SetHandle& h) { return h.set->name(); })
      .def_property_readonly("dependent_names",
                             [](const SetHandle& h) { return h.set->get_dependent_names(); })
      .def_property_readonly("independent_names",
                             [](const SetHandle& h) { return h.set->get_independent_names(); })
      .def_property_readonly(
          "units", [](const SetHandle& h) { return h.system; },
          "The UnitSystem of the values (None when not known).")
      .def_property_readonly("algorithm", [](const SetHandle& h) { return h.set->get_algorithm(); })
      .def_property_readonly("is_constant", [](const SetHandle& h) { return h.set->is_constant(); })
      .def_property_readonly("is_normalized",
                             [](const SetHandle& h) { return h.set->is_normalized(); })
      .def_property_readonly("is_cached", [](const SetHandle& h) { return h.set->is_chached(); })
      .def_property_readonly(
          "ranges",
          [](const SetHandle& h) {
            return by_variable(*h.set, h.set->get_ranges(),
                               [](const auto& r) { return py::make_tuple(r.first, r.second); });
          },
          "{independent name: (low, high)} for the variables that have a range.")
      .def_property_readonly(
          "defaults",
          [](const SetHandle& h) {
            return by_variable(*h.set, h.set->get_defaults(), [](double v) { return v; });
          },
          "{independent name: value used when a query leaves it out}.")
      .def_property_readonly("string_properties",
                             [](const SetHandle& h) {
                               return string_properties(h.set->get_string_property_keys(),
                                                        [&](const std::string& k) {
                                                          return h.set->get_string_property(k);
                                                        });
                             })
      .def("unit", &unit_of, py::arg("variable"),
           "The printed unit of a dependent or independent variable in the set's unit system, as "
           "the "
           "qorva-mat program prints it ('' when dimensionless or unknown); KeyError for other "
           "names.")
      .def("_query_batch", &query_batch, py::arg("names"), py::arg("columns"), py::arg("count"),
           py::arg("dependent"), py::arg("count_statuses"))
      .def("__str__", [](const SetHandle& h) { return h.set->to_string(); })
      .def("__repr__", [](const SetHandle& h) {
        return "<PropertySet '" + h.set->name() + "' " + joined(h.set->get_dependent_names()) +
               " over " + joined(h.set->get_independent_names()) + ">";
      });
}

void bind_material(py::module_& m) {
  py::class_<MaterialHandle>(m, "Material", "A named material holding property sets by name.")
      .def(py::init(
               [](const std::string& name, const std::shared_ptr<qorva_mat::UnitSystem>& units) {
                 auto material = std::make_shared<Material>();
                 material->name(name);
                 return MaterialHandle{material, units};
               }),
           py::arg("name"), py::arg("units"),
           "An empty material whose values are expressed in `units` (a UnitSystem).")
      .def_property(
          "name", [](const MaterialHandle& h) { return h.material->name(); },
          [](const MaterialHandle& h, const std::string& name) { h.material->name(name); })
      .def_property_readonly(
          "units", [](const MaterialHandle& h) { return h.system; },
          "The UnitSystem the values are expressed in (None when not known).")
      .def_property_readonly("set_names",
                             [](const MaterialHandle& h) { return set_names(*h.material); })
      .def_property_readonly("string_properties",
                             [](const MaterialHandle& h) {
                               return string_properties(h.material->get_string_property_keys(),
                                                        [&](const std::string& k) {
                                                          return h.material->get_string_property(k);
                                                        });
                             })
      .def("set_string_property",
           [](const MaterialHandle& h, const std::string& key, const std::string& value) {
             h.material->set_string_property(key, value);
           })
      .def("__getitem__", &set_of, py::arg("name"),
           "The property set of that name; KeyError naming the known ones.")
      .def("__contains__",
           [](const MaterialHandle& h, const std::string& name) {
             return contains(set_names(*h.material), name);
           })
      .def("__len__", [](const MaterialHandle& h) { return set_names(*h.material).size(); })
      .def("__iter__",
           [](const MaterialHandle& h) { return py::iter(py::cast(set_names(*h.material))); })
      .def(
          "add",
          [](const MaterialHandle& h, const SetHandle& s) {
            if (h.system && s.system && h.system->type() != s.system->type()) {
              throw py::value_error("the set '" + s.set->name() + "' is expressed in " +
                                    s.system->zepl_type_str() + ", the material in " +
                                    h.system->zepl_type_str());
            }
            h.material->add_property_set(std::make_shared<PropertySet>(*s.set));
          },
          py::arg("set"), "Adds a copy of `set`, replacing a set of the same name.")
      .def("__repr__", [](const MaterialHandle& h) {
        return "<Material '" + h.material->name() + "' " + joined(set_names(*h.material)) + ">";
      });
}

}  // namespace

void register_model(py::module_& m) {
  bind_set(m);
  bind_material(m);
}

}  // namespace qorva_py
