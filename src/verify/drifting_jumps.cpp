#include "verify/drifting_jumps.h"

#include <algorithm>

#include "sim/extended.h"

namespace {

// The moves m >= 0 left after which the band holds a foot now at `foot`.
struct Moves {
  std::int32_t first, last;
};
Moves movesOnBand(const FloorBand& band, std::int32_t foot) { return {foot - band.rightPx, foot - band.leftPx}; }

// Pixels the feet at x - 11 and x + 11 may move left while the band holds
// one of them exactly when it holds one now. Each foot is on the band for
// one run of moves; the right foot's run comes 22 moves later, and the two
// runs make one when they meet.
std::int32_t feetRoom(const FloorBand& band, std::int32_t x) {
  Moves left = movesOnBand(band, x - FOOT_OFFSET);
  const Moves right = movesOnBand(band, x + FOOT_OFFSET);
  if (right.first <= left.last + 1) left.last = right.last;
  for (const Moves& run : {left, right}) {
    if (run.first <= 0 && 0 <= run.last) return run.last;  // on it: until the run ends
    if (run.first > 0) return run.first - 1;               // off it: until the next run starts
  }
  return INT32_MAX;  // both runs behind: never on it again
}

// Bands the landing check may look for while y moves from `from` to `to`
// (whole pixels, either order), a frame's fall being at most a few pixels.
// A band is 16 consecutive rows of one floor, and the room depends only on
// the floor: rows 16 apart from the lowest one, and the highest, meet every
// band the rows between meet (a band starting inside the range holds the
// first sample at or after its start, or the highest row when that sample
// lies beyond the range). Rows the landing check never looks at are cut
// off first, so that no sample falls on them.
void limitByRows(StepRoom& room, const GameState& state, std::int32_t from, std::int32_t to, std::int32_t x) {
  const std::int32_t lowest = std::max(std::min(from, to), FLOOR_BAND_TOP_ROW);
  const std::int32_t highest = std::min(std::max(from, to), FLOOR_BAND_BOTTOM_ROW);
  for (std::int32_t y = lowest; y <= highest; y = y <= highest - 16 ? y + 16 : y == highest ? highest + 1 : highest) {
    const FloorBand band = findFloorBand(state, y);
    if (band.found) limitStepRoom(room, band, x);
  }
}

}  // namespace

void limitStepRoom(StepRoom& room, const FloorBand& band, std::int32_t x) {
  room.pixels = std::min(room.pixels, feetRoom(band, x));
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
