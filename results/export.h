// Test results as JSON and CSV, shared by the batch tool and the desktop
// program's "Save results...".
#pragma once

#include "runtime/controls.h"
#include "sim/experiment.h"

#include <nlohmann/json.hpp>

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

// With --check: whether a test's outcome stayed the same at half the step.
enum class Verdict {
  None,      // no check was asked for: no stable column or field
  Unchecked, // asked for, but the check run did not finish this test
  Same,      // same end code and revolution count at half the step
  Differs,
};

struct ExportedTest {
  TestReport report;
  std::vector<std::pair<std::string, std::string>> readouts; // control name, text
  Verdict verdict = Verdict::None;
};

// A finished test with the read-outs its control form shows now.
ExportedTest exportedTest(const TestReport& report, FormsRuntime& forms);

// One test as a JSON object: every double with the fewest digits that read
// back as the same value, single precision values with their own digits.
nlohmann::ordered_json testJson(const ExportedTest& t);
// The same as one line of text (no trailing newline).
std::string testToJson(const ExportedTest& t);
// Compact JSON text of a value.
std::string dumpJson(const nlohmann::ordered_json& j);

// CSV with one row per test; the stable column only when the series was
// checked, empty for a test whose check did not finish.
std::string csvHeader(bool withStable = false);
std::string testToCsvRow(const TestReport& t, Verdict verdict = Verdict::None);
// A whole series as CSV text, header first.
std::string testsToCsv(const std::vector<TestReport>& tests);

} // namespace tb
