// The map's CSV head, and what --resume reads back of a file an interrupted
// run left: every field is checked against what this map writes there.
#include "apps/map.h"

#include "apps/batch_run.h"
#include "results/schema.h"

#include <charconv>
#include <istream>
#include <sstream>

namespace tb {

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
