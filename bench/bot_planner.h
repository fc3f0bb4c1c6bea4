// A planner that plays the game through the real frame step: at every
// decision it tries a few hundred short input plans on copies of the state
// and follows the one whose next landing is highest (soonest on a tie).
// With a timing error, every change of input it makes lands a random few
// frames off the planned frame, and it plans again from where the game
// really is. Used to make two populations of genuine games whose timing
// evidence can be compared (docs/evidence.md).
#pragma once

#include <cstdint>
#include <vector>

#include "climber.h"

struct BotOptions {
  std::uint32_t seed = 0;            // the game's seed
  std::int32_t rejump = 0;           // off: every jump is a press of its own
  std::uint32_t maxFrames = 36000;   // planning stops here; then no key is held until the fall
  std::int32_t timingError = 0;      // each change of input lands uniformly within +-this of its plan
  std::uint64_t errorSeed = 0;       // the timing errors' generator
};

struct BotGame {
  ScriptedGame game;     // every frame's input; the last is the fatal one when `died`
  std::int32_t rejump = 0;
  bool died = false;
  std::uint64_t plannedFrames = 0;  // frames played by the planner, before the cap
  std::uint64_t decisions = 0;
};

BotGame playBot(const BotOptions& options);

// The game as the recorder writes it: one record per run of one input, the
// end marker after the game, the claimed floor and combo those reached.
std::vector<std::uint8_t> botReplayBytes(const BotGame& game);
