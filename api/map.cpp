// The library's outcome map: a job computing chosen points on worker threads
// as the map tool computes them, and the whole map in point order on it.
#include "api/bridge.h"
#include "api/internal.h"

#include "maps/basin_entropy.h"
#include "maps/map_run.h"
#include "maps/map_summary.h"
#include "runtime/numeric.h"

#include <span>

namespace threebody {

std::string MapAxis::text() const {
  return field + "=" + tb::exactText(from) + ":" + tb::exactText(to) + ":" + std::to_string(points);
}

namespace {

// The map the options describe, checked as the map tool checks its options.
tb::MapRun mapRun(const Experiment& experiment, const MapOptions& options) {
  // The experiment's own texts are checked; the axes' fields take the values of the grid.
  for (const auto& [control, text] : fieldTexts(experiment))
    if (std::string problem = tb::parameterTextError(tb::parameterField(control).option, text);
        !problem.empty())
      throw Error(std::string(tb::parameterField(control).option) + ": " + problem);
  tb::MapRun run;
  run.fields = fieldTexts(experiment);
  if (std::string e = tb::readAxis(options.x.text(), run.x); !e.empty()) throw Error("x axis: " + e);
  if (std::string e = tb::readAxis(options.y.text(), run.y); !e.empty()) throw Error("y axis: " + e);
  run.integrator =
      options.integrator == Integrator::Reference ? tb::MapIntegrator::Reference : tb::MapIntegrator::Fixed;
  run.verify = options.verify;
  if (std::string e = tb::mapGridProblem(run, "x", "y"); !e.empty()) throw Error(e);
  run.jobs = static_cast<int>(threadsFor(options.threads));
  run.lanes = options.lanes;
  return run;
}

// Point k's row as the API gives it.
MapPoint mapPoint(const tb::MapRun& run, size_t k, tb::PointRow& row) {
  const bool physical = run.integrator == tb::MapIntegrator::Reference;
  MapPoint p;
  p.i = k % run.columns();
  p.j = k / run.columns();
  p.x = run.x.values[p.i];
  p.y = run.y.values[p.j];
  p.outcome = row.outcome.name();
  p.end = row.outcome.kind() == tb::MapOutcome::Kind::Ended ? tb::endNumber(row.outcome.end()) : -1;
  p.steps = row.steps;
  p.revolutions = row.revolutions;
  p.time = row.time;
  if (row.verdict)
    p.verdict = physical && *row.verdict == tb::Verification::Confirmed ? "stable"
                                                                        : tb::verificationName(*row.verdict);
  p.text = std::move(row.text);
  p.csv = std::move(row.csv);
  p.json = std::move(row.json);
  p.verdict_text = std::move(row.verdictText);
  return p;
}

} // namespace

struct [[gnu::visibility("hidden")]] MapJob::Impl {
  Impl(const Experiment& experiment, const MapOptions& options)
      : run(mapRun(experiment, options)), stop(options.stop) {
    run.interrupt = stop.counter();
  }
  // Starts `n` points, the e-th being point at(e) (e itself without `at`).
  void start(size_t n, std::function<size_t(size_t)> at) {
    count = n;
    pointAt = [total = run.points(), at = std::move(at)](size_t e) {
      const size_t k = at ? at(e) : e;
      if (k >= total) throw Error(outside(k, total));
      return k;
    };
    points = tb::startPoints(run, count, pointAt);
  }
  static std::string outside(size_t k, size_t total) {
    return "the order names point " + std::to_string(k) + " of a map of " + std::to_string(total) +
           " points; name points 0 to " + std::to_string(total - 1);
  }

