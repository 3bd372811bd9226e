#include "apps/map.h"

#include "apps/batch_run.h"
#include "forms/design.h"
#include "forms/headless.h"
#include "results/atomic_file.h"
#include "results/map_picture.h"
#include "results/png.h"
#include "runtime/controls.h"
#include "runtime/numeric.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <istream>
#include <map>
#include <mutex>
#include <ostream>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace tb {

namespace {

constexpr size_t kMaxPoints = 100'000'000;

struct AxisField {
  const char* name;
  const char* control;
};
constexpr AxisField kAxisFields[] = {{"alpha", controls::Talphastr},
                                     {"init-v3", controls::Tinitv2},
                                     {"m2", controls::Tm2},
                                     {"m3", controls::Tm3},
                                     {"tdelta", controls::Ttdelta}};

const char* axisControl(const std::string& field) {
  for (const auto& f : kAxisFields)
    if (field == f.name) return f.control;
  return nullptr;
}

} // namespace

std::string readAxis(const std::string& given, MapAxis& axis) {
  axis = MapAxis{};
  axis.given = given;
  auto eq = given.find('=');
  std::string field = given.substr(0, eq);
  if (eq == std::string::npos || !axisControl(field))
    return "\"" + printableText(given) +
           "\" is not FIELD=START:END:COUNT with FIELD alpha, init-v3, m2, m3 or tdelta";
  axis.field = field;
  std::string rest = given.substr(eq + 1);
  auto c1 = rest.find(':'), c2 = rest.find(':', c1 == std::string::npos ? c1 : c1 + 1);
  if (c1 == std::string::npos || c2 == std::string::npos)
    return "\"" + printableText(given) + "\" needs START:END:COUNT after " + field + "=, such as " + field +
           "=0:360:100";
  std::string a = rest.substr(0, c1), b = rest.substr(c1 + 1, c2 - c1 - 1), n = rest.substr(c2 + 1);
  auto start = isWholeNumber(a) ? ValChecked(a) : std::nullopt;
  auto end = isWholeNumber(b) ? ValChecked(b) : std::nullopt;
  int count = 0;
  auto r = std::from_chars(n.data(), n.data() + n.size(), count);
  if (!start || !end) return "the start and end of \"" + printableText(given) + "\" must be numbers";
  if (r.ec != std::errc() || r.ptr != n.data() + n.size() || count < 1 || count > 100000)
    return "the count of \"" + printableText(given) + "\" must be a whole number from 1 to 100000";
  const double from = start.value_or(0), to = end.value_or(0);
  if (!std::isfinite(from) || !std::isfinite(to))
    return "the start and end of \"" + printableText(given) + "\" must be finite numbers";
  // The step between points, and so every point, must be finite too.
  if (!std::isfinite(to - from))
    return "the points of \"" + printableText(given) +
           "\" are too far apart to be computed; choose a start and end nearer each other";
  axisPoints(from, to, count, axis.values, axis.texts);
  for (double v : axis.values)
    if (!std::isfinite(v))
      return "the points of \"" + printableText(given) + "\" are not all finite numbers; choose other ends";
  return "";
}

namespace {

const char* kMapFooter = R"(Ctrl-C, SIGTERM or SIGHUP stop the map; the CSV keeps every point written, and
--resume continues it. A second signal ends the tool at once.

Exit status:
  0    done
  1    the --csv or --png file could not be created or the picture not written
  2    bad option, or a CSV that --resume cannot continue (it stays unchanged)
  4    writing the results failed: stdout (also a closed pipe, then without a
       message) or the --csv file part-way (the rows written stay)
  5    not enough memory, or a worker thread could not be started
  129  SIGHUP, 130 Ctrl-C, 143 SIGTERM: stopped, every row written kept
)";

