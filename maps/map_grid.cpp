// The map's grid: reading an axis, each point's fields, a finished test's cell.
#include "maps/map_grid.h"

#include "results/schema.h"
#include "runtime/controls.h"
#include "runtime/numeric.h"

#include <charconv>
#include <cmath>

namespace tb {

namespace {

struct AxisField {
  const char* name;
  const char* control;
};
constexpr AxisField kAxisFields[] = {{"alpha", controls::Talphastr},
                                     {"init-v3", controls::Tinitv2},
                                     {"m2", controls::Tm2},
                                     {"m3", controls::Tm3},
                                     {"tdelta", controls::Ttdelta}};

const char* axisControl(const std::string& field) {
  for (const auto& f : kAxisFields)
    if (field == f.name) return f.control;
  return nullptr;
}

// The axis as typed, in quotes, as the messages show it.
std::string shown(const std::string& given) {
  std::string q(1, '"');
  q += printableText(given);
  q += '"';
  return q;
}

} // namespace

std::string readAxis(const std::string& given, MapAxis& axis) {
  axis = MapAxis{};
  axis.given = given;
  auto eq = given.find('=');
  std::string field = given.substr(0, eq);
  if (eq == std::string::npos || !axisControl(field))
    return shown(given) + " is not FIELD=START:END:COUNT with FIELD alpha, init-v3, m2, m3 or tdelta";
  axis.field = field;
  std::string rest = given.substr(eq + 1);
  auto c1 = rest.find(':'), c2 = rest.find(':', c1 == std::string::npos ? c1 : c1 + 1);
  if (c1 == std::string::npos || c2 == std::string::npos)
    return shown(given) + " needs START:END:COUNT after " + field + "=, such as " + field + "=0:360:100";
  std::string a = rest.substr(0, c1), b = rest.substr(c1 + 1, c2 - c1 - 1), n = rest.substr(c2 + 1);
  auto start = isWholeNumber(a) ? ValChecked(a) : std::nullopt;
  auto end = isWholeNumber(b) ? ValChecked(b) : std::nullopt;
  int count = 0;
  auto r = std::from_chars(n.data(), n.data() + n.size(), count);
  if (!start || !end) return "the start and end of " + shown(given) + " must be numbers";
  if (r.ec != std::errc() || r.ptr != n.data() + n.size() || count < 1 || count > 100000)
    return "the count of " + shown(given) + " must be a whole number from 1 to 100000";
  const double from = start.value_or(0), to = end.value_or(0);
  if (!std::isfinite(from) || !std::isfinite(to))
    return "the start and end of " + shown(given) + " must be finite numbers";
  // The step between points, and so every point, must be finite too.
  if (!std::isfinite(to - from))
    return "the points of " + shown(given) +
           " are too far apart to be computed; choose a start and end nearer each other";
  axisPoints(from, to, count, axis.values, axis.texts);
  for (double v : axis.values)
    if (!std::isfinite(v))
      return "the points of " + shown(given) + " are not all finite numbers; choose other ends";
  return "";
}

FieldTexts MapGrid::pointFields(size_t i, size_t j) const {
  FieldTexts f = fields;
  auto set = [&](const char* control, const std::string& text) {
    for (auto& [name, value] : f)
      if (name == control) value = text;
  };
  set(axisControl(x.field), x.texts[i]);
  set(axisControl(y.field), y.texts[j]);
  for (const auto& [name, value] : f)
    if (name == controls::Talphastr) set(controls::Talphaend, value);
  // The reference chooses its own steps and draws nothing: the time step and
  // the plot's size, which it does not use, cannot make its point a fault.
  if (integrator == MapIntegrator::Reference)
    for (const auto& p : parameterFields())
      if (p.control == std::string(controls::Ttdelta) || p.control == std::string(controls::Tdispmax))
        set(p.control, p.defaultText);
  return f;
}

std::string mapCsvHead(const MapGrid& grid) {
  std::string h = "# threebody-map " THREEBODY_VERSION "\n# x " + grid.x.given + "\n# y " + grid.y.given +
                  "\n# fixed " + parameterLine(grid.fields);
  if (grid.integrator == MapIntegrator::Reference) h += "\n# integrator reference";
  if (grid.verify) h += "\n# verify";
  h += "\ni,j,x_" + grid.x.field + ",y_" + grid.y.field + ",";
  if (grid.integrator == MapIntegrator::Reference) {
    for (const char* c : kReferenceMapColumns) {
      h += c;
      h += ',';
    }
    return h + "error\n";
  }
  return h + csvHeader(false, false, grid.verify) + ",error\n";
}

namespace {
std::string pointPrefix(const MapGrid& grid, size_t i, size_t j) {
  std::string row = std::to_string(i);
  row += ',';
  row += std::to_string(j);
  row += ',';
  row += grid.x.texts[i];
  row += ',';
  row += grid.y.texts[j];
  row += ',';
  return row;
}
} // namespace

std::string mapCsvRow(const MapGrid& grid, size_t i, size_t j, const TestReport* report,
                      const std::string& fault, const VerifiedTest* verified) {
  std::string row = pointPrefix(grid, i, j);
  if (report) {
    row += testToCsvRow(*report, Verdict::None, nullptr, verified, grid.verify);
    row += ",\n";
  } else {
    const size_t columns = grid.integrator == MapIntegrator::Reference
                               ? std::size(kReferenceMapColumns)
                               : resultColumns().size() + (grid.verify ? std::size(kVerifyColumns) : 0);
    row += std::string(columns, ',');
    row += csvQuoted(fault);
    row += '\n';
  }
  return row;
}

namespace {

// A point's outcome and verdict from its four integrations: at 1e-12, at
// 1e-14 and with the pair turned both ways.
std::optional<ReferencePoint> judgedPoint(const ReferenceOutcome* const* runs) {
  ReferencePoint p;
  p.outcome = *runs[0];
  if (p.outcome.stopped) return std::nullopt;
  auto same = [&](const ReferenceOutcome& o) {
    return o.end == p.outcome.end && o.revolutions == p.outcome.revolutions;
  };
  const ReferenceOutcome none;
  const ReferenceOutcome& check = p.outcome.gaveUp ? none : *runs[1];
  if (check.stopped) return std::nullopt;
  if (p.outcome.gaveUp || check.gaveUp || !same(check)) {
    p.verdict = "undecided";
    return p;
  }
  for (const ReferenceOutcome* turned : {runs[2], runs[3]}) {
    if (turned->stopped) return std::nullopt;
    if (turned->gaveUp) {
      p.verdict = "undecided";
      return p;
    }
    if (!same(*turned)) p.verdict = "fragile";
  }
  return p;
}

} // namespace

std::vector<std::optional<ReferencePoint>> referencePoints(const std::vector<ReferenceStart>& starts,
                                                           const std::atomic<int>* stop) {
  // Each point's four integrations side by side with the other points'.
  // Which of the last three a verdict needs shows only at their ends, so
  // all run.
  ReferenceSettings coarse;
  coarse.stop = stop;
  ReferenceSettings fine = coarse;
  fine.tolerance = 1e-14;
  // The runs at 1e-14, the longest, go first, so that the lanes do not end
  // with a few of them alone.
  const size_t n = starts.size();
  std::vector<ReferenceStart> all;
  std::vector<ReferenceSettings> settings;
  for (const ReferenceStart& start : starts) {
    all.push_back(start);
    settings.push_back(fine);
  }
  for (const ReferenceStart& start : starts) {
    all.insert(all.end(), {start, turnedPair(start, 1e-6), turnedPair(start, -1e-6)});
    settings.insert(settings.end(), {coarse, coarse, coarse});
  }
  const std::vector<ReferenceOutcome> runs = integrateReferences(all, settings);
  std::vector<std::optional<ReferencePoint>> points;
  for (size_t k = 0; k < n; ++k) {
    const ReferenceOutcome* point[4] = {&runs[n + 3 * k], &runs[k], &runs[n + 3 * k + 1],
                                        &runs[n + 3 * k + 2]};
    points.push_back(judgedPoint(point));
  }
  return points;
}

std::optional<ReferencePoint> referencePoint(const ReferenceStart& start, const std::atomic<int>* stop) {
  return referencePoints({start}, stop)[0];
}

std::string mapReferenceCsvRow(const MapGrid& grid, size_t i, size_t j, const ReferencePoint& p) {
  const ReferenceOutcome& o = p.outcome;
  std::string row = pointPrefix(grid, i, j);
  row += std::to_string(endNumber(o.end)) + ',' + std::to_string(o.revolutions) + ',' + columnText(o.time) +
         ',' + std::to_string(o.steps) + ',';
  row += p.verdict;
  row += ',' + columnText(o.closest) + ',' + columnText(o.escapeGap) + ",\n";
  return row;
}

std::string mapGridProblem(const MapGrid& o, const std::string& xName, const std::string& yName) {
  if (o.x.field == o.y.field)
    return "options " + xName + " and " + yName + " map the same field " + o.x.field + "; choose two";
  if (o.x.values.size() * o.y.values.size() > kMaxMapPoints)
    return "the map has more than " + std::to_string(kMaxMapPoints) + " points; use smaller counts";
  for (const MapAxis* a : {&o.x, &o.y})
    if (o.integrator == MapIntegrator::Reference && a->field == "tdelta")
      return "option " + (a == &o.x ? xName : yName) +
             ": a physical map (--integrator reference) does not use tdelta, the reference chooses its own "
             "steps; map another field, or map tdelta with the fixed step";
  if (o.verify && o.integrator == MapIntegrator::Reference)
    return "option --verify judges fixed-step points; a reference map (--integrator reference) is the "
           "reference "
           "already: give one of them";
  return "";
}

} // namespace tb
