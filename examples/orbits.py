"""One test's trails: the pair circling its centre of mass and the third body
falling in, drawn with matplotlib, the bodies numbered where they start.

    PYTHONPATH=build/python python3 examples/orbits.py orbits.png
"""
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt

import threebody

t = threebody.test(alpha=130, tdelta=0.01, init_v3=0.62)
fig, ax = plt.subplots(figsize=(7.5, 4.8), dpi=100)
# The trails in the program's colours: the pair red and green, the third body black.
# The pair shares one circle: body 1 drawn wider beneath body 2.
for body, (colour, width) in enumerate([("#ff5555", 2.4), ("#33aa33", 0.9), ("#000000", 0.9)]):
    keep = t.third_present if body == 2 else slice(None)
    ax.plot(t.x[keep, body], t.y[keep, body], color=colour, linewidth=width, label=f"body {body + 1}")
    # The number just outside the body's start, away from the centre.
    x0, y0 = t.x[0, body], t.y[0, body]
    r = max((x0 * x0 + y0 * y0) ** 0.5, 1e-9)
    ax.annotate(str(body + 1), (x0, y0), textcoords="offset points", xytext=(12 * x0 / r - 4, 12 * y0 / r - 4),
                fontsize=12, fontweight="bold", color=colour)
    ax.plot(t.x[0, body], t.y[0, body], "o", color=colour, markersize=5)
ax.set_aspect("equal")
ax.set_xlabel("x, relative to the pair's centre of mass")
ax.set_ylabel("y")
ax.set_title(t.line, fontsize=7, family="monospace")
ax.legend(loc="upper right")
fig.tight_layout()
fig.savefig(sys.argv[1] if len(sys.argv) > 1 else "orbits.png")
