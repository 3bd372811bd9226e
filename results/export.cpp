// Test results as JSON objects and whole CSV files, read-outs included.
#include "results/export.h"
#include "runtime/chars.h"
#include "runtime/cr_math.h"

#include "runtime/words.h"

#include "runtime/forms_runtime.h"
#include "runtime/parameters.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace tb {

ExportedTest exportedTest(const TestReport& report, FormsRuntime& forms) {
  ExportedTest t{report, {}, Verdict::None, false, std::nullopt};
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
  auto w = toChars(buf, buf + sizeof buf, v);
  double d = 0;
  fromChars(buf, w.ptr, d);
  return d;
}

nlohmann::ordered_json columnJson(const ColumnValue& v) {
  struct {
    nlohmann::ordered_json operator()(int64_t n) const { return n; }
    nlohmann::ordered_json operator()(float f) const { return asShortestDouble(f); }
    nlohmann::ordered_json operator()(double d) const { return d; }
    nlohmann::ordered_json operator()(const std::optional<double>& d) const {
      return d ? nlohmann::ordered_json(*d) : nlohmann::ordered_json(nullptr);
    }
    nlohmann::ordered_json operator()(const std::string& s) const { return s; }
  } json;
  return std::visit(json, v);
}

} // namespace

nlohmann::ordered_json parametersJson(const FieldTexts& fields) {
  nlohmann::ordered_json parameters = nlohmann::ordered_json::object();
  for (const auto& f : parameterFields())
    for (const auto& [control, value] : fields)
      if (control == f.control) parameters[f.label] = value;
  return parameters;
}

nlohmann::ordered_json verdictsJson(const VerdictTally& t, bool reference) {
  nlohmann::ordered_json o;
  o[reference ? "stable" : "confirmed"] = t.counts[static_cast<int>(Verification::Confirmed)];
  if (!reference) o["artefact"] = t.counts[static_cast<int>(Verification::Artefact)];
  o["fragile"] = t.counts[static_cast<int>(Verification::Fragile)];
  o["undecided"] = t.counts[static_cast<int>(Verification::Undecided)];
  o["not_verified"] = t.none;
  return o;
}

std::string dumpJson(const nlohmann::ordered_json& j) {
  // Texts that are not valid UTF-8 are written with replacement characters
  // rather than failing the whole output.
  return j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

nlohmann::ordered_json testJson(const ExportedTest& t) {
  nlohmann::ordered_json o;
  for (const Column& c : resultColumns())
    if (c.kind == ColumnKind::Line) o[c.name] = columnJson(c.value(t.report));
  for (const Column& c : resultColumns())
    if (c.kind != ColumnKind::Line) o[c.name] = columnJson(c.value(t.report));
  if (t.verdict != Verdict::None)
    o[kStableColumn] = t.verdict == Verdict::Unchecked ? nlohmann::ordered_json(nullptr)
                                                       : nlohmann::ordered_json(t.verdict == Verdict::Same);
  if (t.verifyAsked) {
    if (t.verified) {
      const ReferenceOutcome& r = t.verified->reference;
      o[kVerifyColumns[0]] = endNumber(r.end);
      o[kVerifyColumns[1]] = r.revolutions;
      o[kVerifyColumns[2]] = r.time;
      o[kVerifyColumns[3]] = verificationName(t.verified->verdict);
      o[kVerifyColumns[4]] = r.closest ? nlohmann::ordered_json(*r.closest) : nlohmann::ordered_json(nullptr);
      o[kVerifyColumns[5]] =
          r.escapeGap ? nlohmann::ordered_json(*r.escapeGap) : nlohmann::ordered_json(nullptr);
    } else {
      for (const char* name : kVerifyColumns)
        o[name] = nullptr;
    }
  }
  nlohmann::ordered_json readouts = nlohmann::ordered_json::object();
  for (const auto& [control, text] : t.readouts)
    readouts[control] = text;
  o["readouts"] = readouts;
  return o;
}

std::string testToJson(const ExportedTest& t) { return dumpJson(testJson(t)); }

namespace {
// A value cut (not rounded) to `decimals`, as the result line shows it.
std::string cut(double v, int decimals) {
  const double scale = cr::pow(10.0, decimals);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, std::floor(v * scale) / scale);
  return buf;
}
} // namespace

