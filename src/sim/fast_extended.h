// The frame step's arithmetic made fast: the same steps as extended.h
// (widen, extAdd, store, ...), computed with binary64 operations and their
// exact errors, and handed to the exact model (the x87 unit or the software
// model) only in the rare cases binary64 cannot decide.
//
// An operation on two widened binary64 values is not rounded at once: it
// stays a small record of its operands (Sum, Product) until it is stored or
// compared, and is then decided from r = fl(a op b), the correctly rounded
// binary64 result, and e = v - r, its exact error (v the exact result).
//
// Why store(ext(a op b)) = round53(round64(v)) follows from r and e, for
// 2^-969 <= |r| < 2^1000. Let 2^E <= |r| < 2^(E+1), q = 2^(E-63) the 64-bit
// step in r's binade and C = 3·2^(E-12) = 1.5·2^52·q. The error is exact
// there (TwoSum's always without overflow; fma(a, b, -r)'s because the
// error of such a product is a multiple of ulp(a)·ulp(b) >= 2^-1074 with at
// most 53 bits) and |e| <= 2^(E-53) = 1024q. So e + C lies where binary64
// steps are exactly q: fl(e + C) rounds e to a multiple kq, ties to even k,
// and n = C - fl(e + C) = -kq exactly. In r's binade the 64-bit numbers are
// r + jq, j even exactly when the 64th bit is (r ends in 11 zero bits), so
// round64(v) = r + kq, and fl(r - n) = round53(round64(v)). One exception:
// just below r = 2^E the 64-bit step is q/2, but there both round64(v) and
// r + kq lie in [r - u/4, r] (u = 2^(E-52); rounding is monotone and r - u/4
// is on both grids), which rounds to the even r either way.
// r = ±0: v is 0, or a product below 2^-1075, and the answer is r; then
// C = 0, e = ±0, n = +0 and fl(r - n) = r, the sign of zero included (which
// r + kq would lose). Tiny nonzero r, huge r, infinities and NaN take the
// exact path. NaN operands are outside the promise (the unit's choice among
// two NaNs is not kept): none can enter the game state.
// Why a kept-extended sum compares with a binary64 constant c through r:
// when r != c the midpoint between c and r's neighbour of c is a 64-bit
// number that v lies beyond, so round64(v) is on r's side of c; r = c with
// e = 0 is v = c; only r = c with e != 0 asks the exact model.
//
// A product's error comes from a fused multiply-add: compile the code that
// uses it for a CPU that has one (the callers choose at run time). Where
// there is none (x86-64 CPUs before FMA, WebAssembly), the same path is
// built with RUNAUDIT_FAST_WITHOUT_FMA, and the error comes from Dekker's
// product of Veltkamp's halves instead (productError below): exact under
// the conditions stated there, with the rest left to the exact model.
#pragma once

#include "sim/bits.h"
#include <cstdint>

#include "sim/extended.h"

#if defined(RUNAUDIT_FAST_WITHOUT_FMA)
#define RUNAUDIT_FASTEXT_NS fastext_split
#elif defined(RUNAUDIT_COUNT_FAST_OPS)
#define RUNAUDIT_FASTEXT_NS fastext_counted
#else
#define RUNAUDIT_FASTEXT_NS fastext
#endif

#define RUNAUDIT_FAST_INLINE [[gnu::always_inline]] inline

// How often the fast path decided and how often it asked the exact model;
// counted only in a build made to measure it.
struct FastOpCounts {
  std::uint64_t operations;
  std::uint64_t nearMidpoint;  // decided by the full check, out of line
  std::uint64_t fallbacks;     // decided by the exact model
};
extern FastOpCounts fastOpCounts;

