// threebody-map's command line: the options, their checks and the help text.
#include "apps/map.h"

#include "apps/batch_options.h"
#include "apps/batch_run.h"
#include "runtime/numeric.h"

#include <algorithm>

namespace tb {

namespace {} // namespace

namespace {

const char* kMapFooter = R"(After the map the tool prints its basin entropy: the grid is tiled by boxes of
5 x 5 adjacent points from point (0, 0); points at the right or top edge that
do not fill a whole box are left out, and so is any box holding a fault, a
stopped or a not computed point. In a box p_k is the share of its 25 points
that ended with end code k, and its entropy is -sum p_k ln p_k. S_b is the
mean over the boxes, S_bb the mean over the boxes holding more than one end
code; a boundary with S_bb > ln 2 is fractal.

Ctrl-C, SIGTERM or SIGHUP stop the map; the CSV keeps every point written, and
--resume continues it. A second signal ends the tool at once.

Exit status:
  0    done
  1    the --csv, --png or --summary file could not be created or written
  2    bad option, or a CSV that --resume cannot continue (it stays unchanged)
  4    writing the results failed: stdout (also a closed pipe, then without a
       message) or the --csv file part-way (the rows written stay)
  5    not enough memory, or a worker thread could not be started
  129  SIGHUP, 130 Ctrl-C, 143 SIGTERM: stopped, every row written kept
)";

void defineMapApp(CLI::App& app, MapOptions& o, std::string& x, std::string& y, std::string& format,
                  std::string& integrator) {
  formatHelp(app);
  app.name("threebody-map");
  app.description("Maps how a test ends over two parameters: every point is one test, the one-test\n"
                  "series threebody-batch runs with that point's values.");
  app.set_help_flag("-h,--help", "show this text and exit");
  app.add_flag("--version", o.version, "show the version and exit");
  addParameterOptions(app, o.fields);
  const char* grid = "Grid";
  app.add_option("--x", x,
                 wrapHelp("the horizontal axis: FIELD=START:END:COUNT, FIELD one of alpha, init-v3, m2, m3, "
                          "tdelta (alpha replaces --alpha-start; --alpha-end is not used)"))
      ->type_name("AXIS")
      ->group(grid)
      ->required();
  app.add_option("--y", y, wrapHelp("the vertical axis, as --x over another field"))
      ->type_name("AXIS")
      ->group(grid)
      ->required();
  app.add_option(
         "--integrator", integrator,
         wrapHelp("fixed (each point a test of the fixed-step engine, default) or reference (each "
                  "point integrated by the reference alone, Runge-Kutta-Fehlberg 7(8) at tolerance 1e-12: "
                  "the physical map, with each point's stability at 1e-14 and with the pair turned by "
                  "1e-6 radian)"))
      ->type_name("NAME")
      ->group(grid)
      ->check(CLI::IsMember({"fixed", "reference"}));
  app.add_flag(
         "--verify", o.verify,
         wrapHelp("judge each fixed-step point by the reference integration (as threebody-batch "
                  "--verify); the picture marks artefacts with a black dot, fragile points with a white one"))
      ->group(grid);
  app.add_option("--jobs", o.jobs, wrapHelp("worker threads (default: one per core)"))
      ->type_name("N")
      ->group(grid)
      ->check(CLI::Range(1, 1024));
  addLanesOption(app, o.lanes, grid);
  const char* output = "Output";
  app.add_option("--csv", o.csv,
                 wrapHelp("rows appended as points finish, in point order: the batch tool's columns with the "
                          "point's indices and axis values"))
      ->type_name("FILE")
      ->group(output);
  app.add_flag("--resume", o.resume,
               wrapHelp("continue the --csv file of an interrupted run with the same parameters"))
      ->group(output);
  app.add_option("--png", o.png,
                 wrapHelp("the map as a picture, with axes and a legend; at most " +
                          std::to_string(kMaxPlotSide) + " pixels a side and " +
                          std::to_string(kMaxPlotPixels) + " pixels in all"))
      ->type_name("FILE")
      ->group(output);
  app.add_option("--summary", o.summary,
                 wrapHelp("the run's summary as one JSON object, written when the map ends or is stopped: "
                          "points by outcome and by verdict, the basin entropy, steps and seconds"))
      ->type_name("FILE")
      ->group(output);
  app.add_option("--cell", o.cell, wrapHelp("pixels a side of one point in the picture (default 4)"))
      ->type_name("N")
      ->group(output)
      ->check(CLI::Range(1, 64));
  app.add_option("--format", format, wrapHelp("text (one result line a point, default) or jsonl on stdout"))
      ->type_name("FORMAT")
      ->group(output)
      ->check(CLI::IsMember({"text", "jsonl"}));
  app.footer(kMapFooter);
}

} // namespace

