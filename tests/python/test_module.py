"""The Python module against the tools: the same bits, the errors the tools
give, Ctrl-C, threads, memory and silence. THREEBODY_BIN names the tools'
folder; PYTHONPATH finds the module (both set by ctest)."""

import csv
import doctest
import io
import os
import signal
import subprocess
import sys
import textwrap
import threading
import time

import numpy as np
import pytest

import threebody as tb

BIN = os.environ.get("THREEBODY_BIN", "build/bin")


def tool(name, *args):
    done = subprocess.run([os.path.join(BIN, name), *args], capture_output=True, text=True)
    return done


def csv_rows(text):
    lines = [l for l in text.splitlines() if not l.startswith("#")]
    return list(csv.DictReader(io.StringIO("\n".join(lines))))


def assert_row_equals_csv(row, csv_row, fields):
    for name in fields:
        kind = row.dtype[name]
        text = csv_row[name]
        if kind.kind == "U":
            assert row[name] == text, name
        elif kind.kind == "b":
            assert row[name] == (text == "true"), name
        elif text == "":
            assert np.isnan(row[name]), name
        else:
            # The CSV's text read back as the column's type gives the same bits.
            assert row[name] == kind.type(text), (name, row[name], text)


def test_series_gives_the_batch_tools_columns_bit_for_bit_with_lanes_and_threads():
    csv_out = tool("threebody-batch", "--alpha-end", "40", "--tdelta", "0.01", "--init-v3", "1.1",
                   "--format", "csv").stdout
    expected = csv_rows(csv_out)
    names = [name for name, _ in tb.columns()]
    for lanes, threads in [(1, 1), (0, 2), (4, 1)]:
        s = tb.series(alpha_end=40, tdelta=0.01, init_v3="1.1", lanes=lanes, threads=threads)
        assert len(s) == len(expected) > 5
        assert s.lines == [r["line"] for r in expected]
        for row, want in zip(s.tests, expected):
            assert_row_equals_csv(row, want, names)
    assert s.tests["v3"].dtype == np.float32 and s.tests["steps"].dtype == np.int64


def test_check_and_verify_add_the_stable_and_verdict_columns_as_the_tool_writes_them():
    expected = csv_rows(tool("threebody-batch", "--alpha-end", "6", "--tdelta", "0.01", "--check", "--verify",
                             "--format", "csv").stdout)
    s = tb.series(alpha_end=6, tdelta=0.01, check=True, verify=True)
    for row, want in zip(s.tests, expected):
        assert_row_equals_csv(row, want, ["end", "time", "line", "stable", "verdict"])
    assert set(s["verdict"]) <= {"confirmed", "artefact", "fragile", "undecided"}


def test_numbers_and_texts_give_the_same_experiment():
    a = tb.series(alpha_start=10, alpha_end=12, tdelta=0.01, m3=5)
    b = tb.series(alpha_start="10", alpha_end="12", tdelta="0.01", m3="5")
    assert a.lines == b.lines and a.tests.tobytes() == b.tests.tobytes()


def test_a_trajectory_ends_as_the_series_says_and_is_relative_to_the_pairs_centre():
    s = tb.series(alpha_start=30, alpha_end=30, tdelta=0.01)
    t = tb.test(30, tdelta=0.01)
    assert t.line == s.lines[0]
    assert t.result.tobytes() == s.tests[0].tobytes()
    n = len(t.time)
    assert n > 100 and t.x.shape == t.y.shape == (n, 3)
    assert np.all(np.diff(t.time) > 0)
    # Equal masses: the pair's bodies are mirror images about the centre.
    assert np.allclose(t.x[:, 0], -t.x[:, 1]) and np.allclose(t.y[:, 0], -t.y[:, 1])
    assert np.allclose(t.dist12, np.hypot(t.x[:, 1] - t.x[:, 0], t.y[:, 1] - t.y[:, 0]))
    assert t.time[-1] == t.result["time"]


def map_rows(tmp_path, *args):
    path = tmp_path / "map.csv"
    done = tool("threebody-map", *args, "--csv", str(path))
    return csv_rows(path.read_text()), done


def test_map_arrays_equal_the_map_tools_csv(tmp_path):
    args = ["--x", "alpha=0:360:13", "--y", "init-v3=0.5:1.5:5", "--tdelta", "0.01"]
    rows, _ = map_rows(tmp_path, *args)
    m = tb.map(x=("alpha", 0, 360, 13), y=("init_v3", 0.5, 1.5, 5), tdelta=0.01, threads=2)
    assert m.end.shape == (5, 13) and len(rows) == 65
    for r in rows:
        i, j = int(r["i"]), int(r["j"])
        assert m.end[j, i] == int(r["end"])
        assert m.revolutions[j, i] == int(r["revolutions"])
        assert m.steps[j, i] == int(r["steps"])
        assert m.time[j, i] == float(r["time"])
        assert m.x[i] == float(r["x_alpha"]) and m.y[j] == float(r["y_init-v3"])
    assert sum(m.counts.values()) == 65 and m.summary["done"] == 65
    assert m.verdict is None


