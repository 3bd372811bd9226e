// The names and colours of a map point's outcomes.
#include "maps/map_outcome.h"

#include "runtime/words.h"

namespace tb {

const char* MapOutcome::name() const {
  switch (kind_) {
  case Kind::Fault: return TB_WORDS("threebody", "fault");
  case Kind::NotYet: return TB_WORDS("threebody", "not yet");
  case Kind::Dropped: return TB_WORDS("threebody", "dropped");
  case Kind::TimeLimit: return TB_WORDS("threebody", "still running");
  case Kind::GaveUp: return TB_WORDS("threebody", "budget spent");
  case Kind::Ended: break;
  }
  return endName(end_);
}

uint32_t MapOutcome::colour() const {
  switch (kind_) {
  case Kind::Fault: return 0x000000;
  case Kind::NotYet:
  case Kind::Dropped: return 0xFFFFFF;
  case Kind::TimeLimit: return 0xB040A0; // purple
  case Kind::GaveUp: return 0x505050;    // dark grey
  case Kind::Ended: break;
  }
  switch (end_) {
  case EndCode::None: return 0x9E9E9E;           // grey
  case EndCode::Collision: return 0x2828D8;      // red
  case EndCode::Escaped: return 0xD88C28;        // blue
  case EndCode::FarBound: return 0x3CB43C;       // green
  case EndCode::TenRevolutions: return 0x1EAAF0; // orange
  }
  return 0x000000;
}

} // namespace tb
