"""Gravitational motion of three point masses: the threebody engine from Python.

A pair of bodies circles its centre of mass; a third body falls in from far
out. A *series* runs one test per start angle of the pair and gives each
test's result; a *test* gives one test's trajectory; a *map* gives the
outcome over two parameters. The values are those of the threebody programs,
bit for bit.

    >>> import threebody
    >>> s = threebody.series(alpha_end=20)
    >>> s.lines[0]
    'Alpha   0 v3  2.987 vesc  1.242 r3 2589 dist12  198.2  199.8  201.1 time 1190 end  2'
    >>> s["end"]
    array([2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3])

Parameters are the control form's seven fields, by their CSV names:
alpha_start, alpha_end, tdelta, init_v3, m2, m3, disp_max. Each takes a
number or the text one would type into the form ("0.001", "1E3"). A refused
experiment raises ValueError with the message the tools print. Ctrl-C stops a
computation within a tenth of a second and raises KeyboardInterrupt. The
computation runs without the interpreter's lock, so threads compute at once.
"""

from __future__ import annotations

import json
import warnings
from dataclasses import dataclass, field
from typing import Any, Optional, Tuple, Union

import numpy as np

from . import _core

__all__ = ["series", "test", "map", "Series", "Trajectory", "Map", "columns", "__version__"]

__version__: str = _core.version()

Number = Union[int, float, str]
Axis = Tuple[str, float, float, int]

# numpy types of the result columns by the library's column types.
_DTYPES = {"integer": np.int64, "single": np.float32, "double": np.float64, "optional": np.float64}


def columns() -> list:
    """The result columns as (name, type) pairs, in the CSV's order.

    type is "integer", "single" (a float32 value), "double", "optional" (a
    double, NaN where the CSV leaves it empty) or "text" (the result line).
    """
    return list(_core.columns())


def _parameters(**fields: Optional[Number]) -> list:
    return [(name, value) for name, value in fields.items() if value is not None]


def _table(results: list, check: bool, verify: bool) -> np.ndarray:
    cols = _core.columns()
    dtype = []
    for name, kind in cols:
        if kind == "text":
            width = max([len(r["texts"][len(dtype)]) for r in results] + [1])
            dtype.append((name, f"U{width}"))
        else:
            dtype.append((name, _DTYPES[kind]))
    if check:
        dtype.append(("stable", np.bool_))
    if verify:
        dtype.append(("verdict", f"U{max([len(r['verdict'] or '') for r in results] + [1])}"))
    table = np.zeros(len(results), dtype=dtype)
    for k, (name, kind) in enumerate(cols):
        texts = [r["texts"][k] for r in results]
        if kind == "optional":
            texts = [t if t else "nan" for t in texts]
        # numpy reads each text as Python's float() does: the nearest value,
        # which for the CSV's shortest texts is the value itself.
        table[name] = np.array(texts, dtype=dtype[k][1])
    if check:
        table["stable"] = [bool(r["stable"]) for r in results]
    if verify:
        table["verdict"] = [r["verdict"] or "" for r in results]
    return table


@dataclass
class Series:
    """A series' tests: `tests` is a numpy structured array with the CSV's
    columns (alpha, steps, revolutions, end, v3, vesc, r3, dist12min,
    dist12mean, dist12max, time, energy_drift, angular_momentum_drift, line;
    then stable with check=True, verdict with verify=True), one row per test
    in series order. Indexing the series indexes that array."""

    tests: np.ndarray
    #: the result lines, as the program's results window shows them
    lines: list = field(default_factory=list)
    #: the fault that ended the series early (an overflow, and which field
    #: to change); empty if none
    fault: str = ""

    def __len__(self) -> int:
        return len(self.tests)

    def __getitem__(self, key: Any) -> Any:
        return self.tests[key]

    def __iter__(self):
        return iter(self.tests)

    def __array__(self, dtype: Any = None) -> np.ndarray:
        return self.tests if dtype is None else self.tests.astype(dtype)


def series(alpha_start: Optional[Number] = None, alpha_end: Optional[Number] = None,
           tdelta: Optional[Number] = None, init_v3: Optional[Number] = None, m2: Optional[Number] = None,
           m3: Optional[Number] = None, disp_max: Optional[Number] = None, *, lanes: int = 1, threads: int = 1,
           check: bool = False, verify: bool = False) -> Series:
    """Run one series: a test at every whole-step start angle from alpha_start
    to alpha_end, as the program's Start button runs it.

    alpha_start, alpha_end: start angles of the pair, degrees (default 0, 180).
    tdelta: time step of the integration (default 0.001).
    init_v3: third body's start speed, a fraction of its escape speed (0.9).
    m2, m3: masses of the second and third bodies (1000, 1; the first: 1000).
    disp_max: half-width of the plotted square (500).
    lanes: tests side by side on each thread, one per vector lane (1: one at
        a time; 0: the widest vectors); the results are the same.
    threads: worker threads, 1 to 1024 (0: one per core); the results are the same.
    check: run the series again at half the time step; the column `stable`
        says whether each test's end code and revolution count stayed.
    verify: judge each test by the reference integration; the column
        `verdict` says "confirmed", "artefact", ...

    Returns a Series: its `tests` array and its `lines`. Raises ValueError for
    a refused experiment, KeyboardInterrupt on Ctrl-C.
    """
    params = _parameters(alpha_start=alpha_start, alpha_end=alpha_end, tdelta=tdelta, init_v3=init_v3, m2=m2,
                         m3=m3, disp_max=disp_max)
    out = _core.series(params, lanes, threads, check, verify)
    results = out["tests"]
    if out["fault"]:
        warnings.warn(out["fault"], RuntimeWarning, stacklevel=2)
    return Series(_table(results, check, verify), [r["line"] for r in results], out["fault"])