  tb::MapRun run;
  StopToken stop;
  size_t count = 0;
  std::function<size_t(size_t)> pointAt;
  std::unique_ptr<tb::OrderedTests<tb::PointRow>> points;
  size_t taken = 0;
  bool ended = false; // a point came back empty: stopped
};

MapJob::MapJob(const Experiment& experiment, const MapOptions& options)
    : impl_(std::make_unique<Impl>(experiment, options)) {
  impl_->start(impl_->run.points(), nullptr);
}

MapJob::MapJob(const Experiment& experiment, const MapOptions& options, std::vector<size_t> order)
    : impl_(std::make_unique<Impl>(experiment, options)) {
  const size_t total = impl_->run.points();
  std::vector<bool> seen(total);
  for (size_t k : order) {
    if (k >= total) throw Error(Impl::outside(k, total));
    if (seen[k]) throw Error("the order names point " + std::to_string(k) + " twice; name each point once");
    seen[k] = true;
  }
  const size_t n = order.size();
  impl_->start(n, [order = std::make_shared<const std::vector<size_t>>(std::move(order))](size_t e) {
    return (*order)[e];
  });
}

MapJob::MapJob(const Experiment& experiment, const MapOptions& options, size_t count,
               std::function<size_t(size_t)> pointAt)
    : impl_(std::make_unique<Impl>(experiment, options)) {
  impl_->start(count, std::move(pointAt));
}

MapJob::~MapJob() = default;

size_t MapJob::size() const { return impl_->count; }
size_t MapJob::taken() const { return impl_->taken; }
bool MapJob::over() const { return impl_->ended || impl_->taken == impl_->count; }

std::optional<MapPoint> MapJob::next(const std::function<void(size_t)>& finished) {
  Impl& m = *impl_;
  if (over()) return std::nullopt;
  std::optional<tb::PointRow> row = m.points->take(m.taken, finished);
  if (!row) {
    m.ended = true;
    return std::nullopt;
  }
  return mapPoint(m.run, m.pointAt(m.taken++), *row);
}

std::optional<MapPoint> MapJob::poll() {
  Impl& m = *impl_;
  std::optional<tb::PointRow> row;
  if (over() || !m.points->poll(m.taken, row)) return std::nullopt;
  if (!row) {
    m.ended = true;
    return std::nullopt;
  }
  return mapPoint(m.run, m.pointAt(m.taken++), *row);
}

void MapJob::stop() {
  impl_->stop.requestStop();
  impl_->points->abandon(); // the running points are dropped at once
  impl_->ended = true;
}

std::string MapJob::csvHead() const { return tb::mapCsvHead(impl_->run); }

MapSummary runMap(const Experiment& experiment, const MapOptions& options,
                  const std::function<void(const MapPoint&)>& onPoint,
                  const std::function<void(size_t, size_t)>& onProgress) {
  const double started = tb::monotonicSeconds();
  MapJob job(experiment, options);
  const tb::MapRun run = mapRun(experiment, options);
  const bool physical = run.integrator == tb::MapIntegrator::Reference;
  const size_t columns = run.columns(), total = job.size();
  std::vector<uint8_t> slots(total, static_cast<uint8_t>(tb::MapOutcome::notYet().slot()));
  tb::MapTally tally;
  while (std::optional<MapPoint> p = job.next()) {
    const size_t k = p->j * columns + p->i;
    const tb::MapOutcome outcome = mapOutcomeNamed(p->outcome);
    slots[k] = static_cast<uint8_t>(outcome.slot());
    ++tally.outcomes[outcome.slot()];
    if (run.verify || physical)
      tally.verdicts.add(p->verdict ? tb::mapVerdictNamed(*p->verdict) : std::nullopt);
    tally.steps += p->steps;
    if (onPoint) onPoint(*p);
    if (onProgress) onProgress(k + 1, total);
  }
  const size_t done = job.taken();
  const double seconds = tb::monotonicSeconds() - started;

  MapSummary summary;
  summary.points = total;
  summary.done = done;
  summary.stopped = done < total;
  const std::span<const tb::MapOutcome> legend =
      physical ? std::span<const tb::MapOutcome>(tb::kPhysicalLegendOutcomes)
               : std::span<const tb::MapOutcome>(tb::kLegendOutcomes);
  for (const tb::MapOutcome& o : legend)
    summary.outcomes.emplace_back(o.name(), tally.outcomes[o.slot()]);
  const tb::BasinEntropy entropy = tb::basinEntropy(slots, columns, run.y.values.size());
  if (entropy.boxes > 0) summary.basin_entropy = entropy.sb;
  if (entropy.boundaryBoxes > 0) summary.boundary_basin_entropy = entropy.sbb;
  summary.fractal = entropy.fractal();
  summary.csv_head = job.csvHead();
  summary.json = tb::summaryJson(run, tally, done, total, seconds, entropy);
  return summary;
}

} // namespace threebody
