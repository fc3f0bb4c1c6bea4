// A game state's fields as trace shows them, shared by trace and diff so
// that a value reads the same in both.
#pragma once

#include <cstddef>

#include "sim/game_state.h"

// trace's state columns, in order: x, y, vx, vy, jumpState, scrolled,
// speedLevel, floorCount, lastFloor, comboTimer, comboScore, bestCombo.
inline constexpr int TRACE_FIELDS = 12;
extern const char* const TRACE_FIELD_NAMES[TRACE_FIELDS];

// Field `i` of `s` as trace prints it, into `out`: a real as its binary64
// pattern and a decimal that reads back to it ("0x4064000000000000,160",
// two CSV columns), a jump state by name, an integer in decimal.
void formatTraceField(const GameState& s, int i, char* out, std::size_t size);

// The first field in which two states differ: trace's fields in its order,
// then the rest of the state under their own names (speedTimer, ...,
// floors[3].left, rngState), integers in decimal. False when the states
// are the same bit for bit (sameState).
struct FieldDifference {
  char field[24];
  char a[48];
  char b[48];
};
bool firstDifferentField(const GameState& a, const GameState& b, FieldDifference& d);
