// Finds, the frame it happens, a state equal to one seen earlier in the
// same stretch of frames: the recent states are kept in a ring and indexed
// by a hash of a few fields, so a repeat costs one hash and one comparison
// instead of the several periods a single-mark search waits.
#pragma once

#include <cstdint>

#include "sim/game_state.h"

struct RepeatFinder {
  static constexpr std::uint32_t WINDOW = 128;  // states kept: the longest period found at once
  static constexpr std::uint32_t SLOTS = 2048;  // hash slots, a power of two
  std::uint64_t first = 1;  // number of the stretch's first state; numbers start at 1
  std::uint64_t next = 1;   // number the next state recorded gets
  std::uint64_t slotState[SLOTS] = {};  // number of the last state hashed to each slot, 0 for none
  GameState ring[WINDOW];
};

// Starts a new stretch whose first state is `state`; earlier states no
// longer count as repeats.
void startStretch(RepeatFinder& finder, const GameState& state);

// Records the state that follows the last one recorded. Returns how many
// frames earlier in the stretch the same state was seen (bit for bit), or 0.
// A repeat further back than WINDOW, or hidden by a hash collision, is not
// found: the caller needs another way to find those.
std::uint32_t recordAndFindRepeat(RepeatFinder& finder, const GameState& state);

// The state recorded `back` records before the last one, for 0 < back <
// WINDOW and within the stretch (a repeat's distance or less).
inline const GameState& recordedBefore(const RepeatFinder& finder, std::uint32_t back) {
  return finder.ring[(finder.next - 1 - back) % RepeatFinder::WINDOW];
}
