// The frame step, on the fastest exact arithmetic this CPU offers (see
// frame_variants.h).
#pragma once

#include <cstdint>

#include "sim/game_state.h"

void applyInput(GameState& state, std::uint8_t input);
bool startJump(GameState& state);
void integrateMotion(GameState& state);

// Advances one frame; false once the player has dropped off the screen.
bool stepFrame(GameState& state, std::uint8_t input);
