#include "verify/playback.h"

namespace {

// Runs one record: 1 + repeat frames (one when repeat is 0 or negative),
// cut short by the player's death. Returns whether the player is alive.
bool playRecord(GameState& state, InputRecord record, std::uint64_t& frames) {
  const std::uint32_t total = record.repeat > 0 ? static_cast<std::uint32_t>(record.repeat) + 1u : 1u;
  for (std::uint32_t n = 0; n < total; ++n) {
    ++frames;
    if (!stepFrame(state, record.input)) return false;
  }
  return true;
}

}  // namespace

PlaybackOutcome playReplayOutcome(const ReplayFile& replay) {
  PlaybackOutcome out{};
  initGame(out.finalState, replay.header.rejump, replay.header.seed);

  const std::uint32_t count = recordCountOf(replay);
  bool alive = true;
  std::uint32_t i = 0;
  while (i < count) {
    const InputRecord record = recordAt(replay, i);
    if (record.input & END_MARKER) break;
    alive = playRecord(out.finalState, record, out.frames);
    ++i;
    if (!alive) break;
  }

  out.recordsPlayed = i;
  out.died = !alive;
  out.markerFollows = i < count && (recordAt(replay, i).input & END_MARKER) != 0;
  // A death in the last record has no record after it to inspect: a genuine
  // recording always ends with its marker, so that counts as invalid.
  out.valid = out.died && out.markerFollows;
  return out;
}

bool playReplay(const ReplayFile& replay) { return playReplayOutcome(replay).valid; }