void defineMapApp(CLI::App& app, MapOptions& o, std::string& x, std::string& y, std::string& format) {
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
  CLI::App app;
  std::string x, y, format = "text";
  defineMapApp(app, o, x, y, format);
  // --version needs no axes.
  if (std::find(args.begin(), args.end(), "--version") != args.end()) {
    o.version = true;
    return "";
  }
  std::string error = parseArgs(app, args, o.help);
  if (!error.empty() || o.help || o.version) return error;
  if (std::string e = readAxis(x, o.x); !e.empty()) return "option --x: " + e;
  if (std::string e = readAxis(y, o.y); !e.empty()) return "option --y: " + e;
  if (o.x.field == o.y.field) return "options --x and --y map the same field " + o.x.field + "; choose two";
  if (o.x.values.size() * o.y.values.size() > kMaxPoints)
    return "the map has more than " + std::to_string(kMaxPoints) + " points; use smaller counts";
  if (o.resume && o.csv.empty()) return "option --resume continues a --csv file; give it with --csv FILE";
  if (std::string e = checkMapPicture(o); !e.empty()) return e;
  if (!o.csv.empty() && !o.png.empty() && sameFile(o.csv, o.png))
    return "options --csv and --png name the same file " + printableText(o.png) + "; give two files";
  for (const std::string* file : {&o.csv, &o.png})
    if (!file->empty() && isStandardOutput(*file))
      return "option " + std::string(file == &o.csv ? "--csv" : "--png") +
             " names the file stdout goes to (" + printableText(*file) +
             "); give another file, or send stdout elsewhere";
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
  std::string x, y, format;
  defineMapApp(app, o, x, y, format);
  return app.help();
}

FieldTexts pointFields(const MapOptions& o, size_t i, size_t j) {
  FieldTexts f = o.fields;
  auto set = [&](const char* control, const std::string& text) {
    for (auto& [name, value] : f)
      if (name == control) value = text;
  };
  set(axisControl(o.x.field), o.x.texts[i]);
  set(axisControl(o.y.field), o.y.texts[j]);
  // Every point is one test, at the alpha of the start field.
  for (const auto& [name, value] : f)
    if (name == controls::Talphastr) set(controls::Talphaend, value);
  return f;
}

std::string mapCsvHead(const MapOptions& o) {
  std::string h =
      "# threebody-map " THREEBODY_VERSION "\n# x " + o.x.given + "\n# y " + o.y.given + "\n# fixed";
  for (const auto& f : parameterFields())
    for (const auto& [control, text] : o.fields)
      if (control == f.control) h += " " + std::string(f.option).substr(2) + "=" + text;
  return h + "\ni,j,x_" + o.x.field + ",y_" + o.y.field + "," + csvHeader() + ",error\n";
}

