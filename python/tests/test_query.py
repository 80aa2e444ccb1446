# Point and array queries, the warnings policy, and sets built from tables.
import warnings
from concurrent.futures import ThreadPoolExecutor

import numpy as np
import pytest

import qorva_mat

EC = "Engineering Constants"
from_table = qorva_mat.PropertySet.from_table


def same(a, b):
    np.testing.assert_array_equal(np.asarray(a), np.asarray(b))


def test_arrays_give_exactly_the_single_point_values(ply):
    ec = ply[EC]
    temperatures = np.array([[-60.0, -40.0, 0.0], [22.0, 50.5, 120.0]])
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        batch = ec.query(Temperature=temperatures)
        single = [ec.query(Temperature=float(t)) for t in temperatures.ravel()]
    assert set(batch) == set(ec.dependent_names)
    for name, values in batch.items():
        assert values.shape == temperatures.shape
        same(values.ravel(), [s[name] for s in single])
    assert ec.query(Temperature=50.0, dependent="E1") == ec.query(Temperature=50.0)["E1"]
    same(ec.query(Temperature=temperatures[0], dependent="E1", warnings="ignore"), batch["E1"][0])


def test_threads_query_one_set_at_once():
    rng = np.random.default_rng(3)
    pts = rng.random((200, 2))
    s = from_table("f", independent={"x": pts[:, 0], "y": pts[:, 1]}, dependent={"v": pts.sum(axis=1)},
                   cached=True)
    queries = [0.2 + 0.6 * rng.random((5000, 2)) for _ in range(8)]
    expected = [s.query(x=q[:, 0], y=q[:, 1], dependent="v") for q in queries]
    with ThreadPoolExecutor(4) as pool:
        got = list(pool.map(lambda q: s.query(x=q[:, 0], y=q[:, 1], dependent="v"), queries))
    for a, b in zip(got, expected):
        same(a, b)


def test_arrays_broadcast_together():
    x, y = np.meshgrid(np.linspace(0, 1, 5), np.linspace(0, 2, 4))
    plane = from_table("plane", independent={"x": x.ravel(), "y": y.ravel()},
                       dependent={"v": 3 * x.ravel() - y.ravel() + 1})
    qx = np.linspace(0.1, 0.9, 4)[:, None]
    qy = np.linspace(0.2, 1.8, 3)
    got = plane.query(x=qx, y=qy)["v"]
    assert got.shape == (4, 3)
    np.testing.assert_allclose(got, 3 * qx - qy + 1, rtol=1e-12)
    for i in range(4):
        for j in range(3):
            assert got[i, j] == plane.query(x=float(qx[i, 0]), y=float(qy[j]))["v"]
    with pytest.raises(ValueError, match="broadcast"):
        plane.query(x=np.zeros(3), y=np.zeros(4))


def test_warnings_policy_counts_the_points_outside():
    line = from_table("line", independent={"t": [0.0, 1.0, 2.0]}, dependent={"v": [0.0, 10.0, 20.0]},
                      ranges={"t": (0.0, 2.0)})
    points = np.array([-1.0, 0.5, 1.5, 3.0, 4.0])
    with pytest.warns(UserWarning, match="3 of 5 points of 'line'"):
        values = line.query(t=points)["v"]
    same(values, [0.0, 5.0, 15.0, 20.0, 20.0])  # clamped to the range
    with pytest.raises(qorva_mat.Error, match="3 of 5"):
        line.query(t=points, warnings="raise")
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        same(line.query(t=points, warnings="ignore")["v"], values)
        line.query(t=np.array([0.5, 1.0]))  # inside: no warning
    with pytest.raises(ValueError, match="warn"):
        line.query(t=1.0, warnings="loud")


def test_points_without_answer_are_nan_in_arrays_and_errors_alone():
    line = from_table("line", independent={"t": [0.0, 1.0]}, dependent={"v": [0.0, 1.0]})
    with pytest.warns(UserWarning, match="1 of 2 points could not be answered"):
        values = line.query(t=np.array([0.5, np.inf]))["v"]
    assert values[0] == 0.5 and np.isnan(values[1])
    with pytest.raises(qorva_mat.Error):
        line.query(t=np.inf)
    with pytest.raises(qorva_mat.Error):
        line.query(t=np.array([0.5, np.inf]), warnings="raise")


