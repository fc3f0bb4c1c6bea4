#include "sim/game_state.h"
#include "sim/wrap.h"

std::int32_t rngNext(GameState& state) {
  state.rngState = state.rngState * 214013u + 2531011u;
  return static_cast<std::int32_t>((state.rngState >> 16) & 0x7FFFu);
}

namespace {

// Width in tiles of an ordinary floor number n; below floor 600 it costs
// the generator one value (used below 240, discarded from 240 on).
std::int32_t floorWidth(GameState& state, std::int32_t n) {
  if (n < 240) return rngNext(state) % (9 - n / 30) + 6;
  if (n < 600) {
    (void)rngNext(state);
    return 6;
  }
  if (n < 1000) return 6;
  if (n < 1500) return 5;
  if (n < 2000) return 4;
  if (n < 10000) return 3;
  return 2;
}

}  // namespace

void generateFloor(GameState& state) {
  if (state.rowPhase < 4) {
    state.rowPhase += 1;
    return;
  }
  state.rowPhase = 0;

  const std::int32_t n = state.floorCount;
  const std::int32_t fullWidthEvery = n <= 1000 ? 50 : 500;
  FloorSlot floor{0, 40};
  if (n % fullWidthEvery != 0) {
    const std::int32_t w = floorWidth(state, n);
    floor.left = rngNext(state) % (30 - w) + 5;
    floor.right = floor.left + w;
  }

  state.floors.slot[state.ringNext] = floor;
  state.ringNext = state.ringNext == FLOOR_RING_SIZE - 1 ? 0 : state.ringNext + 1;
  state.floorCount = wrapAdd(state.floorCount, 1);
}
