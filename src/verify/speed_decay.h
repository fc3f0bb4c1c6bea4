// Playback shortcut for a player whose horizontal speed has become too small
// to matter: the speed is then taken out of the state and its decay owed.
//
// Why it is exact. In a frame without a direction key `vx` is read in three
// places only, and once it is settled (below) none of them depends on it:
//  - applyInput: vx = store(ext(vx * 0.9)), a function of vx alone. Rounding
//    is monotone and 0.9 < 1, so |vx| never grows and keeps its sign.
//  - startJump: |2 vx| < 12.2, so the take-off speed is -12.2 whatever vx is.
//  - integrateMotion: no clamp applies. x lies in [85, 555] (a move beyond a
//    wall is put back on it, and a landing places x between the truncated
//    positions before and after the frame). Let q be the binary64 step just
//    below floor(x) (2^-46 up to 128, 2^-45 up to 256, 2^-44 up to 512,
//    2^-43 above): no double within q of x or of floor(x) lies nearer than
//    q. With |vx| <= q/4 the exact sum lies within q/4 of x, its 64-bit
//    rounding within q/4 + q/2048, short of the binary64 midpoints q/2 away,
//    so x keeps its value. Nor is a wall crossed: a positive vx needs
//    x < 555 (then x + vx < 555 - 2^-43 + 2^-45, and rounding is monotone),
//    a negative one x >= 86. All of this stays true, because from then on x
//    changes only by landings, and a landing whose truncated positions
//    before and after the frame are both X puts x at X = floor(x) exactly
//    (where it then stays): the foot path is vertical, its crossing lies a
//    whole number n of pixels along the floor, and E t, off by a relative
//    2^-62 at most, plus 0.5 truncates to n. Anywhere else, and at the
//    walls themselves, |vx| < 2^-58 suffices: one 64-bit step there is at
//    least 2^-57, so the extended sum x + vx is x itself and the walls
//    compare x.
// So the rest of the game evolves exactly as it would with vx = 0, and vx
// itself is the frame count's iterate of the decay. Playback runs the rest
// with vx = 0 (which lets the cycle search see it repeat) and applies the
// owed decay when the value is needed.
//
// A later frame with a direction key computes store(ext(v ± 0.3)), after at
// most store(ext(v * 0.7)): with |v| < 2^-58 the extended sum lies within
// 2^-58 + 2^-66 of ±0.3, nearer than the binary64 midpoints at ±2^-55, so
// the result is exactly ±0.3 for every such v. That frame needs the owed
// decay only until the speed drops below 2^-58: at most 86 frames of it.
#pragma once

#include <cstdint>

#include "replay/replay_file.h"
#include "sim/game_state.h"

// At most this magnitude the speed moves x no more, away from the walls: a
// quarter of the binary64 step just below floor(x).
inline double settledSpeedAt(double x) { return x < 129.0 ? 0x1p-48 : x < 257.0 ? 0x1p-47 : x < 513.0 ? 0x1p-46 : 0x1p-45; }
// Below this magnitude the speed moves x no more anywhere, and a direction
// key gives exactly ±0.3 from it.
inline constexpr double TINY_SPEED = 0x1p-58;

// True when a frame of `input` from `state` leaves everything but vx as it
// would with vx = 0, and so do all the frames after it without a direction key.
inline bool speedIsSettled(const GameState& state, std::uint8_t input) {
  if ((input & (INPUT_LEFT | INPUT_RIGHT)) != 0 || !(state.x >= 85.0 && state.x <= 555.0)) return false;
  const double speed = state.vx < 0.0 ? -state.vx : state.vx;
  if (speed < TINY_SPEED) return true;
  if (!(speed <= settledSpeedAt(state.x))) return false;
  return state.vx > 0.0 ? state.x < 555.0 : state.x >= 86.0;
}

// vx after `frames` frames without a direction key. The decay reaches a
// value it keeps for ever (five times the smallest subnormal, or a smaller
// value it started at) in at most a few thousand frames, so the loop is short
// however many frames are owed.
double decaySpeed(double vx, std::uint64_t frames);

// What a direction key may be given instead of decaySpeed(vx, frames): that
// value while it is at least TINY_SPEED, else a value below it (the first
// of the decay below it, or 0 when the frames are sure to have taken it
// there), which the key turns into the same ±0.3.
double decaySpeedForKey(double vx, std::uint64_t frames);
