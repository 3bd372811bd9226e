// Between the API's types and the engine's: a map point back as the engine's
// row, and fields and a grid as the API's experiment and map options.
#include "api/bridge.h"

#include "api/internal.h"

namespace threebody {

tb::MapOutcome mapOutcomeNamed(std::string_view name) {
  for (int s = 0; s < tb::MapOutcome::kSlots; ++s)
    if (name == tb::MapOutcome::fromSlot(s).name()) return tb::MapOutcome::fromSlot(s);
  return tb::MapOutcome::fault();
}

tb::PointRow pointRow(const MapPoint& p) {
  tb::PointRow r;
  r.csv = p.csv;
  r.text = p.text;
  r.json = p.json;
  r.outcome = mapOutcomeNamed(p.outcome);
  r.steps = p.steps;
  r.time = p.time;
  r.revolutions = p.revolutions;
  r.verdictText = p.verdict_text;
  if (p.verdict) {
    r.verdict = tb::mapVerdictNamed(*p.verdict);
    // A verified map dots its artefacts; every other doubt (fragile,
    // undecided) is marked fragile, as the reference's stable points are not.
    if (r.verdict == tb::Verification::Artefact)
      r.mark = tb::MapMark::Artefact;
    else if (r.verdict != tb::Verification::Confirmed)
      r.mark = tb::MapMark::Fragile;
  }
  return r;
}

Experiment experimentOf(const tb::FieldTexts& fields) {
  Experiment e;
  for (const auto& [control, text] : fields)
    for (const tb::ParameterField& f : tb::parameterFields())
      if (control == f.control) *textOf(e, f.control) = text;
  return e;
}

MapOptions mapOptionsOf(const tb::MapRun& run, const StopToken& stop) {
  auto axis = [](const tb::MapAxis& a) {
    return MapAxis{a.field, a.values.front(), a.values.back(), static_cast<int>(a.values.size())};
  };
  MapOptions o;
  o.x = axis(run.x);
  o.y = axis(run.y);
  o.integrator = run.integrator == tb::MapIntegrator::Reference ? Integrator::Reference : Integrator::Fixed;
  o.verify = run.verify;
  o.threads = run.jobs;
  o.lanes = run.lanes;
  o.stop = stop;
  return o;
}

} // namespace threebody
