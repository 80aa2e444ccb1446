"""E1 of the example carbon/epoxy ply over temperature, printed and (with matplotlib) plotted.

Usage: e1_over_temperature.py [EXAMPLES_DIR] [PLOT.png]
Run with PYTHONPATH=<build>/python when qorva_mat is not installed.
"""
import pathlib
import sys

import numpy as np

import qorva_mat

here = pathlib.Path(__file__).resolve().parent
examples = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else here.parent
plot_path = pathlib.Path(sys.argv[2]) if len(sys.argv) > 2 else None

materials = qorva_mat.load(examples / "ud_carbon_epoxy.xml", units="MPA")
ply = materials["UD Carbon/Epoxy T300/914"]
constants = ply["Engineering Constants"]
low, high = constants.ranges["Temperature"]
temperatures = np.linspace(low, high, 7)
e1 = constants.query(Temperature=temperatures, dependent="E1")

print(f"{ply.name}: E1 over temperature (qorva_mat {qorva_mat.__version__})")
print(f"  {'T [' + constants.unit('Temperature') + ']':>10}  {'E1 [' + constants.unit('E1') + ']':>12}")
for t, e in zip(temperatures, e1):
    print(f"  {t:10.1f}  {e:12.1f}")

try:
    import matplotlib
except ImportError:
    print("matplotlib is not installed: no plot")
    sys.exit(0)
matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

fine = np.linspace(low, high, 200)
fig, ax = plt.subplots()
ax.plot(fine, constants.query(Temperature=fine, dependent="E1"), label="interpolated")
ax.plot(temperatures, e1, "o", label="printed points")
ax.set_xlabel(f"Temperature [{constants.unit('Temperature')}]")
ax.set_ylabel(f"E1 [{constants.unit('E1')}]")
ax.set_title(ply.name)
ax.legend()
out = plot_path or pathlib.Path("e1_over_temperature.png")
fig.savefig(out)
print(f"plot written to {out}")
