// The game's real arithmetic: every operation is rounded to a 64-bit
// significand (the x87 extended format), and a value becomes binary64 only
// where it is stored into the game state. The helpers below make each of
// those steps visible, so every line of the simulation can be checked
// against that model.
//
// Two implementations give identical results: the x87 unit itself, where
// `long double` is its 80-bit format (x86 with GCC or Clang), and an exact
// software model everywhere else, or when RUNAUDIT_SOFT_FLOAT is defined.
#pragma once

// The verdict rests on every rounding step, so the build must not let the
// compiler reassociate, drop a sign of zero, assume finite values or fuse a
// product into a sum (the project's CMakeLists.txt says -ffp-contract=off
// -fno-fast-math; a build of these sources elsewhere must too). What the
// compilers reveal is refused here: -ffast-math and -Ofast (both), and with
// GCC -funsafe-math-optimizations, -fassociative-math, -freciprocal-math
// and -ffinite-math-only.
#if defined(__FAST_MATH__) || defined(__ASSOCIATIVE_MATH__) || defined(__RECIPROCAL_MATH__) || \
    (defined(__FINITE_MATH_ONLY__) && __FINITE_MATH_ONLY__)
#error "runaudit's simulation must be compiled without -ffast-math, -Ofast or their parts: the verdicts depend on every rounding"
#endif
// No macro reveals contraction, which GCC does across statements unless
// told -ffp-contract=off, -std=c++20 or not: this turns it off for the
// rest of the file. (Clang contracts only within one expression unless
// -ffp-contract=fast, which no pragma overrides: the fast path's self-test
// catches that, see frame_dispatch.cpp.)
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC optimize("fp-contract=off")
#endif

#include <cfloat>
#include <cstdint>

#if defined(RUNAUDIT_SOFT_FLOAT) || LDBL_MANT_DIG != 64 || !(defined(__x86_64__) || defined(__i386__))
#define RUNAUDIT_EXTENDED_IS_SOFTWARE 1
#else
#define RUNAUDIT_EXTENDED_IS_SOFTWARE 0
#endif

#if RUNAUDIT_EXTENDED_IS_SOFTWARE

#include "sim/soft_extended.h"

using Ext = softext::SoftExtended;

inline Ext widen(double v) { return softext::fromDouble(v); }
inline Ext widen(std::int32_t v) { return softext::fromInt32(v); }
inline Ext extAdd(Ext a, Ext b) { return softext::add(a, b); }
inline Ext extSub(Ext a, Ext b) { return softext::sub(a, b); }
inline Ext extMul(Ext a, Ext b) { return softext::mul(a, b); }
inline Ext extDiv(Ext a, Ext b) { return softext::div(a, b); }
inline Ext extNeg(Ext a) { return softext::negate(a); }
inline double store(Ext v) { return softext::toDouble(v); }
inline std::int64_t extTrunc(Ext v) { return softext::truncToInt64(v); }

#else

static_assert(LDBL_MANT_DIG == 64, "the native path needs long double to be the x87 80-bit extended format");

// Needs the unit in extended precision, round to nearest: see fpu_mode.h.
using Ext = long double;

// Exact: a binary64 value or an int32 taken into the extended format.
inline Ext widen(double v) { return static_cast<Ext>(v); }
inline Ext widen(std::int32_t v) { return static_cast<Ext>(v); }

// One extended operation each, rounded to nearest-even at 64 bits.
inline Ext extAdd(Ext a, Ext b) { return a + b; }
inline Ext extSub(Ext a, Ext b) { return a - b; }
inline Ext extMul(Ext a, Ext b) { return a * b; }
inline Ext extDiv(Ext a, Ext b) { return a / b; }
inline Ext extNeg(Ext a) { return -a; }

// Rounds to nearest-even binary64 with gradual underflow: the value a game
// state field holds.
inline double store(Ext v) { return static_cast<double>(v); }

// Truncates toward zero to a 64-bit integer (the simulation never converts
// a value outside that range).
inline std::int64_t extTrunc(Ext v) { return static_cast<std::int64_t>(v); }

#endif

// Truncates toward zero to a 64-bit integer and keeps its low 32 bits.
inline std::int32_t truncLow32(Ext v) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(extTrunc(v))));
}

// truncLow32(widen(v)) for a binary64 v: widening is exact, so this is v's
// own truncation, which one conversion instruction does wherever the result
// fits (|v| < 2^63); the model answers for the rest (the unit's pattern).
inline std::int32_t truncStoredLow32(double v) {
  if (__builtin_fabs(v) < 0x1p63) [[likely]]
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(static_cast<std::int64_t>(v))));
  return truncLow32(widen(v));
}

// The game's constants, each the binary64 nearest its decimal text. Written
// as doubles on purpose: an `L` literal would be a different number.
namespace k {
inline constexpr double C0_001 = 0.001;
inline constexpr double C0_3 = 0.3;
inline constexpr double C0_5 = 0.5;
inline constexpr double C0_7 = 0.7;
inline constexpr double C0_8 = 0.8;
inline constexpr double C0_9 = 0.9;
inline constexpr double CM0_9 = -0.9;
inline constexpr double C12_2 = 12.2;
inline constexpr double CM12_2 = -12.2;
}  // namespace k
