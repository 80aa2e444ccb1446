# Unit systems, units and quantities seen from Python.
import pytest

import qorva_mat
from qorva_mat import Quantity, UnitSystem


def test_predefined_systems_by_any_case():
    for name in qorva_mat.UNIT_SYSTEMS:
        assert UnitSystem(name.lower()).name == name
    mpa = UnitSystem("MPA")
    assert (mpa.length, mpa.force, mpa.time) == ("mm", "N", "s")
    assert "length=mm" in str(mpa) and repr(mpa) == "UnitSystem('MPA')"
    assert mpa == UnitSystem("mpa") and mpa != UnitSystem("SI")
    with pytest.raises(ValueError, match="BIN"):
        UnitSystem("imperial")


def test_quantities_convert_between_systems():
    stress = Quantity(1.0, qorva_mat.unit("MPa"))
    in_bin = stress.convert_to(UnitSystem("BIN"))
    assert in_bin.value == pytest.approx(145.0377, rel=1e-6)
    assert str(in_bin.unit) == "psi"
    reading = Quantity(20.0, qorva_mat.temperature(UnitSystem("MKS")))
    assert reading.convert_to(UnitSystem("BIN"), absolute=True).value == pytest.approx(68.0)
    assert reading.convert_to(UnitSystem("BIN")).value == pytest.approx(36.0)
    with pytest.raises(qorva_mat.Error, match="Absolute conversion"):
        stress.convert_to(UnitSystem("SI"), absolute=True)


def test_units_multiply_and_compare():
    si = UnitSystem("SI")
    density = (qorva_mat.mass(si) / qorva_mat.length(si) ** 3).unit
    assert density.exponents == (-3, 1, 0, 0, 0, 0)
    assert qorva_mat.length(si).is_length and not density.is_length
    mm = qorva_mat.length(UnitSystem("MPA"))
    assert qorva_mat.length(si).conversion_factor(mm) == pytest.approx(1000.0)
    with pytest.raises(qorva_mat.Error, match="not compatible"):
        qorva_mat.length(si).conversion_factor(qorva_mat.time(si))
    with pytest.raises(KeyError, match="parsec"):
        qorva_mat.unit("parsec")