std::string parseMapOptions(const std::vector<std::string>& args, MapOptions& o) {
  // The tool's signal handlers count into gInterrupts: a change stops the map.
  o.interrupt = &gInterrupts;
  CLI::App app;
  std::string x, y, format = "text", integrator = "fixed";
  defineMapApp(app, o, x, y, format, integrator);
  // --version needs no axes.
  if (std::find(args.begin(), args.end(), "--version") != args.end()) {
    o.version = true;
    return "";
  }
  std::string error = parseArgs(app, args, o.help);
  if (!error.empty() || o.help || o.version) return error;
  if (std::string e = readAxis(x, o.x); !e.empty()) return "option --x: " + e;
  if (std::string e = readAxis(y, o.y); !e.empty()) return "option --y: " + e;
  o.integrator = integrator == "reference" ? MapIntegrator::Reference : MapIntegrator::Fixed;
  if (std::string e = mapGridProblem(o, "--x", "--y"); !e.empty()) return e;
  if (o.resume && o.csv.empty()) return "option --resume continues a --csv file; give it with --csv FILE";
  if (std::string e = checkMapPicture(o); !e.empty()) return e;
  const std::pair<const char*, const std::string*> files[] = {
      {"--csv", &o.csv}, {"--png", &o.png}, {"--summary", &o.summary}};
  for (size_t a = 0; a < std::size(files); ++a) {
    const auto& [name, file] = files[a];
    if (file->empty()) continue;
    for (size_t b = a + 1; b < std::size(files); ++b)
      if (!files[b].second->empty() && sameFile(*file, *files[b].second))
        return "options " + std::string(name) + " and " + files[b].first + " name the same file " +
               printableText(*file) + "; give two files";
    if (isStandardOutput(*file))
      return "option " + std::string(name) + " names the file stdout goes to (" + printableText(*file) +
             "); give another file, or send stdout elsewhere";
    // The CSV is opened (and checked) before the first point anyway.
    if (std::string e = file != &o.csv ? outputFileProblem(*file) : ""; !e.empty())
      return "option " + std::string(name) + ": " + e;
  }
  o.jsonl = format == "jsonl";
  return "";
}

std::string checkMapPicture(const MapOptions& o) {
  if (o.png.empty()) return "";
  int64_t w = 0, h = 0;
  mapPictureSize(static_cast<int64_t>(o.x.values.size()), static_cast<int64_t>(o.y.values.size()), o.cell, &w,
                 &h);
  if (w > kMaxPlotSide || h > kMaxPlotSide || w * h > kMaxPlotPixels)
    return "the --png picture would be " + std::to_string(w) + "x" + std::to_string(h) +
           " pixels, more than " + std::to_string(kMaxPlotSide) + " a side or " +
           std::to_string(kMaxPlotPixels) + " in all; use smaller counts or a smaller --cell";
  return "";
}

std::string mapUsage() {
  CLI::App app;
  MapOptions o;
  std::string x, y, format, integrator;
  defineMapApp(app, o, x, y, format, integrator);
  return app.help();
}

} // namespace tb
