// Playback shortcut for a player who repeats the same jumps while a combo's
// timer runs out: the state repeats but for the timer, so the repeat finder
// sees nothing until the combo has ended, up to 100 frames later, and then
// waits one more period.
//
// Why it is exact. The timer (comboTimer) is read in two places only: the
// countdown of every frame, which takes one off a nonzero timer and, when
// that leaves 0, scores the combo into comboScore and bestCombo (read only
// there); and a landing, which restarts a nonzero timer (a jump of more than
// one floor) or cuts it to 1 (any other change of floor). Let P be the state
// right after a landing and Q the state right after the next landing,
// `period` frames of one input later, equal to P but for the timer, with
// P.timer - Q.timer = period and Q.timer >= 1. No frame in between landed,
// and Q's landing was on P's floor with no gain (lastFloor is equal), so it
// left the timer alone: the timer only counted down, and the rest of the
// state evolved on its own. From Q the same frames follow, since the rest of
// the state is P's, with the same landing at the end of each period; the
// timer counts down to 0 at the frame that starts with 1, which scores the
// combo once, and from then on that landing leaves the zero timer alone as
// well. So k periods after Q the state is Q's but for the timer,
// max(Q.timer - k·period, 0), and the combo scored once the timer ran out.
#pragma once

#include <cstdint>

#include "sim/game_state.h"

// True when `end`, the state right after the landing that followed the one
// `start` was taken at, `period` frames later, equals it but for a timer
// that counted down as above, or equals it outright.
bool repeatsButForCountdown(const GameState& start, GameState end, std::uint32_t period);

// True when `end` repeats `start` as above with the timer running out.
inline bool jumpsRepeatWhileComboRunsOut(const GameState& start, const GameState& end, std::uint32_t period) {
  return start.comboTimer != end.comboTimer && repeatsButForCountdown(start, end, period);
}

// The state `frames` frames on, a whole number of such periods: the timer
// counted down, and the combo scored if it ran out. A zero timer stays.
void runComboDown(GameState& state, std::uint64_t frames);

// What playback watches for this shortcut within a record: the last landing
// made while a combo ran.
struct ComboWatch {
  bool landed = false;
  GameState landing{};
  std::uint32_t landedAt = 0;  // frames into the stretch
};

// At a landing `done` frames into the stretch: the period when the jumps
// since the last one repeat while the combo runs out, else 0.
inline std::uint32_t repeatingComboPeriod(const ComboWatch& w, const GameState& state, std::uint32_t done) {
  return w.landed && jumpsRepeatWhileComboRunsOut(w.landing, state, done - w.landedAt) ? done - w.landedAt : 0;
}

inline void rememberComboLanding(ComboWatch& w, const GameState& state, std::uint32_t done) {
  w = ComboWatch{state.comboTimer != 0, state, done};
}
