// The one place that touches the floating-point unit's mode.
#pragma once

// Puts the unit into its initial state: 64-bit significand, round to
// nearest-even, exceptions masked. Must run before any game is simulated.
void resetFloatingPointUnit();

// The thread's mode as a library caller left it, for restoring afterwards:
// the x87 control word and the SSE control and status register on x86-64,
// the control register on arm64 (nothing elsewhere).
struct FloatingPointMode {
  unsigned int x87Control = 0;
  unsigned long long vectorControl = 0;
};

// Saves the calling thread's mode, then resets the unit for the game.
FloatingPointMode enterGameMode();
// Puts back what enterGameMode saved.
void leaveGameMode(const FloatingPointMode& saved);
