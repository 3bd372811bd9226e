// The passes of the main loop for up to eight tests at once, one test per
// vector lane, compiled for every instruction set the processor may have;
// the widest the processor runs is chosen when the program runs.
//
// Every lane performs the operations of the three-body stages (fast_three.cpp
// and loop.cpp) on the same operands in the same order: IEEE addition,
// subtraction, multiplication, division and square root give the same bits
// in any lane as in scalar code, and nothing is fused or reassociated. What
// happens in few passes (a revolution near the reference direction, a
// collision, a display step, a fault, the stop step) is only detected here
// and left to the driver, which hands it to the test's own experiment.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "sim/lane_kernel.cpp"
#include <hwy/foreach_target.h> // IWYU pragma: keep

#include "sim/end_rules.h"
#include "sim/lane_block.h"
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace tb::lanes {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using D = hn::CappedTag<double, kMaxLanes>;
using V = hn::Vec<D>;
using M = hn::Mask<D>;

HWY_INLINE V load(const Lane& a) { return hn::Load(D(), a); }
HWY_INLINE void store(V v, Lane& a) { hn::Store(v, D(), a); }

HWY_INLINE uint32_t laneBits(M m) {
  uint8_t bits[8] = {};
  hn::StoreMaskBits(D(), m, bits);
  return bits[0];
}

// The lanes of `bad` that had no fault yet in this pass take this one: its
// stage, and the pair table as it stands (rows already stored this pass are
// new, the others old, as in the one-at-a-time engine at that point).
HWY_NOINLINE void noteFault(const Block& b, Events& ev, uint32_t bad, const char* stage) {
  bad &= ~ev.fault;
  for (int k = 0; k < kMaxLanes; ++k) {
    if (!(bad >> k & 1u)) continue;
    ev.fault |= 1u << k;
    ev.faultStage[k] = stage;
    for (int i = 0; i < 3; ++i)
      for (int o = 0; o < 2; ++o)
        ev.faultRsq[k][i][o] = b.rsq[i][o][k];
  }
}

// Accelerations from the pair tables, into the running sums. A body of
// negative mass is not accelerated: zero acceleration, sums unchanged.
HWY_INLINE void accelerations(Block& b, Events& ev, uint32_t active) {
  const D d;
  const V zero = hn::Zero(d);
  for (int i = 0; i < 3; ++i) {
    const M moves = hn::Ne(load(b.accelerated[i]), zero);
    const V r2a = load(b.rsq[i][0]), r2b = load(b.rsq[i][1]);
    const V fa = load(b.gm[i][0]) / r2a;
    const V ra = hn::Sqrt(r2a);
    const V fb = load(b.gm[i][1]) / r2b;
    const V rb = hn::Sqrt(r2b);
    V a[2];
    for (int c = 0; c < 2; ++c)
      a[c] = (zero + (load(b.diff[i][0][c]) * fa) / ra) + (load(b.diff[i][1][c]) * fb) / rb;
    const M finite = hn::And(hn::IsFinite(a[0]), hn::IsFinite(a[1]));
    const M bad = hn::AndNot(finite, moves);
    if (!hn::AllFalse(d, bad)) [[unlikely]] {
      if (uint32_t lanes = laneBits(bad) & active) noteFault(b, ev, lanes, "acceleration");
    }
    for (int c = 0; c < 2; ++c) {
      const V sum = load(b.sum[i][c]) + a[c];
      store(hn::IfThenElseZero(moves, a[c]), b.acc[i][c]);
      store(hn::IfThenElse(moves, sum, load(b.sum[i][c])), b.sum[i][c]);
      store(hn::IfThenElse(moves, load(b.sum2[i][c]) + sum, load(b.sum2[i][c])), b.sum2[i][c]);
    }
  }
}

// Positions rebuilt from the start values and the double sums, each body's
// row of the pair table right after its own position, against the others as
// they stand.
HWY_INLINE void advancePositions(Block& b, Events& ev, uint32_t active, V n) {
  const D d;
  const V dt = load(b.tdelta);
  for (int i = 0; i < 3; ++i) {
    V q[2];
    for (int c = 0; c < 2; ++c) {
      q[c] = load(b.start[i][c]) + dt * (n * load(b.v0[i][c]) + dt * load(b.sum2[i][c]));
      q[c] = q[c] + load(b.v[i][c]) * dt;
    }
    const M finite = hn::And(hn::IsFinite(q[0]), hn::IsFinite(q[1]));
    if (!hn::AllTrue(d, finite)) [[unlikely]] {
      if (uint32_t lanes = laneBits(hn::Not(finite)) & active) noteFault(b, ev, lanes, "position update");
    }
    store(q[0], b.pos[i][0]);
    store(q[1], b.pos[i][1]);
    V diff[2][2], r2[2];
    for (int o = 0; o < 2; ++o) {
      const int j = otherBody(i, o);
      for (int c = 0; c < 2; ++c)
        diff[o][c] = load(b.pos[j][c]) - q[c];
      r2[o] = diff[o][0] * diff[o][0] + diff[o][1] * diff[o][1];
    }
    const M sane = hn::And(hn::IsFinite(r2[0]), hn::IsFinite(r2[1]));
    if (!hn::AllTrue(d, sane)) [[unlikely]] {
      if (uint32_t lanes = laneBits(hn::Not(sane)) & active) noteFault(b, ev, lanes, "distance");
    }
    for (int o = 0; o < 2; ++o) {
      store(diff[o][0], b.diff[i][o][0]);
      store(diff[o][1], b.diff[i][o][1]);
      store(r2[o], b.rsq[i][o]);
    }
  }
}

// The pair's distance: its sum over the test, least and greatest.
HWY_INLINE void distanceStatistics(Block& b) {
  const V d12 = hn::Sqrt(load(b.rsq[0][0]));
  store(load(b.dist12sum) + d12, b.dist12sum);
  const V lo = load(b.dist12min), hi = load(b.dist12max);
  store(hn::IfThenElse(hn::Lt(d12, lo), d12, lo), b.dist12min);
  store(hn::IfThenElse(hn::Gt(d12, hi), d12, hi), b.dist12max);
}

// The pseudo-angle of a direction, 0 to 4 around the circle, strictly
// increasing with the angle ANGLE gives.
HWY_INLINE V pseudoAngle(V dx, V dy) {
  const D d;
  const V zero = hn::Zero(d), one = hn::Set(d, 1.0);
  const M up = hn::Ge(dy, zero), right = hn::Gt(dx, zero), left = hn::Lt(dx, zero);
  // dy >= 0: dy / (dx + dy); 1; 1 + (-dx) / (dy - dx)
  const V numUp = hn::IfThenElse(right, dy, hn::IfThenElseZero(left, hn::Neg(dx)));
  const V denUp = hn::IfThenElse(right, dx + dy, hn::IfThenElse(left, dy - dx, one));
  const V offUp = hn::IfThenElseZero(hn::Not(right), one);
  // dy < 0: 2 + (-dy) / (-dx - dy); 3; 3 + dx / (dx - dy)
  const V numDown = hn::IfThenElse(left, hn::Neg(dy), hn::IfThenElseZero(right, dx));
  const V denDown = hn::IfThenElse(left, hn::Neg(dx) - dy, hn::IfThenElse(right, dx - dy, one));
  const V offDown = hn::IfThenElse(left, hn::Set(d, 2.0), hn::Set(d, 3.0));
  const M origin = hn::And(hn::Eq(dx, zero), hn::Eq(dy, zero));
  const V off = hn::IfThenElseZero(hn::Not(origin), hn::IfThenElse(up, offUp, offDown));
  return off + hn::IfThenElse(up, numUp, numDown) / hn::IfThenElse(up, denUp, denDown);
}

// The revolution count's decision by pseudo-angles; lanes too near the
// reference (or the wrap, for reference 0) to decide are left to the exact
// comparison.
HWY_INLINE void countRevolutions(Block& b, Events& ev, uint32_t active) {
  const D d;
  const V m = hn::Set(d, kPseudoAngleMargin);
  const V dx = load(b.pos[1][0]) - load(b.pos[0][0]);
  const V dy = load(b.pos[1][1]) - load(b.pos[0][1]);
  const V p = pseudoAngle(dx, dy), pp = load(b.p);
  store(load(b.dx), b.pdx);
  store(load(b.dy), b.pdy);
  store(pp, b.pp);
  store(dx, b.dx);
  store(dy, b.dy);
  store(p, b.p);
  // Reference 0: counted when the direction wraps past 0.
  const V four = hn::Set(d, 4.0);
  const M inside =
      hn::And(hn::And(hn::Gt(p, m), hn::Lt(p, four - m)), hn::And(hn::Gt(pp, m), hn::Lt(pp, four - m)));
  const M clear = hn::And(inside, hn::Gt(hn::Abs(p - pp), m));
  const M down = hn::Gt(pp, p);
  const M yesZero = hn::And(clear, down);
  const M noZero = hn::AndNot(down, clear);
  // Any other reference: counted when the direction passes it going up.
  const V pref = load(b.pref);
  const M below = hn::Lt(p, pref - m), above = hn::Gt(p, pref + m);
  const M oldAbove = hn::Gt(pp, pref + m), oldBelow = hn::Lt(pp, pref - m);
  const M no = hn::Or(below, oldAbove);
  const M yes = hn::AndNot(no, hn::And(above, oldBelow));
  const M refZero = hn::Ne(load(b.refZero), hn::Zero(d));
  const M counted = hn::Or(hn::And(refZero, yesZero), hn::AndNot(refZero, yes));
  const M notCounted = hn::Or(hn::And(refZero, noZero), hn::AndNot(refZero, no));
  const M decided = hn::Or(counted, notCounted);
  if (!hn::AllTrue(d, decided) || !hn::AllFalse(d, counted)) [[unlikely]] {
    ev.revCount = laneBits(counted) & active;
    ev.revExact = laneBits(hn::Not(decided)) & active;
  }
}

// The third body's approach, its distance far out (the pending end code),
// and a collision, which the driver handles.
HWY_INLINE void watchThirdBody(Block& b, Events& ev, uint32_t active) {
  const D d;
  const V zero = hn::Zero(d);
  const V toBody0 = load(b.rsq[2][0]), toBody1 = load(b.rsq[2][1]);
  const V rsqnear = hn::IfThenElse(hn::Lt(toBody1, toBody0), toBody1, toBody0);
  const M approached = hn::Ne(load(b.approached), zero);
  const M arrives = hn::Lt(rsqnear, load(b.nearLimit));
  store(hn::IfThenElse(hn::Or(approached, arrives), hn::Set(d, 1.0), zero), b.approached);
  const V pend = load(b.pendcode);
  store(pend, b.pendBefore);
  const M far = hn::And(approached, hn::Gt(rsqnear, load(b.farLimit)));
  const M slower = hn::Ne(load(b.slower), zero);
  const V farCode = hn::IfThenElse(slower, hn::Set(d, static_cast<double>(endNumber(EndCode::FarBound))),
                                   hn::Set(d, static_cast<double>(endNumber(EndCode::Escaped))));
  store(hn::IfThenElse(far, farCode, pend), b.pendcode);
  const M hit = hn::And(approached, hn::Lt(rsqnear, hn::Set(d, kCollisionRsq)));
  if (!hn::AllFalse(d, hit)) [[unlikely]]
    ev.collision = laneBits(hit) & active;
}

int64_t Passes(Block& b, int64_t maxPasses, Events& ev) {
  const D d;
  const uint32_t active = laneBits(hn::Ne(load(b.active), hn::Zero(d)));
  ev.clear();
  for (int64_t pass = 1; pass <= maxPasses; ++pass) {
    const V n = load(b.nstep) + hn::Set(d, 1.0);
    store(n, b.nstep);
    accelerations(b, ev, active);
    advancePositions(b, ev, active, n);
    distanceStatistics(b);
    countRevolutions(b, ev, active);
    watchThirdBody(b, ev, active);
    const V next = load(b.nextShow);
    const M show = hn::Eq(n, next);
    const M stop = hn::Eq(n, load(b.stopAt));
    if (!hn::AllFalse(d, hn::Or(show, stop))) [[unlikely]] {
      store(hn::IfThenElse(show, next + load(b.showevery), next), b.nextShow);
      ev.display = laneBits(show) & active;
      ev.stop = laneBits(stop) & active;
    }
    if (ev.any()) return pass;
  }
  return maxPasses;
}

Kernel MakeKernel() { return Kernel{static_cast<int>(hn::Lanes(D())), hwy::TargetName(HWY_TARGET), &Passes}; }

} // namespace HWY_NAMESPACE
} // namespace tb::lanes
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include <mutex>

