// The integration stages specialised for three bodies. Every value comes out
// bit for bit as in the general stages of loop.cpp: IEEE division and square
// root give the same bits in the two lanes of an SSE2 register as in scalar
// code, and every operation keeps its operands and order.
#include "runtime/numeric.h"
#include "sim/experiment.h"

#include <cmath>
#include <emmintrin.h>

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

// A pseudo-angle difference beyond this margin cannot be reversed by the
// rounding of ANGLE's arctangent (its error is some 1e-13 degrees; the margin
// is about 1e-7 degrees).
constexpr double kMargin = 1e-9;

} // namespace

void Experiment::accelerationsThree() {
  SimState& s = s_;
  for (int i = 0; i < 3; ++i) {
    s.ax[i] = 0;
    s.ay[i] = 0;
    if (s.mass[i] < 0) continue;
    const int j1 = i == 0 ? 1 : 0;
    const int j2 = i == 2 ? 1 : 2;
    // Lane 0 belongs to body j1, lane 1 to body j2.
    __m128d r2 = _mm_set_pd(s.rsq[i][j2], s.rsq[i][j1]);
    __m128d gm = _mm_set_pd(s.gconst * s.mass[j2], s.gconst * s.mass[j1]);
    __m128d f = _mm_div_pd(gm, r2);
    __m128d r = _mm_sqrt_pd(r2);
    // Then per other body: (xdiff, ydiff) * f / r, x and y side by side.
    __m128d d1 = _mm_set_pd(s.ydiff[i][j1], s.xdiff[i][j1]);
    __m128d d2 = _mm_set_pd(s.ydiff[i][j2], s.xdiff[i][j2]);
    __m128d t1 = _mm_div_pd(_mm_mul_pd(d1, _mm_unpacklo_pd(f, f)), _mm_unpacklo_pd(r, r));
    __m128d t2 = _mm_div_pd(_mm_mul_pd(d2, _mm_unpackhi_pd(f, f)), _mm_unpackhi_pd(r, r));
    __m128d a = _mm_add_pd(_mm_add_pd(_mm_setzero_pd(), t1), t2);
    double ax = _mm_cvtsd_f64(a);
    double ay = _mm_cvtsd_f64(_mm_unpackhi_pd(a, a));
    if (!bothFinite(ax, ay)) [[unlikely]]
      stepFault("acceleration");
    addToRunningSums(s, i, ax, ay);
  }
}

void Experiment::advancePositionsThree() {
  SimState& s = s_;
  const __m128d dt = _mm_set1_pd(s.tdelta);
  const __m128d n = _mm_set1_pd(static_cast<double>(s.nstep));
  __m128d p[3];
  for (int i = 0; i < 3; ++i)
    p[i] = _mm_set_pd(s.ypos[i], s.xpos[i]);
  for (int i = 0; i < 3; ++i) {
    __m128d start = _mm_set_pd(s.ystart[i], s.xstart[i]);
    __m128d v0 = _mm_set_pd(s.vystart[i], s.vxstart[i]);
    __m128d s2 = _mm_set_pd(s.sum2ay[i], s.sum2ax[i]);
    __m128d v = _mm_set_pd(s.vy[i], s.vx[i]);
    __m128d q = _mm_add_pd(start, _mm_mul_pd(dt, _mm_add_pd(_mm_mul_pd(n, v0), _mm_mul_pd(dt, s2))));
    q = _mm_add_pd(q, _mm_mul_pd(v, dt));
    double x = _mm_cvtsd_f64(q);
    double y = _mm_cvtsd_f64(_mm_unpackhi_pd(q, q));
    if (!bothFinite(x, y)) [[unlikely]]
      stepFault("position update");
    s.xpos[i] = x;
    s.ypos[i] = y;
    p[i] = q;
    // Row i: the new position of body i against the others as they stand.
    for (int j = 0; j < 3; ++j) {
      if (j == i) continue;
      __m128d d = _mm_sub_pd(p[j], q);
      __m128d sq = _mm_mul_pd(d, d);
      double dx = _mm_cvtsd_f64(d);
      double dy = _mm_cvtsd_f64(_mm_unpackhi_pd(d, d));
      double r2 = _mm_cvtsd_f64(sq) + _mm_cvtsd_f64(_mm_unpackhi_pd(sq, sq));
      if (!std::isfinite(r2)) [[unlikely]]
        stepFault("distance");
      s.rsq[i][j] = r2;
      s.xdiff[i][j] = dx;
      s.ydiff[i][j] = dy;
    }
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
  // Near the reference or the wrap: the exact comparisons on ANGLE's values.
  s_.phiold = w.pexact ? w.pphi : angleOf(w.pdx, w.pdy, s_.pi);
  ensurePhiExact();
  if (s_.phiold > s_.phi && ref == 0) s_.phiold = s_.phiold - 360;
  if (s_.phi > ref && ref > s_.phiold) countRevolution();
}

} // namespace tb
