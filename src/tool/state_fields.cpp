#include "tool/state_fields.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace {

const char* jumpStateName(JumpState s) {
  switch (s) {
    case JumpState::Grounded: return "Grounded";
    case JumpState::Rising: return "Rising";
    case JumpState::Falling: return "Falling";
    case JumpState::Airborne: return "Airborne";
  }
  return "?";
}

void formatReal(double v, char* out, std::size_t size) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  std::snprintf(out, size, "0x%016" PRIX64 ",%.17g", bits, v);
}

void formatInt(std::int64_t v, char* out, std::size_t size) { std::snprintf(out, size, "%" PRId64, v); }

}  // namespace

const char* const TRACE_FIELD_NAMES[TRACE_FIELDS] = {"x",         "y",         "vx",         "vy",
                                                     "jumpState", "scrolled",  "speedLevel", "floorCount",
                                                     "lastFloor", "comboTimer", "comboScore", "bestCombo"};

void formatTraceField(const GameState& s, int i, char* out, std::size_t size) {
  switch (i) {
    case 0: return formatReal(s.x, out, size);
    case 1: return formatReal(s.y, out, size);
    case 2: return formatReal(s.vx, out, size);
    case 3: return formatReal(s.vy, out, size);
    case 4: std::snprintf(out, size, "%s", jumpStateName(s.jumpState)); return;
    case 5: return formatInt(s.scrolled, out, size);
    case 6: return formatInt(s.speedLevel, out, size);
    case 7: return formatInt(s.floorCount, out, size);
    case 8: return formatInt(s.lastFloor, out, size);
    case 9: return formatInt(s.comboTimer, out, size);
    case 10: return formatInt(s.comboScore, out, size);
    default: return formatInt(s.bestCombo, out, size);
  }
}

bool firstDifferentField(const GameState& a, const GameState& b, FieldDifference& d) {
  for (int i = 0; i < TRACE_FIELDS; ++i) {
    formatTraceField(a, i, d.a, sizeof d.a);
    formatTraceField(b, i, d.b, sizeof d.b);
    // The texts are exact: a real's text holds its bit pattern.
    if (std::strcmp(d.a, d.b) != 0) {
      std::snprintf(d.field, sizeof d.field, "%s", TRACE_FIELD_NAMES[i]);
      return true;
    }
  }
  // The fields trace does not show, in the order of GameState.
  const auto differs = [&d](const char* name, std::int64_t x, std::int64_t y) {
    if (x == y) return false;
    std::snprintf(d.field, sizeof d.field, "%s", name);
    formatInt(x, d.a, sizeof d.a);
    formatInt(y, d.b, sizeof d.b);
    return true;
  };
  if (differs("speedTimer", a.speedTimer, b.speedTimer) || differs("halfStep", a.halfStep, b.halfStep) ||
      differs("rejump", a.rejump, b.rejump) || differs("jumpLatch", a.jumpLatch, b.jumpLatch) ||
      differs("comboJumps", a.comboJumps, b.comboJumps) || differs("comboFloors", a.comboFloors, b.comboFloors))
    return true;
  for (int i = 0; i < FLOOR_RING_SIZE; ++i) {
    char name[24];
    std::snprintf(name, sizeof name, "floors[%d].left", i);
    if (differs(name, a.floors.slot[i].left, b.floors.slot[i].left)) return true;
    std::snprintf(name, sizeof name, "floors[%d].right", i);
    if (differs(name, a.floors.slot[i].right, b.floors.slot[i].right)) return true;
  }
  return differs("ringNext", a.ringNext, b.ringNext) || differs("rowPhase", a.rowPhase, b.rowPhase) ||
         differs("rngState", a.rngState, b.rngState);
}
