// A scripted player that climbs: it steers toward the floor above the one it
// last landed on and keeps the jump key down (rejump on). Used to build long
// games with scrolling, landings and combos without shipping recordings.
#pragma once

#include <cstdint>
#include <vector>

#include "replay/replay_file.h"
#include "sim/game_state.h"

struct ScriptedGame {
  std::uint32_t seed;
  std::vector<std::uint8_t> inputs;  // one per frame; the last frame is the fatal one, if any
};

// Plays until the player dies or `maxFrames` frames have run.
ScriptedGame scriptClimb(std::uint32_t seed, std::uint32_t maxFrames);

// The climber's input for one frame: the jump key, and the direction key
// toward the middle of the floor above the last one landed on.
std::uint8_t climbInput(const GameState& state);

// The game as records: runs of equal inputs, then the end marker.
std::vector<InputRecord> climbRecords(const ScriptedGame& game);

// The benchmarks' climbing games: seeds 0 to 199, at most 100,000 frames each.
inline constexpr std::uint32_t CLIMBING_GAMES = 200;
inline constexpr std::uint32_t CLIMBING_MAX_FRAMES = 100000;
