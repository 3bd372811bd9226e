#include "apps/export.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace tb {

std::string jsonString(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
    case '"': out += "\\\""; break;
    case '\\': out += "\\\\"; break;
    case '\n': out += "\\n"; break;
    case '\r': out += "\\r"; break;
    case '\t': out += "\\t"; break;
    default:
      if (c < 0x20) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\u%04x", c);
        out += buf;
      } else {
        out += static_cast<char>(c);
      }
    }
  }
  return out + "\"";
}

namespace {
template <typename T> std::string shortest(T v) {
  if (!std::isfinite(v)) return "null";
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}
} // namespace

std::string jsonNumber(double v) { return shortest(v); }
std::string jsonNumber(float v) { return shortest(v); }

namespace {
std::string optionalNumber(const std::optional<double>& v, const char* none) {
  return v ? jsonNumber(*v) : none;
}
} // namespace

std::string testToJson(const ExportedTest& t) {
  const TestReport& r = t.report;
  std::string o = "{";
  o += "\"line\":" + jsonString(r.line);
  o += ",\"alpha\":" + jsonNumber(r.alpha);
  o += ",\"steps\":" + std::to_string(r.steps);
  o += ",\"revolutions\":" + std::to_string(r.revolutions);
  o += ",\"end\":" + std::to_string(r.end);
  o += ",\"v3\":" + jsonNumber(r.v3);
  o += ",\"vesc\":" + jsonNumber(r.vesc);
  o += ",\"r3\":" + jsonNumber(r.r3);
  o += ",\"dist12min\":" + jsonNumber(r.dist12min);
  o += ",\"dist12mean\":" + jsonNumber(r.dist12mean);
  o += ",\"dist12max\":" + jsonNumber(r.dist12max);
  o += ",\"time\":" + jsonNumber(r.time);
  o += ",\"energy_drift\":" + optionalNumber(r.energyDrift, "null");
  o += ",\"angular_momentum_drift\":" + optionalNumber(r.angularMomentumDrift, "null");
  if (t.verdict != Verdict::None)
    o += std::string(",\"stable\":") +
         (t.verdict == Verdict::Same ? "true" : t.verdict == Verdict::Differs ? "false" : "null");
  o += ",\"readouts\":{";
  for (size_t i = 0; i < t.readouts.size(); ++i) {
    if (i) o += ",";
    o += jsonString(t.readouts[i].first) + ":" + jsonString(t.readouts[i].second);
  }
  o += "}}";
  return o;
}

std::string csvHeader(bool withStable) {
  return std::string("alpha,steps,revolutions,end,v3,vesc,r3,dist12min,dist12mean,dist12max,time,"
                     "energy_drift,angular_momentum_drift,line") +
         (withStable ? ",stable" : "");
}

std::string testsToCsv(const std::vector<TestReport>& tests) {
  std::string csv = csvHeader() + "\n";
  for (const auto& t : tests)
    csv += testToCsvRow(t) + "\n";
  return csv;
}

std::string testToCsvRow(const TestReport& r, Verdict verdict) {
  std::string line = "\"";
  for (char c : r.line) {
    if (c == '"') line += '"';
    line += c;
  }
  line += "\"";
  return jsonNumber(r.alpha) + "," + std::to_string(r.steps) + "," + std::to_string(r.revolutions) + "," +
         std::to_string(r.end) + "," + jsonNumber(r.v3) + "," + jsonNumber(r.vesc) + "," + jsonNumber(r.r3) +
         "," + jsonNumber(r.dist12min) + "," + jsonNumber(r.dist12mean) + "," + jsonNumber(r.dist12max) +
         "," + jsonNumber(r.time) + "," + optionalNumber(r.energyDrift, "") + "," +
         optionalNumber(r.angularMomentumDrift, "") + "," + line +
         (verdict == Verdict::None        ? ""
          : verdict == Verdict::Same      ? ",true"
          : verdict == Verdict::Differs   ? ",false"
                                          : ",");
}

} // namespace tb
