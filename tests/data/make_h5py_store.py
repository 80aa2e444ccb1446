#!/usr/bin/env python3
"""An independent reader and writer of the HDF5 material store, built on h5py.

  make_h5py_store.py make OUT.h5   writes a store following the layout (read back by the library)
  make_h5py_store.py check IN.h5   reads a store written by the library, checks the element types
                                   and shapes, and prints one "path=value" line per item
  make_h5py_store.py bad DIR       writes the malformed stores replayed by the tests
  make_h5py_store.py hostile DIR   writes the small stores declaring huge extents replayed by the tests
"""
import os
import sys

import h5py
import numpy as np

VLEN = h5py.string_dtype("ascii")


def fmt(x):
    return "%.17g" % x


def put_name(obj, key, text):
    obj.attrs.create(key, data=[text], dtype=VLEN)  # rank 1, extent 1, variable length


def put_flag(obj, key, value):
    obj.attrs.create(key, data=np.uint8(1 if value else 0))


def put_strings(group, key, items, shape):
    group.create_dataset(key, data=np.array(items, dtype=object).reshape(shape), dtype=VLEN)


def put_string_properties(group, props):
    keys = list(props)
    put_strings(group, "string_property", keys + [props[k] for k in keys], (len(keys), 2))


def put_table(group, key, sequences):
    """m sequences (one per data point) of n values -> dataset (n, m), element (r, c) = seq c value r."""
    m = len(sequences)
    n = len(sequences[0]) if m else 0
    data = np.zeros((n, m), dtype=np.float64)
    for c, seq in enumerate(sequences):
        data[:, c] = seq
    group.create_dataset(key, data=data)


def put_field_units(group, units):
    """units: list of (system, [6 exponents]); flat position t*u + s holds exponent t of unit s."""
    u = len(units)
    flat = np.zeros(6 * u, dtype=np.int16)
    for s, (_, exps) in enumerate(units):
        for t in range(6):
            flat[t * u + s] = exps[t]
    group.create_dataset("field_unit_exp", data=flat.reshape((u, 6)))
    put_strings(group, "field_unit_system", [name for name, _ in units], (u,))


def put_property(group, name, dep_names, dep_table, algorithm, flags, indep=None, props=None):
    put_name(group, "name", name)
    if props:
        put_string_properties(group, props)
    put_table(group, "dep_data", dep_table)
    put_strings(group, "dep_names", dep_names, (len(dep_names),))
    if indep:
        put_table(group, "indep_data", indep["table"])
        put_strings(group, "indep_names", indep["names"], (len(indep["names"]),))
        group.create_dataset("ranges", data=np.array(indep["ranges"], dtype=np.float64).reshape((-1, 2)))
        group.create_dataset("defaults", data=np.array(indep["defaults"], dtype=np.float64).reshape((-1, 1)))
        put_field_units(group, indep["units"])
    put_name(group, "algorithm", algorithm)
    for key, value in flags.items():
        put_flag(group, key, value)


def make(path):
    with h5py.File(path, "w") as f:
        mats = f.create_group("Materials")
        f.create_group("Unrelated")
        mats.create_dataset("Material7", data=np.arange(3))  # a dataset, not a material: skipped
        mats.create_group("Material")                         # no number: skipped
        m2 = mats.create_group("Material2")
        put_name(m2, "name", "h5py epoxy")
        put_property(m2.create_group("Property0"), "Density", ["rho"], [[1200.0]],
                     "Triangulation-based Linear Multivariate", {"is_cached": False, "is_normalized": False})
        m10 = mats.create_group("Material10")
        put_name(m10, "name", "h5py steel")
        put_string_properties(m10, {"Ply Type": "isotropic", "Source": "h5py"})
        put_property(
            m10.create_group("Property1"), "Engineering Constants", ["E", "nu"],
            [[210000.0, 0.3], [190000.0, 0.31]], "Qhull-based Linear Multivariate",
            {"is_cached": True, "is_normalized": False},
            indep={"names": ["Temperature"], "table": [[20.0], [100.0]], "ranges": [[-50.0, 400.0]],
                   "defaults": [22.0], "units": [("MKS", [0, 0, 0, 1, 0, 0]), ("MPA", [-1, 1, -2, 0, 0, 0])]},
            props={"Behavior": "Isotropic"})


