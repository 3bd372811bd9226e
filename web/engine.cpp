// The engine in the browser: the control form's series on in-memory windows
// inside a Web Worker. The worker's script (worker.js) supplies the functions
// declared with EM_JS below; they post the plot, the read-outs and the result
// lines to the page and tell the engine when Stop, pause or a step was asked
// for. The series runs the same code as the desktop's, so its lines are the
// same, bit for bit.
#include "display/palette.h"
#include "forms/app.h"
#include "forms/design.h"
#include "forms/examples.h"
#include "forms/headless.h"
#include "maps/basin_entropy.h"
#include "maps/map_grid.h"
#include "maps/map_order.h"
#include "results/export.h"
#include "runtime/chars.h"
#include "runtime/controls.h"
#include "runtime/numeric.h"
#include "runtime/parameters.h"
#include "sim/trace.h"

#include <emscripten/emscripten.h>

#include <array>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

// What the page's worker gives the engine (worker.js defines tbPoll and the
// rest on the worker's global object).
EM_JS(int, tb_js_poll, (double displaySteps), { return self.tbPoll(displaySteps); });
EM_JS(void, tb_js_frame, (const uint32_t* pixels, int width, int height, const char* readouts),
      { self.tbFrame(pixels, width, height, UTF8ToString(readouts)); });
EM_JS(void, tb_js_line, (int index, const char* line), { self.tbLine(index, UTF8ToString(line)); });
EM_JS(void, tb_js_test, (const char* json, const char* words),
      { self.tbTest(UTF8ToString(json), UTF8ToString(words)); });
EM_JS(void, tb_js_caption, (const char* control, const char* caption),
      { self.tbCaption(UTF8ToString(control), UTF8ToString(caption)); });
EM_JS(void, tb_js_fault, (const char* message), { self.tbFault(UTF8ToString(message)); });
EM_JS(void, tb_js_graph, (const double* samples, int count), { self.tbGraph(samples, count); });

// What tbPoll answers, bit by bit.
constexpr int kStop = 1;       // Stop was clicked
constexpr int kFrame = 2;      // time for a new picture and read-outs
constexpr int kEveryYield = 4; // paced or stepping: ask again at every yield