def test_physical_map_and_its_basin_entropy_equal_the_tools(tmp_path):
    args = ["--x", "alpha=0:360:10", "--y", "init-v3=0.5:1.5:10", "--integrator", "reference"]
    rows, done = map_rows(tmp_path, *args)
    assert len(rows) == 100
    m = tb.map(x=("alpha", 0, 360, 10), y=("init_v3", 0.5, 1.5, 10), integrator="reference")
    for r in rows:
        i, j = int(r["i"]), int(r["j"])
        assert (m.end[j, i], m.time[j, i], m.verdict[j, i]) == (int(r["end"]), float(r["time"]), r["verdict"])
    assert f"S_b = {m.basin_entropy:.4f}" in done.stderr
    assert f"S_bb = {m.boundary_basin_entropy:.4f}" in done.stderr


def test_refused_input_raises_value_error_with_the_tools_message():
    with pytest.raises(ValueError) as e:
        tb.series(tdelta="0,01x")
    assert str(e.value) in tool("threebody-batch", "--tdelta", "0,01x").stderr
    with pytest.raises(ValueError, match="is not FIELD=START:END:COUNT"):
        tb.map(x=("speed", 0, 1, 3))
    with pytest.raises(ValueError, match="no parameter is named"):
        tb.map(speed=3)
    with pytest.raises(ValueError):
        tb.map(x=("alpha", 0, 360))
    with pytest.raises(ValueError):
        tb.map(integrator="rk4")
    # A negative count is refused before anything of its size is made, and so
    # is a grid beyond the map tool's limit.
    with pytest.raises(ValueError, match="must be a whole number"):
        tb.map(x=("alpha", 0, 360, -5))
    with pytest.raises(ValueError, match="more than 100000000 points"):
        tb.map(x=("alpha", 0, 360, 100000), y=("m3", 1, 2, 100000))
    with pytest.raises(ValueError, match="count of worker threads"):
        tb.series(alpha_end=0, tdelta=0.01, threads=-1)
    with pytest.raises(TypeError):
        tb.series(m3=[1])
    with pytest.raises(TypeError):
        tb.series(mass=1)
    # Still usable afterwards.
    assert len(tb.series(alpha_end=0, tdelta=0.01)) == 1


def test_nothing_is_written_to_stdout_or_stderr(capfd):
    tb.series(alpha_end=2, tdelta=0.01)
    tb.test(0, tdelta=0.01)
    tb.map(x=("alpha", 0, 90, 3), y=("init_v3", 0.9, 1.0, 2), tdelta=0.01)
    out, err = capfd.readouterr()
    assert out == "" and err == ""


def test_the_lock_is_released_while_computing():
    # Another thread keeps running Python code during the whole computation:
    # some of its ticks fall well inside the call's span.
    span = []
    ticks = []

    def compute():
        span.append(time.perf_counter())
        tb.series(alpha_end=20)
        span.append(time.perf_counter())

    worker = threading.Thread(target=compute)
    worker.start()
    while worker.is_alive():
        ticks.append(time.perf_counter())
        time.sleep(0.001)
    worker.join()
    start, end = span
    inner = [t for t in ticks if start + 0.2 * (end - start) < t < end - 0.2 * (end - start)]
    assert len(inner) > 10


def test_two_threads_get_each_ones_results_as_when_run_alone():
    alone = [tb.series(alpha_end=10, tdelta=0.01, m3=m).lines for m in (1, 50)]
    got = [None, None]

    def run(k, m):
        got[k] = tb.series(alpha_end=10, tdelta=0.01, m3=m).lines

    threads = [threading.Thread(target=run, args=(k, m)) for k, m in enumerate((1, 50))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert got == alone


def test_ctrl_c_raises_keyboard_interrupt_soon_and_leaves_the_interpreter_usable():
    script = textwrap.dedent("""
        import os, signal, threading, time
        import threebody
        def interrupt():
            time.sleep(0.5)
            global sent
            sent = time.perf_counter()
            os.kill(os.getpid(), signal.SIGINT)
        for work in (lambda: threebody.map(x=("alpha", 0, 360, 200), y=("init_v3", 0.5, 1.5, 200)),
                     lambda: threebody.series(tdelta="0.0001")):
            threading.Thread(target=interrupt).start()
            try:
                work()
                print("not interrupted")
            except KeyboardInterrupt:
                print("interrupted after %.3f s" % (time.perf_counter() - sent))
        print(threebody.series(alpha_end=0, tdelta=0.01).lines[0])
    """)
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=120)
    lines = done.stdout.splitlines()
    assert len(lines) == 3, done.stdout + done.stderr
    for line in lines[:2]:
        # Each would take minutes; it ended at once (the figure is in the output).
        assert line.startswith("interrupted after"), done.stdout + done.stderr
        assert float(line.split()[2]) < 5
    assert lines[2].startswith("Alpha   0")


def test_memory_stays_flat_over_a_thousand_calls():
    def resident():
        with open("/proc/self/statm") as f:
            return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")

    for _ in range(100):
        tb.series(alpha_end=0, tdelta=0.1)
        tb.test(0, tdelta=0.1)
    before = resident()
    for _ in range(1000):
        tb.series(alpha_end=0, tdelta=0.1)
        tb.test(0, tdelta=0.1)
    assert resident() - before < 4 << 20


def test_every_function_explains_its_arguments():
    for f in (tb.series, tb.test, tb.map):
        assert f.__doc__ and len(f.__doc__) > 200
    for name in ("alpha_start", "tdelta", "init_v3", "lanes", "threads", "check", "verify"):
        assert name in tb.series.__doc__
    assert tb.__version__ == tool("threebody-batch", "--version").stdout.split()[-1]


def test_the_modules_own_example_gives_what_it_shows():
    failed, tried = doctest.testmod(tb)
    assert tried >= 3 and failed == 0
