// The integration stages specialised for three bodies. Every value comes out
// bit for bit as in the general stages of loop.cpp: IEEE division and square
// root give the same bits in the two lanes of an SSE2 register as in scalar
// code, and every operation keeps its operands and order.
#include "runtime/numeric.h"
#include "sim/experiment.h"
#include "sim/lane_block.h"

#include <cmath>
#include <emmintrin.h>
#include <limits>

namespace tb {

namespace {

// A direction's pseudo-angle: 0 to 4 around the circle, strictly increasing
// with the angle ANGLE gives (same quadrant rules, same zero conventions).
inline double pseudoAngle(double dx, double dy) {
  if (dx == 0 && dy == 0) return 0;
  if (dy >= 0) {
    if (dx > 0) return dy / (dx + dy);
    if (dx == 0) return 1;
    return 1 + (-dx) / (dy - dx);
  }
  if (dx < 0) return 2 + (-dy) / (-dx - dy);
  if (dx == 0) return 3;
  return 3 + dx / (dx - dy);
}

constexpr double kMargin = lanes::kPseudoAngleMargin;

} // namespace

void Experiment::loadLanes() {
  const SimState& s = s_;
  Lanes& l = lanes_;
  for (int i = 0; i < 3; ++i) {
    l.pos[i][0] = s.xpos[i], l.pos[i][1] = s.ypos[i];
    l.start[i][0] = s.xstart[i], l.start[i][1] = s.ystart[i];
    l.v0[i][0] = s.vxstart[i], l.v0[i][1] = s.vystart[i];
    l.v[i][0] = s.vx[i], l.v[i][1] = s.vy[i];
    l.acc[i][0] = s.ax[i], l.acc[i][1] = s.ay[i];
    l.sum[i][0] = s.sumax[i], l.sum[i][1] = s.sumay[i];
    l.sum2[i][0] = s.sum2ax[i], l.sum2[i][1] = s.sum2ay[i];
    for (int j = 0; j < 3; ++j)
      l.diff[i][j][0] = s.xdiff[i][j], l.diff[i][j][1] = s.ydiff[i][j];
    const int j1 = i == 0 ? 1 : 0;
    const int j2 = i == 2 ? 1 : 2;
    l.gm[i][0] = s.gconst * s.mass[j1];
    l.gm[i][1] = s.gconst * s.mass[j2];
    l.rsq[i][0] = s.rsq[i][j1];
    l.rsq[i][1] = s.rsq[i][j2];
  }
}

// The one place where the state catches up with the three-body stages: the
// accelerations, running sums and pair differences they keep in lanes, and
// the direction phi they compute only near the reference. Whatever reads the
// state outside those stages comes through here first: the display step, the
// general stages, a fault, the end of a test, and state() for every caller
// outside the engine.
void Experiment::syncState() {
  ensurePhiExact();
  if (!lanesAhead_) return;
  SimState& s = s_;
  const Lanes& l = lanes_;
  for (int i = 0; i < 3; ++i) {
    s.ax[i] = l.acc[i][0], s.ay[i] = l.acc[i][1];
    s.sumax[i] = l.sum[i][0], s.sumay[i] = l.sum[i][1];
    s.sum2ax[i] = l.sum2[i][0], s.sum2ay[i] = l.sum2[i][1];
    for (int j = 0; j < 3; ++j)
      if (j != i) s.xdiff[i][j] = l.diff[i][j][0], s.ydiff[i][j] = l.diff[i][j][1];
  }
  lanesAhead_ = false;
}

// From here the lanes are ahead of the state until syncState. Builds that
// check for stale reads fill the state's copies with NaN meanwhile, so a read
// that skipped syncState shows in every result.
void Experiment::lanesGoAhead() {
  lanesAhead_ = true;
#ifdef THREEBODY_CHECK_STALE
  constexpr double stale = std::numeric_limits<double>::quiet_NaN();
  for (int i = 0; i < 3; ++i) {
    s_.ax[i] = s_.ay[i] = s_.sumax[i] = s_.sumay[i] = s_.sum2ax[i] = s_.sum2ay[i] = stale;
    for (int j = 0; j < 3; ++j)
      if (j != i) s_.xdiff[i][j] = s_.ydiff[i][j] = stale;
  }
  if (!watch_.exact) s_.phi = stale;
#endif
}

void Experiment::accelerationsThree() {
  if (!lanesAhead_) lanesGoAhead();
  const SimState& s = s_;
  Lanes& l = lanes_;
  for (int i = 0; i < 3; ++i) {
    if (s.mass[i] < 0) {
      // Not accelerated: zero acceleration, the running sums stay as they are.
      _mm_store_pd(l.acc[i], _mm_setzero_pd());
      continue;
    }
    const int j1 = i == 0 ? 1 : 0;
    const int j2 = i == 2 ? 1 : 2;
    // Lane 0 belongs to body j1, lane 1 to body j2.
    __m128d r2 = _mm_load_pd(l.rsq[i]);
    __m128d f = _mm_div_pd(_mm_load_pd(l.gm[i]), r2);
    __m128d r = _mm_sqrt_pd(r2);
    // Then per other body: (xdiff, ydiff) * f / r, x and y side by side.
    __m128d t1 =
        _mm_div_pd(_mm_mul_pd(_mm_load_pd(l.diff[i][j1]), _mm_unpacklo_pd(f, f)), _mm_unpacklo_pd(r, r));
    __m128d t2 =
        _mm_div_pd(_mm_mul_pd(_mm_load_pd(l.diff[i][j2]), _mm_unpackhi_pd(f, f)), _mm_unpackhi_pd(r, r));
    __m128d a = _mm_add_pd(_mm_add_pd(_mm_setzero_pd(), t1), t2);
    if (!bothFinite(_mm_cvtsd_f64(a), _mm_cvtsd_f64(_mm_unpackhi_pd(a, a)))) [[unlikely]]
      stepFault("acceleration");
    // The running sums in their order: first sums, then second sums from them.
    __m128d sum = _mm_add_pd(_mm_load_pd(l.sum[i]), a);
    _mm_store_pd(l.acc[i], a);
    _mm_store_pd(l.sum[i], sum);
    _mm_store_pd(l.sum2[i], _mm_add_pd(_mm_load_pd(l.sum2[i]), sum));
  }
}

void Experiment::advancePositionsThree() {
  SimState& s = s_;
  Lanes& l = lanes_;
  const __m128d dt = _mm_set1_pd(s.tdelta);
  const __m128d n = _mm_set1_pd(static_cast<double>(s.nstep));
  __m128d p[3] = {_mm_load_pd(l.pos[0]), _mm_load_pd(l.pos[1]), _mm_load_pd(l.pos[2])};
  for (int i = 0; i < 3; ++i) {
    __m128d q = _mm_add_pd(_mm_load_pd(l.start[i]),
                           _mm_mul_pd(dt, _mm_add_pd(_mm_mul_pd(n, _mm_load_pd(l.v0[i])),
                                                     _mm_mul_pd(dt, _mm_load_pd(l.sum2[i])))));
    q = _mm_add_pd(q, _mm_mul_pd(_mm_load_pd(l.v[i]), dt));
    if (!bothFinite(_mm_cvtsd_f64(q), _mm_cvtsd_f64(_mm_unpackhi_pd(q, q)))) [[unlikely]]
      stepFault("position update");
    _mm_store_pd(l.pos[i], q);
    _mm_storel_pd(&s.xpos[i], q);
    _mm_storeh_pd(&s.ypos[i], q);
    p[i] = q;
    // Row i: the new position of body i against the others as they stand.
    const int j1 = i == 0 ? 1 : 0;
    const int j2 = i == 2 ? 1 : 2;
    __m128d d1 = _mm_sub_pd(p[j1], q);
    __m128d d2 = _mm_sub_pd(p[j2], q);
    __m128d sq1 = _mm_mul_pd(d1, d1);
    __m128d sq2 = _mm_mul_pd(d2, d2);
    // (dx1 * dx1 + dy1 * dy1, dx2 * dx2 + dy2 * dy2)
    __m128d r2 = _mm_add_pd(_mm_unpacklo_pd(sq1, sq2), _mm_unpackhi_pd(sq1, sq2));
    if (!bothFinite(_mm_cvtsd_f64(r2), _mm_cvtsd_f64(_mm_unpackhi_pd(r2, r2)))) [[unlikely]]
      stepFault("distance");
    _mm_store_pd(l.diff[i][j1], d1);
    _mm_store_pd(l.diff[i][j2], d2);
    _mm_store_pd(l.rsq[i], r2);
    _mm_storel_pd(&s.rsq[i][j1], r2);
    _mm_storeh_pd(&s.rsq[i][j2], r2);
  }
}

void Experiment::startAngleWatch() {
  AngleWatch& w = watch_;
  w.dx = s_.xpos[1] - s_.xpos[0];
  w.dy = s_.ypos[1] - s_.ypos[0];
  w.p = pseudoAngle(w.dx, w.dy);
  w.exact = false;
  ensurePhiExact();
  const double ref = static_cast<double>(s_.alphadeg);
  if (ref >= 360) {
    w.pref = 4 + (ref - 360) / 90; // above every direction ANGLE can give
  } else {
    double r = ref * s_.pi / 180;
    w.pref = ref == 0 ? 0 : pseudoAngle(std::cos(r), std::sin(r));
  }
}

void Experiment::ensurePhiExact() {
  if (watch_.exact) return;
  s_.phi = angleOf(watch_.dx, watch_.dy, s_.pi);
  watch_.exact = true;
}

void Experiment::countRevolutionsLazy() {
  AngleWatch& w = watch_;
  w.pdx = w.dx;
  w.pdy = w.dy;
  w.pp = w.p;
  w.pexact = w.exact;
  w.pphi = s_.phi;
  w.dx = s_.xpos[1] - s_.xpos[0];
  w.dy = s_.ypos[1] - s_.ypos[0];
  w.p = pseudoAngle(w.dx, w.dy);
  w.exact = false;

  const double ref = static_cast<double>(s_.alphadeg);
  if (ref == 0) {
    // Counted when the direction wraps past 0: with both directions clear of
    // the wrap, that is exactly when it went down.
    bool inside = w.p > kMargin && w.p < 4 - kMargin && w.pp > kMargin && w.pp < 4 - kMargin;
    if (inside && std::fabs(w.p - w.pp) > kMargin) {
      if (w.pp > w.p) countRevolution();
      return;
    }
  } else {
    bool below = w.p < w.pref - kMargin;     // phi < ref for certain
    bool above = w.p > w.pref + kMargin;     // phi > ref for certain
    bool oldAbove = w.pp > w.pref + kMargin; // phiold > ref for certain
    bool oldBelow = w.pp < w.pref - kMargin;
    if (below || oldAbove) return;
    if (above && oldBelow) {
      countRevolution();
      return;
    }
  }
  countRevolutionExact();
}

// Near the reference or the wrap: the exact comparisons on ANGLE's values.
void Experiment::countRevolutionExact() {
  const AngleWatch& w = watch_;
  const double ref = static_cast<double>(s_.alphadeg);
  s_.phiold = w.pexact ? w.pphi : angleOf(w.pdx, w.pdy, s_.pi);
  ensurePhiExact();
  if (s_.phiold > s_.phi && ref == 0) s_.phiold = s_.phiold - 360;
  if (s_.phi > ref && ref > s_.phiold) countRevolution();
}

} // namespace tb
