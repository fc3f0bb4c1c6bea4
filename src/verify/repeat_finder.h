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

// What playback watches for repeated states within a stretch: the finder
// sees a state every `stride` frames, and Brent's single mark, moved at
// each power of two, catches the longer periods and those a hash collision
// hides.
struct CycleWatch {
  GameState mark{};
  std::uint32_t power = 1;
  std::uint32_t period = 0;         // frames since the mark was set
  std::uint32_t sinceRecorded = 0;  // frames since the finder last saw a state
};

// A new stretch from `state`: the finder's states lie a whole number of
// strides apart from here on.
inline void startCycleWatch(CycleWatch& w, RepeatFinder& finder, const GameState& state) {
  w = CycleWatch{state, 1, 0, 0};
  startStretch(finder, state);
}

// Counts a frame; true when the finder is due to see this one.
inline bool cycleStrideDue(CycleWatch& w, std::uint32_t stride) {
  ++w.period;
  if (++w.sinceRecorded != stride) return false;
  w.sinceRecorded = 0;
  return true;
}

// The period when `state` equals the mark, else 0; then moves the mark on
// at a power of two.
inline std::uint32_t markRepeat(CycleWatch& w, const GameState& state) {
  if (sameState(state, w.mark)) return w.period;
  if (w.period == w.power) {
    w.mark = state;
    w.power = w.power <= UINT32_MAX / 2 ? w.power * 2 : w.power;
    w.period = 0;
  }
  return 0;
}

// The state recorded `back` records before the last one, for 0 < back <
// WINDOW and within the stretch (a repeat's distance or less).
inline const GameState& recordedBefore(const RepeatFinder& finder, std::uint32_t back) {
  return finder.ring[(finder.next - 1 - back) % RepeatFinder::WINDOW];
}