@dataclass
class Trajectory:
    """One test, at every display step: positions relative to the pair's
    centre of mass (x and y have a column per body: 0 and 1 the pair, 2 the
    third body; y as computed, upwards), the time, the distances and speeds,
    and the test's result."""

    time: np.ndarray
    x: np.ndarray
    y: np.ndarray
    #: False once the third body has merged with the pair in a collision
    third_present: np.ndarray
    dist13: np.ndarray
    dist23: np.ndarray
    dist12: np.ndarray
    v3: np.ndarray
    vesc: np.ndarray
    #: (E - E at the start) / |E at the start|; NaN once merged
    energy_error: np.ndarray
    #: the test's row, with the columns of Series.tests
    result: np.void
    #: the test's result line
    line: str


def test(alpha: float = 0.0, *, tdelta: Optional[Number] = None, init_v3: Optional[Number] = None, m2: Optional[Number] = None,
         m3: Optional[Number] = None, disp_max: Optional[Number] = None) -> Trajectory:
    """Run one test and return its trajectory at every display step (every
    100 integration steps, where the program redraws its plot, and at the
    end), with its result.

    alpha: the pair's start angle, degrees.
    tdelta, init_v3, m2, m3, disp_max: as for series().

    Returns a Trajectory: time, x and y (a column per body, relative to the
    pair's centre of mass), third_present, dist13, dist23, dist12, v3, vesc,
    energy_error, and the test's result row and line, as series() gives
    them. Raises ValueError for a refused experiment or a fault part-way.
    """
    params = _parameters(tdelta=tdelta, init_v3=init_v3, m2=m2, m3=m3, disp_max=disp_max)
    out = _core.test(params, float(alpha))
    result = _table([out["result"]], False, False)[0]
    return Trajectory(out["time"], out["x"], out["y"], out["third_present"], out["dist13"], out["dist23"],
                      out["dist12"], out["v3"], out["vesc"], out["energy_error"], result, out["result"]["line"])


@dataclass
class Map:
    """An outcome map: each array has a row per y value and a column per x
    value (row 0 the first y value)."""

    #: the x axis's field and its values
    x_field: str
    x: np.ndarray
    #: the y axis's field and its values
    y_field: str
    y: np.ndarray
    #: the end code of each point: 1 collision, 2 escaped, 3 far but bound,
    #: 4 ten revolutions, 0 stopped; -1 where there is none (a fault)
    end: np.ndarray
    #: each point's outcome in words ("collision", "escaped", ...)
    outcome: np.ndarray
    revolutions: np.ndarray
    #: the simulated time each point ran
    time: np.ndarray
    #: integration steps (the reference's in a physical map)
    steps: np.ndarray
    #: a verified or physical map's verdict at each point; None otherwise
    verdict: Optional[np.ndarray]
    #: how many points each outcome has
    counts: dict
    #: S_b over boxes of 5 x 5 points (None without a whole box), S_bb over
    #: the boxes where outcomes meet, and whether S_bb exceeds ln 2
    basin_entropy: Optional[float]
    boundary_basin_entropy: Optional[float]
    fractal: bool
    #: the map tool's --summary object, as a dict
    summary: dict


def _axis(a: Axis, name: str) -> tuple:
    if not isinstance(a, (tuple, list)) or len(a) != 4:
        raise ValueError(f"{name} takes (field, from, to, points), e.g. (\"alpha\", 0, 360, 73)")
    return (str(a[0]), float(a[1]), float(a[2]), int(a[3]))


def map(x: Axis = ("alpha", 0, 360, 73), y: Axis = ("init_v3", 0.5, 1.5, 11), integrator: str = "fixed",
        verify: bool = False, threads: Optional[int] = None, lanes: int = 0, **fields: Number) -> Map:
    """Compute an outcome map over two parameters, as threebody-map does.

    x, y: (field, from, to, points): a parameter (alpha, tdelta, init_v3, m2,
        m3) and its evenly spaced values.
    integrator: "fixed" (each point a test, as the program runs it) or
        "reference" (the reference integration alone: the physics).
    verify: judge each fixed-step point by the reference (the verdict array).
    threads: worker threads, 1 to 1024 (None or 0: one per core).
    lanes: points side by side on each thread (0: the widest vectors).
    fields: the other parameters (tdelta=0.01, m3="5" ...), as for series().

    Returns a Map with 2-D arrays (a row per y value) and the summary.
    """
    if integrator not in ("fixed", "reference"):
        raise ValueError(f"integrator is \"fixed\" or \"reference\", not {integrator!r}")
    xa, ya = _axis(x, "x"), _axis(y, "y")
    out = _core.map(_parameters(**fields), xa, ya, integrator == "reference", verify, threads or 0, lanes)
    rows, cols = len(out["y"]), len(out["x"])
    verdict = None if out["verdict"] is None else np.array(out["verdict"]).reshape(rows, cols)
    return Map(xa[0], out["x"], ya[0], out["y"], out["end"], np.array(out["outcome"]).reshape(rows, cols),
               out["revolutions"], out["time"], out["steps"], verdict, dict(out["counts"]), out["basin_entropy"],
               out["boundary_basin_entropy"], out["fractal"], json.loads(out["summary_json"]))
