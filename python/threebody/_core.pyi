# Types of the compiled part, threebody._core; the package's functions
# (threebody.series, threebody.test, threebody.map) explain every argument.
from typing import Any, Optional, Sequence, Tuple, Union

Parameter = Tuple[str, Union[int, float, str]]
Axis = Tuple[str, float, float, int]

class Error(ValueError):
    """A refused experiment or map, with the message the tools print."""

def version() -> str:
    """The library's version."""

def columns() -> list[Tuple[str, str]]:
    """The result columns: (name, type) pairs in the CSV's order."""

def series(parameters: Sequence[Parameter], lanes: int, threads: int, check: bool, verify: bool) -> dict[str, Any]:
    """One series: {"tests": [{"texts", "line", "stable", "verdict"}, ...], "fault": str}."""

def test(parameters: Sequence[Parameter], alpha: float) -> dict[str, Any]:
    """One test's trajectory: arrays by name, and "result"."""

def map(parameters: Sequence[Parameter], x: Axis, y: Axis, reference: bool, verify: bool, threads: int,
        lanes: int) -> dict[str, Any]:
    """An outcome map: 2-D arrays by name, the axes' values and the summary."""
