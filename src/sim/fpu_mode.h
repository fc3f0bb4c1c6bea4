// The one place that touches the floating-point unit's mode.
#pragma once

// Puts the unit into its initial state: 64-bit significand, round to
// nearest-even, exceptions masked. Must run before any game is simulated.
void resetFloatingPointUnit();
