"""A physical outcome map (the reference integration) as an image in the
outcome colours, with its basin entropy in the title.

    PYTHONPATH=build/python python3 examples/basin.py basin.png
"""
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt
import numpy as np
from matplotlib.colors import ListedColormap
from matplotlib.patches import Patch

import threebody

m = threebody.map(x=("alpha", 0, 360, 121), y=("init_v3", 0.5, 1.5, 41), integrator="reference")
# The outcome colours of the map tool's pictures, by end code.
names = ["none", "collision", "escaped", "far but bound", "ten revolutions"]
colours = ["#9e9e9e", "#d82828", "#288cd8", "#3cb43c", "#f0aa1e"]
codes = np.where(m.end < 0, 0, m.end)
fig, ax = plt.subplots(figsize=(8, 4), dpi=100)
ax.imshow(codes, origin="lower", aspect="auto", interpolation="nearest", cmap=ListedColormap(colours),
          vmin=0, vmax=4, extent=(m.x[0], m.x[-1], m.y[0], m.y[-1]))
ax.set_xlabel("alpha, degrees")
ax.set_ylabel("init v3")
ax.set_title(f"basin entropy S_b = {m.basin_entropy:.3f}, boundary S_bb = {m.boundary_basin_entropy:.3f}"
             + (" (fractal)" if m.fractal else ""))
ax.legend(handles=[Patch(color=c, label=n) for c, n in zip(colours[1:], names[1:]) if m.counts.get(n)],
          loc="upper center", bbox_to_anchor=(0.5, -0.15), ncol=4, frameon=False)
fig.tight_layout()
fig.savefig(sys.argv[1] if len(sys.argv) > 1 else "basin.png")
