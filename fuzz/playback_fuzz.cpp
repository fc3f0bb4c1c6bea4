// Arbitrary header values and records through playback: fast-forward (cycle
// skipping and the settled-speed shortcut) and frame-by-frame playback must
// agree exactly, and nothing may misbehave.
// Input: rejump (4 bytes), seed (4 bytes), then 5-byte records whose repeat
// is bounded so that runs stay short.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "sim/fpu_mode.h"
#include "verify/playback.h"

namespace {

constexpr std::int32_t MAX_REPEAT = 20000;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  resetFloatingPointUnit();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 8) return 0;
  ReplayFile replay{};
  replay.header.rejump = static_cast<std::int32_t>(loadLE32(data));
  replay.header.seed = loadLE32(data + 4);

  const std::size_t count = (size - 8) / INPUT_RECORD_SIZE;
  std::vector<std::uint8_t> body(count * INPUT_RECORD_SIZE + 1);
  std::memcpy(body.data(), data + 8, count * INPUT_RECORD_SIZE);
  for (std::size_t j = 0; j < count; ++j) {
    std::uint8_t* p = body.data() + j * INPUT_RECORD_SIZE;
    encodeRecord({static_cast<std::int32_t>(loadLE32(p)) % MAX_REPEAT, p[4]}, p);
  }
  replay.header.recordCount = static_cast<std::int32_t>(count);
  replay.records = body.data();

  PlaybackOptions slow;
  slow.fastForward = false;
  const PlaybackOutcome a = playReplayOutcome(replay, slow);
  const PlaybackOutcome b = playReplayOutcome(replay);
  if (a.valid != b.valid || a.died != b.died || a.frames != b.frames || a.recordsPlayed != b.recordsPlayed ||
      a.markerFollows != b.markerFollows || a.highestFloor != b.highestFloor || !sameState(a.finalState, b.finalState) ||
      b.framesSimulated > a.framesSimulated)
    std::abort();
  if (a.valid != playReplay(replay)) std::abort();
  return 0;
}
