// Two replays compared as games: the game is fixed by the seed, rejump on
// or off, and the three input bits of every frame played (the frames
// playback runs: up to the death, the end marker or the last record).
#pragma once

#include <cstdint>

#include "replay/replay_file.h"
#include "tool/state_fields.h"

// States are stepped side by side for at most this many frames from the
// first frame whose input differs.
inline constexpr std::uint64_t STATE_COMPARE_FRAMES = 10'000'000;

struct InputDifference {
  bool found;
  std::uint64_t frame;    // from 1
  std::uint32_t record[2];  // the record each file plays it in, from 1
  std::uint8_t input[2];    // the records' input bytes as stored
};

enum class StateComparison : std::uint8_t {
  NotCompared,  // different seed or rejump: the games differ from the start
  Same,         // no input differs on the frames both play: nor does the state
  Found,        // a first differing state
  Bounded,      // none up to `comparedTo`, where the comparison stops
  Ended,        // none on the frames both play from the first differing input on
};

struct StateDifference {
  StateComparison kind;
  std::uint64_t frame;       // Found: the frame after which the states differ
  std::uint64_t comparedTo;  // the last frame whose states are known (0 when not compared)
  FieldDifference field;     // Found: the first field that differs
};

struct GameComparison {
  bool sameSeed;
  bool sameRejump;             // both on or both off
  std::uint64_t frames[2];     // frames played
  InputDifference input;       // the first frame both play whose input bits differ
  std::uint64_t sharedFrames;  // frames from the start with the same input: input.frame - 1, or the shorter game
  int prefix;                  // 0, or 1 + the index of the file whose game is the other's first frames
  StateDifference state;
  bool sameGame;
};

// Compares the inputs record run by record run; steps the two games side
// by side only from the first differing input on, reaching it through
// playback's exact shortcuts.
GameComparison compareGames(const ReplayFile& a, const ReplayFile& b,
                            std::uint64_t stateFrames = STATE_COMPARE_FRAMES);