def rebuild(data):
    n, m = data.shape
    return [[float(data[r, c]) for r in range(n)] for c in range(m)]


def check_property(prefix, g):
    out = []
    assert g.attrs["name"].shape == (1,) and h5py.check_string_dtype(g.attrs.get_id("name").dtype)
    out.append("%s/name=%s" % (prefix, g.attrs["name"][0].decode() if isinstance(g.attrs["name"][0], bytes)
                               else g.attrs["name"][0]))
    out += check_string_properties(prefix, g)
    assert g["dep_data"].dtype == np.float64 and g["dep_data"].ndim == 2
    out.append("%s/dep_names=%s" % (prefix, ",".join(s.decode() for s in g["dep_names"][()])))
    out.append("%s/dep=%s" % (prefix, ";".join(" ".join(fmt(v) for v in seq) for seq in rebuild(g["dep_data"][()]))))
    if "indep_data" in g:
        out.append("%s/indep_names=%s" % (prefix, ",".join(s.decode() for s in g["indep_names"][()])))
        out.append("%s/indep=%s" % (prefix, ";".join(" ".join(fmt(v) for v in seq)
                                                    for seq in rebuild(g["indep_data"][()]))))
        ranges = g["ranges"][()]
        assert ranges.ndim == 2 and (ranges.shape[1] == 2 or ranges.size == 0)
        out.append("%s/ranges=%s" % (prefix, ";".join("%s %s" % (fmt(a), fmt(b)) for a, b in ranges.reshape(-1, 2))))
        defaults = g["defaults"][()]
        assert defaults.ndim == 2 and (defaults.shape[1] == 1 or defaults.size == 0)
        out.append("%s/defaults=%s" % (prefix, " ".join(fmt(v) for v in defaults.ravel())))
        exps = g["field_unit_exp"]
        assert exps.dtype == np.int16 and exps.ndim == 2 and (exps.shape[1] == 6 or exps.size == 0)
        flat = exps[()].ravel()
        systems = [s.decode() for s in g["field_unit_system"][()]]
        u = len(systems)
        out.append("%s/units=%s" % (prefix, ";".join(
            "%s:%s" % (systems[s], ",".join(str(int(flat[t * u + s])) for t in range(6))) for s in range(u))))
    alg = g.attrs["algorithm"][0]
    out.append("%s/algorithm=%s" % (prefix, alg.decode() if isinstance(alg, bytes) else alg))
    flags = []
    for key in ("is_cached", "is_normalized", "project_to_convex_hull", "use_cgal_triangulation"):
        value = g.attrs[key]
        assert value.dtype == np.uint8 and value.shape == ()
        flags.append("%s:%d" % (key, int(value)))
    out.append("%s/flags=%s" % (prefix, ",".join(flags)))
    return out


def check_string_properties(prefix, g):
    if "string_property" not in g:
        return []
    items = [s.decode() for s in g["string_property"][()].ravel()]
    half = len(items) // 2
    assert g["string_property"].shape == (half, 2)
    return sorted("%s/string/%s=%s" % (prefix, items[t], items[t + half]) for t in range(half))


def members(group, prefix):
    """Member groups named prefix + at least one character, in HDF5 name order (Material10 < Material2)."""
    return sorted(k for k in group
                  if len(k) > len(prefix) and k.startswith(prefix) and isinstance(group[k], h5py.Group))


