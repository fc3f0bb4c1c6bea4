// Loading, checksumming and judging whole replays.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "api/runaudit.h"
#include "app/frames_option.h"
#include "climber.h"
#include "replay_writer.h"
#include "replay/replay_file.h"
#include "sim/frame_step.h"
#include "sim/game_state.h"
#include "sim/fpu_mode.h"
#include "verify/playback.h"

namespace {

// Writes a replay of `count` copies of one record, with its checksum.
std::string writeReplay(const char* name, std::uint32_t count, InputRecord record) {
  const std::string path = std::string("/tmp/runaudit_bench_") + name + "_" + std::to_string(::getpid()) + ".wlx";
  writeBytes(path, replayBytes(0, 0, std::vector<InputRecord>(count, record)));
  return path;
}

void BM_LoadAndChecksum_1M_Records(benchmark::State& state) {
  const std::string path = writeReplay("load", 1000000, InputRecord{7, INPUT_RIGHT});
  for (auto _ : state) {
    ReplayFile replay{};
    const char* message = loadReplay(path.c_str(), replay);
    if (message != nullptr) state.SkipWithError(message);
    releaseReplay(replay);
  }
  ::unlink(path.c_str());
}
BENCHMARK(BM_LoadAndChecksum_1M_Records)->Unit(benchmark::kMillisecond);

// A standing player for ever: 2^31 frames per record, the screen never scrolls.
void BM_Verdict_StandingForever(benchmark::State& state) {
  resetFloatingPointUnit();
  const auto count = static_cast<std::uint32_t>(state.range(0));
  const std::string path = writeReplay("stand", count, InputRecord{2147483647, 0x00});
  ReplayFile replay{};
  if (loadReplay(path.c_str(), replay) != nullptr) state.SkipWithError("load failed");
  for (auto _ : state) benchmark::DoNotOptimize(playReplay(replay));
  releaseReplay(replay);
  ::unlink(path.c_str());
}
BENCHMARK(BM_Verdict_StandingForever)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// The costliest records the worst-case search found (bench/worst/), as
// seconds of verdict per MB of file.
void BM_Verdict_WorstCase(benchmark::State& state, const char* name) {
  resetFloatingPointUnit();
  const std::string path = std::string(RUNAUDIT_BENCH_WORST) + "/" + name;
  ReplayFile replay{};
  if (loadReplay(path.c_str(), replay) != nullptr) state.SkipWithError("load failed");
  const double megabytes = static_cast<double>(REPLAY_HEADER_SIZE + recordCountOf(replay) * INPUT_RECORD_SIZE) / 1e6;
  for (auto _ : state) benchmark::DoNotOptimize(playReplay(replay));
  const PlaybackOutcome out = playReplayOutcome(replay);
  state.counters["frames_per_byte"] = static_cast<double>(out.framesSimulated) / (megabytes * 1e6);
  state.counters["speed_steps_per_byte"] = static_cast<double>(out.speedSteps) / (megabytes * 1e6);
  releaseReplay(replay);
  state.counters["s_per_MB"] =
      benchmark::Counter(megabytes, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK_CAPTURE(BM_Verdict_WorstCase, before_change_840, "before-change-840.wlx")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Verdict_WorstCase, after_change_76, "after-change-76.wlx")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Verdict_WorstCase, rearmed_decay, "rearmed-decay.wlx")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Verdict_WorstCase, after_repeat_finder_58, "after-repeat-finder-58.wlx")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Verdict_WorstCase, after_pin_52, "after-pin-52.wlx")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Verdict_WorstCase, after_shortcuts_35, "after-shortcuts-35.wlx")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Verdict_WorstCase, after_shortcuts_37, "after-shortcuts-37.wlx")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Verdict_WorstCase, after_combo_34, "after-combo-34.wlx")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Verdict_WorstCase, after_combo_33, "after-combo-33.wlx")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Verdict_WorstCase, after_room_33a, "after-room-33a.wlx")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Verdict_WorstCase, after_room_33b, "after-room-33b.wlx")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Verdict_WorstCase, short_records_standing_62, "short-records-standing-62.wlx")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Verdict_WorstCase, cpu_search_1, "cpu-search-1.wlx")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Verdict_WorstCase, after_memo_13, "after-memo-13.wlx")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Verdict_WorstCase, after_memo_growth_14, "after-memo-growth-14.wlx")->Unit(benchmark::kMillisecond);