def test_query_argument_errors(ply):
    ec = ply[EC]
    with pytest.raises(KeyError, match="Temperature"):
        ec.query(Temprature=20.0)
    with pytest.raises(KeyError, match="E1"):
        ec.query(Temperature=20.0, dependent="E7")
    with pytest.raises(ValueError):
        ec.query(Temperature="warm")


def test_defaults_fill_variables_left_out():
    grid = from_table("grid", independent={"a": [0, 1, 0, 1], "b": [0, 0, 1, 1]},
                      dependent={"v": [0.0, 1.0, 2.0, 3.0]}, defaults={"a": 1.0, "b": 0.5})
    assert grid.defaults == {"a": 1.0, "b": 0.5}
    assert grid.query(a=0.0)["v"] == pytest.approx(1.0)
    assert grid.query()["v"] == pytest.approx(2.0)


@pytest.mark.parametrize("algorithm", ["linear", "nearest", "radial_basis"])
def test_from_table_reproduces_its_nodes(algorithm):
    rng = np.random.default_rng(7)
    x, y = rng.random(40), rng.random(40)
    v = np.sin(3 * x) + y ** 2
    s = from_table("f", independent={"x": x, "y": y}, dependent={"v": v, "w": 2 * v},
                   algorithm=algorithm, normalized=True, cached=True)
    assert s.is_normalized and s.is_cached and s.dependent_names == ["v", "w"]
    got = s.query(x=x, y=y, warnings="ignore")
    np.testing.assert_allclose(got["v"], v, rtol=1e-9, atol=1e-12)
    np.testing.assert_allclose(got["w"], 2 * v, rtol=1e-9, atol=1e-12)


def test_each_algorithm_between_the_nodes():
    t, v = [0.0, 1.0, 3.0], [0.0, 2.0, 4.0]
    linear = from_table("l", independent={"t": t}, dependent={"v": v})
    nearest = from_table("n", independent={"t": t}, dependent={"v": v}, algorithm="nearest")
    q = np.linspace(0, 3, 31)
    np.testing.assert_allclose(linear.query(t=q)["v"], np.interp(q, t, v), rtol=1e-14, atol=1e-14)
    assert nearest.query(t=0.4)["v"] == 0.0 and nearest.query(t=2.6)["v"] == 4.0
    x, y = np.meshgrid([0.0, 1.0, 2.0], [0.0, 1.0, 2.0])
    affine = from_table("r", independent={"x": x.ravel(), "y": y.ravel()},
                        dependent={"v": 2 * x.ravel() + 5 * y.ravel()}, algorithm="radial_basis")
    assert affine.query(x=0.3, y=1.7)["v"] == pytest.approx(2 * 0.3 + 5 * 1.7, rel=1e-9)


def test_constant_set():
    c = from_table("c", independent={}, dependent={"rho": [1550.0]})
    assert c.is_constant and c.query() == {"rho": 1550.0}


def test_from_table_rejects_bad_tables():
    with pytest.raises(ValueError, match="same"):
        from_table("f", independent={"t": [0, 1, 2]}, dependent={"v": [0, 1]})
    with pytest.raises(ValueError, match="algorithm"):
        from_table("f", independent={"t": [0, 1]}, dependent={"v": [0, 1]}, algorithm="cubic")
    with pytest.raises(ValueError, match="every independent"):
        from_table("f", independent={"t": [0, 1], "u": [0, 1]}, dependent={"v": [0, 1]}, ranges={"t": (0, 1)})
    with pytest.raises(KeyError):
        from_table("f", independent={"t": [0, 1]}, dependent={"v": [0, 1]}, defaults={"s": 0.0})
    with pytest.raises(ValueError):
        from_table("f", independent={"t": ["a", "b"]}, dependent={"v": [0, 1]})
    with pytest.raises(qorva_mat.Error):
        from_table("f", independent={"t": [0.0, 0.0, 1.0]}, dependent={"v": [0, 1, 2]})


def test_built_material_saves_and_loads(tmp_path):
    material = qorva_mat.Material("Bar", qorva_mat.UnitSystem("SI"))
    material.add(from_table("Density", independent={}, dependent={"rho": [7850.0]}))
    path = tmp_path / "bar.xml"
    qorva_mat.save(material, path, units="MPA")
    loaded = qorva_mat.load(path, units="SI")["Bar"]
    assert loaded["Density"].query()["rho"] == pytest.approx(7850.0, rel=1e-12)
    in_mpa = qorva_mat.load(path, units="MPA")["Bar"]
    assert in_mpa["Density"].query()["rho"] == pytest.approx(7850.0e-12, rel=1e-12)
