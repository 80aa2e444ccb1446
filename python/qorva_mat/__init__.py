"""Material property data: unit systems, Matbook XML and HDF5 material files, and property sets
answered by interpolation, one point or whole numpy arrays per call.

    >>> import qorva_mat
    >>> materials = qorva_mat.load("examples/ud_carbon_epoxy.xml", units="MPA")
    >>> ec = materials["UD Carbon/Epoxy T300/914"]["Engineering Constants"]
    >>> ec.query(Temperature=50.0)["E1"]
"""
import atexit as _atexit
import errno as _errno
import os as _os
import warnings as _warnings

import numpy as _np

from . import _core
from ._core import (Error, Material, PropertySet, Quantity, Unit, UnitSystem, UNIT_SYSTEMS,
                    angle, dimensionless, force, length, log_to_file, log_to_python, mass,
                    stop_log_to_file, stop_log_to_python, temperature, time, unit)

__version__ = _core.__version__
__all__ = ["Error", "Material", "MaterialList", "PropertySet", "Quantity", "Unit", "UnitSystem",
           "UNIT_SYSTEMS", "load", "save", "unit", "length", "mass", "force", "time", "temperature",
           "angle", "dimensionless", "log_to_python", "stop_log_to_python", "log_to_file",
           "stop_log_to_file"]

_POLICIES = ("warn", "raise", "ignore")


class MaterialList(list):
    """A list of materials that also indexes by material name."""

    def __getitem__(self, key):
        if isinstance(key, str):
            for material in self:
                if material.name == key:
                    return material
            known = ", ".join(repr(m.name) for m in self) or "(none)"
            raise KeyError(f"no material named {key!r}; the materials are {known}")
        return super().__getitem__(key)

    def __contains__(self, key):
        if isinstance(key, str):
            return any(m.name == key for m in self)
        return super().__contains__(key)

    @property
    def names(self):
        """The material names in file order."""
        return [m.name for m in self]


def _system_name(units):
    if units is None:
        return ""
    if isinstance(units, UnitSystem):
        return units.name
    if isinstance(units, str):
        return UnitSystem(units).name  # ValueError for unknown names
    raise TypeError(f"units must be a unit system name or a UnitSystem, not {type(units).__name__}")


def load(path, units="SI", from_units=None):
    """Load a Matbook XML file or an HDF5 material store (told apart by content).

    The values are expressed in ``units`` (a name such as "MPA" or a UnitSystem; None keeps an HDF5
    store's own system and reads XML in SI); a store whose unit system is not recorded in it needs
    ``from_units`` to be converted. Every property set is brought up to date.
    Returns a MaterialList. Raises FileNotFoundError for a missing file, ValueError for an unknown
    unit system, and Error when the file cannot be read.
    """
    path = _os.fspath(path)
    if not _os.path.exists(path):
        raise FileNotFoundError(_errno.ENOENT, "no such material file", path)
    return MaterialList(_core._load(path, _system_name(units), _system_name(from_units)))


def save(materials, path, units=None):
    """Write materials to ``path``: Matbook XML for .xml, an HDF5 store for .h5 or .hdf5.

    ``materials`` is a Material or a sequence of them, all expressed in one unit system. With
    ``units`` the file holds the values converted into that system (as ``qorva-mat convert`` does);
    otherwise in the materials' own. Raises ValueError for an unknown extension or system or mixed
    systems, and Error when the file cannot be written.
    """
    if isinstance(materials, Material):
        materials = [materials]
    _core._save(list(materials), _os.fspath(path), _system_name(units))


def _columns(table, what):
    if not isinstance(table, dict):
        raise ValueError(f"{what} must be a dict of name -> values")
    names = list(table)
    columns = []
    for name in names:
        if not isinstance(name, str):
            raise ValueError(f"{what} names must be strings, not {name!r}")
        try:
            column = _np.asarray(table[name], dtype=float)
        except (TypeError, ValueError) as e:
            raise ValueError(f"{what} {name!r}: {e}") from None
        if column.ndim > 1:
            raise ValueError(f"{what} {name!r} must be one-dimensional")
        columns.append(column.reshape(-1))
    return names, columns


def _per_variable(values, names, what):
    if values is None:
        return []
    unknown = [k for k in values if k not in names]
    if unknown:
        raise KeyError(f"{what} name unknown variables {unknown}; the variables are {names}")
    missing = [n for n in names if n not in values]
    if missing:
        raise ValueError(f"{what} must name every independent variable; missing {missing}")
    return [values[n] for n in names]


