// The fast binary64 path against the exact models: operation by operation
// on operands built to land on and around the rounding points, and frame by
// frame on whole games.
#include <gtest/gtest.h>

#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <random>
#include <thread>

#include "climber.h"
#include "sim/fast_extended.h"
#include "sim/fpu_mode.h"
#include "app/frames_option.h"
#include "sim/frame_variants.h"
#include "sim/soft_extended.h"
#include "sim/fast_cases.h"
#include "support/sim_helpers.h"

namespace {

#if defined(__x86_64__) && !defined(__FMA__)
#define FMA_TARGET [[gnu::target("fma")]]
#else
#define FMA_TARGET
#endif

namespace fx = fastext;

FMA_TARGET double fastSum(double a, double b) { return fx::store(fx::extAdd(fx::widen(a), fx::widen(b))); }
FMA_TARGET double fastDifference(double a, double b) { return fx::store(fx::extSub(fx::widen(a), fx::widen(b))); }
FMA_TARGET double fastNegatedSum(double a, double b) {
  return fx::store(fx::extNeg(fx::extAdd(fx::widen(a), fx::widen(b))));
}
FMA_TARGET double fastProduct(double a, double b) { return fx::store(fx::extMul(fx::widen(a), fx::widen(b))); }
FMA_TARGET bool fastGreater(double a, double b, double c) { return fx::extAdd(fx::widen(a), fx::widen(b)) > fx::widen(c); }
FMA_TARGET bool fastLess(double a, double b, double c) { return fx::extAdd(fx::widen(a), fx::widen(b)) < fx::widen(c); }

class FastExtended : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fastFramesSupported()) GTEST_SKIP() << "no fused multiply-add on this CPU";
    resetFloatingPointUnit();
  }
};

TEST_F(FastExtended, StoredSumsAndDifferencesMatchBothModels) {
  const long found = differences([](PairGenerator& g, bool report) {
    double a, b;
    g.sumOperands(a, b);
    const double want = unitSum(a, b);
    const bool same = bitsOf(fastSum(a, b)) == bitsOf(want) && bitsOf(softSum(a, b)) == bitsOf(want) &&
                      bitsOf(fastDifference(a, -b)) == bitsOf(want) && bitsOf(fastNegatedSum(a, b)) == bitsOf(-want);
    if (!same && report)
      ADD_FAILURE() << std::hexfloat << "a=" << a << " b=" << b << " want " << want << " fast " << fastSum(a, b)
                    << " neg " << fastNegatedSum(a, b) << " soft " << softSum(a, b);
    return same;
  });
  EXPECT_EQ(found, 0);
}

TEST_F(FastExtended, StoredProductsMatchBothModels) {
  const long found = differences([](PairGenerator& g, bool report) {
    double a, b;
    g.productOperands(a, b);
    const double want = unitProduct(a, b);
    const bool same = bitsOf(fastProduct(a, b)) == bitsOf(want) && bitsOf(softProduct(a, b)) == bitsOf(want);
    if (!same && report)
      ADD_FAILURE() << std::hexfloat << "a=" << a << " b=" << b << " want " << want << " fast " << fastProduct(a, b)
                    << " soft " << softProduct(a, b);
    return same;
  });
  EXPECT_EQ(found, 0);
}

// The kept-extended sum against a constant, above all at r = c.
TEST_F(FastExtended, ComparisonsOfUnroundedSumsMatchBothModels) {
  const long found = differences([](PairGenerator& g, bool report) {
    double a, b;
    g.sumOperands(a, b);
    const double r = a + b;
    const double c = g.pick(2) ? r : fromBits(bitsOf(r) + static_cast<std::uint64_t>(g.pick(3)) - 1);
    const bool greater = unitGreater(a, b, c);
    const bool less = unitGreater(-a, -b, -c);  // v < c is -v > -c
    const bool same = fastGreater(a, b, c) == greater && softGreater(a, b, c) == greater && fastLess(a, b, c) == less;
    if (!same && report) ADD_FAILURE() << std::hexfloat << "a=" << a << " b=" << b << " c=" << c;
    return same;
  });
  EXPECT_EQ(found, 0);
}

// Positions are truncated straight from binary64: the same pixels as the
// model's truncation of the widened value, out of range and NaN included.
TEST(FastExtendedModel, StoredValuesTruncateAsTheirWidenedValues) {
  std::mt19937_64 rng{0x7A11};
  PairGenerator g{std::mt19937_64{0x7A12}};
  const double edges[] = {0x1p63, -0x1p63, 0x1.fffffffffffffp62, -0x1.fffffffffffffp62, 0x1p31, -0x1p31, 0x1p32 + 0.5,
                          -0.5, -0.0, 4.9e-324, 1.0 / 0.0, -1.0 / 0.0, std::nan(""), 554.9999999999999, -1.0};
  for (int i = 0; i < 2000000; ++i) {
    double v = i < 15 ? edges[i] : g.pick(2) ? g.any() : g.gameValue();
    if (i % 3 == 0) v = std::ldexp(static_cast<double>(static_cast<std::int64_t>(rng())), -g.pick(64));
    const std::int32_t want = truncLow32(widen(v));
    const auto soft = static_cast<std::int32_t>(static_cast<std::uint32_t>(
        static_cast<std::uint64_t>(softext::truncToInt64(softext::fromDouble(v)))));
    ASSERT_EQ(truncStoredLow32(v), want) << std::hexfloat << v;
    ASSERT_EQ(soft, want) << std::hexfloat << v;
  }
}