namespace tb::lanes {

HWY_EXPORT(MakeKernel);

namespace {

struct KernelTable {
  Kernel all[kMaxLanes];
  int count = 0;
  Kernel best;
};

// The kernel of each lane count, from the best instruction set that has it.
// Built once; picking each instruction set in turn goes through Highway's
// dispatch, which is then given back its own choice.
const KernelTable& table() {
  static const KernelTable t = [] {
    KernelTable t;
    t.best = HWY_DYNAMIC_DISPATCH(MakeKernel)();
    for (int64_t target : hwy::SupportedAndGeneratedTargets()) {
      hwy::SetSupportedTargetsForTest(target);
      Kernel k = HWY_DYNAMIC_DISPATCH(MakeKernel)();
      bool known = false;
      for (int i = 0; i < t.count; ++i)
        known = known || t.all[i].width == k.width;
      // One lane is the one-at-a-time engine's job.
      if (!known && k.width > 1 && t.count < kMaxLanes) t.all[t.count++] = k;
    }
    hwy::SetSupportedTargetsForTest(0);
    return t;
  }();
  return t;
}

} // namespace

const Kernel* kernels(int* count) {
  *count = table().count;
  return table().all;
}

const Kernel& bestKernel() { return table().best; }

} // namespace tb::lanes
#endif
