// The library's experiment: the seven parameters as texts, checked as the
// tools check them, and the stop token.
#include "api/internal.h"

#include "forms/app.h"
#include "forms/headless.h"
#include "runtime/numeric.h"

#include <algorithm>

namespace threebody {

const char* version() { return THREEBODY_VERSION; }

StopToken::StopToken() : counter_(std::make_shared<std::atomic<int>>(0)) {}
StopToken StopToken::watching(std::atomic<int>& counter) {
  StopToken t;
  t.counter_ = std::shared_ptr<std::atomic<int>>(&counter, [](std::atomic<int>*) {});
  return t;
}
void StopToken::requestStop() const noexcept { counter_->fetch_add(1); }
bool StopToken::stopRequested() const noexcept { return counter_->load() != 0; }

namespace {

// The parameter a name means: its CSV column (init_v3), its option (init-v3)
// or the option with its dashes (--init-v3).
const tb::ParameterField* fieldNamed(std::string_view name) {
  std::string option(name);
  if (option.rfind("--", 0) == 0) option.erase(0, 2);
  std::replace(option.begin(), option.end(), '_', '-');
  for (const tb::ParameterField& f : tb::parameterFields())
    if (option == std::string_view(f.option).substr(2)) return &f;
  return nullptr;
}

std::string unknownName(std::string_view name) {
  std::string known;
  for (const tb::ParameterField& f : tb::parameterFields())
    known += (known.empty() ? "" : ", ") + std::string(f.option + 2);
  return "no parameter is named \"" + tb::printableText(name) + "\"; the parameters are " + known;
}

} // namespace

std::string* textOf(Experiment& e, const char* control) {
  using namespace tb::controls;
  const std::string_view c(control);
  if (c == Talphastr) return &e.alpha_start;
  if (c == Talphaend) return &e.alpha_end;
  if (c == Ttdelta) return &e.tdelta;
  if (c == Tinitv2) return &e.init_v3;
  if (c == Tm2) return &e.m2;
  if (c == Tm3) return &e.m3;
  return &e.disp_max;
}

Experiment Experiment::fromNumbers(double alpha_start, double alpha_end, double tdelta, double init_v3,
                                   double m2, double m3, double disp_max) {
  Experiment e;
  const double values[] = {alpha_start, alpha_end, tdelta, init_v3, m2, m3, disp_max};
  size_t k = 0;
  for (const tb::ParameterField& f : tb::parameterFields())
    *textOf(e, f.control) = tb::exactText(values[k++]);
  return e;
}

void Experiment::set(std::string_view name, std::string_view text) {
  const tb::ParameterField* f = fieldNamed(name);
  if (!f) throw Error(unknownName(name));
  const std::string t(text);
  if (std::string problem = tb::parameterTextError(f->option, t); !problem.empty())
    throw Error(std::string(f->option) + ": " + problem);
  *textOf(*this, f->control) = t;
}

const std::string& Experiment::get(std::string_view name) const {
  const tb::ParameterField* f = fieldNamed(name);
  if (!f) throw Error(unknownName(name));
  return *textOf(const_cast<Experiment&>(*this), f->control);
}

void Experiment::check() const {
  checkTexts(*this);
  // What the engine says of the first test, found on scratch windows.
  auto forms = tb::newMemoryForms();
  tb::Experiment engine(*forms);
  tb::Application app(*forms, engine);
  app.Form_Load();
  for (const auto& [control, text] : fieldTexts(*this))
    forms->setText(control, text);
  if (std::optional<std::string> refusal = app.startRefusal()) throw Error(*refusal);
}

void checkTexts(const Experiment& e) {
  for (const auto& [control, text] : fieldTexts(e))
    if (std::string problem = tb::parameterTextError(tb::parameterField(control).option, text);
        !problem.empty())
      throw Error(std::string(tb::parameterField(control).option) + ": " + problem);
}

tb::FieldTexts fieldTexts(const Experiment& e) {
  tb::FieldTexts fields;
  for (const tb::ParameterField& f : tb::parameterFields())
    fields.emplace_back(f.control, *textOf(const_cast<Experiment&>(e), f.control));
  return fields;
}

TestResult testResult(const tb::ExportedTest& t) {
  TestResult r;
  const tb::TestReport& report = t.report;
  r.index = report.index;
  r.alpha = report.alpha;
  r.end = tb::endNumber(report.end);
  r.end_name = tb::endName(report.end);
  r.revolutions = report.revolutions;
  r.steps = report.steps;
  r.time = report.time;
  r.line = report.line;
  for (const tb::Column& c : tb::resultColumns())
    r.columns.emplace_back(c.name, tb::columnText(c.value(report)));
  if (t.verdict == tb::Verdict::Same || t.verdict == tb::Verdict::Differs)
    r.same_at_half_step = t.verdict == tb::Verdict::Same;
  if (t.verified) r.verdict = tb::verificationName(t.verified->verdict);
  return r;
}

std::vector<ColumnInfo> resultColumns() {
  std::vector<ColumnInfo> out;
  for (const tb::Column& c : tb::resultColumns()) {
    ColumnType type = ColumnType::Double;
    switch (c.kind) {
    case tb::ColumnKind::Whole:
    case tb::ColumnKind::Code: type = ColumnType::Integer; break;
    case tb::ColumnKind::Single: type = ColumnType::Single; break;
    case tb::ColumnKind::Double: type = ColumnType::Double; break;
    case tb::ColumnKind::MaybeDouble: type = ColumnType::Optional; break;
    case tb::ColumnKind::Line: type = ColumnType::Text; break;
    }
    out.push_back({c.name, type});
  }
  return out;
}

unsigned threadsFor(int threads) {
  // As the tools' --jobs takes them: a count from 1 to 1024, or 0 for one per core.
  if (threads < 0 || threads > 1024)
    throw Error("threads: " + std::to_string(threads) +
                " is not a count of worker threads; give 0 (one per core) or a count from 1 to 1024");
  return threads > 0 ? static_cast<unsigned>(threads) : std::max(1u, std::thread::hardware_concurrency());
}

} // namespace threebody
