// The vector types of the three-body pass: a pair of numbers of a test (x
// and y of a body, or a row's two other bodies) over many tests side by
// side (TwoOps) or one test alone (PairOps), for each instruction set the
// pass is compiled for. Included by sim/lane_kernel.cpp once per target.
#if defined(TB_SIM_LANE_OPS_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef TB_SIM_LANE_OPS_H_
#undef TB_SIM_LANE_OPS_H_
#else
#define TB_SIM_LANE_OPS_H_
#endif

#include "sim/lane_block.h"
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace tb::lanes {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// A pair as two per-test vectors.
template <class D> struct Two { hn::Vec<D> lo, hi; };
template <class D> HWY_INLINE Two<D> operator+(Two<D> a, Two<D> b) { return {a.lo + b.lo, a.hi + b.hi}; }
template <class D> HWY_INLINE Two<D> operator-(Two<D> a, Two<D> b) { return {a.lo - b.lo, a.hi - b.hi}; }
template <class D> HWY_INLINE Two<D> operator*(Two<D> a, Two<D> b) { return {a.lo * b.lo, a.hi * b.hi}; }
template <class D> HWY_INLINE Two<D> operator/(Two<D> a, Two<D> b) { return {a.lo / b.lo, a.hi / b.hi}; }

// Many tests (or one on an instruction set without 128-bit vectors): a pair
// is two vectors of one number per test, the lanes from `first` on.
template <class B, class D, int kFirst = 0> struct TwoOps {
  using Block = B;
  using S = hn::Vec<D>;
  using M = hn::Mask<D>;
  using P = Two<D>;
  static constexpr D d{};
  static constexpr int first = kFirst;

  static S get(const typename B::Lane& a) { return hn::LoadU(d, a + kFirst); }
  static void put(S v, typename B::Lane& a) { hn::StoreU(v, d, a + kFirst); }
  static P get(const typename B::Pair& a) { return {get(a[0]), get(a[1])}; }
  static void put(P v, typename B::Pair& a) { put(v.lo, a[0]), put(v.hi, a[1]); }
  static S lo(P v) { return v.lo; }
  static S hi(P v) { return v.hi; }
  static P splat(S v) { return {v, v}; }
  static P splatLo(P v) { return {v.lo, v.lo}; }
  static P splatHi(P v) { return {v.hi, v.hi}; }
  static P lows(P a, P b) { return {a.lo, b.lo}; }
  static P highs(P a, P b) { return {a.hi, b.hi}; }
  static P sqrt(P v) { return {hn::Sqrt(v.lo), hn::Sqrt(v.hi)}; }
  static P select(M m, P a, P b) { return {hn::IfThenElse(m, a.lo, b.lo), hn::IfThenElse(m, a.hi, b.hi)}; }
  static bool allFinite(P v) { return hn::AllTrue(d, hn::And(hn::IsFinite(v.lo), hn::IsFinite(v.hi))); }
};

#if HWY_TARGET != HWY_SCALAR
// One test alone: a pair is one vector of two numbers, lane 0 the first.
struct PairOps {
  using Block = OneBlock;
  using D = hn::CappedTag<double, 1>;
  using D2 = hn::FixedTag<double, 2>;
  using S = hn::Vec<D>;
  using M = hn::Mask<D>;
  using P = hn::Vec<D2>;
  static constexpr D d{};
  static constexpr D2 d2{};
  static constexpr int first = 0;

  static S get(const Block::Lane& a) { return hn::LoadU(d, a); }
  static void put(S v, Block::Lane& a) { hn::StoreU(v, d, a); }
  static P get(const Block::Pair& a) { return hn::LoadU(d2, &a[0][0]); }
  static void put(P v, Block::Pair& a) { hn::StoreU(v, d2, &a[0][0]); }
  static S lo(P v) { return hn::LowerHalf(d, v); }
  static S hi(P v) { return hn::UpperHalf(d, v); }
  static P splat(S v) { return hn::Combine(d2, v, v); }
  static P splatLo(P v) { return hn::InterleaveLower(d2, v, v); }
  static P splatHi(P v) { return hn::InterleaveUpper(d2, v, v); }
  static P lows(P a, P b) { return hn::InterleaveLower(d2, a, b); }
  static P highs(P a, P b) { return hn::InterleaveUpper(d2, a, b); }
  static P sqrt(P v) { return hn::Sqrt(v); }
  static P select(M m, P a, P b) {
    return hn::IfThenElse(hn::MaskFromVec(splat(hn::VecFromMask(d, m))), a, b);
  }
  static bool allFinite(P v) { return hn::AllTrue(d2, hn::IsFinite(v)); }
};
#else
using PairOps = TwoOps<OneBlock, hn::CappedTag<double, 1>>;
#endif

// The vector of many tests on this instruction set, and its lanes.
using WideTag = hn::CappedTag<double, kMaxVectorLanes>;
constexpr int kWideLanes = static_cast<int>(HWY_MIN(kMaxVectorLanes, HWY_LANES(double)));
// The vector in flight at `v`: lanes v * kWideLanes on.
template <size_t V> using WideOps = TwoOps<WideBlock, WideTag, static_cast<int>(V) * kWideLanes>;

// One bit per lane of the block.
template <class O> HWY_INLINE uint32_t laneBits(typename O::M m) {
  uint8_t bits[8] = {};
  hn::StoreMaskBits(O::d, m, bits);
  return static_cast<uint32_t>(bits[0]) << O::first;
}

template <class O> HWY_INLINE typename O::M finite(typename O::P v) {
  return hn::And(hn::IsFinite(O::lo(v)), hn::IsFinite(O::hi(v)));
}

} // namespace HWY_NAMESPACE
} // namespace tb::lanes
HWY_AFTER_NAMESPACE();

#endif
