// The software extended format against the x87 unit, bit for bit: every
// operation, every rounding to binary64, every truncation. Runs where the
// native unit exists (x86), whichever model the simulation uses.
#include <gtest/gtest.h>

#include <cfloat>
#include <cstdlib>
#include <cstring>
#include <random>

#include "sim/extended.h"
#include "sim/soft_extended.h"
#include "support/sim_helpers.h"

#if LDBL_MANT_DIG == 64 && (defined(__x86_64__) || defined(__i386__))
#define HAVE_NATIVE_X87 1
#else
#define HAVE_NATIVE_X87 0
#endif

namespace {

using softext::Bits80;
using softext::SoftExtended;

#if HAVE_NATIVE_X87

Bits80 bitsOfNative(long double v) {
  Bits80 b{};
  std::memcpy(&b.sig, &v, 8);
  std::memcpy(&b.signExp, reinterpret_cast<const char*>(&v) + 8, 2);
  return b;
}

long double nativeOf(Bits80 b) {
  long double v = 0;
  std::memcpy(&v, &b.sig, 8);
  std::memcpy(reinterpret_cast<char*>(&v) + 8, &b.signExp, 2);
  return v;
}

// Cases per operation: a quick share in every run, ten million or more when
// RUNAUDIT_DIFF_CASES asks for it.
long caseCount() {
  const char* env = std::getenv("RUNAUDIT_DIFF_CASES");
  return env ? std::atol(env) : 200000;
}

// Operands biased toward the hard cases.
struct Generator {
  std::mt19937_64 rng{0x5EED};

  std::uint64_t bits() { return rng(); }
  int pick(int n) { return static_cast<int>(rng() % static_cast<std::uint64_t>(n)); }

  Bits80 finite(std::int32_t exp, std::uint64_t sig, bool neg) {
    return {sig | softext::TOP, static_cast<std::uint16_t>((neg ? 0x8000 : 0) | (exp + 16383))};
  }

  // Significands with long runs of zeros or ones at the bottom make exact
  // results land on or next to rounding points.
  std::uint64_t sig() {
    std::uint64_t s = bits();
    switch (pick(6)) {
      case 0: s &= ~0ull << (11 + pick(53)); break;          // short: a double, or fewer bits
      case 1: s |= (1ull << pick(64)) - 1; break;            // trailing ones
      case 2: s = (s & ~0x7FFull) | 0x400; break;            // the 53-bit halfway point
      case 3: s = (s & ~0x7FFull) | (0x3FF + pick(3)); break;  // just around it
      default: break;
    }
    return s;
  }

  double gameDouble() {
    static const double values[] = {0.001, 0.3, 0.5, 0.7, 0.8, 0.9, -0.9, 12.2, -12.2, 13.0, 200.0, 431.0,
                                    540.0, 555.0, 85.0, 1000.0, -100.0, 1.0, 0.0, -0.0};
    const double base = values[pick(20)];
    switch (pick(4)) {
      case 0: return base;
      case 1: return base * static_cast<double>(pick(1000)) / 7.0;
      case 2: return fromBits(bitsOf(base) + static_cast<std::uint64_t>(pick(5)) - 2);
      default: return static_cast<double>(static_cast<std::int32_t>(bits() % 4000) - 2000) + static_cast<double>(pick(1 << 20)) / (1 << 20);
    }
  }

  Bits80 value() {
    const bool neg = pick(2) == 0;
    switch (pick(10)) {
      case 0: return bitsOfNative(gameDouble());
      case 1: return finite(-1022 - pick(70), sig(), neg);             // around the binary64 subnormals
      case 2: return finite(1020 + pick(8), sig(), neg);               // around binary64 overflow
      case 3: return finite(pick(64) - 2, sig(), neg);                 // integers and near-integers
      case 4: {                                                        // specials
        static const Bits80 specials[] = {{0, 0}, {0, 0x8000}, {softext::TOP, 0x7FFF}, {softext::TOP, 0xFFFF},
                                          {0xC000000000000000ull, 0xFFFF}, {1, 0}, {softext::TOP, 1}};
        return specials[pick(7)];
      }
      case 5: return finite(-16382 + pick(80), sig(), neg);            // near the extended limits
      case 6: return finite(16383 - pick(80), sig(), neg);
      default: return finite(pick(200) - 100, sig(), neg);
    }
  }

