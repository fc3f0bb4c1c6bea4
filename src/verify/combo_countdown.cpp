#include "verify/combo_countdown.h"

bool repeatsButForCountdown(const GameState& start, GameState end, std::uint32_t period) {
  if (end.comboTimer != start.comboTimer) {
    if (end.comboTimer < 1 || start.comboTimer - end.comboTimer != static_cast<std::int64_t>(period)) return false;
    end.comboTimer = start.comboTimer;
  }
  return sameState(start, end);
}

void runComboDown(GameState& state, std::uint64_t frames) {
  if (state.comboTimer == 0) return;
  if (frames < static_cast<std::uint64_t>(state.comboTimer)) {
    state.comboTimer -= static_cast<std::int32_t>(frames);
    return;
  }
  state.comboTimer = 0;
  scoreCombo(state);
}
