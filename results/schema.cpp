// The table of result columns and the CSV it makes.
#include "results/schema.h"
#include "runtime/chars.h"

#include <charconv>
#include <cstring>

namespace tb {

namespace {

constexpr Column kColumns[] = {
    {"alpha", ColumnKind::Double, [](const TestReport& r) -> ColumnValue { return r.alpha; }},
    {"steps", ColumnKind::Whole, [](const TestReport& r) -> ColumnValue { return r.steps; }},
    {"revolutions", ColumnKind::Whole,
     [](const TestReport& r) -> ColumnValue { return static_cast<int64_t>(r.revolutions); }},
    {"end", ColumnKind::Code,
     [](const TestReport& r) -> ColumnValue { return static_cast<int64_t>(endNumber(r.end)); }},
    {"v3", ColumnKind::Single, [](const TestReport& r) -> ColumnValue { return r.v3; }},
    {"vesc", ColumnKind::Single, [](const TestReport& r) -> ColumnValue { return r.vesc; }},
    {"r3", ColumnKind::Double, [](const TestReport& r) -> ColumnValue { return r.r3; }},
    {"dist12min", ColumnKind::Double, [](const TestReport& r) -> ColumnValue { return r.dist12min; }},
    {"dist12mean", ColumnKind::Double, [](const TestReport& r) -> ColumnValue { return r.dist12mean; }},
    {"dist12max", ColumnKind::Double, [](const TestReport& r) -> ColumnValue { return r.dist12max; }},
    {"time", ColumnKind::Double, [](const TestReport& r) -> ColumnValue { return r.time; }},
    {"energy_drift", ColumnKind::MaybeDouble,
     [](const TestReport& r) -> ColumnValue { return r.energyDrift; }},
    {"angular_momentum_drift", ColumnKind::MaybeDouble,
     [](const TestReport& r) -> ColumnValue { return r.angularMomentumDrift; }},
    {"line", ColumnKind::Line, [](const TestReport& r) -> ColumnValue { return r.line; }},
};

template <typename T> std::string shortestText(T v) {
  char buf[64];
  auto r = toChars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string csvText(const ColumnValue& v) {
  if (const auto* line = std::get_if<std::string>(&v)) return csvQuoted(*line);
  return columnText(v);
}

} // namespace

std::span<const Column> resultColumns() { return kColumns; }

std::string columnText(const ColumnValue& v) {
  struct {
    std::string operator()(int64_t n) const { return std::to_string(n); }
    std::string operator()(float f) const { return shortestText(f); }
    std::string operator()(double d) const { return shortestText(d); }
    std::string operator()(const std::optional<double>& d) const { return d ? shortestText(*d) : ""; }
    std::string operator()(const std::string& s) const { return s; }
  } text;
  return std::visit(text, v);
}

int columnIndex(const char* name) {
  for (size_t k = 0; k < std::size(kColumns); ++k)
    if (std::strcmp(kColumns[k].name, name) == 0) return static_cast<int>(k);
  return -1;
}

std::string csvQuoted(const std::string& s) {
  std::string q = "\"";
  for (char c : s) {
    if (c == '"') q += '"';
    q += c == '\n' ? ' ' : c;
  }
  return q + "\"";
}

namespace {

// A parameter's column: its option without the dashes, words joined by "_".
std::string experimentColumn(const ParameterField& f) {
  std::string name = f.option + 2;
  for (char& c : name)
    if (c == '-') c = '_';
  return name;
}

// A text as typed, quoted only when a reader would otherwise split or misread it.
std::string csvField(const std::string& s) {
  return s.find_first_of(",\"\r\n") == std::string::npos &&
                 (s.empty() || (s.front() != ' ' && s.back() != ' '))
             ? s
             : csvQuoted(s);
}

} // namespace

std::string verifyMark(const VerifiedTest* v) {
  if (!v) return " [not verified]";
  std::string m = " [";
  m += verificationName(v->verdict);
  return m + "]";
}

std::string csvHeader(bool withStable, bool withExperiment, bool withVerify) {
  std::string h;
  for (const Column& c : kColumns) {
    if (&c != kColumns) h += ',';
    h += c.name;
  }
  if (withStable) {
    h += ',';
    h += kStableColumn;
  }
  if (withVerify)
    for (const char* name : kVerifyColumns) {
      h += ',';
      h += name;
    }
  if (withExperiment)
    for (const ParameterField& f : parameterFields()) {
      h += ',';
      h += experimentColumn(f);
    }
  return h;
}

std::string testToCsvRow(const TestReport& r, Verdict verdict, const FieldTexts* experiment,
                         const VerifiedTest* verified, bool withVerify) {
  std::string row;
  for (const Column& c : kColumns) {
    if (&c != kColumns) row += ',';
    row += csvText(c.value(r));
  }
  switch (verdict) {
  case Verdict::None: break;
  case Verdict::Unchecked: row += ","; break;
  case Verdict::Same: row += ",true"; break;
  case Verdict::Differs: row += ",false"; break;
  }
  if (withVerify) {
    if (verified) {
      const ReferenceOutcome& o = verified->reference;
      row += ',' + std::to_string(endNumber(o.end)) + ',' + std::to_string(o.revolutions) + ',' +
             shortestText(o.time);
      row += ',';
      row += verificationName(verified->verdict);
      row += ',' + (o.closest ? shortestText(*o.closest) : std::string()) + ',' +
             (o.escapeGap ? shortestText(*o.escapeGap) : std::string());
    } else {
      row += std::string(std::size(kVerifyColumns), ',');
    }
  }
  if (experiment)
    for (const ParameterField& f : parameterFields()) {
      row += ',';
      for (const auto& [control, text] : *experiment)
        if (control == f.control) row += csvField(text);
    }
  return row;
}

} // namespace tb
