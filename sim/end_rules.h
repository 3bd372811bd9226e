// How a test ends: the end codes and the thresholds of the third body's
// watch, named once for every engine (one test at a time, tests on vector
// lanes) and for the tools that read the codes back.
#pragma once

#include "runtime/words.h"

namespace tb {

// How a test ended. The numbers are the ones the result line's end field and
// the exports write.
enum class EndCode : int {
  None = 0,           // no end yet; a finished test that ends so was stopped by the user
  Collision = 1,      // the third body hit a body of the pair
  Escaped = 2,        // the third body went far away faster than its escape speed
  FarBound = 3,       // it went far away, but slower than its escape speed
  TenRevolutions = 4, // the pair turned ten times
};
inline constexpr int endNumber(EndCode c) { return static_cast<int>(c); }
inline constexpr int kEndCodes = 5; // end codes 0 to 4
// What a test's end is called in words ("collision", "escaped" ...).
inline constexpr const char* endName(EndCode c) {
  switch (c) {
  case EndCode::None: return TB_WORDS("threebody", "stopped");
  case EndCode::Collision: return TB_WORDS("threebody", "collision");
  case EndCode::Escaped: return TB_WORDS("threebody", "escaped");
  case EndCode::FarBound: return TB_WORDS("threebody", "far but bound");
  case EndCode::TenRevolutions: return TB_WORDS("threebody", "ten revolutions");
  }
  return "";
}

// The third body has approached the pair once the squared distance to its
// nearer body is below nearLimit; it is far once it is beyond farLimit again.
// Both are computed as written, (factor * r3start) * r3start, so that every
// engine compares with the same bits.
inline constexpr double kNearFactor = 0.5;
inline constexpr double kFarFactor = 2.5;
inline double nearLimit(double r3start) { return kNearFactor * r3start * r3start; }
inline double farLimit(double r3start) { return kFarFactor * r3start * r3start; }

// A collision: the squared distance to the nearer body of the pair below this.
inline constexpr double kCollisionRsq = 10;

} // namespace tb
