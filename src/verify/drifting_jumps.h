// Playback shortcut for a player jumping on the spot while a small positive
// speed decays: x creeps right within one pixel and every landing puts it
// back on the same whole number, so the jumps repeat with only vx changing.
// No complete state repeats until vx is settled (speed_decay.h), some 300
// frames later; this shortcut skips those jumps too.
//
// Why it is exact. Let P be a state with x = X (a whole number, 85 <= X <=
// 554), 0 < vx, and let Q, reached from P after `period` frames of an input
// without a direction key, the last of them a landing, equal P in every field
// but vx, and let period * (P.vx + 2^-43) <= 0.75. Without a direction key
// vx only decays: it keeps its sign and never grows, so 0 < vx <= P.vx
// throughout, and a move adds at most vx plus one rounding (below 2^-43
// where x < 1024) to x.
// A landing puts x on a whole number between the truncated positions before
// and after the frame. So, by induction over the frames, every x of the
// stretch (at a frame start and after the move) lies in [X, X + 0.75], and
// so does every sum x + vx before its rounding: every truncation of x reads
// X, no wall is reached (X + 0.75 < 555, and X >= 85 with vx > 0), and a
// take-off is -12.2 (|2 vx| < 12.2). Those are the only places where x and
// vx reach the rest of the state. The same holds from Q, or from any state
// equal to P but for a speed in (0, P.vx]: the same induction gives the
// same reads, hence the same rest of the state frame by frame, and the last
// frame's landing puts x on the same whole number X. So each further `period`
// frames lead back to P's state but for vx, and vx is the decay's iterate.
//
// Both shortcuts below also hold while a combo's timer runs out: Q may have
// P's timer less the period, counted down as combo_countdown.h shows, since
// the timer reaches nothing else.
#pragma once

#include <cstdint>

#include "replay/replay_file.h"
#include "sim/game_state.h"
#include "verify/combo_countdown.h"

// True when `end`, the state right after a landing `period` frames of
// `input` after `start`, lets those frames be skipped again and again with
// only vx decaying (the conditions above).
inline bool jumpsRepeatWhileSpeedDecays(const GameState& start, const GameState& end, std::uint32_t period,
                                        std::uint8_t input) {
  if ((input & (INPUT_LEFT | INPUT_RIGHT)) != 0 || !(start.vx > 0.0)) return false;
  if (!(start.x >= 85.0 && start.x <= 554.0) || start.x != static_cast<double>(static_cast<std::int32_t>(start.x)))
    return false;
  if (!(static_cast<double>(period) * (start.vx + 0x1p-43) <= 0.75)) return false;
  GameState same = end;
  same.vx = start.vx;
  return repeatsButForCountdown(start, same, period);
}

// The mirror image does not hold: with a negative speed the first move of
// a jump takes x below X, every truncation then reads X - 1, and the jump
// lands on X - 1. So a player jumping on the spot with a decaying negative
// speed steps one pixel left per jump. Those jumps are skipped too, while
// nothing else can tell the steps apart.
//
// Why it is exact. Let P be a state with x = X (whole, X >= 87), vx < 0,
// and Q, `period` frames of an input without a direction key later, the
// last of them a landing, equal P but for vx and x = X - 1, with
// period * (|P.vx| + 2^-43) <= 0.75 and no scroll (equal scroll counts).
// As above, every x of the stretch lies in [X - 0.75, X], every sum
// x + vx above 85. The first frame is a take-off (checkLanding returns at
// once while rising) and, as P and Q differ in x, its move took x below X;
// from then on every truncation reads X - 1, so every landing check sees a
// foot path straight down at X - 1 + 11 and X - 1 - 11. Such a path meets
// a level floor exactly when its x lies in the band's [leftPx, rightPx]
// (the y crossing does not depend on x), and its hit is the path's end:
// whichever foot hits, the landing puts x on X - 1, so a check reads only
// whether the band holds at least one of the feet.
// Take the same stretch from P moved n pixels left, with the speed decayed:
// if its first move takes x below the start (playback computes that move)
// and every band that the stretch's landing checks can meet holds a foot
// of the pair moved n pixels left exactly when it holds one unmoved, every
// read gives the same answer n pixels left, the rest of the state
// evolves the same, and the landing puts x on X - n - 1. If instead the
// first move leaves x where it is, so does every later move of the stretch
// (its speeds are smaller and rounding is monotone): every read sees X - n,
// the reads of the stretch moved n - 1 pixels, and the landing puts x back
// on X - n; so do all the later stretches. Either way each stretch leads to
// P's state but for vx and x.
// The walls: every stretch, stepping or not, must start at X - n >= 86.
// Then each sum x + vx lies above X - n - 0.75 > 85 and no bounce occurs.
// At X - n = 85 it fails whatever the speed: the wall compares the
// unrounded sum, which lies below 85 even when its stored value does not
// (the move does not register, yet the player bounces every frame).
// Playback therefore checks, at every skipped stretch, the wall, the first
// move and the room the floors leave.

