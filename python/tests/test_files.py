# Loading, saving and unit conversion of material files, checked against the qorva-mat program.
import json
import subprocess

import numpy as np
import pytest

import qorva_mat
from conftest import DATA, PLY

EC = "Engineering Constants"
PSI_PER_MPA = qorva_mat.Quantity(1.0, qorva_mat.unit("MPa")).convert_to(qorva_mat.UnitSystem("BIN")).value


def cli_query(cli, path, at, units="MPA"):
    out = subprocess.run([cli, "query", str(path), "--material", PLY, "--property", EC,
                          "--at", at, "--units", units, "--json"],
                         check=True, capture_output=True, text=True).stdout
    return json.loads(out)


def all_values(material, temperature):
    return material[EC].query(Temperature=temperature)


def test_load_xml_gives_the_programs_values_and_units(example_xml, cli):
    ply = qorva_mat.load(example_xml, units="MPA")[PLY]
    expected = cli_query(cli, example_xml, "Temperature=50")
    got = all_values(ply, 50.0)
    assert set(got) == set(expected["values"])
    for name, entry in expected["values"].items():
        assert got[name] == entry["value"], name
        assert ply[EC].unit(name) == entry["unit"], name
    assert ply[EC].unit("Temperature") == expected["point"]["Temperature"]["unit"]


def test_load_hdf5_written_by_the_program_equals_the_xml(example_xml, cli, tmp_path):
    store = tmp_path / "ply.h5"
    subprocess.run([cli, "convert", str(example_xml), str(store), "--units", "BIN"], check=True)
    from_store = qorva_mat.load(store, units="MPA")[PLY]
    from_xml = qorva_mat.load(example_xml, units="MPA")[PLY]
    assert from_store.units == qorva_mat.UnitSystem("MPA")
    assert from_store.set_names == from_xml.set_names
    for t in (-40.0, 0.0, 50.0, 80.0):
        a, b = all_values(from_store, t), all_values(from_xml, t)
        assert a.keys() == b.keys()
        for k in a:
            assert a[k] == pytest.approx(b[k], rel=1e-12), k
    assert all_values(from_store, 50.0)["E1"] == cli_query(cli, store, "Temperature=50")["values"]["E1"]["value"]


def test_materials_index_by_position_and_name(example_xml):
    materials = qorva_mat.load(example_xml)
    assert materials.names == [m.name for m in materials]
    assert materials[0] is not None and materials[PLY].name == PLY
    assert PLY in materials and "Steel" not in materials
    with pytest.raises(KeyError, match="UD Carbon/Epoxy"):
        materials["Steel"]
    with pytest.raises(KeyError, match="Engineering Constants"):
        materials[PLY]["Stiffness"]


def test_set_describes_its_table(ply):
    ec = ply[EC]
    assert ec.independent_names == ["Temperature"]
    assert {"E1", "E2", "nu12", "G12"} <= set(ec.dependent_names)
    assert ec.unit("E1") == "MPa" and ec.unit("nu12") == ""
    assert set(ec.defaults) <= {"Temperature"} and set(ec.ranges) <= {"Temperature"}
    assert isinstance(ec.string_properties, dict)
    assert EC in ply and EC in list(ply)
    with pytest.raises(KeyError, match="E1"):
        ec.unit("E9")


@pytest.mark.parametrize("extension", [".xml", ".h5"])
def test_save_in_another_system_converts_the_values(ply, tmp_path, extension):
    path = tmp_path / ("ply" + extension)
    qorva_mat.save([ply], path, units="BIN")
    in_mpa = qorva_mat.load(path, units="MPA")[PLY]
    in_bin = qorva_mat.load(path, units="BIN")[PLY]
    assert in_bin.units.name == "BIN"
    for t in (-40.0, 22.0, 80.0):
        original = all_values(ply, t)
        for k, v in all_values(in_mpa, t).items():
            assert v == pytest.approx(original[k], rel=1e-12), k
    celsius_50_in_f = 50.0 * 9 / 5 + 32
    assert in_bin[EC].query(Temperature=celsius_50_in_f)["E1"] == pytest.approx(
        all_values(ply, 50.0)["E1"] * PSI_PER_MPA, rel=1e-9)


def test_save_in_the_own_system_keeps_the_values(ply, tmp_path):
    path = tmp_path / "ply.h5"
    qorva_mat.save(ply, path)
    again = qorva_mat.load(path, units="MPA")[PLY]
    assert all_values(again, 50.0) == all_values(ply, 50.0)


def test_file_errors_map_to_python_exceptions(tmp_path, ply, example_xml):
    with pytest.raises(FileNotFoundError):
        qorva_mat.load(tmp_path / "missing.xml")
    with pytest.raises(ValueError, match="SI, MKS"):
        qorva_mat.load(DATA / "matbook_units.xml", units="furlongs")
    for bad in ("matbook_bad_truncated.xml", "truncated.h5", "no_materials.h5"):
        with pytest.raises(qorva_mat.Error):
            qorva_mat.load(DATA / bad)
    with pytest.raises(ValueError, match=".xml, .h5"):
        qorva_mat.save(ply, tmp_path / "ply.txt")
    with pytest.raises(qorva_mat.Error):
        qorva_mat.save(ply, tmp_path / "no-such-dir" / "ply.xml")
    si_ply = qorva_mat.load(example_xml)[PLY]
    with pytest.raises(ValueError, match="different unit systems"):
        qorva_mat.save([ply, si_ply], tmp_path / "mixed.xml")
    assert issubclass(qorva_mat.Error, RuntimeError)


def test_library_records_reach_python_logging_and_a_file(ply, tmp_path, caplog):
    target = tmp_path / "no-such-dir" / "ply.xml"
    qorva_mat.log_to_python("qorva_mat.test")
    try:
        with caplog.at_level("DEBUG", logger="qorva_mat.test"), pytest.raises(qorva_mat.Error):
            qorva_mat.save(ply, target)
    finally:
        qorva_mat.stop_log_to_python()
    assert any(str(target) in r.getMessage() and r.levelname == "WARNING" for r in caplog.records)
    log = tmp_path / "qorva.log"
    qorva_mat.log_to_file(str(log))
    try:
        with pytest.raises(qorva_mat.Error):
            qorva_mat.save(ply, target)
    finally:
        qorva_mat.stop_log_to_file()
    assert str(target) in log.read_text()


def test_version_is_the_projects():
    parts = qorva_mat.__version__.split(".")
    assert len(parts) == 3 and all(p.isdigit() for p in parts)
