// The library's outcome map, computed in point order on worker threads as
// the map tool computes it.
#include "api/internal.h"

#include "maps/basin_entropy.h"
#include "maps/map_summary.h"
#include "runtime/numeric.h"

#include <cstdio>
#include <span>

namespace threebody {

std::string MapAxis::text() const {
  return field + "=" + tb::exactText(from) + ":" + tb::exactText(to) + ":" + std::to_string(points);
}

MapSummary runMap(const Experiment& experiment, const MapOptions& options,
                  const std::function<void(const MapPoint&)>& onPoint,
                  const std::function<void(size_t, size_t)>& onProgress) {
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
  run.interrupt = options.stop.counter();

  const bool physical = run.integrator == tb::MapIntegrator::Reference;
  const size_t columns = run.x.values.size(), total = columns * run.y.values.size();
  std::vector<uint8_t> slots(total, static_cast<uint8_t>(tb::MapOutcome::notYet().slot()));
  tb::MapTally tally;
  const double started = tb::monotonicSeconds();
  const size_t done = tb::computePoints(
      run, total, [](size_t e) { return e; },
      [&](size_t k, tb::PointRow& row) {
        slots[k] = static_cast<uint8_t>(row.outcome.slot());
        ++tally.outcomes[row.outcome.slot()];
        if (run.verify || physical) tally.verdicts.add(row.verdict);
        tally.steps += row.steps;
        MapPoint p;
        p.i = k % columns;
        p.j = k / columns;
        p.x = run.x.values[p.i];
        p.y = run.y.values[p.j];
        p.outcome = row.outcome.name();
        p.end = row.outcome.kind() == tb::MapOutcome::Kind::Ended ? tb::endNumber(row.outcome.end()) : -1;
        p.steps = row.steps;
        p.revolutions = row.revolutions;
        p.time = row.time;
        if (row.verdict)
          p.verdict = physical && *row.verdict == tb::Verification::Confirmed
                          ? "stable"
                          : tb::verificationName(*row.verdict);
        p.text = row.text;
        p.csv = row.csv;
        if (onPoint) onPoint(p);
        if (onProgress) onProgress(k + 1, total);
        return true;
      });
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
  summary.csv_head = tb::mapCsvHead(run);
  summary.json = tb::summaryJson(run, tally, done, total, seconds, entropy);
  return summary;
}

} // namespace threebody