std::string jsonString(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// The windows of a series in the worker.
class WebForms : public tb::MemoryForms {
public:
  WebForms(std::vector<std::pair<std::string, std::string>> controls)
      : MemoryForms(std::move(controls), tb::kWindowDesigns) {}

  tb::Application* app = nullptr;
  double displaySteps = 0;

  bool colourBlindSafe = false;

  uint32_t bodyColour(int body, uint32_t colour) override {
    drawing_ = body;
    return colourBlindSafe ? tb::trailColour(tb::TrailPalette::ColourBlindSafe, body, colour) : colour;
  }
  void pset(tb::FormId f, float x, float y, uint32_t colour) override {
    // A body's dot starts at its place: the first pixel after its colour.
    if (drawing_ >= 0 && f == tb::FormId::Form2) {
      bodies_[static_cast<size_t>(drawing_)] = {x, y};
      drawing_ = -1;
    }
    MemoryForms::pset(f, x, y, colour);
  }
  void cls(tb::FormId f) override {
    // A test starts: a new plot and a new trace.
    if (f == tb::FormId::Form2) bodies_ = {}, trace.clear();
    MemoryForms::cls(f);
  }

  // The running test over time, for the page's graphs.
  tb::Trace trace;

  // The trace's samples, seven numbers each (time, the three distances, v3,
  // vesc, the energy error), every fifth picture and when a test ends.
  void sendGraph() {
    std::vector<double> flat;
    flat.reserve(trace.samples().size() * 7);
    for (const tb::TraceSample& t : trace.samples())
      flat.insert(flat.end(), {t.time, t.dist13, t.dist23, t.dist12, t.v3, t.vesc, t.energyError});
    tb_js_graph(flat.data(), static_cast<int>(trace.samples().size()));
  }

  uint32_t doEvents() override {
    const int asked = tb_js_poll(displaySteps);
    if (asked & kFrame) {
      sendFrame();
      if (++frames_ % 5 == 0) sendGraph();
    }
    if ((asked & kStop) && app && app->state() == tb::RunState::Running) app->CommandEnd_Click();
    return (asked & kEveryYield) ? 1 : 1024;
  }

  void sendFrame() {
    std::string readouts = "{\"readouts\":{";
    for (const char* c : tb::kReadoutControls) {
      if (readouts.back() != '{') readouts += ',';
      readouts += jsonString(c) + ":" + jsonString(text(c));
    }
    readouts += "},\"bodies\":[";
    for (size_t k = 0; k < bodies_.size(); ++k) {
      if (k) readouts += ',';
      // Only places near the plot: one far out (or beyond the floats) is not shown.
      const bool near =
          bodies_[k] && std::fabs(bodies_[k]->first) < 1e6 && std::fabs(bodies_[k]->second) < 1e6;
      readouts +=
          near ? "[" + std::to_string(bodies_[k]->first) + "," + std::to_string(bodies_[k]->second) + "]"
               : std::string("null");
    }
    readouts += "]}";
    const std::vector<uint32_t>& pixels = plot();
    tb_js_frame(pixels.empty() ? nullptr : pixels.data(), plotWidth(), plotHeight(), readouts.c_str());
  }

  void setLmesgCaption(int16_t index, const std::string& s) override {
    MemoryForms::setLmesgCaption(index, s);
    tb_js_line(index, s.c_str());
  }
  void setCaption(std::string_view control, const std::string& s) override {
    MemoryForms::setCaption(control, s);
    tb_js_caption(std::string(control).c_str(), s.c_str());
  }
  void fatalError(const std::string& message) override {
    MemoryForms::fatalError(message);
    tb_js_fault(message.c_str());
  }

private:
  int drawing_ = -1; // the body whose dot comes next
  int frames_ = 0;
  std::array<std::optional<std::pair<float, float>>, 3> bodies_{};
};

std::string returned; // the text a call below returns, valid until the next call

const char* give(std::string s) {
  returned = std::move(s);
  return returned.c_str();
}

// "name=text\n" lines: the control form's parameter fields to set.
std::vector<std::pair<std::string, std::string>> fieldsOf(const char* text) {
  std::vector<std::pair<std::string, std::string>> fields;
  std::string all(text);
  size_t at = 0;
  while (at < all.size()) {
    size_t end = all.find('\n', at);
    if (end == std::string::npos) end = all.size();
    const std::string line = all.substr(at, end - at);
    if (size_t eq = line.find('='); eq != std::string::npos)
      fields.emplace_back(line.substr(0, eq), line.substr(eq + 1));
    at = end + 1;
  }
  return fields;
}

std::vector<std::pair<std::string, std::string>> designedTexts() {
  std::vector<std::pair<std::string, std::string>> texts;
  for (const auto& c : tb::form1Controls())
    texts.emplace_back(c.name, c.text);
  return texts;
}

// The map this worker computes points of (tb_map_setup).
tb::MapGrid mapGrid;

// One point of the map: its outcome and what the page shows of it.
std::string mapPointJson(size_t k) {
  const size_t i = k % mapGrid.columns(), j = k / mapGrid.columns();
  const tb::FieldTexts fields = mapGrid.pointFields(i, j);
  auto forms = tb::newMemoryForms();
  const bool reference = mapGrid.integrator == tb::MapIntegrator::Reference;
  // As the map tool does: a physical point's set-up draws on one pixel.
  if (reference) forms->forcePlotSize(1, 1);
  tb::Experiment e(*forms);
  tb::Application app(*forms, e);
  for (const auto& [control, text] : fields)
    forms->setText(control, text);
  tb::MapOutcome outcome = tb::MapOutcome::fault();
  std::string text, verdict;
  int64_t steps = 0;
  double time = 0;
  if (reference) {
    // The fixed-step test is only set up, so that a field it refuses is the
    // point's fault; the reference integration alone decides the rest.
    if (!e.beginSolo()) {
      text = "fault: " + e.lastFault();
    } else {
      double alpha = 0;
      for (const auto& [control, value] : fields)
        if (control == tb::controls::Talphastr) alpha = tb::Val(value);
      const std::optional<tb::ReferencePoint> p = tb::referencePoint(tb::referenceStart(fields, alpha));
      if (p) {
        outcome = tb::referenceMapOutcome(p->outcome.end, p->outcome.time);
        steps = p->outcome.steps;
        time = p->outcome.time;
        verdict = p->verdict;
        char buf[160];
        std::snprintf(buf, sizeof buf, "reference: %s after %d revolutions at t = %.1f (%s)", outcome.name(),
                      p->outcome.revolutions, time, p->verdict);
        text = buf;
      }
    }
  } else {
    std::optional<tb::TestReport> report;
    e.onTestEnd = [&](const tb::TestReport& r) { report = r; };
    app.CommandStart_Click();
    if (report) {
      outcome = tb::MapOutcome::ended(report->end);
      steps = report->steps;
      time = report->time;
      text = report->line;
    } else {
      text = "fault: " + e.lastFault();
    }
  }
  char head[96];
  std::snprintf(head, sizeof head, "{\"k\":%zu,\"slot\":%d,\"colour\":%u,\"steps\":%lld,\"time\":", k,
                outcome.slot(), static_cast<unsigned>(outcome.colour()), static_cast<long long>(steps));
  char timeText[64];
  auto r = tb::toChars(timeText, timeText + sizeof timeText, time);
  return std::string(head) + std::string(timeText, r.ptr) + ",\"outcome\":" + jsonString(outcome.name()) +
         ",\"verdict\":" + jsonString(verdict) + ",\"text\":" + jsonString(text) + "}";
}

} // namespace

