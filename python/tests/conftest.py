# Shared fixtures: the example file, the qorva-mat program and a loaded example.
import os
import pathlib

import pytest

import qorva_mat

HERE = pathlib.Path(__file__).resolve().parent
EXAMPLES = pathlib.Path(os.environ.get("QORVA_EXAMPLES_DIR", HERE.parents[1] / "examples"))
DATA = pathlib.Path(os.environ.get("QORVA_TEST_DATA_DIR", HERE.parents[1] / "tests" / "data"))
PLY = "UD Carbon/Epoxy T300/914"


@pytest.fixture(scope="session")
def example_xml():
    return EXAMPLES / "ud_carbon_epoxy.xml"


@pytest.fixture(scope="session")
def cli():
    path = os.environ.get("QORVA_CLI")
    if not path:
        pytest.skip("the qorva-mat program is not built")
    return path


@pytest.fixture()
def ply(example_xml):
    return qorva_mat.load(example_xml, units="MPA")[PLY]
