// The three-body pass, written once: stages 2 to 8 of a main-loop pass for
// one test alone or up to eight tests side by side, compiled for every
// instruction set the processor may have; the best the processor runs is
// chosen when the program runs.
//
// The stages are written over a pair type P (two numbers of a test side by
// side: x and y of a body, or a row's two other bodies) and a per-test type
// S. With many tests, S is a vector of one number per test and P two of
// them; with one test alone, P is one 128-bit vector holding both numbers.
// Many tests can be stepped as several vectors in flight: each stage runs for
// every vector before the next stage, so that the processor can overlap
// their independent chains (one vector's divisions while another's sums
// wait).
// IEEE addition, subtraction, multiplication, division and square root give
// the same bits in any lane as in scalar code, and nothing is fused or
// reassociated, so every width gives every test the same bits. What happens
// in few passes (a revolution near the reference direction, a collision, a
// display step, a fault, the stop step) is only detected here and left to
// the driver, which hands it to the test's own experiment.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "sim/lane_kernel.cpp"
#include <hwy/foreach_target.h> // IWYU pragma: keep

#include "sim/end_rules.h"
#include "sim/lane_block.h"
#include "sim/lane_ops.h"
#include <hwy/highway.h>

#include <algorithm>
#include <utility>

HWY_BEFORE_NAMESPACE();
namespace tb::lanes {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// The lanes of `bad` that had no fault yet in this pass take this one: its
// stage, and the pair table as it stands (rows already stored this pass are
// new, the others old).
template <class B> HWY_NOINLINE void noteFault(const B& b, Events& ev, uint32_t bad, const char* stage) {
  bad &= ~ev.fault;
  for (int k = 0; k < B::kWidth; ++k) {
    if (!(bad >> k & 1u)) continue;
    ev.fault |= 1u << k;
    ev.faultStage[k] = stage;
    for (int i = 0; i < 3; ++i)
      for (int o = 0; o < 2; ++o)
        ev.faultRsq[k][i][o] = b.rsq[i][o][k];
  }
}

// Accelerations from the pair table, into the running sums in their order:
// first sums, then second sums from the updated first sums. A body of
// negative mass is not accelerated: zero acceleration, sums unchanged.
// `allMove` has bit i set where every lane's body i is accelerated.
template <class O>
HWY_INLINE void accelerations(typename O::Block& b, Events& ev, uint32_t active, unsigned allMove) {
  using P = typename O::P;
  const auto zero = hn::Zero(O::d);
  const P zeros = O::splat(zero);
  for (int i = 0; i < 3; ++i) {
    auto moves = [&] { return hn::Ne(O::get(b.accelerated[i]), zero); };
    const P r2 = O::get(b.rsq[i]);
    const P f = O::get(b.gm[i]) / r2;
    const P r = O::sqrt(r2);
    // Per other body: (xdiff, ydiff) * f / r, added in body order.
    const P t1 = (O::get(b.diff[i][0]) * O::splatLo(f)) / O::splatLo(r);
    const P t2 = (O::get(b.diff[i][1]) * O::splatHi(f)) / O::splatHi(r);
    const P a = (zeros + t1) + t2;
    if (!O::allFinite(a)) [[unlikely]] {
      const auto bad = hn::AndNot(finite<O>(a), moves());
      if (uint32_t lanes = laneBits<O>(bad) & active) noteFault(b, ev, lanes, "acceleration");
    }
    const P sum = O::get(b.sum[i]) + a;
    const P sum2 = O::get(b.sum2[i]) + sum;
    if (allMove >> i & 1u) [[likely]] {
      O::put(a, b.acc[i]);
      O::put(sum, b.sum[i]);
      O::put(sum2, b.sum2[i]);
    } else {
      const auto m = moves();
      O::put(O::select(m, a, zeros), b.acc[i]);
      O::put(O::select(m, sum, O::get(b.sum[i])), b.sum[i]);
      O::put(O::select(m, sum2, O::get(b.sum2[i])), b.sum2[i]);
    }
  }
}

// Positions rebuilt from the start values and the double sums, each body's
// row of the pair table right after its own position, against the others as
// they stand.
template <class O>
HWY_INLINE void advancePositions(typename O::Block& b, Events& ev, uint32_t active, typename O::S n) {
  using P = typename O::P;
  const P dt = O::splat(O::get(b.tdelta));
  const P np = O::splat(n);
  for (int i = 0; i < 3; ++i) {
    P q = O::get(b.start[i]) + dt * (np * O::get(b.v0[i]) + dt * O::get(b.sum2[i]));
    q = q + O::get(b.v[i]) * dt;
    O::put(q, b.pos[i]);
    const P d1 = O::get(b.pos[otherBody(i, 0)]) - q;
    const P d2 = O::get(b.pos[otherBody(i, 1)]) - q;
    const P sq1 = d1 * d1, sq2 = d2 * d2;
    // (dx1 * dx1 + dy1 * dy1, dx2 * dx2 + dy2 * dy2)
    const P r2 = O::lows(sq1, sq2) + O::highs(sq1, sq2);
    // A position out of range makes its distances so too (a finite position
    // less an infinite one is infinite, and infinity less itself is not a
    // number), so one look at the distances finds both faults.
    if (!O::allFinite(r2)) [[unlikely]] {
      if (uint32_t lanes = laneBits<O>(hn::Not(finite<O>(q))) & active)
        noteFault(b, ev, lanes, "position update");
      if (uint32_t lanes = laneBits<O>(hn::Not(finite<O>(r2))) & active) noteFault(b, ev, lanes, "distance");
    }
    O::put(d1, b.diff[i][0]);
    O::put(d2, b.diff[i][1]);
    O::put(r2, b.rsq[i]);
  }
}

// The pair's distance: its sum over the test, least and greatest.
template <class O> HWY_INLINE void distanceStatistics(typename O::Block& b) {
  const auto d12 = hn::Sqrt(O::lo(O::get(b.rsq[0])));
  O::put(O::get(b.dist12sum) + d12, b.dist12sum);
  const auto lo = O::get(b.dist12min), hi = O::get(b.dist12max);
  O::put(hn::IfThenElse(hn::Lt(d12, lo), d12, lo), b.dist12min);
  O::put(hn::IfThenElse(hn::Gt(d12, hi), d12, hi), b.dist12max);
}

// The pseudo-angle of a direction, 0 to 4 around the circle, strictly
// increasing with the angle ANGLE gives (same quadrant rules, same zero
// conventions):
//   dy >= 0: dx > 0: dy / (dx + dy); dx <= 0: 1 + (-dx) / (dy - dx)
//   dy < 0:  dx < 0: 2 + (-dy) / (-dx - dy); dx >= 0: 3 + dx / (dx - dy)
//   and 0 at the origin. Each denominator is |dx| + |dy| and each numerator
//   |dx| or |dy|, so one division serves every quadrant.
template <class D, class V> HWY_INLINE V pseudoAngleOf(D d, V dx, V dy) {
  const V zero = hn::Zero(d), one = hn::Set(d, 1.0);
  const V ax = hn::Abs(dx), ay = hn::Abs(dy), den = ax + ay;
  const auto up = hn::Ge(dy, zero), leftUp = hn::Le(dx, zero), rightDown = hn::Ge(dx, zero);
  // Quadrants 1 and 3 measure from the y axis: |dx| over the sum.
  const auto fromY = hn::Or(hn::And(up, leftUp), hn::AndNot(up, rightDown));
  const V off = hn::IfThenElse(up, hn::IfThenElseZero(leftUp, one),
                               hn::IfThenElse(rightDown, hn::Set(d, 3.0), hn::Set(d, 2.0)));
  const V p = off + hn::IfThenElse(fromY, ax, ay) / den;
  return hn::IfThenElseZero(hn::Ne(den, zero), p);
}

// The revolution count's decision by pseudo-angles; lanes too near the
// reference (or the wrap, for reference 0) to decide are left to the exact
// comparison.
template <class O> HWY_INLINE void countRevolutions(typename O::Block& b, Events& ev, uint32_t active) {
  const auto d = O::d;
  const auto m = hn::Set(d, kPseudoAngleMargin);
  const auto line = O::get(b.pos[1]) - O::get(b.pos[0]);
  const auto dx = O::lo(line), dy = O::hi(line);
  const auto p = pseudoAngleOf(d, dx, dy), pp = O::get(b.p);
  O::put(O::get(b.dx), b.pdx);
  O::put(O::get(b.dy), b.pdy);
  O::put(pp, b.pp);
  O::put(dx, b.dx);
  O::put(dy, b.dy);
  O::put(p, b.p);
  // Reference 0: counted when the direction wraps past 0, decided where both
  // directions are clear of the wrap and far enough apart.
  auto wrapRule = [&](auto& counted, auto& notCounted) {
    const auto four = hn::Set(d, 4.0);
    const auto inside =
        hn::And(hn::And(hn::Gt(p, m), hn::Lt(p, four - m)), hn::And(hn::Gt(pp, m), hn::Lt(pp, four - m)));
    const auto clear = hn::And(inside, hn::Gt(hn::Abs(p - pp), m));
    const auto down = hn::Gt(pp, p);
    counted = hn::And(clear, down);
    notCounted = hn::AndNot(down, clear);
  };
  // Any other reference: counted when the direction passes it going up.
  auto upRule = [&](auto& counted, auto& notCounted) {
    const auto lo = O::get(b.prefBelow), hi = O::get(b.prefAbove);
    const auto below = hn::Lt(p, lo), above = hn::Gt(p, hi);
    const auto oldAbove = hn::Gt(pp, hi), oldBelow = hn::Lt(pp, lo);
    notCounted = hn::Or(below, oldAbove);
    counted = hn::AndNot(notCounted, hn::And(above, oldBelow));
  };
  const auto refZero = hn::Ne(O::get(b.refZero), hn::Zero(d));
  auto counted = hn::Not(refZero), notCounted = refZero;
  if (hn::AllFalse(d, refZero)) {
    upRule(counted, notCounted);
  } else if (hn::AllTrue(d, refZero)) {
    wrapRule(counted, notCounted);
  } else {
    auto yesZero = counted, noZero = counted, yes = counted, no = counted;
    wrapRule(yesZero, noZero);
    upRule(yes, no);
    counted = hn::Or(hn::And(refZero, yesZero), hn::AndNot(refZero, yes));
    notCounted = hn::Or(hn::And(refZero, noZero), hn::AndNot(refZero, no));
  }
  const auto decided = hn::Or(counted, notCounted);
  if (!hn::AllTrue(d, decided) || !hn::AllFalse(d, counted)) [[unlikely]] {
    ev.revCount |= laneBits<O>(counted) & active;
    ev.revExact |= laneBits<O>(hn::Not(decided)) & active;
  }
}

// The third body's approach, its distance far out (the pending end code),
// and a collision, which the driver handles.
template <class O> HWY_INLINE void watchThirdBody(typename O::Block& b, Events& ev, uint32_t active) {
  const auto d = O::d;
  const auto zero = hn::Zero(d);
  const auto row = O::get(b.rsq[2]);
  const auto toBody0 = O::lo(row), toBody1 = O::hi(row);
  const auto rsqnear = hn::IfThenElse(hn::Lt(toBody1, toBody0), toBody1, toBody0);
  const auto approached = hn::Ne(O::get(b.approached), zero);
  const auto arrives = hn::Lt(rsqnear, O::get(b.nearLimit));
  O::put(hn::IfThenElse(hn::Or(approached, arrives), hn::Set(d, 1.0), zero), b.approached);
  const auto pend = O::get(b.pendcode);
  O::put(pend, b.pendBefore);
  const auto far = hn::And(approached, hn::Gt(rsqnear, O::get(b.farLimit)));
  const auto slower = hn::Ne(O::get(b.slower), zero);
  const auto farCode = hn::IfThenElse(slower, hn::Set(d, static_cast<double>(endNumber(EndCode::FarBound))),
                                      hn::Set(d, static_cast<double>(endNumber(EndCode::Escaped))));
  O::put(hn::IfThenElse(far, farCode, pend), b.pendcode);
  const auto hit = hn::And(approached, hn::Lt(rsqnear, hn::Set(d, kCollisionRsq)));
  if (!hn::AllFalse(d, hit)) [[unlikely]]
    ev.collision |= laneBits<O>(hit) & active;
}

// The step count of this pass.
template <class O> HWY_INLINE typename O::S countStep(typename O::Block& b) {
  const auto n = O::get(b.nstep) + hn::Set(O::d, 1.0);
  O::put(n, b.nstep);
  return n;
}

// A display step due, or the stop step reached.
template <class O>
HWY_INLINE void watchSteps(typename O::Block& b, Events& ev, uint32_t active, typename O::S n) {
  const auto next = O::get(b.nextShow);
  const auto show = hn::Eq(n, next);
  const auto stop = hn::Eq(n, O::get(b.stopAt));
  if (!hn::AllFalse(O::d, hn::Or(show, stop))) [[unlikely]] {
    O::put(hn::IfThenElse(show, next + O::get(b.showevery), next), b.nextShow);
    ev.display |= laneBits<O>(show) & active;
    ev.stop |= laneBits<O>(stop) & active;
  }
}

template <class O> HWY_INLINE uint32_t activeLanes(const typename O::Block& b) {
  return laneBits<O>(hn::Ne(O::get(b.active), hn::Zero(O::d)));
}

// Bit i set where every lane of the vector accelerates body i: a test's
// masses do not change while it is in its lane.
template <class O> HWY_INLINE unsigned movingBodies(const typename O::Block& b) {
  unsigned all = 0;
  for (int i = 0; i < 3; ++i)
    if (hn::AllTrue(O::d, hn::Ne(O::get(b.accelerated[i]), hn::Zero(O::d)))) all |= 1u << i;
  return all;
}

// Passes of the vectors Ops<V>..., each stage for all of them in turn.
template <template <size_t> class Ops, size_t... V>
HWY_INLINE int64_t passes(typename Ops<0>::Block& b, int64_t maxPasses, Events& ev,
                          std::index_sequence<V...>) {
  const uint32_t active = (activeLanes<Ops<V>>(b) | ...);
  const unsigned moving[] = {movingBodies<Ops<V>>(b)...};
  ev.clear();
  for (int64_t pass = 1; pass <= maxPasses; ++pass) {
    const typename Ops<0>::S n[] = {countStep<Ops<V>>(b)...};
    (accelerations<Ops<V>>(b, ev, active, moving[V]), ...);
    (advancePositions<Ops<V>>(b, ev, active, n[V]), ...);
    (distanceStatistics<Ops<V>>(b), ...);
    (countRevolutions<Ops<V>>(b, ev, active), ...);
    (watchThirdBody<Ops<V>>(b, ev, active), ...);
    (watchSteps<Ops<V>>(b, ev, active, n[V]), ...);
    if (ev.any()) return pass;
  }
  return maxPasses;
}

template <size_t> using Alone = PairOps;

template <int kDepth> int64_t WidePasses(WideBlock& b, int64_t maxPasses, Events& ev) {
  return passes<WideOps>(b, maxPasses, ev, std::make_index_sequence<kDepth>{});
}
int64_t OnePasses(OneBlock& b, int64_t maxPasses, Events& ev) {
  return passes<Alone>(b, maxPasses, ev, std::make_index_sequence<1>{});
}

// The depths whose vectors fit in a block.
template <int kDepth> constexpr WidePassesFn widePasses() {
  if constexpr (kDepth * kWideLanes <= kMaxLanes)
    return &WidePasses<kDepth>;
  else
    return nullptr;
}

double PseudoAngle(double dx, double dy) {
  const hn::CappedTag<double, 1> d;
  return hn::GetLane(pseudoAngleOf(d, hn::Set(d, dx), hn::Set(d, dy)));
}

// This instruction set's kernels, entered in the table when the program
// starts.
const bool kEntered =
    enterKernels(Kernels{HWY_TARGET,
                         Kernel{kWideLanes,
                                hwy::TargetName(HWY_TARGET),
                                {widePasses<1>(), widePasses<2>(), nullptr, widePasses<4>()}},
                         &OnePasses, &PseudoAngle});

} // namespace HWY_NAMESPACE
} // namespace tb::lanes
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace tb::lanes {

// The table lives beside the kernels that enter themselves in it, so that
// whatever asks for it links them in.
KernelTable& compiledKernels() {
  static KernelTable t;
  return t;
}

bool enterKernels(const Kernels& k) {
  KernelTable& t = compiledKernels();
  if (t.count < 64) t.compiled[t.count++] = k;
  return true;
}

} // namespace tb::lanes
#endif