namespace {
// A sentence with its %1, %2 ... replaced by `args`, in any order the
// sentence (or its translation) puts them.
std::string filled(const std::string& sentence, std::initializer_list<std::string> args) {
  std::string out;
  for (size_t k = 0; k < sentence.size(); ++k) {
    const char c = sentence[k];
    const size_t n = k + 1 < sentence.size() ? static_cast<size_t>(sentence[k + 1] - '1') : args.size();
    if (c == '%' && n < args.size()) {
      out += *(args.begin() + n);
      ++k;
    } else {
      out += c;
    }
  }
  return out;
}
} // namespace

std::string lineInWords(const TestReport& t, const Translate& translate) {
  auto say = [&](const char* sentence, std::initializer_list<std::string> args) {
    return filled(translate ? translate(sentence) : std::string(sentence), args);
  };
  char alpha[32];
  std::snprintf(alpha, sizeof alpha, "%.6g", t.alpha); // 1.1 for the sum 1.0999999999999999 of ten 0.1 steps
  const std::string time = cut(t.time, 1);
  const std::string revolutions =
      t.revolutions == 1
          ? say(TB_WORDS("threebody", "%1 revolution of the pair"), {std::to_string(t.revolutions)})
          : say(TB_WORDS("threebody", "%1 revolutions of the pair"), {std::to_string(t.revolutions)});
  std::string end;
  switch (t.end) {
  case EndCode::Collision:
    end = say(TB_WORDS("threebody",
                       "body 3 collided with the pair at t = %1 (came within 3.16 of a pair body), after %2"),
              {time, revolutions});
    break;
  case EndCode::Escaped:
    end = say(TB_WORDS("threebody",
                       "body 3 escaped: it was far from the pair and faster than its escape speed; "
                       "the test ended at t = %1, after %2"),
              {time, revolutions});
    break;
  case EndCode::FarBound:
    end = say(TB_WORDS("threebody",
                       "body 3 went far but stayed bound: far from the pair, slower than its escape "
                       "speed; the test ended at t = %1, after %2"),
              {time, revolutions});
    break;
  case EndCode::TenRevolutions:
    end = say(TB_WORDS("threebody", "the pair completed ten revolutions at t = %1"), {time});
    break;
  case EndCode::None:
    end = say(TB_WORDS("threebody", "stopped by the user at t = %1, after %2"), {time, revolutions});
    break;
  }
  const double v3 = static_cast<double>(t.v3), vesc = static_cast<double>(t.vesc);
  const std::string speed =
      v3 > vesc
          ? say(TB_WORDS("threebody",
                         "body 3's speed %1 was above its escape speed %2, at %3 from the pair's "
                         "centre of mass"),
                {cut(v3, 3), cut(vesc, 3), cut(t.r3, 1)})
          : say(TB_WORDS("threebody", "body 3's speed %1 was not above its escape speed %2, at %3 from the "
                                      "pair's centre of mass"),
                {cut(v3, 3), cut(vesc, 3), cut(t.r3, 1)});
  const std::string separation =
      say(TB_WORDS("threebody", "the pair's separation stayed between %1 and %2 (mean %3)"),
          {cut(t.dist12min, 1), cut(t.dist12max, 1), cut(t.dist12mean, 1)});
  return say(TB_WORDS("threebody", "alpha %1: %2; %3; %4"), {alpha, end, speed, separation});
}

std::string testsToTsv(const std::vector<TestReport>& tests) {
  std::string tsv;
  for (const Column& c : resultColumns()) {
    if (!tsv.empty()) tsv += '\t';
    tsv += c.name;
  }
  tsv += '\n';
  for (const auto& t : tests) {
    bool first = true;
    for (const Column& c : resultColumns()) {
      if (!first) tsv += '\t';
      first = false;
      tsv += columnText(c.value(t));
    }
    tsv += '\n';
  }
  return tsv;
}

std::string testsToCsv(const std::vector<TestReport>& tests, const FieldTexts* experiment,
                       const std::vector<std::optional<VerifiedTest>>* verified) {
  std::string csv =
      csvHeader(false, experiment != nullptr, verified != nullptr) + "," + kEndInWordsColumn + "\n";
  for (size_t k = 0; k < tests.size(); ++k) {
    const VerifiedTest* v = verified && k < verified->size() && (*verified)[k] ? &*(*verified)[k] : nullptr;
    csv += testToCsvRow(tests[k], Verdict::None, experiment, v, verified != nullptr) + ",";
    csv += endName(tests[k].end);
    csv += "\n";
  }
  return csv;
}

} // namespace tb