extern "C" {

// The seven parameter fields as JSON: control, label, default text and what
// it means, in the control form's order.
EMSCRIPTEN_KEEPALIVE const char* tb_parameter_fields() {
  std::string out = "[";
  for (const auto& f : tb::parameterFields()) {
    if (out.size() > 1) out += ',';
    out += "{\"control\":" + jsonString(f.control) + ",\"label\":" + jsonString(f.label) +
           ",\"default\":" + jsonString(f.defaultText) + ",\"option\":" + jsonString(f.option) +
           ",\"what\":" + jsonString(f.what) + "}";
  }
  return give(out + "]");
}

// The examples worth showing a class, as JSON: name, what to watch, and the
// control form's fields ([control, text] pairs).
EMSCRIPTEN_KEEPALIVE const char* tb_examples() {
  std::string out = "[";
  for (const tb::Example& e : tb::examples()) {
    if (out.size() > 1) out += ',';
    out += "{\"name\":" + jsonString(e.name) + ",\"watch\":" + jsonString(e.watch) + ",\"fields\":[";
    bool first = true;
    for (const auto& [control, text] : tb::exampleFields(e)) {
      out += (first ? "[" : ",[") + jsonString(control) + "," + jsonString(text) + "]";
      first = false;
    }
    out += "]}";
  }
  return give(out + "]");
}

// How a typed text reads as a number: empty when it is wholly one, else
// what it reads as and what to write (the desktop's tooltip).
EMSCRIPTEN_KEEPALIVE const char* tb_text_reads(const char* text, const char* example) {
  return give(tb::howTextReads(text, example));
}

// Why the engine would refuse the first test with these fields ("name=text"
// lines), or an empty text when it would run.
EMSCRIPTEN_KEEPALIVE const char* tb_start_refusal(const char* fields) {
  auto forms = tb::newMemoryForms();
  tb::Experiment e(*forms);
  tb::Application app(*forms, e);
  for (const auto& [control, text] : fieldsOf(fields))
    forms->setText(control, text);
  return give(app.startRefusal().value_or(""));
}

// Runs the series of these fields on a plot of width x height pixels, as
// the Start button does, with `options`: 1 the colour-blind safe palette, 2
// true proportions (the world window's height follows the plot's); returns the CSV of its tests (the
// desktop's Save results) when it has ended.
EMSCRIPTEN_KEEPALIVE const char* tb_run_series(const char* fields, int width, int height, int options) {
  WebForms forms(designedTexts());
  forms.forcePlotSize(width, height);
  forms.colourBlindSafe = (options & 1) != 0;
  tb::Experiment e(forms);
  e.trueProportions = (options & 2) != 0;
  tb::Application app(forms, e);
  forms.app = &app;
  app.Form_Load();
  const auto typed = fieldsOf(fields);
  for (const auto& [control, text] : typed)
    forms.setText(control, text);
  std::vector<tb::TestReport> tests;
  e.onDisplayStep = [&] {
    forms.displaySteps += 1;
    forms.trace.add(tb::traceSample(e));
  };
  e.onTestEnd = [&](const tb::TestReport& r) {
    tests.push_back(r);
    forms.trace.finish();
    forms.sendFrame();
    forms.sendGraph();
    tb_js_test(tb::testToJson(tb::exportedTest(r, forms)).c_str(), tb::lineInWords(r).c_str());
  };
  app.CommandStart_Click();
  forms.sendFrame();
  tb::FieldTexts experiment;
  for (const auto& f : tb::parameterFields())
    for (const auto& [control, text] : typed)
      if (control == f.control) experiment.emplace_back(control, text);
  return give(tb::testsToCsv(tests, &experiment));
}

// Sets up the map of these fields ("name=text" lines) over two axes as the
// map tool writes them ("alpha=0:360:73"), by the fixed step (0) or the
// reference (1). Returns what keeps it from being mapped, or an empty text.
EMSCRIPTEN_KEEPALIVE const char* tb_map_setup(const char* fields, const char* x, const char* y,
                                              int reference) {
  tb::MapGrid grid;
  for (const auto& [control, text] : fieldsOf(fields))
    for (auto& [name, value] : grid.fields)
      if (name == control) value = text;
  grid.integrator = reference ? tb::MapIntegrator::Reference : tb::MapIntegrator::Fixed;
  if (std::string problem = tb::readAxis(x, grid.x); !problem.empty()) return give(problem);
  if (std::string problem = tb::readAxis(y, grid.y); !problem.empty()) return give(problem);
  if (std::string problem = tb::mapGridProblem(grid, "x", "y"); !problem.empty()) return give(problem);
  mapGrid = std::move(grid);
  return give("");
}

// The map's axes: {"x": [texts], "y": [texts], "order": [points coarse first]}.
EMSCRIPTEN_KEEPALIVE const char* tb_map_axes() {
  std::string out = "{\"x\":[";
  for (size_t i = 0; i < mapGrid.x.texts.size(); ++i)
    out += (i ? "," : "") + jsonString(mapGrid.x.texts[i]);
  out += "],\"y\":[";
  for (size_t j = 0; j < mapGrid.y.texts.size(); ++j)
    out += (j ? "," : "") + jsonString(mapGrid.y.texts[j]);
  out += "],\"order\":[";
  const std::vector<size_t> order = tb::refinementOrder(mapGrid.x.values.size(), mapGrid.y.values.size());
  for (size_t e = 0; e < order.size(); ++e)
    out += (e ? "," : "") + std::to_string(order[e]);
  return give(out + "]}");
}

// Point k of the map set up last (row by row from y's first value, x
// fastest), as JSON: its outcome slot, colour and name, steps, time, verdict
// and the line the map tool prints for it.
EMSCRIPTEN_KEEPALIVE const char* tb_map_point(double k) { return give(mapPointJson(static_cast<size_t>(k))); }

// The basin entropy of a map's outcome slots (one byte a point, row by row)
// as the map tool prints it.
EMSCRIPTEN_KEEPALIVE const char* tb_basin_entropy(const uint8_t* slots, int columns, int rows) {
  const std::vector<uint8_t> all(slots, slots + static_cast<size_t>(columns) * static_cast<size_t>(rows));
  return give(
      tb::basinEntropyText(tb::basinEntropy(all, static_cast<size_t>(columns), static_cast<size_t>(rows))));
}

} // extern "C"
