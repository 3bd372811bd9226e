#include "results/export.h"

#include "runtime/forms_runtime.h"

#include <charconv>
#include <cmath>

namespace tb {

ExportedTest exportedTest(const TestReport& report, FormsRuntime& forms) {
  ExportedTest t{report, {}, Verdict::None};
  for (const char* c : kReadoutControls)
    t.readouts.emplace_back(c, forms.text(c));
  return t;
}

namespace {

// The double whose shortest text is the float's shortest text: a single
// precision value is written as its own seven or so digits, not as the long
// expansion of its binary value, and reads back to the same float.
double asShortestDouble(float v) {
  char buf[32];
  auto w = std::to_chars(buf, buf + sizeof buf, v);
  double d = 0;
  std::from_chars(buf, w.ptr, d);
  return d;
}

template <typename T> std::string shortestText(T v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string optionalText(const std::optional<double>& v) { return v ? shortestText(*v) : ""; }

nlohmann::ordered_json optionalJson(const std::optional<double>& v) {
  return v ? nlohmann::ordered_json(*v) : nlohmann::ordered_json(nullptr);
}

} // namespace

std::string dumpJson(const nlohmann::ordered_json& j) {
  // Texts that are not valid UTF-8 are written with replacement characters
  // rather than failing the whole output.
  return j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

nlohmann::ordered_json testJson(const ExportedTest& t) {
  const TestReport& r = t.report;
  nlohmann::ordered_json o;
  o["line"] = r.line;
  o["alpha"] = r.alpha;
  o["steps"] = r.steps;
  o["revolutions"] = r.revolutions;
  o["end"] = endNumber(r.end);
  o["v3"] = asShortestDouble(r.v3);
  o["vesc"] = asShortestDouble(r.vesc);
  o["r3"] = r.r3;
  o["dist12min"] = r.dist12min;
  o["dist12mean"] = r.dist12mean;
  o["dist12max"] = r.dist12max;
  o["time"] = r.time;
  o["energy_drift"] = optionalJson(r.energyDrift);
  o["angular_momentum_drift"] = optionalJson(r.angularMomentumDrift);
  if (t.verdict != Verdict::None)
    o["stable"] = t.verdict == Verdict::Unchecked ? nlohmann::ordered_json(nullptr)
                                                  : nlohmann::ordered_json(t.verdict == Verdict::Same);
  nlohmann::ordered_json readouts = nlohmann::ordered_json::object();
  for (const auto& [control, text] : t.readouts)
    readouts[control] = text;
  o["readouts"] = readouts;
  return o;
}

std::string testToJson(const ExportedTest& t) { return dumpJson(testJson(t)); }

std::string csvHeader(bool withStable) {
  return std::string("alpha,steps,revolutions,end,v3,vesc,r3,dist12min,dist12mean,dist12max,time,"
                     "energy_drift,angular_momentum_drift,line") +
         (withStable ? ",stable" : "");
}

std::string testsToCsv(const std::vector<TestReport>& tests) {
  std::string csv = csvHeader() + "\n";
  for (const auto& t : tests)
    csv += testToCsvRow(t) + "\n";
  return csv;
}

std::string testToCsvRow(const TestReport& r, Verdict verdict) {
  std::string line = "\"";
  for (char c : r.line) {
    if (c == '"') line += '"';
    line += c;
  }
  line += "\"";
  return shortestText(r.alpha) + "," + std::to_string(r.steps) + "," + std::to_string(r.revolutions) + "," +
         std::to_string(endNumber(r.end)) + "," + shortestText(r.v3) + "," + shortestText(r.vesc) + "," +
         shortestText(r.r3) + "," + shortestText(r.dist12min) + "," + shortestText(r.dist12mean) + "," +
         shortestText(r.dist12max) + "," + shortestText(r.time) + "," + optionalText(r.energyDrift) + "," +
         optionalText(r.angularMomentumDrift) + "," + line +
         (verdict == Verdict::None      ? ""
          : verdict == Verdict::Same    ? ",true"
          : verdict == Verdict::Differs ? ",false"
                                        : ",");
}

} // namespace tb
