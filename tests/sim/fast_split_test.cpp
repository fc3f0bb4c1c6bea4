// The fast path without a fused multiply-add (products split into halves)
// against the exact models: operation by operation, at the limits of the
// split as well, and frame by frame on whole games.
#define RUNAUDIT_FAST_WITHOUT_FMA 1

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "climber.h"
#include "sim/fast_cases.h"
#include "sim/fast_extended.h"
#include "sim/fpu_mode.h"
#include "sim/frame_variants.h"
#include "support/sim_helpers.h"

namespace {

namespace fs = fastext_split;

double splitSum(double a, double b) { return fs::store(fs::extAdd(fs::widen(a), fs::widen(b))); }
double splitProduct(double a, double b) { return fs::store(fs::extMul(fs::widen(a), fs::widen(b))); }
bool splitGreater(double a, double b, double c) { return fs::extAdd(fs::widen(a), fs::widen(b)) > fs::widen(c); }

// Operands at the edges of what the split keeps exact: a factor near
// 2^995, where c·x nears the largest binary64, and products near 2^-960
// and 2^-969, where partial products near the subnormals.
double significandOf(double x) {
  int exponent;
  return std::frexp(x, &exponent);
}

void splitEdgeOperands(PairGenerator& g, double& a, double& b) {
  g.productOperands(a, b);
  if (a == 0.0 || b == 0.0 || !std::isfinite(a) || !std::isfinite(b)) return;
  switch (g.pick(3)) {
    case 0: {
      a = std::ldexp(significandOf(a), 990 + g.pick(10));
      break;
    }
    case 1: {
      const int target = -975 + g.pick(25);  // the product's exponent
      a = std::ldexp(significandOf(a), target - std::ilogb(b) + g.pick(3) - 1);
      break;
    }
    default: {
      // A subnormal factor times a large one.
      a = std::ldexp(significandOf(a), -1030 - g.pick(40));
      b = std::ldexp(significandOf(b), 20 + g.pick(975));
      break;
    }
  }
}

TEST(FastSplit, StoredProductsMatchBothModels) {
  resetFloatingPointUnit();
  const long found = differences([](PairGenerator& g, bool report) {
    double a, b;
    if (g.pick(3) == 0)
      splitEdgeOperands(g, a, b);
    else
      g.productOperands(a, b);
    const double want = unitProduct(a, b);
    const bool same = bitsOf(splitProduct(a, b)) == bitsOf(want) && bitsOf(softProduct(a, b)) == bitsOf(want);
    if (!same && report)
      ADD_FAILURE() << std::hexfloat << "a=" << a << " b=" << b << " want " << want << " split " << splitProduct(a, b);
    return same;
  });
  EXPECT_EQ(found, 0);
}

// Sums and comparisons take no product: the same code as the fused path,
// checked once more in this build of it.
TEST(FastSplit, StoredSumsAndComparisonsMatchBothModels) {
  resetFloatingPointUnit();
  const long found = differences([](PairGenerator& g, bool report) {
    double a, b;
    g.sumOperands(a, b);
    const double want = unitSum(a, b);
    const double r = a + b;
    const double c = g.pick(2) ? r : fromBits(bitsOf(r) + static_cast<std::uint64_t>(g.pick(3)) - 1);
    const bool same = bitsOf(splitSum(a, b)) == bitsOf(want) && splitGreater(a, b, c) == unitGreater(a, b, c);
    if (!same && report) ADD_FAILURE() << std::hexfloat << "a=" << a << " b=" << b << " c=" << c;
    return same;
  });
  EXPECT_EQ(found, 0);
}

// Whole games: the split and the exact frame step in lockstep.
TEST(FrameVariants, SplitAndExactFramesAgreeOnEveryFrame) {
  resetFloatingPointUnit();
  long frames = 0;
  for (std::uint32_t seed = 0; seed < 12; ++seed) {
    const ScriptedGame game = scriptClimb(seed * 7919 + 3, 60000);
    GameState split = freshGame(game.seed, 1), exact = split;
    for (std::size_t i = 0; i < game.inputs.size(); ++i, ++frames) {
      const bool alive = frame_split::stepFrame(split, game.inputs[i]);
      ASSERT_EQ(alive, frame_exact::stepFrame(exact, game.inputs[i])) << "climb " << seed << " frame " << i;
      ASSERT_TRUE(sameState(split, exact)) << "climb " << seed << " frame " << i;
    }
  }
  std::mt19937_64 rng{0x5711};
  for (int game = 0; game < 40; ++game) {
    GameState split = freshGame(static_cast<std::uint32_t>(rng()), static_cast<std::int32_t>(rng() % 2)), exact = split;
    bool alive = true;
    for (int record = 0; record < 60 && alive; ++record) {
      const auto input = static_cast<std::uint8_t>(rng());
      const int length = 1 + static_cast<int>(rng() % (rng() % 4 == 0 ? 8000 : 60));
      for (int i = 0; i < length && alive; ++i, ++frames) {
        alive = frame_split::stepFrame(split, input);
        ASSERT_EQ(alive, frame_exact::stepFrame(exact, input)) << "game " << game << " record " << record;
        ASSERT_TRUE(sameState(split, exact)) << "game " << game << " record " << record << " frame " << i;
      }
    }
  }
  EXPECT_GT(frames, 300000);
}

}  // namespace
