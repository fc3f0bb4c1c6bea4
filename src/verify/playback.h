// Replaying a loaded recording through the simulation and judging it.
#pragma once

#include <cstdint>

#include "replay/replay_file.h"
#include "sim/game_state.h"

struct PlaybackOutcome {
  bool valid;
  bool died;                    // the player dropped off the screen
  std::uint32_t recordsPlayed;  // records simulated; the game ended in the last of them when died
  std::uint64_t frames;         // frames simulated
  bool markerFollows;           // the record after the last one played is the end marker
  GameState finalState;
};

// Plays every record from a fresh game and reports what happened.
PlaybackOutcome playReplayOutcome(const ReplayFile& replay);

// True when the game ends during a record that the end marker follows.
bool playReplay(const ReplayFile& replay);
