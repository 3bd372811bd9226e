// The batch tool's command line: its options, their checks and its help.
#include "apps/batch_options.h"

#include "apps/cli.h"
#include "runtime/numeric.h"

#include <charconv>

namespace tb {

namespace {

// Raw texts of the options whose grammar is checked after parsing.
struct RawOptions {
  std::string format = "text";
  std::string stopAtStep;
  std::string plotSize;
};

std::string checkFormat(const std::string& v) {
  if (v == "text" || v == "jsonl" || v == "csv" || v == "json") return "";
  return "\"" + printableText(v) + "\" is not a format; use text, jsonl, csv or json";
}

std::string checkStopAtStep(const std::string& v) {
  int64_t n = 0;
  auto r = std::from_chars(v.data(), v.data() + v.size(), n);
  if (r.ec == std::errc() && r.ptr == v.data() + v.size() && n >= 1) return "";
  return "\"" + printableText(v) + "\" is not a whole number of 1 or more";
}

bool readSize(const std::string& v, int& w, int& h) {
  auto x = v.find('x');
  if (x == std::string::npos) return false;
  auto a = std::from_chars(v.data(), v.data() + x, w);
  auto b = std::from_chars(v.data() + x + 1, v.data() + v.size(), h);
  return a.ec == std::errc() && a.ptr == v.data() + x && b.ec == std::errc() && b.ptr == v.data() + v.size();
}

std::string checkPlotSize(const std::string& v) {
  int w = 0, h = 0;
  if (!readSize(v, w, h) || w < 1 || h < 1 || w > kMaxPlotSide || h > kMaxPlotSide)
    return "\"" + printableText(v) + "\" is not WIDTHxHEIGHT in pixels, such as 300x400 (1 to " +
           std::to_string(kMaxPlotSide) + " each)";
  if (static_cast<int64_t>(w) * h > kMaxPlotPixels)
    return v + " is " + std::to_string(static_cast<int64_t>(w) * h) + " pixels, more than the " +
           std::to_string(kMaxPlotPixels) + " a plot may have; choose a smaller size, such as 6000x8000";
  return "";
}

CLI::Validator check(std::string (*f)(const std::string&)) {
  return CLI::Validator([f](std::string& v) { return f(v); }, "", "");
}

const char* kFooter = R"(A parameter text must be a number: blanks, an optional sign, digits with at most
one ".", and an optional exponent such as E+15. Ctrl-C acts as Stop (the
running test's line is still written, with --check the tests not yet checked
are marked so). A second Ctrl-C, SIGTERM or SIGHUP stops the same way, writes
what is done and exits with 128 + the signal's number.

Exit status:
  0    done (also after a first Ctrl-C)
  1    the --plot file could not be written (an earlier file is kept)
  2    bad option
  3    the series ended on a fault (the message names the field to change)
  4    writing the results failed (the series stops at once; for a closed
       pipe, such as | head, without a message)
  5    not enough memory, or a worker thread could not be started
  129  SIGHUP, 130 a second Ctrl-C, 143 SIGTERM: stopped, what was done written
)";

// The batch tool's command line; the options write into `o` and `raw`.
void defineBatchApp(CLI::App& app, BatchOptions& o, RawOptions& raw) {
  formatHelp(app);
  app.name("threebody-batch");
  app.description("Runs one series of three-body tests headless; prints one result line per test.");
  app.set_help_flag("-h,--help", "show this text and exit");
  app.add_flag("--version", o.version, "show the version and exit");
  addParameterOptions(app, o.fields);
  const char* output = "Output";
  app.add_option(
         "--format", raw.format,
         wrapHelp("text (the result lines, default), jsonl (one JSON object per test), csv (a header "
                  "row, then one row per test) or json (one document with the parameters and all tests)"))
      ->type_name("FORMAT")
      ->group(output)
      ->check(check(checkFormat));
  app.add_option(
         "--stop-at-step", raw.stopAtStep,
         wrapHelp("act as a click on Stop at the first yield of pass N of whichever test first reaches it"))
      ->type_name("N")
      ->group(output)
      ->check(check(checkStopAtStep));
  app.add_option("--plot", o.plotFile, wrapHelp("save the display as it stands after the series"))
      ->type_name("FILE.png")
      ->group(output)
      ->check(CLI::Validator(
          [](std::string& v) { return v.empty() ? std::string("needs a file name, such as plot.png") : ""; },
          "", ""));
  app.add_option(
         "--plot-size", raw.plotSize,
         wrapHelp("size of that picture in pixels (default: the display form's drawing area); at most " +
                  std::to_string(kMaxPlotSide) + " a side and " + std::to_string(kMaxPlotPixels) +
                  " pixels in all"))
      ->type_name("WxH")
      ->group(output)
      ->check(check(checkPlotSize));
  app.add_option("--jobs", o.jobs,
                 wrapHelp("run the series' tests on N threads (default: one per core); the output is the "
                          "same as with --jobs 1, which runs one test at a time"))
      ->type_name("N")
      ->group(output)
      ->check(CLI::Range(1, 1024));
  addLanesOption(app, o.lanes, output);
  app.add_flag("--check", o.check,
               wrapHelp("run the series again at half the time step and mark each test whose end code or "
                        "revolution count changes"))
      ->group(output);
  app.add_flag("--verify", o.verify,
               wrapHelp("judge each test's outcome by a reference integration (Runge-Kutta-Fehlberg 7(8) at "
                        "tolerances 1e-12 and 1e-14): confirmed, artefact (of the step size), fragile (on a "
                        "chaotic boundary: turning the pair by 1e-6 radian changes it) or undecided"))
      ->group(output);
  app.footer(kFooter);
}

} // namespace

std::string batchUsage() {
  CLI::App app;
  BatchOptions o;
  RawOptions raw;
  o.fields = defaultFieldTexts();
  defineBatchApp(app, o, raw);
  return app.help();
}

ParseResult parseBatchOptions(const std::vector<std::string>& args) {
  ParseResult r;
  r.options.fields = defaultFieldTexts();
  RawOptions raw;
  CLI::App app;
  defineBatchApp(app, r.options, raw);
  r.error = parseArgs(app, args, r.options.help);
  if (!r.error.empty() || r.options.help) return r;
  r.options.format = raw.format == "jsonl"  ? OutputFormat::Jsonl
                     : raw.format == "csv"  ? OutputFormat::Csv
                     : raw.format == "json" ? OutputFormat::Json
                                            : OutputFormat::Text;
  if (!raw.stopAtStep.empty()) r.options.stopAtStep = std::stoll(raw.stopAtStep);
  int w = 0, h = 0;
  if (!raw.plotSize.empty() && readSize(raw.plotSize, w, h)) r.options.plotSize = std::make_pair(w, h);
  // The picture would replace the results written there.
  if (!r.options.plotFile.empty() && isStandardOutput(r.options.plotFile))
    r.error = "option --plot names the file stdout goes to (" + printableText(r.options.plotFile) +
              "); give another file, or send stdout elsewhere";
  else if (!r.options.plotFile.empty())
    if (std::string e = outputFileProblem(r.options.plotFile); !e.empty()) r.error = "option --plot: " + e;
  return r;
}

} // namespace tb