// With a fused multiply-add or without (then on split products).
TEST(FastExtendedModel, IsChosenForTheSoftwareModelAndWhereTheUnitIsMissing) {
  useFramePath(FramePath::Auto);
  EXPECT_EQ(fastFramesInUse(), RUNAUDIT_EXTENDED_IS_SOFTWARE != 0);
  useFramePathFromEnvironment();
  (void)HAVE_X87;
}

// The self-test the dispatch runs before using a fast path: both builds
// pass, and each liberty a compiler may take unseen fails it: a product
// fused into the sum it feeds, a product or a sum rounded once in binary64
// (its exact error reassociated away).
double fusedSteer(double vx, std::uint8_t input) {
  if (input & INPUT_LEFT) return vx > 0.0 ? std::fma(vx, k::C0_7, -k::C0_3) : frame_split::steeredSpeed(vx, input);
  if (input & INPUT_RIGHT) return vx < 0.0 ? std::fma(vx, k::C0_7, k::C0_3) : frame_split::steeredSpeed(vx, input);
  return frame_split::steeredSpeed(vx, input);
}
double binary64Steer(double vx, std::uint8_t input) {
  return input & (INPUT_LEFT | INPUT_RIGHT) ? frame_split::steeredSpeed(vx, input) : vx * k::C0_9;
}
double binary64Bounce(double vx) { return vx * k::CM0_9; }
double binary64Move(double x, double vx) { return x + vx; }

TEST(FastExtendedModel, SelfTestPassesBothFastPathsAndFailsACompilersLiberties) {
  const FastFramePath split{frame_split::steeredSpeed, frame_split::bouncedSpeed, frame_split::movedPosition};
  EXPECT_TRUE(agreesWithModel(split));
  if (fastFramesSupported()) {
    EXPECT_TRUE(agreesWithModel({frame_fast::steeredSpeed, frame_fast::bouncedSpeed, frame_fast::movedPosition}));
  }
  EXPECT_FALSE(agreesWithModel({fusedSteer, split.bounce, split.move})) << "a reversal fused with its 0.3";
  EXPECT_FALSE(agreesWithModel({binary64Steer, split.bounce, split.move})) << "the decay rounded once";
  EXPECT_FALSE(agreesWithModel({split.steer, binary64Bounce, split.move})) << "the bounce rounded once";
  EXPECT_FALSE(agreesWithModel({split.steer, split.bounce, binary64Move})) << "a move rounded once";
}

// Whole games: the two builds of the frame step in lockstep, compared after
// every frame, on climbing games and on games of random long records.
TEST(FrameVariants, FastAndExactFramesAgreeOnEveryFrame) {
  if (!fastFramesSupported()) GTEST_SKIP() << "no fused multiply-add on this CPU";
  resetFloatingPointUnit();
  long frames = 0;
  for (std::uint32_t seed = 0; seed < 12; ++seed) {
    const ScriptedGame game = scriptClimb(seed * 7919, 60000);
    GameState fast = freshGame(game.seed, 1), exact = fast;
    for (std::size_t i = 0; i < game.inputs.size(); ++i, ++frames) {
      const bool fastAlive = frame_fast::stepFrame(fast, game.inputs[i]);
      ASSERT_EQ(fastAlive, frame_exact::stepFrame(exact, game.inputs[i])) << "climb " << seed << " frame " << i;
      ASSERT_TRUE(sameState(fast, exact)) << "climb " << seed << " frame " << i;
    }
  }
  std::mt19937_64 rng{0xF00D};
  for (int game = 0; game < 40; ++game) {
    GameState fast = freshGame(static_cast<std::uint32_t>(rng()), static_cast<std::int32_t>(rng() % 2)), exact = fast;
    bool alive = true;
    for (int record = 0; record < 60 && alive; ++record) {
      const auto input = static_cast<std::uint8_t>(rng());
      const int length = 1 + static_cast<int>(rng() % (rng() % 4 == 0 ? 8000 : 60));
      for (int i = 0; i < length && alive; ++i, ++frames) {
        alive = frame_fast::stepFrame(fast, input);
        ASSERT_EQ(alive, frame_exact::stepFrame(exact, input)) << "game " << game << " record " << record;
        ASSERT_TRUE(sameState(fast, exact)) << "game " << game << " record " << record << " frame " << i;
      }
    }
  }
  EXPECT_GT(frames, 300000);
}

}  // namespace
