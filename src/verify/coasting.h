// Playback shortcut for a player standing on a floor while its speed
// decays: x creeps along the floor for some three hundred frames before the
// speed is settled (speed_decay.h), every frame a new state. Those frames
// are run on x and vx alone.
//
// Why it is exact. Take a frame that starts grounded with vy = 0, no
// direction key, an input that leaves the jump latch as it is and starts
// no jump, no combo running (comboTimer = 0), y >= 160 and scrolled <= 100,
// halfStep 0 or 1, |vx| <= 12.2, x + vx in [85, 555] (with a margin over
// the rounding of the test), and a floor band at trunc(y)
// whose surface is trunc(y) + 1 and holds, in its [leftPx, rightPx], a foot
// of the position the move leads to, trunc(x') - 11 or trunc(x') + 11. Then applyInput only decays vx; integrateMotion
// clamps nothing, moves x to store(x + vx) without reaching a wall (the
// walls test the sum strictly), leaves y (0 + y is y) and, grounded, vy; the follow
// scroll is 0 and the automatic one has not begun, so nothing scrolls and
// only halfStep flips; the combo step does nothing; the landing check finds
// the same band (y, the ring and the scroll are unchanged), and each foot
// path ends on the surface (its y runs from trunc(y) to the surface line),
// at trunc(x') -+ 11, where it meets the floor exactly when its end lies
// in [leftPx, rightPx] (with the surface one pixel below, the crossing's u
// is 0 and its t is (end - leftPx) / (rightPx - leftPx), decided exactly on
// the integers): the player stays standing. So the frame changes vx, x and halfStep alone, and
// the next frame starts the same way if x still meets the conditions.
#pragma once

#include <cstdint>

#include "sim/game_state.h"

// Runs up to `frames` frames of `input` on x and vx alone while each one
// starts as above, stopping after the first frame that leaves a settled
// speed (speedIsSettled). Returns the frames run; `state` is exactly where
// they lead.
std::uint32_t coastOnFloor(GameState& state, std::uint8_t input, std::uint32_t frames);
