// Playback shortcut for a player held against a wall by its direction key:
// x stays on the wall and every frame bounces, while vx converges bit by bit
// towards its limit for some eighty frames. No complete state repeats until
// it gets there; this shortcut takes vx there at once.
//
// Why it is exact. Take the right wall; the left one, with the left key
// held (whatever the right one does), is its mirror image: every step below
// is odd in vx and in x - 320. A frame starts with x = 555,
// -0.4 <= vx <= 0.1 and the right key held without the left one. The key
// turns vx into w = store(store(0.7 vx) + 0.3) if vx < 0, else
// store(vx + 0.3): rounding is monotone, so 0.0199 < w <= 0.4001. So no
// clamp applies, a take-off (|2 w| < 12.2) is -12.2, the extended sum
// 555 + w exceeds 555 and bounces: x = 555 again and vx = store(-0.9 w), in
// [-0.3601, -0.0179], inside the range again. A landing's foot path is then
// vertical at 555, which puts x at 555 exactly (see speed_decay.h). So, by
// induction, every later frame with the same input starts the same way, x
// and every truncation of it read 555, and nothing but vx itself depends on
// vx: the rest of the state evolves as it would from any vx in the range,
// and vx follows the map g(v) = bounce(steer(v)) alone.
//
// g is non-increasing (a monotone steering times -0.9), so g(g(v)) is
// non-decreasing and its iterates form a monotone sequence of doubles in a
// bounded range: it becomes constant. From there vx repeats with period 1 or
// 2, so after an even number m of steps to that point, g^m(v) = g^(m+n)(v)
// for every even n. Playback puts u = g^m(v) in the state at once (the rest
// does not see it, and vx then repeats with the rest); after K frames the
// state's vx, g^K(u), is the true g^K(v) as soon as K >= m, and is computed
// from v before that.
#pragma once

#include <cstdint>

#include "sim/game_state.h"

// True when every later frame of `input` from `state` keeps the player on a
// wall, as above.
bool pinnedAtWall(const GameState& state, std::uint8_t input);

// vx after `frames` frames of `input` from a pinned state whose speed is `vx`.
double pinnedSpeed(double vx, std::uint8_t input, std::uint64_t frames);

struct PinnedLimit {
  std::uint32_t frames;  // even; 0 when the speed repeats already or not within the limit asked for
  double speed;          // the pinned speed after those frames
};

// Where the pinned speed from `vx` starts to repeat with period 1 or 2,
// looked for up to `limit` frames.
PinnedLimit pinnedLimit(double vx, std::uint8_t input, std::uint32_t limit);
