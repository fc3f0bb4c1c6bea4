// The evidence of whole games: a 10-minute climb (36,000 frames), and files
// made to cost as much as they can per byte.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "climber.h"
#include "evidence/evidence.h"
#include "replay_writer.h"
#include "sim/fpu_mode.h"

namespace {

constexpr std::uint32_t TEN_MINUTES = 36000;

// The first of the climber's games that lasts ten minutes (the climber
// steers left and right toward the next floor and holds the jump key).
std::vector<std::uint8_t> tenMinuteClimb() {
  for (std::uint32_t seed = 0;; ++seed) {
    ScriptedGame game = scriptClimb(seed, TEN_MINUTES);
    if (game.inputs.size() < TEN_MINUTES) continue;
    return replayBytes(1, seed, climbRecords(game));
  }
}

void runEvidence(benchmark::State& state, const std::vector<std::uint8_t>& bytes) {
  resetFloatingPointUnit();
  ReplayFile replay{};
  if (loadReplayBytes(bytes.data(), bytes.size(), replay) != nullptr) {
    state.SkipWithError("load failed");
    return;
  }
  Evidence ev;
  for (auto _ : state) {
    ev = analyseEvidence(replay, bytes.size());
    benchmark::DoNotOptimize(ev.summary.decisive);
  }
  const double edges = static_cast<double>(ev.edges.size());
  state.counters["edges"] = edges;
  state.counters["frames"] = static_cast<double>(ev.gameFrames);
  state.counters["framesStepped"] = static_cast<double>(ev.framesStepped);
  state.counters["cut"] = static_cast<double>(ev.cut != EvidenceCut::None);
  state.counters["perEdge"] = benchmark::Counter(edges, benchmark::Counter::kIsIterationInvariantRate |
                                                           benchmark::Counter::kInvert);
  state.counters["MB"] = static_cast<double>(bytes.size()) / 1e6;
}

void BM_Evidence_TenMinuteClimb(benchmark::State& state) {
  static const std::vector<std::uint8_t> bytes = tenMinuteClimb();
  runEvidence(state, bytes);
}
BENCHMARK(BM_Evidence_TenMinuteClimb)->Unit(benchmark::kMillisecond);

// A megabyte of one-frame records changing key every frame: as many edges
// as a file can hold, every one of them cut short by its neighbours, and
// the frame budget and the edge limit as the only bounds.
void BM_Evidence_EdgeDense_1MB(benchmark::State& state) {
  static const std::vector<std::uint8_t> bytes = [] {
    std::vector<InputRecord> records;
    const std::uint8_t cycle[] = {INPUT_RIGHT, INPUT_RIGHT | INPUT_JUMP, INPUT_LEFT, INPUT_LEFT | INPUT_JUMP};
    for (std::uint32_t j = 0; j < 200000; ++j) records.push_back({0, cycle[j % 4]});
    return replayBytes(0, 7, records);
  }();
  runEvidence(state, bytes);
}
BENCHMARK(BM_Evidence_EdgeDense_1MB)->Unit(benchmark::kMillisecond);

// Keys that change every 9 frames over a megabyte, wide apart enough that
// every offset of the reach is tried: the costliest edges there are.
void BM_Evidence_WideEdges_1MB(benchmark::State& state) {
  static const std::vector<std::uint8_t> bytes = [] {
    std::vector<InputRecord> records;
    for (std::uint32_t j = 0; j < 200000; ++j) records.push_back({8, j % 2 ? INPUT_LEFT : INPUT_RIGHT});
    return replayBytes(0, 7, records);
  }();
  runEvidence(state, bytes);
}
BENCHMARK(BM_Evidence_WideEdges_1MB)->Unit(benchmark::kMillisecond);

}  // namespace
