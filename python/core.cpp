// The Python module's compiled part, threebody._core: the library's series,
// single test and map, each run on a worker thread with the interpreter's
// lock released (two Python threads compute at once), while the calling
// thread waits and looks for Ctrl-C every 20 ms. Results come back as plain
// Python values and numpy arrays; the package's __init__.py shapes them.
#include <threebody/threebody.h>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace py = pybind11;

namespace {

using Parameters = std::vector<std::pair<std::string, py::object>>;

// A number's text as the library writes numbers (the fewest digits that read
// back as the value), so that 0.01 and "0.01" are the same experiment.
std::string numberText(double v) {
  return threebody::Experiment::fromNumbers(v, v, v, v, v, v, v).alpha_start;
}

// The experiment from keyword arguments: texts as typed into the control
// form, or numbers. A wrong name or text raises ValueError with the
// library's message.
threebody::Experiment experimentOf(const Parameters& parameters) {
  threebody::Experiment e;
  for (const auto& [name, value] : parameters) {
    if (py::isinstance<py::str>(value)) {
      e.set(name, value.cast<std::string>());
    } else if (py::isinstance<py::bool_>(value) ||
               !(py::isinstance<py::int_>(value) || py::isinstance<py::float_>(value) ||
                 py::hasattr(value, "__float__"))) {
      throw py::type_error(name + " takes a number or a text, not " +
                           py::str(py::type::of(value).attr("__name__")).cast<std::string>());
    } else {
      e.set(name, numberText(value.cast<double>()));
    }
  }
  return e;
}

// Runs work() on a worker thread with the lock released. Every 20 ms the
// calling thread takes the lock to run Python's signal handlers: a
// KeyboardInterrupt sets the stop token, the work returns what it finished,
// and the exception goes on to the caller.
template <class Work> void runInterruptible(const threebody::StopToken& stop, Work work) {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false, interrupted = false;
  std::exception_ptr failure;
  {
    py::gil_scoped_release release;
    std::thread worker([&] {
      try {
        work();
      } catch (...) {
        failure = std::current_exception();
      }
      std::lock_guard lock(mutex);
      done = true;
      finished.notify_all();
    });
    std::unique_lock lock(mutex);
    while (!done) {
      if (finished.wait_for(lock, std::chrono::milliseconds(20), [&] { return done; })) break;
      lock.unlock();
      {
        py::gil_scoped_acquire acquire;
        if (!interrupted && PyErr_CheckSignals() != 0) {
          interrupted = true;
          stop.requestStop();
        }
      }
      lock.lock();
    }
    lock.unlock();
    worker.join();
  }
  if (interrupted) throw py::error_already_set();
  if (failure) std::rethrow_exception(failure);
}

const char* typeName(threebody::ColumnType t) {
  switch (t) {
  case threebody::ColumnType::Integer: return "integer";
  case threebody::ColumnType::Single: return "single";
  case threebody::ColumnType::Double: return "double";
  case threebody::ColumnType::Optional: return "optional";
  case threebody::ColumnType::Text: return "text";
  }
  return "text";
}

py::list columns() {
  py::list out;
  for (const threebody::ColumnInfo& c : threebody::resultColumns())
    out.append(py::make_tuple(c.name, typeName(c.type)));
  return out;
}

py::dict resultDict(const threebody::TestResult& t) {
  py::dict d;
  py::list texts;
  for (const auto& [name, text] : t.columns)
    texts.append(text);
  d["texts"] = texts;
  d["line"] = t.line;
  d["stable"] = t.same_at_half_step ? py::cast(*t.same_at_half_step) : py::none();
  d["verdict"] = t.verdict ? py::cast(*t.verdict) : py::none();
  return d;
}

py::dict series(const Parameters& parameters, int lanes, int threads, bool check, bool verify) {
  const threebody::Experiment e = experimentOf(parameters);
  threebody::SeriesOptions options;
  options.lanes = lanes;
  options.threads = threads;
  options.check = check;
  options.verify = verify;
  std::vector<threebody::TestResult> tests;
  threebody::SeriesSummary summary;
  runInterruptible(options.stop, [&] {
    summary = threebody::runSeries(e, options, [&](const threebody::TestResult& t) { tests.push_back(t); });
  });
  py::list results;
  for (const threebody::TestResult& t : tests)
    results.append(resultDict(t));
  py::dict out;
  out["tests"] = results;
  out["fault"] = summary.fault;
  return out;
}

template <class T> py::array_t<T> vectorArray(std::vector<T>&& v, std::vector<py::ssize_t> shape) {
  auto* owned = new std::vector<T>(std::move(v));
  py::capsule free(owned, [](void* p) { delete static_cast<std::vector<T>*>(p); });
  return py::array_t<T>(shape, owned->data(), free);
}

py::dict test(const Parameters& parameters, double alpha) {
  const threebody::Experiment e = experimentOf(parameters);
  threebody::StopToken stop;
  threebody::Trajectory trajectory;
  runInterruptible(stop, [&] { trajectory = threebody::runTest(e, alpha, stop); });
  const size_t n = trajectory.points.size();
  std::vector<double> time(n), x(3 * n), y(3 * n), d13(n), d23(n), d12(n), v3(n), vesc(n), energy(n);
  std::vector<uint8_t> present(n);
  for (size_t k = 0; k < n; ++k) {
    const threebody::TrajectoryPoint& p = trajectory.points[k];
    time[k] = p.time;
    for (int b = 0; b < 3; ++b) {
      x[3 * k + b] = p.x[b];
      y[3 * k + b] = p.y[b];
    }
    present[k] = p.third_present;
    d13[k] = p.dist13;
    d23[k] = p.dist23;
    d12[k] = p.dist12;
    v3[k] = p.v3;
    vesc[k] = p.vesc;
    energy[k] = p.energy_error;
  }
  const auto rows = static_cast<py::ssize_t>(n);
  py::dict out;
  out["time"] = vectorArray(std::move(time), {rows});
  out["x"] = vectorArray(std::move(x), {rows, 3});
  out["y"] = vectorArray(std::move(y), {rows, 3});
  out["third_present"] = vectorArray(std::move(present), {rows}).attr("astype")("bool");
  out["dist13"] = vectorArray(std::move(d13), {rows});
  out["dist23"] = vectorArray(std::move(d23), {rows});
  out["dist12"] = vectorArray(std::move(d12), {rows});
  out["v3"] = vectorArray(std::move(v3), {rows});
  out["vesc"] = vectorArray(std::move(vesc), {rows});
  out["energy_error"] = vectorArray(std::move(energy), {rows});
  out["result"] = resultDict(trajectory.result);
  return out;
}

threebody::MapAxis axisOf(const py::tuple& t, const char* which) {
  if (t.size() != 4)
    throw py::value_error(std::string(which) +
                          " takes (field, from, to, points), e.g. (\"alpha\", 0, 360, 73)");
  threebody::MapAxis a;
  a.field = t[0].cast<std::string>();
  for (char& c : a.field)
    if (c == '_') c = '-';
  a.from = t[1].cast<double>();
  a.to = t[2].cast<double>();
  a.points = t[3].cast<int>();
  return a;
}

py::dict map(const Parameters& parameters, const py::tuple& x, const py::tuple& y, bool reference,
             bool verify, int threads, int lanes) {
  const threebody::Experiment e = experimentOf(parameters);
  threebody::MapOptions options;
  options.x = axisOf(x, "x");
  options.y = axisOf(y, "y");
  options.integrator = reference ? threebody::Integrator::Reference : threebody::Integrator::Fixed;
  options.verify = verify;
  options.threads = threads;
  options.lanes = lanes;
  // The arrays are made once the map is accepted (its first point, or its
  // end): a refused axis, such as a negative count, is a ValueError, not a
  // failed allocation of its size.
  const size_t nx = static_cast<size_t>(options.x.points), ny = static_cast<size_t>(options.y.points);
  std::vector<int16_t> end;
  std::vector<int32_t> revolutions;
  std::vector<double> time, xs, ys;
  std::vector<int64_t> steps;
  std::vector<std::string> outcome, verdict;
  auto allocate = [&] {
    if (!end.empty()) return;
    end.assign(nx * ny, -1);
    revolutions.assign(nx * ny, 0);
    time.assign(nx * ny, 0);
    xs.assign(nx, 0);
    ys.assign(ny, 0);
    steps.assign(nx * ny, 0);
    outcome.assign(nx * ny, "not computed");
    verdict.assign(nx * ny, "");
  };
  bool verdicts = false;
  threebody::MapSummary summary;
  runInterruptible(options.stop, [&] {
    summary = threebody::runMap(e, options, [&](const threebody::MapPoint& p) {
      allocate();
      const size_t k = p.j * nx + p.i;
      end[k] = static_cast<int16_t>(p.end);
      revolutions[k] = p.revolutions;
      time[k] = p.time;
      steps[k] = p.steps;
      outcome[k] = p.outcome;
      xs[p.i] = p.x;
      ys[p.j] = p.y;
      if (p.verdict) verdict[k] = *p.verdict, verdicts = true;
    });
  });
  allocate();
  const auto rows = static_cast<py::ssize_t>(ny), cols = static_cast<py::ssize_t>(nx);
  py::dict out;
  out["end"] = vectorArray(std::move(end), {rows, cols});
  out["revolutions"] = vectorArray(std::move(revolutions), {rows, cols});
  out["time"] = vectorArray(std::move(time), {rows, cols});
  out["steps"] = vectorArray(std::move(steps), {rows, cols});
  out["outcome"] = py::cast(outcome);
  out["verdict"] = verdicts ? py::object(py::cast(verdict)) : py::object(py::none());
  out["x"] = vectorArray(std::move(xs), {cols});
  out["y"] = vectorArray(std::move(ys), {rows});
  py::dict counts;
  for (const auto& [name, count] : summary.outcomes)
    counts[py::str(name)] = count;
  out["counts"] = counts;
  out["basin_entropy"] = summary.basin_entropy ? py::cast(*summary.basin_entropy) : py::none();
  out["boundary_basin_entropy"] =
      summary.boundary_basin_entropy ? py::cast(*summary.boundary_basin_entropy) : py::none();
  out["fractal"] = summary.fractal;
  out["done"] = summary.done;
  out["csv_head"] = summary.csv_head;
  out["summary_json"] = summary.json;
  return out;
}

} // namespace

PYBIND11_MODULE(_core, m) {
  m.doc() = "The threebody library's compiled part; use the threebody package's functions.";
  py::register_exception<threebody::Error>(m, "Error", PyExc_ValueError);
  m.def("version", &threebody::version, "The library's version.");
  m.def("columns", &columns, "The result columns: (name, type) pairs in the CSV's order.");
  m.def("series", &series, py::arg("parameters"), py::arg("lanes"), py::arg("threads"), py::arg("check"),
        py::arg("verify"), "One series; see threebody.series.");
  m.def("test", &test, py::arg("parameters"), py::arg("alpha"), "One test's trajectory; see threebody.test.");
  m.def("map", &map, py::arg("parameters"), py::arg("x"), py::arg("y"), py::arg("reference"),
        py::arg("verify"), py::arg("threads"), py::arg("lanes"), "An outcome map; see threebody.map.");
}
