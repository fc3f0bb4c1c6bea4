// A fast path of the frame step compiled as someone else's build might:
// this program's own copy of frame_split (or of frame_fast, with
// -DCOPY=frame_fast), built with contraction on and an FMA unit, which the
// library's dispatch then uses in place of its own. Whatever the compiler
// made of it: if the copy passes the self-test, it must agree with the exact
// model on climbing games and on operands around the rounding points; if it
// fails, the dispatch must not use it (run with RUNAUDIT_FRAMES=split).
#include <cstdio>
#include <cstring>
#include <random>

#include "climber.h"
#include "replay/replay_file.h"
#include "sim/fpu_mode.h"
#include "sim/frame_variants.h"
#include "sim/game_state.h"
#include "sim/soft_extended.h"

#ifndef COPY
#define COPY frame_split
#endif

namespace {

bool same(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

double modelProduct(double a, double b) {
  return softext::toDouble(softext::mul(softext::fromDouble(a), softext::fromDouble(b)));
}
double modelSum(double a, double b) {
  return softext::toDouble(softext::add(softext::fromDouble(a), softext::fromDouble(b)));
}

// Speeds and positions of the game's magnitudes with random low bits: about
// one product or sum in a thousand is rounded twice differently from once.
long operandDifferences() {
  std::mt19937_64 rng{20261210};
  std::uniform_real_distribution<double> speed(-12.2, 12.2), position(85.0, 555.0);
  long found = 0;
  for (int i = 0; i < 2000000; ++i) {
    const double vx = speed(rng), x = position(rng);
    const std::uint8_t input = static_cast<std::uint8_t>(rng() % 3);
    double want = vx;
    if (input == INPUT_LEFT) want = modelSum(vx > 0.0 ? modelProduct(vx, 0.7) : vx, -0.3);
    else if (input == INPUT_RIGHT) want = modelSum(vx < 0.0 ? modelProduct(vx, 0.7) : vx, 0.3);
    else want = modelProduct(vx, 0.9);
    found += !same(COPY::steeredSpeed(vx, input), want) + !same(COPY::bouncedSpeed(vx), modelProduct(vx, -0.9)) +
             !same(COPY::movedPosition(x, vx), modelSum(x, vx));
  }
  return found;
}

long lockstepDifferences() {
  for (std::uint32_t seed = 0; seed < 8; ++seed) {
    const ScriptedGame game = scriptClimb(seed * 7919, 60000);
    GameState copy{}, exact{};
    initGame(copy, 1, game.seed);
    initGame(exact, 1, game.seed);
    for (const std::uint8_t input : game.inputs)
      if (COPY::stepFrame(copy, input) != frame_exact::stepFrame(exact, input) || !sameState(copy, exact)) return 1;
  }
  return 0;
}

}  // namespace

int main() {
  resetFloatingPointUnit();
  const bool passes = agreesWithModel({COPY::steeredSpeed, COPY::bouncedSpeed, COPY::movedPosition});
  if (!passes) {
    std::printf("self-test fails; the copy is %s\n", fastFramesInUse() ? "used" : "not used");
    return fastFramesInUse() ? 1 : 0;
  }
  const long operands = operandDifferences(), games = lockstepDifferences();
  std::printf("self-test passes; %ld operand differences, %s\n", operands, games ? "games differ" : "games agree");
  return operands == 0 && games == 0 ? 0 : 1;
}
