#include "apps/batch_options.h"

#include "forms/design.h"
#include "runtime/numeric.h"

#include <charconv>

namespace tb {

namespace {

std::string shown(const std::string& text) { return printableText(text); }

} // namespace

std::string parameterTextError(const std::string& option, const std::string& text) {
  if (isWholeNumber(text)) return "";
  std::string example;
  for (const auto& f : parameterFields())
    if (option == f.option) example = f.defaultText;
  return "option " + option + ": \"" + shown(text) +
         "\" is not a number; type digits with an optional sign and at most one \".\", for example " +
         example;
}

std::string batchUsage() {
  std::string u = "Usage: threebody-batch [OPTION...]\n"
                  "Runs one series of three-body tests headless and prints one result line per test.\n\n"
                  "Parameters (each takes the text you would type into the control form):\n";
  for (const auto& f : parameterFields()) {
    std::string left = std::string("  ") + f.option + " TEXT";
    left.resize(24, ' ');
    std::string line = left + f.what;
    std::string dflt = std::string("(default \"") + f.defaultText + "\")";
    // Keep the help within 80 columns: a long description gets its default below.
    line += line.size() + 1 + dflt.size() <= 80 ? " " + dflt : "\n" + std::string(24, ' ') + dflt;
    u += line + "\n";
  }
  u += "\nOutput:\n"
       "  --format FORMAT       text (the result lines, default), jsonl (one JSON object\n"
       "                        per test), csv (a header row, then one row per test) or\n"
       "                        json (one document with the parameters and all tests)\n"
       "  --stop-at-step N      act as a click on Stop at the first yield of pass N of\n"
       "                        whichever test first reaches it\n"
       "  --plot FILE.png       save the display as it stands after the series\n"
       "  --plot-size WxH       size of that picture in pixels (default: the display\n"
       "                        form's drawing area); at most 20000 a side and\n"
       "                        48000000 pixels in all\n"
       "  --check               run the series again at half the time step and mark\n"
       "                        each test whose end code or revolution count changes\n"
       "  --help                show this text and exit\n"
       "  --version             show the version and exit\n\n"
       "A parameter text must be a number: blanks, an optional sign, digits with at most\n"
       "one \".\", and an optional exponent such as E+15. Ctrl-C acts as Stop (the\n"
       "running test's line is still written, with --check the tests not yet checked\n"
       "are marked so). A second Ctrl-C, SIGTERM or SIGHUP stops the same way, writes\n"
       "what is done and exits with 128 + the signal's number.\n\n"
       "Exit status:\n"
       "  0    done (also after a first Ctrl-C)\n"
       "  1    the --plot file could not be written (an earlier file is kept)\n"
       "  2    bad option\n"
       "  3    the series ended on a fault (the message names the field to change)\n"
       "  4    writing the results failed (the series stops at once)\n"
       "  129  SIGHUP, 130 a second Ctrl-C, 143 SIGTERM: stopped, what was done written\n";
  return u;
}

ParseResult parseBatchOptions(const std::vector<std::string>& args) {
  ParseResult r;
  for (const auto& f : parameterFields())
    r.options.fields.emplace_back(f.control, f.defaultText);
  auto setField = [&](const char* control, const std::string& text) {
    for (auto& [name, value] : r.options.fields)
      if (name == control) value = text;
  };

  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    std::string value;
    bool hasInline = false;
    if (auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
      hasInline = true;
    }
    auto takeValue = [&]() -> bool {
      if (hasInline) return true;
      if (i + 1 >= args.size()) {
        r.error = "option " + arg + " needs a value; see --help";
        return false;
      }
      value = args[++i];
      return true;
    };

    // A switch given a value (--check=no) is refused rather than read as on.
    auto isSwitch = [&](bool& flag) {
      if (hasInline) {
        r.error = "option " + arg + " takes no value (\"" + shown(value) + "\" was given); write " + arg +
                  " alone, or leave it out";
        return false;
      }
      flag = true;
      return true;
    };
    if (arg == "--help" || arg == "-h") {
      if (!isSwitch(r.options.help)) return r;
      continue;
    }
    if (arg == "--version") {
      if (!isSwitch(r.options.version)) return r;
      continue;
    }
    bool matched = false;
    for (const auto& f : parameterFields()) {
      if (arg != f.option) continue;
      matched = true;
      if (!takeValue()) return r;
      r.error = parameterTextError(arg, value);
      if (!r.error.empty()) return r;
      setField(f.control, value);
    }
    if (matched) continue;
    if (arg == "--format") {
      if (!takeValue()) return r;
      if (value == "text")
        r.options.format = OutputFormat::Text;
      else if (value == "jsonl")
        r.options.format = OutputFormat::Jsonl;
      else if (value == "csv")
        r.options.format = OutputFormat::Csv;
      else if (value == "json")
        r.options.format = OutputFormat::Json;
      else {
        r.error = "option --format: \"" + shown(value) + "\" is not a format; use text, jsonl, csv or json";
        return r;
      }
      continue;
    }
    if (arg == "--stop-at-step") {
      if (!takeValue()) return r;
      int64_t n = 0;
      auto res = std::from_chars(value.data(), value.data() + value.size(), n);
      if (res.ec != std::errc() || res.ptr != value.data() + value.size() || n < 1) {
        r.error = "option --stop-at-step: \"" + shown(value) + "\" is not a whole number of 1 or more";
        return r;
      }
      r.options.stopAtStep = n;
      continue;
    }
    if (arg == "--plot") {
      if (!takeValue()) return r;
      if (value.empty()) {
        r.error = "option --plot needs a file name, such as plot.png";
        return r;
      }
      r.options.plotFile = value;
      continue;
    }
    if (arg == "--plot-size") {
      if (!takeValue()) return r;
      int w = 0, h = 0;
      auto x = value.find('x');
      bool ok = x != std::string::npos;
      if (ok) {
        auto a = std::from_chars(value.data(), value.data() + x, w);
        auto b = std::from_chars(value.data() + x + 1, value.data() + value.size(), h);
        ok = a.ec == std::errc() && a.ptr == value.data() + x && b.ec == std::errc() &&
             b.ptr == value.data() + value.size() && w >= 1 && h >= 1 && w <= kMaxPlotSide &&
             h <= kMaxPlotSide;
      }
      if (!ok) {
        r.error = "option --plot-size: \"" + shown(value) + "\" is not WIDTHxHEIGHT in pixels, such as 300x400 (1 to " +
                  std::to_string(kMaxPlotSide) + " each)";
        return r;
      }
      if (static_cast<int64_t>(w) * h > kMaxPlotPixels) {
        r.error = "option --plot-size: " + value + " is " + std::to_string(static_cast<int64_t>(w) * h) +
                  " pixels, more than the " + std::to_string(kMaxPlotPixels) +
                  " a plot may have; choose a smaller size, such as 6000x8000";
        return r;
      }
      r.options.plotSize = std::make_pair(w, h);
      continue;
    }
    if (arg == "--check") {
      if (!isSwitch(r.options.check)) return r;
      continue;
    }
    r.error = "unknown option \"" + shown(args[i]) + "\"; see --help";
    return r;
  }
  return r;
}

} // namespace tb
