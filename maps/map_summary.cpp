// The map's summary lines and JSON object.
#include "maps/map_summary.h"

#include "results/export.h"

#include <cstdio>
#include <span>
#include <sstream>

namespace tb {

namespace {

// The outcomes as the summary line and its JSON name them, by slot.
struct SummaryOutcome {
  int slot;
  const char* words;
  const char* key;
};
constexpr SummaryOutcome kSummaryOutcomes[] = {{1, "collision", "collision"},
                                               {2, "escaped", "escaped"},
                                               {3, "far but bound", "far_but_bound"},
                                               {4, "ten revolutions", "ten_revolutions"},
                                               {0, "stopped", "stopped"},
                                               {MapOutcome::fault().slot(), "faults", "faults"}};
// A physical map's: its points are never stopped one by one, but the
// reference may reach its time limit or spend its step budget first.
constexpr SummaryOutcome kPhysicalSummaryOutcomes[] = {
    {1, "collision", "collision"},
    {2, "escaped", "escaped"},
    {3, "far but bound", "far_but_bound"},
    {4, "ten revolutions", "ten_revolutions"},
    {MapOutcome::timeLimit().slot(), "still running at the time limit", "time_limit"},
    {MapOutcome::gaveUp().slot(), "step budget spent", "step_budget_spent"},
    {MapOutcome::fault().slot(), "faults", "faults"}};

std::span<const SummaryOutcome> summaryOutcomes(const MapRun& o) {
  if (o.integrator == MapIntegrator::Reference) return kPhysicalSummaryOutcomes;
  return kSummaryOutcomes;
}

} // namespace

std::string summaryText(const MapRun& o, const MapTally& t, size_t done, size_t total, double seconds) {
  std::ostringstream err;
  err << "threebody-map: " << done << " of " << total << " points: ";
  for (const auto& [slot, words, key] : summaryOutcomes(o))
    err << t.outcomes[slot] << " " << words << (slot == MapOutcome::fault().slot() ? "; " : ", ");
  if (t.kept > 0) err << t.kept << " kept from the file, " << done - t.kept << " computed: ";
  const bool reference = o.integrator == MapIntegrator::Reference;
  const double rate = seconds > 0 ? static_cast<double>(t.steps) / seconds : 0.0;
  char buf[160];
  // A rate under a tenth of a million in thousands, so that it never reads 0.0.
  if (rate >= 1e5 || rate == 0)
    std::snprintf(buf, sizeof buf, "%lld %ssteps in %.1f s (%.1f million steps/s)\n",
                  static_cast<long long>(t.steps), reference ? "reference " : "", seconds, rate / 1e6);
  else
    std::snprintf(buf, sizeof buf, "%lld %ssteps in %.1f s (%.1f thousand steps/s)\n",
                  static_cast<long long>(t.steps), reference ? "reference " : "", seconds, rate / 1e3);
  err << buf;
  const int64_t* n = t.verdicts.counts;
  if (o.verify) {
    err << "threebody-map: verified by a reference integration (Runge-Kutta-Fehlberg 7(8), tolerances 1e-12 "
           "and 1e-14): "
        << n[0] << " confirmed, " << n[1] << " artefact, " << n[2] << " fragile, " << n[3] << " undecided";
    if (t.verdicts.none > 0) err << "; " << t.verdicts.none << " faults, not verified";
    err << ".\n";
  } else if (reference) {
    err << "threebody-map: " << n[0] << " stable, " << n[2]
        << " fragile (the outcome changes with the pair turned by 1e-6 radian), " << n[3]
        << " undecided (tolerances 1e-12 and 1e-14 disagree, or a reference spent its step budget)";
    if (t.verdicts.none > 0) err << "; " << t.verdicts.none << " faults";
    err << ".\n";
  }
  return err.str();
}

// The run's summary as one JSON object, the numbers the summary lines print.
std::string summaryJson(const MapRun& o, const MapTally& t, size_t done, size_t total, double seconds,
                        const BasinEntropy& e) {
  using Json = nlohmann::ordered_json;
  Json doc;
  doc["program"] = "threebody-map";
  doc["version"] = THREEBODY_VERSION;
  doc["x"] = o.x.given;
  doc["y"] = o.y.given;
  doc["parameters"] = parametersJson(o.fields);
  doc["integrator"] = o.integrator == MapIntegrator::Reference ? "reference" : "fixed";
  doc["verify"] = o.verify;
  doc["points"] = total;
  doc["done"] = done;
  doc["kept"] = t.kept;
  doc["stopped"] = done < total;
  Json outcomes;
  for (const auto& [slot, words, key] : summaryOutcomes(o))
    outcomes[key] = t.outcomes[slot];
  doc["outcomes"] = outcomes;
  doc["verdicts"] = o.verify || o.integrator == MapIntegrator::Reference
                        ? verdictsJson(t.verdicts, o.integrator == MapIntegrator::Reference)
                        : Json(nullptr);
  Json entropy;
  entropy["box"] = kEntropyBox;
  entropy["boxes"] = e.boxes;
  entropy["S_b"] = e.boxes > 0 ? Json(e.sb) : Json(nullptr);
  entropy["boundary_boxes"] = e.boundaryBoxes;
  entropy["S_bb"] = e.boundaryBoxes > 0 ? Json(e.sbb) : Json(nullptr);
  entropy["fractal"] = e.fractal();
  doc["basin_entropy"] = entropy;
  doc["steps"] = t.steps;
  doc["seconds"] = seconds;
  return dumpJson(doc) + "\n";
}

} // namespace tb
