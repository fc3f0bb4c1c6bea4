#include "verify/repeat_finder.h"

#include "sim/bits.h"

namespace {

std::uint64_t bitsOf(double v) { return bitCast<std::uint64_t>(v); }

// Equal states hash equal whatever fields are left out; these are the ones
// that change from frame to frame in a game that has not yet cycled.
std::uint32_t slotOf(const GameState& s) {
  std::uint64_t h = bitsOf(s.x) ^ std::rotl(bitsOf(s.y), 21) ^ std::rotl(bitsOf(s.vy), 42);
  h ^= std::rotl(bitsOf(s.vx), 11) ^ (static_cast<std::uint64_t>(static_cast<std::uint32_t>(s.scrolled)) << 32);
  h ^= static_cast<std::uint32_t>(s.halfStep + 2 * s.comboTimer + 1024 * static_cast<std::int32_t>(s.jumpState));
  h *= 0x9E3779B97F4A7C15u;
  return static_cast<std::uint32_t>(h >> 53) & (RepeatFinder::SLOTS - 1);
}

}  // namespace

void startStretch(RepeatFinder& finder, const GameState& state) {
  finder.first = finder.next;
  (void)recordAndFindRepeat(finder, state);
}

std::uint32_t recordAndFindRepeat(RepeatFinder& finder, const GameState& state) {
  const std::uint64_t number = finder.next++;
  std::uint64_t& slot = finder.slotState[slotOf(state)];
  std::uint32_t repeat = 0;
  // The ring still holds the slot's state when it is less than WINDOW old.
  if (slot >= finder.first && number - slot < RepeatFinder::WINDOW &&
      sameState(finder.ring[slot % RepeatFinder::WINDOW], state))
    repeat = static_cast<std::uint32_t>(number - slot);
  finder.ring[number % RepeatFinder::WINDOW] = state;
  slot = number;
  return repeat;
}
