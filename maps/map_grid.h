// The grid of an outcome map, for the map tool and the map window alike: two
// axes over parameter fields, each point one test (the one-test series at
// that point's values as texts), and how a finished test becomes a cell.
#pragma once

#include "forms/headless.h"
#include "maps/map_outcome.h"
#include "maps/map_picture.h"
#include "reference/reference.h"
#include "runtime/parameters.h"

#include <atomic>
#include <optional>
#include <string>
#include <vector>

namespace tb {

// One axis: FIELD=START:END:COUNT over a parameter field.
struct MapAxis {
  std::string field; // alpha, init-v3, m2, m3 or tdelta
  std::string given; // as typed, FIELD=START:END:COUNT
  std::vector<double> values;
  std::vector<std::string> texts; // the shortest text that reads back as each value
};

// Reads an axis; an empty string, or what is wrong.
std::string readAxis(const std::string& given, MapAxis& axis);

// How each point is computed: the fixed-step engine (each point a test, as
// threebody-batch runs it) or the reference integration alone (the physics).
enum class MapIntegrator { Fixed, Reference };

struct MapGrid {
  FieldTexts fields = defaultFieldTexts(); // the values of every other field
  MapAxis x, y;
  MapIntegrator integrator = MapIntegrator::Fixed;
  bool verify = false; // fixed-step points also get the reference's verdict

  size_t columns() const { return x.values.size(); }
  size_t points() const { return x.values.size() * y.values.size(); }
  // The field texts of point (i, j): the axes' values at i and j; every
  // point is one test, at the alpha of the start field.
  FieldTexts pointFields(size_t i, size_t j) const;
  // The test of point k (row by row from y's first value, x fastest).
  HeadlessTestInput pointTest(size_t k) const {
    return HeadlessTestInput{pointFields(k % columns(), k / columns()), std::nullopt};
  }
};

// A map's CSV, as threebody-map writes it and --resume continues it: the
// opening lines name the program, its version and the map's parameters, then
// the column names; a row is the point's i, j, x and y, the batch tool's
// columns (with --verify the verify columns after them), and the fault
// (empty for a test that ended). A reference map's row holds, instead of the
// batch tool's columns, what the reference found: kReferenceMapColumns.
std::string mapCsvHead(const MapGrid& grid);

// The most points a map may have.
inline constexpr size_t kMaxMapPoints = 100'000'000;
// What keeps the grid from being mapped (the axes naming one field, too many
// points, a tdelta axis or --verify on a physical map), its axes called
// `xName` and `yName`; empty when nothing does.
std::string mapGridProblem(const MapGrid& grid, const std::string& xName, const std::string& yName);
std::string mapCsvRow(const MapGrid& grid, size_t i, size_t j, const TestReport* report,
                      const std::string& fault, const VerifiedTest* verified = nullptr);
inline constexpr const char* kReferenceMapColumns[] = {"end",     "revolutions",      "time",      "steps",
                                                       "verdict", "closest_approach", "escape_gap"};
// A point of a reference map: its outcome at 1e-12, and whether it holds at
// 1e-14 and with the pair turned by +-1e-6 radian (undecided also where the
// reference gave up). Nothing comes back when `stop` was raised meanwhile.
struct ReferencePoint {
  ReferenceOutcome outcome;
  const char* verdict = "stable"; // stable, fragile or undecided
};
// A reference map point's outcome from its end code and time, as its row
// holds them: the end code, or without one the time limit (reached) or the
// step budget (spent before it).
inline MapOutcome referenceMapOutcome(EndCode end, double time) {
  if (end != EndCode::None) return MapOutcome::ended(end);
  return time >= ReferenceSettings{}.maxTime ? MapOutcome::timeLimit() : MapOutcome::gaveUp();
}
std::optional<ReferencePoint> referencePoint(const ReferenceStart& start,
                                             const std::atomic<int>* stop = nullptr);
// The same for several points at once, their integrations side by side.
std::vector<std::optional<ReferencePoint>> referencePoints(const std::vector<ReferenceStart>& starts,
                                                           const std::atomic<int>* stop = nullptr);
std::string mapReferenceCsvRow(const MapGrid& grid, size_t i, size_t j, const ReferencePoint& p);

} // namespace tb