  // A second operand close to the first: cancellation and alignment ties.
  Bits80 near(Bits80 a) {
    Bits80 b = a;
    switch (pick(6)) {
      case 0: b.sig += static_cast<std::uint64_t>(pick(5)) - 2; b.sig |= softext::TOP; break;
      case 1: b.signExp ^= 0x8000; break;
      case 2: b.signExp = static_cast<std::uint16_t>((b.signExp & 0x8000) | ((b.signExp & 0x7FFF) - std::min(b.signExp & 0x7FFF, 64 + pick(3))));
              b.sig = softext::TOP | (static_cast<std::uint64_t>(pick(4)) << 61); break;
      case 4: {  // aligned far below a: a half, or a half and a little, at a's 64th bit
        const int below = 1 + pick(130);
        b.signExp = static_cast<std::uint16_t>((pick(2) ? 0x8000 : 0) | ((a.signExp & 0x7FFF) - std::min(a.signExp & 0x7FFF, below)));
        b.sig = softext::TOP | (pick(2) ? 1ull << pick(63) : (1ull << pick(64)) - 1);
        break;
      }
      default: b = value(); break;
    }
    if ((b.signExp & 0x7FFF) == 0) b.sig &= ~softext::TOP;  // keep it canonical
    return b;
  }
};

template <typename Native, typename Soft>
void compareBinary(const char* name, Native native, Soft soft) {
  Generator g;
  const long n = caseCount();
  long differences = 0;
  for (long i = 0; i < n; ++i) {
    const Bits80 a = g.value();
    const Bits80 b = i % 2 ? g.near(a) : g.value();
    const Bits80 want = bitsOfNative(native(nativeOf(a), nativeOf(b)));
    const Bits80 got = softext::toBits80(soft(softext::fromBits80(a), softext::fromBits80(b)));
    if (!(want == got) && ++differences <= 5)
      ADD_FAILURE() << name << std::hex << " a=" << a.signExp << ":" << a.sig << " b=" << b.signExp << ":" << b.sig
                    << " native=" << want.signExp << ":" << want.sig << " soft=" << got.signExp << ":" << got.sig;
  }
  EXPECT_EQ(differences, 0) << name;
}

TEST(SoftExtended, ArithmeticMatchesTheUnit) {
  volatile long double sink = 0;  // keeps the native operations real
  (void)sink;
  compareBinary("add", [](long double a, long double b) { return a + b; }, softext::add);
  compareBinary("sub", [](long double a, long double b) { return a - b; }, softext::sub);
  compareBinary("mul", [](long double a, long double b) { return a * b; }, softext::mul);
  compareBinary("div", [](long double a, long double b) { return a / b; }, softext::div);
}

TEST(SoftExtended, ComparisonsMatchTheUnit) {
  Generator g;
  for (long i = 0, n = caseCount(); i < n; ++i) {
    const Bits80 a = g.value();
    const Bits80 b = i % 2 ? g.near(a) : g.value();
    const long double x = nativeOf(a), y = nativeOf(b);
    const SoftExtended sx = softext::fromBits80(a), sy = softext::fromBits80(b);
    ASSERT_EQ(x < y, sx < sy);
    ASSERT_EQ(x > y, sx > sy);
    ASSERT_EQ(x <= y, sx <= sy);
    ASSERT_EQ(x >= y, sx >= sy);
    ASSERT_EQ(x == y, sx == sy);
  }
}

TEST(SoftExtended, RoundingToBinary64MatchesTheUnit) {
  Generator g;
  for (long i = 0, n = caseCount(); i < n; ++i) {
    const Bits80 a = g.value();
    const double want = static_cast<double>(nativeOf(a));
    const double got = softext::toDouble(softext::fromBits80(a));
    ASSERT_EQ(bitsOf(want), bitsOf(got)) << std::hex << a.signExp << ":" << a.sig;
  }
}

TEST(SoftExtended, WideningMatchesTheUnit) {
  Generator g;
  for (long i = 0, n = caseCount(); i < n; ++i) {
    const double d = i % 3 ? g.gameDouble() : fromBits(g.bits());
    if (d != d) continue;  // signalling NaNs are quieted differently by each load path; none arise in play
    ASSERT_EQ(bitsOfNative(static_cast<long double>(d)), softext::toBits80(softext::fromDouble(d))) << d;
    const auto v = static_cast<std::int32_t>(g.bits());
    ASSERT_EQ(bitsOfNative(static_cast<long double>(v)), softext::toBits80(softext::fromInt32(v))) << v;
  }
}

TEST(SoftExtended, TruncationMatchesTheUnit) {
  Generator g;
  for (long i = 0, n = caseCount(); i < n; ++i) {
    Bits80 a = g.value();
    if ((a.signExp & 0x7FFF) > 16383 + 62 || (a.signExp & 0x7FFF) == 0x7FFF) continue;  // outside int64: no C++ meaning
    if (i % 2) a = g.finite(g.pick(40) - 1, g.sig(), g.pick(2) == 0);
    const long double x = nativeOf(a);
    ASSERT_EQ(static_cast<std::int64_t>(x), softext::truncToInt64(softext::fromBits80(a))) << std::hex << a.signExp << ":" << a.sig;
  }
}

TEST(SoftExtended, TheGamesHardCases) {
  // The subnormal fixed point of the speed decay, and the 42.5 landing.
  const SoftExtended five = softext::fromDouble(fromBits(5));
  EXPECT_EQ(bitsOf(softext::toDouble(softext::mul(five, softext::fromDouble(0.9)))), 5u);
  const SoftExtended inv = softext::div(softext::fromInt32(1), softext::fromInt32(-1458));
  const SoftExtended t = softext::mul(softext::fromInt32(-255), inv);
  EXPECT_EQ(softext::truncToInt64(softext::add(softext::mul(softext::fromInt32(243), t), softext::fromDouble(0.5))), 43);
}

#else

TEST(SoftExtended, ArithmeticMatchesTheUnit) { GTEST_SKIP() << "no x87 unit to compare with on this platform"; }

#endif

}  // namespace

namespace {

TEST(ExtendedModel, SoftwareIsChosenWhereTheUnitIsMissing) {
#if !defined(__x86_64__) && !defined(__i386__)
  EXPECT_EQ(RUNAUDIT_EXTENDED_IS_SOFTWARE, 1) << "off x86 only the software model is exact";
#elif defined(RUNAUDIT_SOFT_FLOAT)
  EXPECT_EQ(RUNAUDIT_EXTENDED_IS_SOFTWARE, 1) << "asked for";
#else
  EXPECT_EQ(RUNAUDIT_EXTENDED_IS_SOFTWARE, 0) << "x87 present: the unit itself is used";
#endif
}

}  // namespace
