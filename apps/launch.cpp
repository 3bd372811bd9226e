// The desktop program's command line: fields to fill, start, pace and the toolkit's own options.
#include "apps/launch.h"

#include "apps/cli.h"
#include "forms/design.h"
#include "runtime/numeric.h"

namespace tb {

namespace {

constexpr double kMinPace = 0.1, kMaxPace = 1e6; // simulated time units a second

std::string checkPace(const std::string& v) {
  auto number = ValChecked(v);
  if (v == "full" || (isWholeNumber(v) && number && *number >= kMinPace && *number <= kMaxPace)) return "";
  return "\"" + printableText(v) +
         "\" is not a pace; use full, or simulated time units a second from 0.1 to 1000000, such as 200";
}

// The window toolkit's options that the program passes on, with whether
// each takes a value. Any other single-dash word is refused.
struct ToolkitOption {
  const char* name;
  bool takesValue;
};
constexpr ToolkitOption kToolkitOptions[] = {
    {"-platform", true}, {"-display", true},  {"-style", true},        {"-stylesheet", true},
    {"-geometry", true}, {"-reverse", false}, {"-qwindowtitle", true},
};

const ToolkitOption* toolkitOption(const std::string& arg) {
  for (const auto& t : kToolkitOptions)
    if (arg == t.name) return &t;
  return nullptr;
}

void defineLaunchApp(CLI::App& app, Launch& l, FieldTexts& fields, std::string& pace) {
  formatHelp(app);
  app.name("threebody");
  app.description("Gravitational motion of three point masses: a pair circles its centre of mass\n"
                  "while a third body falls in. Without a display, threebody-batch runs the same\n"
                  "series headless.");
  app.set_help_flag("-h,--help", "show this text and exit");
  app.add_flag("-v,--version", l.version, "show the version and exit");
  addParameterOptions(app, fields);
  const char* watching = "Watching";
  app.add_option(
         "--pace", pace,
         wrapHelp("full (the default), or simulated time units a second to watch each test at, such as "
                  "50, 200 or 1000 (0.1 to 1000000)"))
      ->type_name("VALUE")
      ->group(watching)
      ->check(CLI::Validator([](std::string& v) { return checkPace(v); }, "", ""));
  app.add_flag("--start", l.start, "press Start once the windows are shown")->group(watching);
  app.add_flag("--no-overlay", l.noOverlay,
               wrapHelp("leave out what the display form draws over the plot (the bodies' numbers, the "
                        "legend, the scale, the time); the plot itself is the same either way"))
      ->group(watching);
  app.add_flag(
         "--verify", l.verify,
         wrapHelp("mark each result line with its verdict from a reference integration, as Run > Verify "
                  "outcomes does"))
      ->group(watching);
  app.add_option("--screenshots", l.screenshots,
                 wrapHelp("run one series, save pictures of the windows into DIR, quit"))
      ->type_name("DIR")
      ->group(watching)
      ->check(CLI::Validator(
          [](std::string& v) {
            return v.empty() ? std::string("needs the name of a folder") : std::string();
          },
          "", ""));
  app.footer("The window toolkit's options -platform NAME, -display DISPLAY, -style STYLE,\n"
             "-stylesheet FILE, -geometry WxH+X+Y, -qwindowtitle TITLE and -reverse are passed\n"
             "on to it; any other word is refused.\n"
             "Exit status: 0 done, 1 no display could be opened or a picture could not be\n"
             "written, 2 bad option.\n");
}

} // namespace

std::string readLaunch(const std::vector<std::string>& args, Launch& launch) {
  FieldTexts fields = defaultFieldTexts();
  std::string pace = "full";
  CLI::App app;
  defineLaunchApp(app, launch, fields, pace);
  // The toolkit's own options, with their values, go to it; the rest is ours.
  std::vector<std::string> own;
  for (size_t k = 0; k < args.size(); ++k) {
    const ToolkitOption* t = toolkitOption(args[k]);
    if (!t) {
      own.push_back(args[k]);
      continue;
    }
    launch.toolkit.push_back(args[k]);
    if (!t->takesValue) continue;
    if (k + 1 == args.size() || args[k + 1].empty())
      return "option " + args[k] + " needs a value; see --help";
    launch.toolkit.push_back(args[++k]);
    if (args[k - 1] == "-display") launch.display = args[k];
  }
  std::string error = parseArgs(app, own, launch.help);
  if (!error.empty()) return error;
  // Only the fields given on the command line: the others keep the form's texts.
  for (const auto& f : parameterFields())
    if (app.get_option(f.option)->count() > 0)
      for (const auto& [control, text] : fields)
        if (control == f.control) launch.fields.emplace_back(control, text);
  launch.pace = pace == "full" ? 0 : *ValChecked(pace);
  return "";
}

std::string launchUsage() {
  Launch l;
  FieldTexts fields = defaultFieldTexts();
  std::string pace;
  CLI::App app;
  defineLaunchApp(app, l, fields, pace);
  return app.help();
}

} // namespace tb