namespace {

// A row is the point's i, j, x and y, then the batch tool's columns, then the error.
constexpr size_t kPointColumns = 4;
const size_t kRowColumns = kPointColumns + resultColumns().size() + 1;
// The batch columns the reader needs, found by their names.
const size_t kEndColumn = kPointColumns + static_cast<size_t>(columnIndex("end"));
const size_t kStepsColumn = kPointColumns + static_cast<size_t>(columnIndex("steps"));
constexpr size_t kMaxRowBytes = 1 << 16; // far beyond any row a map writes

bool allOf(const std::string& s, const char* chars) {
  return s.find_first_not_of(chars) == std::string::npos;
}

bool wholeNumber(const std::string& s) {
  return !s.empty() && allOf(s, "0123456789") && (s.size() == 1 || s[0] != '0');
}

// A double as the outputs write it: the shortest text that reads back.
bool doubleText(const std::string& s) {
  double v = 0;
  auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size();
}

// A result line as the program writes it, "Alpha ... end  N", with the row's end code.
bool lineMatches(const std::string& line, const std::string& end) {
  auto last = line.rfind(" end ");
  return line.rfind("Alpha ", 0) == 0 && last != std::string::npos &&
         line.find_first_not_of(' ', last + 5) == line.size() - end.size() && line.ends_with(end);
}

// Whether field `col` of a row of point (i, j) is what the map writes there,
// in the row of a fault or of a test ending with code `end`; `partial`:
// whether it could be the start of it (the last field of a torn row).
bool fieldOk(size_t col, const std::string& f, bool fault, const std::string& end, size_t i, size_t j,
             const MapOptions& o, bool partial) {
  auto exactly = [&](const std::string& want) {
    return partial ? want.compare(0, f.size(), f) == 0 : f == want;
  };
  if (f.find('\r') != std::string::npos) return false;
  switch (col) {
  case 0: return exactly(std::to_string(i));
  case 1: return exactly(std::to_string(j));
  case 2: return exactly(o.x.texts[i]);
  case 3: return exactly(o.y.texts[j]);
  default: break;
  }
  if (col == kRowColumns - 1) return true; // the fault's message, if any
  const ColumnKind kind = resultColumns()[col - kPointColumns].kind;
  // A fault leaves the batch columns empty; a test fills them.
  if (partial) return allOf(f, "0123456789.-+einfa") || kind == ColumnKind::Line;
  if (fault) return f.empty();
  switch (kind) {
  case ColumnKind::Whole: return wholeNumber(f);
  case ColumnKind::Code: return f.size() == 1 && f[0] >= '0' && f[0] - '0' < kEndCodes;
  case ColumnKind::MaybeDouble: return f.empty() || doubleText(f);
  case ColumnKind::Line: return lineMatches(f, end); // the result line, which ends in the end code
  case ColumnKind::Single:
  case ColumnKind::Double: break;
  }
  return doubleText(f);
}

// Splits a row into its fields; false when a quoted field is not closed.
bool splitRow(const std::string& row, std::vector<std::string>& f) {
  f.assign(1, "");
  bool inQuotes = false;
  for (size_t k = 0; k < row.size(); ++k) {
    char c = row[k];
    if (inQuotes && c == '"' && k + 1 < row.size() && row[k + 1] == '"') {
      f.back() += '"';
      ++k;
    } else if (c == '"') {
      inQuotes = !inQuotes;
    } else if (c == ',' && !inQuotes) {
      f.emplace_back();
    } else {
      f.back() += c;
    }
  }
  return !inQuotes;
}

} // namespace

ResumeState readResume(std::istream& in, const MapOptions& o, bool keepCells) {
  ResumeState r;
  const std::string head = mapCsvHead(o);
  std::string start(head.size(), '\0');
  in.read(start.data(), static_cast<std::streamsize>(head.size()));
  start.resize(static_cast<size_t>(in.gcount()));
  if (start != head) {
    // Less than the head, and the start of it: a start that failed part-way.
    if (start.size() < head.size() && head.compare(0, start.size(), start) == 0) return r;
    bool isMap = start.rfind("# threebody-map ", 0) == 0;
    r.error = isMap ? "it was made with other parameters or another version; run without --resume to start a "
                      "new map, or give the parameters it was made with"
                    : "it is not a map made by threebody-map";
    return r;
  }
  r.started = true;
  const size_t columns = o.x.values.size(), total = columns * o.y.values.size();
  r.keepBytes = head.size();
  std::string row;
  std::vector<std::string> f;
  auto bad = [&](const std::string& why) {
    r.error = "row " + std::to_string(r.rows + 1) + " " + why + "; the file cannot be continued";
    return r;
  };
  for (;;) {
    if ((r.rows & 1023) == 0 && gInterrupts != 0) {
      r.stopped = true;
      return r;
    }
    row.clear();
    bool ended = false;
    for (int c; (c = in.get()) != std::char_traits<char>::eof();) {
      if (c == '\n') {
        ended = true;
        break;
      }
      row += static_cast<char>(c);
      if (row.size() > kMaxRowBytes) return bad("is longer than any row of a map");
    }
    if (!ended && row.empty()) break; // the end of the file
    const size_t k = r.rows;
    if (k >= total) return bad("is beyond the map's last point");
    const size_t i = k % columns, j = k / columns;
    bool closed = splitRow(row, f);
    if (!ended) {
      // A torn last row: dropped and computed again, if it is the start of this point's row.
      bool prefix = f.size() <= kRowColumns;
      for (size_t c = 0; prefix && c < f.size(); ++c)
        prefix =
            fieldOk(c, f[c], false, f.size() > kEndColumn ? f[kEndColumn] : "", i, j, o, c + 1 == f.size()) ||
            (c + 1 < f.size() && fieldOk(c, f[c], true, "", i, j, o, false));
      if (!prefix) return bad("is not the start of the row of point " + std::to_string(k) + " of this map");
      break;
    }
    bool whole = closed && f.size() == kRowColumns;
    for (size_t c = 0; whole && c < kRowColumns; ++c)
      whole = fieldOk(c, f[c], !f[kRowColumns - 1].empty(), f[kEndColumn], i, j, o, false);
    if (!whole) return bad("is not the row of point " + std::to_string(k) + " of this map");
    MapOutcome outcome = MapOutcome::fault();
    int64_t steps = 0;
    if (f[kRowColumns - 1].empty()) {
      outcome = MapOutcome::ended(static_cast<EndCode>(f[kEndColumn][0] - '0'));
      const std::string& n = f[kStepsColumn];
      auto s = std::from_chars(n.data(), n.data() + n.size(), steps);
      if (s.ec != std::errc()) return bad("has more steps than can be counted");
    }
    ++r.outcomes[outcome.slot()];
    if (keepCells) r.cells.push_back(MapCell{outcome, steps});
    ++r.rows;
    r.keepBytes += row.size() + 1;
  }
  return r;
}

