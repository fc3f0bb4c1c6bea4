// Loading, checksumming and judging whole replays.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "replay/replay_file.h"
#include "sim/fpu_mode.h"
#include "verify/playback.h"

namespace {

// Writes a replay of `count` copies of one record, with its checksum.
std::string writeReplay(const char* name, std::uint32_t count, InputRecord record) {
  ReplayHeader h{};
  std::copy(std::begin(REPLAY_SIGNATURE), std::end(REPLAY_SIGNATURE), h.signature);
  h.recordCount = static_cast<std::int32_t>(count);
  std::vector<std::uint8_t> body(static_cast<std::size_t>(count) * INPUT_RECORD_SIZE);
  for (std::uint32_t j = 0; j < count; ++j) {
    std::uint8_t* p = body.data() + static_cast<std::size_t>(j) * INPUT_RECORD_SIZE;
    for (int b = 0; b < 4; ++b) p[b] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(record.repeat) >> (8 * b));
    p[4] = record.input;
  }
  ReplayFile file{h, body.data()};
  h.checksum = replayChecksum(file);
  std::uint8_t header[REPLAY_HEADER_SIZE];
  encodeHeader(h, header);

  const std::string path = std::string("/tmp/runaudit_bench_") + name + "_" + std::to_string(::getpid()) + ".wlx";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(header, 1, sizeof header, f);
  std::fwrite(body.data(), 1, body.size(), f);
  std::fclose(f);
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

// The whole program, process start included, on each shipped sample.
void BM_RunauditOnSample(benchmark::State& state, const char* sample) {
  const std::string cmd = std::string(RUNAUDIT_BINARY) + " " + RUNAUDIT_SAMPLES + "/" + sample + " >/dev/null";
  for (auto _ : state)
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("runaudit failed");
}
BENCHMARK_CAPTURE(BM_RunauditOnSample, example, "example.wlx")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RunauditOnSample, seed36, "seed36.wlx")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
