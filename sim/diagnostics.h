// Read-only checks of the integration: the three bodies' total energy and
// angular momentum (G = 1). They never feed back into the state.
#pragma once

#include "sim/state.h"

namespace tb {

struct Conserved {
  double energy = 0;          // kinetic plus potential
  double angularMomentum = 0; // about the world origin
};

// At step 0 of a test: start positions and velocities.
Conserved conservedAtStart(const SimState& s);
// Now: current positions, velocities as the display step forms them.
Conserved conservedNow(const SimState& s);

} // namespace tb
