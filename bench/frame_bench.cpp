// Cost of one simulated frame in typical and in demanding games.
#include <benchmark/benchmark.h>

#include "climber.h"
#include "replay/replay_file.h"
#include "sim/fast_extended.h"
#include "sim/fpu_mode.h"
#include "sim/frame_variants.h"
#include "sim/frame_step.h"
#include "sim/game_state.h"

namespace {

void reportPerFrame(benchmark::State& state, double framesPerIteration) {
  state.counters["per_frame"] =
      benchmark::Counter(framesPerIteration, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_StepFrame_Standing(benchmark::State& state) {
  resetFloatingPointUnit();
  GameState s;
  initGame(s, 0, 0);
  for (auto _ : state) benchmark::DoNotOptimize(stepFrame(s, 0));
  reportPerFrame(state, 1);
}
BENCHMARK(BM_StepFrame_Standing);

// Runs and jumps from wall to wall: bounces, jumps and landings on floor 0.
void BM_StepFrame_WallToWall(benchmark::State& state) {
  resetFloatingPointUnit();
  GameState s;
  initGame(s, 1, 0);
  std::uint32_t frame = 0;
  for (auto _ : state) {
    const std::uint8_t input = (frame++ / 120) % 2 ? INPUT_LEFT | INPUT_JUMP : INPUT_RIGHT | INPUT_JUMP;
    benchmark::DoNotOptimize(stepFrame(s, input));
  }
  reportPerFrame(state, 1);
}
BENCHMARK(BM_StepFrame_WallToWall);

// Long climbing games: scrolling, speed-up, new floors, landings, combos.
const std::vector<ScriptedGame>& climbingGames() {
  static const std::vector<ScriptedGame> games = [] {
    std::vector<ScriptedGame> g;
    for (std::uint32_t seed = 0; seed < 200; ++seed) g.push_back(scriptClimb(seed, 100000));
    return g;
  }();
  return games;
}

// The climbing games on one build of the frame step: stepFrame() as this
// CPU chooses it, the exact model alone, or the fast binary64 path (its
// fallback is the exact model of this build).
template <bool (*step)(GameState&, std::uint8_t)>
void climbWith(benchmark::State& state) {
  resetFloatingPointUnit();
  const std::vector<ScriptedGame>& games = climbingGames();
  double frames = 0;
  for (const ScriptedGame& g : games) frames += static_cast<double>(g.inputs.size());
  GameState s;
  for (auto _ : state) {
    for (const ScriptedGame& g : games) {
      initGame(s, 1, g.seed);
      for (std::uint8_t input : g.inputs) benchmark::DoNotOptimize(step(s, input));
    }
  }
  reportPerFrame(state, frames);
  state.counters["frames"] = frames;
}

void BM_StepFrame_Climbing(benchmark::State& state) { climbWith<stepFrame>(state); }
BENCHMARK(BM_StepFrame_Climbing)->Unit(benchmark::kMillisecond);

void BM_StepFrame_Climbing_ExactModel(benchmark::State& state) { climbWith<frame_exact::stepFrame>(state); }
BENCHMARK(BM_StepFrame_Climbing_ExactModel)->Unit(benchmark::kMillisecond);

void BM_StepFrame_Climbing_FastPath(benchmark::State& state) {
  if (!fastFramesSupported()) {
    state.SkipWithError("no fused multiply-add on this CPU");
    return;
  }
  climbWith<frame_fast::stepFrame>(state);
}
BENCHMARK(BM_StepFrame_Climbing_FastPath)->Unit(benchmark::kMillisecond);

// How often the fast path hands an operation to the exact model, on the
// climbing games and on a player standing still while the speed decays
// through the subnormals (7,000 frames from a full run).
void BM_FastPath_FallbackRate(benchmark::State& state) {
  if (!fastFramesSupported()) {
    state.SkipWithError("no fused multiply-add on this CPU");
    return;
  }
  fastOpCounts = {};
  climbWith<frame_fast_counted::stepFrame>(state);
  state.counters["climbing_ops"] = static_cast<double>(fastOpCounts.operations);
  state.counters["climbing_fallback_rate"] =
      static_cast<double>(fastOpCounts.fallbacks) / static_cast<double>(fastOpCounts.operations);
  state.counters["climbing_full_check_rate"] =
      static_cast<double>(fastOpCounts.nearMidpoint) / static_cast<double>(fastOpCounts.operations);
  fastOpCounts = {};
  GameState s;
  initGame(s, 0, 0);
  for (int i = 0; i < 100; ++i) frame_fast_counted::stepFrame(s, INPUT_RIGHT);
  for (int i = 0; i < 7000; ++i) frame_fast_counted::stepFrame(s, 0);
  state.counters["decay_fallback_rate"] =
      static_cast<double>(fastOpCounts.fallbacks) / static_cast<double>(fastOpCounts.operations);
}
BENCHMARK(BM_FastPath_FallbackRate)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
