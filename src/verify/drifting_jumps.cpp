#include "verify/drifting_jumps.h"

#include <algorithm>

#include "sim/extended.h"

namespace {

// Pixels a foot at `foot` may move left while the band holds it exactly when
// it held it before.
std::int32_t footRoom(const FloorBand& band, std::int32_t foot) {
  if (foot < band.leftPx) return INT32_MAX;  // stays outside on the left
  if (foot <= band.rightPx) return foot - band.leftPx;
  return foot - band.rightPx - 1;
}

// Bands the landing check may look for while y moves from `from` to `to`
// (whole pixels, either order), a frame's fall being at most a few pixels.
void limitByRows(StepRoom& room, const GameState& state, std::int32_t from, std::int32_t to, std::int32_t x) {
  for (std::int32_t y = std::min(from, to); y <= std::max(from, to); ++y) {
    const FloorBand band = findFloorBand(state, y);
    if (band.found) limitStepRoom(room, band, x);
  }
}

}  // namespace

void limitStepRoom(StepRoom& room, const FloorBand& band, std::int32_t x) {
  room.pixels = std::min({room.pixels, footRoom(band, x - FOOT_OFFSET), footRoom(band, x + FOOT_OFFSET)});
}

void limitStepRoomByFrame(StepRoom& room, const GameState& after, double yBefore, std::int32_t x) {
  if (after.jumpState == JumpState::Rising) return;  // no landing check
  const std::int32_t before = truncStoredLow32(yBefore);
  // A landing moved y onto the floor: the check's own y lay between the
  // frame's start and a fall's furthest reach, 13 pixels (speed at most 12.2).
  const std::int32_t reach = after.jumpState == JumpState::Grounded ? 14 : 0;
  limitByRows(room, after, before, truncStoredLow32(after.y), x);
  if (reach != 0) limitByRows(room, after, before, before + reach, x);
}
