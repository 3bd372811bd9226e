// Test results as JSON and CSV, shared by the batch tool and the desktop
// program's "Save results...".
#pragma once

#include "results/schema.h"
#include "runtime/controls.h"
#include "sim/experiment.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tb {

// The read-outs a test leaves on the control form, in display order.
inline constexpr const char* kReadoutControls[] = {
    controls::Talpha,     controls::Trev,  controls::Tcycle, controls::Tdist01, controls::Tdist01min,
    controls::Tdist01max, controls::Tvesc, controls::Tv3,    controls::Tv3max,  controls::Tr1,
    controls::Tr2,        controls::Tr3,   controls::Tphi};

struct ExportedTest {
  TestReport report;
  std::vector<std::pair<std::string, std::string>> readouts; // control name, text
  Verdict verdict = Verdict::None;
  bool verifyAsked = false;             // --verify: the verify columns are written
  std::optional<VerifiedTest> verified; // the reference's verdict; none for a stopped test
};

// A finished test with the read-outs its control form shows now.
ExportedTest exportedTest(const TestReport& report, FormsRuntime& forms);

// One test as a JSON object, the columns of the result table by name (the
// result line first), then the read-outs: every double with the fewest digits
// that read back as the same value, single precision values with their own digits.
nlohmann::ordered_json testJson(const ExportedTest& t);
// The same as one line of text (no trailing newline).
std::string testToJson(const ExportedTest& t);
// The experiment's fields by their labels, as typed.
nlohmann::ordered_json parametersJson(const FieldTexts& fields);
// Counts by verdict, named as the verdict columns name them; a physical
// map's `reference` tally says "stable" for confirmed and has no artefacts.
nlohmann::ordered_json verdictsJson(const VerdictTally& t, bool reference = false);
// Compact JSON text of a value.
std::string dumpJson(const nlohmann::ordered_json& j);

// A whole series as CSV text, header first; every row names the experiment
// when `experiment` (the series' field texts) is given. With `verified` (one
// entry a test, empty where none came) the rows have the verify columns too.
// A result line in words, for a student who hovers over it: "alpha 70:
// body 3 collided with the pair at t = 110.5, after 0 revolutions of the
// pair; ...". The numbers are cut as the line cuts them, with the units the
// model uses (G = 1, lengths and times of the fields).
// `translate`, when given, turns each English sentence (with %1, %2 ... for
// the numbers) into the desktop's language.
using Translate = std::function<std::string(const char*)>;
std::string lineInWords(const TestReport& t, const Translate& translate = {});

// The same columns as tab-separated text with a header row, which a
// spreadsheet pasted into splits into columns (no field holds a tab).
std::string testsToTsv(const std::vector<TestReport>& tests);
// What the windows save: the CSV columns, the experiment's and the verify
// columns as above, and last the end in words ("collision", "escape" ...).
inline constexpr const char* kEndInWordsColumn = "end_in_words";
std::string testsToCsv(const std::vector<TestReport>& tests, const FieldTexts* experiment = nullptr,
                       const std::vector<std::optional<VerifiedTest>>* verified = nullptr);

} // namespace tb