ResumeState readResume(const std::string& content, const MapOptions& o) {
  std::istringstream in(content);
  return readResume(in, o);
}

} // namespace tb

namespace tb {

namespace {

// The row of point (i, j): its test, or the fault that ended it.
PointRow makeRow(const MapOptions& o, size_t i, size_t j, const std::optional<ExportedTest>& test,
                 const std::string& fault) {
  PointRow r;
  std::string prefix =
      std::to_string(i) + "," + std::to_string(j) + "," + o.x.texts[i] + "," + o.y.texts[j] + ",";
  // The batch tool's object for the test, then the point and its fault.
  nlohmann::ordered_json json = test ? testJson(*test) : nlohmann::ordered_json::object();
  json["i"] = i;
  json["j"] = j;
  // The axis values as numbers, as alpha is in every test's object.
  json[o.x.field] = o.x.values[i];
  json[o.y.field] = o.y.values[j];
  if (test) {
    r.outcome = MapOutcome::ended(test->report.end);
    r.steps = test->report.steps;
    r.csv = prefix + testToCsvRow(test->report) + ",\n";
    r.text = test->report.line;
    json["error"] = nullptr;
  } else {
    r.csv = prefix + std::string(resultColumns().size(), ',') + csvQuoted(fault) + "\n";
    r.text = "fault: " + fault;
    json["error"] = fault;
  }
  r.json = dumpJson(json);
  return r;
}

} // namespace

std::unique_ptr<OrderedTests<PointRow>> startPoints(const MapOptions& o, size_t n,
                                                    std::function<size_t(size_t)> pointAt) {
  const size_t columns = o.x.values.size();
  HeadlessTestsSetup setup;
  setup.jobs = o.jobs > 0 ? static_cast<unsigned>(o.jobs) : std::max(1u, std::thread::hardware_concurrency());
  setup.lanes = o.lanes;
  setup.interrupt = &gInterrupts;
  auto input = [&o, columns, pointAt](size_t e) {
    const size_t k = pointAt(e);
    return HeadlessTestInput{pointFields(o, k % columns, k / columns), std::nullopt};
  };
  // A point a signal stopped is not kept: the map ends before it.
  auto keep = [&o, columns, pointAt](size_t e, HeadlessTest& t,
                                     MemoryForms& forms) -> std::optional<PointRow> {
    if (t.cancelled || gInterrupts != 0) return std::nullopt;
    std::optional<ExportedTest> test;
    if (t.report) test = exportedTest(*t.report, forms);
    const size_t k = pointAt(e);
    return makeRow(o, k % columns, k / columns, test, t.fault);
  };
  return std::make_unique<OrderedTests<PointRow>>(n, input, keep, setup);
}

size_t computePoints(const MapOptions& o, size_t n, const std::function<size_t(size_t)>& pointAt,
                     const std::function<bool(size_t, PointRow&)>& write) {
  auto points = startPoints(o, n, pointAt);
  size_t e = 0;
  for (std::optional<PointRow> row; e < n && (row = points->take(e)) && write(pointAt(e), *row);)
    ++e;
  return e;
}

namespace {

std::string formatDuration(double s) {
  char buf[32];
  if (s >= 3600)
    std::snprintf(buf, sizeof buf, "%dh%02dm", static_cast<int>(s / 3600), static_cast<int>(s / 60) % 60);
  else
    std::snprintf(buf, sizeof buf, "%dm%02ds", static_cast<int>(s / 60), static_cast<int>(s) % 60);
  return buf;
}

bool writePicture(const MapOptions& o, const std::vector<MapCell>& cells, std::ostream& err) {
  MapPicture pic{static_cast<int>(o.x.values.size()),
                 static_cast<int>(o.y.values.size()),
                 o.cell,
                 o.x.field,
                 o.y.field,
                 o.x.texts,
                 o.y.texts,
                 cells};
  int w = 0, h = 0;
  std::vector<uint32_t> pixels = drawMap(pic, &w, &h);
  std::string e = writePng(o.png, w, h, pixels);
  if (!e.empty()) err << "threebody-map: --png: " << printableText(e, 200) << "\n";
  return e.empty();
}

// What this run did: outcomes over every point done, kept from the file or
// computed here; the speed over those computed here alone.
struct MapTally {
  int64_t outcomes[MapOutcome::kSlots] = {}; // by outcome
  int64_t steps = 0;                         // computed in this run
  size_t kept = 0;                           // rows kept from the resumed file
  void add(MapOutcome o) { ++outcomes[o.slot()]; }
};

void writeSummary(const MapTally& t, size_t done, size_t total, double seconds, std::ostream& err) {
  char buf[400];
  std::snprintf(
      buf, sizeof buf,
      "threebody-map: %zu of %zu points: %lld collision, %lld escaped, %lld far but bound, %lld ten "
      "revolutions, %lld stopped, %lld faults; ",
      done, total, static_cast<long long>(t.outcomes[1]), static_cast<long long>(t.outcomes[2]),
      static_cast<long long>(t.outcomes[3]), static_cast<long long>(t.outcomes[4]),
      static_cast<long long>(t.outcomes[0]), static_cast<long long>(t.outcomes[MapOutcome::fault().slot()]));
  err << buf;
  if (t.kept > 0) err << t.kept << " kept from the file, " << done - t.kept << " computed: ";
  std::snprintf(buf, sizeof buf, "%lld steps in %.1f s (%.1f million steps/s)\n",
                static_cast<long long>(t.steps), seconds, seconds > 0 ? t.steps / seconds / 1e6 : 0.0);
  err << buf;
}

// The --csv file, opened to continue a resumed map or started anew. Returns
// an exit status other than kExitDone when it cannot be.
int openCsv(const MapOptions& o, std::ostream& err, std::vector<MapCell>& cells, MapTally& tally,
            size_t& first, std::FILE*& csv) {
  struct stat st {};
  const bool exists = stat(o.csv.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) {
    err << "threebody-map: --csv: " << printableText(o.csv)
        << " is not a regular file (a folder, a device or a pipe); give the path of a file\n";
    return kExitBadOption;
  }
  bool started = false;
  // --resume of a file that is not there yet, or that a failed start left
  // without its whole head, starts it, so that the same command can be given
  // again and again (a cluster job that ran out of time).
  if (o.resume && exists) {
    std::ifstream in(o.csv, std::ios::binary);
    if (!in) {
      err << "threebody-map: --resume: cannot read " << printableText(o.csv) << ": " << std::strerror(errno)
          << "\n";
      return kExitBadOption;
    }
    ResumeState r = readResume(in, o, !o.png.empty());
    if (r.stopped) return 128 + (gTerminateSignal != 0 ? gTerminateSignal.load() : SIGINT);
    if (!r.error.empty()) {
      err << "threebody-map: --resume: " << printableText(o.csv) << " cannot be continued: " << r.error
          << ". The file is unchanged.\n";
      return kExitBadOption;
    }
    started = r.started;
    std::copy(r.cells.begin(), r.cells.end(), cells.begin());
    std::copy(std::begin(r.outcomes), std::end(r.outcomes), tally.outcomes);
    first = tally.kept = r.rows;
    // A torn last row goes; the rows before it stay as they are.
    if (started && truncate(o.csv.c_str(), static_cast<off_t>(r.keepBytes)) != 0) {
      err << "threebody-map: --resume: cannot shorten " << printableText(o.csv) << ": "
          << std::strerror(errno) << "\n";
      return kExitFileFailed;
    }
  }
  csv = std::fopen(o.csv.c_str(), started ? "ab" : "wb");
  if (csv && !started) std::fputs(mapCsvHead(o).c_str(), csv);
  if (!csv || std::fflush(csv) != 0) {
    err << "threebody-map: --csv: cannot write " << printableText(o.csv) << ": " << std::strerror(errno)
        << "\n";
    if (csv) std::fclose(csv);
    csv = nullptr;
    return kExitFileFailed;
  }
  return kExitDone;
}

} // namespace

int runMap(const MapOptions& o, std::ostream& out, std::ostream& err, MapProgress progress,
           const RowSource& source) {
  const size_t total = o.x.values.size() * o.y.values.size();
  // The cells are kept for the picture only; the summary counts as it goes.
  std::vector<MapCell> cells(o.png.empty() ? 0 : total);
  MapTally tally;
  size_t first = 0;
  std::FILE* csv = nullptr;
  if (!o.csv.empty())
    if (int status = openCsv(o, err, cells, tally, first, csv); status != kExitDone) return status;

  const double started = monotonicSeconds();
  double lastReport = 0;
  bool failed = false, shown = false;
  auto wipe = [&] {
    if (shown) err << "\r" << std::string(78, ' ') << "\r" << std::flush;
    shown = false;
  };
  auto here = [&](size_t from, const std::function<bool(size_t, PointRow&)>& write) {
    return from + computePoints(
                      o, total - from, [from](size_t e) { return from + e; }, write);
  };
  size_t done = (source ? source : RowSource(here))(first, [&](size_t k, PointRow& row) {
    if (!cells.empty()) cells[k] = MapCell{row.outcome, row.steps};
    tally.add(row.outcome);
    tally.steps += row.steps;
    if (csv && (std::fputs(row.csv.c_str(), csv) < 0 || std::fflush(csv) != 0)) {
      wipe();
      err << "threebody-map: writing " << printableText(o.csv) << " failed: " << std::strerror(errno)
          << "; the rows written stay, and --resume continues the file\n";
      return !(failed = true);
    }
    if (progress.wipeBeforeRows) wipe();
    out << (o.jsonl
                ? row.json
                : o.x.texts[k % o.x.values.size()] + " " + o.y.texts[k / o.x.values.size()] + " " + row.text)
        << "\n";
    if (!out.flush()) {
      wipe();
      // A reader that went away (| head) is no news to the user.
      if (!readerWentAway(out))
        err << "threebody-map: writing the results failed: " << writeFailure(out) << "\n";
      return !(failed = true);
    }
    double now = monotonicSeconds();
    if (progress.show && now - lastReport >= 0.2) {
      lastReport = now;
      double rate = (k + 1 - first) / std::max(1e-9, now - started);
      char buf[160];
      std::snprintf(buf, sizeof buf, "\rpoints %zu of %zu (%.1f%%), %.1f points/s, %s left   ", k + 1, total,
                    100.0 * (k + 1) / total, rate,
                    formatDuration((total - k - 1) / std::max(rate, 1e-9)).c_str());
      err << buf << std::flush;
      shown = true;
    }
    return true;
  });
  wipe();
  if (csv && std::fclose(csv) != 0) failed = true;
  if (failed) return kExitWriteFailed;
  writeSummary(tally, done, total, monotonicSeconds() - started, err);
  if (done < total) {
    err << "threebody-map: stopped after " << done << " of " << total << " points"
        << (o.csv.empty() ? ".\n" : "; --resume continues the CSV.\n");
    return 128 + (gTerminateSignal != 0 ? gTerminateSignal.load() : SIGINT);
  }
  if (!o.png.empty() && !writePicture(o, cells, err)) return kExitFileFailed;
  return kExitDone;
}

} // namespace tb
