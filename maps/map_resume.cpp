// What a resumed map reads back of a CSV an interrupted run left: every
// field is checked against what this map writes there.
#include "maps/map_resume.h"
#include "runtime/chars.h"

#include "results/export.h"
#include "results/schema.h"

#include <charconv>
#include <istream>
#include <optional>
#include <sstream>

namespace tb {

namespace {

// A row is the point's i, j, x and y, then the map's columns, then the error.
constexpr size_t kPointColumns = 4;

// What a column of the map's rows holds. The verify columns (Opt...) are
// filled exactly when the test ended (end code above 0): a test that did
// not end is not verified, and one that ended is kept only with its verdict.
enum class Field {
  Whole,
  Code,
  Double,
  MaybeDouble,
  Line,
  OptCode,
  OptWhole,
  OptDouble,
  OptMaybeDouble,
  OptVerdict,
  Verdict
};

struct RowLayout {
  std::vector<Field> fields; // after the point's four
  size_t columns = 0;        // in all, the error's included
  size_t end = 0, steps = 0; // where the end code and the steps stand
  std::optional<size_t> verdict;
};

RowLayout layoutOf(const MapRun& o) {
  RowLayout l;
  if (o.integrator == MapIntegrator::Reference) {
    l.fields = {Field::Code,    Field::Whole,       Field::Double,     Field::Whole,
                Field::Verdict, Field::MaybeDouble, Field::MaybeDouble};
    l.end = kPointColumns;
    l.steps = kPointColumns + 3;
    l.verdict = kPointColumns + 4;
  } else {
    for (const Column& c : resultColumns())
      switch (c.kind) {
      case ColumnKind::Whole: l.fields.push_back(Field::Whole); break;
      case ColumnKind::Code: l.fields.push_back(Field::Code); break;
      case ColumnKind::MaybeDouble: l.fields.push_back(Field::MaybeDouble); break;
      case ColumnKind::Line: l.fields.push_back(Field::Line); break;
      case ColumnKind::Single:
      case ColumnKind::Double: l.fields.push_back(Field::Double); break;
      }
    l.end = kPointColumns + static_cast<size_t>(columnIndex("end"));
    l.steps = kPointColumns + static_cast<size_t>(columnIndex("steps"));
    if (o.verify) {
      l.verdict = kPointColumns + l.fields.size() + 3;
      for (Field f : {Field::OptCode, Field::OptWhole, Field::OptDouble, Field::OptVerdict,
                      Field::OptMaybeDouble, Field::OptMaybeDouble})
        l.fields.push_back(f);
    }
  }
  l.columns = kPointColumns + l.fields.size() + 1;
  return l;
}

// The verdicts a map of this kind writes: a physical (reference) map says
// whether its outcome is stable, a verified map judges the fixed step's.
bool verdictName(const std::string& s, const MapRun& o) {
  const bool physical = o.integrator == MapIntegrator::Reference;
  for (const char* v : {"fragile", "undecided"})
    if (s == v) return true;
  return physical ? s == "stable" : s == "confirmed" || s == "artefact";
}

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
  auto r = fromChars(s.data(), s.data() + s.size(), v);
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
bool fieldOk(const RowLayout& layout, size_t col, const std::string& f, bool fault, const std::string& end,
             size_t i, size_t j, const MapRun& o, bool partial) {
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
  if (col == layout.columns - 1) return true; // the fault's message, if any
  const Field kind = layout.fields[col - kPointColumns];
  // A fault leaves the map's columns empty; a test fills them.
  if (partial)
    return allOf(f, "0123456789.-+einfa") || kind == Field::Line || kind == Field::Verdict ||
           kind == Field::OptVerdict;
  if (fault) return f.empty();
  auto code = [&] { return f.size() == 1 && f[0] >= '0' && f[0] - '0' < kEndCodes; };
  const bool verified = end != "0";
  switch (kind) {
  case Field::Whole: return wholeNumber(f);
  case Field::Code: return code();
  case Field::MaybeDouble: return f.empty() || doubleText(f);
  case Field::Line: return lineMatches(f, end); // the result line, which ends in the end code
  case Field::Double: return doubleText(f);
  case Field::OptCode: return verified ? code() : f.empty();
  case Field::OptWhole: return verified ? wholeNumber(f) : f.empty();
  case Field::OptDouble: return verified ? doubleText(f) : f.empty();
  case Field::OptMaybeDouble: return f.empty() || (verified && doubleText(f));
  case Field::OptVerdict: return verified ? verdictName(f, o) : f.empty();
  case Field::Verdict: return verdictName(f, o);
  }
  return false;
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

ResumeState readResume(std::istream& in, const MapRun& o, bool keepCells) {
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
  const RowLayout layout = layoutOf(o);
  const size_t kRowColumns = layout.columns, kEndColumn = layout.end, kStepsColumn = layout.steps;
  const size_t columns = o.x.values.size(), total = columns * o.y.values.size();
  r.keepBytes = head.size();
  std::string row;
  std::vector<std::string> f;
  auto bad = [&](const std::string& why) {
    r.error = "row " + std::to_string(r.rows + 1) + " " + why + "; the file cannot be continued";
    return r;
  };
  for (;;) {
    if ((r.rows & 1023) == 0 && o.interrupt && *o.interrupt != 0) {
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
        prefix = fieldOk(layout, c, f[c], false, f.size() > kEndColumn ? f[kEndColumn] : "", i, j, o,
                         c + 1 == f.size()) ||
                 (c + 1 < f.size() && fieldOk(layout, c, f[c], true, "", i, j, o, false));
      if (!prefix) return bad("is not the start of the row of point " + std::to_string(k) + " of this map");
      break;
    }
    bool whole = closed && f.size() == kRowColumns;
    for (size_t c = 0; whole && c < kRowColumns; ++c)
      whole = fieldOk(layout, c, f[c], !f[kRowColumns - 1].empty(), f[kEndColumn], i, j, o, false);
    if (!whole) return bad("is not the row of point " + std::to_string(k) + " of this map");
    MapOutcome outcome = MapOutcome::fault();
    int64_t steps = 0;
    if (f[kRowColumns - 1].empty()) {
      const auto end = static_cast<EndCode>(f[kEndColumn][0] - '0');
      outcome = MapOutcome::ended(end);
      if (o.integrator == MapIntegrator::Reference) {
        const std::string& t = f[kEndColumn + 2]; // the time, checked above
        double time = 0;
        fromChars(t.data(), t.data() + t.size(), time);
        outcome = referenceMapOutcome(end, time);
      }
      const std::string& n = f[kStepsColumn];
      auto s = std::from_chars(n.data(), n.data() + n.size(), steps);
      if (s.ec != std::errc()) return bad("has more steps than can be counted");
    }
    MapMark mark = MapMark::None;
    if (layout.verdict) {
      const std::optional<Verification> v =
          f[kRowColumns - 1].empty() ? mapVerdictNamed(f[*layout.verdict]) : std::nullopt;
      if (v == Verification::Artefact) mark = MapMark::Artefact;
      if (v == Verification::Fragile || v == Verification::Undecided) mark = MapMark::Fragile;
      r.verdicts.add(v);
    }
    ++r.outcomes[outcome.slot()];
    if (keepCells) r.cells.push_back(MapCell{outcome, steps, mark});
    r.slots.push_back(static_cast<uint8_t>(outcome.slot()));
    ++r.rows;
    r.keepBytes += row.size() + 1;
  }
  return r;
}

ResumeState readResume(const std::string& content, const MapRun& o) {
  std::istringstream in(content);
  return readResume(in, o);
}

} // namespace tb