// How many pixels left the feet of a stretch may move while every band its
// landing checks meet answers the same; playback narrows it band by band
// over the stretch.
struct StepRoom {
  std::int32_t pixels = INT32_MAX;
};

// Narrows `room` by a band met by landing checks at position `x` (the
// player's truncated x).
void limitStepRoom(StepRoom& room, const FloorBand& band, std::int32_t x);

// Narrows `room` by every band a frame's landing check may have met, from
// the states before and after it.
void limitStepRoomByFrame(StepRoom& room, const GameState& after, double yBefore, std::int32_t x);

// True when `end`, the state right after a landing `period` frames of
// `input` after `start`, lets those frames be skipped again and again with
// x one pixel further left each time or staying (the conditions above, but
// for the first move of each skipped stretch and the room left, which
// playback checks as it goes).
inline bool jumpsStepLeftWhileSpeedDecays(const GameState& start, const GameState& end, std::uint32_t period,
                                          std::uint8_t input) {
  if ((input & (INPUT_LEFT | INPUT_RIGHT)) != 0 || !(start.vx < 0.0)) return false;
  if (!(start.x >= 87.0 && start.x <= 555.0) || start.x != static_cast<double>(static_cast<std::int32_t>(start.x)))
    return false;
  if (!(static_cast<double>(period) * (0x1p-43 - start.vx) <= 0.75) || end.x != start.x - 1.0) return false;
  GameState same = end;
  same.vx = start.vx;
  same.x = start.x;
  return repeatsButForCountdown(start, same, period);
}

// What playback watches for these shortcuts within a record: the last
// landing, and the room the floors have left a stepping jump since.
struct JumpWatch {
  bool landed = false;
  GameState landing{};
  std::uint32_t landedAt = 0;  // frames into the stretch
  StepRoom room;
};

// Every frame (`yBefore` the y it started from): the room narrows by the
// bands its landing check may have met.
inline void watchJumpFrame(JumpWatch& w, const GameState& after, double yBefore) {
  if (w.landed && w.landing.vx < 0.0)
    limitStepRoomByFrame(w.room, after, yBefore, static_cast<std::int32_t>(w.landing.x) - 1);
}

// At a landing `done` frames into the stretch: the jumps' period when they
// repeat as one of the shortcuts above needs, else 0.
inline std::uint32_t repeatingJumpPeriod(const JumpWatch& w, const GameState& state, std::uint32_t done,
                                         std::uint8_t input) {
  if (!w.landed) return 0;
  const std::uint32_t jump = done - w.landedAt;
  return jumpsRepeatWhileSpeedDecays(w.landing, state, jump, input) ||
                 jumpsStepLeftWhileSpeedDecays(w.landing, state, jump, input)
             ? jump
             : 0;
}

inline void rememberJumpLanding(JumpWatch& w, const GameState& state, std::uint32_t done) {
  w = JumpWatch{true, state, done, StepRoom{}};
}
