// The experiment's state: one instance for the whole program, every number 0 at
// program start. The procedures of the simulation read and write it in place.
//
// Bodies are numbered 0, 1, 2 in the code and its comments: 0 and 1 are the
// pair, 2 is the third body. The windows and the fault messages number them
// from 1, so a few names keep the screen's numbering and stay as they are:
//   initv2   the field labelled "init v3" (Tinitv2): the third body's start speed
//   v3, r3   the third body's speed and distance (body 2 here)
//   dist12   the distance of the pair, bodies 0 and 1 (Tdist01 on the form)
//   m2, m3   on the form: mass[1] and mass[2]
// nstars is not a count: INITIALISE sets it to 3 (the number of bodies) and the
// driver lowers it at once to 2, the highest body number taking part; a
// collision lowers it to 1. Loops over the bodies in a test run i <= nstars.
#pragma once

#include "display/plot.h"
#include "sim/end_rules.h"

#include <cstdint>
#include <string>

namespace tb {

inline constexpr int kMaxBodies = 11; // per-body arrays hold bodies 0..10

struct SimState {
  // --- series and test control ---
  int stopflag = 0;  // 1: the user asked the running series to stop
  int lmesgidx = 0;  // result label for the next line, 0..18
  int64_t nstep = 0; // step counter: -1 in the look-back, 0 when stepping begins
  int nstars = 0;    // 3 after INITIALISE, then the highest body number (2, or 1 after a collision)
  EndCode endcode = EndCode::None;  // set when the test ends
  EndCode pendcode = EndCode::None; // an end found, adopted at a later revolution count
  int approached = 0;               // 1 once body 2 has come near the pair in this test
  int rev = 0;                      // revolutions of the pair counted in this test
  int showevery = 0;                // steps between display steps (100)
  int dir3 = 0;                     // sign factor of body 2's start velocity (1)

  // --- parameters and constants ---
  double pi = 0;       // 4 * arctangent(1), set at every Start
  double alpha = 0;    // angle of the current test, degrees
  double alphastr = 0; // start angle of the series
  double alphaend = 0; // end angle of the series
  float alphadeg = 0;  // alpha in single precision, less 360 once if >= 360; revolution reference
  double revref = 0;   // the direction the revolution count compares with (see INITIALISE)
  double alpharad = 0; // alphadeg in radians
  float initv2 = 0;    // body 2's start speed as a fraction of its escape speed
  double tdelta = 0;   // time step
  double gconst = 0;   // gravitational constant (1)
  double pairsep = 0;  // separation of bodies 0 and 1 at set-up (200)
  double r3start = 0;  // start distance of body 2 along x (500); approach/far reference
  double phi = 0;      // direction from body 0 to body 1, degrees, now
  double phiold = 0;   // the same one step earlier

  PlotWindow plot; // world window (xmin..ymax) and drawing-area pixels

  // --- per-body arrays, index = body number ---
  double mass[kMaxBodies] = {}; // mass(0) = 1000, mass(1) = m2, mass(2) = m3
  double xpos[kMaxBodies] = {}; // current position
  double ypos[kMaxBodies] = {};
  double vx[kMaxBodies] = {}; // velocity as set up; equal to vxstart while running
  double vy[kMaxBodies] = {};
  double xstart[kMaxBodies] = {}; // position and velocity at step 0
  double ystart[kMaxBodies] = {};
  double vxstart[kMaxBodies] = {};
  double vystart[kMaxBodies] = {};
  double vxnow[kMaxBodies] = {}; // current velocity (only body 2's is used)
  double vynow[kMaxBodies] = {};
  double ax[kMaxBodies] = {}; // acceleration of the current step, without the time step
  double ay[kMaxBodies] = {};
  double sumax[kMaxBodies] = {}; // running sums of ax, ay over the test
  double sumay[kMaxBodies] = {};
  double sum2ax[kMaxBodies] = {}; // running sums of sumax, sumay
  double sum2ay[kMaxBodies] = {};

  // --- pair tables, entry (i, j): body j as seen from body i ---
  double rsq[kMaxBodies][kMaxBodies] = {};   // squared distance
  double xdiff[kMaxBodies][kMaxBodies] = {}; // xpos(j) - xpos(i)
  double ydiff[kMaxBodies][kMaxBodies] = {}; // ypos(j) - ypos(i)
};

// Stores body i's acceleration of this step and adds it to the running sums,
// in this order: sumax, sumay, then the second sums from the updated first sums.
inline void addToRunningSums(SimState& s, int i, double ax, double ay) {
  s.ax[i] = ax;
  s.ay[i] = ay;
  s.sumax[i] = s.sumax[i] + ax;
  s.sumay[i] = s.sumay[i] + ay;
  s.sum2ax[i] = s.sum2ax[i] + s.sumax[i];
  s.sum2ay[i] = s.sum2ay[i] + s.sumay[i];
}

// Values of the test driver that live for a whole series.
struct SeriesLocals {
  double dalpha = 0; // angle step between tests
  uint32_t col0 = 0; // trail colours of bodies 0, 1 and 2
  uint32_t col1 = 0;
  uint32_t col2 = 0;
  double xcm = 0; // centre of mass of bodies 0 and 1
  double ycm = 0;
  double dist12 = 0;    // distance of bodies 0 and 1 now
  double dist12min = 0; // least and greatest dist12 of the test
  double dist12max = 0;
  double dist12sum = 0; // sum of dist12 over the steps of the test
  double tshown = 0;    // clock reading of the last read-out refresh
  float v3 = 0;         // speed of body 2 at the last display step
  float vesc = 0;       // its escape speed from the pair
  float v3max = 0;      // greatest v3 of the series
  double r1 = 0;        // distances of bodies 0, 1, 2 from (xcm, ycm)
  double r2 = 0;
  double r3 = 0;
  double rsqnear = 0;           // squared distance of body 2 to the nearer pair body
  int inear = 0;                // which pair body is nearer
  std::string resline;          // the result line under construction
  bool displayed = false;       // a display step of the running test has run
  bool readoutsWritten = false; // ... and has written the read-outs
};

} // namespace tb
