// Playback shortcut for a player whose horizontal speed has become too small
// to matter: the speed is then taken out of the state and its decay owed.
//
// Why it is exact. In a frame without a direction key `vx` is read in three
// places only, and while |vx| < 2^-58 none of them depends on its value:
//  - applyInput: vx = store(ext(vx * 0.9)), a function of vx alone. Rounding
//    is monotone and 0.9 < 1, so |vx| never grows and keeps its sign.
//  - startJump: |2 vx| < 12.2, so the take-off speed is -12.2 whatever vx is.
//  - integrateMotion: no clamp applies; x always lies in [85, 555] (a move
//    beyond a wall is put back on it, and a landing places x between the
//    truncated positions before and after the frame), where one 64-bit step
//    is at least 2^-57, so ext(x + vx) rounds back to x: x keeps its value
//    and no wall is crossed.
// So the rest of the game evolves exactly as it would with vx = 0, and vx
// itself is the frame count's iterate of the decay. Playback runs the rest
// with vx = 0 (which lets the cycle search see it repeat) and applies the
// owed decay when the value is needed.
//
// It is needed only at the end of playback. A later frame with a direction
// key computes store(ext(v ± 0.3)), after at most store(ext(v * 0.7)): with
// |v| < 2^-58 the extended sum lies within 2^-58 + 2^-66 of ±0.3, nearer
// than the binary64 midpoints at ±2^-55, so the result is exactly ±0.3 for
// every such v, the owed decay included.
#pragma once

#include <cstdint>

#include "replay/replay_file.h"
#include "sim/game_state.h"

// Below this magnitude the speed no longer influences anything but itself.
inline constexpr double SETTLED_SPEED = 0x1p-58;

// True when a frame of `input` from `state` leaves everything but vx as it
// would with vx = 0.
inline bool speedIsSettled(const GameState& state, std::uint8_t input) {
  return (input & (INPUT_LEFT | INPUT_RIGHT)) == 0 && state.vx < SETTLED_SPEED && state.vx > -SETTLED_SPEED &&
         state.x >= 85.0 && state.x <= 555.0;
}

// vx after `frames` frames without a direction key. The decay reaches a
// value it keeps for ever (five times the smallest subnormal, or a smaller
// value it started at) in at most a few thousand frames, so the loop is short
// however many frames are owed.
double decaySpeed(double vx, std::uint64_t frames);