def _from_table(name, independent, dependent, algorithm="linear", ranges=None, defaults=None,
                normalized=False, cached=False, units="SI"):
    """A property set built from columns of data, up to date and ready to query.

    ``independent`` and ``dependent`` map variable names to equally long 1-D arrays (one entry per
    data point); with no independent variables each dependent holds one value (a constant).
    ``algorithm`` is "linear", "nearest" or "radial_basis"; ``ranges`` maps every independent name
    to (low, high) (queries are clamped to it), ``defaults`` to the value a query that leaves the
    variable out uses. ``units`` names the system the values are in. Raises ValueError for bad
    shapes or options and Error when the library rejects the data (for example repeated points).
    """
    ind_names, ind_columns = _columns(independent, "independent")
    dep_names, dep_columns = _columns(dependent, "dependent")
    if not dep_names:
        raise ValueError("a property set needs at least one dependent variable")
    lengths = {len(c) for c in ind_columns + dep_columns}
    if len(lengths) != 1 or 0 in lengths:
        raise ValueError(f"every column needs the same, non-zero number of values; got {sorted(lengths)}")
    if not ind_names and lengths != {1}:
        raise ValueError("without independent variables each dependent variable holds one value")
    range_list = [tuple(map(float, r)) for r in _per_variable(ranges, ind_names, "ranges")]
    if any(len(r) != 2 or not r[0] <= r[1] for r in range_list):
        raise ValueError("each range must be (low, high) with low <= high")
    default_list = [float(v) for v in _per_variable(defaults, ind_names, "defaults")]
    system = units if isinstance(units, UnitSystem) else UnitSystem(units)
    return _core._from_columns(str(name), ind_names, [c.tolist() for c in ind_columns], dep_names,
                               [c.tolist() for c in dep_columns], algorithm, range_list, default_list,
                               bool(normalized), bool(cached), system)


def _query(self, dependent=None, warnings="warn", **point):
    """Interpolate at a point or at many points.

    Name independent variables as keywords (``Temperature=50.0``); the ones left out take the set's
    defaults. Scalars give a dict {dependent name: float}; numpy arrays (broadcast together) give a
    dict of arrays of the broadcast shape, computed in one call of the compiled batch query without
    holding the GIL. With ``dependent="E1"`` only that value (float or array) is returned.

    ``warnings`` decides what happens when points lie outside the data or ranges (clamped or
    extrapolated) or cannot be answered (NaN): "warn" (a UserWarning giving the counts), "raise"
    (Error) or "ignore". A single point that cannot be answered always raises Error. Unknown names
    raise KeyError, values that are not numbers ValueError.
    """
    if warnings not in _POLICIES:
        raise ValueError(f"warnings must be one of {_POLICIES}, not {warnings!r}")
    known = self.independent_names
    for name in point:
        if name not in known:
            raise KeyError(f"{name!r} is not an independent variable of {self.name!r}; its variables are {known}")
    if dependent is not None and dependent not in self.dependent_names:
        raise KeyError(f"{dependent!r} is not a dependent variable of {self.name!r}; "
                       f"its dependent variables are {self.dependent_names}")
    names = list(point)
    try:
        arrays = [_np.asarray(point[n], dtype=float) for n in names]
        shape = _np.broadcast_shapes(*(a.shape for a in arrays)) if arrays else ()
    except (TypeError, ValueError) as e:
        raise ValueError(f"query values must be numbers or arrays of numbers that broadcast together: {e}") from None
    scalar = shape == ()
    count = int(_np.prod(shape))
    columns = [_np.broadcast_to(a, shape).reshape(-1) for a in arrays]
    values, errors, outside, first = self._query_batch(names, columns, count, dependent, True)
    _check_statuses(self, names, columns, dependent, (errors, outside, first, count), scalar, warnings)
    if dependent is not None:
        return float(values[0]) if scalar else values.reshape(shape)
    if scalar:
        return {d: float(values[0, k]) for k, d in enumerate(self.dependent_names)}
    return {d: values[:, k].reshape(shape) for k, d in enumerate(self.dependent_names)}


def _check_statuses(s, names, columns, dependent, counts, scalar, policy):
    errors, outside, first, count = counts
    if errors and (scalar or policy == "raise"):
        point = [c[first:first + 1] for c in columns]
        s._query_batch(names, point, 1, dependent, False)  # raises Error with the library's text
        raise Error(f"{errors} of {count} points of {s.name!r} could not be answered")
    if not (errors or outside) or policy == "ignore":
        return
    parts = []
    if outside:
        parts.append(f"{outside} of {count} points of {s.name!r} were outside the data or "
                     "ranges (clamped or extrapolated)")
    if errors:
        parts.append(f"{errors} of {count} points could not be answered (NaN)")
    message = "; ".join(parts)
    if policy == "raise":
        raise Error(message)
    _warnings.warn(message, UserWarning, stacklevel=3)


PropertySet.query = _query
# Records must not reach Python's logging while the interpreter shuts down.
_atexit.register(stop_log_to_python)
PropertySet.from_table = staticmethod(_from_table)