namespace RUNAUDIT_FASTEXT_NS {

// A binary64 (or int32) value taken into the extended format: exact.
struct Wide {
  double v;
};
// ext(a + b) and ext(a × b), not rounded yet.
struct Sum {
  double a, b;
};
struct Product {
  double a, b;
};
// ext(-(a + b)): kept apart from Sum{-a, -b}, which differs in the sign of
// an exact zero.
struct NegatedSum {
  Sum sum;
};

RUNAUDIT_FAST_INLINE void countOperation() {
#ifdef RUNAUDIT_COUNT_FAST_OPS
  ++fastOpCounts.operations;
#endif
}

template <class Exact>
[[gnu::noinline]] auto fallBack(Exact exact) {
#ifdef RUNAUDIT_COUNT_FAST_OPS
  ++fastOpCounts.fallbacks;
#endif
  return exact();
}

// 2^E for normal r; 0 for ±0 and subnormals, inf for inf and NaN.
RUNAUDIT_FAST_INLINE double binadeOf(double r) {
  constexpr std::uint64_t EXPONENT = 0x7FFull << 52;
  return bitCast<double>(bitCast<std::uint64_t>(r) & EXPONENT);
}

// The rare result that is not r: kept out of line, so that the branch to it
// stays a branch (see decideNearMidpoint).
[[gnu::noinline]] inline double differsFromNearest(double t) { return t; }

// round53(round64(r + e)) for r = fl(r + e), by the argument above, for an
// e that may lie near half an ulp of r; `exact` computes it the slow way.
template <class Exact>
[[gnu::noinline]] double decideNearMidpoint(double r, double e, Exact exact) {
#ifdef RUNAUDIT_COUNT_FAST_OPS
  ++fastOpCounts.nearMidpoint;
#endif
  constexpr std::uint64_t MAGNITUDE = ~0ull >> 1;
  constexpr std::uint64_t SMALLEST = 54ull << 52;  // 2^-969
  constexpr std::uint64_t LARGEST = 2023ull << 52;  // 2^1000
  const std::uint64_t bits = bitCast<std::uint64_t>(r);
  const std::uint64_t magnitude = bits & MAGNITUDE;
  // Zero passes: magnitude - 1 wraps to the top.
  if (magnitude - 1 < SMALLEST - 1 || magnitude >= LARGEST) return fallBack(exact);
  const double C = binadeOf(r) * 0x1.8p-11;  // 3·2^(E-12), exactly
  const double n = C - (e + C);
  const double t = r - n;
  // Equal values are equal bits here: nonzero, or zeros of r's sign.
  return t != r ? differsFromNearest(t) : r;
}

// The fast test, for normal r = ±2^E·(1.f) with q = 2^(E-63): e = fl(v - r)
// (exact for a sum; the fused multiply-add rounds a product's once). If
// |v - r| < 1023q then |round64(v) - r| <= |v - r| + q/2 < 1024q, half an
// ulp of r, and round53 gives r back. (Below a power of two r the grid is
// finer, but correct rounding already puts v within u/4 of r, and
// round64(v) stays on r's side of the midpoint r - u/4, itself a 64-bit
// number whose tie goes to the even r.) The test compares fl(|v - r|) with
// fl(1023q) = fl(2^E · 1023·2^-63): rounding is monotone, so when the
// first is below the second, |v - r| is below 1023q, whether or not either
// rounding was exact near the subnormals. Subnormal r gives the bound 0 and
// fails, as do infinities and NaN (bound inf or NaN, e inf or NaN); so does
// r = ±0, which is the answer anyway (a sum is then exact, and a product
// below 2^-1075 rounds to ±0 both ways). The rest goes the slow way.
RUNAUDIT_FAST_INLINE bool isNearestProduct(double r, double e) {
  countOperation();
  return __builtin_fabs(e) < binadeOf(r) * 0x1.ff8p-54 || r == 0.0;  // 1023·2^-63
}

// A sum also passes when it is an exact binary64 tie, |e| = 2^(E-53) (so
// common with the game's short constants that the full check would cost
// more than the rest): v then has 54 bits, round64 keeps it and round53 is
// the tie-to-even r itself. Below 2^-1021 the tie is 0: a sum there is
// exact, e = 0, which also covers r = ±0.
RUNAUDIT_FAST_INLINE bool isNearestSum(double r, double e) {
  const double binade = binadeOf(r);
  const double error = __builtin_fabs(e);
  return error < binade * 0x1.ff8p-54 || error == binade * 0x1p-53;
}

#ifdef RUNAUDIT_FAST_WITHOUT_FMA
// Without a fused multiply-add: e = v - r for r = fl(a·b), from Veltkamp's
// split of each operand into two halves of at most 26 significant bits
// (x = hi + lo exactly, hi = fl(fl(c·x) - fl(fl(c·x) - x)) with c = 2^27 + 1)
// and Dekker's sum of the four partial products. Dekker and Veltkamp prove
// e exact in binary64 with rounding to nearest when nothing overflows or
// underflows on the way; the conditions that guarantee it:
// - |a|, |b| < 2^995, so that c·a and c·b (below 2^1023) stay finite;
// - |r| >= 2^-960, so that |a·b| > 2^-961 and the exponents of a and b
//   (2^e <= |x| < 2^(e+1), subnormals included) add up to at least -962,
//   above the -970 = -1022 + 52 that the proofs need: every partial product
//   and every error of the sum is then a multiple of 2^-1074 with at most 53
//   significant bits, so none of them is rounded.
// productSplits tests them; the fast tests then take e as exact (which the
// fused multiply-add's single rounding only bounds), and a product outside
// them is left to the exact model. r = ±0 needs no error: it is the answer
// (see isNearestProduct), and passes whatever e comes out. A NaN or an
// infinite operand or r fails the test (its binade is infinite), and so
// does an overflow inside the sum: e is then infinite or NaN.
RUNAUDIT_FAST_INLINE bool productSplits(double a, double b, double r) {
  return r == 0.0 || (binadeOf(a) < 0x1p995 && binadeOf(b) < 0x1p995 && binadeOf(r) >= 0x1p-960);
}

RUNAUDIT_FAST_INLINE double productError(double a, double b, double r) {
  constexpr double SPLITTER = 0x1p27 + 1;
  const double ca = SPLITTER * a, aHigh = ca - (ca - a), aLow = a - aHigh;
  const double cb = SPLITTER * b, bHigh = cb - (cb - b), bLow = b - bHigh;
  return (((aHigh * bHigh - r) + aHigh * bLow) + aLow * bHigh) + aLow * bLow;
}
#else
// Every product splits here: the fused multiply-add's error is exact or
// rounded once, and the fast tests allow for both.
RUNAUDIT_FAST_INLINE bool productSplits(double, double, double) { return true; }

RUNAUDIT_FAST_INLINE double productError(double a, double b, double r) { return __builtin_fma(a, b, -r); }
#endif

// Most of the game's sums need no error at all. Let f_a >= f_b be the
// exponent fields of a and b, |a| >= |b|, with f_a - f_b <= 10, and let
// Q = 2^(max(f_a, 1) - 1085). A finite binary64 x is a multiple of
// 2^(max(f_x, 1) - 1075), and max(f_b, 1) >= max(f_a, 1) - 10, so Q divides
// both; |a + b| <= 2|a| < 2^(max(f_a, 1) - 1021) = 2^64·Q. So a + b is an
// integer multiple of Q below 2^64·Q: it has a 64-bit significand, round64
// keeps it, and the store rounds the exact sum once, to r = fl(a + b),
// subnormals and exact zeros (+0 for x + -x under both) included.
// Infinities and NaN (field 0x7FF) go the general way, as before: with the
// other field within 10, the two fields add up to 4084 or more, which
// finite operands reach only near overflow, where the general way is exact
// too.
RUNAUDIT_FAST_INLINE bool fitsExtended(double a, double b) {
  const std::uint64_t fieldA = (bitCast<std::uint64_t>(a) >> 52) & 0x7FF;
  const std::uint64_t fieldB = (bitCast<std::uint64_t>(b) >> 52) & 0x7FF;
  // |fieldA - fieldB| <= 10: the difference wraps when fieldB > fieldA.
  return (fieldA - fieldB + 10 <= 20) & (fieldA + fieldB < 4084);
}

// Exact error of r = fl(a + b) (Knuth's TwoSum: no branch, any order).
RUNAUDIT_FAST_INLINE double sumError(double a, double b, double r) {
  const double bPart = r - a;
  const double aPart = r - bPart;
  return (a - aPart) + (b - bPart);
}

RUNAUDIT_FAST_INLINE Wide widen(double v) { return {v}; }
RUNAUDIT_FAST_INLINE Wide widen(std::int32_t v) { return {static_cast<double>(v)}; }
RUNAUDIT_FAST_INLINE Sum extAdd(Wide a, Wide b) { return {a.v, b.v}; }
// a - b and a + (-b) are the same exact value with the same rounding, the
// exact zero included (+0 in both).
RUNAUDIT_FAST_INLINE Sum extSub(Wide a, Wide b) { return {a.v, -b.v}; }
RUNAUDIT_FAST_INLINE Product extMul(Wide a, Wide b) { return {a.v, b.v}; }
RUNAUDIT_FAST_INLINE NegatedSum extNeg(Sum s) { return {s}; }

// The slow ways take the operands, not r and e: nothing of them needs to
// stay live on the fast path.
[[gnu::noinline]] inline double storeSumSlowly(double a, double b) {
  const double r = a + b;
  return decideNearMidpoint(r, sumError(a, b, r), [a, b] { return ::store(::extAdd(::widen(a), ::widen(b))); });
}

[[gnu::noinline]] inline double storeProductSlowly(double a, double b) {
  const double r = a * b;
  auto exact = [a, b] { return ::store(::extMul(::widen(a), ::widen(b))); };
  if (!productSplits(a, b, r)) return fallBack(exact);
  return decideNearMidpoint(r, productError(a, b, r), exact);
}

RUNAUDIT_FAST_INLINE double store(Sum s) {
  countOperation();
  const double r = s.a + s.b;
  if (fitsExtended(s.a, s.b) || isNearestSum(r, sumError(s.a, s.b, r))) [[likely]]
    return r;
  return storeSumSlowly(s.a, s.b);
}

RUNAUDIT_FAST_INLINE double store(Product p) {
  const double r = p.a * p.b;
  if (productSplits(p.a, p.b, r) && isNearestProduct(r, productError(p.a, p.b, r))) [[likely]]
    return r;
  return storeProductSlowly(p.a, p.b);
}

// Rounding to nearest is symmetric: storing -v is negating the stored v.
RUNAUDIT_FAST_INLINE double store(NegatedSum n) { return -store(n.sum); }

// The exact model's comparison, for the ties of r with the constant.
enum class Order { Less, Greater };

template <Order order>
RUNAUDIT_FAST_INLINE bool compare(Sum s, Wide c) {
  countOperation();
  const double r = s.a + s.b;
  if (r != c.v) return order == Order::Greater ? r > c.v : r < c.v;
  if (sumError(s.a, s.b, r) == 0.0) return false;
  return fallBack([s, c] {
    const Ext v = ::extAdd(::widen(s.a), ::widen(s.b));
    return order == Order::Greater ? v > ::widen(c.v) : v < ::widen(c.v);
  });
}

RUNAUDIT_FAST_INLINE bool operator>(Sum s, Wide c) { return compare<Order::Greater>(s, c); }
RUNAUDIT_FAST_INLINE bool operator<(Sum s, Wide c) { return compare<Order::Less>(s, c); }

RUNAUDIT_FAST_INLINE std::int32_t truncLow32(Wide v) { return ::truncStoredLow32(v.v); }

}  // namespace RUNAUDIT_FASTEXT_NS
