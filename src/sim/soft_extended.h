// A software model of the x87 80-bit extended format: 64-bit significand
// with an explicit integer bit, 15-bit exponent, every operation rounded to
// nearest-even, gradual underflow. It gives the same results as the x87
// unit in extended precision for every operation the game uses, so the
// verdict does not depend on the platform's `long double`.
#pragma once

#include <cstdint>
#include <cstring>

namespace softext {

__extension__ typedef unsigned __int128 u128;

enum class Kind : std::uint8_t { Zero, Finite, Inf, NaN };

// Finite values are sig × 2^(exp − 63); sig has its top bit set, except for
// extended subnormals (exp == MIN_EXP, top bit clear).
struct SoftExtended {
  std::uint64_t sig;
  std::int32_t exp;
  bool neg;
  Kind kind;
};

inline constexpr std::int32_t MIN_EXP = -16382;
inline constexpr std::int32_t MAX_EXP = 16383;
inline constexpr std::uint64_t TOP = 1ull << 63;

inline SoftExtended makeZero(bool neg) { return {0, 0, neg, Kind::Zero}; }
inline SoftExtended makeInf(bool neg) { return {TOP, 0, neg, Kind::Inf}; }
// The x87 "real indefinite": what an invalid operation produces.
inline SoftExtended defaultNaN() { return {0xC000000000000000ull, 0, true, Kind::NaN}; }
inline SoftExtended quiet(SoftExtended n) {
  n.sig |= 1ull << 62;
  return n;
}

inline int topBit(u128 v) {
  const auto hi = static_cast<std::uint64_t>(v >> 64);
  return hi != 0 ? 127 - __builtin_clzll(hi) : 63 - __builtin_clzll(static_cast<std::uint64_t>(v));
}

// A 128-bit value's parts by shifts of one 64-bit word at a time: shifts
// by a variable count of a 128-bit value are calls into the compiler's
// runtime where the target has no such instruction (WebAssembly).
inline std::uint64_t high64(u128 v) { return static_cast<std::uint64_t>(v >> 64); }
inline std::uint64_t low64(u128 v) { return static_cast<std::uint64_t>(v); }
inline u128 fromWords(std::uint64_t hi, std::uint64_t lo) { return (static_cast<u128>(hi) << 64) | lo; }

// Bit k (0 <= k < 128) of v.
inline bool bitAt(u128 v, int k) { return ((k < 64 ? low64(v) >> k : high64(v) >> (k - 64)) & 1) != 0; }

// Whether any of the k lowest bits (0 <= k <= 128) of v is set.
inline bool anyBelow(u128 v, int k) {
  if (k == 0) return false;
  if (k < 64) return (low64(v) & ((1ull << k) - 1)) != 0;
  if (low64(v) != 0) return true;
  return k < 128 && k > 64 ? (high64(v) & ((1ull << (k - 64)) - 1)) != 0 : k == 128 && high64(v) != 0;
}

// The low 64 bits of v >> k, for 0 < k < 128.
inline std::uint64_t shiftedDown(u128 v, int k) {
  if (k < 64) return (low64(v) >> k) | (high64(v) << (64 - k));
  return high64(v) >> (k - 64);
}

// sig × 2^k, for 0 <= k < 64.
inline u128 shiftedUp(std::uint64_t sig, int k) {
  return k == 0 ? static_cast<u128>(sig) : fromWords(sig >> (64 - k), sig << k);
}

// The full product of two 64-bit significands. WebAssembly has no 64 × 64
// -> 128 multiply (the compiler calls its runtime for one): there the four
// 32-bit partial products, added with their carries.
inline u128 productOf(std::uint64_t a, std::uint64_t b) {
#if defined(__wasm__)
  const std::uint64_t aLo = a & 0xFFFFFFFFu, aHi = a >> 32, bLo = b & 0xFFFFFFFFu, bHi = b >> 32;
  const std::uint64_t ll = aLo * bLo, lh = aLo * bHi, hl = aHi * bLo, hh = aHi * bHi;
  // Each partial product is below 2^64 - 2^33 + 1, so the middle sum of
  // three 32-bit-wide terms cannot overflow.
  const std::uint64_t middle = (ll >> 32) + (lh & 0xFFFFFFFFu) + (hl & 0xFFFFFFFFu);
  const std::uint64_t lo = (middle << 32) | (ll & 0xFFFFFFFFu);
  const std::uint64_t hi = hh + (lh >> 32) + (hl >> 32) + (middle >> 32);
  return fromWords(hi, lo);
#else
  return static_cast<u128>(a) * b;
#endif
}

// Rounds mag × 2^scale (plus a nonzero tail below mag's last bit when
// `sticky`) to the extended format.
inline SoftExtended roundPack(bool neg, std::int32_t scale, u128 mag, bool sticky) {
  if (mag == 0) return makeZero(neg);  // callers never pass a sticky-only value
  const int p = topBit(mag);
  std::int32_t exp = scale + p;
  int shift = p - 63;
  if (exp < MIN_EXP) {
    shift += MIN_EXP - exp;
    exp = MIN_EXP;
  }
  std::uint64_t sig;
  if (shift <= 0) {
    sig = low64(mag) << -shift;  // p <= 63: mag fits in 64 bits, and so does the result
  } else {
    bool roundBit = false;
    if (shift > 128) {
      sticky = sticky || mag != 0;
      sig = 0;
    } else {
      roundBit = bitAt(mag, shift - 1);
      sticky = sticky || anyBelow(mag, shift - 1);
      sig = shift == 128 ? 0 : shiftedDown(mag, shift);
    }
    if (roundBit && (sticky || (sig & 1))) {
      ++sig;
      if (sig == 0) {  // carried out of 64 bits
        sig = TOP;
        ++exp;
      }
    }
  }
  if (exp > MAX_EXP) return makeInf(neg);
  if (sig == 0) return makeZero(neg);
  return {sig, exp, neg, Kind::Finite};
}

inline SoftExtended fromDouble(double d) {
  std::uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  const bool neg = (bits >> 63) != 0;
  const auto field = static_cast<std::int32_t>((bits >> 52) & 0x7FF);
  const std::uint64_t frac = bits & ((1ull << 52) - 1);
  if (field == 0x7FF) {
    if (frac == 0) return makeInf(neg);
    return {TOP | (1ull << 62) | (frac << 11), 0, neg, Kind::NaN};  // loading quiets it
  }
  if (field == 0) return frac == 0 ? makeZero(neg) : roundPack(neg, -1074, frac, false);
  return {TOP | (frac << 11), field - 1023, neg, Kind::Finite};
}

inline SoftExtended fromInt32(std::int32_t v) {
  if (v == 0) return makeZero(false);
  const bool neg = v < 0;
  const std::uint64_t mag = neg ? 0ull - static_cast<std::uint64_t>(static_cast<std::int64_t>(v)) : static_cast<std::uint64_t>(v);
  return roundPack(neg, 0, mag, false);
}

inline SoftExtended negate(SoftExtended a) {
  a.neg = !a.neg;
  return a;
}

inline SoftExtended pickNaN(SoftExtended a, SoftExtended b) {
  // Of two NaNs the x87 unit prefers a quiet one to a signalling one, then
  // the larger significand, then the positive sign.
  if (a.kind == Kind::NaN && b.kind == Kind::NaN) {
    const bool qa = (a.sig >> 62) & 1, qb = (b.sig >> 62) & 1;
    if (qa != qb) return quiet(qa ? a : b);
    const std::uint64_t ma = a.sig, mb = b.sig;
    if (ma != mb) return quiet(mb > ma ? b : a);
    return quiet(a.neg ? b : a);
  }
  return quiet(a.kind == Kind::NaN ? a : b);
}

inline SoftExtended add(SoftExtended a, SoftExtended b) {
  if (a.kind == Kind::NaN || b.kind == Kind::NaN) return pickNaN(a, b);
  if (a.kind == Kind::Inf || b.kind == Kind::Inf) {
    if (a.kind == Kind::Inf && b.kind == Kind::Inf && a.neg != b.neg) return defaultNaN();
    return a.kind == Kind::Inf ? a : b;
  }
  if (a.kind == Kind::Zero && b.kind == Kind::Zero) return makeZero(a.neg && b.neg);
  if (a.kind == Kind::Zero) return b;
  if (b.kind == Kind::Zero) return a;

  // Larger magnitude first; 62 guard bits below the significands.
  if (b.exp > a.exp || (b.exp == a.exp && b.sig > a.sig)) {
    const SoftExtended t = a;
    a = b;
    b = t;
  }
  const std::int32_t d = a.exp - b.exp;
  // B = (b.sig << 62) >> d, and whether the shift dropped a set bit: only
  // b.sig's bits below d - 62 can be dropped.
  const u128 A = static_cast<u128>(a.sig) << 62;
  u128 B;
  bool sticky = false;
  if (d >= 127) {
    sticky = b.sig != 0;
    B = 0;
  } else if (d <= 62) {
    B = shiftedUp(b.sig, 62 - d);
  } else {
    sticky = d - 62 == 64 ? b.sig != 0 : (b.sig & ((1ull << (d - 62)) - 1)) != 0;
    B = d - 62 == 64 ? 0 : b.sig >> (d - 62);
  }
  const std::int32_t scale = a.exp - 125;
  if (a.neg == b.neg) return roundPack(a.neg, scale, A + B, sticky);
  u128 M = A - B;
  if (M == 0 && !sticky) return makeZero(false);  // x − x is +0 when rounding to nearest
  if (sticky) --M;  // the true difference lies strictly between M − 1 and M
  return roundPack(a.neg, scale, M, sticky);
}

inline SoftExtended sub(SoftExtended a, SoftExtended b) {
  if (b.kind == Kind::NaN) return add(a, b);
  return add(a, negate(b));
}

inline SoftExtended mul(SoftExtended a, SoftExtended b) {
  if (a.kind == Kind::NaN || b.kind == Kind::NaN) return pickNaN(a, b);
  const bool neg = a.neg != b.neg;
  if (a.kind == Kind::Inf || b.kind == Kind::Inf) {
    if (a.kind == Kind::Zero || b.kind == Kind::Zero) return defaultNaN();
    return makeInf(neg);
  }
  if (a.kind == Kind::Zero || b.kind == Kind::Zero) return makeZero(neg);
  return roundPack(neg, a.exp + b.exp - 126, productOf(a.sig, b.sig), false);
}

inline SoftExtended div(SoftExtended a, SoftExtended b) {
  if (a.kind == Kind::NaN || b.kind == Kind::NaN) return pickNaN(a, b);
  const bool neg = a.neg != b.neg;
  if (a.kind == Kind::Inf) return b.kind == Kind::Inf ? defaultNaN() : makeInf(neg);
  if (b.kind == Kind::Inf) return makeZero(neg);
  if (b.kind == Kind::Zero) return a.kind == Kind::Zero ? defaultNaN() : makeInf(neg);
  if (a.kind == Kind::Zero) return makeZero(neg);

  // Subnormal significands are normalised first so the quotient has its bits.
  std::int32_t ea = a.exp, eb = b.exp;
  std::uint64_t sa = a.sig, sb = b.sig;
  const int za = __builtin_clzll(sa), zb = __builtin_clzll(sb);
  sa <<= za;
  ea -= za;
  sb <<= zb;
  eb -= zb;
  // One wide division gives 64 or 65 quotient bits; two more come from
  // restoring steps, so the rounding point always has a bit below it.
  const u128 num = static_cast<u128>(sa) << 64;
  u128 q = num / sb;
  u128 r = num - q * sb;
  for (int step = 0; step < 2; ++step) {
    r <<= 1;
    q <<= 1;
    if (r >= sb) {
      r -= sb;
      q |= 1;
    }
  }
  return roundPack(neg, ea - eb - 66, q, r != 0);
}

// -1, 0, 1, or 2 when unordered.
inline int compare(SoftExtended a, SoftExtended b) {
  if (a.kind == Kind::NaN || b.kind == Kind::NaN) return 2;
  if (a.kind == Kind::Zero && b.kind == Kind::Zero) return 0;
  auto magnitudeOrder = [](const SoftExtended& x, const SoftExtended& y) {
    // Both nonzero, same sign: compare |x| with |y|.
    if (x.kind == Kind::Inf || y.kind == Kind::Inf) return x.kind == y.kind ? 0 : (x.kind == Kind::Inf ? 1 : -1);
    if (x.exp != y.exp) return x.exp > y.exp ? 1 : -1;
    if (x.sig != y.sig) return x.sig > y.sig ? 1 : -1;
    return 0;
  };
  if (a.kind == Kind::Zero) return b.neg ? 1 : -1;
  if (b.kind == Kind::Zero) return a.neg ? -1 : 1;
  if (a.neg != b.neg) return a.neg ? -1 : 1;
  const int m = magnitudeOrder(a, b);
  return a.neg ? -m : m;
}

// Rounds to binary64: nearest-even, subnormals on their grid, overflow to infinity.
inline double toDouble(SoftExtended a) {
  std::uint64_t bits = a.neg ? (1ull << 63) : 0;
  if (a.kind == Kind::Zero) {
  } else if (a.kind == Kind::Inf) {
    bits |= 0x7FFull << 52;
  } else if (a.kind == Kind::NaN) {
    bits |= (0x7FFull << 52) | ((a.sig >> 11) & ((1ull << 52) - 1)) | (1ull << 51);
  } else {
    // Keep 53 bits, fewer below the normal range (quantum 2^-1074).
    std::int32_t exp = a.exp;
    int shift = 11;
    if (exp < -1022) shift += -1022 - exp;
    std::uint64_t kept;
    if (shift == 11) {
      // The normal range: 53 of the 64 bits kept, the round bit and the
      // sticky bits below it all in the one word.
      kept = a.sig >> 11;
      const bool roundBit = ((a.sig >> 10) & 1) != 0;
      const bool sticky = (a.sig & 0x3FF) != 0;
      if (roundBit && (sticky || (kept & 1))) ++kept;
    } else if (shift >= 66) {
      kept = 0;  // below a quarter of the smallest subnormal
    } else {
      const u128 wide = static_cast<u128>(a.sig) << 1;  // one spare bit so that shift 65 still sees the round bit
      const int s = shift + 1;
      kept = static_cast<std::uint64_t>(wide >> s);
      const bool roundBit = ((wide >> (s - 1)) & 1) != 0;
      const bool sticky = (wide & ((static_cast<u128>(1) << (s - 1)) - 1)) != 0;
      if (roundBit && (sticky || (kept & 1))) ++kept;
    }
    if (exp < -1022) {
      // Subnormal (or, after a carry into bit 52, the smallest normal): the
      // pattern is the count of 2^-1074 steps.
      bits |= kept;
    } else {
      if (kept == (1ull << 53)) {
        kept >>= 1;
        ++exp;
      }
      if (exp > 1023) {
        bits |= 0x7FFull << 52;
      } else {
        bits |= (static_cast<std::uint64_t>(exp + 1023) << 52) | (kept & ((1ull << 52) - 1));
      }
    }
  }
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

// Truncates toward zero; out of range and NaN give the x87 integer indefinite.
inline std::int64_t truncToInt64(SoftExtended a) {
  if (a.kind == Kind::Zero) return 0;
  if (a.kind != Kind::Finite) return INT64_MIN;
  if (a.exp < 0) return 0;
  if (a.exp > 62) return INT64_MIN;  // -2^63 itself is also that pattern
  const std::uint64_t mag = a.sig >> (63 - a.exp);
  return a.neg ? static_cast<std::int64_t>(0ull - mag) : static_cast<std::int64_t>(mag);
}

// The 80-bit memory image: significand, then sign and biased exponent.
struct Bits80 {
  std::uint64_t sig;
  std::uint16_t signExp;
  bool operator==(const Bits80&) const = default;
};

// From an 80-bit image with a canonical significand (integer bit set for
// normal numbers, clear for zeros and subnormals).
inline SoftExtended fromBits80(Bits80 b) {
  const bool neg = (b.signExp & 0x8000) != 0;
  const std::int32_t field = b.signExp & 0x7FFF;
  if (field == 0x7FFF) return (b.sig << 1) == 0 ? makeInf(neg) : SoftExtended{b.sig, 0, neg, Kind::NaN};
  if (b.sig == 0) return makeZero(neg);
  if (field == 0) return {b.sig, MIN_EXP, neg, Kind::Finite};
  return {b.sig, field - 16383, neg, Kind::Finite};
}

inline Bits80 toBits80(SoftExtended a) {
  const std::uint16_t sign = a.neg ? 0x8000 : 0;
  switch (a.kind) {
    case Kind::Zero: return {0, sign};
    case Kind::Inf: return {TOP, static_cast<std::uint16_t>(sign | 0x7FFF)};
    case Kind::NaN: return {a.sig, static_cast<std::uint16_t>(sign | 0x7FFF)};
    case Kind::Finite: break;
  }
  if ((a.sig & TOP) == 0) return {a.sig, sign};  // extended subnormal
  return {a.sig, static_cast<std::uint16_t>(sign | (a.exp + 16383))};
}

// Ordered comparisons, false when either side is NaN.
inline bool operator<(SoftExtended a, SoftExtended b) { return compare(a, b) == -1; }
inline bool operator>(SoftExtended a, SoftExtended b) { return compare(a, b) == 1; }
inline bool operator<=(SoftExtended a, SoftExtended b) {
  const int c = compare(a, b);
  return c == -1 || c == 0;
}
inline bool operator>=(SoftExtended a, SoftExtended b) {
  const int c = compare(a, b);
  return c == 1 || c == 0;
}
inline bool operator==(SoftExtended a, SoftExtended b) { return compare(a, b) == 0; }

}  // namespace softext
