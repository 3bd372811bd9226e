// How one point of an outcome map came out, with its name and colour: an end
// code, a fault, not computed yet, or dropped (the work stopped before it);
// in a physical map also no end by the reference's time limit, or its step
// budget spent before an end (close passes it cannot follow).
#pragma once

#include "sim/end_rules.h"

#include <cstdint>

namespace tb {

class MapOutcome {
public:
  enum class Kind : uint8_t { Ended, Fault, NotYet, Dropped, TimeLimit, GaveUp };

  static constexpr MapOutcome ended(EndCode c) { return MapOutcome(Kind::Ended, c); }
  static constexpr MapOutcome fault() { return MapOutcome(Kind::Fault, EndCode::None); }
  static constexpr MapOutcome notYet() { return MapOutcome(Kind::NotYet, EndCode::None); }
  static constexpr MapOutcome dropped() { return MapOutcome(Kind::Dropped, EndCode::None); }
  static constexpr MapOutcome timeLimit() { return MapOutcome(Kind::TimeLimit, EndCode::None); }
  static constexpr MapOutcome gaveUp() { return MapOutcome(Kind::GaveUp, EndCode::None); }

  constexpr Kind kind() const { return kind_; }
  constexpr EndCode end() const { return end_; } // EndCode::None unless kind() is Ended
  constexpr bool operator==(const MapOutcome&) const = default;

  // A dense number for counting and sending: the end codes 0 to 4, then a
  // fault (kEndCodes), not yet, dropped, the time limit and the step budget.
  static constexpr int kSlots = kEndCodes + 5;
  constexpr int slot() const {
    return kind_ == Kind::Ended ? endNumber(end_) : kEndCodes + static_cast<int>(kind_) - 1;
  }
  static constexpr MapOutcome fromSlot(int s) {
    return s >= 0 && s < kEndCodes ? ended(static_cast<EndCode>(s))
           : s == kEndCodes        ? fault()
           : s == kEndCodes + 1    ? notYet()
           : s == kEndCodes + 3    ? timeLimit()
           : s == kEndCodes + 4    ? gaveUp()
                                   : dropped();
  }

  // What the picture's legend and the summary call it.
  const char* name() const;
  // The picture's colour before shading, red in bits 0-7: white while not
  // yet computed, black for a fault.
  uint32_t colour() const;

private:
  constexpr MapOutcome(Kind k, EndCode c) : kind_(k), end_(c) {}
  Kind kind_;
  EndCode end_;
};

// The outcomes a finished map shows, in the legend's order: collision first,
// stopped and fault last.
inline constexpr MapOutcome kLegendOutcomes[] = {
    MapOutcome::ended(EndCode::Collision), MapOutcome::ended(EndCode::Escaped),
    MapOutcome::ended(EndCode::FarBound),  MapOutcome::ended(EndCode::TenRevolutions),
    MapOutcome::ended(EndCode::None),      MapOutcome::fault()};
// A physical map's: no point is stopped, but some may have no end by the
// time limit or have spent the step budget.
inline constexpr MapOutcome kPhysicalLegendOutcomes[] = {MapOutcome::ended(EndCode::Collision),
                                                         MapOutcome::ended(EndCode::Escaped),
                                                         MapOutcome::ended(EndCode::FarBound),
                                                         MapOutcome::ended(EndCode::TenRevolutions),
                                                         MapOutcome::timeLimit(),
                                                         MapOutcome::gaveUp(),
                                                         MapOutcome::fault()};

} // namespace tb
