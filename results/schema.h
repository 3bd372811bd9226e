// The columns of a test's result, written once: the CSV header and rows, the
// JSON objects and the map's resume reader are all made from this table.
#pragma once

#include "reference/reference.h"
#include "runtime/parameters.h"
#include "sim/experiment.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>

namespace tb {

// How a column's value is written and what its text may look like.
enum class ColumnKind {
  Whole,       // a whole number (steps, revolutions)
  Code,        // the end code, one digit
  Single,      // a single precision value: its own shortest digits
  Double,      // a double: the shortest text that reads back as the same value
  MaybeDouble, // a double, or empty (null in JSON) when it is not known
  Line,        // the result line, quoted in CSV; the JSON object leads with it
};

using ColumnValue = std::variant<int64_t, float, double, std::optional<double>, std::string>;

struct Column {
  const char* name;
  ColumnKind kind;
  ColumnValue (*value)(const TestReport&);
};

// Every column of a test, in the CSV's order.
std::span<const Column> resultColumns();
// A value as the CSV writes it, without the quotes of a line.
std::string columnText(const ColumnValue& v);
// The position of the column called `name` in resultColumns(); -1 if none is.
int columnIndex(const char* name);

// With --check: whether a test's outcome stayed the same at half the step.
enum class Verdict {
  None,      // no check was asked for: no stable column or field
  Unchecked, // asked for, but the check run did not finish this test
  Same,      // same end code and revolution count at half the step
  Differs,
};
// The column a checked series adds after the others: true, false, or empty
// (null) for a test whose check did not finish.
inline constexpr const char* kStableColumn = "stable";

// A text as one CSV field: in double quotes, a quote doubled, a line break
// written as a blank so that a row stays one line.
std::string csvQuoted(const std::string& s);

// CSV with one row per test; the stable column only when the series was
// checked. A series' own CSV also names its experiment on every row: the
// parameter texts as the series was started with them, one column each,
// named after the batch tool's options (alpha_start, alpha_end, tdelta,
// init_v3, m2, m3, disp_max), so that a CSV reader with default options reads
// them like any other column.
// A verified series (--verify) adds, after stable, what the reference
// integration found and the verdict: reference_end, reference_revolutions,
// reference_time, verdict, closest_approach (body 3's least distance to the
// pair after its approach, against the collision radius sqrt(10)) and
// escape_gap ((v3 - vesc) / vesc where the escape verdict was made); empty
// for a test that was not verified (one stopped by the user).
std::string csvHeader(bool withStable = false, bool withExperiment = false, bool withVerify = false);
std::string testToCsvRow(const TestReport& t, Verdict verdict = Verdict::None,
                         const FieldTexts* experiment = nullptr, const VerifiedTest* verified = nullptr,
                         bool withVerify = false);
// The verify columns' names, in order.
inline constexpr const char* kVerifyColumns[] = {"reference_end", "reference_revolutions", "reference_time",
                                                 "verdict",       "closest_approach",      "escape_gap"};
// The text mark a verified test's line gets: " [confirmed]", " [artefact]" ...
std::string verifyMark(const VerifiedTest* verified);

} // namespace tb
