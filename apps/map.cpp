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
#include <charconv>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <ostream>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace tb {

namespace {

constexpr size_t kMaxPoints = 100'000'000;
constexpr int kBatchColumns = 14; // the batch tool's CSV columns

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

std::string quoted(const std::string& s) {
  std::string q = "\"";
  for (char c : s) {
    if (c == '"') q += '"';
    q += c == '\n' ? ' ' : c;
  }
  return q + "\"";
}

// Splits one CSV row, honouring quoted fields.
std::vector<std::string> csvFields(const std::string& row) {
  std::vector<std::string> f(1);
  bool inQuotes = false;
  for (size_t i = 0; i < row.size(); ++i) {
    char c = row[i];
    if (inQuotes && c == '"' && i + 1 < row.size() && row[i + 1] == '"') {
      f.back() += '"';
      ++i;
    } else if (c == '"') {
      inQuotes = !inQuotes;
    } else if (c == ',' && !inQuotes) {
      f.emplace_back();
    } else {
      f.back() += c;
    }
  }
  return f;
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
  axisPoints(start.value_or(0), end.value_or(0), count, axis.values, axis.texts);
  return "";
}

namespace {

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
  app.add_option("--png", o.png, wrapHelp("the map as a picture, with axes and a legend"))
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
  app.footer("Ctrl-C, SIGTERM or SIGHUP stop the map; the CSV keeps every point written, and\n"
             "--resume continues it. Exit status: 0 done, 1 a file could not be written,\n"
             "2 bad option or a CSV that --resume cannot continue, 128 + signal when stopped.\n");
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
  o.jsonl = format == "jsonl";
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

ResumeState readResume(const std::string& content, const MapOptions& o) {
  ResumeState r;
  const std::string head = mapCsvHead(o);
  if (content.compare(0, head.size(), head) != 0) {
    bool isMap = content.rfind("# threebody-map ", 0) == 0;
    r.error = isMap ? "it was made with other parameters or another version; run without --resume to start a "
                      "new map, or give the parameters it was made with"
                    : "it is not a map made by threebody-map";
    return r;
  }
  const size_t columns = o.x.values.size();
  size_t pos = head.size();
  r.keepBytes = pos;
  while (pos < content.size()) {
    size_t nl = content.find('\n', pos);
    if (nl == std::string::npos) break; // a torn last row: dropped and computed again
    auto f = csvFields(content.substr(pos, nl - pos));
    const size_t k = r.rows;
    bool whole = f.size() == 4 + kBatchColumns + 1 && k < columns * o.y.values.size() &&
                 f[0] == std::to_string(k % columns) && f[1] == std::to_string(k / columns);
    int end = -1;
    int64_t steps = 0;
    if (whole && !f[7].empty()) {
      auto a = std::from_chars(f[7].data(), f[7].data() + f[7].size(), end);
      auto b = std::from_chars(f[5].data(), f[5].data() + f[5].size(), steps);
      whole = a.ec == std::errc() && b.ec == std::errc() && end >= 0 && end <= 4;
    }
    if (!whole) {
      r.error = "row " + std::to_string(k + 1) + " is not the row of point " + std::to_string(k) +
                " of this map; the file cannot be continued";
      return r;
    }
    r.cells.emplace_back(end, steps);
    ++r.rows;
    pos = nl + 1;
    r.keepBytes = pos;
  }
  return r;
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
  json[o.x.field] = o.x.texts[i];
  json[o.y.field] = o.y.texts[j];
  if (test) {
    r.end = endNumber(test->report.end);
    r.steps = test->report.steps;
    r.csv = prefix + testToCsvRow(test->report) + ",\n";
    r.text = test->report.line;
    json["error"] = nullptr;
  } else {
    r.csv = prefix + std::string(kBatchColumns - 1, ',') + "," + quoted(fault) + "\n";
    r.text = "fault: " + fault;
    json["error"] = fault;
  }
  r.json = dumpJson(json);
  return r;
}

} // namespace

size_t computePoints(const MapOptions& o, const std::vector<size_t>& points,
                     const std::function<bool(size_t, PointRow&)>& write) {
  const size_t columns = o.x.values.size(), n = points.size();
  std::vector<std::optional<PointRow>> rows(n);
  std::mutex m;
  std::condition_variable ready;
  std::atomic<bool> abandon{false};
  size_t stoppedAt = n; // the first entry that did not finish
  HeadlessTestsSetup setup;
  setup.jobs = o.jobs > 0 ? static_cast<unsigned>(o.jobs) : std::max(1u, std::thread::hardware_concurrency());
  setup.lanes = o.lanes;
  setup.interrupt = &gInterrupts;
  setup.abandon = &abandon;
  auto input = [&](size_t e) {
    return HeadlessTestInput{pointFields(o, points[e] % columns, points[e] / columns), std::nullopt};
  };
  auto finished = [&](size_t e, HeadlessTest& t, MemoryForms& forms) {
    std::optional<ExportedTest> test;
    if (t.report && !t.cancelled) test = exportedTest(*t.report, forms);
    const size_t k = points[e];
    std::lock_guard lock(m);
    if (t.cancelled || gInterrupts != 0)
      stoppedAt = std::min(stoppedAt, e);
    else
      rows[e] = makeRow(o, k % columns, k / columns, test, t.fault);
    ready.notify_all();
  };
  std::jthread runner([&] {
    runHeadlessTests(n, input, finished, setup);
    std::lock_guard lock(m);
    // Whatever did not come by now never will.
    for (size_t e = 0; e < n; ++e)
      if (!rows[e]) {
        stoppedAt = std::min(stoppedAt, e);
        break;
      }
    ready.notify_all();
  });
  // Write in order as rows become final.
  size_t e = 0;
  for (; e < n; ++e) {
    std::unique_lock lock(m);
    ready.wait(lock, [&] { return rows[e].has_value() || e >= stoppedAt; });
    if (!rows[e]) break;
    PointRow row = std::move(*rows[e]);
    rows[e].emplace(); // keep the slot filled, its text gone
    lock.unlock();
    if (!write(points[e], row)) break;
  }
  abandon = true;
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

void writeSummary(const std::vector<MapCell>& cells, size_t done, size_t total, double seconds,
                  std::ostream& err) {
  int64_t counts[6] = {}, steps = 0;
  for (size_t k = 0; k < done; ++k) {
    counts[cells[k].end < 0 ? 5 : cells[k].end]++;
    steps += cells[k].steps;
  }
  char buf[320];
  std::snprintf(
      buf, sizeof buf,
      "threebody-map: %zu of %zu points: %lld collision, %lld escaped, %lld far but bound, %lld ten "
      "revolutions, %lld stopped, %lld faults; %lld steps in %.1f s (%.1f million steps/s)\n",
      done, total, static_cast<long long>(counts[1]), static_cast<long long>(counts[2]),
      static_cast<long long>(counts[3]), static_cast<long long>(counts[4]), static_cast<long long>(counts[0]),
      static_cast<long long>(counts[5]), static_cast<long long>(steps), seconds,
      seconds > 0 ? steps / seconds / 1e6 : 0.0);
  err << buf;
}

} // namespace

int runMap(const MapOptions& o, std::ostream& out, std::ostream& err, bool progress,
           const RowSource& source) {
  const size_t total = o.x.values.size() * o.y.values.size();
  std::vector<MapCell> cells(total);
  size_t first = 0;
  std::FILE* csv = nullptr;
  if (!o.csv.empty()) {
    // --resume of a file that is not there yet starts it, so that the same
    // command can be given again and again (a cluster job that ran out of time).
    if (o.resume && access(o.csv.c_str(), F_OK) == 0) {
      std::ifstream in(o.csv, std::ios::binary);
      if (!in) {
        err << "threebody-map: --resume: cannot read " << printableText(o.csv) << "\n";
        return kExitBadOption;
      }
      std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      ResumeState r = readResume(content, o);
      if (!r.error.empty()) {
        err << "threebody-map: --resume: " << printableText(o.csv) << " cannot be continued: " << r.error
            << ". The file is unchanged.\n";
        return kExitBadOption;
      }
      for (size_t k = 0; k < r.rows; ++k)
        cells[k] = MapCell{r.cells[k].first, r.cells[k].second};
      first = r.rows;
      // A torn last row goes; the rows before it stay as they are.
      if (truncate(o.csv.c_str(), static_cast<off_t>(r.keepBytes)) != 0) {
        err << "threebody-map: --resume: cannot shorten " << printableText(o.csv) << "\n";
        return kExitPlotFailed;
      }
      csv = std::fopen(o.csv.c_str(), "ab");
    } else {
      csv = std::fopen(o.csv.c_str(), "wb");
      if (csv) std::fputs(mapCsvHead(o).c_str(), csv);
    }
    if (!csv || std::fflush(csv) != 0) {
      err << "threebody-map: --csv: cannot write " << printableText(o.csv) << "\n";
      if (csv) std::fclose(csv);
      return kExitPlotFailed;
    }
  }

  const double started = monotonicSeconds();
  double lastReport = 0;
  bool failed = false;
  auto here = [&](size_t from, const std::function<bool(size_t, PointRow&)>& write) {
    std::vector<size_t> points(total - from);
    for (size_t k = from; k < total; ++k)
      points[k - from] = k;
    return from + computePoints(o, points, write);
  };
  size_t done = (source ? source : RowSource(here))(first, [&](size_t k, PointRow& row) {
    cells[k] = MapCell{row.end, row.steps};
    if (csv && (std::fputs(row.csv.c_str(), csv) < 0 || std::fflush(csv) != 0)) {
      err << "threebody-map: writing " << printableText(o.csv) << " failed\n";
      return !(failed = true);
    }
    out << (o.jsonl
                ? row.json
                : o.x.texts[k % o.x.values.size()] + " " + o.y.texts[k / o.x.values.size()] + " " + row.text)
        << "\n";
    if (!out.flush()) return !(failed = true);
    double now = monotonicSeconds();
    if (progress && now - lastReport >= 0.2) {
      lastReport = now;
      double rate = (k + 1 - first) / std::max(1e-9, now - started);
      char buf[160];
      std::snprintf(buf, sizeof buf, "\rpoints %zu of %zu (%.1f%%), %.1f points/s, %s left   ", k + 1, total,
                    100.0 * (k + 1) / total, rate,
                    formatDuration((total - k - 1) / std::max(rate, 1e-9)).c_str());
      err << buf << std::flush;
    }
    return true;
  });
  if (progress) err << "\r" << std::string(78, ' ') << "\r";
  if (csv && std::fclose(csv) != 0) failed = true;
  if (failed) return kExitWriteFailed;
  writeSummary(cells, done, total, monotonicSeconds() - started, err);
  if (done < total) {
    err << "threebody-map: stopped after " << done << " of " << total << " points"
        << (o.csv.empty() ? ".\n" : "; --resume continues the CSV.\n");
    return 128 + (gTerminateSignal != 0 ? gTerminateSignal.load() : SIGINT);
  }
  if (!o.png.empty() && !writePicture(o, cells, err)) return kExitPlotFailed;
  return kExitDone;
}

} // namespace tb