// The same climbing games as the per-frame benchmark, through the playback
// routine: what playReplay adds to stepFrame (record decoding, the frame
// observer check, cycle detection on long records).
void BM_PlayReplay_Climbing(benchmark::State& state) {
  resetFloatingPointUnit();
  std::vector<std::vector<std::uint8_t>> bodies;
  std::vector<ReplayFile> replays;
  double frames = 0;
  for (std::uint32_t seed = 0; seed < CLIMBING_GAMES; ++seed) {
    const ScriptedGame game = scriptClimb(seed, CLIMBING_MAX_FRAMES);
    frames += static_cast<double>(game.inputs.size());
    const std::vector<InputRecord> records = climbRecords(game);
    std::vector<std::uint8_t> body(records.size() * INPUT_RECORD_SIZE);
    for (std::size_t j = 0; j < records.size(); ++j) encodeRecord(records[j], &body[j * INPUT_RECORD_SIZE]);
    ReplayFile file{};
    file.header.rejump = 1;
    file.header.seed = seed;
    file.header.recordCount = static_cast<std::int32_t>(body.size() / INPUT_RECORD_SIZE);
    bodies.push_back(std::move(body));
    replays.push_back(file);
  }
  for (std::size_t i = 0; i < replays.size(); ++i) replays[i].records = bodies[i].data();
  for (auto _ : state)
    for (const ReplayFile& r : replays) benchmark::DoNotOptimize(playReplay(r));
  state.counters["per_frame"] =
      benchmark::Counter(frames, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_PlayReplay_Climbing)->Unit(benchmark::kMillisecond);

// A batch of uploads: every sample and every file of bench/worst, judged
// as check judged them before the C API (load and play), through the API
// from their paths, and through the API from bytes already in memory.
void BM_CheckBatch(benchmark::State& state) {
  std::vector<std::string> paths;
  for (const char* name : {"climb.wlx", "example.wlx", "seed36.wlx"}) paths.push_back(std::string(RUNAUDIT_SAMPLES) + "/" + name);
  for (const auto& entry : std::filesystem::directory_iterator(RUNAUDIT_BENCH_WORST)) paths.push_back(entry.path().string());
  std::vector<std::vector<std::uint8_t>> files;
  for (const std::string& path : paths) {
    std::ifstream in(path, std::ios::binary);
    files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  resetFloatingPointUnit();
  const auto how = state.range(0);
  for (auto _ : state)
    for (std::size_t i = 0; i < paths.size(); ++i) {
      runaudit_result result;
      if (how == 0) {
        ReplayFile replay{};
        if (loadReplay(paths[i].c_str(), replay) == nullptr) benchmark::DoNotOptimize(playReplay(replay));
        releaseReplay(replay);
      } else if (how == 1) {
        benchmark::DoNotOptimize(runaudit_check_file(paths[i].c_str(), &result));
      } else {
        benchmark::DoNotOptimize(runaudit_check_bytes(files[i].data(), files[i].size(), &result));
      }
    }
  state.SetLabel(how == 0 ? "load and play" : how == 1 ? "runaudit_check_file" : "runaudit_check_bytes");
  state.counters["files"] = static_cast<double>(paths.size());
}
BENCHMARK(BM_CheckBatch)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// The unit of a leaderboard's load: one upload of a game of at least ten
// minutes (36,000 frames) that ends as a real game does, by falling, judged
// from bytes in memory. games_per_cpu_second is what one core keeps up with.
void BM_CheckTenMinuteGame(benchmark::State& state) {
  // The climber for ten minutes, then no key until the scrolling screen
  // leaves the player behind.
  ScriptedGame game{0, {}};
  for (bool found = false; !found && game.seed < 1000; game.seed += found ? 0 : 1) {
    GameState s;
    initGame(s, 1, game.seed);
    game.inputs.clear();
    bool alive = true;
    while (alive && game.inputs.size() < 36000) {
      game.inputs.push_back(climbInput(s));
      alive = stepFrame(s, game.inputs.back());
    }
    while (alive && game.inputs.size() < 72000) {
      game.inputs.push_back(0);
      alive = stepFrame(s, 0);
    }
    found = !alive && game.inputs.size() > 36000;
  }
  if (game.seed == 1000) {
    state.SkipWithError("no climb lasted ten minutes and then ended");
    return;
  }
  const std::vector<std::uint8_t> bytes = replayBytes(1, game.seed, climbRecords(game));
  const double frames = static_cast<double>(game.inputs.size());
  resetFloatingPointUnit();
  runaudit_result result;
  for (auto _ : state) benchmark::DoNotOptimize(runaudit_check_bytes(bytes.data(), bytes.size(), &result));
  if (result.verdict != RUNAUDIT_VALID) state.SkipWithError("the climb is not judged valid");
  state.counters["frames"] = frames;
  state.counters["games_per_cpu_second"] = benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_CheckTenMinuteGame)->Unit(benchmark::kMicrosecond);

// The whole program, process start included, on each shipped sample.
void BM_RunauditOnSample(benchmark::State& state, const char* sample) {
  const std::string cmd = std::string(RUNAUDIT_BINARY) + " " + RUNAUDIT_SAMPLES + "/" + sample + " >/dev/null";
  for (auto _ : state)
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("runaudit failed");
}
BENCHMARK_CAPTURE(BM_RunauditOnSample, example, "example.wlx")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RunauditOnSample, seed36, "seed36.wlx")->Unit(benchmark::kMillisecond);

}  // namespace

// BENCHMARK_MAIN, with the programs' RUNAUDIT_FRAMES switch.
int main(int argc, char** argv) {
  useFramePathFromEnvironment();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
