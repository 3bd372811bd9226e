// An outcome map's points: each one's test (or reference integration), its
// verdict when asked, and its row in every form the tools write.
#include "maps/map_run.h"

#include "forms/headless.h"
#include "results/export.h"
#include "runtime/controls.h"
#include "runtime/numeric.h"

#include <algorithm>
#include <cstdio>
#include <thread>

namespace tb {

namespace {

// The row of point (i, j): its test, or the fault that ended it.
PointRow makeRow(const MapRun& o, size_t i, size_t j, const std::optional<ExportedTest>& test,
                 const std::string& fault) {
  PointRow r;
  // The batch tool's object for the test, then the point and its fault.
  nlohmann::ordered_json json = test ? testJson(*test) : nlohmann::ordered_json::object();
  json["i"] = i;
  json["j"] = j;
  // The axis values as numbers, as alpha is in every test's object.
  json[o.x.field] = o.x.values[i];
  json[o.y.field] = o.y.values[j];
  if (test) {
    r.outcome = MapOutcome::ended(test->report.end);
    r.steps = test->report.steps;
    r.time = test->report.time;
    r.revolutions = test->report.revolutions;
    const VerifiedTest* verified = test->verified ? &*test->verified : nullptr;
    r.csv = mapCsvRow(o, i, j, &test->report, fault, verified);
    r.text = test->report.line;
    if (test->verifyAsked) r.text += verifyMark(verified);
    if (verified) {
      r.verdict = verified->verdict;
      r.verdictText = verificationText(*verified);
    }
    if (verified && verified->verdict != Verification::Confirmed)
      r.mark = verified->verdict == Verification::Artefact ? MapMark::Artefact : MapMark::Fragile;
    json["error"] = nullptr;
  } else {
    r.csv = mapCsvRow(o, i, j, nullptr, fault);
    r.text = "fault: " + fault;
    json["error"] = fault;
  }
  r.json = dumpJson(json);
  return r;
}

// The row of point (i, j) of a reference map.
PointRow makeReferenceRow(const MapRun& o, size_t i, size_t j, const ReferencePoint& p) {
  PointRow r;
  const ReferenceOutcome& out = p.outcome;
  r.outcome = referenceMapOutcome(out.end, out.time);
  r.steps = out.steps;
  r.time = out.time;
  r.revolutions = out.revolutions;
  r.verdictText = p.verdict;
  if (std::string_view(p.verdict) != "stable") r.mark = MapMark::Fragile;
  r.verdict = mapVerdictNamed(p.verdict);
  r.csv = mapReferenceCsvRow(o, i, j, p);
  char buf[160];
  const std::string revolutions = revolutionsText(out.revolutions);
  if (out.end != EndCode::None)
    std::snprintf(buf, sizeof buf, "reference: end %d after %s at t = %.1f (%s)", endNumber(out.end),
                  revolutions.c_str(), out.time, p.verdict);
  else
    std::snprintf(buf, sizeof buf, "reference: %s at t = %.1f after %s, no end (%s)",
                  out.gaveUp ? "step budget spent" : "still running at the time limit", out.time,
                  revolutions.c_str(), p.verdict);
  r.text = buf;
  nlohmann::ordered_json json;
  json["i"] = i;
  json["j"] = j;
  json[o.x.field] = o.x.values[i];
  json[o.y.field] = o.y.values[j];
  json["end"] = endNumber(out.end);
  json["revolutions"] = out.revolutions;
  json["time"] = out.time;
  json["steps"] = out.steps;
  json["verdict"] = p.verdict;
  json["closest_approach"] =
      out.closest ? nlohmann::ordered_json(*out.closest) : nlohmann::ordered_json(nullptr);
  json["escape_gap"] =
      out.escapeGap ? nlohmann::ordered_json(*out.escapeGap) : nlohmann::ordered_json(nullptr);
  json["error"] = nullptr;
  r.json = dumpJson(json);
  return r;
}

// The start angle of a point's one-test series.
double pointAlpha(const FieldTexts& fields) {
  for (const auto& [control, text] : fields)
    if (control == controls::Talphastr) return Val(text);
  return 0;
}

} // namespace

std::optional<Verification> mapVerdictNamed(std::string_view name) {
  return name == "stable" ? std::optional(Verification::Confirmed) : verificationNamed(name);
}

std::unique_ptr<OrderedTests<PointRow>> startPoints(const MapRun& o, size_t n,
                                                    std::function<size_t(size_t)> pointAt) {
  const size_t columns = o.x.values.size();
  HeadlessTestsSetup setup;
  setup.jobs = o.jobs > 0 ? static_cast<unsigned>(o.jobs) : std::max(1u, std::thread::hardware_concurrency());
  setup.lanes = o.lanes;
  setup.interrupt = o.interrupt;
  const bool reference = o.integrator == MapIntegrator::Reference;
  if (reference) {
    // A reference map computes each point on the worker with the reference
    // alone: the fixed-step test is set up (so a field it refuses is the
    // point's fault) and stopped after its first pass. Its points are
    // integrated in groups of 32, 128 integrations on the lanes: the group's
    // last integrations, left with the lanes half empty, are then a small
    // part of it.
    setup.stopAtStep = 1;
    setup.together = 32;
  }
  // Its plot is one pixel: a picture nobody sees would cost a physical point
  // more than its reference integration (the image made and its pages touched).
  auto input = [&o, columns, pointAt, reference](size_t e) {
    const size_t k = pointAt(e);
    return HeadlessTestInput{o.pointFields(k % columns, k / columns),
                             reference ? std::optional(std::pair(1, 1)) : std::nullopt};
  };
  // A point a signal stopped is not kept: the map ends before it.
  auto keep = [&o, columns, pointAt](size_t e, HeadlessTest& t,
                                     MemoryForms& forms) -> std::optional<PointRow> {
    if (t.cancelled || (o.interrupt && *o.interrupt != 0)) return std::nullopt;
    const size_t k = pointAt(e), i = k % columns, j = k / columns;
    std::optional<ExportedTest> test;
    if (t.report) test = exportedTest(*t.report, forms);
    if (test && o.verify) {
      test->verifyAsked = true;
      if (test->report.end != EndCode::None) {
        test->verified = verifyOutcome(referenceStart(o.pointFields(i, j), test->report.alpha),
                                       test->report.end, test->report.revolutions, o.interrupt);
        if (!test->verified) return std::nullopt;
      }
    }
    return makeRow(o, i, j, test, t.fault);
  };
  if (!reference) return std::make_unique<OrderedTests<PointRow>>(n, input, keep, setup);
  // A reference map's points that a worker's lanes set up together are
  // integrated together, their integrations side by side on vector lanes.
  typename OrderedTests<PointRow>::KeepTogether together =
      [&o, columns, pointAt, keep](std::span<const EndedTest> tests,
                                   std::vector<std::optional<PointRow>>& kept) {
        std::vector<ReferenceStart> starts;
        std::vector<size_t> at;
        for (const EndedTest& t : tests) {
          if (t.test->cancelled || (o.interrupt && *o.interrupt != 0) || !t.test->report) {
            kept.push_back(keep(t.index, *t.test, *t.forms)); // not kept, or the fault's row
            continue;
          }
          const size_t k = pointAt(t.index);
          const FieldTexts fields = o.pointFields(k % columns, k / columns);
          starts.push_back(referenceStart(fields, pointAlpha(fields)));
          at.push_back(kept.size());
          kept.emplace_back();
        }
        const std::vector<std::optional<ReferencePoint>> points = referencePoints(starts, o.interrupt);
        for (size_t q = 0; q < points.size(); ++q) {
          const size_t k = pointAt(tests[at[q]].index);
          if (points[q]) kept[at[q]] = makeReferenceRow(o, k % columns, k / columns, *points[q]);
        }
      };
  return std::make_unique<OrderedTests<PointRow>>(n, input, together, setup);
}

size_t computePoints(const MapRun& o, size_t n, const std::function<size_t(size_t)>& pointAt,
                     const std::function<bool(size_t, PointRow&)>& write,
                     const std::function<void(size_t)>& finished) {
  auto points = startPoints(o, n, pointAt);
  size_t e = 0;
  for (std::optional<PointRow> row; e < n && (row = points->take(e, finished)) && write(pointAt(e), *row);)
    ++e;
  return e;
}

} // namespace tb