def check(path):
    out = []
    with h5py.File(path, "r") as f:
        mats = f["Materials"]
        for mname in members(mats, "Material"):
            mg = mats[mname]
            name = mg.attrs["name"][0]
            out.append("%s/name=%s" % (mname, name.decode() if isinstance(name, bytes) else name))
            out += check_string_properties(mname, mg)
            for pname in members(mg, "Property"):
                out += check_property(mname + "/" + pname, mg[pname])
    print("\n".join(out))


def bad(directory):
    with h5py.File(os.path.join(directory, "no_materials.h5"), "w") as f:
        f.create_group("Stuff")
    with h5py.File(os.path.join(directory, "wrong_type.h5"), "w") as f:
        mats = f.create_group("Materials")
        good = mats.create_group("Material0")
        put_name(good, "name", "good")
        put_property(good.create_group("Property0"), "Density", ["rho"], [[1.0]], "Triangulation-based Linear Multivariate",
                     {"is_cached": False, "is_normalized": False})
        broken = mats.create_group("Material1")
        put_name(broken, "name", "broken")
        p = broken.create_group("Property0")
        put_name(p, "name", "Density")
        put_table(p, "dep_data", [[1.0]])
        p.create_dataset("dep_names", data=np.array([3.5]))  # numbers where names belong
        put_name(p, "algorithm", "Triangulation-based Linear Multivariate")
    full = os.path.join(directory, "truncated.h5")
    make(full)
    with open(full, "rb") as f:
        data = f.read()
    with open(full, "wb") as f:
        f.write(data[: len(data) // 2])


def hostile(directory):
    """Stores of a few kB whose datasets declare extents no file of that size can hold. The data are
    never written (chunked, allocated late), so HDF5 would hand out fill values for all of them."""
    cases = {
        "extents_4g_by_4g.h5": ("dep_data", (2 ** 32, 2 ** 32)),    # 2^64 elements: the product wraps to 0
        "extents_5g_values.h5": ("dep_data", (25000, 25000)),       # 5 GB of doubles
        "extents_0_by_2e12.h5": ("dep_data", (0, 2 ** 41)),         # no values, 2^41 empty sequences
        "extents_names_1e9.h5": ("dep_names", (10 ** 9,)),          # a billion strings
    }
    for file_name, (key, shape) in cases.items():
        with h5py.File(os.path.join(directory, file_name), "w") as f:
            p = f.create_group("Materials").create_group("Material0").create_group("Property0")
            put_name(p.parent, "name", "huge")
            put_name(p, "name", "Density")
            if key != "dep_data":
                put_table(p, "dep_data", [[1.0]])
            if key != "dep_names":
                put_strings(p, "dep_names", ["rho"], (1,))
            dtype = VLEN if key == "dep_names" else np.float64
            chunks = tuple(1 if d == 0 else min(d, 64) for d in shape)
            p.create_dataset(key, shape=shape, dtype=dtype, chunks=chunks, maxshape=tuple(None for _ in shape))
            put_name(p, "algorithm", "Triangulation-based Linear Multivariate")
            put_flag(p, "is_cached", False)
            put_flag(p, "is_normalized", False)
    # A property whose table is kept in another file of the machine: its bytes are never read.
    with h5py.File(os.path.join(directory, "external_dep_data.h5"), "w") as f:
        p = f.create_group("Materials").create_group("Material0").create_group("Property0")
        put_name(p.parent, "name", "outside")
        put_name(p, "name", "Density")
        p.create_dataset("dep_data", shape=(1, 1), dtype=np.float64, external=[("/etc/hostname", 0, 8)])
        put_strings(p, "dep_names", ["rho"], (1,))
        put_name(p, "algorithm", "Triangulation-based Linear Multivariate")
        put_flag(p, "is_cached", False)
        put_flag(p, "is_normalized", False)


if __name__ == "__main__":
    {"make": make, "check": check, "bad": bad, "hostile": hostile}[sys.argv[1]](sys.argv[2])
