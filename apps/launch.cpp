#include "apps/launch.h"

#include "apps/cli.h"
#include "forms/design.h"
#include "runtime/numeric.h"

namespace tb {

namespace {

std::string checkPace(const std::string& v) {
  auto number = ValChecked(v);
  if (v == "full" || (isWholeNumber(v) && number && *number > 0)) return "";
  return "\"" + printableText(v) + "\" is not a pace; use full, or simulated time units a second such as 200";
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
                  "50, 200 or 1000"))
      ->type_name("VALUE")
      ->group(watching)
      ->check(CLI::Validator([](std::string& v) { return checkPace(v); }, "", ""));
  app.add_flag("--start", l.start, "press Start once the windows are shown")->group(watching);
  app.add_option("--screenshots", l.screenshots,
                 wrapHelp("run one series, save pictures of the windows into DIR, quit"))
      ->type_name("DIR")
      ->group(watching);
  app.footer("Options of the window toolkit (such as -platform) are passed on to it.\n"
             "Exit status: 0 done, 1 no display could be opened or a picture could not be\n"
             "written, 2 bad option.\n");
}

} // namespace

std::string readLaunch(const std::vector<std::string>& args, Launch& launch) {
  FieldTexts fields = defaultFieldTexts();
  std::string pace = "full";
  CLI::App app;
  defineLaunchApp(app, launch, fields, pace);
  std::string error = parseArgs(app, args, launch.help, true, &launch.toolkit);
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
