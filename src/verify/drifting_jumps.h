// Playback shortcut for a player jumping on the spot while a small positive
// speed decays: x creeps right within one pixel and every landing puts it
// back on the same whole number, so the jumps repeat with only vx changing.
// No complete state repeats until vx is settled (speed_decay.h), some 300
// frames later; this shortcut skips those jumps too.
//
// Why it is exact. Let P be a state with x = X (a whole number, 85 <= X <=
// 553), 0 < vx, and let Q, reached from P after `period` frames of an input
// without a direction key, the last of them a landing, equal P in every field
// but vx, and let period * (P.vx + 2^-43) <= 0.75. Without a direction key
// vx only decays: it keeps its sign and never grows, so 0 < vx <= P.vx
// throughout, and a move adds at most vx plus one rounding (below 2^-43
// where x < 1024) to x.
// A landing puts x on a whole number between the truncated positions before
// and after the frame. So, by induction over the frames, every x of the
// stretch (at a frame start and after the move) lies in [X, X + 0.75] and
// every sum x + vx in [X, X + 1): every truncation of x reads X, no wall is
// reached (X + 1 <= 554 < 555, and X >= 85 with vx > 0), and a take-off is
// -12.2 (|2 vx| < 12.2). Those are the only places where x and vx reach the
// rest of the state. The same holds from Q, or from any state equal to P
// but for a speed in (0, P.vx]: the same induction gives the same reads,
// hence the same rest of the state frame by frame, and the last frame's
// landing puts x on the same whole number X. So each further `period`
// frames lead back to P's state but for vx, and vx is the decay's iterate.
#pragma once

#include <cstdint>

#include "replay/replay_file.h"
#include "sim/game_state.h"

// True when `end`, the state right after a landing `period` frames of
// `input` after `start`, lets those frames be skipped again and again with
// only vx decaying (the conditions above).
inline bool jumpsRepeatWhileSpeedDecays(const GameState& start, const GameState& end, std::uint32_t period,
                                        std::uint8_t input) {
  if ((input & (INPUT_LEFT | INPUT_RIGHT)) != 0 || !(start.vx > 0.0)) return false;
  if (!(start.x >= 85.0 && start.x <= 553.0) || start.x != static_cast<double>(static_cast<std::int32_t>(start.x)))
    return false;
  if (!(static_cast<double>(period) * (start.vx + 0x1p-43) <= 0.75)) return false;
  GameState same = end;
  same.vx = start.vx;
  return sameState(start, same);
}
